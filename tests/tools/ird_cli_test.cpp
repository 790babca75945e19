// The velmoran-ird program itself: good runs print what the library computes; bad input gets
// a message on stderr, a non-zero status and no output file, not even a temporary one.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include <sys/stat.h>

#include "infrared/frame_text.h"
#include "infrared/ir_decoder.h"
#include "support/ird_capture.h"
#include "support/program_run.h"
#include "tools/ird/ird_command.h"

using namespace velmoran;
using namespace velmoran::interchange;

namespace {

using Result = velmoran::test::ProgramRun;

Result ird(const QStringList& args, const QString& workDir) {
    return velmoran::test::runProgram(QStringLiteral(VELMORAN_IRD_PROGRAM), args, workDir, 30000);
}

// A work folder holding "capture.ird" (the emulator's presses in channel 1), "short.ird" (100
// bytes), a folder "folder.ird", a FIFO "fifo.ird", "old.csv" (an earlier export) and
// "bad-names.txt" (a names file whose third line has no name).
class IrdProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        scenario_ = emulator::defaultScenario(8, 25);
        ch1_ = test::renderScenario(scenario_);
        ASSERT_TRUE(
            saveCaptureFile(path("capture.ird"), ch1_, ChannelBuffer{}, ChannelBuffer{}).ok);
        QFile s(path("short.ird"));
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(QByteArray(100, '\xF0'));
        s.close();
        ASSERT_TRUE(QDir(dir_.path()).mkdir("folder.ird"));
        ASSERT_EQ(::mkfifo(path("fifo.ird").toLocal8Bit().constData(), 0600), 0);
        QFile old(path("old.csv"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier export\n");
        old.close();
        QFile names(path("bad-names.txt"));
        ASSERT_TRUE(names.open(QIODevice::WriteOnly));
        names.write("# keys\n0x08 KEY_OK\n0x09\n");
        names.close();
        before_ = entries();
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    QStringList entries() const {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QByteArray contents(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    Result run(const QStringList& args) const { return ird(args, dir_.path()); }

    QTemporaryDir dir_;
    emulator::Scenario scenario_;
    ChannelBuffer ch1_{};
    QStringList before_;
};

struct BadCase {
    std::string name;
    QStringList args;
    int status;
    const char* says; // part of the message
    friend void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }
};

class BadInput : public IrdProgram, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BadInput, FailsCleanlyAndLeavesNoFileBehind) {
    const QByteArray oldCsv = contents("old.csv");
    const Result r = run(GetParam().args);
    EXPECT_EQ(r.status, GetParam().status) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("velmoran-ird: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(GetParam().says)) << r.err.toStdString();
    // The usage only for a command line that is wrong, not for a file that is.
    EXPECT_EQ(r.err.contains("usage:"), GetParam().status == kExitUsage) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(entries(), before_);
    EXPECT_EQ(contents("old.csv"), oldCsv);
    EXPECT_TRUE(QFileInfo(path("folder.ird")).isDir());
}

const QString kVcd = QStringLiteral("--format=vcd");

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInput,
    ::testing::Values(
        BadCase{"no_command", {}, kExitUsage, "no command"},
        BadCase{"unknown_command", {"convert", "capture.ird"}, kExitUsage, "unknown command"},
        BadCase{"missing_file",
                {"export", "missing.ird", kVcd, "-o", "out.vcd"},
                kExitFailed,
                "cannot read missing.ird"},
        BadCase{"directory",
                {"export", "folder.ird", kVcd, "-o", "out.vcd"},
                kExitFailed,
                "not a regular file"},
        BadCase{"fifo_is_not_waited_on", {"info", "fifo.ird"}, kExitFailed, "not a regular file"},
        BadCase{"remotes_fifo_is_not_waited_on",
                {"decode", "capture.ird", "--remotes", "fifo.ird"},
                kExitFailed,
                "fifo.ird: not a regular file"},
        BadCase{"remotes_device_is_not_read",
                {"decode", "capture.ird", "--remotes", "/dev/zero"},
                kExitFailed,
                "/dev/zero: not a regular file"},
        BadCase{"names_file_content_error",
                {"export", "capture.ird", "--format", "lircd", "--names", "bad-names.txt", "-o",
                 "x.conf"},
                kExitFailed,
                "bad-names.txt:3: give COMMAND NAME"},
        BadCase{"decode_missing_file", {"decode", "missing.ird"}, kExitFailed, "cannot read"},
        BadCase{"info_of_directory", {"info", "folder.ird"}, kExitFailed, "not a regular file"},
        BadCase{"unknown_format",
                {"export", "capture.ird", "--format", "png", "-o", "out.png"},
                kExitUsage,
                "unknown format \"png\""},
        BadCase{"no_format", {"export", "capture.ird", "-o", "out.vcd"}, kExitUsage, "--format"},
        BadCase{"no_output", {"export", "capture.ird", kVcd}, kExitUsage, "-o OUT"},
        BadCase{"empty_channel_list",
                {"export", "capture.ird", "--format", "csv", "--channels", "", "-o", "old.csv"},
                kExitUsage,
                "channel list is empty"},
        BadCase{"channel_4",
                {"export", "capture.ird", "--format", "csv", "--channels", "1,4", "-o", "x.csv"},
                kExitUsage,
                "no channel \"4\""},
        BadCase{"channel_twice",
                {"export", "capture.ird", "--format=sr", "--channels=2,2", "-o", "x.sr"},
                kExitUsage,
                "listed twice"},
        BadCase{"mode2_of_two_channels",
                {"export", "capture.ird", "--format", "mode2", "--channels", "1,2", "-o", "x"},
                kExitUsage,
                "one channel"},
        BadCase{"output_folder_missing",
                {"export", "capture.ird", "--format", "csv", "-o", "nowhere/x.csv"},
                kExitFailed,
                "cannot write"},
        BadCase{"output_is_a_folder",
                {"export", "capture.ird", "--format", "csv", "-o", "folder.ird"},
                kExitFailed,
                "not a regular file"},
        BadCase{"output_replaces_input",
                {"export", "capture.ird", "--format", "csv", "-o", "./capture.ird"},
                kExitUsage,
                "replace the capture file"},
        BadCase{"unknown_option",
                {"decode", "capture.ird", "--format", "vcd"},
                kExitUsage,
                "unknown option --format"},
        BadCase{"two_files", {"info", "capture.ird", "short.ird"}, kExitUsage, "exactly one"},
        BadCase{"decode_channel_list",
                {"decode", "capture.ird", "--channel", "1,2"},
                kExitUsage,
                "one channel"},
        BadCase{"import_of_a_capture_file",
                {"import", "short.ird", "-o", "x.ird"},
                kExitFailed,
                "cannot import short.ird:1: "},
        BadCase{"import_of_a_fifo",
                {"import", "fifo.ird", "-o", "x.ird"},
                kExitFailed,
                "fifo.ird: not a regular file"},
        BadCase{"import_format_unknown",
                {"import", "old.csv", "--format", "wav", "-o", "x.ird"},
                kExitUsage,
                "unknown format \"wav\""},
        BadCase{"import_channel_4",
                {"import", "old.csv", "--channel", "4", "-o", "x.ird"},
                kExitUsage,
                "no channel \"4\""},
        BadCase{"import_without_output", {"import", "old.csv"}, kExitUsage, "-o OUT.ird"},
        BadCase{"import_over_its_input",
                {"import", "old.csv", "-o", "old.csv"},
                kExitUsage,
                "replace the imported file"},
        BadCase{"import_csv_of_another_kind",
                {"import", "old.csv", "--format", "csv", "-o", "x.ird"},
                kExitFailed,
                "old.csv:1: the first line is not the header time_us,channel,level"}),
    velmoran::test::CaseName());

// Export one channel in each format, import it into another channel of the same capture: the
// capture comes back with that channel a copy of the first.
TEST_F(IrdProgram, ImportOfEachExportRebuildsTheChannel) {
    for (const char* format : {"vcd", "sr", "mode2", "csv"}) {
        SCOPED_TRACE(format);
        const QString out = QStringLiteral("ch1.") + format;
        ASSERT_EQ(
            run({"export", "capture.ird", "--format", format, "--channels", "1", "-o", out}).status,
            0);
        const Result r =
            run({"import", out, "--channel", "3", "--into", "capture.ird", "-o", "back.ird"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, QStringLiteral("imported %1 into channel 3 of back.ird: %2 edges\n")
                             .arg(out)
                             .arg(channelLevels(ch1_).edges.size()));
        std::unique_ptr<ChannelBuffer[]> back(new ChannelBuffer[3]);
        ASSERT_TRUE(loadCaptureFile(path("back.ird"), back[0], back[1], back[2]).ok);
        EXPECT_TRUE(back[0] == ch1_);
        EXPECT_TRUE(back[1] == ChannelBuffer{});
        ChannelBuffer want = ch1_;
        want[kCaptureBytes] = 0;
        EXPECT_TRUE(back[2] == want);
    }
}

TEST_F(IrdProgram, InfoReportsAFullCaptureChannelByChannel) {
    const Result r = run({"info", "capture.ird"});
    ASSERT_EQ(r.status, kExitOk) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    const ChannelSummary s = summarize(channelLevels(ch1_));
    EXPECT_TRUE(r.out.contains("190467 bytes, a full capture")) << r.out.toStdString();
    const QString channel1 = r.out.section("channel 1\n", 1).section("channel 2\n", 0, 0);
    EXPECT_TRUE(channel1.contains(QStringLiteral("edges          %1\n").arg(s.edges)))
        << channel1.toStdString();
    EXPECT_TRUE(channel1.contains("first edge     " + formatSampleTimeUs(*s.firstEdge) + " us"));
    EXPECT_TRUE(channel1.contains("shortest pulse " + formatSampleTimeUs(*s.shortestPulse)));
    EXPECT_TRUE(r.out.contains("channel 3\n  edges          0\n  high           0 us\n"
                               "  low            20391025.0496 us\n  first edge     -\n"))
        << r.out.toStdString();
}

TEST_F(IrdProgram, InfoTellsAShortFileApart) {
    const Result r = run({"info", "short.ird"});
    ASSERT_EQ(r.status, kExitOk) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("100 bytes, short of a full capture")) << r.out.toStdString();
    // 100 bytes of 0xF0 from a high start: 199 edges in channel 1, the last at sample 796,
    // then the zeros that stand in for the missing bytes.
    EXPECT_TRUE(r.out.contains("  edges          199\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  last edge      " + formatSampleTimeUs(796) + " us\n"));
}

TEST_F(IrdProgram, DecodePrintsTheKeysTheEmulatorPressed) {
    const Result r = run({"decode", "capture.ird", "--channel", "1"});
    ASSERT_EQ(r.status, kExitOk) << r.err.toStdString();
    QStringList want;
    for (const emulator::NecPress& p : scenario_.presses) {
        const QString key = QStringLiteral("0x%1 0x%2")
                                .arg(p.address, 2, 16, QLatin1Char('0'))
                                .arg(p.command, 2, 16, QLatin1Char('0'));
        want << "NEC " + key + " ok";
        for (int i = 0; i < p.repeats; ++i) {
            want << "NEC-repeat " + key + " -";
        }
    }
    QStringList got;
    for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
        if (!line.startsWith('#')) {
            got << line.simplified().section(' ', 2, 5);
        }
    }
    EXPECT_EQ(got, want);
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("# %1 frames and repeat codes\n").arg(want.size())));
}

TEST_F(IrdProgram, ExportWritesTheVcdWithItsSaveFileAndReplacesAnOldExportWhole) {
    const Result vcd = run({"export", "capture.ird", "--format", "vcd", "-o", "out.vcd"});
    ASSERT_EQ(vcd.status, kExitOk) << vcd.err.toStdString();
    EXPECT_TRUE(contents("out.vcd").startsWith("$version velmoran-ird $end\n"));
    EXPECT_TRUE(contents("out.gtkw").contains("[dumpfile] \"" + path("out.vcd").toUtf8()));

    const Result csv =
        run({"export", "capture.ird", "--format", "csv", "--channels", "1", "--output", "old.csv"});
    ASSERT_EQ(csv.status, kExitOk) << csv.err.toStdString();
    const QByteArray text = contents("old.csv");
    EXPECT_TRUE(text.startsWith("time_us,channel,level\n0,1,1\n"));
    EXPECT_EQ(text.count('\n'), 2 + static_cast<qsizetype>(channelLevels(ch1_).edges.size()));

    QStringList expected = before_;
    expected << "out.gtkw"
             << "out.vcd";
    expected.sort();
    EXPECT_EQ(entries(), expected);
}

// Two commands a names file gives one name both stay in the lircd.conf, the second suffixed,
// with a warning.
TEST_F(IrdProgram, TwoCommandsOfOneNameAreBothKept) {
    QStringList commands;
    for (const infrared::IrFrame& f : infrared::decodeInfrared(channelLevels(ch1_), 1)) {
        const QString command = infrared::frameText(f).command;
        if (f.protocol == infrared::IrProtocol::Nec && !commands.contains(command)) {
            commands << command;
        }
    }
    ASSERT_GE(commands.size(), 2u);
    QFile names(path("names.txt"));
    ASSERT_TRUE(names.open(QIODevice::WriteOnly));
    names.write((commands[0] + " KEY_OK\n" + commands[1] + " KEY_OK\n").toUtf8());
    names.close();
    const Result r =
        run({"export", "capture.ird", "--format", "lircd", "--names", "names.txt", "-o", "x.conf"});
    ASSERT_EQ(r.status, kExitOk) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("warning: two commands")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("KEY_OK_2")) << r.err.toStdString();
    const QByteArray conf = contents("x.conf");
    EXPECT_TRUE(conf.contains("KEY_OK ")) << conf.constData();
    EXPECT_TRUE(conf.contains("KEY_OK_2 ")) << conf.constData();
}

} // namespace
