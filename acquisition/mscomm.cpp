#include "acquisition/mscomm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "acquisition/port_lock.h"
#include "acquisition/read_pacing.h"

namespace velmoran {

namespace {

// Bytes read from the front of the receive buffer before it is shifted down.
constexpr qsizetype kCompactAfterBytes = 64 * 1024;

// Where programs put UUCP lock files on the systems we know.
constexpr const char* kLockFolders[] = {"/var/lock",        "/run/lock",       "/var/spool/lock",
                                        "/var/spool/locks", "/var/spool/uucp", "/etc/locks"};

// True when opening `path` fails because another program holds it for exclusive use.
bool openRefusedAsBusy(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return errno == EBUSY;
    }
    ::close(fd);
    return false;
}

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
    updateReading();
    scheduleDispatch();
}

int16_t MSComm::InBufferCount() const {
    return static_cast<int16_t>(std::min<qsizetype>(waitingBytes() + queuedInKernel(),
                                                    std::numeric_limits<int16_t>::max()));
}

qint64 MSComm::bytesReceived() const {
    return bytesReceived_ + heldBack();
}

qsizetype MSComm::fewestBytesRead() const {
    return static_cast<qsizetype>(velmoran::fewestBytesRead(rThreshold_, waitingBytes()));
}

qsizetype MSComm::heldBack() const {
    const qsizetype queued = queuedInKernel();
    return queued < fewestBytesRead() ? queued : 0;
}

qsizetype MSComm::queuedInKernel() const {
    if (!port_.isOpen()) {
        return 0;
    }
    int queued = 0;
    if (::ioctl(port_.handle(), FIONREAD, &queued) != 0) {
        return 0;
    }
    return queued;
}

void MSComm::setInBufferCount(int16_t count) {
    if (count == 0) {
        if (port_.isOpen()) {
            // Qt's buffer and the kernel's both.
            port_.clear(QSerialPort::Input);
        }
        inBuffer_.clear();
        inBufferHead_ = 0;
        overflowReported_ = false;
        updateReading();
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
        readTimer_.stop();
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
    refuseIfLocked(path);
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
        if (openRefusedAsBusy(path)) {
            throw SerialError(portBusyText(commPort_, path, 0));
        }
        throw SerialError(
            QStringLiteral("无法打开串口 %1（%2）：%3").arg(commPort_).arg(path, reason));
    }
    // Ours alone while open: another program's opening fails with EBUSY.
    ::ioctl(port_.handle(), TIOCEXCL);
    // Bytes queued before the opening belong to no capture of ours.
    port_.clear(QSerialPort::Input);
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
    // Qt takes a lock file it did not write for a stale one and deletes it; a live holder's lock
    // is honoured here before Qt ever looks.
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
    drainKernel();
    updateReading();
}

int MSComm::drainKernel() {
    if (!port_.isOpen()) {
        return 0;
    }
    // What Qt's own watch has read already comes first. (Reading through Qt when its buffer is
    // empty would restart that watch.)
    QByteArray chunk =
        port_.bytesAvailable() > 0 ? port_.read(port_.bytesAvailable()) : QByteArray();
    char buf[kDrainChunk];
    int failure = 0;
    for (;;) {
        const ssize_t n = ::read(port_.handle(), buf, sizeof buf);
        if (n > 0) {
            chunk.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // Nothing more for now (0 or EAGAIN, as the port's VMIN and VTIME are 0), or an error:
        // the caller decides whether the device is gone.
        if (n < 0 && errno != EAGAIN) {
            failure = errno;
        }
        break;
    }
    if (!chunk.isEmpty()) {
        bytesReceived_ += chunk.size();
        inBuffer_.append(chunk);
        // A whole block that arrived with the overflow is handed out before the overflow report.
        scheduleDispatch();
        if (!overflowReported_ && waitingBytes() > inBufferSize_) {
            overflowReported_ = true;
            QMetaObject::invokeMethod(this, &MSComm::reportOverflow, Qt::QueuedConnection);
        }
    }
    return failure;
}

void MSComm::readPaced() {
    const qsizetype queued = queuedInKernel();
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
    const int failure = queued >= fewestBytesRead() ? drainKernel() : 0;
    lastReadBytes_ = bytesReceived_ - before;
    // Nobody watches the port meanwhile, so a hang-up is looked for here.
    if (port_.isOpen() && deviceGone()) {
        loseLine(qt_error_string(failure != 0 ? failure : EIO));
        return;
    }
    if (failure != 0) {
        ++transientReadErrors_;
    }
    updateReading();
}

QSocketNotifier* MSComm::portWatch() const {
    // QSerialPort keeps its watch as a child notifier on the descriptor.
    const auto children = port_.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier* watch : children) {
        if (watch->type() == QSocketNotifier::Read && watch->socket() == port_.handle()) {
            return watch;
        }
    }
    return nullptr;
}

void MSComm::updateReading() {
    if (!port_.isOpen()) {
        readTimer_.stop();
        return;
    }
    QSocketNotifier* watch = portWatch();
    if (rThreshold_ <= 0 || watch == nullptr) {
        // Every byte as it comes (a Qt without a watch of its own to pause reads that way too).
        if (watch != nullptr) {
            watch->setEnabled(true);
        }
        readTimer_.stop();
        return;
    }
    watch->setEnabled(false);
    readTimer_.start(nextReadDelayMs());
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
        const qsizetype queued = queuedInKernel();
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

void MSComm::handleError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) {
        return;
    }
    if (!port_.isOpen()) {
        return;
    }
    if (!deviceGone()) {
        // A read that failed for a moment (EAGAIN: another reader was quicker). Qt stops
        // watching the port after it; reading from the port again restarts the watch.
        ++transientReadErrors_;
        port_.clearError();
        QMetaObject::invokeMethod(this, &MSComm::readAvailable, Qt::QueuedConnection);
        return;
    }
    // Qt keeps reporting a vanished device until the port is closed: close it at the first
    // report.
    loseLine(port_.errorString());
}

void MSComm::loseLine(const QString& reason) {
    lostReason_ = reason;
    drainKernel();
    readTimer_.stop();
    port_.close();
    port_.clearError();
    lineLost_ = true;
    scheduleDispatch();
}

bool MSComm::deviceGone() const {
    const int fd = port_.handle();
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return true; // hung up: a USB adapter pulled out, the far end of a pseudo-terminal closed
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF;
    }
    return false;
}

} // namespace velmoran
