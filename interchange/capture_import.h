#pragma once

// Captures made by other tools, read into one channel: LIRC mode2 text ("pulse N" / "space N"
// lines as mode2 and irsimsend write them, or bare numbers, a pulse first), learned Pronto hex
// codes, the CSV of edges and the one-signal VCD that our exports write, and sigrok sessions
// (.sr). Every time is quantised to the board's 40.1474 µs samples; an infrared mark (a mode2
// pulse, a Pronto on-time) is the line low, as the receiver's output is active low. What does
// not fit one channel (several signals, a change past 20.39 s, malformed text) is refused with
// the file and, where one applies, the line.

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

#include "core/channel_buffer.h"
#include "core/channel_levels.h"

namespace velmoran::interchange {

enum class ImportFormat { Mode2, Pronto, Csv, Vcd, Sigrok };

struct ImportFormatInfo {
    ImportFormat format;
    const char* name; // on the command line
};

inline constexpr std::array<ImportFormatInfo, 5> kImportFormats{{
    {ImportFormat::Mode2, "mode2"},
    {ImportFormat::Pronto, "pronto"},
    {ImportFormat::Csv, "csv"},
    {ImportFormat::Vcd, "vcd"},
    {ImportFormat::Sigrok, "sr"},
}};

// "mode2", "pronto", "csv", "vcd" or "sr"; nothing for any other name.
std::optional<ImportFormat> importFormatFromName(const QString& name);

// The format the bytes are written in, told from their content: a zip archive is a sigrok
// session, a text opening with a '$' keyword a VCD, one whose first line is our CSV's header a
// CSV, one whose first word is a learned Pronto code's 0000 a Pronto code; anything else is
// read as mode2.
ImportFormat guessImportFormat(const QByteArray& bytes);

// The most bytes a file to import may have (a sigrok session of a fast logic analyser is the
// largest kind).
inline constexpr qint64 kImportMostBytes = qint64{256} * 1024 * 1024;

// A recording shorter than a capture whose first level is a mark starts after this much idle
// line (high), so that the mark's leading edge is seen: as long as the decoders' gap between
// frames. The same idle leads a Pronto code in, and stands for mode2's "space 16777215" (LIRC's
// "longer than it can count") at a recording's start.
inline constexpr double kImportLeadInUs = 20000.0;

struct ImportedCapture {
    std::optional<ChannelLevels> line; // the capture's line when read
    QString error;                     // else why not: "FILE:LINE: reason" or "FILE: reason"
};

// Reads `bytes` (named `fileName` in messages) in `format`, or in the format guessed from them.
ImportedCapture importCapture(const QByteArray& bytes, const QString& fileName,
                              std::optional<ImportFormat> format = std::nullopt);

// Reads the regular file `path` (at most kImportMostBytes; never a FIFO or a device, which
// could block or never end) as above.
ImportedCapture importCaptureFile(const QString& path,
                                  std::optional<ImportFormat> format = std::nullopt);

// The channel buffer of a line: eight samples per byte, the earliest in bit 7, high as 1; the
// byte after the capture's 63,488 is zero.
ChannelBuffer channelBufferOf(const ChannelLevels& line);

} // namespace velmoran::interchange
