// The serial control against other programs on the same port: their lock files, exclusive use,
// reads that fail for a moment, and the paced reading that keeps a capture cheap.

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <vector>

#include "support/case_name.h"
#include "support/modal_answerer.h"
#include "support/pty_pair.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "acquisition/mscomm.h"
#include "acquisition/port_lock.h"
#include "app/form1.h"
#include "core/constants.h"
#include "tools/emulator/board_stream.h"

using namespace velmoran;
using velmoran::test::pattern;
using velmoran::test::PtyPair;
using velmoran::test::waitUntil;

namespace {

// A process of our own that stays alive until killed, or one already gone.
struct Child {
    explicit Child(bool alive) {
        pid = ::fork();
        if (pid == 0) {
            if (alive) {
                ::pause();
            }
            ::_exit(0);
        }
        if (!alive) {
            ::waitpid(pid, nullptr, 0);
        }
        running = alive;
    }
    ~Child() {
        if (running) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    pid_t pid = -1;
    bool running = false;
};

enum class LockForm { Ascii, Binary, QtStyle };

QByteArray lockContents(LockForm form, qint64 pid) {
    switch (form) {
    case LockForm::Ascii: {
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
        return QByteArray(text);
    }
    case LockForm::Binary: {
        const int32_t value = static_cast<int32_t>(pid);
        return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
    }
    case LockForm::QtStyle:
        return QByteArray::number(pid) + "\nminicom\nhost\n";
    }
    return {};
}

int exclusiveFlag(const QString& path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    int excl = -1;
    if (fd >= 0) {
        ::ioctl(fd, TIOCGEXCL, &excl);
        ::close(fd);
    }
    return excl;
}

// Times this thread has gone to sleep and been woken since it started.
long threadWakeUps() {
    QFile status(QStringLiteral("/proc/thread-self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:")) {
            return line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
    }
    return -1;
}

struct LockCase {
    std::string name;
    friend void PrintTo(const LockCase& c, std::ostream* os) { *os << c.name; }
    LockForm form;
    bool holderAlive;
    bool systemFolder; // the real lock folder, where Qt itself looks, rather than a test folder
};

class PortLockFile : public ::testing::TestWithParam<LockCase> {};

TEST_P(PortLockFile, LiveHolderKeepsThePortAndItsLockADeadOneDoesNot) {
    const LockCase& c = GetParam();
    PtyPair pty;
    Form1 form([&](int port) { return port == 1 ? pty.slavePath() : QString(); });
    QTemporaryDir testFolder;
    QString folder = testFolder.path();
    if (c.systemFolder) {
        const QStringList system = MSComm::systemLockDirectories();
        if (system.isEmpty() || !QFileInfo(system.front()).isWritable()) {
            GTEST_SKIP() << "no writable system lock folder";
        }
        folder = system.front();
    } else {
        form.MSComm1->setLockDirectories({folder});
    }
    const Child holder(c.holderAlive);
    const QString lockPath = folder + "/" + lockFileNames(pty.slavePath()).front();
    const QByteArray contents = lockContents(c.form, holder.pid);
    {
        QFile lock(lockPath);
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(contents);
    }
    test::ModalAnswerer answerer;
    form.Command2->click();

    if (c.holderAlive) {
        ASSERT_EQ(answerer.messageTexts().size(), 1);
        const QString text = answerer.messageTexts().front();
        EXPECT_TRUE(text.contains(pty.slavePath())) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::number(holder.pid))) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8("正被其他程序使用"))) << text.toStdString();
        EXPECT_FALSE(form.MSComm1->PortOpen());
        EXPECT_EQ(form.Command2->text(), QString::fromUtf8("开始采集"));
        QFile lock(lockPath);
        ASSERT_TRUE(lock.open(QIODevice::ReadOnly)) << "the holder's lock file was removed";
        EXPECT_EQ(lock.readAll(), contents);
    } else {
        EXPECT_TRUE(answerer.messageTexts().isEmpty())
            << answerer.messageTexts().join(' ').toStdString();
        EXPECT_TRUE(form.MSComm1->PortOpen());
        EXPECT_EQ(exclusiveFlag(pty.slavePath()), 1) << "an open port is held for exclusive use";
        form.Command2->click(); // force stop
        EXPECT_FALSE(form.MSComm1->PortOpen());
        EXPECT_EQ(exclusiveFlag(pty.slavePath()), 0);
    }
    QFile::remove(lockPath);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortLockFile,
    ::testing::Values(LockCase{"ascii_live_holder", LockForm::Ascii, true, false},
                      LockCase{"binary_live_holder", LockForm::Binary, true, false},
                      LockCase{"qt_style_live_holder", LockForm::QtStyle, true, false},
                      LockCase{"ascii_live_holder_in_system_folder", LockForm::Ascii, true, true},
                      LockCase{"binary_live_holder_in_system_folder", LockForm::Binary, true, true},
                      LockCase{"ascii_dead_holder_opens", LockForm::Ascii, false, false},
                      LockCase{"binary_dead_holder_opens", LockForm::Binary, false, false}),
    test::CaseName());

// A lock file that is no regular file, which anyone may plant in a shared lock folder: the
// capture refuses at once with a message naming it, instead of waiting in open() for a writer.
struct PlantedLock {
    std::string name;
    friend void PrintTo(const PlantedLock& c, std::ostream* os) { *os << c.name; }
    bool fifo; // else a folder
    const char* kind;
};

class PlantedLockFile : public ::testing::TestWithParam<PlantedLock> {};

TEST_P(PlantedLockFile, RefusesTheCaptureWithoutBlocking) {
    PtyPair pty;
    Form1 form([&](int port) { return port == 1 ? pty.slavePath() : QString(); });
    QTemporaryDir folder;
    form.MSComm1->setLockDirectories({folder.path()});
    const QString lockPath = folder.filePath(lockFileNames(pty.slavePath()).front());
    const QByteArray native = QFile::encodeName(lockPath);
    ASSERT_EQ(GetParam().fifo ? ::mkfifo(native.constData(), 0666)
                              : ::mkdir(native.constData(), 0777),
              0);
    test::ModalAnswerer answerer;
    ::alarm(20); // a capture waiting on the lock file ends the test here
    form.Command2->click();
    ::alarm(0);
    ASSERT_EQ(answerer.messageTexts().size(), 1);
    const QString text = answerer.messageTexts().front();
    EXPECT_TRUE(text.contains(lockPath)) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8(GetParam().kind))) << text.toStdString();
    EXPECT_FALSE(form.MSComm1->PortOpen());
    EXPECT_EQ(form.Command2->text(), QString::fromUtf8("开始采集"));
}

INSTANTIATE_TEST_SUITE_P(Table, PlantedLockFile,
                         ::testing::Values(PlantedLock{"fifo", true, "命名管道"},
                                           PlantedLock{"folder", false, "文件夹"}),
                         test::CaseName());

struct PidCase {
    std::string name;
    friend void PrintTo(const PidCase& c, std::ostream* os) { *os << c.name; }
    QByteArray contents;
    qint64 pid; // 0: names none
};

class LockFileContents : public ::testing::TestWithParam<PidCase> {};

TEST_P(LockFileContents, NameTheHoldersProcessId) {
    EXPECT_EQ(lockFilePid(GetParam().contents).value_or(0), GetParam().pid);
}

INSTANTIATE_TEST_SUITE_P(Table, LockFileContents,
                         ::testing::Values(PidCase{"ten_characters", "      4321\n", 4321},
                                           PidCase{"bare_number", "77", 77},
                                           PidCase{"qt_lock_file", "815\nvelmoran\nhost\n", 815},
                                           PidCase{"binary", QByteArray("\x39\x30\x00\x00", 4),
                                                   12345},
                                           PidCase{"empty", "", 0}, PidCase{"words", "locked\n", 0},
                                           PidCase{"three_bytes", QByteArray("\x01\x02\x03", 3), 0},
                                           PidCase{"negative", "-5\n", 0}),
                         test::CaseName());

// The serial control as Init_com leaves it, counting what it hears.
struct Receiver {
    explicit Receiver(PtyPair& pty)
        : comm([&pty](int port) { return port == 1 ? pty.slavePath() : QString(); }) {
        comm.setRThreshold(1024);
        comm.setSettings(QStringLiteral("57600,n,8,1"));
        comm.setInputMode(MSComm::comInputModeBinary);
        comm.setInputLen(1024);
        QObject::connect(&comm, &MSComm::OnComm, &comm, [this] {
            if (comm.CommEvent() == MSComm::comEvReceive) {
                received += comm.Input();
                ++blocks;
            }
        });
        QObject::connect(&comm, &MSComm::PortLost, &comm, [this] { ++lost; });
    }
    MSComm comm;
    QByteArray received;
    int blocks = 0;
    int lost = 0;
};

TEST(SerialRead, AReadThatFailsForAMomentIsNotALostLine) {
    PtyPair pty;
    // Another reader on the same line, quicker than ours: it takes every byte, so our port's
    // reads find nothing although the line is there.
    const int other =
        ::open(pty.slavePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    long stolen = 0;
    QSocketNotifier thief(other, QSocketNotifier::Read);
    QObject::connect(&thief, &QSocketNotifier::activated, &thief, [other, &stolen] {
        char buf[4096];
        ssize_t n = 0;
        while ((n = ::read(other, buf, sizeof buf)) > 0) {
            stolen += n;
        }
    });
    Receiver r(pty);
    // Without a threshold every byte is read as it comes, racing the other reader.
    r.comm.setRThreshold(0);
    r.comm.setPortOpen(true);
    for (int i = 0; i < 50 && r.comm.transientReadErrors() == 0; ++i) {
        pty.write(pattern(2048, i));
        waitUntil([&] { return r.comm.transientReadErrors() > 0; }, 100);
    }
    ASSERT_GT(r.comm.transientReadErrors(), 0) << "the other reader never got in first";
    EXPECT_TRUE(r.comm.PortOpen());

    // With a threshold the reads are timed; finding the line empty is no loss either.
    r.comm.setRThreshold(kBlockBytes);
    stolen = 0;
    pty.write(pattern(2048, 7));
    ASSERT_TRUE(waitUntil([&] { return stolen == 2048; }));
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(r.comm.PortOpen());

    thief.setEnabled(false);
    ::close(other);
    r.comm.setInBufferCount(0);
    r.received.clear();
    const QByteArray block = pattern(1024, 99);
    pty.write(block);
    ASSERT_TRUE(waitUntil([&] { return r.received.size() == 1024; }));
    EXPECT_EQ(r.received, block) << "reading goes on after the failed read";
    EXPECT_EQ(r.lost, 0);
    EXPECT_TRUE(r.comm.PortOpen());
}

TEST(SerialRead, ABoardPacedLineIsReadAFewTimesPerBlockNotOncePerBurst) {
    emulator::PseudoTerminal line;
    constexpr uint32_t kSeed = 5;
    constexpr int kBlocks = 3;
    constexpr int kBurstUs = 4000;
    emulator::BoardStreamer board(
        line.masterFd(), line.slavePath(),
        {.seed = kSeed, .pace = emulator::Pace::Board, .burstUs = kBurstUs});
    const QString slave = QString::fromStdString(line.slavePath());
    MSComm comm([&](int port) { return port == 1 ? slave : QString(); });
    comm.setRThreshold(kBlockBytes);
    comm.setSettings(QStringLiteral("57600,n,8,1"));
    comm.setInputLen(kBlockBytes);
    QByteArray received;
    QEventLoop loop;
    QObject::connect(&comm, &MSComm::OnComm, &comm, [&] {
        if (comm.CommEvent() != MSComm::comEvReceive) {
            return;
        }
        received += comm.Input();
        if (received.size() == kBlocks * kBlockBytes) {
            loop.quit();
        }
    });
    // Bytes the kernel still holds count as waiting from the start.
    int mostWaiting = 0;
    QTimer monitor;
    QObject::connect(&monitor, &QTimer::timeout, &comm,
                     [&] { mostWaiting = std::max<int>(mostWaiting, comm.InBufferCount()); });
    monitor.start(200);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    comm.setPortOpen(true);
    const long wakeUpsBefore = threadWakeUps();
    const auto t0 = std::chrono::steady_clock::now();
    loop.exec();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const long wakeUps = threadWakeUps() - wakeUpsBefore;
    comm.setPortOpen(false);

    ASSERT_EQ(received.size(), kBlocks * kBlockBytes);
    const std::vector<uint8_t> expected = emulator::streamCapture(kSeed, 0);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), expected.begin(),
                           [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
    EXPECT_GT(mostWaiting, 0);
    // The monitor ticks, the idle start and a few reads per block; a burst every 4 ms would
    // have woken the thread about 250 times a second.
    const double bursts = seconds * 1e6 / kBurstUs;
    EXPECT_LT(static_cast<double>(wakeUps), bursts / 4)
        << wakeUps << " wake-ups in " << seconds << " s (" << bursts << " bursts)";
}

} // namespace
