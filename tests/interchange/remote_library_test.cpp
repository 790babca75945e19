// Keys of remotes no decoder knows, learned into the remote library from their analysed bursts:
// naming two frames names every frame with the same bits and no other, the library read back
// from its file names them the same, and LIRC's irsimreceive, given the library and the channel
// as mode2, reports the same keys for the same frames.

#include <gtest/gtest.h>

#include "support/case_name.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "core/channel_levels.h"
#include "interchange/exporters.h"
#include "interchange/remote_library.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

struct UnknownCase {
    std::string name;
    irgen::Family family;
    uint32_t flagsWanted; // the learned remote's encoding
    friend void PrintTo(const UnknownCase& c, std::ostream* os) { *os << c.name; }
};

class LearnedUnknown : public ::testing::TestWithParam<UnknownCase> {};

TEST_P(LearnedUnknown, SameBitsSameKeyInTheLibraryAndInLirc) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    irgen::Options o;
    o.jitter = 0.05;
    o.seed = 7;
    const ChannelBuffer channel = irgen::renderChannel(irgen::generate(GetParam().family, o));
    const std::vector<IrFrame> frames =
        decodeInfrared(channelLevels(channel), 1, IrUnknownBursts::Listed);
    ASSERT_GT(frames.size(), 10u);
    const IrFrame& a = frames.front();
    const auto other = std::find_if(frames.begin(), frames.end(), [&](const IrFrame& f) {
        return f.analysis.bits != a.analysis.bits;
    });
    ASSERT_NE(other, frames.end());
    ASSERT_EQ(a.protocol, IrProtocol::Unknown);
    ASSERT_NE(a.analysis.scheme, IrScheme::None);

    const QString path = dir.filePath(QStringLiteral("remotes.lircd.conf"));
    RemoteLibrary library;
    ASSERT_EQ(library.load(path), std::nullopt);
    ASSERT_EQ(library.nameFrame(a, QStringLiteral("KEY_A")), std::nullopt);
    ASSERT_EQ(library.nameFrame(*other, QStringLiteral("KEY_B")), std::nullopt);
    ASSERT_EQ(library.remotes().size(), 1u); // both keys in one remote
    EXPECT_EQ(library.remotes()[0].flags, GetParam().flagsWanted);

    QStringList want;
    QStringList wantByLirc; // LIRC reports no repeat code the learned remote does not describe
    for (const IrFrame& f : frames) {
        if (!f.analysis.repeatCode && f.analysis.bits == a.analysis.bits) {
            wantByLirc << QStringLiteral("KEY_A");
        } else if (!f.analysis.repeatCode && f.analysis.bits == other->analysis.bits) {
            wantByLirc << QStringLiteral("KEY_B");
        }
        // The library names what LIRC names: no repeat code, as the remote describes none.
        want << (f.analysis.repeatCode                     ? QString()
                 : f.analysis.bits == a.analysis.bits      ? QStringLiteral("KEY_A")
                 : f.analysis.bits == other->analysis.bits ? QStringLiteral("KEY_B")
                                                           : QString());
    }
    const auto named = [&](const RemoteLibrary& lib) {
        QStringList keys;
        for (const std::optional<LibraryKey>& k : lib.lookup(frames)) {
            keys << (k ? k->key : QString());
        }
        return keys;
    };
    EXPECT_EQ(named(library), want);
    RemoteLibrary again;
    ASSERT_EQ(again.load(path), std::nullopt);
    EXPECT_EQ(named(again), want);

    const QString irsimreceive = QStandardPaths::findExecutable(QStringLiteral("irsimreceive"));
    if (irsimreceive.isEmpty()) {
        GTEST_SKIP() << "irsimreceive (Debian package lirc) is not installed";
    }
    const QString mode2 = dir.filePath(QStringLiteral("channel.mode2"));
    QFile file(mode2);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(exportMode2({1, channelLevels(channel)}));
    file.close();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.path());
    p.setProcessEnvironment(env);
    p.start(irsimreceive, {path, mode2});
    ASSERT_TRUE(p.waitForFinished(60000));
    QStringList reported;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QStringList w = line.simplified().split(' '); // code, repeat, key, remote
        if (w.size() == 4) {
            reported << w[2];
        }
    }
    EXPECT_EQ(reported, wantByLirc);
}

INSTANTIATE_TEST_SUITE_P(
    Codings, LearnedUnknown,
    ::testing::Values(
        UnknownCase{"pulse_distance_48", irgen::Family::UnknownPulseDistance48, kLircSpaceEnc},
        UnknownCase{"pulse_distance_112_raw", irgen::Family::UnknownPulseDistance112,
                    kLircRawCodes},
        UnknownCase{"pulse_width_12", irgen::Family::UnknownPulseWidth12, kLircSpaceEnc},
        UnknownCase{"bi_phase_14_raw", irgen::Family::UnknownBiPhase14, kLircRawCodes}),
    velmoran::test::CaseName());

} // namespace
