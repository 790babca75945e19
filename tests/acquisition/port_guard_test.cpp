// The serial control against other programs on the same port: their lock files, exclusive use,
// reads that fail for a moment, and the kernel's wake threshold that keeps a capture cheap.

#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>

#include "files/modal_answerer.h"
#include "support/case_name.h"
#include "support/pty_pair.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "acquisition/mscomm.h"
#include "acquisition/port_lock.h"
#include "app/form1.h"

using namespace velmoran;
using velmoran::test::PtyPair;
using velmoran::test::waitUntil;

namespace {

QByteArray pattern(int size, int seed = 0) {
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        b[i] = static_cast<char>((i * 7 + i / 256 + seed) & 0xFF);
    }
    return b;
}

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

int wakeThreshold(int fd) {
    termios tio{};
    tcgetattr(fd, &tio);
    return tio.c_cc[VTIME] == 0 ? tio.c_cc[VMIN] : -1;
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
    // reads find nothing (EAGAIN) although the line is there.
    const int other =
        ::open(pty.slavePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    QSocketNotifier thief(other, QSocketNotifier::Read);
    QObject::connect(&thief, &QSocketNotifier::activated, &thief, [other] {
        char buf[4096];
        while (::read(other, buf, sizeof buf) > 0) {
        }
    });
    Receiver r(pty);
    r.comm.setPortOpen(true);
    for (int i = 0; i < 50 && r.comm.transientReadErrors() == 0; ++i) {
        pty.write(pattern(2048, i));
        waitUntil([&] { return r.comm.transientReadErrors() > 0; }, 100);
    }
    ASSERT_GT(r.comm.transientReadErrors(), 0) << "the other reader never got in first";
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

TEST(SerialRead, TheKernelWakesUsForWhatTheBlockLacksAtMost255Bytes) {
    PtyPair pty;
    const int probe =
        ::open(pty.slavePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    Receiver r(pty);
    r.comm.setPortOpen(true);
    EXPECT_EQ(wakeThreshold(probe), 255);

    // 100 bytes stay in the kernel, yet count as waiting and as received.
    pty.write(pattern(100));
    ASSERT_TRUE(waitUntil([&] { return r.comm.bytesReceived() == 100; }));
    EXPECT_EQ(r.comm.InBufferCount(), 100);
    pty.write(pattern(900).mid(100));
    ASSERT_TRUE(waitUntil([&] { return wakeThreshold(probe) == 124; }))
        << "900 bytes read, 124 lacking: VMIN " << wakeThreshold(probe);
    EXPECT_EQ(r.blocks, 0);
    pty.write(pattern(1024).mid(900));
    ASSERT_TRUE(waitUntil([&] { return r.blocks == 1; }));
    EXPECT_EQ(r.received, pattern(1024));
    EXPECT_EQ(wakeThreshold(probe), 255);
    r.comm.setPortOpen(false);
    ::close(probe);
}

} // namespace
