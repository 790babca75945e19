#pragma once

// One capture at a time: the line it reads, the channel chosen when it started, the blocks
// stored so far, and how it ended (complete, stopped by the user, or the line lost), each said
// by a signal. The window forwards its button's clicks and the line's events here and sets its
// texts from the signals; whoever needs to know whether a capture runs asks here.

#include <QObject>
#include <QString>

#include <cstdint>

#include "core/channel_buffer.h"

namespace velmoran {

class MSComm;

class CaptureSession : public QObject {
    Q_OBJECT
public:
    // `line` is configured by its owner before each start; not owned.
    explicit CaptureSession(MSComm* line, QObject* parent = nullptr);

    bool running() const { return running_; }
    // The channel (1 ... 3) the running capture, or the last one, goes to; 0 before any.
    int channel() const { return channel_; }
    // Bytes the running (or last) capture has stored: the next write position.
    int32_t storedBytes() const { return stored_; }

    // Opens the line and starts a capture into `target`, the buffer of channel `channel`
    // (nullptr: the blocks are counted, not kept). Throws SerialError, with nothing started, when
    // the line cannot be opened; does nothing while a capture runs.
    void start(int channel, ChannelBuffer* target);
    // The user ends the running capture: the line closes, the blocks stored stay.
    void stop();
    // The whole program ends: a running capture is abandoned without a word.
    void abandon();
    // The line has a block waiting (its receive event): stores it, and ends the capture when it
    // was the last one.
    void receive();
    // The line was lost (unplugged, closed by the system): a running capture ends.
    void loseLine(const QString& reason);

Q_SIGNALS:
    // A capture into `channel` runs: the line is open.
    void started(int channel);
    // A block has been stored: `storedBytes` bytes of the capture into `channel` so far.
    void blockStored(int channel, int32_t storedBytes);
    // The capture stored its last block; the line is closed.
    void completed(int channel);
    // The user stopped the capture; the line is closed.
    void stopped(int channel);
    // The line was lost during the capture.
    void lineLost(int channel, const QString& reason);
    // After started, completed, stopped or lineLost.
    void runningChanged(bool running);

private:
    void finish();

    MSComm* line_;
    ChannelBuffer* target_ = nullptr;
    int channel_ = 0;
    int32_t stored_ = 0;
    bool running_ = false;
};

} // namespace velmoran
