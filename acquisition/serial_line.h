#pragma once

// One serial line opened for reading, as the serial control needs it: raw, no flow control,
// never transmitting, the program's alone while open. On Linux and the other POSIX systems the
// line owns its descriptor: it opens the device itself, sets the line format with termios, holds
// it with TIOCEXCL and a UUCP lock file of its own, and watches it with a notifier that it can
// pause while the control reads on a timer. Elsewhere it reads through QSerialPort, which
// cannot pause its watch: every byte is then read as it comes.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <optional>

#if defined(Q_OS_UNIX) && !defined(VELMORAN_SERIAL_LINE_QT)
#define VELMORAN_SERIAL_LINE_POSIX 1
#endif

class QSocketNotifier;
#ifdef VELMORAN_SERIAL_LINE_POSIX
struct termios;
#endif

namespace velmoran {

// The line format parsed from a text such as "57600,n,8,1".
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Why a line did not open.
struct LineOpenFailure {
    QString reason; // the system's words
    bool busy = false;
    qint64 holderPid = 0; // the holder when a lock file of a live process names it, else 0
};

// What one read of everything waiting brought.
struct LineRead {
    qsizetype bytes = 0;
    // 0; EAGAIN when the read found nothing at all (woken for bytes another reader was quicker
    // to take); or the errno of a read that failed. Whether the device is gone is for gone().
    int error = 0;
};

#ifdef VELMORAN_SERIAL_LINE_POSIX
// Makes `tio` raw with `settings`: no flow control, no echo, reads that return at once with what
// is there. Returns 0, or EINVAL when termios cannot express the settings (a rate it has no
// name for, one and a half stop bits).
int lineTermios(termios& tio, const LineSettings& settings);
#endif

class SerialLine : public QObject {
    Q_OBJECT
public:
    explicit SerialLine(QObject* parent = nullptr);
    ~SerialLine() override;

    // Opens `path` read-only with `settings`, writing a lock file into the first of
    // `lockFolders` that takes one, and discards what was queued before; nothing when it opened.
    std::optional<LineOpenFailure> open(const QString& path, const LineSettings& settings,
                                        const QStringList& lockFolders);
    // Closes the line and removes its lock file.
    void close();
    bool isOpen() const;
    // Changes the line format of the open line; false when the line refuses it.
    bool apply(const LineSettings& settings);
    // Discards what is queued to be read (and, for `output`, to be sent).
    void discard(bool output);

    // Bytes received and still queued below the program.
    qsizetype queued() const;
    // Appends everything waiting to `into`.
    LineRead readAll(QByteArray& into);
    // True when the open device is gone (unplugged, hung up) rather than failing for a moment.
    bool gone() const;
    // The text for the last failure.
    QString errorText(int error) const;

    // Whether the line can stop watching its descriptor (it then reads only when asked).
    bool canPause() const;
    // Watches the line (readyRead as bytes come) or stops watching it.
    void setWatching(bool watching);

Q_SIGNALS:
    // Bytes came, or the line hung up: read it.
    void readyRead();

private:
#ifdef VELMORAN_SERIAL_LINE_POSIX
    int fd_ = -1;
    QSocketNotifier* watch_ = nullptr;
    QString lockFile_;
#else
    QSerialPort port_;
#endif
};

} // namespace velmoran
