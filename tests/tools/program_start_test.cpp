// The programs as a user starts them from a shell: a file-size limit gives the write's own
// message, not a death by signal (and leaves an earlier picture whole); a remote library that is
// a FIFO neither stops the window from coming up nor keeps velmoran-ird waiting; names and
// remotes files that are devices or huge, channels that do not exist in a headless demo, bad
// irgen percentages and file names whose bytes the programs cannot represent are refused with a
// message. Each case runs under the C locale and a UTF-8 one.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/ird_capture.h"

using namespace velmoran;

namespace {

constexpr int kProgramTimeoutMs = 30000;

struct ShellCase {
    std::string name;
    const char* script; // bash; $IRD, $EMU, $DEMO, $GUI and $IRGEN name the programs
    int status;
    const char* says; // on stderr
    friend void PrintTo(const ShellCase& c, std::ostream* os) { *os << c.name; }
};

class ProgramStart : public ::testing::TestWithParam<ShellCase> {};

TEST_P(ProgramStart, EndsWithTheStatusAndMessage) {
    for (const char* locale : {"C", "C.UTF-8"}) {
        QTemporaryDir dir;
        ASSERT_TRUE(saveCaptureFile(dir.filePath("cap.ird"),
                                    test::renderScenario(emulator::defaultScenario(4, 25)), {}, {})
                        .ok);
        ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
        const QString bin = QStringLiteral(VELMORAN_BINARY_DIR);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LANG", locale);
        env.insert("LC_ALL", locale);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("IRD", bin + "/tools/ird/velmoran-ird");
        env.insert("EMU", bin + "/tools/emulator/velmoran-emulator");
        env.insert("DEMO", bin + "/tools/demo/velmoran-demo");
        env.insert("IRGEN", bin + "/tools/irgen/velmoran-irgen");
        env.insert("GUI", bin + "/velmoran");
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start("bash", {"-c", QString::fromUtf8(GetParam().script)});
        const bool ended = p.waitForFinished(kProgramTimeoutMs);
        if (!ended) {
            p.kill();
            p.waitForFinished();
        }
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        ASSERT_TRUE(ended) << locale << ": still running, waiting for nobody";
        EXPECT_EQ(p.exitCode(), GetParam().status) << locale << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(GetParam().says)))
            << locale << ": " << err.toStdString();
        // Nothing was written under another name in place of the one refused.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).filter("o"),
                  QStringList{})
            << locale;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramStart,
    ::testing::Values(
        ShellCase{"ird_size_limit", "ulimit -f 1; $IRD export cap.ird --format csv -o x.csv", 1,
                  "cannot write x.csv: File too large"},
        ShellCase{"emulator_size_limit", "ulimit -f 1; $EMU --output x.ird", 1,
                  "cannot write x.ird: File too large"},
        ShellCase{"emulator_size_limit_keeps_the_old_file",
                  "echo kept > k.ird; (ulimit -f 1; $EMU --output k.ird --captures 2); s=$?; "
                  "grep -qx kept k.ird && echo kept >&2; exit $s",
                  1, "kept"},
        ShellCase{"names_device", "$IRD export cap.ird --format lircd --names /dev/zero -o x", 1,
                  "/dev/zero: not a regular file"},
        ShellCase{"names_huge",
                  "truncate -s 2M n.txt; $IRD export cap.ird --format lircd --names n.txt -o x", 1,
                  "larger than 1 MiB"},
        ShellCase{"demo_size_limit_keeps_the_old_picture",
                  "$DEMO --headless d --pace max >/dev/null && cp d/window.png g.png && "
                  "(ulimit -f 1; $DEMO --headless d --pace max); s=$?; "
                  "cmp -s d/window.png g.png && echo kept >&2; exit $s",
                  1, "kept"},
        ShellCase{"demo_size_limit_says_why",
                  "$DEMO --headless d --pace max >/dev/null && (ulimit -f 1; $DEMO --headless d "
                  "--pace max)",
                  1, "window.png: File too large"},
        ShellCase{"demo_window_comes_up_over_a_fifo_library",
                  "mkdir -p d/data/Velmoran/Velmoran && mkfifo d/data/Velmoran/Velmoran/"
                  "remotes.lircd.conf && $DEMO --headless d --pace max >l.txt; s=$?; "
                  "grep -q 'saved d/window.png' l.txt && echo shown >&2; exit $s",
                  0, "shown"},
        ShellCase{"ird_fifo_library_is_not_waited_on",
                  "mkdir -p x/Velmoran/Velmoran && mkfifo x/Velmoran/Velmoran/remotes.lircd.conf "
                  "&& XDG_DATA_HOME=$PWD/x $IRD decode cap.ird",
                  1, "remotes.lircd.conf: not a regular file"},
        ShellCase{"ird_huge_remotes_refused",
                  "truncate -s 100M r.lirc; $IRD decode cap.ird --remotes r.lirc", 1,
                  "larger than 4 MiB"},
        ShellCase{
            "demo_lists_the_frames_of_a_fresh_capture",
            "$DEMO --headless d --pace max >l.txt; s=$?; "
            "grep -q 'navigator: [1-9][0-9]* frames listed' l.txt && echo listed >&2; exit $s",
            0, "listed"},
        ShellCase{"demo_channel_0", "$DEMO --headless d --channel 0", 2, "不是有效的通道"},
        ShellCase{"demo_channel_abc", "$DEMO --headless d --channel abc", 2, "不是有效的通道"},
        ShellCase{"ird_output_name", "$IRD export cap.ird --format csv -o $'o\\xff.csv'", 2,
                  "\"o\\xff.csv\" holds bytes that are not valid"},
        ShellCase{"ird_input_name", "cp cap.ird $'o\\xff.ird'; $IRD info $'o\\xff.ird'", 2,
                  "cannot name that file"},
        ShellCase{"ird_utf8_names_work_in_any_locale",
                  "cp cap.ird 'é.ird' && $IRD export 'é.ird' --format csv -o 'ü.csv' && "
                  "test -s 'ü.csv' && echo fine >&2",
                  0, "fine"},
        ShellCase{"emulator_output_name", "$EMU --output $'o\\xff.ird'", 2, "cannot name"},
        ShellCase{"window_file_name", "$GUI $'o\\xff.ird'", 2, "cannot name that file"},
        ShellCase{"irgen_output_name", "$IRGEN -o $'o\\xff.ird'", 2, "cannot name"},
        ShellCase{"irgen_negative_jitter", "$IRGEN -o x.ird --jitter -5", 2, "0 to 50"},
        ShellCase{"irgen_glitches_over_100", "$IRGEN -o x.ird --glitches 150", 2, "0 to 100"},
        ShellCase{"irgen_into_folder", "$IRGEN -o folder", 1, "folder: not a regular file"}),
    velmoran::test::CaseName());

} // namespace
