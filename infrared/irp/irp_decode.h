#pragma once

// Decoding with the protocol table: the bursts the family decoders leave unclaimed are read
// against every protocol of the table; where several fit, the most specific wins (the one that
// explains the most of the burst, then the one the table lists first: it lists the more
// specific of two protocols first) and the others are named as its alternatives.

#include <cstddef>
#include <span>
#include <vector>

#include "core/channel_levels.h"
#include "infrared/frame_text.h"
#include "infrared/ir_decoder.h"
#include "infrared/irp/irp_table.h"

namespace velmoran::infrared::irp {

// One press or one repeat found in a run of durations.
struct Decoded {
    const CompiledProtocol* protocol = nullptr;
    Values values;
    QStringList alternatives;
    std::size_t first = 0; // index of its first mark
    std::size_t count = 0; // durations from its first mark to its last, both included
    bool repeat = false;   // sent while the key is held (or as it is released)
};

// Every press and repeat in `durations` (µs, marks positive, spaces negative, a mark first).
std::vector<Decoded> decodeDurations(std::span<const double> durations, const ProtocolTable& table);

// Where a line's samples end: at the end of a capture, after which its last level lasts for
// ever, or where the data received so far ends, after which a burst may go on.
enum class LineEnd { Rest, Cut };

// The frames with every Unknown frame the table can read replaced by the frames it reads: each
// names its protocol and parameters (IrFrame::named), takes D, F, S and T as its address,
// command, subdevice and toggle, and keeps its durations. Unknown frames the table cannot read
// stay as they are. `line` is the channel the frames were decoded from. On a line that is cut,
// the frames of the burst that runs into its end are left as the decoders read them: the table
// reads that burst once it is whole.
std::vector<IrFrame> decodeWithProtocols(std::vector<IrFrame> frames, const ChannelLevels& line,
                                         const ProtocolTable& table = builtinTable(),
                                         LineEnd end = LineEnd::Rest);

// Whether decodeWithProtocols needs every protocol of the table for these frames: a burst no
// decoder claimed, or a family's frame it reads again (its check failed, or its timings are
// another protocol's), the burst running into a cut left out.
bool needsWholeTable(const std::vector<IrFrame>& frames, const ChannelLevels& line,
                     const ProtocolTable& table, LineEnd end = LineEnd::Rest);

// "D=4 F=8 S=251" in the protocol's own order.
QString parameterText(const IrNamedProtocol& named);

// The texts of a frame the table named (nothing changes for another): its protocol's name,
// D and F as address and command, its parameters, "repeat" and its alternatives as notes. A
// family frame keeps its own texts and gains its parameters in hexadecimal at the end of its
// notes ("D=0x25 S=0xda F=0xeb").
void nameFrameText(const IrFrame& frame, FrameText& text);

// Whether the table read the frame in place of the decoders (a burst they left, or a frame it
// renamed): a decoder family's frame carries its own description's name too, but keeps the
// family's texts, timings and remotes.
inline bool readByTable(const IrFrame& frame) {
    return !frame.named.isEmpty() && frame.protocol == IrProtocol::Unknown;
}

// A frame's texts as every view shows them: frameText, the table's name where it read the
// frame, and an analysed unknown frame's coding in IRP at the end of its notes
// ("irp={38k,560}<1,-1|1,-3>(16,-8,A:8,...)").
FrameText shownFrameText(const IrFrame& frame);

} // namespace velmoran::infrared::irp
