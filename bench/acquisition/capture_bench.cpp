// Measures the acquisition path end to end: the real window, the serial control on a
// pseudo-terminal and the board emulator on its own thread.
//
//   bench_capture [--board N] [--burst MS] [--max N] [--dense] [--offscreen] [--closed]
//                 [--reference] [--no-line]
//
// 1. N captures at the board's pace (default 1, about 20.4 s each), the bytes arriving in bursts
//    MS milliseconds apart (default 4): CPU time of the window's own process (this program run
//    again with --window-child; the emulator stays here), read from /proc to the nanosecond, as a
//    share of one core, per capture and the median. The window is the program's main window with
//    its navigator shown, in a real X window on an Xvfb server this program starts (--offscreen:
//    Qt's offscreen platform instead), because the painting is part of the cost; with --dense,
//    channels 2 and 3 hold captures full of frames (loaded from a file) while channel 1 captures.
//    With --closed the user has closed the navigator before the capture. With --reference, a
//    bare window of the main window's size follows on the same display for as long, whose only
//    work is two labels showing a rate and a share five times a second as the monitor does:
//    what those repaints alone cost there, the floor under the capture's figure.
//    Also the longest the window spent on one event while the blocks arrived (a live update),
//    and on the capture's start (the click and its repaint, until the first block is stored)
//    and its end; the window's resident memory (VmRSS) and heap before the capture and
//    what the capture added. VELMORAN_BENCH_BREAKDOWN=1 lists where the window's time went, by
//    kind of event and by widget painted.
// 2. One capture as fast as the line goes: wall time, bytes checked (not with --no-line).
// 3. N back-to-back captures as fast as possible (default 100): every byte checked, wall time
//    per capture, resident memory (VmRSS) after the first and after the last.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "acquisition/capture_session.h"
#include "acquisition/monitor.h"
#include "app/application.h"
#include "app/form1.h"
#include "app/main_window.h"
#include "app/vb_label.h"
#include "files/capture_file.h"
#include "tools/emulator/board_stream.h"
#include "tools/irgen/ir_generator.h"

namespace {

using namespace velmoran;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSeed = 2024;
constexpr int kCaptureTimeoutMs = 120000;
// How long the window is left after a capture before its memory is read.
constexpr int kSettleMs = 500;
// The bare window of --reference: the main window's client size, where its labels sit, what the
// board sends in one tick of the monitor, and how long it runs (as long as a capture).
constexpr int kReferenceWidth = 712;
constexpr int kReferenceHeight = 720;
constexpr int kReferenceLabelX = 200;
constexpr int kReferenceLabelY = 640;
constexpr int32_t kBoardBytesPerTick = 623;
constexpr int kReferenceMs = 20400;

long vmRssKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toLong();
        }
    }
    return -1;
}

// Bytes the heap holds in live allocations (RSS also counts freed memory malloc keeps).
long heapInUseKiB() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

// Runs the event loop (sleeping in it) until `done` or the timeout; returns done().
template <class Done> bool waitFor(Done done, int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    check.start(5);
    // A timer of our own, gone with this scope (a pending single-shot would outlive it).
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    if (!done()) {
        loop.exec();
    }
    return done();
}

// One window on one emulator; each capture() clicks 开始采集 and waits for the end.
struct Rig {
    explicit Rig(emulator::Pace pace, int burstUs = emulator::StreamOptions{}.burstUs)
        : streamer(pty.masterFd(), pty.slavePath(),
                   {.seed = kSeed, .pace = pace, .burstUs = burstUs}),
          form([this](int port) {
              return port == 1 ? QString::fromStdString(pty.slavePath()) : QString();
          }) {
        QObject::connect(&form, &Form1::captureEnded, &form, [this] { ++ended; });
        form.show();
    }

    // Returns the number of wrong bytes in the channel (-1: the capture did not complete).
    long capture() {
        if (!waitFor([this] { return streamer.waitingForReader(); }, 10000)) {
            return -1;
        }
        // Sleeps in the event loop until the window says the capture has ended: nothing of the
        // bench itself wakes up meanwhile.
        const int before = ended;
        QEventLoop loop;
        QObject::connect(&form, &Form1::captureEnded, &loop, &QEventLoop::quit);
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        timeout.start(kCaptureTimeoutMs);
        form.Command2->click();
        if (ended == before) {
            loop.exec();
        }
        if (ended == before || form.RecvCount != 63488) {
            return -1;
        }
        const std::vector<uint8_t> expected =
            emulator::streamCapture(kSeed, streamer.connections() - 1);
        return static_cast<long>(std::inner_product(expected.begin(), expected.end(),
                                                    form.ChannelData1.begin(), 0L, std::plus<>(),
                                                    [](uint8_t a, uint8_t b) { return a != b; }));
    }

    emulator::PseudoTerminal pty;
    emulator::BoardStreamer streamer;
    Form1 form;
    int ended = 0;
};

// CPU time of the calling thread, in seconds.
double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The application of the window's process: times the delivery of every event the loop hands
// out (nested deliveries count in their outer one), so that the longest block is known.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_++ > 0) {
            if (!breakdown || !measuring || event->type() != QEvent::Paint) {
                const bool handled = QApplication::notify(receiver, event);
                --depth_;
                return handled;
            }
            // Paints inside a repaint of the window, told apart by widget.
            const char* painted = receiver->metaObject()->className();
            // A plain QWidget is mostly a scroll area's viewport: named after its parent.
            if (qstrcmp(painted, "QWidget") == 0 && receiver->parent() != nullptr) {
                painted = receiver->parent()->metaObject()->className();
            }
            const auto p0 = Clock::now();
            const double c0 = threadCpuSeconds();
            const bool handled = QApplication::notify(receiver, event);
            --depth_;
            Spent& spent = spentOn[{painted, -static_cast<int>(QEvent::Paint)}];
            spent.ms += std::chrono::duration<double, std::milli>(Clock::now() - p0).count();
            spent.cpuMs += (threadCpuSeconds() - c0) * 1e3;
            ++spent.count;
            return handled;
        }
        // The receiver may be gone after its event (a deferred delete).
        const char* className = receiver->metaObject()->className();
        const int type = static_cast<int>(event->type());
        const auto t0 = Clock::now();
        const double c0 = breakdown ? threadCpuSeconds() : 0.0;
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (measuring) {
            if (breakdown) {
                Spent& spent = spentOn[{className, type}];
                spent.ms += ms;
                spent.cpuMs += (threadCpuSeconds() - c0) * 1e3;
                ++spent.count;
            }
            switch (phase) {
            case Phase::Starting:
                longestStartMs = std::max(longestStartMs, ms);
                break;
            case Phase::Live:
                if (ms > longestLiveMs) {
                    longestLiveMs = ms;
                    longestLiveWhat =
                        QStringLiteral("%1/%2").arg(QString::fromLatin1(className)).arg(type);
                }
                break;
            case Phase::Ending:
                longestEndMs = std::max(longestEndMs, ms);
                break;
            }
        }
        return handled;
    }

    bool measuring = false;
    // The click on 开始采集 and what it repaints, until the first block is stored; the blocks
    // arriving (the live updates); the capture's end and what it repaints (the event that
    // ends it included).
    enum class Phase { Starting, Live, Ending };
    Phase phase = Phase::Starting;
    double longestStartMs = 0.0;
    double longestLiveMs = 0.0;
    double longestEndMs = 0.0;
    QString longestLiveWhat; // the receiver's class and the event's type
    // Time spent on each kind of event (the receiver's class and the event's type; the paints
    // inside a repaint of the window under minus the paint event's type).
    struct Spent {
        double ms = 0.0;
        double cpuMs = 0.0; // the window thread's CPU
        int count = 0;
    };
    bool breakdown = qEnvironmentVariableIsSet("VELMORAN_BENCH_BREAKDOWN");
    std::map<std::pair<const char*, int>, Spent> spentOn;

private:
    int depth_ = 0;
};

// Channels 2 and 3 full of frames: a long unknown remote with glitches (every burst listed with
// its raw pulses) and RC-6 with glitches, saved to a capture file the window loads.
QString denseCaptureFile() {
    irgen::Options o;
    o.seed = kSeed;
    o.glitchShare = 0.3;
    const ChannelBuffer unknown =
        irgen::renderChannel(irgen::generate(irgen::Family::UnknownPulseDistance112, o));
    const ChannelBuffer rc6 = irgen::renderChannel(irgen::generate(irgen::Family::Rc6, o));
    ChannelBuffer idle{};
    idle.fill(0xFF);
    const QString path = QDir::temp().filePath(
        QStringLiteral("bench_capture_dense_%1.ird").arg(QCoreApplication::applicationPid()));
    return saveCaptureFile(path, idle, unknown, rc6).ok ? path : QString();
}

// The main window with its navigator, in a process of its own on the emulator's pseudo-terminal:
// prints "start" just before it clicks 开始采集 and "end <status>" when the capture has ended.
int windowChild(TimedApplication& app, const QString& slavePath, bool dense, bool closed) {
    MainWindow window([&](int port) { return port == 1 ? slavePath : QString(); });
    Form1& form = *window.form();
    window.show();
    window.setNavigatorShown(true);
    waitFor([] { return false; }, 300);
    const long rssShown = vmRssKiB();
    if (dense) {
        const QString path = denseCaptureFile();
        if (path.isEmpty() || !window.openFile(path)) {
            std::printf("end 0 the dense capture could not be loaded\n");
            return 1;
        }
        QFile::remove(path);
    }
    if (closed) {
        window.setNavigatorShown(false); // as its close button does
    }
    waitFor([] { return false; }, 500); // built and painted before the clock starts
    bool ended = false;
    // The window thread's CPU at the start, at the first block stored and at the end.
    std::array<double, 3> phaseCpu{};
    QObject::connect(form.Session, &CaptureSession::blockStored, &form, [&] {
        if (app.phase == TimedApplication::Phase::Starting) {
            app.phase = TimedApplication::Phase::Live;
            phaseCpu[1] = threadCpuSeconds();
        }
    });
    QObject::connect(&form, &Form1::captureEnded, &form, [&] {
        ended = true;
        app.phase = TimedApplication::Phase::Ending;
        phaseCpu[2] = threadCpuSeconds();
    });
    const long rssBefore = vmRssKiB();
    const long heapBefore = heapInUseKiB();
    std::printf("start\n");
    std::fflush(stdout);
    app.measuring = true;
    phaseCpu[0] = threadCpuSeconds();
    form.Command2->click();
    QEventLoop loop;
    QObject::connect(&form, &Form1::captureEnded, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    if (!ended) {
        loop.exec();
    }
    app.measuring = false;
    std::printf("end %d %.1f %.1f %s %.1f %s\n",
                form.RecvCount == 63488 && form.Label2->Caption() == "Recieve OK!",
                app.longestLiveMs, app.longestEndMs, qPrintable(app.longestLiveWhat),
                app.longestStartMs, qPrintable(form.Label1->Caption()));
    std::fflush(stdout);
    if (app.breakdown) {
        const double endCpu = threadCpuSeconds();
        std::fprintf(stderr,
                     "      the window's thread: %.1f ms CPU at the start, %.1f ms while the "
                     "blocks came, %.1f ms at the end\n",
                     (phaseCpu[1] - phaseCpu[0]) * 1e3, (phaseCpu[2] - phaseCpu[1]) * 1e3,
                     (endCpu - phaseCpu[2]) * 1e3);
        std::vector<std::pair<double, QString>> kinds;
        for (const auto& [kind, spent] : app.spentOn) {
            kinds.emplace_back(spent.cpuMs, QStringLiteral("%1 ms CPU (%2 ms) in %3 events %4/%5")
                                                .arg(spent.cpuMs, 0, 'f', 1)
                                                .arg(spent.ms, 0, 'f', 1)
                                                .arg(spent.count)
                                                .arg(QString::fromLatin1(kind.first))
                                                .arg(kind.second));
        }
        std::sort(kinds.rbegin(), kinds.rend());
        for (std::size_t i = 0; i < kinds.size() && i < 20; ++i) {
            std::fprintf(stderr, "      %s\n", qPrintable(kinds[i].second));
        }
    }
    // What the end set going settles, then the memory (after the CPU was read).
    QEventLoop settle;
    QTimer::singleShot(kSettleMs, &settle, &QEventLoop::quit);
    settle.exec();
    std::printf("memory %ld %ld %ld %ld %ld\n", rssShown, rssBefore, vmRssKiB(), heapBefore,
                heapInUseKiB());
    std::fflush(stdout);
    return 0;
}

// The bare window of --reference: the main window's size, two labels sized to their texts,
// changed on a 200 ms tick as the monitor changes its rate and share while a board sends.
int referenceChild() {
    QWidget window;
    window.setFixedSize(kReferenceWidth, kReferenceHeight);
    VbLabel rate(QString(), true, &window);
    VbLabel share(QString(), true, &window);
    rate.move(kReferenceLabelX, kReferenceLabelY);
    share.move(kReferenceLabelX * 2, kReferenceLabelY);
    window.show();
    waitFor([] { return false; }, 800);
    int32_t arrived = 0;
    int32_t last = 0;
    uint32_t noise = kSeed;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        // The board's 3,113.5 bytes a second, give or take a burst of a dozen bytes.
        noise = noise * 1664525U + 1013904223U;
        arrived += kBoardBytesPerTick + static_cast<int32_t>(noise >> 28) - 8;
        rate.setCaption(rateText(arrived, 0, last));
        share.setCaption(percentText(arrived / kBlockBytes * kBlockBytes));
        last = arrived;
    });
    std::printf("start\n");
    std::fflush(stdout);
    tick.start(kMonitorIntervalMs);
    QEventLoop loop;
    QTimer::singleShot(kReferenceMs, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("end 1\n");
    std::fflush(stdout);
    return 0;
}

// An Xvfb server on a display number it picks itself; the display's name, empty when none
// started.
QString startXvfb(QProcess& xvfb) {
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp")});
    if (!xvfb.waitForStarted(5000)) {
        return {};
    }
    QByteArray number;
    while (!number.contains('\n') && xvfb.waitForReadyRead(10000)) {
        number += xvfb.readAllStandardOutput();
    }
    number = number.trimmed();
    return number.isEmpty() ? QString() : QStringLiteral(":") + QString::fromLatin1(number);
}

// CPU seconds process `pid` has run so far, all its threads, to the nanosecond: the first field
// of each thread's /proc/<pid>/task/<tid>/schedstat (/proc/<pid>/stat counts 10 ms ticks).
double procCpuSeconds(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double seconds = 0.0;
    bool any = false;
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (f.open(QIODevice::ReadOnly)) {
            seconds += static_cast<double>(f.readAll().split(' ').front().toLongLong()) * 1e-9;
            any = true;
        }
    }
    return any ? seconds : -1.0;
}

// Times the threads of process `pid` have gone to sleep and been woken so far (their voluntary
// context switches).
long procWakeUps(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    long wakeUps = 0;
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(tid + QStringLiteral("/status")));
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:")) {
                wakeUps += line.mid(line.indexOf(':') + 1).trimmed().toLong();
            }
        }
    }
    return wakeUps;
}

// Page faults process `pid` has taken so far that needed no disk (minflt, the tenth field of
// /proc/<pid>/stat, counted after the command's closing parenthesis).
long procMinorFaults(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.value(7).toLong(); // state ppid pgrp session tty tpgid flags minflt
}

// What a window process spent between the "start" line it prints and the line after it.
struct ChildRun {
    bool started = false;
    double cpu = 0.0; // seconds, all its threads
    long wakeUps = 0;
    long faults = 0;
    double wall = 0.0; // seconds
    QByteArray endLine;
};

// Starts this program again with `arguments` on `environment`'s display and measures it from its
// "start" line to the line that follows (its end); the process is left running.
ChildRun runChild(QProcess& window, const QProcessEnvironment& environment, const char* self,
                  const QStringList& arguments) {
    ChildRun run;
    window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    window.setProcessEnvironment(environment);
    window.start(QString::fromLocal8Bit(self), arguments);
    if (!window.waitForReadyRead(20000) || !window.readLine().startsWith("start")) {
        return run;
    }
    run.started = true;
    const double cpu0 = procCpuSeconds(window.processId());
    const long wakeUps0 = procWakeUps(window.processId());
    const long faults0 = procMinorFaults(window.processId());
    const auto t0 = Clock::now();
    while (run.endLine.isEmpty() && window.waitForReadyRead(kCaptureTimeoutMs)) {
        run.endLine = window.readLine();
    }
    run.cpu = procCpuSeconds(window.processId()) - cpu0;
    run.wakeUps = procWakeUps(window.processId()) - wakeUps0;
    run.faults = procMinorFaults(window.processId()) - faults0;
    run.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    return run;
}

// Runs the bare window of --reference on `environment`'s display; nothing when it did not run.
std::optional<ChildRun> referencePaced(const QProcessEnvironment& environment, const char* self) {
    QProcess window;
    const ChildRun run = runChild(window, environment, self, {QStringLiteral("--reference-child")});
    window.waitForFinished(10000);
    if (!run.started || !run.endLine.startsWith("end 1")) {
        return std::nullopt;
    }
    return run;
}

int boardPaced(int captures, int burstMs, const char* self, bool dense, bool offscreen, bool closed,
               bool reference) {
    std::printf("== %d capture(s) at the board's pace (about 20.4 s each), bytes arriving in "
                "bursts %d ms apart; CPU of the window's own process from /proc; the main window "
                "and its navigator on %s%s%s\n",
                captures, burstMs, offscreen ? "Qt's offscreen platform" : "an Xvfb X server",
                dense ? "; channels 2 and 3 full of frames" : "",
                closed ? "; the navigator closed" : "");
    QProcess xvfb;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!offscreen) {
        const QString display = startXvfb(xvfb);
        if (display.isEmpty()) {
            std::printf("   Xvfb did not start\n");
            return 1;
        }
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    } else {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    bool ok = true;
    std::vector<double> shares;
    for (int i = 0; i < captures; ++i) {
        emulator::PseudoTerminal pty;
        emulator::BoardStreamer streamer(
            pty.masterFd(), pty.slavePath(),
            {.seed = kSeed, .pace = emulator::Pace::Board, .burstUs = burstMs * 1000});
        QStringList arguments{QStringLiteral("--window-child"),
                              QString::fromStdString(pty.slavePath())};
        if (dense) {
            arguments << QStringLiteral("--dense");
        }
        if (closed) {
            arguments << QStringLiteral("--closed");
        }
        QProcess window;
        const ChildRun run = runChild(window, environment, self, arguments);
        if (!run.started) {
            std::printf("   capture %d: the window process did not start\n", i + 1);
            return 1;
        }
        const bool complete = run.endLine.startsWith("end 1");
        const QList<QByteArray> fields = run.endLine.split(' ');
        std::printf("   capture %d: %s, %.2f s, window process CPU %.3f s = %.2f %% of one core, "
                    "%ld wake-ups (%.1f a second), %ld page faults; longest event while it ran %s "
                    "ms (%s), at "
                    "its start %s ms, at its end %s ms\n",
                    i + 1, complete ? "complete" : "DID NOT COMPLETE", run.wall, run.cpu,
                    100.0 * run.cpu / run.wall, run.wakeUps,
                    static_cast<double>(run.wakeUps) / run.wall, run.faults,
                    fields.value(2).constData(), fields.value(4).constData(),
                    fields.value(5).constData(), fields.value(3).constData());
        QByteArray memoryLine;
        while (memoryLine.isEmpty() && window.waitForReadyRead(kCaptureTimeoutMs)) {
            memoryLine = window.readLine();
        }
        const QList<QByteArray> memory = memoryLine.split(' ');
        std::printf("      the window's VmRSS once shown %.1f MiB, before the capture %.1f MiB, "
                    "after it %+ld KiB; heap in use before it %.1f MiB, after it %+ld KiB\n",
                    memory.value(1).toDouble() / 1024, memory.value(2).toDouble() / 1024,
                    memory.value(3).toLong() - memory.value(2).toLong(),
                    memory.value(4).toDouble() / 1024,
                    memory.value(5).trimmed().toLong() - memory.value(4).toLong());
        window.waitForFinished(10000);
        shares.push_back(100.0 * run.cpu / run.wall);
        ok = ok && complete;
    }
    if (reference) {
        const std::optional<ChildRun> run = referencePaced(environment, self);
        if (!run) {
            std::printf("   the reference window did not run\n");
            ok = false;
        } else {
            std::printf("   reference: a bare window whose two labels show a rate and a share "
                        "five times a second, for as long: %.2f %% of one core, %ld wake-ups, "
                        "%ld page faults\n",
                        100.0 * run->cpu / run->wall, run->wakeUps, run->faults);
        }
    }
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
    std::sort(shares.begin(), shares.end());
    if (!shares.empty()) {
        std::printf("   median %.2f %% of one core over %zu capture(s)\n",
                    shares[shares.size() / 2], shares.size());
    }
    return ok ? 0 : 1;
}

int linePaced() {
    std::printf("== one capture at the 57600-baud line's pace\n");
    Rig rig(emulator::Pace::Line);
    const auto t0 = Clock::now();
    const long wrong = rig.capture();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("   %.2f s, %s\n", wall, wrong == 0 ? "0 bytes lost or wrong" : "BYTES WRONG");
    return wrong == 0 ? 0 : 1;
}

int backToBack(int captures) {
    std::printf("== %d back-to-back captures as fast as possible\n", captures);
    Rig rig(emulator::Pace::Max);
    long wrongTotal = 0;
    int failed = 0;
    long rssFirst = 0;
    long heapFirst = 0;
    double fastest = 1e9;
    double slowest = 0.0;
    const auto t0 = Clock::now();
    for (int i = 0; i < captures; ++i) {
        const auto c0 = Clock::now();
        const long wrong = rig.capture();
        const double wall = std::chrono::duration<double>(Clock::now() - c0).count();
        fastest = std::min(fastest, wall);
        slowest = std::max(slowest, wall);
        if (wrong < 0) {
            ++failed;
        } else {
            wrongTotal += wrong;
        }
        if (i == 0) {
            rssFirst = vmRssKiB();
            heapFirst = heapInUseKiB();
        }
    }
    const double total = std::chrono::duration<double>(Clock::now() - t0).count();
    const long rssLast = vmRssKiB();
    const long heapLast = heapInUseKiB();
    std::printf("   %d captures in %.2f s: %.1f ms each on average (fastest %.1f ms, slowest "
                "%.1f ms), including the emulator noticing each close\n",
                captures, total, 1000.0 * total / captures, 1000.0 * fastest, 1000.0 * slowest);
    std::printf("   %ld of %ld bytes wrong or lost, %d capture(s) incomplete\n", wrongTotal,
                63488L * captures, failed);
    std::printf("   VmRSS after capture 1: %ld KiB, after capture %d: %ld KiB (%+ld KiB)\n",
                rssFirst, captures, rssLast, rssLast - rssFirst);
    std::printf("   heap in use after capture 1: %ld KiB, after capture %d: %ld KiB (%+ld KiB)\n",
                heapFirst, captures, heapLast, heapLast - heapFirst);
    return wrongTotal == 0 && failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--reference-child") {
        QApplication app(argc, argv);
        setUpApplication(app);
        return referenceChild();
    }
    if (argc >= 3 && std::string(argv[1]) == "--window-child") {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        TimedApplication app(argc, argv);
        setUpApplication(app);
        const QStringList flags = QCoreApplication::arguments().mid(3);
        return windowChild(app, QString::fromLocal8Bit(argv[2]),
                           flags.contains(QStringLiteral("--dense")),
                           flags.contains(QStringLiteral("--closed")));
    }
    int board = 1;
    int back = 100;
    int burstMs = 4;
    bool dense = false;
    bool offscreen = false;
    bool closed = false;
    bool line = true;
    bool reference = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dense") {
            dense = true;
        } else if (arg == "--offscreen") {
            offscreen = true;
        } else if (arg == "--closed") {
            closed = true;
        } else if (arg == "--no-line") {
            line = false;
        } else if (arg == "--reference") {
            reference = true;
        } else if (i + 1 >= argc) {
            std::fprintf(stderr, "usage: bench_capture [--board N] [--burst MS] [--max N] "
                                 "[--dense] [--offscreen] [--closed] [--reference] [--no-line]\n");
            return 2;
        } else if (arg == "--board") {
            board = std::atoi(argv[++i]);
        } else if (arg == "--burst") {
            burstMs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--max") {
            back = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_capture [--board N] [--burst MS] [--max N] "
                                 "[--dense] [--offscreen] [--closed] [--reference] [--no-line]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    setUpApplication(app);
    int rc = 0;
    if (board > 0 || reference) {
        rc |= boardPaced(board, burstMs, argv[0], dense, offscreen, closed, reference);
    }
    if (line) {
        rc |= linePaced();
    }
    if (back > 0) {
        rc |= backToBack(back);
    }
    return rc;
}
