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
// makes opening fail with a message naming the device and the holder. The line itself
// (acquisition/serial_line.h) holds an open port for exclusive use, with TIOCEXCL and a lock
// file of its own, and discards input queued before the opening.
//
// While a receive threshold is set, the port is not watched: a sampler's line brings a burst of a
// few bytes every few milliseconds, and waking for each costs more than the rest of a capture.
// The control reads on a timer instead, due when the current block should be whole at the rate
// the bytes have come so far (at least 1 ms, at most 400 ms away), and takes the bytes only when
// at least what the block lacks (255 at most) are there. Bytes still in the kernel count as
// waiting all the same (the monitor's rate sees every byte) and Input takes them. A line
// that goes away is noticed at the next read; what the kernel still held goes with the device
// (its hang-up discards it), but as the read falls due just after a block is whole, that is the
// unfinished block a capture would not keep anyway. Without a threshold every byte is read as it
// comes.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>

#include "acquisition/port_map.h"
#include "acquisition/serial_error.h"
#include "acquisition/serial_line.h"

namespace velmoran {

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
    // Bytes waiting, those still queued in the kernel included; counts past 32,767
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
    // Every byte received since the port was opened, waiting or read. Bytes still in the kernel
    // count while they are too few to be read (see fewestBytesRead), else once they are read.
    qint64 bytesReceived() const;
    // Reads that failed for a moment (EAGAIN) and were retried, since the port was opened.
    int transientReadErrors() const { return transientReadErrors_; }
    // A timer of the owner's that wakes the program anyway while the bytes come (a monitor's
    // tick). While it runs, a timed read that is due once the rate is known waits for its next
    // timeout instead of waking the program on its own; nullptr for none.
    void setCompanionTimer(const QTimer* timer);

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
    bool receiving() const { return line_.isOpen() || lineLost_; }
    void readAvailable();
    // The fewest bytes a timed read takes from the kernel: what the current block lacks, 255 at
    // most (1 without a threshold).
    qsizetype fewestBytesRead() const;
    // Queued bytes too few to be read yet.
    qsizetype heldBack() const;
    // Moves every byte the kernel holds into the receive buffer.
    LineRead drainKernel();
    // The timed read while a threshold is set.
    void readPaced();
    // Watches the port, or (with a threshold) arms the timed read for when the block is due.
    void updateReading();
    // A timeout of the companion timer: the timed read, when it is due at this one.
    void companionTick();
    bool rateKnown() const;
    // Milliseconds until the current block should be whole, at the rate seen since the first
    // bytes; while no rate is known yet, a delay that doubles from read to read.
    int nextReadDelayMs();
    // Closes the port, keeping what was received; the loss is reported once the blocks are out.
    void loseLine(const QString& reason);
    // Throws SerialError when a live lock file says another program holds `path`.
    void refuseIfLocked(const QString& path) const;
    void scheduleDispatch();
    void dispatch();
    void reportOverflow();

    PortMap portMap_;
    SerialLine line_;
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
    QTimer readTimer_;
    const QTimer* companion_ = nullptr;
    int ticksBeforeRead_ = -1; // companion timeouts to let pass before reading; -1: none awaited
    QElapsedTimer sinceFirstBytes_; // started when a timed read first finds bytes
    qint64 bytesBeforeRate_ = 0;    // the bytes found then (they came before the clock)
    qint64 lastReadBytes_ = 0;      // what the last timed read took
    int idleDelayMs_ = 1;           // the next delay while no rate is known
    std::optional<QStringList> lockDirectories_;
};

} // namespace velmoran
