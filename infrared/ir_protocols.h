#pragma once

// The nominal timings of the infrared protocols Velmoran decodes, in microseconds, from their
// public descriptions. The decoder accepts durations around them, the generator of test frames,
// the Pronto writer and the LIRC remote writer send or describe exactly them.

#include <cstdint>

namespace velmoran::infrared::ir {

// A frame of pulse-distance code: an optional header (a mark and a space), then per bit a mark
// and a short (0) or long (1) space, then a closing mark.
struct PulseDistance {
    double headerMark; // 0 when the frame has no header
    double headerSpace;
    double mark;
    double zeroSpace;
    double oneSpace;
    int bits;
    bool msbFirst;
    double periodUs; // start to start of repeated frames; 0 when the gap is fixed instead
    double gapUs;    // space after the closing mark when periodUs is 0
    int carrierHz;
};

// NEC: 9 ms + 4.5 ms header, 562.5 µs marks, LSB first; repeated frames every 108 ms.
inline constexpr PulseDistance kNec{9000, 4500, 562.5, 562.5, 1687.5, 32, false, 108000, 0, 38000};
// NEC's repeat code: the header mark, a 2.25 ms space and a closing mark.
inline constexpr double kNecRepeatSpace = 2250;
// Samsung32: like NEC with a 4.4 ms + 4.4 ms header in units of 550 µs.
inline constexpr PulseDistance kSamsung32{4400, 4400, 550, 550, 1650, 32, false, 108000, 0, 38000};
// JVC: 8.4 ms + 4.2 ms header once, units of 525 µs, 16 bits; held keys repeat the bits alone.
inline constexpr PulseDistance kJvc{8400, 4200, 525, 525, 1575, 16, false, 0, 23625, 38000};
// JVC's held keys repeat 45 to 70 ms apart, start to start, leaving at least this much rest.
inline constexpr double kJvcRepeatPeriodMinUs = 45000;
inline constexpr double kJvcRepeatPeriodMaxUs = 70000;
inline constexpr double kJvcLeastGapUs = 10000;
// Kaseikyo (Panasonic and others): units of 432 µs, 48 bits, 37 kHz.
inline constexpr PulseDistance kKaseikyo{3456, 1728, 432, 432, 1296, 48, false, 0, 74736, 37000};
// Sharp and Denon: no header, units of 264 µs, 15 bits; each press sends a second frame with
// the command inverted 43.56 ms after the first.
inline constexpr PulseDistance kSharp{0, 0, 264, 792, 1848, 15, false, 0, 43560, 38000};
// RCA: 4 ms + 4 ms header, 500 µs marks, 1 ms / 2 ms spaces, 24 bits MSB first, 56 kHz.
inline constexpr PulseDistance kRca{4000, 4000, 500, 1000, 2000, 24, true, 0, 8000, 56000};
// Sanyo (LC7461): NEC's leader and units, 42 bits least significant first: a 13-bit custom
// code, its complement, an 8-bit data code and its complement; frames every 108 ms, held keys
// send NEC's repeat code.
inline constexpr PulseDistance kSanyo{9000, 4500,  562.5,  562.5, 1687.5,
                                      42,   false, 108000, 0,     38000};
inline constexpr int kSanyoAddressBits = 13;
inline constexpr int kSanyoCommandBits = 8;

// Sony SIRC: a 2.4 ms leader mark, then per bit a 600 µs space and a 600 µs (0) or 1200 µs (1)
// mark, LSB first; frames repeat every 45 ms, 40 kHz.
inline constexpr double kSircLeader = 2400;
inline constexpr double kSircUnit = 600;
inline constexpr double kSircPeriodUs = 45000;
inline constexpr int kSircCarrierHz = 40000;

// RC-5: 14 Manchester bits of two 889 µs halves (a 1 is space then mark), 36 kHz, every 113.8 ms.
inline constexpr double kRc5Half = 889;
inline constexpr double kRc5PeriodUs = 113778;
inline constexpr int kRc5CarrierHz = 36000;

// RC-6: units of 444 µs (16 periods of 36 kHz): a 6-unit leader mark and 2-unit space, a start
// bit, 3 mode bits, a double-length trailer bit, then the data; a 1 is mark then space.
inline constexpr double kRc6Unit = 16.0 * 1e6 / 36000;
inline constexpr int kRc6LeaderMarkUnits = 6;
inline constexpr int kRc6LeaderSpaceUnits = 2;
inline constexpr double kRc6PeriodUs = 106667;
inline constexpr int kRc6CarrierHz = 36000;
inline constexpr int kRc6Mode0Bits = 16; // address 8, command 8
inline constexpr int kRc6ABits = 32;     // customer 16, address 8, command 8
inline constexpr int kRc6ACustomerBits = 16;
// RC-6A of Media Center remotes: this customer code, and the toggle in bit 15 of the
// information field (the address byte's top bit) instead of the trailer bit.
inline constexpr uint32_t kRc6MceCustomer = 0x800F;
inline constexpr uint32_t kRc6MceToggle = 0x80;

} // namespace velmoran::infrared::ir
