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
        Malformed{"stray_text", "remote y\n", "bad.conf:21: expected \"begin remote\""},
        Malformed{"raw_flag_with_codes",
                  "begin remote\n name x\n flags RAW_CODES\n begin codes\n K 0x1\n end codes\n",
                  "bad.conf:24: remote x is flagged RAW_CODES but has a \"begin codes\" section"},
        Malformed{"codes_then_raw_codes",
                  "begin remote\n name x\n bits 8\n begin codes\n K 0x1\n end codes\n"
                  " begin raw_codes\n name L\n 100 200 300\n end raw_codes\nend remote\n",
                  "bad.conf:27: remote x already has its codes (line 24); LIRC takes one codes "
                  "or raw_codes section"},
        Malformed{"raw_flag_after_codes",
                  "begin remote\n name x\n bits 8\n begin codes\n K 0x1\n end codes\n"
                  " flags RAW_CODES\nend remote\n",
                  "bad.conf:28: remote x is flagged RAW_CODES but has a \"begin codes\" section "
                  "(line 24)"},
        Malformed{"pre_data_bits_past_int", "begin remote\n name x\n pre_data_bits 2147483647\n",
                  "bad.conf:23: pre_data_bits 2147483647 is out of range (0 to 64)"},
        Malformed{"bits_that_wrap",
                  "begin remote\n name x\n bits 8\n pre_data_bits 64\n post_data_bits 64\n"
                  "end remote\n",
                  "bad.conf:26: remote x has more than 64 bits"},
        Malformed{"eps_past_a_hundred", "begin remote\n name x\n eps 2147483647\n",
                  "bad.conf:23: eps 2147483647 is out of range (0 to 100)"},
        Malformed{"duration_past_lirc", "begin remote\n name x\n header 9000 2147483647\n",
                  "bad.conf:23: a duration 2147483647 is out of range (0 to 16777215)"},
        Malformed{"raw_duration_past_lirc",
                  "begin remote\n name x\n begin raw_codes\n name K\n 100 16777216 100\n",
                  "bad.conf:25: a duration 16777216 is out of range (0 to 16777215)"},
        Malformed{"octal_eight", "begin remote\n name x\n bits 08\n",
                  "bad.conf:23: \"08\" is not a number"},
        Malformed{"key_name_too_long",
                  "begin remote\n name x\n bits 8\n begin codes\n " + QByteArray(200, 'K') +
                      " 0x1\n",
                  "bad.conf:25: a name longer than 100 bytes, which LIRC cannot report"},
        Malformed{"remote_name_too_long", "begin remote\n name " + QByteArray(101, 'R') + "\n",
                  "bad.conf:22: a name longer than 100 bytes, which LIRC cannot report"},
        Malformed{"line_too_long", "\n" + QByteArray(4096, ' ') + "\n",
                  "bad.conf:22: a line longer than 4095 bytes, which LIRC does not read"},
        Malformed{"include_missing", "include \"/nonexistent/velmoran.conf\"\n",
                  "bad.conf:21: in the included file: cannot read /nonexistent/velmoran.conf: No "
                  "such file or directory"},
        Malformed{"include_unquoted", "include other.conf\n",
                  "bad.conf:21: an include line needs a \"quoted\" or <bracketed> path"}),
    velmoran::test::CaseName());

// LIRC's reading of the syntax: keywords in any case, '#' a comment only at the start of a line
// or of a later word (a code's name may hold or start with one), 0-prefixed numbers octal, a
// raw_codes section making its remote one of raw codes, include lines, names as long as LIRC can
// report. The reader takes each file as LIRC's irsimsend and irsimreceive do: the same keys.
struct SyntaxCase {
    std::string name;
    QByteArray conf;
    QByteArray included; // other.conf beside the file, for its include line
    QStringList keys;    // every key read, in order
    uint32_t flags;      // the first remote's flags
    uint64_t preData;
    friend void PrintTo(const SyntaxCase& c, std::ostream* os) { *os << c.name; }
};

const QByteArray kNecTimings = "  flags SPACE_ENC|CONST_LENGTH\n  header 9000 4500\n"
                               "  one 563 1687\n  zero 563 562\n  ptrail 563\n  gap 108000\n";

class LircdSyntax : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(LircdSyntax, ReadAsLircReadsIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString conf = dir.filePath(QStringLiteral("remote.conf"));
    velmoran::test::writeFile(conf, GetParam().conf);
    if (!GetParam().included.isEmpty()) {
        velmoran::test::writeFile(dir.filePath(QStringLiteral("other.conf")), GetParam().included);
    }
    std::vector<LircRemote> remotes;
    ASSERT_EQ(readLircdConfFile(conf, remotes), std::nullopt);
    QStringList keys;
    for (const LircRemote& r : remotes) {
        for (const LircCode& c : r.codes) {
            keys << c.name;
        }
        for (const LircRawCode& c : r.rawCodes) {
            keys << c.name;
        }
    }
    EXPECT_EQ(keys, GetParam().keys);
    ASSERT_FALSE(remotes.empty());
    EXPECT_EQ(remotes[0].flags, GetParam().flags);
    EXPECT_EQ(remotes[0].preData, GetParam().preData);
    // What the writer makes of it reads back the same.
    std::vector<LircRemote> again;
    ASSERT_EQ(readLircdConf(writeLircdConf(remotes), QStringLiteral("written"), again),
              std::nullopt);
    EXPECT_EQ(again, remotes);

    const QString irsimsend = QStandardPaths::findExecutable(QStringLiteral("irsimsend"));
    const QString irsimreceive = QStandardPaths::findExecutable(QStringLiteral("irsimreceive"));
    if (irsimsend.isEmpty() || irsimreceive.isEmpty()) {
        GTEST_SKIP() << "irsimsend (Debian package lirc) is not installed";
    }
    ASSERT_EQ(velmoran::test::runProgram(
                  irsimsend, {QStringLiteral("-s"), QStringLiteral("20000"), conf}, dir.path())
                  .status,
              0);
    const velmoran::test::ProgramRun received = velmoran::test::runProgram(
        irsimreceive, {conf, dir.filePath(QStringLiteral("simsend.out"))}, dir.path());
    QStringList reported;
    for (const QString& l : received.out.split('\n', Qt::SkipEmptyParts)) {
        reported << l.section(' ', 2, 2); // code, repeat, key, remote
    }
    EXPECT_EQ(reported, GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LircdSyntax,
    ::testing::Values(
        SyntaxCase{"hash_in_names",
                   "# a comment\nbegin remote\n  name tv\n  bits 16\n" + kNecTimings +
                       "  eps 30   # a comment after a value\n  begin codes\n"
                       "    KEY#1  0x10EF\n    #HASH  0x906F  # a comment after a code\n"
                       "    D#  0x40BF\n  end codes\nend remote\n",
                   {},
                   {"KEY#1", "#HASH", "D#"},
                   kLircSpaceEnc | kLircConstLength,
                   0},
        SyntaxCase{"upper_case_keywords",
                   "BEGIN REMOTE\n  NAME tv\n  BITS 8\n  FLAGS space_enc|CONST_LENGTH\n"
                   "  HEADER 9000 4500\n  ONE 563 1687\n  ZERO 563 562\n  PTRAIL 563\n"
                   "  GAP 108000\n  PRE_DATA_BITS 8\n  PRE_DATA 0x20\n  BEGIN CODES\n"
                   "    KEY_A 0x10\n  END CODES\nEND REMOTE\n",
                   {},
                   {"KEY_A"},
                   kLircSpaceEnc | kLircConstLength,
                   0x20},
        SyntaxCase{"octal_numbers",
                   "begin remote\n  name tv\n  bits 8\n" + kNecTimings +
                       "  pre_data_bits 010\n  pre_data 0123\n  begin codes\n    KEY_A 017\n"
                       "  end codes\nend remote\n",
                   {},
                   {"KEY_A"},
                   kLircSpaceEnc | kLircConstLength,
                   0123},
        SyntaxCase{"raw_codes_without_the_flag",
                   "begin remote\n  name fan\n  gap 50000\n  begin raw_codes\n    name KEY_POWER\n"
                   "      1300 400 1300 400 400 1200 1300 400 400 1200 400 1200 400\n"
                   "    name KEY_SPEED\n"
                   "      1300 400 1300 400 400 1200 400 1200 1300 400 400 1200 400\n"
                   "  end raw_codes\nend remote\n",
                   {},
                   {"KEY_POWER", "KEY_SPEED"},
                   kLircRawCodes,
                   0},
        SyntaxCase{"longest_names",
                   "begin remote\n  name " + QByteArray(kMaxLircNameBytes, 'R') + "\n  bits 8\n" +
                       kNecTimings + "  begin codes\n    " + QByteArray(kMaxLircNameBytes, 'K') +
                       " 0x1\n  end codes\nend remote\n",
                   {},
                   {QString(kMaxLircNameBytes, QLatin1Char('K'))},
                   kLircSpaceEnc | kLircConstLength,
                   0},
        SyntaxCase{"include_lines",
                   "include \"other.conf\"\nbegin remote\n  name tv\n  bits 8\n" + kNecTimings +
                       "  begin codes\n    KEY_B 0x2\n  end codes\nend remote\n",
                   "begin remote\n  name amp\n  bits 8\n" + kNecTimings +
                       "  begin codes\n    KEY_A 0x1\n  end codes\nend remote\n",
                   {"KEY_A", "KEY_B"},
                   kLircSpaceEnc | kLircConstLength,
                   0}),
    velmoran::test::CaseName());

// Names are kept byte for byte: a name that is not UTF-8 is written back as it was read.
TEST(LircdNames, BytesThatAreNotUtf8AreKept) {
    const QByteArray latin1 = "KEY_\xE9t\xE9";
    const QByteArray text = "begin remote\n  name r\xF6\n  bits 8\n" + kNecTimings +
                            "  begin codes\n    " + latin1 +
                            " 0x1\n    KEY_\xC3\xA9 0x2\n"
                            "  end codes\nend remote\n";
    std::vector<LircRemote> remotes;
    ASSERT_EQ(readLircdConf(text, QStringLiteral("names.conf"), remotes), std::nullopt);
    ASSERT_EQ(remotes.size(), 1u);
    EXPECT_EQ(remotes[0].codes[1].name, QStringLiteral("KEY_\u00E9"));
    const QByteArray written = writeLircdConf(remotes);
    EXPECT_TRUE(written.contains("    " + latin1 + ' ')) << written.constData();
    EXPECT_TRUE(written.contains("name  r\xF6\n")) << written.constData();
    EXPECT_TRUE(written.contains("KEY_\xC3\xA9 ")) << written.constData();
    EXPECT_EQ(lircNameProblem(remotes[0].codes[0].name), std::nullopt);
    EXPECT_NE(lircNameProblem(QStringLiteral("KEY A")), std::nullopt);
    EXPECT_NE(lircNameProblem(QStringLiteral("Include")), std::nullopt);
    EXPECT_NE(lircNameProblem(QString(kMaxLircNameBytes + 1, QLatin1Char('K'))), std::nullopt);
    EXPECT_EQ(lircNameProblem(QStringLiteral("#KEY#1")), std::nullopt);
}

} // namespace
