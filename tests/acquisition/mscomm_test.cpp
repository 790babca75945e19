#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <ostream>

#include "support/case_name.h"
#include "support/idle.h"
#include "support/pty_pair.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "acquisition/mscomm.h"
#include "app/form1.h"

using namespace velmoran;
using velmoran::test::idleFor;
using velmoran::test::pattern;
using velmoran::test::PtyPair;
using velmoran::test::threadCpuSeconds;
using velmoran::test::waitUntil;

namespace {

// The serial control as Init_com leaves it, on the slave of `pty`, with a recorder that reads
// one block per receive event.
struct Receiver {
    explicit Receiver(PtyPair& pty)
        : comm([&pty](int port) { return port == 1 ? pty.slavePath() : QString(); }) {
        comm.setCommPort(1);
        comm.setRThreshold(1024);
        comm.setSThreshold(0);
        comm.setSettings(QStringLiteral("57600,n,8,1"));
        comm.setInBufferCount(0);
        comm.setOutBufferCount(0);
        comm.setInputMode(MSComm::comInputModeBinary);
        comm.setInputLen(1024);
        QObject::connect(&comm, &MSComm::OnComm, &comm, [this] {
            events.push_back(comm.CommEvent());
            if (comm.CommEvent() == MSComm::comEvReceive && !hold) {
                waitingAtEvent.push_back(comm.InBufferCount());
                received += comm.Input();
                ++blocks;
            }
        });
        QObject::connect(&comm, &MSComm::PortLost, &comm, [this](const QString& reason) {
            lostReasons.push_back(reason);
            blocksAtLoss = blocks;
        });
    }

    MSComm comm;
    bool hold = false; // leave the bytes waiting, as a busy program would
    std::vector<int16_t> events;
    std::vector<int16_t> waitingAtEvent;
    QByteArray received;
    int blocks = 0;
    QStringList lostReasons;
    int blocksAtLoss = -1;
};

TEST(SerialLine, OpensTheSlaveAt57600_8N1Raw) {
    PtyPair pty;
    // Opened before the program opens it, so the test can read the line settings back.
    const int probe = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    termios before{};
    tcgetattr(probe, &before);
    before.c_cflag |= PARENB | CSTOPB; // something for the program to undo
    before.c_lflag |= ICANON | ECHO;
    cfsetispeed(&before, B9600);
    cfsetospeed(&before, B9600);
    tcsetattr(probe, TCSANOW, &before);

    Form1 form([&](int port) { return port == 1 ? pty.slavePath() : QString(); });
    EXPECT_FALSE(form.MSComm1->PortOpen()) << "Init_com at load must not open the port";
    form.Command2->click();
    ASSERT_TRUE(form.MSComm1->PortOpen());

    termios tio{};
    ASSERT_EQ(tcgetattr(probe, &tio), 0);
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(tio.c_cflag & CREAD);
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK));
    EXPECT_FALSE(tio.c_oflag & OPOST);

    form.Command2->click(); // force-stop closes it again
    EXPECT_FALSE(form.MSComm1->PortOpen());
    ::close(probe);
}

struct ChunkCase {
    std::string name;
    friend void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }
    int chunk; // bytes per write; the program gets to run between writes
};

class SerialChunks : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(SerialChunks, OneEventPerWholeBlockBytesIntactAndInOrder) {
    PtyPair pty;
    Receiver r(pty);
    r.comm.setPortOpen(true);
    const QByteArray stream = pattern(5 * 1024 + 300, GetParam().chunk);
    for (qsizetype at = 0; at < stream.size(); at += GetParam().chunk) {
        pty.write(stream.mid(at, GetParam().chunk));
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(waitUntil([&] { return r.blocks == 5; }));
    idleFor(150);
    EXPECT_EQ(r.blocks, 5) << "no event for the partial block";
    EXPECT_EQ(r.comm.InBufferCount(), 300);
    EXPECT_EQ(r.received, stream.left(5 * 1024));
    for (int16_t waiting : r.waitingAtEvent) {
        EXPECT_GE(waiting, 1024);
    }

    pty.write(pattern(724, 99));
    ASSERT_TRUE(waitUntil([&] { return r.blocks == 6; }));
    EXPECT_EQ(r.received, stream + pattern(724, 99));
    EXPECT_EQ(r.comm.InBufferCount(), 0);
    EXPECT_EQ(r.comm.bytesReceived(), stream.size() + 724);
}

INSTANTIATE_TEST_SUITE_P(Table, SerialChunks,
                         ::testing::Values(ChunkCase{"byte_by_byte", 1}, ChunkCase{"seven", 7},
                                           ChunkCase{"just_under_a_block", 1023},
                                           ChunkCase{"one_block", 1024},
                                           ChunkCase{"just_over_a_block", 1025},
                                           ChunkCase{"four_blocks", 4096},
                                           ChunkCase{"all_at_once", 1 << 20}),
                         test::CaseName());

TEST(SerialLine, TimedReadsRideOnTheCompanionsTicksAndGoOnWhenItStops) {
    PtyPair pty;
    Receiver r(pty);
    QTimer companion;
    r.comm.setCompanionTimer(&companion);
    companion.start(200);
    // After each tick (and so after a read the tick made) a marker is posted. A block read on
    // tick k is handed out before marker k; one read on a wake-up of its own, after marker k.
    int ticks = 0;
    int markers = 0;
    std::vector<int> markersBehind; // per block: ticks so far less markers delivered so far
    QObject::connect(&companion, &QTimer::timeout, &r.comm, [&] {
        ++ticks;
        QMetaObject::invokeMethod(
            &r.comm, [&] { ++markers; }, Qt::QueuedConnection);
    });
    QObject::connect(&r.comm, &MSComm::OnComm, &r.comm,
                     [&] { markersBehind.push_back(ticks - markers); });
    r.comm.setPortOpen(true);

    // About the board's pace (3,200 bytes a second), from a thread of its own.
    const QByteArray stream = pattern(6 * 1024, 64);
    std::thread board([&] {
        for (qsizetype at = 0; at < stream.size(); at += 64) {
            pty.write(stream.mid(at, 64));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    ASSERT_TRUE(waitUntil([&] { return r.blocks == 4; }));
    companion.stop();
    ASSERT_TRUE(waitUntil([&] { return r.blocks == 6; }))
        << "the reads go on when the companion stops";
    board.join();
    EXPECT_EQ(r.received, stream);
    ASSERT_GE(markersBehind.size(), 4u);
    for (std::size_t block = 0; block < 4; ++block) {
        EXPECT_EQ(markersBehind[block], 1) << "block " << block << " was read between ticks";
    }
}

TEST(SerialLine, LateReaderLosesNothingAndHearsOfTheFullBuffer) {
    PtyPair pty;
    Receiver r(pty);
    r.comm.setInBufferSize(2048);
    r.comm.setPortOpen(true);
    // Sixteen blocks arrive while the program is busy elsewhere.
    const QByteArray stream = pattern(16 * 1024);
    pty.write(stream.left(8 * 1024));
    QThread::msleep(50);
    pty.write(stream.mid(8 * 1024));
    ASSERT_TRUE(waitUntil([&] { return r.blocks == 16; }));
    EXPECT_EQ(r.received, stream);
    EXPECT_GE(std::count(r.events.begin(), r.events.end(), MSComm::comEventRxOver), 1);
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), MSComm::comEvReceive), 16);
}

TEST(SerialLine, VanishingLineClosesThePortOnceAfterTheWholeBlocks) {
    PtyPair pty;
    Receiver r(pty);
    r.comm.setPortOpen(true);
    const QByteArray stream = pattern(3 * 1024 + 10);
    r.hold = true;
    pty.write(stream);
    ASSERT_TRUE(waitUntil([&] { return r.comm.bytesReceived() == stream.size(); }));
    ASSERT_EQ(r.blocks, 0);
    r.hold = false;
    pty.closeMaster(); // the adapter is pulled while three blocks wait to be handled

    ASSERT_TRUE(waitUntil([&] { return !r.lostReasons.isEmpty(); }));
    EXPECT_FALSE(r.comm.PortOpen());
    EXPECT_EQ(r.blocksAtLoss, 3) << "whole blocks are handed out before the loss";
    EXPECT_EQ(r.received, stream.left(3 * 1024));

    // Nothing spins once the line is gone: the thread sleeps in the event loop.
    const double cpuBefore = threadCpuSeconds();
    idleFor(500);
    EXPECT_LT(threadCpuSeconds() - cpuBefore, 0.2);
    EXPECT_EQ(r.lostReasons.size(), 1);
    EXPECT_EQ(r.blocks, 3);
}

TEST(SerialLine, ClosingThePortOnPurposeDropsAPendingLossReport) {
    PtyPair pty;
    Receiver r(pty);
    QObject::connect(&r.comm, &MSComm::OnComm, &r.comm, [&] {
        if (!r.hold) {
            r.comm.setPortOpen(false);
        }
    });
    r.comm.setPortOpen(true);
    r.hold = true;
    pty.write(pattern(2 * 1024));
    ASSERT_TRUE(waitUntil([&] { return r.comm.bytesReceived() == 2 * 1024; }));
    r.hold = false;
    pty.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return r.blocks == 1; }));
    idleFor(200);
    EXPECT_EQ(r.blocks, 1);
    EXPECT_TRUE(r.lostReasons.isEmpty());
}

TEST(SerialLine, PortsThatCannotOpenSayWhy) {
    MSComm comm([](int port) {
        return port == 2 ? QStringLiteral("/dev/velmoran-no-such-device") : QString();
    });
    comm.setCommPort(5);
    try {
        comm.setPortOpen(true);
        FAIL() << "opened a port that does not exist";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("串口 5 不存在"));
    }
    comm.setCommPort(2);
    try {
        comm.setPortOpen(true);
        FAIL() << "opened a device that does not exist";
    } catch (const SerialError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("/dev/velmoran-no-such-device")))
            << e.message().toStdString();
    }
    EXPECT_FALSE(comm.PortOpen());
}

TEST(SerialLine, PortNumberCannotChangeWhileOpen) {
    PtyPair pty;
    Receiver r(pty);
    r.comm.setPortOpen(true);
    EXPECT_THROW(r.comm.setCommPort(2), SerialError);
    EXPECT_EQ(r.comm.CommPort(), 1);
}

struct SettingsCase {
    std::string name;
    friend void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }
    const char* text;
    bool valid;
};

class SettingsText : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsText, ParsesTheLineFormat) {
    if (GetParam().valid) {
        const LineSettings s = parseSettings(QString::fromLatin1(GetParam().text));
        EXPECT_EQ(s.baudRate, 57600);
        EXPECT_EQ(s.parity, QSerialPort::NoParity);
        EXPECT_EQ(s.dataBits, QSerialPort::Data8);
        EXPECT_EQ(s.stopBits, QSerialPort::OneStop);
    } else {
        EXPECT_THROW(parseSettings(QString::fromLatin1(GetParam().text)), SerialError);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsText,
                         ::testing::Values(SettingsCase{"program_setting", "57600,n,8,1", true},
                                           SettingsCase{"upper_case_parity", "57600,N,8,1", true},
                                           SettingsCase{"blanks", " 57600 , n , 8 , 1 ", true},
                                           SettingsCase{"no_baud", "abc,n,8,1", false},
                                           SettingsCase{"zero_baud", "0,n,8,1", false},
                                           SettingsCase{"bad_parity", "57600,x,8,1", false},
                                           SettingsCase{"nine_bits", "57600,n,9,1", false},
                                           SettingsCase{"bad_stop", "57600,n,8,3", false},
                                           SettingsCase{"three_fields", "57600,n,8", false}),
                         test::CaseName());

} // namespace
