#pragma once

// MSComm1: the serial control. It owns a receive buffer of its own, fed from the port as bytes
// arrive, and raises OnComm with CommEvent 2 on the user-interface thread once for each whole
// block of RThreshold waiting bytes. It never transmits and sets no flow control.
//
// The receive buffer never drops a byte: however late the user-interface thread gets round to
// the events, every byte waits until Input takes it. Each time the waiting count goes past
// InBufferSize, OnComm is raised once with CommEvent 1008 (receive buffer past its size), as
// the old control did, but nothing is lost.
//
// When the line goes away while the port is open (a USB adapter pulled out), the port is closed
// at once; the whole blocks already received are still handed out through OnComm, and then
// PortLost is raised. Only a device that is gone (EIO, ENXIO, ENODEV, a hang-up) counts: a read
// that fails for a moment (EAGAIN, EINTR) is retried.
//
// A port another program holds is not taken: a live UUCP lock file (ASCII or binary process id)
// makes opening fail with a message naming the device and the holder, and an open port is held
// for exclusive use (TIOCEXCL). Input queued before the opening is discarded.
//
// While a receive threshold is set, the kernel wakes the program only once the bytes still
// missing from the current block have arrived, 255 at most (termios VMIN with VTIME 0), not for
// every burst of a few bytes. Bytes the threshold holds in the kernel count as waiting all the
// same (the monitor's rate sees every byte) and Input takes them.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>

#include <cstdint>
#include <optional>

#include "acquisition/port_map.h"
#include "acquisition/serial_error.h"

namespace velmoran {

// The line format parsed from a text such as "57600,n,8,1".
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Parses "baud,parity,data,stop"; throws SerialError on anything else.
LineSettings parseSettings(const QString& text);

class MSComm : public QObject {
    Q_OBJECT
public:
    static constexpr int16_t comEvReceive = 2;
    static constexpr int16_t comEventRxOver = 1008;
    static constexpr int16_t comInputModeBinary = 1;

    explicit MSComm(PortMap portMap = platformPortMap(), QObject* parent = nullptr);
    ~MSComm() override;

    int16_t CommPort() const { return commPort_; }
    // Throws SerialError while the port is open.
    void setCommPort(int16_t port);
    QString Settings() const { return settingsText_; }
    void setSettings(const QString& text);
    int16_t RThreshold() const { return rThreshold_; }
    void setRThreshold(int16_t bytes);
    int16_t SThreshold() const { return sThreshold_; }
    void setSThreshold(int16_t bytes) { sThreshold_ = bytes; }
    int InBufferSize() const { return inBufferSize_; }
    void setInBufferSize(int bytes) { inBufferSize_ = bytes; }
    // Bytes waiting, those the wake threshold holds in the kernel included; counts past 32,767
    // read as 32,767 rather than wrapping.
    int16_t InBufferCount() const;
    // Writing 0 discards the waiting bytes.
    void setInBufferCount(int16_t count);
    int16_t OutBufferCount() const { return 0; }
    void setOutBufferCount(int16_t count);
    int16_t InputMode() const { return inputMode_; }
    void setInputMode(int16_t mode) { inputMode_ = mode; }
    int16_t InputLen() const { return inputLen_; }
    void setInputLen(int16_t bytes) { inputLen_ = bytes; }
    bool PortOpen() const;
    // Opens or closes the port; throws SerialError when it cannot be opened.
    void setPortOpen(bool open);
    // Removes and returns up to InputLen waiting bytes (all of them when InputLen is 0).
    QByteArray Input();
    int16_t CommEvent() const { return commEvent_; }

    // The device path the current CommPort maps to (empty when there is none).
    QString devicePath() const;
    // Every byte received since the port was opened, waiting or read.
    qint64 bytesReceived() const;
    // Reads that failed for a moment (EAGAIN) and were retried, since the port was opened.
    int transientReadErrors() const { return transientReadErrors_; }

    // The folders searched for UUCP lock files (LCK..name) before opening: the system's, looked
    // up when the port opens, unless set.
    static QStringList systemLockDirectories();
    QStringList lockDirectories() const {
        return lockDirectories_ ? *lockDirectories_ : systemLockDirectories();
    }
    void setLockDirectories(const QStringList& folders) { lockDirectories_ = folders; }

Q_SIGNALS:
    void OnComm();
    // The line went away while open (a USB adapter pulled out); the port has been closed and
    // every whole block received before has been handed out. Not raised when the program
    // closes the port itself before the report is due.
    void PortLost(const QString& message);

private:
    qsizetype waitingBytes() const { return inBuffer_.size() - inBufferHead_; }
    // Open, or closed by a lost line with received bytes still to hand out.
    bool receiving() const { return port_.isOpen() || lineLost_; }
    void readAvailable();
    // Bytes queued in the kernel below the wake threshold: received, but no wake-up is due.
    qsizetype heldBack() const;
    // Moves every byte the kernel holds into the receive buffer.
    void drainKernel();
    // Sets VMIN to the bytes the current block still lacks (at most 255).
    void updateWakeThreshold();
    // Throws SerialError when a live lock file says another program holds `path`.
    void refuseIfLocked(const QString& path) const;
    // True when the open device is gone rather than failing for a moment.
    bool deviceGone() const;
    void scheduleDispatch();
    void dispatch();
    void reportOverflow();
    void handleError(QSerialPort::SerialPortError error);

    PortMap portMap_;
    QSerialPort port_;
    QByteArray inBuffer_;
    qsizetype inBufferHead_ = 0; // bytes already read from the front of inBuffer_
    QString settingsText_ = QStringLiteral("9600,n,8,1");
    LineSettings settings_;
    int16_t commPort_ = 1;
    int16_t rThreshold_ = 0;
    int16_t sThreshold_ = 0;
    int inBufferSize_ = 1024;
    int16_t inputMode_ = 0;
    int16_t inputLen_ = 0;
    int16_t commEvent_ = 0;
    bool dispatchPending_ = false;
    bool overflowReported_ = false; // until the waiting count is back within InBufferSize
    bool lineLost_ = false;
    QString lostReason_;
    qint64 bytesReceived_ = 0;
    int transientReadErrors_ = 0;
    int wakeThreshold_ = -1; // the VMIN last set on the open port (-1: not set yet)
    std::optional<QStringList> lockDirectories_;
};

} // namespace velmoran
