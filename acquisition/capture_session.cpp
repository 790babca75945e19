#include "acquisition/capture_session.h"

#include <span>

#include "acquisition/block_receiver.h"
#include "acquisition/mscomm.h"

namespace velmoran {

CaptureSession::CaptureSession(MSComm* line, QObject* parent) : QObject(parent), line_(line) {}

void CaptureSession::start(int channel, ChannelBuffer* target) {
    if (running_) {
        return;
    }
    stored_ = 0;
    line_->setPortOpen(true); // throws when the line cannot be opened: nothing has started
    target_ = target;
    channel_ = channel;
    running_ = true;
    Q_EMIT started(channel_);
    Q_EMIT runningChanged(true);
}

void CaptureSession::finish() {
    running_ = false;
    line_->setPortOpen(false);
}

void CaptureSession::stop() {
    if (!running_) {
        return;
    }
    finish();
    Q_EMIT stopped(channel_);
    Q_EMIT runningChanged(false);
}

void CaptureSession::abandon() {
    running_ = false;
    line_->setPortOpen(false);
}

void CaptureSession::receive() {
    if (!running_ || line_->CommEvent() != MSComm::comEvReceive) {
        return;
    }
    // The line raises the event only for a whole block; should one ever be short, the bytes
    // stay waiting for the next event rather than being copied short.
    if (line_->InBufferCount() < kBlockBytes) {
        return;
    }
    const QByteArray block = line_->Input();
    storeBlock(target_, stored_,
               std::span(reinterpret_cast<const uint8_t*>(block.constData()),
                         static_cast<std::size_t>(block.size())));
    Q_EMIT blockStored(channel_, stored_);
    if (!captureComplete(stored_)) {
        return;
    }
    finish();
    Q_EMIT completed(channel_);
    Q_EMIT runningChanged(false);
}

void CaptureSession::loseLine(const QString& reason) {
    // A loss outside a capture needs no action.
    if (!running_) {
        return;
    }
    finish();
    Q_EMIT lineLost(channel_, reason);
    Q_EMIT runningChanged(false);
}

} // namespace velmoran
