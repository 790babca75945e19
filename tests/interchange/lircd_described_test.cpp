// LIRC's irsimreceive as the judge of remotes written from protocol descriptions: the decoder
// families' variants the generator's captures leave out (held NEC-extended, Sanyo and JVC keys,
// Sharp and Denon pairs, RC-5X and RC-6 toggles, Media Center and 24-bit RC-6A, SIRC-20,
// Kaseikyo of another vendor) rendered from their descriptions, and a protocol of the user's own
// that no decoder knows: LIRC must name every press and repeat the decoders list, as they list
// them. The user's protocol also gets one cell per bit, holding the bit sent, and its carrier.

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/program_run.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include "infrared/family_protocols.h"
#include "infrared/frame_cells.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/exporters.h"
#include "interchange/lircd_export.h"
#include "interchange/pronto.h"
#include "tools/ird/ird_generate.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

// The rest between two presses: longer than any protocol's gap.
constexpr double kRestUs = 250000;

struct Press {
    irp::Values values;
    int repeats = 0;
};

// Presses of `protocol` one after another, each followed by a rest.
std::vector<double> pressesOf(const irp::Protocol& protocol, const std::vector<Press>& presses) {
    std::vector<double> all;
    for (const Press& p : presses) {
        const irp::Rendered r = irp::render(protocol, p.values);
        EXPECT_TRUE(r.signal) << r.error.toStdString();
        if (!r.signal) {
            return {};
        }
        const std::vector<double> d = pressDurations(*r.signal, p.repeats);
        all.insert(all.end(), d.begin(), d.end());
        if (all.back() < 0) {
            all.back() -= kRestUs;
        } else {
            all.push_back(-kRestUs);
        }
    }
    return all;
}

class LircDescribed : public ::testing::Test {
protected:
    void SetUp() override {
        irsimreceive_ = QStandardPaths::findExecutable(QStringLiteral("irsimreceive"));
        if (irsimreceive_.isEmpty()) {
            GTEST_SKIP() << "irsimreceive (Debian package lirc) is not installed";
        }
        ASSERT_TRUE(dir_.isValid());
    }

    // Decodes `sent` with `table`, writes the lircd.conf of its frames and checks that
    // irsimreceive names, in the sent signal, each key and repeat the decoders list, in order.
    std::vector<IrFrame> judge(const std::vector<double>& sent, const irp::ProtocolTable& table) {
        ChannelBuffer buffer{};
        EXPECT_FALSE(sampleInto(sent, buffer));
        std::vector<IrFrame> frames = decodeChannelFrames(channelLevels(buffer), 1, table);
        // A family frame's remote is named by remoteName, a table protocol's by its name and
        // device ("Velmo-PD_85"): the name the remote starts with, and the key.
        QStringList remotes;
        QStringList want;
        for (const IrFrame& f : frames) {
            if (f.keyKnown) {
                remotes << (irp::readByTable(f) ? f.named.name + '_' : remoteName(f));
                want << remotes.back() + ' ' + keyName(f, {});
            }
        }
        const QByteArray conf = exportLircd(1, frames);
        EXPECT_FALSE(conf.contains("RAW_CODES")) << conf.toStdString();
        test::writeFile(dir_.filePath(QStringLiteral("remote.conf")), conf);
        test::writeFile(dir_.filePath(QStringLiteral("sent.mode2")), generatedMode2(sent));
        const test::ProgramRun sim =
            test::runProgram(irsimreceive_, {"remote.conf", "sent.mode2"}, dir_.path());
        EXPECT_EQ(sim.status, 0) << sim.err.toStdString();
        QStringList named;
        for (const QString& line : sim.out.split('\n', Qt::SkipEmptyParts)) {
            const QStringList w = line.simplified().split(' '); // code, repeat, key, remote
            if (w.size() == 4) {
                const QString remote = remotes.value(named.size());
                named << (w[3].startsWith(remote) ? remote : w[3]) + ' ' + w[2];
            }
        }
        EXPECT_GT(want.size(), 0);
        EXPECT_EQ(named.join(QLatin1Char('\n')).toStdString(),
                  want.join(QLatin1Char('\n')).toStdString())
            << conf.toStdString();
        return frames;
    }

    QString irsimreceive_;
    QTemporaryDir dir_;
};

const IrFamilyProtocol& variant(IrProtocol protocol, IrVariantWhen when, int bits = 0) {
    for (const IrFamilyProtocol& d : familyProtocols()) {
        if (d.protocol == protocol && d.when == when && d.bits == bits) {
            return d;
        }
    }
    ADD_FAILURE() << "no such variant";
    return familyProtocols().front();
}

TEST_F(LircDescribed, EveryFamilyVariantIsNamedByLircWithItsRepeats) {
    using W = IrVariantWhen;
    struct Case {
        const IrFamilyProtocol& description;
        std::vector<Press> presses;
    };
    const Case cases[] = {
        {variant(IrProtocol::Nec, W::Extended),
         {{{{"D", 0x12}, {"S", 0x34}, {"F", 0x56}}, 2}, {{{"D", 0x12}, {"S", 0x34}, {"F", 7}}, 0}}},
        {variant(IrProtocol::Sanyo, W::Always),
         {{{{"D", 0x2a}, {"S", 0x11}, {"F", 0x33}}, 2}, {{{"D", 0x2a}, {"S", 0x11}, {"F", 1}}, 1}}},
        {variant(IrProtocol::Jvc, W::Always),
         {{{{"D", 3}, {"F", 0x44}}, 3}, {{{"D", 3}, {"F", 0x45}}, 0}}},
        {variant(IrProtocol::Sharp, W::BothHalves),
         {{{{"D", 5}, {"F", 0x21}}, 0}, {{{"D", 5}, {"F", 0xfe}}, 0}}},
        {variant(IrProtocol::Denon, W::BothHalves), {{{{"D", 0x11}, {"F", 0x80}}, 0}}},
        {variant(IrProtocol::Rc5, W::Always),
         {{{{"D", 5}, {"F", 0x45}, {"T", 1}}, 2},
          {{{"D", 5}, {"F", 0x45}, {"T", 0}}, 0},
          {{{"D", 0x1f}, {"F", 3}, {"T", 1}}, 0}}},
        {variant(IrProtocol::Rc6, W::Mce),
         {{{{"D", 0x0d}, {"S", 0x0f}, {"F", 0x0c}, {"T", 1}}, 2},
          {{{"D", 0x0d}, {"S", 0x0f}, {"F", 0x0c}, {"T", 0}}, 0}}},
        {variant(IrProtocol::Rc6, W::Customer8),
         {{{{"D", 0x31}, {"S", 0x42}, {"F", 0x99}, {"M", 6}, {"T", 1}}, 1}}},
        {variant(IrProtocol::Sirc, W::Always, 20),
         {{{{"D", 1}, {"S", 0x3a}, {"F", 0x15}}, 2}, {{{"D", 1}, {"S", 0x3a}, {"F", 0x7f}}, 0}}},
        {variant(IrProtocol::Kaseikyo, W::OtherVendor),
         {{{{"D", 2}, {"S", 0x20}, {"F", 0x9c}, {"E", 1}, {"M", 0x54}, {"N", 0x32}}, 0}}},
        {variant(IrProtocol::Kaseikyo, W::Panasonic), {{{{"D", 0x20}, {"S", 1}, {"F", 0x3d}}, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.description.name) + ' ' + c.description.irp);
        const std::vector<IrFrame> frames =
            judge(pressesOf(familyIrp(c.description), c.presses), irp::builtinTable());
        for (const IrFrame& f : frames) {
            EXPECT_NE(f.protocol, IrProtocol::Unknown)
                << irp::shownFrameText(f).notes.toStdString();
        }
    }
}

// A made-up pulse-distance protocol in the user's file: the decoder names its frames by it, and
// the lircd.conf, the cells and the carrier follow its description.
TEST_F(LircDescribed, AUserProtocolIsWrittenCelledAndCarriedByItsDescription) {
    const QString path = dir_.filePath(QStringLiteral("protocols.irp"));
    test::writeFile(path, "# mine\nVelmo-PD\t{41k,420}<1,-2|1,-5>(11,-6,D:7,F:9,1,^70m)*"
                          "[D:0..127,F:0..511]\n");
    const irp::ProtocolTable table = irp::tableWithUserProtocols(path);
    ASSERT_TRUE(table.errors.isEmpty()) << table.errors.join('\n').toStdString();
    const irp::CompiledProtocol* own = table.find(QStringLiteral("Velmo-PD"));
    ASSERT_NE(own, nullptr);
    const std::vector<Press> presses = {{{{"D", 0x55}, {"F", 0x1a3}}, 2},
                                        {{{"D", 0x55}, {"F", 0x002}}, 0},
                                        {{{"D", 0x06}, {"F", 0x1ff}}, 1}};
    const std::vector<IrFrame> frames = judge(pressesOf(own->protocol, presses), table);
    ASSERT_EQ(frames.size(), 6u);
    for (const IrFrame& f : frames) {
        ASSERT_EQ(f.named.name, QStringLiteral("Velmo-PD"));
        EXPECT_EQ(frameCarrierHz(f), 41000);
        // One cell per bit, D's seven then F's nine, each the bit sent (least significant first).
        const FrameCells cells = frameCells(f);
        const uint32_t sent = f.address | f.command << 7;
        ASSERT_EQ(cells.bits.size(), 16u);
        for (std::size_t b = 0; b < cells.bits.size(); ++b) {
            EXPECT_EQ(cells.bits[b].value, ((sent >> b) & 1) != 0) << b;
            EXPECT_LT(cells.bits[b].start, cells.bits[b].end);
        }
        EXPECT_LT(cells.leaderStart, cells.leaderEnd);
        EXPECT_LE(cells.leaderEnd, cells.bits.front().start);
    }
    // Without the user's file the same frames are unknown bursts: no protocol names them.
    ChannelBuffer buffer{};
    ASSERT_FALSE(sampleInto(pressesOf(own->protocol, presses), buffer));
    for (const IrFrame& f : decodeChannelFrames(channelLevels(buffer), 1, irp::builtinTable())) {
        EXPECT_NE(f.named.name, QStringLiteral("Velmo-PD"));
    }
}

} // namespace
