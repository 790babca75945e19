#pragma once

// Infrared captures with their truth: key presses of one protocol family written with the
// protocol's public timings, each mark and space stretched or shrunk by a random factor, at a
// random phase against the board's 40.1474 µs sample clock, optionally with glitches (the line
// flipping for one to three samples inside a frame). Used by the decoder's scoring test, the
// score table and the velmoran-irgen program.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/channel_buffer.h"
#include "infrared/ir_decoder.h"
#include "tools/emulator/board_emulator.h"

namespace velmoran::irgen {

// The ten families the decoder knows, and remotes of codings it does not know (listed as
// Unknown frames, whose coding the analysis infers): 48 and 112 bits of pulse-distance code,
// 12 bits of pulse-width code and 14 bi-phase bits.
enum class Family {
    Nec,
    Samsung32,
    Jvc,
    Kaseikyo,
    Sharp,
    Denon,
    Rc5,
    Rc6,
    Sirc,
    Rca,
    UnknownPulseDistance48,
    UnknownPulseDistance112,
    UnknownPulseWidth12,
    UnknownBiPhase14,
};

inline constexpr Family kFamilies[] = {
    Family::Nec,   Family::Samsung32, Family::Jvc, Family::Kaseikyo, Family::Sharp,
    Family::Denon, Family::Rc5,       Family::Rc6, Family::Sirc,     Family::Rca};

inline constexpr Family kUnknownRemotes[] = {Family::UnknownPulseDistance48,
                                             Family::UnknownPulseDistance112,
                                             Family::UnknownPulseWidth12, Family::UnknownBiPhase14};

// "nec", "samsung32", "jvc", "kaseikyo", "sharp", "denon", "rc5", "rc6", "sirc", "rca",
// "unknown-pd48", "unknown-pd112", "unknown-pw12", "unknown-biphase14".
QString familyName(Family family);
std::optional<Family> familyFromName(const QString& name);

struct Options {
    double jitter = 0.0;      // each duration is scaled by 1 + u, u uniform in [-jitter, jitter]
    double glitchShare = 0.0; // the share of frames that get one glitch
    // A receiver that lengthens every mark by this much (and shortens every space as much).
    double markStretchUs = 0.0;
    // Sharp and Denon: the share of frames sent without their partner (the first or the second
    // of the pair alone).
    double loneHalfShare = 0.0;
    // JVC: held keys repeat at a period drawn from 45 to 70 ms (start to start) instead of one
    // fixed gap after each frame.
    bool jvcPeriods = false;
    uint32_t seed = 1;
};

// One frame sent: its fields (as the decoder reports them; for an unknown remote its
// durations and, in `analysis`, its scheme, timings and bits), where it starts and ends, and
// whether a glitch hit it.
struct SentFrame {
    infrared::IrFrame frame;
    double startUs = 0;
    double endUs = 0;
    bool glitched = false;
};

struct Generated {
    std::vector<emulator::Edge> edges; // the line, high before the first edge
    std::vector<SentFrame> truth;
};

// Key presses of one family over a whole capture (about 20.4 s): each press a frame and the
// family's repeats (NEC repeat codes, JVC frames without header, repeat codes of the 48-bit
// unknown remote, whole frames for the others). RC-6A frames are partly of Media Center remotes
// (customer 0x800F, the toggle in the address byte's top bit).
Generated generate(Family family, const Options& options);

// The channel buffer of a generated line.
ChannelBuffer renderChannel(const Generated& generated);

// How the decoder did against the truth of one channel.
struct Score {
    int sent = 0;           // frames sent without a glitch
    int found = 0;          // of those, decoded with every field right (unknown remotes: the
                            // inferred scheme and bits right)
    int wrong = 0;          // decoded frames whose fields differ from the frame sent there
    int invented = 0;       // decoded frames where nothing was sent
    int glitched = 0;       // frames sent with a glitch
    int glitchedFound = 0;  // of those, decoded right anyway
    int glitchedListed = 0; // of those, listed as an unknown frame
};

Score score(const std::vector<SentFrame>& truth, const std::vector<infrared::IrFrame>& got);

} // namespace velmoran::irgen
