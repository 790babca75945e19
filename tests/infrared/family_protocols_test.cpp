// The families as protocols of the table: for every family variant and several keys, the
// description's IRP sends what the family encoder sends (within 1 µs), the protocol table reads
// those durations back as the description's protocol with the same parameters, and the family
// decoder names the frame it decodes from them the same way.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "infrared/family_protocols.h"
#include "infrared/ir_decoder.h"
#include "infrared/ir_encoder.h"
#include "infrared/ir_protocols.h"
#include "infrared/irp/irp.h"
#include "infrared/irp/irp_decode.h"
#include "infrared/irp/irp_table.h"

using namespace velmoran;
using namespace velmoran::infrared;

namespace {

struct Key {
    const char* label;
    IrFrame frame;
    // Whether the table reads the frame (a press, or a repeat after its press) as the
    // description's protocol: Sanyo's repeat code is NEC's, which the table's Aiwa does not send;
    // the second frame of a Sharp or Denon pair alone starts the table's repeat, not a press.
    bool tableReads = true;
};

IrFrame frameOf(IrProtocol protocol, uint32_t address, uint32_t command,
                const std::function<void(IrFrame&)>& more = {}) {
    IrFrame f;
    f.protocol = protocol;
    f.address = address;
    f.command = command;
    if (more) {
        more(f);
    }
    return f;
}

std::vector<Key> keys() {
    using P = IrProtocol;
    const auto extended = [](IrFrame& f) { f.extended = true; };
    const auto repeat = [](IrFrame& f) { f.repeat = true; };
    const auto subdevice = [](uint32_t s) { return [s](IrFrame& f) { f.subdevice = s; }; };
    const auto kaseikyo = [](uint32_t vendor, uint32_t s, uint32_t extra) {
        return [=](IrFrame& f) {
            f.vendor = vendor;
            f.subdevice = s;
            f.extra = extra;
        };
    };
    const auto half = [](IrPairHalf h) { return [h](IrFrame& f) { f.half = h; }; };
    const auto toggle = [](IrFrame& f) { f.toggle = true; };
    const auto rc6a = [](uint32_t customer, bool t) {
        return [=](IrFrame& f) {
            f.mode = 6;
            f.vendor = customer;
            f.toggle = t;
        };
    };
    const auto sirc = [](int bits) { return [bits](IrFrame& f) { f.bits = bits; }; };
    return {
        {"nec", frameOf(P::Nec, 0x25, 0xeb)},
        {"nec_zero", frameOf(P::Nec, 0x00, 0x00)},
        {"nec_extended", frameOf(P::Nec, 0xda25, 0x7f, extended)},
        {"nec_repeat", frameOf(P::NecRepeat, 0x04, 0x08)},
        {"nec_extended_repeat", frameOf(P::NecRepeat, 0x1234, 0x56, extended)},
        {"samsung32", frameOf(P::Samsung32, 0x07, 0x02, subdevice(0x07))},
        {"samsung32_other", frameOf(P::Samsung32, 0xe0, 0xff, subdevice(0x1f))},
        {"jvc", frameOf(P::Jvc, 0x03, 0x17)},
        {"jvc_headerless", frameOf(P::Jvc, 0xc1, 0x80, repeat)},
        {"panasonic", frameOf(P::Kaseikyo, 0x40, 0x3d, kaseikyo(kPanasonicVendor, 0x10, 0))},
        {"panasonic_high", frameOf(P::Kaseikyo, 0xb0, 0xff, kaseikyo(kPanasonicVendor, 0xff, 0))},
        {"kaseikyo_denon", frameOf(P::Kaseikyo, 0x3, 0x81, kaseikyo(0x3254, 0x42, 0x5))},
        {"kaseikyo_jvc", frameOf(P::Kaseikyo, 0xf, 0x00, kaseikyo(0x0103, 0x00, 0xa))},
        {"sharp", frameOf(P::Sharp, 0x01, 0xd2)},
        {"sharp_first", frameOf(P::Sharp, 0x1f, 0x00, half(IrPairHalf::FirstOnly))},
        {"sharp_second", frameOf(P::Sharp, 0x10, 0x81, half(IrPairHalf::SecondOnly)), false},
        {"denon", frameOf(P::Denon, 0x02, 0xe1)},
        {"denon_second", frameOf(P::Denon, 0x0a, 0x33, half(IrPairHalf::SecondOnly)), false},
        {"rc5", frameOf(P::Rc5, 0x00, 0x0c)},
        {"rc5_toggle", frameOf(P::Rc5, 0x1f, 0x3f, toggle)},
        {"rc5x", frameOf(P::Rc5, 0x05, 0x75)},
        {"rc6", frameOf(P::Rc6, 0x00, 0x0c)},
        {"rc6_toggle", frameOf(P::Rc6, 0xa5, 0xff, toggle)},
        {"rc6a_16", frameOf(P::Rc6, 0x12, 0x34, rc6a(0x9a0b, false))},
        {"rc6a_16_toggle", frameOf(P::Rc6, 0xff, 0x00, rc6a(0xffff, true))},
        {"rc6a_8", frameOf(P::Rc6, 0x43, 0x21, rc6a(0x57, true))},
        {"mce", frameOf(P::Rc6, 0x04, 0x0d, rc6a(ir::kRc6MceCustomer, false))},
        {"mce_toggle", frameOf(P::Rc6, 0x7f, 0x80, rc6a(ir::kRc6MceCustomer, true))},
        {"sony12", frameOf(P::Sirc, 0x01, 0x15, sirc(12))},
        {"sony12_high", frameOf(P::Sirc, 0x1f, 0x7f, sirc(12))},
        {"sony15", frameOf(P::Sirc, 0x97, 0x4a, sirc(15))},
        {"sony20", frameOf(P::Sirc, 0x1a3, 0x39, sirc(20))},
        {"sony20_high", frameOf(P::Sirc, 0x1fff, 0x00, sirc(20))},
        {"rca", frameOf(P::Rca, 0x0f, 0x54)},
        {"rca_zero", frameOf(P::Rca, 0x00, 0x00)},
        {"sanyo", frameOf(P::Sanyo, 0x1234, 0x56)},
        {"sanyo_high", frameOf(P::Sanyo, 0x1fff, 0x01)},
        {"sanyo_repeat", frameOf(P::Sanyo, 0x0abc, 0x9c, repeat), false},
    };
}

// Marks and spaces from the first mark to the last.
std::vector<double> trimmed(std::vector<double> d) {
    while (!d.empty() && d.back() < 0) {
        d.pop_back();
    }
    return d;
}

// A run of durations as a line sampled every 40.1474 µs, starting high (idle).
ChannelLevels lineOf(const std::vector<double>& durations) {
    ChannelLevels line;
    line.initialHigh = true;
    double t = 100000;
    for (const double d : durations) {
        line.edges.push_back(static_cast<int32_t>(std::llround(t / kSamplePeriodUsExact)));
        t += std::abs(d);
    }
    line.edges.push_back(static_cast<int32_t>(std::llround(t / kSamplePeriodUsExact)));
    return line;
}

class FamilyProtocols : public ::testing::TestWithParam<Key> {};

TEST_P(FamilyProtocols, DescriptionSendsAndTheTableReadsTheFamilysFrame) {
    const IrFrame& frame = GetParam().frame;
    const IrFamilyProtocol* d = familyProtocolOf(frame);
    ASSERT_NE(d, nullptr);
    const irp::Parsed parsed = irp::parse(QString::fromLatin1(d->irp));
    ASSERT_TRUE(parsed.protocol) << d->irp << ": " << parsed.error.message.toStdString();

    // The description sends the family encoder's marks and spaces.
    const irp::Values values = familyValues(*d, frame);
    const irp::Rendered r = irp::render(familyIrp(*d), values);
    ASSERT_TRUE(r.signal) << r.error.toStdString();
    const std::vector<double>& part = d->repeatPart ? r.signal->repeat : r.signal->intro;
    const std::vector<double> sent = trimmed(part);
    const std::vector<double> family = irFrameDurations(frame);
    ASSERT_EQ(sent.size(), family.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_NEAR(sent[i], family[i], 1.0) << "duration " << i;
    }
    EXPECT_NEAR(-part.back(), irFrameGapUs(frame), 1.0);
    EXPECT_EQ(r.signal->frequencyHz, irCarrierHz(frame));

    // The table reads it as the described protocol with the same parameters.
    const IrNamedProtocol named = familyNamed(frame);
    ASSERT_EQ(named.name.toStdString(), d->name);
    if (GetParam().tableReads) {
        std::vector<double> line = d->repeatPart ? r.signal->intro : std::vector<double>{};
        line.insert(line.end(), part.begin(), part.end());
        line.push_back(-1e9);
        const std::vector<irp::Decoded> got = irp::decodeDurations(line, irp::builtinTable());
        ASSERT_FALSE(got.empty());
        const irp::Decoded& last = got.back();
        EXPECT_EQ(last.protocol->name.toStdString(), d->name);
        EXPECT_EQ(last.repeat, d->repeatPart);
        for (const auto& [name, value] : named.parameters) {
            const auto it = last.values.find(name.toStdString());
            ASSERT_NE(it, last.values.end()) << name.toStdString();
            EXPECT_EQ(it->second, value) << name.toStdString();
        }
    }

    // The family decoder names what it decodes from the encoder's frame alike; a repeat is
    // decoded after its key's frame.
    std::vector<double> sentLine;
    if (d->repeatPart) {
        IrFrame key = frame;
        key.protocol = frame.protocol == IrProtocol::NecRepeat ? IrProtocol::Nec : frame.protocol;
        key.repeat = false;
        sentLine = irFrameDurations(key);
        sentLine.push_back(-irFrameGapUs(key));
    }
    const std::vector<double> own = irFrameDurations(frame);
    sentLine.insert(sentLine.end(), own.begin(), own.end());
    const std::vector<IrFrame> decoded = decodeInfrared(lineOf(sentLine), 1);
    ASSERT_FALSE(decoded.empty());
    const IrFrame& back = decoded.back();
    EXPECT_EQ(back.named.name, named.name);
    EXPECT_EQ(irp::parameterText(back.named), irp::parameterText(named));
    FrameText text = frameText(back);
    const QString notes = text.notes;
    irp::nameFrameText(back, text);
    EXPECT_EQ(text.notes.toStdString(),
              ((notes.isEmpty() ? QString() : notes + ' ') + familyParameterText(named))
                  .toStdString());
}

INSTANTIATE_TEST_SUITE_P(Table, FamilyProtocols, ::testing::ValuesIn(keys()),
                         [](const auto& row) { return std::string(row.param.label); });

// A frame whose check failed, a repeat of no known key and an unknown burst name nothing.
TEST(FamilyProtocolsNamed, NothingWhereTheFieldsDoNotTellTheFrame) {
    IrFrame failed = frameOf(IrProtocol::Nec, 0x25, 0xeb);
    failed.check = IrCheck::Failed;
    EXPECT_TRUE(familyNamed(failed).isEmpty());
    IrFrame orphan = frameOf(IrProtocol::NecRepeat, 0, 0);
    orphan.keyKnown = false;
    EXPECT_TRUE(familyNamed(orphan).isEmpty());
    EXPECT_TRUE(familyNamed(frameOf(IrProtocol::Unknown, 0, 0)).isEmpty());
    EXPECT_EQ(familyProtocolOf(frameOf(IrProtocol::Unknown, 0, 0)), nullptr);
    EXPECT_EQ(familyParameterText(familyNamed(frameOf(IrProtocol::Nec, 0x25, 0xeb))),
              QStringLiteral("D=0x25 S=0xda F=0xeb"));
}

} // namespace
