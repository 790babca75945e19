// The GTKWave view file as GTKWave itself reads it: opened headless (xvfb-run) with a Tcl script
// that prints the visible time range, the view must show the whole capture and fill at least
// half of the wave pane. Paths inside the view file cannot add lines of their own.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include "interchange/exporters.h"
#include "support/ird_capture.h"
#include "tools/ird/ird_command.h"

using namespace velmoran;
using namespace velmoran::interchange;

namespace {

constexpr int kGtkwaveTimeoutMs = 120000;

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int exportVcd(const QString& capture, const QString& vcd, QString* said = nullptr) {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int status =
        runIrd({"export", capture, "--format", "vcd", "-o", vcd}, outStream, errStream);
    if (said) {
        *said = out + err;
    }
    return status;
}

// A capture file in `folder` with the emulator's key presses in channel 1.
QString writeCapture(const QString& folder) {
    const QString path = QDir(folder).filePath("capture.ird");
    EXPECT_TRUE(saveCaptureFile(path, test::renderScenario(emulator::defaultScenario(4, 30)),
                                ChannelBuffer{}, ChannelBuffer{})
                    .ok);
    return path;
}

// The folder's name holds a quote and a blank, as a user's folder may: GTKWave must still find
// the VCD through the view file alone.
TEST(Gtkwave, OpensTheViewZoomedToTheWholeCapture) {
    const QString gtkwave = QStandardPaths::findExecutable("gtkwave");
    const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
    if (gtkwave.isEmpty() || xvfbRun.isEmpty()) {
        GTEST_SKIP() << "needs gtkwave and xvfb-run (Debian packages gtkwave and xvfb)";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("it's \"here\""));
    const QString folder = dir.filePath("it's \"here\"");
    const QString vcd = QDir(folder).filePath("capture.vcd");
    ASSERT_EQ(exportVcd(writeCapture(folder), vcd), kExitOk);

    const QString script = dir.filePath("range.tcl");
    QFile tcl(script);
    ASSERT_TRUE(tcl.open(QIODevice::WriteOnly));
    tcl.write("puts \"range [gtkwave::getWindowStartTime] [gtkwave::getWindowEndTime] "
              "[gtkwave::getMaxTime] [gtkwave::getNumFacs]\"\n"
              "gtkwave::/File/Quit\n");
    tcl.close();

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(xvfbRun, {"-a", gtkwave, "-S", script, gtkwaveSavePathFor(vcd)});
    ASSERT_TRUE(p.waitForFinished(kGtkwaveTimeoutMs));
    const QString said = QString::fromUtf8(p.readAll());
    const QRegularExpressionMatch m = QRegularExpression("^range (-?\\d+) (\\d+) (\\d+) (\\d+)$",
                                                         QRegularExpression::MultilineOption)
                                          .match(said);
    ASSERT_TRUE(m.hasMatch()) << said.toStdString();
    const double start = m.captured(1).toDouble();
    const double end = m.captured(2).toDouble();
    const double last = m.captured(3).toDouble();
    // GTKWave counts in picoseconds: the VCD's 100 ps steps times 100.
    EXPECT_EQ(last, static_cast<double>(kCaptureSamples * kSamplePeriod100ps) * 100.0);
    EXPECT_EQ(m.captured(4).toInt(), 3); // the three channels were loaded
    EXPECT_LE(start, 0.0);
    EXPECT_GE(end, last) << "the view must show the whole capture";
    EXPECT_GE(last - start, (end - start) / 2) << "the capture must fill half of the pane";
}

struct HostilePath {
    const char* name;
    const char* vcdName;
};

class ViewFilePaths : public ::testing::TestWithParam<HostilePath> {};

// Only the lines the exporter writes: comments, the two paths, the view settings, the zoom,
// the trace flags and the traces.
TEST_P(ViewFilePaths, CannotAddLinesOfTheirOwn) {
    QTemporaryDir dir;
    const QString vcd = dir.filePath(QString::fromUtf8(GetParam().vcdName));
    const QByteArray view =
        gtkwaveSaveFile(vcd, gtkwaveSavePathFor(vcd), {{1, channelLevels(ChannelBuffer{})}});
    const QRegularExpression allowed(
        "^(\\[\\*\\].*|\\[(dumpfile|savefile)\\] \"[^\\x00-\\x1f]*\"|\\[timestart\\] 0|"
        "\\[size\\] \\d+ \\d+|\\*-?[\\d.]+( -1)+|\\[signals_width\\] \\d+|@28|velmoran\\.CH1)$");
    const QList<QByteArray> lines = view.chopped(1).split('\n');
    for (const QByteArray& line : lines) {
        EXPECT_TRUE(allowed.match(QString::fromUtf8(line)).hasMatch()) << line.toStdString();
    }
    EXPECT_EQ(lines.size(), 11);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ViewFilePaths,
    ::testing::Values(HostilePath{"quote", "a\" b\".vcd"},
                      HostilePath{"newline", "a\n[savefile] \"/tmp/elsewhere.gtkw\"\n.vcd"},
                      HostilePath{"carriage_return", "a\r@22\r.vcd"},
                      HostilePath{"plain", "capture.vcd"}),
    velmoran::test::CaseName());

// The view file is never the capture itself nor the VCD, and a view the user kept is only
// replaced when asked; the command says which it did.
TEST(ViewFile, IsKeptUnlessForcedAndNeverReplacesTheInput) {
    QTemporaryDir dir;
    const QString capture = writeCapture(dir.path());
    const QByteArray captureBytes = contents(capture);

    // "capture.vcd" would have its view in "capture.gtkw": make that the capture itself.
    const QString asView = dir.filePath("cap.gtkw");
    ASSERT_TRUE(QFile::copy(capture, asView));
    QString said;
    EXPECT_EQ(exportVcd(asView, dir.filePath("cap.vcd"), &said), kExitUsage);
    EXPECT_TRUE(said.contains("would replace the capture file")) << said.toStdString();
    EXPECT_EQ(contents(asView), captureBytes);
    EXPECT_FALSE(QFile::exists(dir.filePath("cap.vcd")));

    // A view file that is a link to the VCD.
    ASSERT_TRUE(QFile::link(dir.filePath("linked.vcd"), dir.filePath("linked.gtkw")));
    EXPECT_EQ(exportVcd(capture, dir.filePath("linked.vcd"), &said), kExitUsage);
    EXPECT_TRUE(said.contains("would replace the VCD")) << said.toStdString();

    // A tuned view is kept, the VCD still written; --force replaces it.
    const QString view = dir.filePath("out.gtkw");
    QFile tuned(view);
    ASSERT_TRUE(tuned.open(QIODevice::WriteOnly));
    tuned.write("[*] tuned by hand\n");
    tuned.close();
    EXPECT_EQ(exportVcd(capture, dir.filePath("out.vcd"), &said), kExitOk);
    EXPECT_TRUE(said.contains("kept the existing GTKWave view file")) << said.toStdString();
    EXPECT_EQ(contents(view), "[*] tuned by hand\n");
    EXPECT_TRUE(contents(dir.filePath("out.vcd")).startsWith("$version"));

    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    EXPECT_EQ(
        runIrd({"export", capture, "--format", "vcd", "--force", "-o", dir.filePath("out.vcd")},
               outStream, errStream),
        kExitOk)
        << err.toStdString();
    EXPECT_TRUE(out.contains("wrote the GTKWave view file")) << out.toStdString();
    EXPECT_TRUE(contents(view).contains("[dumpfile]"));
}

// Links in a shared folder: a view file or a VCD that is a link, even one leading nowhere, counts
// as there; an export replaces the link itself and never creates or changes what it leads to.
struct PlantedLink {
    std::string name;
    const char* link; // the name planted as a link to "elsewhere/target"
    bool force;
    const char* said;
    bool linkKept;
    friend void PrintTo(const PlantedLink& c, std::ostream* os) { *os << c.name; }
};

class PlantedLinks : public ::testing::TestWithParam<PlantedLink> {};

TEST_P(PlantedLinks, AreReplacedNeverWrittenThrough) {
    QTemporaryDir dir;
    const QString capture = writeCapture(dir.path());
    ASSERT_TRUE(QDir(dir.path()).mkdir("elsewhere"));
    const QString target = dir.filePath("elsewhere/target");
    const QString link = dir.filePath(GetParam().link);
    ASSERT_TRUE(QFile::link(target, link));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    QStringList args{"export", capture, "--format", "vcd", "-o", dir.filePath("out.vcd")};
    if (GetParam().force) {
        args << "--force";
    }
    ASSERT_EQ(runIrd(args, outStream, errStream), kExitOk) << err.toStdString();
    EXPECT_TRUE(out.contains(GetParam().said)) << out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target)) << "written through the link";
    EXPECT_EQ(QFileInfo(link).isSymLink(), GetParam().linkKept);
    EXPECT_EQ(QDir(dir.filePath("elsewhere")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Table, PlantedLinks,
                         ::testing::Values(PlantedLink{"dangling_view_kept", "out.gtkw", false,
                                                       "kept the existing", true},
                                           PlantedLink{"dangling_view_forced", "out.gtkw", true,
                                                       "wrote the GTKWave view", false},
                                           PlantedLink{"dangling_vcd", "out.vcd", false,
                                                       "wrote the GTKWave view", false}),
                         velmoran::test::CaseName());

} // namespace
