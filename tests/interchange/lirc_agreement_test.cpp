// LIRC itself is the judge of the matcher: for each encoding and flag of lircd.conf, a short
// definition written from LIRC's documentation, its keys sent by LIRC's irsimsend (or, for the
// encodings irsimsend cannot send, durations made by the rules of LIRC's receiver), and LIRC's
// irsimreceive saying which keys it names from those durations. The same durations, sampled by
// the board into a channel and decoded, must name exactly the same keys in the same order with
// the same repeat counts — in the matcher and in velmoran-ird decode --remotes — and the exact
// durations, read without the sampling's slack, too.

#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/files.h"
#include "support/ird_capture.h"
#include "support/program_run.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>

#include "files/capture_file.h"
#include "infrared/remote_definition.h"
#include "interchange/exporters.h"
#include "interchange/lircd_conf.h"
#include "interchange/lircd_export.h"
#include "interchange/remote_library.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

constexpr int kStartSpaceUs = 200000;
constexpr int kEndSpaceUs = 150000;

using Durations = std::vector<int32_t>;

// Grundig's 2-bit symbols as LIRC reads them: space+mark sums of 6T, 4T 2T, 3T 3T, 2T 4T.
Durations grundig(const std::vector<uint32_t>& codes, int bits) {
    constexpr int32_t kT = 528;
    constexpr int32_t kHeaderSpace = 2639;
    const std::vector<std::vector<int32_t>> symbol{{5}, {3, 1}, {2, 2}, {1, 3}};
    Durations d;
    for (const uint32_t code : codes) {
        d.insert(d.end(), {-kStartSpaceUs, kT, -kHeaderSpace, kT});
        for (int i = bits - 2; i >= 0; i -= 2) {
            for (const int32_t units : symbol[code >> i & 3u]) {
                d.insert(d.end(), {-units * kT, kT});
            }
        }
    }
    d.push_back(-kEndSpaceUs);
    return d;
}

// Bang & Olufsen: a bit's space depends on the bit before it (pre data and code each start
// after a 1).
Durations bangOlufsen(const std::vector<std::pair<uint32_t, uint32_t>>& codes) {
    constexpr int32_t kMark = 200;
    constexpr int32_t kHeader = 15425;
    constexpr int32_t kAfterOne[2] = {3125, 9375}; // a 0, a 1 after a 1
    constexpr int32_t kAfterZero[2] = {9375, 6250};
    constexpr int kBits = 8;
    Durations d;
    for (const auto& [pre, code] : codes) {
        d.insert(d.end(),
                 {-kStartSpaceUs, kMark, -kAfterOne[0], kMark, -kAfterOne[0], kMark, -kHeader});
        for (const uint32_t part : {pre, code}) {
            bool lastOne = true;
            for (int i = kBits - 1; i >= 0; --i) {
                const bool one = (part >> i & 1u) != 0;
                d.insert(d.end(), {kMark, -(lastOne ? kAfterOne : kAfterZero)[one ? 1 : 0]});
                lastOne = one;
            }
        }
        d.push_back(kMark);
    }
    d.push_back(-kEndSpaceUs);
    return d;
}

struct AgreeCase {
    std::string name;
    QByteArray conf;
    int count = 0;                        // irsimsend -c: copies of each key; 0: `made` gives them
    std::function<Durations()> made = {}; // for encodings irsimsend does not send
    int leastNamed = 1;                   // keys LIRC names at least (0: LIRC names none)
    QStringList warnings = {};            // what the import says (without "file:line: ")
    friend void PrintTo(const AgreeCase& c, std::ostream* os) { *os << c.name; }
};

const QByteArray kNecBody = R"(
  bits           16
  eps            30
  aeps          100
  header       9000  4500
  one           563  1687
  zero          563   562
  ptrail        563
)";

const std::vector<AgreeCase> kCases{
    {"space_enc_const_length_repeat", R"(begin remote
  name  tv)" + kNecBody + R"(  flags SPACE_ENC|CONST_LENGTH
  repeat       9000  2250
  pre_data_bits   16
  pre_data       0x20DF
  gap          108000
  min_repeat      0
  frequency    38000
  begin codes
      KEY_POWER                0x10EF
      KEY_MUTE                 0x906F
  end codes
end remote
)",
     3},
    {"rc5_toggle_bit", R"(begin remote
  name  amplifier
  bits            6
  flags RC5|CONST_LENGTH
  eps            30
  aeps          100
  one           889   889
  zero          889   889
  plead         889
  pre_data_bits   7
  pre_data       0x54
  gap          113792
  toggle_bit      2
  begin codes
    KEY_VOLUMEUP     0x10
    KEY_MUTE         0x0D
  end codes
end remote
)",
     2},
    {"shift_enc_repeat_bit", R"(begin remote
  name  amplifier
  bits           13
  flags SHIFT_ENC
  one           889   889
  zero          889   889
  plead         889
  gap          90000
  repeat_bit      2
  begin codes
    KEY_POWER      0x140C
  end codes
end remote
)",
     3},
    {"rc6_toggle_bit_derives_rc6_mask", R"(begin remote
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
  toggle_bit      5
  begin codes
    KEY_OK           0xF2A0
    KEY_0            0xF2FF
  end codes
end remote
)",
     2},
    {"raw_codes", R"(begin remote
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
)",
     2},
    {"reverse",
     R"(begin remote
  name  reversed_box)" +
         kNecBody + R"(  flags SPACE_ENC|CONST_LENGTH|REVERSE
  repeat       9000  2250
  pre_data_bits   16
  pre_data       0x04FB
  gap          108000
  begin codes
    KEY_POWER    0xF708
    KEY_MUTE     0xF609
  end codes
end remote
)",
     3},
    {"space_first", R"(begin remote
  name  space_first_box
  bits           12
  flags SPACE_FIRST
  eps            30
  aeps          100
  header       2400   600
  one          1200   600
  zero          600   600
  gap          45000
  begin codes
    KEY_1      0x010
    KEY_2      0x810
    KEY_OK     0xA90
  end codes
end remote
)",
     3},
    {"no_head_rep_no_foot_rep_foot", R"(begin remote
  name  header_foot_box
  bits           16
  flags SPACE_ENC|NO_HEAD_REP|NO_FOOT_REP
  eps            30
  aeps          100
  header       3500  1700
  one           450  1300
  zero          450   420
  ptrail        450
  foot          450  6000
  gap          70000
  begin codes
    KEY_1      0x4004
    KEY_2      0x400C
  end codes
end remote
)",
     3},
    {"repeat_header_repeat_gap", R"(begin remote
  name  repeat_header_box
  bits           16
  flags SPACE_ENC|REPEAT_HEADER
  eps            30
  aeps          100
  header       4500  4500
  one           560  1690
  zero          560   560
  ptrail        560
  repeat        560  1690
  pre_data_bits  16
  pre_data    0xE0E0
  gap          47000
  repeat_gap   60000
  begin codes
    KEY_1      0x20DF
    KEY_2      0xA05F
  end codes
end remote
)",
     3},
    {"pre_post_two_gaps", R"(begin remote
  name  pre_post_box
  bits            8
  flags SPACE_ENC
  eps            25
  aeps          120
  header       3400  1700
  one           420  1280
  zero          420   420
  pre           420  3000
  post          420  3000
  ptrail        420
  pre_data_bits   8
  pre_data     0x40
  post_data_bits  4
  post_data     0xA
  gap          40000 60000
  duty_cycle   33
  begin codes
    KEY_1      0x01
    KEY_2      0x81
  end codes
end remote
)",
     3},
    {"toggle_mask",
     R"(begin remote
  name  toggle_mask_box)" +
         kNecBody + R"(  flags SPACE_ENC
  gap          40000
  toggle_mask  0x00FF
  begin codes
    KEY_1      0x1203
    KEY_2      0x1207
  end codes
end remote
)",
     3},
    {"ignore_mask_min_repeat",
     R"(begin remote
  name  ignore_mask_box)" +
         kNecBody + R"(  flags SPACE_ENC|CONST_LENGTH
  gap          108000
  min_repeat   1
  ignore_mask  0x000F
  begin codes
    KEY_1      0x1203
    KEY_2      0x1205
    KEY_3      0x1233
  end codes
end remote
)",
     3},
    {"toggle_bit_mask_of_every_bit", R"(begin remote
  name  all_ones_box)" + kNecBody + R"(  flags SPACE_ENC|CONST_LENGTH
  gap          108000
  toggle_bit_mask 0xFFFF
  begin codes
    KEY_POWER  0x10EF
  end codes
end remote
begin remote
  name  other_box)" + kNecBody + R"(  flags SPACE_ENC|CONST_LENGTH
  gap          108000
  begin codes
    KEY_MUTE   0x906F
    KEY_OTHER  0xEF10
  end codes
end remote
)",
     2},
    {"denon_frame_and_inverted_frame", R"(begin remote
  name  denon_amp
  bits           15
  flags SPACE_ENC
  eps            30
  aeps          100
  one           275  1900
  zero          275   775
  ptrail        275
  gap          43000
  begin codes
    KEY_POWER    0x1103 0x12FC
    KEY_MUTE     0x1143 0x12BC
  end codes
end remote
)",
     2},
    {"xmp", R"(begin remote
  name  xmp_box
  bits           16
  flags XMP
  eps            20
  aeps          300
  zero          210   760
  one             0   136
  ptrail        210
  pre_data_bits  16
  pre_data    0x1F00
  gap         80400
  begin codes
    KEY_1      0x0E01
    KEY_OK     0x0A25
  end codes
end remote
)",
     2},
    // RC-MM's four symbols lie 167 µs apart: with LIRC's usual eps 30 they blur into each other.
    {"rcmm",
     R"(begin remote
  name  rcmm_box
  bits           24
  flags RCMM|CONST_LENGTH
  eps            12
  aeps           40
  header        417   278
  three         167   778
  two           167   611
  one           167   444
  zero          167   278
  ptrail        167
  gap          27778
  begin codes
    KEY_1      0x260001
    KEY_OK     0x26005C
  end codes
end remote
)",
     2,
     {},
     4},
    {"grundig", R"(begin remote
  name  grundig_tv
  bits           10
  flags GRUNDIG
  eps            20
  aeps          100
  header        528  2639
  zero          528   528
  one           528  1056
  two           528  1584
  three         528  2639
  plead         528
  gap          100000
  pre_data_bits 8
  pre_data  0xFF
  begin codes
    KEY_1      0x0A1
    KEY_OK     0x2C5
  end codes
end remote
)",
     0,
     [] {
         return grundig({0x3FCA1, 0x3FEC5, 0x3FCA1}, 18);
     },
     3},
    {"bo", R"(begin remote
  name  bo_tv
  bits           8
  flags BO
  eps            20
  aeps          100
  header        200  15425
  one           200  3125
  zero          200  3125
  two           200  9375
  three         200  6250
  ptrail        200
  gap          100000
  pre_data_bits 8
  pre_data  0x00
  begin codes
    KEY_1      0x01
    KEY_2      0x02
  end codes
end remote
)",
     0,
     [] {
         return bangOlufsen({{0, 1}, {0, 2}, {0, 1}});
     },
     1},
    {"serial_and_unknown_parameters_are_named",
     R"(begin remote
  name  serial_box
  bits           8
  flags SERIAL
  baud         1200
  one           833   833
  zero          833   833
  gap          50000
  begin codes
    KEY_1      0x31
  end codes
end remote
)",
     0,
     [] {
         return Durations{-kStartSpaceUs, 833, -kEndSpaceUs};
     },
     0,
     {"parameter baud is not honoured",
      "remote serial_box can never match: flag SERIAL is not honoured"}},
};

Durations readMode2(const QByteArray& text) {
    Durations d;
    for (const QByteArray& l : text.split('\n')) {
        const QList<QByteArray> w = l.simplified().split(' ');
        if (w.size() == 2 && (w[0] == "pulse" || w[0] == "space")) {
            d.push_back((w[0] == "pulse" ? 1 : -1) * w[1].toInt());
        }
    }
    return d;
}

QByteArray writeMode2(const Durations& d) {
    QByteArray out;
    for (const int32_t v : d) {
        out += (v > 0 ? "pulse " : "space ") + QByteArray::number(std::abs(v)) + '\n';
    }
    return out;
}

QString keyText(const std::vector<LircRemote>& remotes, const LircKey& key) {
    const LircRemote& r = remotes[static_cast<std::size_t>(key.remote)];
    const auto c = static_cast<std::size_t>(key.code);
    return (key.raw ? r.rawCodes[c].name : r.codes[c].name) + ' ' + r.name;
}

class LircAgreement : public ::testing::TestWithParam<AgreeCase> {};

TEST_P(LircAgreement, TheMatcherNamesWhatIrsimreceiveNames) {
    const AgreeCase& c = GetParam();
    const QString irsimsend = QStandardPaths::findExecutable(QStringLiteral("irsimsend"));
    const QString irsimreceive = QStandardPaths::findExecutable(QStringLiteral("irsimreceive"));
    if (irsimsend.isEmpty() || irsimreceive.isEmpty()) {
        GTEST_SKIP() << "irsimsend and irsimreceive (Debian package lirc) are not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString conf = dir.filePath(QStringLiteral("remote.conf"));
    velmoran::test::writeFile(conf, c.conf);
    std::vector<LircRemote> remotes;
    QStringList warnings;
    ASSERT_EQ(readLircdConfFile(conf, remotes, &warnings), std::nullopt);
    for (QString& w : warnings) {
        w = w.section(QStringLiteral(": "), 1);
    }
    EXPECT_EQ(warnings, c.warnings);

    // The durations, as LIRC's own tools write them.
    const QString mode2 = dir.filePath(QStringLiteral("simsend.out"));
    if (c.count > 0) {
        const velmoran::test::ProgramRun sent =
            velmoran::test::runProgram(irsimsend,
                                       {QStringLiteral("-s"), QString::number(kStartSpaceUs),
                                        QStringLiteral("-c"), QString::number(c.count), conf},
                                       dir.path());
        ASSERT_EQ(sent.status, 0) << sent.err.toStdString();
    } else {
        velmoran::test::writeFile(mode2, writeMode2(c.made()));
    }
    const Durations durations = readMode2(velmoran::test::readExisting(mode2));
    ASSERT_GT(durations.size(), 2u);

    // What LIRC names: "code repeat key remote" per line.
    const velmoran::test::ProgramRun received =
        velmoran::test::runProgram(irsimreceive, {conf, mode2}, dir.path());
    ASSERT_EQ(received.status, 0) << received.err.toStdString();
    QStringList lirc;
    for (const QString& line : received.out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList w = line.simplified().split(' ');
        if (w.size() == 4) {
            lirc << w[2] + ' ' + w[3] + ' ' + QString::number(w[1].toInt(nullptr, 16));
        }
    }
    EXPECT_GE(lirc.size(), c.leastNamed);
    if (c.leastNamed == 0) {
        EXPECT_TRUE(lirc.isEmpty());
    }

    // The exact durations, read as LIRC reads them.
    QStringList exact;
    for (const LircEvent& e : LircMatcher(remotes, 0).events(durations)) {
        exact << keyText(remotes, e.key) + ' ' + QString::number(e.repeats);
    }
    EXPECT_EQ(exact, lirc);

    // Sampled by the board into a channel, decoded, matched frame by frame.
    test::IrLine line;
    for (const int32_t v : durations) {
        v > 0 ? line.mark(v) : line.space(-v);
    }
    const ChannelBuffer channel = test::renderLine(line.edges());
    const std::vector<IrFrame> frames =
        decodeInfrared(channelLevels(channel), 1, IrUnknownBursts::Listed);
    const LircMatcher matcher(remotes);
    QStringList sampled;
    for (const auto& [frame, e] : matcher.frameEvents(frames)) {
        sampled << keyText(remotes, e.key) + ' ' + QString::number(e.repeats);
    }
    EXPECT_EQ(sampled, lirc);

    // velmoran-ird decode --remotes names each frame as the matcher does.
    QStringList perFrame;
    for (const std::optional<LircKey>& key : matcher.matchFrames(frames)) {
        if (key) {
            perFrame << keyText(remotes, *key);
        }
    }
    // The window's library, the definition imported into it and read back from its file, names
    // the frames alike and says what it does not honour.
    RemoteLibrary library;
    ASSERT_EQ(library.load(dir.filePath(QStringLiteral("library.lircd.conf"))), std::nullopt);
    QStringList imported;
    ASSERT_EQ(library.importFiles({conf}, &imported), std::nullopt);
    EXPECT_EQ(imported.size(), c.warnings.size());
    RemoteLibrary reread;
    ASSERT_EQ(reread.load(library.path()), std::nullopt);
    QStringList inLibrary;
    for (const std::optional<LibraryKey>& key : reread.lookup(frames)) {
        if (key) {
            inLibrary << key->key + ' ' + key->remote;
        }
    }
    EXPECT_EQ(inLibrary, perFrame);

    std::unique_ptr<ChannelBuffer[]> none(new ChannelBuffer[2]{});
    ASSERT_TRUE(
        saveCaptureFile(dir.filePath(QStringLiteral("c.ird")), channel, none[0], none[1]).ok);
    const velmoran::test::ProgramRun decode = velmoran::test::runProgram(
        QStringLiteral(VELMORAN_IRD_PROGRAM),
        {QStringLiteral("decode"), QStringLiteral("c.ird"), QStringLiteral("--remotes"), conf},
        dir.path());
    ASSERT_EQ(decode.status, 0) << decode.err.toStdString();
    QStringList printed;
    for (const QString& l : decode.out.split('\n')) {
        if (const qsizetype at = l.indexOf(QStringLiteral(" key=")); at >= 0) {
            printed << l.mid(at + 5).section(' ', 0, 0) + ' ' +
                           l.section(QStringLiteral(" remote="), 1);
        }
    }
    EXPECT_EQ(printed, perFrame);
    for (const QString& w : c.warnings) {
        EXPECT_TRUE(decode.out.contains(w)) << w.toStdString();
    }
}

// Bursts no coding describes, 21 to 28 ms apart: the exported raw codes carry a gap LIRC finds
// between them, so irsimreceive names every one of them from the exported mode2.
TEST(LircExport, RawCodesBurstsCloseTogetherAreEachNamedByLirc) {
    const QString irsimreceive = QStandardPaths::findExecutable(QStringLiteral("irsimreceive"));
    if (irsimreceive.isEmpty()) {
        GTEST_SKIP() << "irsimreceive (Debian package lirc) is not installed";
    }
    const std::vector<std::vector<double>> shapes{{1300, 400, 1300, 400, 400, 1200, 2600, 400, 700},
                                                  {900, 900, 300, 2100, 1300, 400, 400, 1200, 2600},
                                                  {2600, 700, 400, 400, 1300, 1200, 900}};
    constexpr int kBursts = 30;
    constexpr double kFirstRestUs = 21000;
    constexpr double kRestStepUs = 1000;
    constexpr int kRestSteps = 8;
    test::IrLine line(kStartSpaceUs);
    for (int b = 0; b < kBursts; ++b) {
        const std::vector<double>& shape = shapes[static_cast<std::size_t>(b) % shapes.size()];
        for (std::size_t k = 0; k < shape.size(); ++k) {
            k % 2 == 0 ? line.mark(shape[k]) : line.space(shape[k]);
        }
        line.space(kFirstRestUs + kRestStepUs * (b % kRestSteps));
    }
    const ExportChannel channel{1, channelLevels(test::renderLine(line.edges()))};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString conf = dir.filePath(QStringLiteral("remote.conf"));
    const QString mode2 = dir.filePath(QStringLiteral("capture.mode2"));
    velmoran::test::writeFile(conf, exportLircd(channel));
    velmoran::test::writeFile(mode2, exportMode2(channel));
    std::vector<LircRemote> remotes;
    ASSERT_EQ(readLircdConfFile(conf, remotes), std::nullopt);
    ASSERT_EQ(remotes.size(), 1u);
    EXPECT_EQ(remotes[0].rawCodes.size(), static_cast<std::size_t>(kBursts));
    const velmoran::test::ProgramRun received =
        velmoran::test::runProgram(irsimreceive, {conf, mode2}, dir.path());
    ASSERT_EQ(received.status, 0);
    EXPECT_EQ(received.out.split('\n', Qt::SkipEmptyParts).size(), kBursts)
        << received.out.toStdString();
}

// A short pulse-distance code with NEC's leader, held: its NEC-shaped repeat codes belong to it,
// so the exported remote says how it repeats and LIRC names every press and every repeat.
TEST(LircExport, HeldKeysOfAnyCodingAreNamedWithTheirRepeats) {
    const QString irsimreceive = QStandardPaths::findExecutable(QStringLiteral("irsimreceive"));
    if (irsimreceive.isEmpty()) {
        GTEST_SKIP() << "irsimreceive (Debian package lirc) is not installed";
    }
    constexpr double kPeriodUs = 108000;
    constexpr double kPressGapUs = 300000;
    const std::vector<std::pair<uint32_t, int>> presses{{0x2C, 3}, {0x13, 2}, {0x2C, 1}};
    test::IrLine line(kStartSpaceUs);
    int named = 0;
    for (const auto& [bits, repeats] : presses) {
        double start = line.now();
        line.mark(9000).space(4500);
        for (int b = 5; b >= 0; --b) {
            line.mark(560).space((bits >> b & 1u) != 0 ? 1690 : 560);
        }
        line.mark(560);
        for (int r = 0; r < repeats; ++r) {
            line.space(start + kPeriodUs - line.now());
            start = line.now();
            line.mark(9000).space(2250).mark(560);
        }
        line.space(kPressGapUs);
        named += 1 + repeats;
    }
    const ExportChannel channel{1, channelLevels(test::renderLine(line.edges()))};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString conf = dir.filePath(QStringLiteral("remote.conf"));
    const QString mode2 = dir.filePath(QStringLiteral("capture.mode2"));
    const QByteArray text = exportLircd(channel);
    velmoran::test::writeFile(conf, text);
    velmoran::test::writeFile(mode2, exportMode2(channel));
    EXPECT_FALSE(text.contains("UNKNOWN_")) << text.toStdString();
    const velmoran::test::ProgramRun received =
        velmoran::test::runProgram(irsimreceive, {conf, mode2}, dir.path());
    ASSERT_EQ(received.status, 0);
    const QStringList lines = received.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), named) << text.toStdString() << received.out.toStdString();
    QStringList repeats;
    for (const QString& l : lines) {
        repeats << l.simplified().section(' ', 1, 1);
    }
    EXPECT_EQ(repeats, QStringList({"00", "01", "02", "03", "00", "01", "02", "00", "01"}));
}

INSTANTIATE_TEST_SUITE_P(Encodings, LircAgreement, ::testing::ValuesIn(kCases),
                         velmoran::test::CaseName());

} // namespace
