// Captures brought in from other tools: each format our exports write reads back as the very
// capture it came from; files LIRC's irsimsend and sigrok-cli write, and a published Pronto
// code, read back to what those tools say they hold; what does not fit is refused by file and
// line.

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include <random>

#include <sys/stat.h>

#include "infrared/frame_text.h"
#include "infrared/remote_definition.h"
#include "interchange/capture_import.h"
#include "interchange/exporters.h"
#include "interchange/lircd_conf.h"
#include "interchange/pronto.h"
#include "support/files.h"
#include "support/ird_capture.h"
#include "support/program_run.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

// Lines unlike each other: NEC presses with jitter; a line flipping on almost every sample;
// a line low from the start with one long high; one never changing; a flip in the last sample.
std::vector<ChannelBuffer> buffers() {
    std::vector<ChannelBuffer> out(5);
    out[0] = test::renderScenario(emulator::defaultScenario(5, 30));
    std::mt19937 rng(17);
    for (int n = 0; n < kCaptureBytes; ++n) {
        out[1][static_cast<std::size_t>(n)] =
            n % 1000 < 40 ? static_cast<uint8_t>(rng()) : (n % 3 ? 0x55 : 0xFF);
    }
    std::fill(out[2].begin() + 30000, out[2].begin() + 30010, 0xFF);
    std::fill(out[3].begin(), out[3].end() - 1, 0xFF);
    out[4][kCaptureBytes - 1] = 0x01;
    return out;
}

struct Format {
    std::string name;
    ImportFormat format;
    QByteArray (*write)(const ExportChannel&);
};

QByteArray sessionOf(const ExportChannel& c) {
    return exportSigrokSession({c});
}
QByteArray vcdOf(const ExportChannel& c) {
    return exportVcd({c});
}
QByteArray csvOf(const ExportChannel& c) {
    return exportCsv({c});
}

class ImportOfExport : public ::testing::TestWithParam<Format> {};

TEST_P(ImportOfExport, GivesBackTheCaptureSampleForSample) {
    int number = 0;
    for (const ChannelBuffer& buffer : buffers()) {
        SCOPED_TRACE(++number);
        const ExportChannel channel{2, channelLevels(buffer)};
        const QByteArray bytes = GetParam().write(channel);
        EXPECT_EQ(guessImportFormat(bytes), GetParam().format);
        const ImportedCapture got = importCapture(bytes, QStringLiteral("x"));
        ASSERT_TRUE(got.line) << got.error.toStdString();
        EXPECT_EQ(got.line->initialHigh, channel.line.initialHigh);
        EXPECT_EQ(got.line->edges, channel.line.edges);
        ChannelBuffer want = buffer;
        want[kCaptureBytes] = 0;
        EXPECT_TRUE(channelBufferOf(*got.line) == want);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImportOfExport,
                         ::testing::Values(Format{"mode2", ImportFormat::Mode2, &exportMode2},
                                           Format{"csv", ImportFormat::Csv, &csvOf},
                                           Format{"vcd", ImportFormat::Vcd, &vcdOf},
                                           Format{"sigrok", ImportFormat::Sigrok, &sessionOf}),
                         test::CaseName());

QStringList distinctFrames(const ChannelLevels& line) {
    QStringList out;
    for (const IrFrame& f : decodeInfrared(line, 1, IrUnknownBursts::Listed)) {
        const FrameText t = frameText(f);
        const QString text = t.protocol + ' ' + t.address + ' ' + t.command + ' ' + t.check;
        if (f.protocol != IrProtocol::NecRepeat && !f.repeat && !out.contains(text)) {
            out << text;
        }
    }
    return out;
}

// Pronto codes carry frames, not samples: every family's frames come back, each once.
TEST(ImportPronto, TheExportOfEveryFamilyGivesBackItsFrames) {
    for (const irgen::Family family : irgen::kFamilies) {
        SCOPED_TRACE(irgen::familyName(family).toStdString());
        irgen::Options o;
        o.seed = 3;
        const ExportChannel channel{
            1, channelLevels(irgen::renderChannel(irgen::generate(family, o)))};
        const QByteArray pronto = exportPronto(channel);
        EXPECT_EQ(guessImportFormat(pronto), ImportFormat::Pronto);
        const ImportedCapture got = importCapture(pronto, QStringLiteral("codes.txt"));
        ASSERT_TRUE(got.line) << got.error.toStdString();
        const QStringList want = distinctFrames(channel.line);
        ASSERT_FALSE(want.isEmpty());
        EXPECT_EQ(distinctFrames(*got.line), want);
    }
}

// NEC1 device 64, subdevice 64, function 168: hifi-remote.com forum, "Help with Pronto Hex",
// topic 5808 (2006). One press sends the once part only.
TEST(ImportPronto, APublishedCodeDecodesToItsDocumentedFields) {
    const QByteArray text =
        "# volume up\n"
        "0000 006d 0022 0002 0155 00aa 0016 0016 0016 0016 0016 0016 0016 0016 0016\n"
        "0016 0016 0016 0016 0040 0016 0016 0016 0016 0016 0016 0016 0016 0016 0016\n"
        "0016 0016 0016 0016 0016 0040 0016 0016 0016 0016 0016 0016 0016 0016 0016\n"
        "0040 0016 0016 0016 0040 0016 0016 0016 0040 0016 0040 0016 0040 0016 0040\n"
        "0016 0016 0016 0040 0016 0016 0016 0040 0016 0016 0016 06ef 0155 0055 0016\n"
        "0e34\n";
    const ImportedCapture got = importCapture(text, QStringLiteral("volume.txt"));
    ASSERT_TRUE(got.line) << got.error.toStdString();
    EXPECT_EQ(distinctFrames(*got.line), QStringList{QStringLiteral("NEC 0x4040 0xa8 ok")});
}

// LIRC's irsimsend writes what a receiver gives for each key of a remote; the import of its
// file names the keys irsimsend sent, in both of mode2's forms.
TEST(ImportMode2, IrsimsendsRecordingNamesTheKeysItSent) {
    const QString irsimsend = QStandardPaths::findExecutable(QStringLiteral("irsimsend"));
    if (irsimsend.isEmpty()) {
        GTEST_SKIP() << "irsimsend (Debian package lirc) is not installed";
    }
    const QByteArray conf = "begin remote\n  name tv\n  bits 16\n  flags SPACE_ENC|CONST_LENGTH\n"
                            "  eps 30\n  aeps 100\n  header 9000 4500\n  one 563 1687\n"
                            "  zero 563 562\n  ptrail 563\n  repeat 9000 2250\n"
                            "  pre_data_bits 16\n  pre_data 0x20DF\n  gap 108000\n"
                            "  begin codes\n    KEY_POWER 0x10EF\n    KEY_MUTE 0x906F\n"
                            "    KEY_VOLUMEUP 0x40BF\n  end codes\nend remote\n";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::writeFile(dir.filePath(QStringLiteral("tv.conf")), conf);
    std::vector<LircRemote> remotes;
    ASSERT_EQ(readLircdConf(conf, QStringLiteral("tv.conf"), remotes), std::nullopt);
    const test::ProgramRun sent =
        test::runProgram(irsimsend, {QStringLiteral("tv.conf")}, dir.path());
    ASSERT_EQ(sent.status, 0) << sent.err.toStdString();
    const QStringList want = sent.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(want.size(), 3);

    const QString recording = dir.filePath(QStringLiteral("simsend.out"));
    QByteArray bare;
    for (const QByteArray& line : test::readExisting(recording).split('\n')) {
        if (const qsizetype blank = line.indexOf(' '); blank > 0) {
            bare += line.mid(blank + 1) + ' ';
        }
    }
    for (const auto& [form, got] :
         {std::pair{"pulse/space", importCaptureFile(recording)},
          std::pair{"bare numbers", importCapture(bare, QStringLiteral("bare.txt"))}}) {
        SCOPED_TRACE(form);
        ASSERT_TRUE(got.line) << got.error.toStdString();
        QStringList named;
        for (const std::optional<LircKey>& key :
             LircMatcher(remotes).matchFrames(decodeInfrared(*got.line, 1))) {
            named << (key ? remotes[0].codes[static_cast<std::size_t>(key->code)].name
                          : QStringLiteral("-"));
        }
        EXPECT_EQ(named, want);
    }
}

// sigrok-cli rewrites our session in its own way (its own members, deflated) and reads the
// demo device's signal: the import agrees with what sigrok-cli itself says the files hold.
TEST(ImportSigrok, SessionsWrittenBySigrokCliReadBack) {
    const QString sigrok = QStandardPaths::findExecutable(QStringLiteral("sigrok-cli"));
    if (sigrok.isEmpty()) {
        GTEST_SKIP() << "sigrok-cli is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ChannelBuffer buffer = buffers()[0];
    test::writeFile(dir.filePath(QStringLiteral("ours.sr")),
                    exportSigrokSession({{1, channelLevels(buffer)}}));
    const test::ProgramRun rewrite =
        test::runProgram(sigrok, {"-i", "ours.sr", "-o", "theirs.sr"}, dir.path());
    ASSERT_EQ(rewrite.status, 0) << rewrite.err.toStdString();
    const ImportedCapture theirs = importCaptureFile(dir.filePath(QStringLiteral("theirs.sr")));
    ASSERT_TRUE(theirs.line) << theirs.error.toStdString();
    EXPECT_EQ(theirs.line->edges, channelLevels(buffer).edges);

    // The demo device at 100 kHz, one channel: its session, and its own VCD of the same.
    const test::ProgramRun demo =
        test::runProgram(sigrok,
                         {"-d", "demo", "--channels", "D0", "--config", "samplerate=100k",
                          "--samples", "200000", "-o", "demo.sr"},
                         dir.path());
    ASSERT_EQ(demo.status, 0) << demo.err.toStdString();
    const test::ProgramRun vcd =
        test::runProgram(sigrok, {"-i", "demo.sr", "-O", "vcd", "-o", "demo.vcd"}, dir.path());
    ASSERT_EQ(vcd.status, 0) << vcd.err.toStdString();
    const ImportedCapture session = importCaptureFile(dir.filePath(QStringLiteral("demo.sr")));
    const ImportedCapture dump = importCaptureFile(dir.filePath(QStringLiteral("demo.vcd")));
    ASSERT_TRUE(session.line) << session.error.toStdString();
    ASSERT_TRUE(dump.line) << dump.error.toStdString();
    EXPECT_GT(session.line->edges.size(), 10u);
    EXPECT_EQ(session.line->initialHigh, dump.line->initialHigh);
    EXPECT_EQ(session.line->edges, dump.line->edges);
}

struct Refused {
    std::string name;
    QByteArray bytes;
    QString error;
    friend void PrintTo(const Refused& c, std::ostream* os) { *os << c.name; }
};

class ImportRefuses : public ::testing::TestWithParam<Refused> {};

TEST_P(ImportRefuses, NamingTheFileAndLine) {
    const ImportedCapture got = importCapture(GetParam().bytes, QStringLiteral("in"));
    EXPECT_FALSE(got.line);
    EXPECT_EQ(got.error, GetParam().error);
}

QByteArray threeChannelSession() {
    const ChannelLevels line = channelLevels(buffers()[0]);
    return exportSigrokSession({{1, line}, {2, line}, {3, line}});
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImportRefuses,
    ::testing::Values(
        Refused{"mode2_bad_word", "pulse 900\nspace 4500\nplus 560\n",
                "in:3: \"plus 560\" is no mode2 line (pulse N or space N)"},
        Refused{"mode2_zero", "pulse 900\nspace 0\n", "in:2: \"0\" is no duration in µs"},
        Refused{"mode2_forms_mixed", "900 4500\npulse 560\n",
                "in:2: \"pulse 560\": pulse/space lines and bare numbers are mixed"},
        Refused{"mode2_empty", "# nothing\n", "in: no pulse or space in it: not a mode2 recording"},
        Refused{"mode2_too_long", "space 20000000\npulse 500000\nspace 100\n",
                "in:3: the signal goes on past the capture's 20.39 s (a change at 20.500 s): a "
                "capture holds at most 20.39 s"},
        Refused{"pronto_bad_word", "0000 006D 0001 0000 0155 00AA zz\n",
                "in:1: \"zz\" is no word of a Pronto code (four hex digits)"},
        Refused{"pronto_short", "0000 006D 0002 0000\n0155 00AA\n",
                "in:1: the code counts 2 pairs but 1 follow"},
        Refused{"pronto_not_learned", "900A 006D 0000 0001 10EF 0DF2\n",
                "in:1: a code of the form 900A: only learned codes (0000) are read"},
        Refused{"csv_second_signal", "time_us,channel,level\n0,1,1\n0,2,1\n",
                "in:3: a second signal (channel 2 after 1): an import takes one signal, export "
                "one channel"},
        Refused{"csv_time_back", "time_us,channel,level\n0,1,1\n50.5,1,0\n40,1,1\n",
                "in:4: the time goes back"},
        Refused{"csv_bad_level", "time_us,channel,level\n0,1,x\n",
                "in:2: \"0,1,x\" is no row of time_us,channel,level (level 0 or 1)"},
        Refused{"vcd_two_signals",
                "$timescale 1us $end\n$var wire 1 ! a $end\n$var wire 1 \" b $end\n"
                "$enddefinitions $end\n",
                "in:3: a second signal: an import takes a VCD of one signal, export one channel"},
        Refused{"vcd_vector", "$timescale 1us $end\n$var wire 8 ! a $end\n",
                "in:2: the signal is not one bit wide: an import takes one 1-bit signal"},
        Refused{"vcd_unknown_value",
                "$timescale 1 us $end\n$var wire 1 ! a $end\n$enddefinitions $end\n#0\nx!\n",
                "in:5: \"x!\" is no change of the signal to 0 or 1"},
        Refused{"vcd_past_the_end",
                "$timescale 1 ms $end\n$var wire 1 ! a $end\n$enddefinitions $end\n#0\n1!\n"
                "#21000\n0!\n",
                "in:7: the signal goes on past the capture's 20.39 s (a change at 21.000 s): a "
                "capture holds at most 20.39 s"},
        Refused{"sigrok_three_channels", threeChannelSession(),
                "in: 3 signals in it: an import takes a session of one logic channel, export "
                "one channel"},
        Refused{"sigrok_cut_short", threeChannelSession().first(100000),
                "in: a damaged zip archive (no central directory)"}),
    test::CaseName());

TEST(ImportFile, OnlyARegularFileIsRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(importCaptureFile(fifo).error, fifo + QStringLiteral(": not a regular file"));
    EXPECT_EQ(importCaptureFile(dir.path()).error,
              dir.path() + QStringLiteral(": not a regular file"));
    const QString missing = dir.filePath(QStringLiteral("missing"));
    EXPECT_EQ(importCaptureFile(missing).error,
              missing + QStringLiteral(": No such file or directory"));
}

} // namespace
