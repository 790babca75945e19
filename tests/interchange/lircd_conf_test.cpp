// lircd.conf files of the four kinds of LIRC encoding, written from published timings: LIRC's own
// irsimsend sends every key of each, the signal goes through the board's sampling into a channel,
// and the matcher must name each frame with the key irsimsend sent — in the library's code and
// in velmoran-ird decode --remotes. The reader gives back what the writer wrote, and refuses a
// malformed file naming its line.

#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/files.h"
#include "support/ird_capture.h"
#include "support/program_run.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "files/capture_file.h"
#include "infrared/remote_definition.h"
#include "interchange/lircd_conf.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

constexpr double kLeadInUs = 20000;

struct ConfCase {
    std::string name;
    QByteArray conf;
    int count; // irsimsend's -c: NEC sends a frame and a repeat code per key
    friend void PrintTo(const ConfCase& c, std::ostream* os) { *os << c.name; }
};

// NEC with the address as pre_data (9 ms + 4.5 ms header, 562.5 µs units, 2.25 ms repeat).
const QByteArray kNec = R"(# an NEC television
begin remote
  name  tv
  bits           16
  flags SPACE_ENC|CONST_LENGTH
  eps            30
  aeps          100
  header       9000  4500
  one           563  1687
  zero          563   562
  ptrail        563
  repeat       9000  2250
  pre_data_bits   16
  pre_data       0x20DF
  gap          108000
  frequency    38000
  begin codes
      KEY_POWER                0x10EF
      KEY_MUTE                 0x906F   # comments may follow a code
      KEY_VOLUMEUP             0x40BF
  end codes
end remote
)";

// RC-5: 889 µs halves, the first start bit's mark as plead, field, toggle and system as pre_data.
const QByteArray kRc5 = R"(begin remote
  name  amplifier
  bits            6
  flags SHIFT_ENC|CONST_LENGTH
  eps            30
  aeps          100
  one           889   889
  zero          889   889
  plead         889
  pre_data_bits   7
  pre_data       0x54
  gap          113792
  toggle_bit_mask 0x800
  begin codes
    KEY_VOLUMEUP     0x10
    KEY_VOLUMEDOWN   0x11
    KEY_MUTE         0x0D
    KEY_POWER        0x0C
  end codes
end remote
)";

// RC-6 mode 0: 444 µs units, a 2666 + 889 µs leader, the double-length trailer bit in rc6_mask.
const QByteArray kRc6 = R"(begin remote
  name  mediabox
  bits           16
  flags RC6|CONST_LENGTH
  eps            30
  aeps          100
  header       2666   889
  one           444   444
  zero          444   444
  pre_data_bits   5
  pre_data       0x0F
  gap          83111
  toggle_bit_mask 0x10000
  rc6_mask     0x10000
  begin codes
    KEY_OK           0xF2A0
    KEY_UP           0xF2A7
    KEY_0            0xF2FF
  end codes
end remote
)";

// A fan that only a raw recording describes.
const QByteArray kRaw = R"(begin remote
  name  fan
  flags RAW_CODES
  eps            30
  aeps          100
  gap          50000
  begin raw_codes
    name KEY_POWER
       1300   400  1300   400   400  1200  1300   400
        400  1200   400  1200   400  1200   400
    name KEY_SPEED
       1300   400  1300   400   400  1200   400  1200
       1300   400   400  1200   400  1200   400
  end raw_codes
end remote
)";

class LircdConf : public ::testing::TestWithParam<ConfCase> {};

TEST_P(LircdConf, EveryKeyIrsimsendSendsIsMatched) {
    const QString irsimsend = QStandardPaths::findExecutable(QStringLiteral("irsimsend"));
    if (irsimsend.isEmpty()) {
        GTEST_SKIP() << "irsimsend (Debian package lirc) is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString conf = dir.filePath(QStringLiteral("remote.conf"));
    QFile file(conf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(GetParam().conf);
    file.close();
    std::vector<LircRemote> remotes;
    ASSERT_EQ(readLircdConfFile(conf, remotes), std::nullopt);
    ASSERT_EQ(remotes.size(), 1u);

    // The writer's text reads back as the same remote.
    std::vector<LircRemote> again;
    ASSERT_EQ(readLircdConf(writeLircdConf(remotes), QStringLiteral("written"), again),
              std::nullopt);
    EXPECT_EQ(again, remotes);

    const velmoran::test::ProgramRun sent = velmoran::test::runProgram(
        irsimsend, {QStringLiteral("-c"), QString::number(GetParam().count), conf}, dir.path());
    ASSERT_EQ(sent.status, 0);
    QStringList want;
    for (const QString& key : sent.out.split('\n', Qt::SkipEmptyParts)) {
        for (int i = 0; i < GetParam().count; ++i) {
            want << key;
        }
    }
    ASSERT_GE(want.size(), 2);

    // simsend.out: "pulse N" / "space N" lines, as the receiver's line would carry them.
    test::IrLine line(kLeadInUs);
    for (const QByteArray& l :
         velmoran::test::readExisting(dir.filePath(QStringLiteral("simsend.out"))).split('\n')) {
        const QList<QByteArray> w = l.simplified().split(' ');
        if (w.size() == 2) {
            w[0] == "pulse" ? line.mark(w[1].toDouble()) : line.space(w[1].toDouble());
        }
    }
    const ChannelBuffer channel = test::renderLine(line.edges());
    const std::vector<IrFrame> frames =
        decodeInfrared(channelLevels(channel), 1, IrUnknownBursts::Listed);
    QStringList got;
    for (const std::optional<LircKey>& key : LircMatcher(remotes).matchFrames(frames)) {
        got << (key ? remotes[0].codes.empty() ? remotes[0].rawCodes[key->code].name
                                               : remotes[0].codes[key->code].name
                    : QStringLiteral("-"));
    }
    EXPECT_EQ(got, want);

    // velmoran-ird decode names the same keys.
    std::unique_ptr<ChannelBuffer[]> none(new ChannelBuffer[2]{});
    ASSERT_TRUE(
        saveCaptureFile(dir.filePath(QStringLiteral("c.ird")), channel, none[0], none[1]).ok);
    const velmoran::test::ProgramRun decode = velmoran::test::runProgram(
        QStringLiteral(VELMORAN_IRD_PROGRAM),
        {QStringLiteral("decode"), QStringLiteral("c.ird"), QStringLiteral("--remotes"), conf},
        dir.path());
    ASSERT_EQ(decode.status, 0);
    QStringList printed;
    for (const QString& l : decode.out.split('\n')) {
        if (const qsizetype at = l.indexOf(QStringLiteral(" key=")); at >= 0) {
            printed << l.mid(at + 5).section(' ', 0, 0);
            EXPECT_TRUE(l.endsWith(QStringLiteral(" remote=") + remotes[0].name));
        }
    }
    EXPECT_EQ(printed, want);
}

INSTANTIATE_TEST_SUITE_P(Encodings, LircdConf,
                         ::testing::Values(ConfCase{"nec_space_enc", kNec, 2},
                                           ConfCase{"rc5_shift_enc", kRc5, 1},
                                           ConfCase{"rc6", kRc6, 1},
                                           ConfCase{"raw_codes", kRaw, 1}),
                         velmoran::test::CaseName());

struct Malformed {
    std::string name;
    QByteArray text;
    QString reason; // "bad.conf:LINE: …"
    friend void PrintTo(const Malformed& c, std::ostream* os) { *os << c.name; }
};

class LircdConfErrors : public ::testing::TestWithParam<Malformed> {};

TEST_P(LircdConfErrors, AreRefusedNamingTheLineAndNothingIsTaken) {
    // A good remote first: it must not be taken either.
    std::vector<LircRemote> remotes;
    const std::optional<QString> error =
        readLircdConf(kRc5 + GetParam().text, QStringLiteral("bad.conf"), remotes);
    EXPECT_EQ(error.value_or(QString()), GetParam().reason);
    EXPECT_TRUE(remotes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, LircdConfErrors,
    ::testing::Values(
        Malformed{"bad_number", "begin remote\n name x\n bits 8\n eps 3o\n",
                  "bad.conf:24: \"3o\" is not a number"},
        Malformed{"unknown_flag", "begin remote\n name x\n flags SPACE_ENC|FAST\n",
                  "bad.conf:23: unknown flag FAST"},
        Malformed{"pair_with_one_value", "\nbegin remote\n name x\n header 9000\n",
                  "bad.conf:24: header takes two values: pulse and space"},
        Malformed{"no_end", "begin remote\n name x\n bits 8\n begin codes\n K 0x1\n",
                  "bad.conf:26: the file ends inside a remote (no \"end remote\")"},
        Malformed{"no_bits", "begin remote\n name x\n begin codes\n end codes\nend remote\n",
                  "bad.conf:25: remote x gives no bits"},
        Malformed{"code_without_value", "begin remote\n name x\n bits 8\n begin codes\n KEY_1\n",
                  "bad.conf:25: a code needs a name and a value"},
        Malformed{"stray_text", "remote y\n", "bad.conf:21: expected \"begin remote\""}),
    velmoran::test::CaseName());

} // namespace
