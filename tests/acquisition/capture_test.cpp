// A capture end to end: the window, the serial control on a real pseudo-terminal, and either the
// board emulator or the test itself writing the board's bytes into the master.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <ostream>

#include "support/case_name.h"
#include "support/idle.h"
#include "support/pty_pair.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "acquisition/block_receiver.h"
#include "app/form1.h"
#include "app/vb_label.h"
#include "display/line_control.h"
#include "display/picture_box.h"
#include "display/vb_scroll_bar.h"
#include "tools/emulator/board_stream.h"

using namespace velmoran;
using velmoran::test::idleFor;
using velmoran::test::pattern;
using velmoran::test::PtyPair;
using velmoran::test::threadCpuSeconds;
using velmoran::test::waitUntil;

namespace {

constexpr int kCaptureTimeoutMs = 60000;

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

bool holds(const ChannelBuffer& buffer, int at, const QByteArray& bytes) {
    return std::equal(bytes.begin(), bytes.end(), buffer.begin() + at,
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

bool holds(const ChannelBuffer& buffer, const std::vector<uint8_t>& bytes) {
    return std::equal(bytes.begin(), bytes.end(), buffer.begin());
}

bool allEqual(const ChannelBuffer& buffer, int from, int to, uint8_t value) {
    return std::all_of(buffer.begin() + from, buffer.begin() + to,
                       [value](uint8_t b) { return b == value; });
}

bool isBlank(const PictureBox& picture) {
    const QImage img = picture.image().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (qRed(line[x]) != qRed(picture.BackColor()) ||
                qGreen(line[x]) != qGreen(picture.BackColor()) ||
                qBlue(line[x]) != qBlue(picture.BackColor())) {
                return false;
            }
        }
    }
    return true;
}

// Answers the next modal message box from a timer, keeping its text.
void answerNextMessageBox(QString& text) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, &text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->done(QMessageBox::Ok);
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// The controls as the Idle and Capturing states leave them.
void expectIdle(Form1& form) {
    EXPECT_EQ(form.Command2->text(), u8("开始采集"));
    EXPECT_TRUE(form.Command2->isEnabled());
    EXPECT_TRUE(form.Combo1->isEnabled());
    EXPECT_TRUE(form.Command1->isEnabled());
    EXPECT_TRUE(form.Command3->isEnabled());
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(form.MSComm1->PortOpen());
}

void expectCapturing(Form1& form) {
    EXPECT_EQ(form.Command2->text(), u8("强行停止"));
    EXPECT_TRUE(form.Command2->isEnabled());
    EXPECT_FALSE(form.Combo1->isEnabled());
    EXPECT_FALSE(form.Command1->isEnabled());
    EXPECT_FALSE(form.Command3->isEnabled());
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(form.Timer1->interval(), 200);
    EXPECT_TRUE(form.MSComm1->PortOpen());
    EXPECT_EQ(form.ElapsedTicks, 0);
}

// The window on port 1 = the slave of a test-driven pseudo-terminal.
struct PtyWindow {
    PtyPair pty;
    Form1 form{[this](int port) { return port == 1 ? pty.slavePath() : QString(); }};
};

// The window on port 1 = the board emulator's pseudo-terminal, streaming as fast as possible.
struct EmulatorWindow {
    static constexpr uint32_t kSeed = 11;
    emulator::PseudoTerminal pty;
    emulator::BoardStreamer streamer{
        pty.masterFd(), pty.slavePath(), {.seed = kSeed, .pace = emulator::Pace::Max}};
    Form1 form{[this](int port) {
        return port == 1 ? QString::fromStdString(pty.slavePath()) : QString();
    }};
};

TEST(Capture, WholeCaptureFromTheEmulatorIntoChannel2) {
    EmulatorWindow w;
    Form1& form = w.form;
    form.ChannelData1.fill(0x11);
    form.ChannelData2.fill(0x22);
    form.ChannelData3.fill(0x33);
    form.ChannelData2[63488] = 0xA5;
    form.HScroll1->setValue(100); // completion draws from byte 0 whatever the scroll position
    ASSERT_EQ(form.ViewStart, 100);
    form.Combo1->setEditText(QStringLiteral("2"));

    QStringList statusSeen;
    QObject::connect(form.MSComm1, &MSComm::OnComm, &form, [&] {
        if (form.Timer1->isActive() && !statusSeen.contains(form.Label1->Caption())) {
            statusSeen << form.Label1->Caption();
        }
    });
    QSignalSpy ended(&form, &Form1::captureEnded);
    form.Command2->click();
    expectCapturing(form);
    EXPECT_EQ(form.Label1->Caption(), u8("串口已开启，波特率为115200bps,等待数据中"));

    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }, kCaptureTimeoutMs));
    EXPECT_TRUE(holds(form.ChannelData2, emulator::streamCapture(EmulatorWindow::kSeed, 0)));
    EXPECT_EQ(form.ChannelData2[63488], 0xA5);
    EXPECT_TRUE(allEqual(form.ChannelData1, 0, 63489, 0x11));
    EXPECT_TRUE(allEqual(form.ChannelData3, 0, 63489, 0x33));
    EXPECT_EQ(statusSeen, QStringList{u8("数据采集已开始，串口波特率为115200 kbps")});

    expectIdle(form);
    EXPECT_EQ(form.RecvCount, 63488);
    EXPECT_EQ(form.Label2->Caption(), u8("Recieve OK!"));
    EXPECT_EQ(form.Label1->Caption(), captureDoneText(form.ElapsedTicks));
    EXPECT_TRUE(form.Label1->Caption().startsWith(u8("串口已关闭，数据采集已停止。共采集 ")));
    EXPECT_EQ(form.Label12->Caption(), u8("100%"));
    EXPECT_EQ(form.Line4->BorderWidth(), 2 * form.Picture2ScaleWidth() + 1);

    // The rows on the surface are exactly the three-row redraw from byte 0.
    const QImage atCompletion = form.Picture1->image().copy();
    QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
    form.grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/capture_complete.png"));
    form.redrawRows(2 * form.ViewStart);
    EXPECT_NE(form.Picture1->image(), atCompletion);
    form.redrawRows(0);
    EXPECT_EQ(form.Picture1->image(), atCompletion);
    EXPECT_EQ(form.HScroll1->Value(), 100);

    // A second capture starts from scratch and goes where Combo1 now points.
    ASSERT_TRUE(waitUntil([&] { return w.streamer.waitingForReader(); }));
    const ChannelBuffer first = form.ChannelData2;
    form.Combo1->setEditText(QStringLiteral("3"));
    form.Command2->click();
    expectCapturing(form);
    EXPECT_EQ(form.RecvCount, 0);
    EXPECT_EQ(form.LastCount, 0);
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 2; }, kCaptureTimeoutMs));
    EXPECT_TRUE(holds(form.ChannelData3, emulator::streamCapture(EmulatorWindow::kSeed, 1)));
    EXPECT_EQ(form.ChannelData3[63488], 0x33);
    EXPECT_EQ(form.ChannelData2, first);
}

TEST(Capture, SlowUserInterfaceLosesNoByte) {
    EmulatorWindow w;
    Form1& form = w.form;
    int blocks = 0;
    // The window is held up twice mid-capture, as by a slow redraw; the line keeps coming.
    QObject::connect(form.MSComm1, &MSComm::OnComm, &form, [&] {
        if (++blocks == 5 || blocks == 30) {
            QThread::msleep(300);
        }
    });
    QSignalSpy ended(&form, &Form1::captureEnded);
    form.Command2->click();
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }, kCaptureTimeoutMs));
    EXPECT_EQ(form.Label2->Caption(), u8("Recieve OK!"));
    EXPECT_TRUE(holds(form.ChannelData1, emulator::streamCapture(EmulatorWindow::kSeed, 0)));
}

TEST(Capture, ForceStopBeforeAnyBlock) {
    PtyWindow w;
    Form1& form = w.form;
    form.ChannelData1.fill(0x5C);
    form.redrawRows(0);
    ASSERT_FALSE(isBlank(*form.Picture1));
    QSignalSpy ended(&form, &Form1::captureEnded);

    form.Command2->click();
    expectCapturing(form);
    form.Command2->click();

    expectIdle(form);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(form.RecvCount, 0);
    EXPECT_EQ(form.Label1->Caption(), u8("串口已关闭，数据采集被强行停止"));
    EXPECT_EQ(form.Label2->Caption(), u8("0 Bit/s"));
    EXPECT_TRUE(isBlank(*form.Picture1));
    EXPECT_TRUE(allEqual(form.ChannelData1, 0, 63489, 0x5C));
}

TEST(Capture, ForceStopAfterSomeBlocksKeepsThemAndDrawsNothing) {
    PtyWindow w;
    Form1& form = w.form;
    form.ChannelData1.fill(0xEE);
    form.Command2->click();
    const QByteArray sent = pattern(3 * 1024 + 100);
    w.pty.write(sent);
    ASSERT_TRUE(waitUntil([&] { return form.RecvCount == 3 * 1024; }));
    idleFor(50);
    EXPECT_EQ(form.RecvCount, 3 * 1024) << "the partial block is never stored";

    form.Command2->click();
    expectIdle(form);
    EXPECT_EQ(form.RecvCount, 0);
    EXPECT_TRUE(holds(form.ChannelData1, 0, sent.left(3 * 1024)));
    EXPECT_TRUE(allEqual(form.ChannelData1, 3 * 1024, 63489, 0xEE));
    EXPECT_TRUE(isBlank(*form.Picture1));
}

struct TargetCase {
    std::string name;
    friend void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }
    const char* combo1;
    int stores; // channel that receives the capture, 0 for none
};

class CaptureTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(CaptureTarget, StoresWhereCombo1PointsAndAlwaysCompletes) {
    PtyWindow w;
    Form1& form = w.form;
    form.ChannelData1.fill(0x11);
    form.ChannelData2.fill(0x22);
    form.ChannelData3.fill(0x33);
    form.Combo1->setEditText(QString::fromUtf8(GetParam().combo1));
    int receiveEvents = 0;
    QObject::connect(form.MSComm1, &MSComm::OnComm, &form,
                     [&] { receiveEvents += form.MSComm1->CommEvent() == MSComm::comEvReceive; });
    QSignalSpy ended(&form, &Form1::captureEnded);
    form.Command2->click();
    const QByteArray sent = pattern(63488, 3);
    w.pty.write(sent + pattern(500, 9)); // the board keeps sending after the 62nd block
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }, kCaptureTimeoutMs));

    EXPECT_EQ(receiveEvents, 62);
    EXPECT_EQ(form.RecvCount, 63488);
    EXPECT_EQ(form.Label2->Caption(), u8("Recieve OK!"));
    expectIdle(form);
    const uint8_t before[] = {0x11, 0x22, 0x33};
    for (int ch = 1; ch <= 3; ++ch) {
        const ChannelBuffer& buffer = *form.channel(ch);
        if (ch == GetParam().stores) {
            EXPECT_TRUE(holds(buffer, 0, sent)) << ch;
            EXPECT_EQ(buffer[63488], before[ch - 1]) << ch;
        } else {
            EXPECT_TRUE(allEqual(buffer, 0, 63489, before[ch - 1])) << ch;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CaptureTarget,
                         // A text that names no channel is refused before the port opens
                         // (tests/app/target_channel_test.cpp).
                         ::testing::Values(TargetCase{"text_2_7_goes_to_channel_2", "2.7", 2},
                                           TargetCase{"text_3", "3", 3}),
                         test::CaseName());

TEST(Capture, EventOtherThanReceiveChangesNothing) {
    PtyWindow w;
    Form1& form = w.form;
    // A small receive buffer, so that a late window hears the old control's overflow event.
    form.MSComm1->setInBufferSize(2048);
    struct Seen {
        int16_t event;
        int32_t recvCount;
        QString status;
    };
    std::vector<Seen> seen;
    QObject::connect(form.MSComm1, &MSComm::OnComm, &form, [&] {
        seen.push_back({form.MSComm1->CommEvent(), form.RecvCount, form.Label1->Caption()});
    });
    form.Command2->click();
    const QByteArray sent = pattern(8 * 1024);
    w.pty.write(sent);
    ASSERT_TRUE(waitUntil([&] { return form.RecvCount == 8 * 1024; }));

    int others = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i].event == MSComm::comEvReceive) {
            continue;
        }
        ++others;
        const int32_t countBefore = i == 0 ? 0 : seen[i - 1].recvCount;
        const QString statusBefore =
            i == 0 ? u8("串口已开启，波特率为115200bps,等待数据中") : seen[i - 1].status;
        EXPECT_EQ(seen[i].recvCount, countBefore) << i;
        EXPECT_EQ(seen[i].status, statusBefore) << i;
    }
    EXPECT_GE(others, 1);
    EXPECT_TRUE(holds(form.ChannelData1, 0, sent));
    form.Command2->click();
}

struct BadPortCase {
    std::string name;
    friend void PrintTo(const BadPortCase& c, std::ostream* os) { *os << c.name; }
    const char* combo2;
    const char* message; // the message box names this
};

class UnopenablePort : public ::testing::TestWithParam<BadPortCase> {};

TEST_P(UnopenablePort, ShowsTheSerialLayersMessageAndStaysIdle) {
    Form1 form([](int port) {
        return port == 2 ? QStringLiteral("/dev/velmoran-missing-adapter") : QString();
    });
    form.Combo2->setEditText(QString::fromUtf8(GetParam().combo2));
    QString message;
    answerNextMessageBox(message);
    form.Command2->click();

    EXPECT_TRUE(message.contains(QString::fromUtf8(GetParam().message))) << message.toStdString();
    expectIdle(form);
    EXPECT_EQ(form.Label1->Caption(), u8("串口还未开启，请单击开始采集按钮"));
    EXPECT_EQ(form.Label2->Caption(), u8("0Bit/s"));
    EXPECT_EQ(form.RecvCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnopenablePort,
    ::testing::Values(BadPortCase{"no_such_port", "5", "串口 5 不存在"},
                      BadPortCase{"no_number_gives_port_0", "COM2", "串口 0 不存在"},
                      BadPortCase{"device_missing", "2", "/dev/velmoran-missing-adapter"},
                      BadPortCase{"number_out_of_range", "99999", "溢出"}),
    test::CaseName());

TEST(Capture, LineVanishingMidCaptureEndsItCleanly) {
    PtyWindow w;
    Form1& form = w.form;
    form.ChannelData1.fill(0xEE);
    QSignalSpy ended(&form, &Form1::captureEnded);
    form.Command2->click();
    const QByteArray sent = pattern(5 * 1024 + 100);
    w.pty.write(sent);
    ASSERT_TRUE(waitUntil([&] { return form.RecvCount == 5 * 1024; }));
    w.pty.closeMaster(); // the USB adapter is pulled out

    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }));
    expectIdle(form);
    EXPECT_EQ(form.Label1->Caption(), u8("串口连接已断开，数据采集中止，已收到的数据已保留"));
    EXPECT_EQ(form.Label2->Caption(), u8("0 Bit/s"));
    EXPECT_EQ(form.RecvCount, 0);
    EXPECT_TRUE(holds(form.ChannelData1, 0, sent.left(5 * 1024)));
    EXPECT_TRUE(allEqual(form.ChannelData1, 5 * 1024, 63489, 0xEE));

    const double cpuBefore = threadCpuSeconds();
    idleFor(500);
    EXPECT_LT(threadCpuSeconds() - cpuBefore, 0.2) << "something spins after the loss";
    EXPECT_EQ(ended.count(), 1);
}

TEST(Capture, MonitorTicksShowRateAndProgress) {
    PtyWindow w;
    Form1& form = w.form;
    form.Command2->click();
    form.Timer1->stop(); // the test ticks by hand
    auto arrive = [&](int bytes, int seed) {
        const qint64 target = form.MSComm1->bytesReceived() + bytes;
        w.pty.write(pattern(bytes, seed));
        ASSERT_TRUE(waitUntil([&] { return form.MSComm1->bytesReceived() == target; }));
    };

    arrive(100, 1);
    form.Timer1_Timer(); // first tick, before any block
    EXPECT_EQ(form.ElapsedTicks, 0);
    EXPECT_EQ(form.Line4->BorderWidth(), 1);
    EXPECT_EQ(form.Label12->Caption(), u8("0%"));
    EXPECT_EQ(form.Label2->Caption(), u8("4000Bit/s"));
    EXPECT_EQ(form.LastCount, 100);

    arrive(623, 2);
    form.Timer1_Timer();
    EXPECT_EQ(form.Label2->Caption(), u8("24920Bit/s"));
    EXPECT_EQ(form.ElapsedTicks, 0);

    arrive(301, 3); // completes the first block
    ASSERT_TRUE(waitUntil([&] { return form.RecvCount == 1024; }));
    form.Timer1_Timer();
    EXPECT_EQ(form.ElapsedTicks, 1);
    EXPECT_EQ(form.Label2->Caption(), u8("12040Bit/s"));
    EXPECT_EQ(form.Label12->Caption(), u8("1%"));
    EXPECT_EQ(form.Line4->BorderWidth(),
              static_cast<int>(1024.0 / 63488 * form.Picture2ScaleWidth() * 2) + 1);

    form.Timer1_Timer(); // nothing new on the line
    EXPECT_EQ(form.Label2->Caption(), u8("0Bit/s"));
    EXPECT_EQ(form.ElapsedTicks, 2);
    form.Command2->click();
}

} // namespace
