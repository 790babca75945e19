#pragma once

// A LIRC remote definition as lircd.conf describes it, and the matcher that names the keys a
// channel's marks and spaces send the way LIRC's receiver does: the durations as one stream,
// each signal found after a space that can end the one before, every duration within the
// remote's eps (percent) or aeps (µs) of its nominal length plus one sample period for the
// board's sampling, the remotes tried in order. All of lircd.conf's encodings are read
// (SPACE_ENC, SPACE_FIRST, RC5/SHIFT_ENC, RC6, RCMM, GRUNDIG, BO, XMP, RAW_CODES) with their
// modifiers (CONST_LENGTH, REPEAT_HEADER, NO_HEAD_REP, NO_FOOT_REP, REVERSE); what is still
// not honoured (SERIAL, GOLDSTAR) is said by lircUnhonoured.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "infrared/ir_decoder.h"

namespace velmoran::infrared {

enum LircFlag : uint32_t {
    kLircRc5 = 1u << 0, // bi-phase: a 1 is a space then a mark (SHIFT_ENC is its other name)
    kLircRc6 = 1u << 1, // bi-phase, rc6_mask marks the double-length bits
    kLircRcmm = 1u << 2,
    kLircSpaceEnc = 1u << 3, // each bit a mark and a space, the pair tells 0 from 1
    kLircSpaceFirst = 1u << 4,
    kLircGoldstar = 1u << 5,
    kLircGrundig = 1u << 6,
    kLircBo = 1u << 7,
    kLircSerial = 1u << 8,
    kLircXmp = 1u << 9,
    kLircReverse = 1u << 10,
    kLircNoHeadRep = 1u << 11,
    kLircNoFootRep = 1u << 12,
    kLircConstLength = 1u << 13,
    kLircRawCodes = 1u << 14,
    kLircRepeatHeader = 1u << 15,
};

struct LircFlagName {
    uint32_t flag;
    const char* name;
};

// lircd.conf's names of the flags; the first name of a flag is the one written.
inline constexpr std::array<LircFlagName, 17> kLircFlagNames{{
    {kLircRc5, "RC5"},
    {kLircRc5, "SHIFT_ENC"},
    {kLircRc6, "RC6"},
    {kLircRcmm, "RCMM"},
    {kLircSpaceEnc, "SPACE_ENC"},
    {kLircSpaceFirst, "SPACE_FIRST"},
    {kLircGoldstar, "GOLDSTAR"},
    {kLircGrundig, "GRUNDIG"},
    {kLircBo, "BO"},
    {kLircSerial, "SERIAL"},
    {kLircXmp, "XMP"},
    {kLircReverse, "REVERSE"},
    {kLircNoHeadRep, "NO_HEAD_REP"},
    {kLircNoFootRep, "NO_FOOT_REP"},
    {kLircConstLength, "CONST_LENGTH"},
    {kLircRawCodes, "RAW_CODES"},
    {kLircRepeatHeader, "REPEAT_HEADER"},
}};

// LIRC's tolerances when a remote names none.
inline constexpr int kLircDefaultEps = 30;
inline constexpr int kLircDefaultAeps = 100;

struct LircPair {
    int pulse = 0; // µs; 0 when the remote has no such pair
    int space = 0;
    friend bool operator==(const LircPair&, const LircPair&) = default;
};

struct LircCode {
    QString name;
    uint64_t code = 0;
    std::vector<uint64_t> more; // further codes sent under the same name
    friend bool operator==(const LircCode&, const LircCode&) = default;
};

struct LircRawCode {
    QString name;
    std::vector<int> durations; // pulse, space, pulse ... in µs
    friend bool operator==(const LircRawCode&, const LircRawCode&) = default;
};

struct LircRemote {
    QString name;
    uint32_t flags = 0;
    int bits = 0;
    int eps = kLircDefaultEps;
    int aeps = kLircDefaultAeps;
    LircPair header, one, zero, pre, post, foot, repeat;
    int plead = 0;
    int ptrail = 0;
    int preDataBits = 0;
    uint64_t preData = 0;
    int postDataBits = 0;
    uint64_t postData = 0;
    int gap = 0;
    int gap2 = 0; // LIRC's second gap value, 0 when not given
    uint64_t toggleBitMask = 0;
    uint64_t rc6Mask = 0;
    uint64_t ignoreMask = 0;
    // Parameters the matcher does not use (frequency, duty_cycle, min_repeat ...), as written.
    std::vector<std::pair<QString, QString>> otherParameters;
    std::vector<LircCode> codes;
    std::vector<LircRawCode> rawCodes;
    // A comment written above the remote's block; lircd.conf keeps none inside it.
    QString comment;
    friend bool operator==(const LircRemote&, const LircRemote&) = default;
};

// A frame's key: the remote's index, the code's index in its codes or raw codes.
struct LircKey {
    int remote = -1;
    int code = -1;
    bool raw = false;
    friend bool operator==(const LircKey&, const LircKey&) = default;
};

// A signal LIRC names: where it starts in the durations, the key, and how many times in a row
// the key was named before (LIRC's repeat count: 0 for a press, 1, 2 ... while it is held).
struct LircEvent {
    std::size_t position = 0;
    LircKey key;
    int repeats = 0;
    friend bool operator==(const LircEvent&, const LircEvent&) = default;
};

// The key of one frame alone; repeat is true when the frame is a remote's repeat sequence
// (NEC's 9 ms + 2.25 ms + a mark), which names the key before it only in a stream.
struct LircMatch {
    std::optional<LircKey> key;
    bool repeat = false;
};

namespace lirc {
struct Remote; // a remote as the matcher reads it
}

class LircMatcher {
public:
    // The remotes stay the caller's and must outlive the matcher. `slackUs` widens every
    // tolerance, one sample period of the board by default (0 reads durations as LIRC does).
    explicit LircMatcher(const std::vector<LircRemote>& remotes, double slackUs = -1);
    ~LircMatcher();
    LircMatcher(const LircMatcher&) = delete;
    LircMatcher& operator=(const LircMatcher&) = delete;

    // Every key LIRC names in these marks (positive) and spaces (negative), in µs, as its
    // receiver reads them from a mode2 file. The work is bounded: a stream that would take
    // longer than about a quarter of a second is read no further.
    std::vector<LircEvent> events(std::span<const int32_t> durationsUs) const;

    // The key one frame sends on its own (a long rest before and after it).
    LircMatch match(std::span<const int32_t> durationsUs) const;

    // Each frame's key: the first signal LIRC names in it, the channel's frames read as one
    // stream (so a repeat sequence names the key held before it).
    std::vector<std::optional<LircKey>> matchFrames(const std::vector<IrFrame>& frames) const;

    // Every signal LIRC names in the frames of one channel, with the frame it lies in.
    std::vector<std::pair<std::size_t, LircEvent>>
    frameEvents(const std::vector<IrFrame>& frames) const;

private:
    std::vector<lirc::Remote> remotes_;
    double slackUs_;
};

// What of a remote the matcher does not honour, one text per feature ("flag SERIAL is not
// honoured"); a remote that can never match says so first ("remote X can never match: ...").
std::vector<QString> lircUnhonoured(const LircRemote& remote);

// Whether the matcher or the writer knows a lircd.conf parameter kept as written (frequency,
// duty_cycle, min_repeat, toggle_bit, two, three ...); others are named on import.
bool lircParameterKnown(const QString& key);

// The code's bits as LIRC sends them: pre data, the code, post data.
uint64_t lircFullCode(const LircRemote& remote, uint64_t code);

} // namespace velmoran::infrared
