// Pronto hex: published codes of well-known remotes decode to their published fields, and the
// code written for any decoded frame decodes back to the same frame.

#include <gtest/gtest.h>

#include "support/case_name.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <random>

#include "infrared/frame_text.h"
#include "interchange/pronto.h"
#include "support/ird_capture.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

// The line a receiver module would give for the durations, from `startUs` on.
ChannelLevels lineOf(const std::vector<double>& durations, double startUs) {
    test::IrLine l(startUs);
    for (const double d : durations) {
        if (d > 0) {
            l.mark(d);
        } else {
            l.space(-d);
        }
    }
    l.space(50000);
    return channelLevels(test::renderLine(l.edges()));
}

QStringList decodedTexts(const ChannelLevels& line) {
    QStringList out;
    for (const IrFrame& f : decodeInfrared(line, 1, IrUnknownBursts::Listed)) {
        const FrameText t = frameText(f);
        out << t.protocol + ' ' + t.address + ' ' + t.command + ' ' + t.check;
    }
    return out;
}

struct Published {
    std::string name;
    QString source;
    QString pronto;
    QStringList want; // protocol address command check, per frame
    friend void PrintTo(const Published& c, std::ostream* os) { *os << c.name; }
};

class PublishedCode : public ::testing::TestWithParam<Published> {};

TEST_P(PublishedCode, DecodesToItsPublishedFields) {
    SCOPED_TRACE(GetParam().source.toStdString());
    const std::optional<std::vector<double>> durations = prontoDurations(GetParam().pronto);
    ASSERT_TRUE(durations);
    EXPECT_EQ(decodedTexts(lineOf(*durations, 30000)), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Remotes, PublishedCode,
    ::testing::Values(
        // NEC1 device 64, subdevice 64, function 168 (volume up); once part and repeat part.
        Published{"nec1_device_64_64_function_168",
                  "hifi-remote.com forum, \"Help with Pronto Hex\", topic 5808 (2006)",
                  "0000 006d 0022 0002 0155 00aa 0016 0016 0016 0016 0016 0016 0016 0016 0016 "
                  "0016 0016 0016 0016 0040 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016 "
                  "0016 0016 0016 0016 0016 0040 0016 0016 0016 0016 0016 0016 0016 0016 0016 "
                  "0040 0016 0016 0016 0040 0016 0016 0016 0040 0016 0040 0016 0040 0016 0040 "
                  "0016 0016 0016 0040 0016 0016 0016 0040 0016 0016 0016 06ef 0155 0055 0016 "
                  "0e34",
                  {"NEC 0x4040 0xa8 ok", "NEC-repeat 0x4040 0xa8 -"}},
        // NEC1 device 131, subdevice 85, function 145 (an Epson projector's discrete off).
        Published{"nec1_device_131_85_function_145",
                  "remotecentral.com Philips Pronto Professional forum, thread 2721 (2009)",
                  "0000 006D 0022 0002 0157 00AC 0015 0041 0015 0041 0015 0016 0015 0016 0015 "
                  "0016 0015 0016 0015 0016 0015 0041 0015 0041 0015 0016 0015 0041 0015 0016 "
                  "0015 0041 0015 0016 0015 0041 0015 0016 0015 0041 0015 0016 0015 0016 0015 "
                  "0016 0015 0041 0015 0016 0015 0016 0015 0041 0015 0016 0015 0041 0015 0041 "
                  "0015 0041 0015 0016 0015 0041 0015 0041 0015 0016 0015 0689 0157 0056 0015 "
                  "0E94",
                  {"NEC 0x5583 0x91 ok", "NEC-repeat 0x5583 0x91 -"}},
        // RC-5 device 13, function 13, given in the repeat part.
        Published{"rc5_device_13_function_13",
                  "remotecentral.com Discrete Code Hunter forum, post 1280830 (2015)",
                  "0000 0073 0000 000A 0020 0020 0040 0020 0020 0040 0020 0020 0040 0040 0040 "
                  "0020 0020 0040 0020 0020 0040 0040 0020 0CA8",
                  {"RC5 0x0d 0x0d -"}},
        // RC-5 device 3, function 4.
        Published{"rc5_device_3_function_4",
                  "remotecentral.com Discrete Code Hunter forum, post 728067 (2008)",
                  "0000 0073 0000 000B 0020 0020 0040 0020 0020 0020 0020 0020 0020 0040 0020 "
                  "0020 0040 0020 0020 0020 0020 0040 0040 0020 0020 0CC5",
                  {"RC5 0x03 0x04 -"}}),
    velmoran::test::CaseName());

TEST(Pronto, TheCodeOfEveryDecodedFrameDecodesBackToTheSameFrame) {
    std::mt19937 rng(5);
    for (const irgen::Family family : irgen::kFamilies) {
        SCOPED_TRACE(irgen::familyName(family).toStdString());
        irgen::Options o;
        o.jitter = 0.1;
        o.seed = 40 + static_cast<uint32_t>(family);
        const irgen::Generated g = irgen::generate(family, o);
        int checked = 0;
        for (const IrFrame& f : decodeInfrared(channelLevels(irgen::renderChannel(g)), 1)) {
            if (f.protocol == IrProtocol::NecRepeat || f.repeat || checked == 6) {
                continue;
            }
            ++checked;
            const QString code = prontoFromFrame(f);
            const std::optional<std::vector<double>> d = prontoDurations(code);
            ASSERT_TRUE(d) << code.toStdString();
            const double phase = std::uniform_real_distribution<double>(0, 41)(rng);
            const std::vector<IrFrame> back =
                decodeInfrared(lineOf(*d, 20000 + phase), 1, IrUnknownBursts::Listed);
            ASSERT_EQ(back.size(), 1u) << code.toStdString();
            const FrameText a = frameText(f);
            const FrameText b = frameText(back.front());
            EXPECT_EQ(b.protocol + b.address + b.command + b.check + b.notes,
                      a.protocol + a.address + a.command + a.check + a.notes);
            // The customary carrier of the protocol, within the Pronto clock's rounding.
            EXPECT_NEAR(*prontoCarrierHz(code), f.protocol == IrProtocol::Rca ? 56000 : 38000,
                        f.protocol == IrProtocol::Rca ? 200 : 2100);
        }
        EXPECT_EQ(checked, 6);
    }
}

TEST(Pronto, TheExportListsEachDistinctFrameOnceUnderACarrierNote) {
    irgen::Options o;
    o.seed = 9;
    const irgen::Generated g = irgen::generate(irgen::Family::Nec, o);
    const ExportChannel channel{2, channelLevels(irgen::renderChannel(g))};
    const QString text = QString::fromUtf8(exportPronto(channel));
    EXPECT_TRUE(text.contains("channel 2")) << text.toStdString();
    EXPECT_TRUE(text.contains("receiver module strips the carrier"));
    QSet<QString> keys;
    for (const IrFrame& f : decodeInfrared(channel.line, 2)) {
        if (f.protocol == IrProtocol::Nec) {
            keys.insert(frameText(f).notes);
        }
    }
    const QStringList codes = text.split('\n').filter(QRegularExpression("^0000 006D "));
    EXPECT_EQ(codes.size(), keys.size());
    for (const QString& code : codes) {
        EXPECT_EQ(decodedTexts(lineOf(*prontoDurations(code), 10000)).size(), 1);
    }
    EXPECT_FALSE(prontoDurations("0000 006D 0001 0000 0155"));      // a pair cut short
    EXPECT_FALSE(prontoDurations("0100 006D 0000 0001 0155 00AA")); // not the learned form
}

// A channel whose one burst holds more mark/space pairs than a Pronto code can count (65,535):
// every code written reads back with the reader, and together they carry the whole burst.
TEST(Pronto, EveryExportedCodeReadsBackAlsoForAnEndlessBurst) {
    for (const uint8_t pattern : {uint8_t{0xAA}, uint8_t{0xCC}}) {
        ChannelBuffer buffer{};
        std::fill(buffer.begin(), buffer.begin() + kCaptureBytes, pattern);
        const QString text = QString::fromUtf8(exportPronto({1, channelLevels(buffer)}));
        std::size_t pairs = 0;
        int codes = 0;
        for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith('#')) {
                continue;
            }
            const std::optional<std::vector<double>> d = prontoDurations(line);
            ASSERT_TRUE(d) << "unreadable code of " << line.size() << " characters";
            pairs += d->size() / 2;
            ++codes;
        }
        EXPECT_GT(codes, 1) << int{pattern};
        // A pulse every sample (0xAA) or every two (0xCC), all of them in the codes.
        EXPECT_GE(pairs, std::size_t{kCaptureBytes} * (pattern == 0xAA ? 4 : 2) - 2)
            << int{pattern};
    }
}

} // namespace
