// LIRC's own simulator as the judge of the remote definitions: irsimreceive reads the lircd.conf
// and the mode2 that velmoran-ird exports of one channel and must report the same keys, in the
// same order, as velmoran-ird decode lists for that channel, for every family and for remotes
// whose coding only the analysis of unknown frames finds.

#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/program_run.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

#include "files/capture_file.h"
#include "infrared/frame_text.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/lircd_export.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

constexpr double kJitter = 0.10;

velmoran::test::ProgramRun ird(const QStringList& args, const QString& dir) {
    return velmoran::test::runProgram(QStringLiteral(VELMORAN_IRD_PROGRAM), args, dir);
}

struct GroupCase {
    std::string name;
    std::vector<irgen::Family> families; // channel 1, 2, 3
    uint32_t seed;
    double glitches = 0;
    friend void PrintTo(const GroupCase& c, std::ostream* os) { *os << c.name; }
};

class LircRoundTrip : public ::testing::TestWithParam<GroupCase> {
protected:
    void SetUp() override {
        irsimreceive_ = QStandardPaths::findExecutable(QStringLiteral("irsimreceive"));
        if (irsimreceive_.isEmpty()) {
            GTEST_SKIP() << "irsimreceive (Debian package lirc) is not installed";
        }
        ASSERT_TRUE(dir_.isValid());
        std::unique_ptr<ChannelBuffer[]> buffers(new ChannelBuffer[kChannelCount]{});
        for (std::size_t c = 0; c < GetParam().families.size(); ++c) {
            irgen::Options o;
            o.jitter = kJitter;
            o.glitchShare = GetParam().glitches;
            o.seed = GetParam().seed + static_cast<uint32_t>(c);
            buffers[c] = irgen::renderChannel(irgen::generate(GetParam().families[c], o));
            levels_.push_back(channelLevels(buffers[c]));
        }
        ASSERT_TRUE(
            saveCaptureFile(dir_.filePath("capture.ird"), buffers[0], buffers[1], buffers[2]).ok);
    }

    // The keys irsimreceive reports for a channel: "REMOTE KEY" per frame.
    QStringList lircKeys(int channel, const QStringList& extra = {}) {
        const QString n = QString::number(channel);
        const velmoran::test::ProgramRun conf =
            ird(QStringList{"export", "capture.ird", "--format", "lircd", "--channels", n, "-o",
                            "remote" + n + ".conf"} +
                    extra,
                dir_.path());
        const velmoran::test::ProgramRun mode2 =
            ird({"export", "capture.ird", "--format", "mode2", "--channels", n, "-o",
                 "remote" + n + ".mode2"},
                dir_.path());
        EXPECT_EQ(conf.status, 0);
        EXPECT_EQ(mode2.status, 0);
        const velmoran::test::ProgramRun sim = velmoran::test::runProgram(
            irsimreceive_, {"remote" + n + ".conf", "remote" + n + ".mode2"}, dir_.path());
        EXPECT_EQ(sim.status, 0) << sim.out.toStdString();
        QStringList keys;
        for (const QString& line : sim.out.split('\n', Qt::SkipEmptyParts)) {
            const QStringList w = line.simplified().split(' '); // code, repeat, key, remote
            if (w.size() == 4) {
                keys << w[3] + ' ' + w[2];
            }
        }
        return keys;
    }

    // The keys velmoran-ird decode lists for a channel, named as the lircd.conf names them.
    QStringList decodedKeys(int channel, const KeyNames& names = {}) {
        const velmoran::test::ProgramRun decode =
            ird({"decode", "capture.ird", "--channel", QString::number(channel)}, dir_.path());
        EXPECT_EQ(decode.status, 0);
        QStringList printed;
        for (const QString& line : decode.out.split('\n', Qt::SkipEmptyParts)) {
            if (!line.startsWith('#')) {
                printed << line.simplified().section(' ', 2, 4);
            }
        }
        QStringList listed;
        QStringList keys;
        const ChannelLevels& line = levels_[static_cast<std::size_t>(channel - 1)];
        const std::vector<IrFrame> frames = decodeInfrared(line, channel, IrUnknownBursts::Listed);
        // velmoran-ird decode also names the bursts the protocol table reads.
        for (const IrFrame& f : infrared::irp::decodeWithProtocols(frames, line)) {
            FrameText t = frameText(f);
            infrared::irp::nameFrameText(f, t);
            listed << t.protocol + ' ' + t.address + ' ' + t.command;
        }
        for (const IrFrame& f : frames) {
            if (f.keyKnown) {
                keys << remoteName(f) + ' ' + keyName(f, names);
            }
        }
        EXPECT_EQ(printed, listed); // the frames velmoran-ird decode prints
        return keys;
    }

    QString irsimreceive_;
    QTemporaryDir dir_;
    std::vector<ChannelLevels> levels_;
};

TEST_P(LircRoundTrip, IrsimreceiveReportsTheKeysDecodeLists) {
    for (int channel = 1; channel <= static_cast<int>(GetParam().families.size()); ++channel) {
        SCOPED_TRACE(channel);
        const QStringList want = decodedKeys(channel);
        EXPECT_GT(want.size(), 30);
        EXPECT_EQ(lircKeys(channel), want);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, LircRoundTrip,
    ::testing::Values(
        GroupCase{"nec_rc5_rc6", {irgen::Family::Nec, irgen::Family::Rc5, irgen::Family::Rc6}, 11},
        GroupCase{"samsung32_jvc_kaseikyo",
                  {irgen::Family::Samsung32, irgen::Family::Jvc, irgen::Family::Kaseikyo},
                  12},
        GroupCase{"sharp_denon_sirc",
                  {irgen::Family::Sharp, irgen::Family::Denon, irgen::Family::Sirc},
                  13},
        GroupCase{"rca", {irgen::Family::Rca}, 14},
        GroupCase{"unknown_pd48_pw12_biphase14",
                  {irgen::Family::UnknownPulseDistance48, irgen::Family::UnknownPulseWidth12,
                   irgen::Family::UnknownBiPhase14},
                  15}),
    velmoran::test::CaseName());

using LircNames = LircRoundTrip;

TEST_P(LircNames, AKeyNameFileNamesTheCodes) {
    // Name the first frame's command everywhere, and one remote's command specifically.
    const std::vector<IrFrame> frames = decodeInfrared(levels_[0], 1);
    ASSERT_GT(frames.size(), 2u);
    const FrameText first = frameText(frames.front());
    const FrameText other = frameText(frames.back());
    QFile file(dir_.filePath("names.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# key names\n" + first.command.toUtf8() + " KEY_POWER\n" +
               remoteName(frames.back()).section('_', 0, 0).toUtf8() + ' ' +
               other.address.toUtf8() + ' ' + other.command.toUtf8() +
               " KEY_MUTE  # the last key\n");
    file.close();
    KeyNames names;
    ASSERT_FALSE(parseKeyNames(QString::fromUtf8([&] {
                                   QFile f(file.fileName());
                                   EXPECT_TRUE(f.open(QIODevice::ReadOnly));
                                   return f.readAll();
                               }()),
                               names));
    const QStringList want = decodedKeys(1, names);
    EXPECT_TRUE(want.filter(" KEY_POWER").size() > 0);
    EXPECT_TRUE(want.back().endsWith(" KEY_MUTE"));
    EXPECT_EQ(lircKeys(1, {"--names", "names.txt"}), want);

    const velmoran::test::ProgramRun wrong =
        ird({"export", "capture.ird", "--format", "mode2", "--names", "names.txt", "-o", "x.mode2"},
            dir_.path());
    EXPECT_EQ(wrong.status, 2);
}

using LircUnknown = LircRoundTrip;

TEST_P(LircUnknown, GlitchedFramesAreListedByDecodeAndGoIntoARawCodesRemote) {
    const velmoran::test::ProgramRun decode =
        ird({"decode", "capture.ird", "--channel", "1"}, dir_.path());
    ASSERT_EQ(decode.status, 0);
    std::size_t unknown = 0;
    for (const IrFrame& f : decodeInfrared(levels_[0], 1, IrUnknownBursts::Listed)) {
        unknown += f.protocol == IrProtocol::Unknown ? 1 : 0;
    }
    EXPECT_GT(unknown, 5u);
    const QStringList lines = decode.out.split('\n').filter(" Unknown ");
    ASSERT_EQ(static_cast<std::size_t>(lines.size()), unknown);
    EXPECT_TRUE(lines.front().contains(" raw=+")) << lines.front().toStdString();
    EXPECT_TRUE(decode.out.contains(QStringLiteral("# %1 unknown frames").arg(unknown)));

    // LIRC reads the raw-codes remote along with the decoded ones and still reports every key.
    const QStringList want = decodedKeys(1);
    const QStringList got = lircKeys(1);
    QFile conf(dir_.filePath("remote1.conf"));
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    const QByteArray text = conf.readAll();
    EXPECT_TRUE(text.contains("flags RAW_CODES"));
    EXPECT_EQ(text.count("    name UNKNOWN_"), static_cast<qsizetype>(unknown));
    QStringList known = got;
    known.removeIf([](const QString& k) { return k.startsWith("Unknown "); });
    EXPECT_EQ(known, want);
}

INSTANTIATE_TEST_SUITE_P(Glitches, LircUnknown,
                         ::testing::Values(GroupCase{
                             "nec_glitches", {irgen::Family::Nec}, 31, 0.3}),
                         velmoran::test::CaseName());

INSTANTIATE_TEST_SUITE_P(Nec, LircNames,
                         ::testing::Values(GroupCase{"nec", {irgen::Family::Nec}, 21}),
                         velmoran::test::CaseName());

} // namespace
