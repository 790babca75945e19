#include "acquisition/mscomm.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "acquisition/port_lock.h"
#include "acquisition/read_pacing.h"

namespace velmoran {

namespace {

// Bytes read from the front of the receive buffer before it is shifted down.
constexpr qsizetype kCompactAfterBytes = 64 * 1024;

// Where programs put UUCP lock files on the systems we know.
constexpr const char* kLockFolders[] = {"/var/lock",        "/run/lock",       "/var/spool/lock",
                                        "/var/spool/locks", "/var/spool/uucp", "/etc/locks"};

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
    connect(&line_, &SerialLine::readyRead, this, &MSComm::readAvailable);
    readTimer_.setSingleShot(true);
    connect(&readTimer_, &QTimer::timeout, this, &MSComm::readPaced);
}

QStringList MSComm::systemLockDirectories() {
    QStringList folders;
    QStringList seen;
    for (const char* folder : kLockFolders) {
        const QString canonical = QFileInfo(QString::fromLatin1(folder)).canonicalFilePath();
        if (!canonical.isEmpty() && QFileInfo(canonical).isDir() && !seen.contains(canonical)) {
            seen << canonical;
            folders << QString::fromLatin1(folder);
        }
    }
    return folders;
}

MSComm::~MSComm() = default;

void MSComm::setCommPort(int16_t port) {
    if (line_.isOpen()) {
        throw SerialError(QStringLiteral("串口已打开，不能更改端口号"));
    }
    // Any number is taken; one that names no port fails when the port is opened.
    commPort_ = port;
}

void MSComm::setSettings(const QString& text) {
    settings_ = parseSettings(text);
    settingsText_ = text;
    if (line_.isOpen() && !line_.apply(settings_)) {
        throw SerialError(QStringLiteral("串口不支持该参数：%1").arg(text));
    }
}

void MSComm::setRThreshold(int16_t bytes) {
    rThreshold_ = bytes;
    updateReading();
    scheduleDispatch();
}

int16_t MSComm::InBufferCount() const {
    return static_cast<int16_t>(
        std::min<qsizetype>(waitingBytes() + line_.queued(), std::numeric_limits<int16_t>::max()));
}

qint64 MSComm::bytesReceived() const {
    return bytesReceived_ + heldBack();
}

qsizetype MSComm::fewestBytesRead() const {
    return static_cast<qsizetype>(velmoran::fewestBytesRead(rThreshold_, waitingBytes()));
}

qsizetype MSComm::heldBack() const {
    const qsizetype queued = line_.queued();
    return queued < fewestBytesRead() ? queued : 0;
}

void MSComm::setInBufferCount(int16_t count) {
    if (count == 0) {
        line_.discard(false);
        inBuffer_.clear();
        inBufferHead_ = 0;
        overflowReported_ = false;
        updateReading();
    }
}

void MSComm::setOutBufferCount(int16_t count) {
    if (count == 0) {
        line_.discard(true);
    }
}

bool MSComm::PortOpen() const {
    return line_.isOpen();
}

QString MSComm::devicePath() const {
    return portMap_ ? portMap_(commPort_) : QString();
}

void MSComm::setPortOpen(bool open) {
    if (!open) {
        // Closing on purpose also drops a pending report of a lost line: the program has moved on.
        lineLost_ = false;
        readTimer_.stop();
        line_.close();
        return;
    }
    if (line_.isOpen()) {
        return;
    }
    const QString path = devicePath();
    if (path.isEmpty()) {
        throw SerialError(QStringLiteral("串口 %1 不存在").arg(commPort_));
    }
    refuseIfLocked(path);
    if (const auto failure = line_.open(path, settings_, lockDirectories())) {
        if (failure->busy) {
            throw SerialError(portBusyText(commPort_, path, failure->holderPid));
        }
        throw SerialError(
            QStringLiteral("无法打开串口 %1（%2）：%3").arg(commPort_).arg(path, failure->reason));
    }
    lineLost_ = false;
    bytesReceived_ = 0;
    transientReadErrors_ = 0;
    sinceFirstBytes_.invalidate();
    bytesBeforeRate_ = 0;
    lastReadBytes_ = 0;
    idleDelayMs_ = kMinReadDelayMs;
    updateReading();
    scheduleDispatch();
}

void MSComm::refuseIfLocked(const QString& path) const {
    // Looked for in every lock folder, not only the one our own lock goes into.
    if (const auto lock = livePortLock(path, lockDirectories())) {
        if (!lock->unusable.isEmpty()) {
            throw SerialError(portLockUnusableText(commPort_, path, lock->file, lock->unusable));
        }
        throw SerialError(portBusyText(commPort_, path, lock->pid));
    }
}

QByteArray MSComm::Input() {
    if (inputLen_ <= 0 || waitingBytes() < inputLen_) {
        drainKernel(); // what InBufferCount counted must be there to take
    }
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
    updateReading();
    return block;
}

void MSComm::readAvailable() {
    const LineRead read = drainKernel();
    // The watch also wakes for a hang-up, and keeps waking until the line is closed.
    if (line_.isOpen() && line_.gone()) {
        loseLine(line_.errorText(read.error));
        return;
    }
    if (read.error != 0) {
        // Woken for bytes that another reader was quicker to take (EAGAIN), or a read that
        // failed for a moment: the line is still there.
        ++transientReadErrors_;
    }
    updateReading();
}

LineRead MSComm::drainKernel() {
    const LineRead read = line_.readAll(inBuffer_);
    if (read.bytes > 0) {
        bytesReceived_ += read.bytes;
        // A whole block that arrived with the overflow is handed out before the overflow report.
        scheduleDispatch();
        if (!overflowReported_ && waitingBytes() > inBufferSize_) {
            overflowReported_ = true;
            QMetaObject::invokeMethod(this, &MSComm::reportOverflow, Qt::QueuedConnection);
        }
    }
    return read;
}

void MSComm::readPaced() {
    const qsizetype queued = line_.queued();
    if (!sinceFirstBytes_.isValid() && queued > 0) {
        sinceFirstBytes_.start();
        bytesBeforeRate_ = bytesReceived_ + queued;
        idleDelayMs_ = kMinReadDelayMs;
    }
    // Fewer bytes than the block still lacks (255 at most, as the old control's wake-up) stay in
    // the kernel: they cannot make a block whole, and a stray chunk that a line's far end is
    // about to discard (the board emulator writes fewer than 255 bytes at a time to a reader
    // that may have reopened the port) is never taken.
    const qint64 before = bytesReceived_;
    const LineRead read = queued >= fewestBytesRead() ? drainKernel() : LineRead{};
    lastReadBytes_ = bytesReceived_ - before;
    // Nobody watches the port meanwhile, so a hang-up is looked for here.
    if (line_.isOpen() && line_.gone()) {
        loseLine(line_.errorText(read.error));
        return;
    }
    // A read that found nothing (EAGAIN) is what a paced read expects now and then.
    if (read.error != 0 && read.error != EAGAIN) {
        ++transientReadErrors_;
    }
    updateReading();
}

void MSComm::updateReading() {
    if (!line_.isOpen()) {
        readTimer_.stop();
        return;
    }
    if (rThreshold_ <= 0 || !line_.canPause()) {
        // Every byte as it comes (a line that cannot stop watching reads that way too).
        line_.setWatching(true);
        readTimer_.stop();
        return;
    }
    line_.setWatching(false);
    const int delay = nextReadDelayMs();
    ticksBeforeRead_ = -1;
    if (companion_ != nullptr && companion_->isActive() && rateKnown()) {
        const int remaining = companion_->remainingTime();
        const int interval = companion_->interval();
        if (remaining >= 0) {
            ticksBeforeRead_ = ticksBeforeRead(delay, remaining, interval);
            // Should the companion stop meanwhile, the read still comes, a tick later.
            readTimer_.start(remaining + (ticksBeforeRead_ + 1) * interval);
            return;
        }
    }
    readTimer_.start(delay);
}

bool MSComm::rateKnown() const {
    return sinceFirstBytes_.isValid() && sinceFirstBytes_.elapsed() >= kRateSpanMs;
}

void MSComm::setCompanionTimer(const QTimer* timer) {
    if (companion_ != nullptr) {
        disconnect(companion_, nullptr, this, nullptr);
    }
    companion_ = timer;
    ticksBeforeRead_ = -1;
    if (timer != nullptr) {
        connect(timer, &QTimer::timeout, this, &MSComm::companionTick);
    }
}

void MSComm::companionTick() {
    if (ticksBeforeRead_ < 0 || !readTimer_.isActive()) {
        return;
    }
    if (ticksBeforeRead_-- == 0) {
        readTimer_.stop();
        readPaced();
    }
}

int MSComm::nextReadDelayMs() {
    ReadPace pace;
    pace.bytesSeen = sinceFirstBytes_.isValid();
    if (pace.bytesSeen) {
        pace.spanMs = sinceFirstBytes_.elapsed();
        pace.lastReadBytes = lastReadBytes_;
    }
    if (pace.bytesSeen && pace.spanMs >= kRateSpanMs) {
        // The kernel is asked only once the rate counts.
        const qsizetype queued = line_.queued();
        pace.bytesSince = bytesReceived_ + queued - bytesBeforeRate_;
        pace.lacking = rThreshold_ - (waitingBytes() + queued) % rThreshold_;
    }
    return velmoran::nextReadDelayMs(pace, idleDelayMs_);
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

void MSComm::loseLine(const QString& reason) {
    lostReason_ = reason;
    drainKernel();
    readTimer_.stop();
    line_.close();
    lineLost_ = true;
    scheduleDispatch();
}

} // namespace velmoran
