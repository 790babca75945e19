#include "acquisition/serial_line.h"

#ifdef VELMORAN_SERIAL_LINE_POSIX

#include "acquisition/port_lock.h"
#include "acquisition/read_pacing.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace velmoran {

namespace {

struct BaudCode {
    qint32 baud;
    speed_t code;
};

// The rates termios names; another rate is refused as the line cannot be set to it.
constexpr BaudCode kBaudCodes[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

std::optional<speed_t> baudCode(qint32 baud) {
    for (const BaudCode& b : kBaudCodes) {
        if (b.baud == baud) {
            return b.code;
        }
    }
    return std::nullopt;
}

} // namespace

int lineTermios(termios& tio, const LineSettings& settings) {
    const auto speed = baudCode(settings.baudRate);
    if (!speed) {
        return EINVAL;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    switch (settings.dataBits) {
    case QSerialPort::Data5:
        tio.c_cflag |= CS5;
        break;
    case QSerialPort::Data6:
        tio.c_cflag |= CS6;
        break;
    case QSerialPort::Data7:
        tio.c_cflag |= CS7;
        break;
    case QSerialPort::Data8:
        tio.c_cflag |= CS8;
        break;
    }
    switch (settings.parity) {
    case QSerialPort::NoParity:
        break;
    case QSerialPort::EvenParity:
        tio.c_cflag |= PARENB;
        break;
    case QSerialPort::OddParity:
        tio.c_cflag |= PARENB | PARODD;
        break;
#ifdef CMSPAR
    case QSerialPort::MarkParity:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case QSerialPort::SpaceParity:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
#endif
    default:
        return EINVAL;
    }
    switch (settings.stopBits) {
    case QSerialPort::OneStop:
        break;
    case QSerialPort::TwoStop:
        tio.c_cflag |= CSTOPB;
        break;
    default:
        return EINVAL; // one and a half stop bits: no POSIX line sets them
    }
    if (settings.parity != QSerialPort::NoParity) {
        tio.c_iflag |= INPCK;
    }
    // A read returns at once with what is there.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, *speed);
    ::cfsetospeed(&tio, *speed);
    return 0;
}

namespace {

int setLine(int fd, const LineSettings& settings) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return errno;
    }
    if (const int bad = lineTermios(tio, settings); bad != 0) {
        return bad;
    }
    return ::tcsetattr(fd, TCSANOW, &tio) == 0 ? 0 : errno;
}

} // namespace

SerialLine::SerialLine(QObject* parent) : QObject(parent) {}

SerialLine::~SerialLine() {
    close();
}

std::optional<LineOpenFailure> SerialLine::open(const QString& path, const LineSettings& settings,
                                                const QStringList& lockFolders) {
    close();
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return LineOpenFailure{qt_error_string(error), error == EBUSY, 0};
    }
    const auto fail = [fd](int error) {
        ::close(fd);
        return LineOpenFailure{qt_error_string(error), error == EBUSY, 0};
    };
    if (!::isatty(fd)) {
        return fail(ENOTTY);
    }
    const PortLockTaking taking = takePortLock(path, lockFolders);
    if (taking.heldBy) {
        ::close(fd);
        return LineOpenFailure{qt_error_string(EBUSY), true, taking.heldBy->pid};
    }
    // Ours alone while open: another program's opening fails with EBUSY.
    int error = ::ioctl(fd, TIOCEXCL) == 0 ? 0 : errno;
    if (error == 0) {
        error = setLine(fd, settings);
    }
    if (error != 0) {
        releasePortLock(taking.file);
        return fail(error);
    }
    // Bytes queued before the opening belong to no capture of ours.
    ::tcflush(fd, TCIFLUSH);
    fd_ = fd;
    lockFile_ = taking.file;
    watch_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(watch_, &QSocketNotifier::activated, this, &SerialLine::readyRead);
    return std::nullopt;
}

void SerialLine::close() {
    if (fd_ < 0) {
        return;
    }
    // Closing may come from the watch's own signal (a hang-up): it goes once that is over.
    watch_->setEnabled(false);
    watch_->deleteLater();
    watch_ = nullptr;
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    releasePortLock(lockFile_);
    lockFile_.clear();
}

bool SerialLine::isOpen() const {
    return fd_ >= 0;
}

bool SerialLine::apply(const LineSettings& settings) {
    return fd_ >= 0 && setLine(fd_, settings) == 0;
}

void SerialLine::discard(bool output) {
    if (fd_ >= 0) {
        ::tcflush(fd_, output ? TCOFLUSH : TCIFLUSH);
    }
}

qsizetype SerialLine::queued() const {
    int queued = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &queued) != 0) {
        return 0;
    }
    return queued;
}

LineRead SerialLine::readAll(QByteArray& into) {
    LineRead r;
    if (fd_ < 0) {
        return r;
    }
    char buf[kDrainChunk];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, n);
            r.bytes += n;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // Nothing more for now: with VMIN and VTIME 0 an empty line reads as 0 bytes (or
        // EAGAIN). A read that finds nothing at all is told apart, as is one that failed.
        if (n < 0 && errno != EAGAIN) {
            r.error = errno;
        } else if (r.bytes == 0) {
            r.error = EAGAIN;
        }
        return r;
    }
}

bool SerialLine::gone() const {
    if (fd_ < 0) {
        return false;
    }
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return true; // hung up: a USB adapter pulled out, the far end of a pseudo-terminal closed
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF;
    }
    return false;
}

QString SerialLine::errorText(int error) const {
    return qt_error_string(error != 0 ? error : EIO);
}

bool SerialLine::canPause() const {
#ifdef VELMORAN_SERIAL_LINE_WATCH
    return false;
#else
    return true;
#endif
}

void SerialLine::setWatching(bool watching) {
    if (watch_ != nullptr) {
        watch_->setEnabled(watching);
    }
}

} // namespace velmoran

#else // QSerialPort, where there is no POSIX descriptor to own

#include <cerrno>

namespace velmoran {

SerialLine::SerialLine(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialLine::readyRead);
    // A vanished device is reported as an error: the control looks at gone() when it reads.
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError) {
            Q_EMIT readyRead();
        }
    });
}

SerialLine::~SerialLine() {
    close();
}

std::optional<LineOpenFailure> SerialLine::open(const QString& path, const LineSettings& settings,
                                                const QStringList& lockFolders) {
    Q_UNUSED(lockFolders); // QSerialPort locks the port the platform's way
    close();
    port_.setPortName(path);
    port_.setBaudRate(settings.baudRate);
    port_.setParity(settings.parity);
    port_.setDataBits(settings.dataBits);
    port_.setStopBits(settings.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // Bytes wait in the control's own buffer, never dropped.
    port_.setReadBufferSize(0);
    if (!port_.open(QIODevice::ReadOnly)) {
        LineOpenFailure failure{port_.errorString(), port_.error() == QSerialPort::PermissionError,
                                0};
        port_.clearError();
        return failure;
    }
    port_.clear(QSerialPort::Input);
    return std::nullopt;
}

void SerialLine::close() {
    if (port_.isOpen()) {
        port_.close();
    }
    port_.clearError();
}

bool SerialLine::isOpen() const {
    return port_.isOpen();
}

bool SerialLine::apply(const LineSettings& settings) {
    return port_.setBaudRate(settings.baudRate) && port_.setParity(settings.parity) &&
           port_.setDataBits(settings.dataBits) && port_.setStopBits(settings.stopBits);
}

void SerialLine::discard(bool output) {
    if (port_.isOpen()) {
        port_.clear(output ? QSerialPort::Output : QSerialPort::Input);
    }
}

qsizetype SerialLine::queued() const {
    return port_.isOpen() ? port_.bytesAvailable() : 0;
}

LineRead SerialLine::readAll(QByteArray& into) {
    LineRead r;
    const QByteArray bytes = port_.readAll();
    into.append(bytes);
    r.bytes = bytes.size();
    if (r.bytes == 0 && port_.error() == QSerialPort::ReadError) {
        r.error = EAGAIN;
        port_.clearError();
    }
    return r;
}

bool SerialLine::gone() const {
    return port_.error() == QSerialPort::ResourceError;
}

QString SerialLine::errorText(int error) const {
    Q_UNUSED(error);
    return port_.errorString();
}

bool SerialLine::canPause() const {
    return false;
}

void SerialLine::setWatching(bool watching) {
    Q_UNUSED(watching);
}

} // namespace velmoran

#endif
