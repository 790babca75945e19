#pragma once

// Writers of a capture's channels in the formats other tools read: value change dump (waveform
// viewers) with a GTKWave save file, sigrok session (PulseView, sigrok-cli), LIRC mode2 text
// (infrared tools) and a CSV of edges. Each returns the whole file's bytes.

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "core/channel_levels.h"
#include "infrared/frame_text.h"
#include "infrared/ir_decoder.h"
#include "infrared/irp/irp_table.h"

namespace velmoran::interchange {

// Lircd, Pronto and C describe the infrared frames decoded in one channel
// (interchange/lircd_export.h, interchange/pronto.h, interchange/c_array.h).
enum class ExportFormat { Vcd, Sigrok, Mode2, Csv, Lircd, Pronto, C };

// What a format is: its name on the command line, its files' usual suffix, and whether it
// describes one channel only (mode2 and the infrared remote definitions do).
struct ExportFormatInfo {
    ExportFormat format;
    const char* name;
    const char* suffix;
    bool oneChannel;
};

inline constexpr std::array<ExportFormatInfo, 7> kExportFormats{{
    {ExportFormat::Vcd, "vcd", "vcd", false},
    {ExportFormat::Sigrok, "sr", "sr", false},
    {ExportFormat::Mode2, "mode2", "mode2", true},
    {ExportFormat::Csv, "csv", "csv", false},
    {ExportFormat::Lircd, "lircd", "lircd.conf", true},
    {ExportFormat::Pronto, "pronto", "txt", true},
    {ExportFormat::C, "c", "c", true},
}};

const ExportFormatInfo& exportFormatInfo(ExportFormat format);

// "vcd", "sr", "mode2", "csv", "lircd", "pronto" or "c"; nothing for any other name.
std::optional<ExportFormat> exportFormatFromName(const QString& name);

struct ExportChannel {
    ExportChannel() = default;
    ExportChannel(int channelNumber, ChannelLevels channelLine,
                  std::optional<std::vector<infrared::IrFrame>> decoded = std::nullopt)
        : number(channelNumber), line(std::move(channelLine)), frames(std::move(decoded)) {}

    int number = 1; // 1, 2 or 3: the channel's name in the output ("CH2")
    ChannelLevels line;
    // Its infrared frames as decoded once for every reader (the window's frames model,
    // velmoran-ird's decoding): what the lircd.conf, Pronto and C exports write. Nothing when
    // the caller has none at hand: exportedFrames then decodes the line.
    std::optional<std::vector<infrared::IrFrame>> frames;
};

// The frames of `line`, channel `number`, as the window's frames model decodes them: every family
// and unknown burst, the bursts the families leave read with `table`'s protocols.
std::vector<infrared::IrFrame> decodeChannelFrames(const ChannelLevels& line, int number,
                                                   const infrared::irp::ProtocolTable& table);

// The channel's frames: those it carries, else its line decoded with the built-in protocols.
std::vector<infrared::IrFrame> exportedFrames(const ExportChannel& channel);

// One frame of each distinct press, in the order sent, with its text: a held key's repeats and a
// frame that says what an earlier one said are left out. What the Pronto and C exports write.
struct DistinctFrame {
    const infrared::IrFrame* frame = nullptr;
    infrared::FrameText text;
    QString described; // the protocol and its notes, "NEC D=0x04 F=0x08 …"
};
std::vector<DistinctFrame> distinctFrames(const std::vector<infrared::IrFrame>& frames);

// VCD with a 100 ps timescale, so that sample k lies exactly at #(k × 401474): one 1-bit wire
// per channel, values only at edges from #0 on, and a last bare timestamp for the length.
QByteArray exportVcd(const std::vector<ExportChannel>& channels);

// A GTKWave save file for a VCD from exportVcd: every channel shown, zoomed to fit.
QByteArray gtkwaveSaveFile(const QString& vcdPath, const QString& savePath,
                           const std::vector<ExportChannel>& channels);

// The GTKWave save file's path beside a VCD: "a.vcd" gives "a.gtkw", "a" gives "a.gtkw".
QString gtkwaveSavePathFor(const QString& vcdPath);

// A sigrok session file (version 2): one byte per sample, the i-th listed channel in bit i.
QByteArray exportSigrokSession(const std::vector<ExportChannel>& channels);

// LIRC mode2 text of one channel: "pulse N" for the line low (infrared receivers are active
// low), "space N" for the line high, N in whole microseconds, from sample 0 to the capture's end.
QByteArray exportMode2(const ExportChannel& channel);

// CSV of edges: "time_us,channel,level"; each channel's level at time 0 first, then every edge
// in time order, times exact in microseconds.
QByteArray exportCsv(const std::vector<ExportChannel>& channels);

} // namespace velmoran::interchange
