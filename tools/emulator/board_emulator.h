#pragma once

// The sampler board, emulated: an active-low infrared receiver output (idle high) carrying
// NEC remote-control frames, sampled every 40.1474 µs and packed eight samples per byte with
// the earliest sample in bit 7, exactly as the board sends it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/constants.h"

namespace velmoran::emulator {

// The board's sample period in microseconds (11.0592 MHz crystal).
inline constexpr double kBoardSamplePeriodUs = kSamplePeriodUsExact;

// NEC timing, in microseconds.
inline constexpr double kNecLeaderLowUs = 9000.0;
inline constexpr double kNecLeaderHighUs = 4500.0;
inline constexpr double kNecBitLowUs = 562.5;
inline constexpr double kNecZeroHighUs = 562.5;
inline constexpr double kNecOneHighUs = 1687.5;
inline constexpr double kNecRepeatHighUs = 2250.0;
inline constexpr double kNecRepeatPeriodUs = 108000.0;

// One key press: a full frame at `startUs`, then `repeats` repeat codes every 108 ms.
struct NecPress {
    double startUs = 0.0;
    uint8_t address = 0;
    uint8_t command = 0;
    int repeats = 0;
};

struct Scenario {
    std::vector<NecPress> presses;
    double jitterUs = 0.0; // each edge moves by up to this much either way
    uint32_t seed = 0;     // drives the jitter
};

// A level change of the line: from `timeUs` on the line is `high`.
struct Edge {
    double timeUs = 0.0;
    bool high = true;
};

// Several key presses spread over one capture (about 20.4 s), the same for the same seed.
Scenario defaultScenario(uint32_t seed, double jitterUs = 0.0);

// The edges of a scenario in time order; the line is high before the first one.
std::vector<Edge> scenarioEdges(const Scenario& scenario);

// `bytes` bytes of the board's stream for a line given by `edges`, the first sample taken at
// `startUs` (later bytes continue at the same pace).
std::vector<uint8_t> renderBytes(const std::vector<Edge>& edges, double startUs, std::size_t bytes);

// One whole capture of a scenario: 63,488 bytes unless told otherwise.
std::vector<uint8_t> renderCapture(const Scenario& scenario, std::size_t bytes = kCaptureBytes);

} // namespace velmoran::emulator
