#pragma once

// Infrared remote-control frames in a channel that carries an infrared receiver's output
// (active low: the line is low while the carrier is received). Understands eleven families:
// NEC (with its repeat codes and the extended 16-bit address), Samsung32, JVC (with its
// header-less repeats), Kaseikyo / Panasonic, Sharp, Denon, RC-5 / RC-5X, RC-6 (mode 0 and
// RC-6A), Sony SIRC (12, 15 and 20 bits), RCA and Sanyo (LC7461). Tolerates a fifth of each
// duration of timing error, the sampling's ±1 sample at 40.1474 µs and a receiver that lengthens
// marks (and shortens spaces) by up to 100 µs. Bursts no decoder claims can be listed too, with the
// coding the analysis infers from them (infrared/ir_analysis.h).

#include <QString>

#include <cstdint>
#include <vector>

#include "core/channel_levels.h"
#include "infrared/irp/irp_frame.h"

namespace velmoran::infrared {

enum class IrProtocol {
    Nec,
    NecRepeat,
    Rc5,
    Sirc,
    Samsung32,
    Jvc,
    Kaseikyo, // Panasonic when the vendor is 0x2002
    Sharp,
    Denon,
    Rc6,
    Rca,
    Sanyo,   // LC7461: 13-bit custom code and 8-bit data, each followed by its complement
    Unknown, // a burst of edges no decoder claims
};

// Whether a frame's check holds: NEC's and Samsung's inverted command, RCA's inverted copy,
// Sharp's and Denon's inverted second frame, Kaseikyo's parity, Sanyo's complements. Other
// protocols carry none.
enum class IrCheck { NotApplicable, Passed, Failed };

// Vendor code of Panasonic in a Kaseikyo frame.
inline constexpr uint32_t kPanasonicVendor = 0x2002;

// How a burst that no family claims is coded, as far as its durations tell: filled in by the
// analysis of unknown frames (scheme None until then, or when no structure was found).
enum class IrScheme {
    None,
    PulseDistance, // constant mark, two space lengths
    PulseWidth,    // two mark lengths, constant space
    BiPhase,       // Manchester: one unit and its double
    FourSymbol,    // constant mark, four spaces equally apart: two bits per mark and space
};

// Durations in µs, as measured (the marks of a stretching receiver included).
struct IrAnalysis {
    IrScheme scheme = IrScheme::None;
    int headerMarkUs = 0; // the leader; both 0 when the frame has none
    int headerSpaceUs = 0;
    int zeroMarkUs = 0; // a 0 bit (bi-phase: the unit, as marks and as spaces measure it)
    int zeroSpaceUs = 0;
    int oneMarkUs = 0; // a 1 bit
    int oneSpaceUs = 0;
    int trailMarkUs = 0;    // the trailing pulse after the last bit, 0 without one
    std::vector<bool> bits; // in the order sent
    int gapUs = 0;          // the rest until the channel's next frame, 0 when none follows
    // A short code a held key sends instead of its frame (its leader's mark, a space and a
    // pulse): scheme, timings and bits are those of the key's frame, none of them on the line.
    bool repeatCode = false;
    // Four-symbol codes: the spaces of the symbols 10 and 11 (zeroSpaceUs is 00's, oneSpaceUs
    // 01's); 0 for the other schemes.
    int twoSpaceUs = 0;
    int threeSpaceUs = 0;
    // Pulse-distance frames sent in parts: after each of these bit counts the part's closing
    // mark and a separator space of separatorUs (then the leader again when
    // leaderAfterSeparator); none for a frame in one part.
    std::vector<int> separatorsAt{};
    int separatorUs = 0;
    bool leaderAfterSeparator = false;
};

// Sharp and Denon send each press as a pair of frames; one may arrive without its partner.
enum class IrPairHalf { Both, FirstOnly, SecondOnly };

struct IrFrame {
    int channel = 1;
    int64_t startSample = 0; // the frame's first edge
    IrProtocol protocol = IrProtocol::Nec;
    uint32_t address = 0; // the device (NEC, Samsung, JVC, Kaseikyo, RC-5/6, SIRC, RCA ...)
    uint32_t command = 0; // the function
    // False for a NEC repeat code that follows no frame: it repeats a key that is not known;
    // for an Unknown frame, true when its coding was inferred (its bits name the key).
    bool keyKnown = true;
    IrCheck check = IrCheck::NotApplicable;
    int bits = 0;          // data bits of the frame (NEC 32, RC-5 14, SIRC 12/15/20, repeat 0)
    bool extended = false; // NEC whose second byte is not the inverted address: 16-bit address
    // RC-5 toggle bit, RC-6 trailer (toggle) bit; RC-6A of customer 0x800F (Media Center
    // remotes): the information field's bit 15, which is then no part of the address.
    bool toggle = false;
    uint32_t subdevice = 0; // Samsung32 and Kaseikyo
    uint32_t vendor = 0;    // Kaseikyo vendor code, RC-6A customer code
    uint32_t extra = 0;     // Kaseikyo's 4-bit extra field
    int mode = 0;           // RC-6 mode (0, or 6 for RC-6A)
    // A JVC frame sent without its header while a key is held; a Sanyo frame's repeat code.
    bool repeat = false;
    int64_t endSample = 0; // the end of the frame's last mark
    // Sharp and Denon: both frames of the pair, or one alone (its check NotApplicable).
    IrPairHalf half = IrPairHalf::Both;
    // The data bits as received, the first sent the least significant (RCA's: the most); a
    // Sharp or Denon pair's second frame above its first. What tells a frame whose check
    // failed from another key's frame with the same fields.
    uint64_t received = 0;
    // Every mark and space of the frame in microseconds, marks positive and spaces negative,
    // from its first mark to its last (a Sharp or Denon pair's gap included).
    std::vector<int32_t> durationsUs;
    // For an Unknown frame: its inferred coding and bits (scheme None when not analysed).
    IrAnalysis analysis;
    // The protocol of the table (infrared/irp) that decoded the frame, when one did.
    IrNamedProtocol named;
};

// What decodeInfrared lists besides the decoded frames.
enum class IrUnknownBursts {
    Omitted, // only frames that a decoder recognises
    Listed,  // plus every burst no decoder claims, as an Unknown frame
};

// Every frame found in one channel, in time order. A burst no decoder claims is a run of marks
// separated from the next one by more than kIrBurstGapUs; a burst whose analysed structure is
// exactly a family's (coding, bit count, leader and bit lengths within tolerance) is decoded as
// that family. Other bursts are listed only when asked, as one Unknown frame per frame they
// carry when every one of them shows the same inferred coding (split where a frame's own
// coding ends: after its trailing pulse, before its next leader or its next copy), else as one
// raw Unknown frame. An Unknown frame whose own lengths cannot tell its coding takes its
// neighbour's; a short code after an analysed frame that starts with its leader, or a NEC
// repeat code after it, is its repeat code.
std::vector<IrFrame> decodeInfrared(const ChannelLevels& line, int channel,
                                    IrUnknownBursts unknown = IrUnknownBursts::Omitted);

// Bursts of marks closer than this belong to one unknown frame.
inline constexpr double kIrBurstGapUs = 20000.0;

// "NEC", "NEC-repeat", "RC5", "RC5X", "SIRC12", "Samsung32", "JVC", "Panasonic", "Kaseikyo",
// "Sharp", "Denon", "RC6", "RC6A", "RCA", "Unknown".
QString protocolName(const IrFrame& frame);

// Statistics of an unknown frame's raw durations.
struct BurstSummary {
    int pulses = 0;
    int64_t durationUs = 0;
    int commonMarkUs = 0;  // the most common mark length, in 20 µs bins
    int commonSpaceUs = 0; // the most common space length (0 with a single mark)
};

BurstSummary summarizeBurst(const IrFrame& frame);

} // namespace velmoran::infrared
