// velmoran-demo: the real main window with serial port 1 wired to the board emulator, which runs
// on a thread of its own and writes into a pseudo-terminal that the window opens like any serial
// port. Each click on 开始采集 receives a fresh capture.
//
// With --headless OUT_DIR (or without a display) it clicks the button itself, waits for the
// capture to complete, saves OUT_DIR/capture.ird and OUT_DIR/window.png and prints the status
// texts it saw. After each capture the navigator lists the frames the emulator sent.
//
// With --screenshot FILE (on a display, Xvfb included) it captures once in the real window, then
// floats the navigator beside the main window over the rest of the screen with the first frame
// fitted to its detail chart, and saves the whole screen to FILE. With --load FILE as well, it
// loads that capture (as 载入 does) instead of capturing.

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/application.h"
#include "app/form1.h"
#include "app/main_window.h"
#include "app/target_channel.h"
#include "app/vb_label.h"
#include "core/texts.h"
#include "core/whole_file.h"
#include "files/capture_file.h"
#include "files/program_start.h"
#include "navigator/detail_chart.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"
#include "tools/emulator/board_stream.h"

namespace {

using namespace velmoran;

constexpr char kUsage[] =
    "usage: velmoran-demo [--headless OUT_DIR] [--pace board|line|max] [--seed N] [--channel N]\n"
    "                     [--annotate on] [--remotes FILE]... [--screenshot FILE [--load IRD]\n"
    "                     [--row N]]\n"
    "\n"
    "Starts Velmoran with serial port 1 on the built-in board emulator.\n"
    "  --headless OUT_DIR  capture once without a window, then save OUT_DIR/capture.ird and\n"
    "                      OUT_DIR/window.png (also what happens when there is no display)\n"
    "  --pace P            board (default, about 20 s a capture), line or max\n"
    "  --seed N            the key presses of the first capture (default 1)\n"
    "  --channel N         the channel the headless capture goes to (default 1)\n"
    "  --annotate on       turns 在波形上标注帧 on; headless, also saves OUT_DIR/frame.png with\n"
    "                      the first frame fitted to the chart\n"
    "  --remotes FILE      imports a lircd.conf into the remote library first (repeatable;\n"
    "                      headless runs keep their settings and library in OUT_DIR)\n"
    "  --screenshot FILE   on a display: capture once, float the navigator beside the window\n"
    "                      over the rest of the screen, fit the first frame, save the screen\n"
    "  --load IRD          with --screenshot: load this capture file instead of capturing\n"
    "  --row N             with --screenshot: select and fit the frame of row N (from 1)\n";
constexpr char kDefaultOutDir[] = "velmoran-demo-output";
// Longest a headless capture may take at the board's pace before the demo gives up.
constexpr int kHeadlessTimeoutMs = 120000;
constexpr int kStatusPollMs = 20;

// The window's picture as a PNG file, written whole or not at all (a full disk or a size limit
// leaves an earlier picture as it was); false after a message.
bool savePicture(QWidget& window, const QString& path) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    std::optional<QString> reason;
    if (!window.grab().save(&buffer, "PNG")) {
        reason = QStringLiteral("the picture could not be made");
    }
    QSaveFile file(path);
    if (!reason) {
        reason = openWholeFile(file);
    }
    if (!reason) {
        reason = writeWhole(file, png);
    }
    if (!reason) {
        reason = commitWhole(file);
    }
    if (reason) {
        std::fprintf(stderr, "velmoran-demo: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(*reason));
        return false;
    }
    return true;
}

struct Options {
    bool headless = false;
    QString outDir;
    emulator::StreamOptions stream;
    QString channel = QStringLiteral("1");
    bool annotate = false; // 在波形上标注帧 on, and a picture of the first frame fitted
    QStringList remotes;   // lircd.conf files imported before the capture
    QString screenshot;    // the screen after one capture, the navigator beside the window
    QString load;          // with screenshot: a capture file loaded instead of a capture
    int row = 0;           // with screenshot: the frame list's row selected and fitted
};

// Time for the window system to show what was just placed before the screen is taken.
constexpr int kSettleMs = 1500;

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "velmoran-demo: %s needs a value\n%s", argv[i], kUsage);
            return std::nullopt;
        }
        const char* value = argv[++i];
        if (arg == "--headless") {
            const std::optional<QString> outDir = argumentText(value);
            if (!outDir) {
                std::fprintf(stderr, "velmoran-demo: %s\n",
                             qPrintable(unrepresentableArgumentText(value)));
                return std::nullopt;
            }
            o.headless = true;
            o.outDir = *outDir;
        } else if (arg == "--pace") {
            const auto pace = emulator::parsePace(value);
            if (!pace) {
                std::fprintf(stderr, "velmoran-demo: unknown pace %s\n", value);
                return std::nullopt;
            }
            o.stream.pace = *pace;
        } else if (arg == "--seed") {
            bool ok = false;
            o.stream.seed = QString::fromLatin1(value).toUInt(&ok);
            if (!ok) {
                std::fprintf(stderr, "velmoran-demo: bad seed %s\n", value);
                return std::nullopt;
            }
        } else if (arg == "--annotate") {
            o.annotate = std::string_view(value) == "on";
        } else if (arg == "--remotes") {
            const std::optional<QString> file = argumentText(value);
            if (!file) {
                std::fprintf(stderr, "velmoran-demo: %s\n",
                             qPrintable(unrepresentableArgumentText(value)));
                return std::nullopt;
            }
            o.remotes << *file;
        } else if (arg == "--screenshot") {
            const std::optional<QString> file = argumentText(value);
            if (!file) {
                std::fprintf(stderr, "velmoran-demo: %s\n",
                             qPrintable(unrepresentableArgumentText(value)));
                return std::nullopt;
            }
            o.screenshot = *file;
        } else if (arg == "--load") {
            const std::optional<QString> file = argumentText(value);
            if (!file) {
                std::fprintf(stderr, "velmoran-demo: %s\n",
                             qPrintable(unrepresentableArgumentText(value)));
                return std::nullopt;
            }
            o.load = *file;
        } else if (arg == "--row") {
            bool ok = false;
            o.row = QString::fromLatin1(value).toInt(&ok) - 1;
            if (!ok || o.row < 0) {
                std::fprintf(stderr, "velmoran-demo: bad row %s\n", value);
                return std::nullopt;
            }
        } else if (arg == "--channel") {
            o.channel = QString::fromLocal8Bit(value);
        } else {
            std::fprintf(stderr, "velmoran-demo: unknown option %s\n%s", argv[i - 1], kUsage);
            return std::nullopt;
        }
    }
    return o;
}

bool haveDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void say(const QString& line) {
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

// Prints each new text of the status, rate and percentage labels with the time it appeared.
class StatusLog : public QObject {
public:
    explicit StatusLog(Form1& form) : form_(form) {
        clock_.start();
        connect(&timer_, &QTimer::timeout, this, &StatusLog::poll);
        timer_.start(kStatusPollMs);
    }
    void poll() {
        check(form_.Label1, QStringLiteral("status"), last1_);
        check(form_.Label2, QStringLiteral("rate"), last2_);
        check(form_.Label12, QStringLiteral("progress"), last12_);
    }

private:
    void check(const VbLabel* label, const QString& what, QString& last) {
        if (label->Caption() == last) {
            return;
        }
        last = label->Caption();
        say(QStringLiteral("[%1 s] %2: %3")
                .arg(static_cast<double>(clock_.elapsed()) / 1000.0, 6, 'f', 2)
                .arg(what, last));
    }

    Form1& form_;
    QTimer timer_;
    QElapsedTimer clock_;
    QString last1_, last2_, last12_;
};

int runHeadless(MainWindow& window, const Options& o) {
    Form1& form = *window.form();
    if (!QDir().mkpath(o.outDir)) {
        std::fprintf(stderr, "velmoran-demo: cannot create %s\n", qPrintable(o.outDir));
        return 1;
    }
    StatusLog log(form);
    // Also look right after each block, so that a fast capture shows its texts too.
    QObject::connect(form.MSComm1, &MSComm::OnComm, &log, &StatusLog::poll);
    int result = 1;
    QObject::connect(&window, &MainWindow::captureTaken, &form, [&] {
        log.poll();
        say(QStringLiteral("navigator: %1 frames listed")
                .arg(window.navigatorPanel() != nullptr
                         ? window.navigatorPanel()->frames()->rowCount()
                         : 0));
        const bool complete = form.Label2->Caption() == QString::fromUtf8(texts::kReceiveOk);
        const QString ird = QDir(o.outDir).filePath(QStringLiteral("capture.ird"));
        const QString png = QDir(o.outDir).filePath(QStringLiteral("window.png"));
        const CaptureFileResult saved =
            saveCaptureFile(ird, form.ChannelData1, form.ChannelData2, form.ChannelData3);
        // The window as a user sees it after the capture: menu bar, chart and navigator.
        QCoreApplication::processEvents(); // the marked frames follow the new list
        bool shot = savePicture(window, png);
        if (o.annotate && window.navigatorPanel() != nullptr &&
            window.navigatorPanel()->frames()->rowCount() > 0) {
            // Then the first frame fitted to the chart, as a double-click on its row does.
            window.navigatorPanel()->selectFrame(0);
            window.findChild<QAction*>(QStringLiteral("actionZoomToFrame"))->trigger();
            QCoreApplication::processEvents();
            const QString fitted = QDir(o.outDir).filePath(QStringLiteral("frame.png"));
            shot = shot && savePicture(window, fitted);
            say(QStringLiteral("saved %1").arg(fitted));
        }
        if (!saved.ok) {
            std::fprintf(stderr, "velmoran-demo: %s\n", qPrintable(saved.error));
        } else {
            say(QStringLiteral("saved %1 (%2 bytes)").arg(ird).arg(QFileInfo(ird).size()));
        }
        if (shot) {
            say(QStringLiteral("saved %1").arg(png));
        }
        if (!complete) {
            std::fprintf(stderr, "velmoran-demo: the capture did not complete\n");
        }
        result = complete && saved.ok && shot ? 0 : 1;
        QCoreApplication::quit();
    });
    QTimer::singleShot(kHeadlessTimeoutMs, &form, [] {
        std::fprintf(stderr, "velmoran-demo: no complete capture within %d s\n",
                     kHeadlessTimeoutMs / 1000);
        QCoreApplication::exit(1);
    });
    form.Combo1->setEditText(o.channel);
    QTimer::singleShot(0, &log, [&form, &log] {
        form.Command2->click();
        log.poll();
    });
    const int loop = QApplication::exec();
    return loop != 0 ? loop : result;
}

// One capture (or a loaded file) in the real window, then the navigator floated beside it over
// the rest of the screen, the first frame fitted to the detail chart, and the screen saved.
int runScreenshot(MainWindow& window, const Options& o) {
    Form1& form = *window.form();
    window.move(0, 0);
    int result = 1;
    const auto shoot = [&] {
        window.setNavigatorFloating(true);
        QDockWidget* dock = window.navigatorDock();
        navigator::NavigatorPanel* panel = window.navigatorPanel();
        if (dock == nullptr || panel == nullptr || panel->frames()->rowCount() <= o.row) {
            std::fprintf(stderr, "velmoran-demo: the capture listed no frame in row %d\n",
                         o.row + 1);
            QCoreApplication::exit(1);
            return;
        }
        const QRect free = window.screen()->availableGeometry();
        const int left = window.frameGeometry().right() + 1;
        dock->setGeometry(QRect(left, free.top(), free.right() - left + 1, free.height()));
        dock->show();
        panel->selectFrame(o.row);
        QTimer::singleShot(kSettleMs, &form, [&] {
            window.navigatorPanel()->detailChart()->fitFrame(o.row);
            QTimer::singleShot(kSettleMs, &form, [&] {
                const QPixmap screen = window.screen()->grabWindow(0);
                result = screen.save(o.screenshot) ? 0 : 1;
                say(QStringLiteral("saved %1 (%2 x %3)")
                        .arg(o.screenshot)
                        .arg(screen.width())
                        .arg(screen.height()));
                QCoreApplication::quit();
            });
        });
    };
    if (!o.load.isEmpty()) {
        QTimer::singleShot(kSettleMs, &form, [&] {
            if (!form.loadFile(o.load)) {
                std::fprintf(stderr, "velmoran-demo: cannot load %s\n", qPrintable(o.load));
                QCoreApplication::exit(1);
                return;
            }
            QTimer::singleShot(kSettleMs, &form, shoot);
        });
        const int loop = QApplication::exec();
        return loop != 0 ? loop : result;
    }
    QObject::connect(&window, &MainWindow::captureTaken, &form, shoot);
    QTimer::singleShot(kHeadlessTimeoutMs, &form, [] {
        std::fprintf(stderr, "velmoran-demo: no complete capture within %d s\n",
                     kHeadlessTimeoutMs / 1000);
        QCoreApplication::exit(1);
    });
    form.Combo1->setEditText(o.channel);
    QTimer::singleShot(kSettleMs, &form, [&form] { form.Command2->click(); });
    const int loop = QApplication::exec();
    return loop != 0 ? loop : result;
}

} // namespace

int main(int argc, char** argv) {
    ignoreFileSizeSignal();
    std::optional<Options> options = parse(argc, argv);
    if (!options) {
        return 2;
    }
    Options o = *options;
    if (!o.load.isEmpty() && o.screenshot.isEmpty()) {
        std::fprintf(stderr, "velmoran-demo: --load goes with --screenshot\n%s", kUsage);
        return 2;
    }
    if (!o.headless && !haveDisplay()) {
        o.headless = true;
        o.outDir = QString::fromLatin1(kDefaultOutDir);
        std::fprintf(stderr, "velmoran-demo: no display; capturing headless into %s\n",
                     kDefaultOutDir);
    }
    if (o.headless) {
        // The window would refuse the capture in a message box nobody is there to close.
        if (!namedChannel(o.channel)) {
            std::fprintf(stderr, "velmoran-demo: %s\n",
                         noSuchChannelMessage(o.channel).toLocal8Bit().constData());
            return 2;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // A headless run keeps its settings and remote library in OUT_DIR, never the user's.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(QDir(o.outDir).absoluteFilePath("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(QDir(o.outDir).absoluteFilePath("data")));
    }

    QApplication app(argc, argv);
    setUpApplication(app);

    emulator::PseudoTerminal pty;
    emulator::BoardStreamer streamer(pty.masterFd(), pty.slavePath(), o.stream);
    const QString boardPort = QString::fromStdString(pty.slavePath());
    const PortMap platform = platformPortMap();
    MainWindow window(
        [boardPort, platform](int port) { return port == 1 ? boardPort : platform(port - 1); });
    say(QStringLiteral("velmoran-demo: board emulator on %1 as serial port 1, pace %2")
            .arg(boardPort, QString::fromLatin1(emulator::paceName(o.stream.pace).data())));
    window.show();
    if (o.annotate) {
        window.findChild<QAction*>(QStringLiteral("actionAnnotateFrames"))->setChecked(true);
    }
    if (!o.remotes.isEmpty() && !window.importRemotes(o.remotes)) {
        return 1;
    }

    if (o.headless) {
        return runHeadless(window, o);
    }
    if (!o.screenshot.isEmpty()) {
        return runScreenshot(window, o);
    }
    return QApplication::exec();
}
