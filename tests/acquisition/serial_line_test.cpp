// The serial line the control opens itself: the line format termios is given, and the lock file
// that keeps a second program (a second Velmoran as root, which TIOCEXCL does not stop) away.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/idle.h"
#include "support/pty_pair.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "acquisition/mscomm.h"
#include "acquisition/port_lock.h"

using namespace velmoran;
using velmoran::test::PtyPair;

namespace {

struct FormatCase {
    std::string name;
    friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }
    const char* settings;
    bool opens;
    speed_t speed = 0;
    tcflag_t size = 0;
    tcflag_t parityFlags = 0; // of PARENB, PARODD, CMSPAR
    bool twoStop = false;
};

class LineFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(LineFormat, IsWhatTermiosIsGivenOrTheOpeningIsRefused) {
    const FormatCase& c = GetParam();
    PtyPair pty;
    // Starting from a line left cooked, with flow control, by another program.
    const int probe = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY);
    ASSERT_GE(probe, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(probe, &tio), 0);
    ::close(probe);
    tio.c_cflag |= CRTSCTS | CSTOPB | PARENB;
    tio.c_iflag |= IXON | IXOFF | ICRNL;
    tio.c_lflag |= ICANON | ECHO;
    const int result = lineTermios(tio, parseSettings(QString::fromLatin1(c.settings)));
    if (c.opens) {
        ASSERT_EQ(result, 0);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStop);
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.parityFlags != 0);
        EXPECT_FALSE(tio.c_cflag & CRTSCTS);
        EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL));
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        return;
    }
    EXPECT_EQ(result, EINVAL);
    QTemporaryDir locks;
    MSComm comm([&](int port) { return port == 1 ? pty.slavePath() : QString(); });
    comm.setLockDirectories({locks.path()});
    comm.setSettings(QString::fromLatin1(c.settings));
    try {
        comm.setPortOpen(true);
        FAIL() << "opened at " << c.settings;
    } catch (const SerialError& e) {
        EXPECT_TRUE(e.message().contains(pty.slavePath())) << e.message().toStdString();
    }
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_TRUE(QDir(locks.path()).isEmpty()) << "a refused opening leaves its lock behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineFormat,
    ::testing::Values(FormatCase{"board", "57600,n,8,1", true, B57600, CS8, 0, false},
                      FormatCase{"even_seven_two", "9600,e,7,2", true, B9600, CS7, PARENB, true},
                      FormatCase{"odd", "115200,o,8,1", true, B115200, CS8, PARENB | PARODD},
                      FormatCase{"mark", "57600,m,8,1", true, B57600, CS8,
                                 PARENB | PARODD | CMSPAR},
                      FormatCase{"space_five_bits", "300,s,5,1", true, B300, CS5, PARENB | CMSPAR},
                      FormatCase{"rate_termios_has_not", "57601,n,8,1", false},
                      FormatCase{"one_and_a_half_stop", "57600,n,8,1.5", false}),
    test::CaseName());

enum class Before { Nothing, StaleLock, Link };

struct LockCase {
    std::string name;
    friend void PrintTo(const LockCase& c, std::ostream* os) { *os << c.name; }
    Before before;
    bool folderTakesLocks;
};

class OwnLock : public ::testing::TestWithParam<LockCase> {};

TEST_P(OwnLock, NamesUsWhileOpenKeepsASecondReaderOutAndGoesWithTheClosing) {
    const LockCase& c = GetParam();
    PtyPair pty;
    QTemporaryDir scratch;
    const QString folder = c.folderTakesLocks ? scratch.filePath("locks") : "/nonexistent/locks";
    QDir().mkpath(scratch.filePath("locks"));
    QString path = pty.slavePath();
    // Others look for a device's lock under its own name, whatever link led to it.
    const QString lockPath = QDir(folder).filePath(lockFileNames(pty.slavePath()).front());
    if (c.before == Before::Link) {
        path = scratch.filePath("ttyBoard");
        ASSERT_TRUE(QFile::link(pty.slavePath(), path));
    } else if (c.before == Before::StaleLock) {
        pid_t gone = ::fork();
        if (gone == 0) {
            ::_exit(0);
        }
        ::waitpid(gone, nullptr, 0);
        QFile stale(lockPath);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray::number(gone).rightJustified(10, ' ') + '\n');
    }
    const auto portMap = [&](int port) { return port == 1 ? path : QString(); };
    MSComm first(portMap);
    MSComm second(portMap);
    first.setLockDirectories({folder});
    second.setLockDirectories({folder});
    first.setSettings(QStringLiteral("57600,n,8,1"));
    first.setPortOpen(true);
    ASSERT_TRUE(first.PortOpen());

    const QByteArray ours = QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n';
    if (c.folderTakesLocks) {
        QFile lock(lockPath);
        ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
        EXPECT_EQ(lock.readAll(), ours);
        try {
            second.setPortOpen(true);
            FAIL() << "a second reader opened a port that is ours";
        } catch (const SerialError& e) {
            EXPECT_EQ(e.message(), portBusyText(1, path, ::getpid()));
        }
    } else {
        EXPECT_TRUE(QDir(scratch.filePath("locks")).isEmpty());
    }
    first.setPortOpen(false);
    EXPECT_FALSE(QFile::exists(lockPath)) << "the lock outlives the opening";
    second.setPortOpen(true);
    EXPECT_TRUE(second.PortOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Table, OwnLock,
    ::testing::Values(LockCase{"fresh", Before::Nothing, true},
                      LockCase{"replaces_a_gone_processs_lock", Before::StaleLock, true},
                      LockCase{"through_a_link", Before::Link, true},
                      LockCase{"no_folder_takes_locks", Before::Nothing, false}),
    test::CaseName());

TEST(WatchedLine, AHangUpClosesThePortOnceAndNothingSpinsAfter) {
    PtyPair pty;
    QTemporaryDir locks;
    MSComm comm([&](int port) { return port == 1 ? pty.slavePath() : QString(); });
    comm.setLockDirectories({locks.path()});
    comm.setRThreshold(0); // no blocks: the port is watched, every byte read as it comes
    QStringList lost;
    QObject::connect(&comm, &MSComm::PortLost, &comm,
                     [&](const QString& reason) { lost << reason; });
    comm.setPortOpen(true);
    const QByteArray sent = velmoran::test::pattern(300);
    pty.write(sent);
    ASSERT_TRUE(velmoran::test::waitUntil([&] { return comm.bytesReceived() == sent.size(); }));
    pty.closeMaster();

    ASSERT_TRUE(velmoran::test::waitUntil([&] { return !lost.isEmpty(); }));
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_TRUE(QDir(locks.path()).isEmpty()) << "the lock outlives the line";
    const double cpuBefore = velmoran::test::threadCpuSeconds();
    velmoran::test::idleFor(300);
    EXPECT_LT(velmoran::test::threadCpuSeconds() - cpuBefore, 0.15);
    EXPECT_EQ(lost.size(), 1);
    comm.setInputLen(0);
    EXPECT_EQ(comm.Input(), sent) << "what came before the hang-up is kept";
}

} // namespace
