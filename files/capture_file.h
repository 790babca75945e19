#pragma once

// The capture file (".ird"): the three channel buffers of 63,489 bytes one after the other, in
// channel order, with no header or trailer: exactly 190,467 bytes.

#include <QIODevice>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

#include "core/channel_buffer.h"

namespace velmoran {

struct CaptureFileResult {
    bool ok = false;
    QString error;        // what went wrong, for logs and the command-line tool
    qint64 bytesRead = 0; // for a load: bytes taken from the file (at most 190,467)
};

// Reads the first 190,467 bytes of `path` into the three buffers, each as one block. Whatever a
// short file does not cover becomes zero. Never creates a file; refuses anything that is not a
// regular file (a directory, a FIFO, a device) before opening it, so it cannot block.
// The whole file is read before any buffer changes: on failure all three are as they were.
CaptureFileResult loadCaptureFile(const QString& path, ChannelBuffer& ch1, ChannelBuffer& ch2,
                                  ChannelBuffer& ch3);

// The reading part of loadCaptureFile, from an open `input`: the three buffers are replaced only
// once everything up to the end of the input (or 190,467 bytes) has been read.
CaptureFileResult readCaptureFile(QIODevice& input, ChannelBuffer& ch1, ChannelBuffer& ch2,
                                  ChannelBuffer& ch3);

// Writes the three buffers to `path` through a temporary file that replaces it only once
// complete: a failed save leaves any existing file as it was, a good one is always 190,467 bytes.
CaptureFileResult saveCaptureFile(const QString& path, const ChannelBuffer& ch1,
                                  const ChannelBuffer& ch2, const ChannelBuffer& ch3);

} // namespace velmoran
