#include "acquisition/mscomm.h"

#include <QMetaObject>
#include <QStringList>

#include <algorithm>
#include <limits>

namespace velmoran {

namespace {

// Bytes read from the front of the receive buffer before it is shifted down.
constexpr qsizetype kCompactAfterBytes = 64 * 1024;

} // namespace

LineSettings parseSettings(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    const auto bad = [&] { return SerialError(QStringLiteral("无效的串口参数：%1").arg(text)); };
    if (parts.size() != 4) {
        throw bad();
    }
    LineSettings s;
    bool ok = false;
    s.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baudRate <= 0) {
        throw bad();
    }
    const QString parity = parts[1].trimmed().toLower();
    if (parity == "n") {
        s.parity = QSerialPort::NoParity;
    } else if (parity == "e") {
        s.parity = QSerialPort::EvenParity;
    } else if (parity == "o") {
        s.parity = QSerialPort::OddParity;
    } else if (parity == "m") {
        s.parity = QSerialPort::MarkParity;
    } else if (parity == "s") {
        s.parity = QSerialPort::SpaceParity;
    } else {
        throw bad();
    }
    const int data = parts[2].trimmed().toInt(&ok);
    if (!ok || data < 5 || data > 8) {
        throw bad();
    }
    s.dataBits = static_cast<QSerialPort::DataBits>(data);
    const QString stop = parts[3].trimmed();
    if (stop == "1") {
        s.stopBits = QSerialPort::OneStop;
    } else if (stop == "1.5") {
        s.stopBits = QSerialPort::OneAndHalfStop;
    } else if (stop == "2") {
        s.stopBits = QSerialPort::TwoStop;
    } else {
        throw bad();
    }
    return s;
}

MSComm::MSComm(PortMap portMap, QObject* parent) : QObject(parent), portMap_(std::move(portMap)) {
    connect(&port_, &QSerialPort::readyRead, this, &MSComm::readAvailable);
    connect(&port_, &QSerialPort::errorOccurred, this, &MSComm::handleError);
}

MSComm::~MSComm() {
    if (port_.isOpen()) {
        port_.close();
    }
}

void MSComm::setCommPort(int16_t port) {
    if (port_.isOpen()) {
        throw SerialError(QStringLiteral("串口已打开，不能更改端口号"));
    }
    // Any number is taken; one that names no port fails when the port is opened.
    commPort_ = port;
}

void MSComm::setSettings(const QString& text) {
    settings_ = parseSettings(text);
    settingsText_ = text;
    if (port_.isOpen()) {
        port_.setBaudRate(settings_.baudRate);
        port_.setParity(settings_.parity);
        port_.setDataBits(settings_.dataBits);
        port_.setStopBits(settings_.stopBits);
    }
}

void MSComm::setRThreshold(int16_t bytes) {
    rThreshold_ = bytes;
    scheduleDispatch();
}

int16_t MSComm::InBufferCount() const {
    return static_cast<int16_t>(
        std::min<qsizetype>(waitingBytes(), std::numeric_limits<int16_t>::max()));
}

void MSComm::setInBufferCount(int16_t count) {
    if (count == 0) {
        if (port_.isOpen()) {
            port_.clear(QSerialPort::Input);
            port_.readAll();
        }
        inBuffer_.clear();
        inBufferHead_ = 0;
        overflowReported_ = false;
    }
}

void MSComm::setOutBufferCount(int16_t count) {
    if (count == 0 && port_.isOpen()) {
        port_.clear(QSerialPort::Output);
    }
}

bool MSComm::PortOpen() const {
    return port_.isOpen();
}

QString MSComm::devicePath() const {
    return portMap_ ? portMap_(commPort_) : QString();
}

void MSComm::setPortOpen(bool open) {
    if (!open) {
        // Closing on purpose also drops a pending report of a lost line: the program has moved on.
        lineLost_ = false;
        if (port_.isOpen()) {
            port_.close();
        }
        return;
    }
    if (port_.isOpen()) {
        return;
    }
    const QString path = devicePath();
    if (path.isEmpty()) {
        throw SerialError(QStringLiteral("串口 %1 不存在").arg(commPort_));
    }
    port_.setPortName(path);
    port_.setBaudRate(settings_.baudRate);
    port_.setParity(settings_.parity);
    port_.setDataBits(settings_.dataBits);
    port_.setStopBits(settings_.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // The control reads without limit: bytes wait in our own buffer, never dropped.
    port_.setReadBufferSize(0);
    if (!port_.open(QIODevice::ReadOnly)) {
        const QString reason = port_.errorString();
        port_.clearError();
        throw SerialError(
            QStringLiteral("无法打开串口 %1（%2）：%3").arg(commPort_).arg(path, reason));
    }
    lineLost_ = false;
    bytesReceived_ = 0;
    scheduleDispatch();
}

QByteArray MSComm::Input() {
    const qsizetype waiting = waitingBytes();
    const qsizetype n = inputLen_ > 0 ? std::min<qsizetype>(inputLen_, waiting) : waiting;
    QByteArray block = inBuffer_.mid(inBufferHead_, n);
    inBufferHead_ += n;
    // Compact now and then rather than shifting the buffer on every read.
    if (inBufferHead_ == inBuffer_.size()) {
        inBuffer_.clear();
        inBufferHead_ = 0;
    } else if (inBufferHead_ > kCompactAfterBytes) {
        inBuffer_.remove(0, inBufferHead_);
        inBufferHead_ = 0;
    }
    if (waitingBytes() <= inBufferSize_) {
        overflowReported_ = false;
    }
    return block;
}

void MSComm::readAvailable() {
    const QByteArray chunk = port_.readAll();
    if (chunk.isEmpty()) {
        return;
    }
    bytesReceived_ += chunk.size();
    inBuffer_.append(chunk);
    if (!overflowReported_ && waitingBytes() > inBufferSize_) {
        overflowReported_ = true;
        QMetaObject::invokeMethod(this, &MSComm::reportOverflow, Qt::QueuedConnection);
    }
    scheduleDispatch();
}

void MSComm::scheduleDispatch() {
    if (dispatchPending_ || !receiving()) {
        return;
    }
    const bool wholeBlock = rThreshold_ > 0 && waitingBytes() >= rThreshold_;
    if (!wholeBlock && !lineLost_) {
        return;
    }
    // One event per block, each delivered on its own so that timer ticks can run in between.
    dispatchPending_ = true;
    QMetaObject::invokeMethod(this, &MSComm::dispatch, Qt::QueuedConnection);
}

void MSComm::dispatch() {
    dispatchPending_ = false;
    if (!receiving()) {
        return;
    }
    const qsizetype before = waitingBytes();
    if (rThreshold_ > 0 && before >= rThreshold_) {
        commEvent_ = comEvReceive;
        Q_EMIT OnComm();
        // More whole blocks may wait. A handler that leaves the bytes waiting gets no new event
        // until more arrive (on a lost line none will: report the loss instead).
        if (waitingBytes() < before) {
            scheduleDispatch();
            return;
        }
    }
    if (lineLost_) {
        lineLost_ = false;
        Q_EMIT PortLost(lostReason_);
    }
}

void MSComm::reportOverflow() {
    if (!receiving()) {
        return;
    }
    commEvent_ = comEventRxOver;
    Q_EMIT OnComm();
}

void MSComm::handleError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) {
        return;
    }
    if (!port_.isOpen()) {
        return;
    }
    // Qt keeps reporting a vanished device until the port is closed: close it at the first
    // report, keeping what was received; the loss is reported once the whole blocks are out.
    lostReason_ = port_.errorString();
    readAvailable();
    port_.close();
    port_.clearError();
    lineLost_ = true;
    scheduleDispatch();
}

} // namespace velmoran
