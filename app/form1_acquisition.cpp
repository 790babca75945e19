#include "app/form1.h"

#include <QComboBox>
#include <QPushButton>

#include <span>

#include "acquisition/block_receiver.h"
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
    // A capture whose 显示通道 names no buffer would run its 20 s into nowhere: refuse it
    // before the port opens, with nothing else changed.
    if (!MSComm1->PortOpen() && !namedChannel(Combo1->currentText())) {
        WarningBox(this, windowTitle(), noSuchChannelMessage(Combo1->currentText()));
        return;
    }
    try {
        if (!MSComm1->PortOpen()) {
            Init_com();
        }
        if (!MSComm1->PortOpen()) {
            RecvCount = 0;
            LastCount = 0;
        }
        MSComm1->setPortOpen(!MSComm1->PortOpen());
    } catch (const SerialError& e) {
        // The port could not be opened: the window stays Idle and the serial layer says why.
        WarningBox(this, windowTitle(), e.message());
        return;
    } catch (const vb::OverflowError& e) {
        WarningBox(this, windowTitle(), QString::fromUtf8(e.what()));
        return;
    }

    if (MSComm1->PortOpen()) {
        Command2->setText(texts::q(texts::kForceStop));
        Command2->setEnabled(true);
        Combo1->setEnabled(false);
        Command1->setEnabled(false);
        Command3->setEnabled(false);
        Label1->setCaption(texts::q(texts::kPortOpened));
        ElapsedTicks = 0;
        setInterval(Timer1, kMonitorIntervalMs);
        Q_EMIT captureStarted();
    } else {
        endCapture(texts::q(texts::kForceStopped));
    }
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
    if (MSComm1->CommEvent() != MSComm::comEvReceive) {
        return;
    }
    // The control raises the event only for a whole block; should one ever be short, the bytes
    // stay waiting for the next event rather than being copied short.
    if (MSComm1->InBufferCount() < kBlockBytes) {
        return;
    }
    Label1->setCaption(texts::q(texts::kCaptureRunning));
    const QByteArray block = MSComm1->Input();
    ChannelBuffer* target = channel(targetChannel(Combo1->currentText()));
    storeBlock(target, RecvCount,
               std::span(reinterpret_cast<const uint8_t*>(block.constData()),
                         static_cast<std::size_t>(block.size())));
    if (!captureComplete(RecvCount)) {
        Q_EMIT blockStored();
        return;
    }

    Label2->setCaption(texts::q(texts::kReceiveOk));
    MSComm1->setPortOpen(false);
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
    Q_UNUSED(reason);
    // The monitor runs exactly while a capture does; a loss outside a capture needs no action.
    if (!Timer1->isActive()) {
        return;
    }
    // Ends like a force-stop: the blocks already stored stay in their buffer.
    endCapture(texts::q(texts::kLineLost));
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
