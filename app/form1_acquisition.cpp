#include "app/form1.h"

#include <QComboBox>
#include <QPushButton>

#include "acquisition/block_receiver.h"
#include "acquisition/capture_session.h"
#include "acquisition/monitor.h"
#include "app/target_channel.h"
#include "app/vb_label.h"
#include "core/number_rules.h"
#include "core/texts.h"
#include "display/line_control.h"
#include "display/picture_box.h"
#include "files/message_box.h"

namespace velmoran {

void Form1::Command2_Click() {
    if (Session->running()) {
        Session->stop();
        return;
    }
    // A capture whose 显示通道 names no buffer would run its 20 s into nowhere: refuse it
    // before the port opens, with nothing else changed.
    const std::optional<int> target = namedChannel(Combo1->currentText());
    if (!target) {
        WarningBox(this, windowTitle(), noSuchChannelMessage(Combo1->currentText()));
        return;
    }
    try {
        Init_com();
        RecvCount = 0;
        LastCount = 0;
        Session->start(*target, channel(*target));
    } catch (const SerialError& e) {
        // The port could not be opened: the window stays Idle and the serial layer says why.
        WarningBox(this, windowTitle(), e.message());
    } catch (const vb::OverflowError& e) {
        WarningBox(this, windowTitle(), QString::fromUtf8(e.what()));
    }
}

void Form1::captureStartedHere() {
    Command2->setText(texts::q(texts::kForceStop));
    Command2->setEnabled(true);
    Combo1->setEnabled(false);
    Command1->setEnabled(false);
    Command3->setEnabled(false);
    Label1->setCaption(texts::q(texts::kPortOpened));
    ElapsedTicks = 0;
    setInterval(Timer1, kMonitorIntervalMs);
    Q_EMIT captureStarted();
}

void Form1::endCapture(const QString& status) {
    setInterval(Timer1, 0);
    Label1->setCaption(status);
    RecvCount = 0;
    Label2->setCaption(texts::q(texts::kRateStopped));
    Command2->setText(texts::q(texts::kStartCapture));
    Picture1->Cls();
    Combo1->setEnabled(true);
    Command1->setEnabled(true);
    Command3->setEnabled(true);
    Q_EMIT captureEnded();
}

void Form1::MSComm1_OnComm() {
    Session->receive();
}

void Form1::blockStoredHere(int32_t storedBytes) {
    Label1->setCaption(texts::q(texts::kCaptureRunning));
    RecvCount = storedBytes;
    if (!captureComplete(RecvCount)) {
        Q_EMIT blockStored();
    }
}

void Form1::captureCompletedHere() {
    Label2->setCaption(texts::q(texts::kReceiveOk));
    Command2->setText(texts::q(texts::kStartCapture));
    Command2->setEnabled(true);
    Combo1->setEnabled(true);
    Command1->setEnabled(true);
    Command3->setEnabled(true);
    Label1->setCaption(captureDoneText(ElapsedTicks));
    Picture1->Cls();
    setInterval(Timer1, 0);
    Line4->setBorderWidth(progressBarWidth(RecvCount, Picture2ScaleWidth()));
    Label12->setCaption(percentText(RecvCount));
    drawRows(0);
    Q_EMIT captureEnded();
}

void Form1::MSComm1_PortLost(const QString& reason) {
    // Ends like a force-stop: the blocks already stored stay in their buffer.
    Session->loseLine(reason);
}

void Form1::Timer1_Timer() {
    ElapsedTicks = countTick(ElapsedTicks, RecvCount);
    const int16_t Waiting = MSComm1->InBufferCount();
    Line4->setBorderWidth(progressBarWidth(RecvCount, Picture2ScaleWidth()));
    Label12->setCaption(percentText(RecvCount));
    Label2->setCaption(rateText(RecvCount, Waiting, LastCount));
    LastCount = arrivedCount(RecvCount, Waiting);
}

} // namespace velmoran
