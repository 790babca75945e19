#pragma once

// Reading marks and spaces back into a protocol's parameters: a protocol prepared once
// (CompiledProtocol), then matched against the durations of a line, part by part (the intro of
// a press, each repeat, the ending). Every constraint of the description is checked: a frame
// matches only when the parameters found give back exactly the symbols read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "infrared/irp/irp.h"
#include "infrared/irp/irp_flat.h"

namespace velmoran::infrared::irp {

// A protocol with its name, ready for decoding. Its layout points into its own protocol, so it
// moves but is never copied.
struct CompiledProtocol {
    CompiledProtocol() = default;
    CompiledProtocol(const CompiledProtocol&) = delete;
    CompiledProtocol& operator=(const CompiledProtocol&) = delete;
    CompiledProtocol(CompiledProtocol&&) = default;
    CompiledProtocol& operator=(CompiledProtocol&&) = default;

    QString name;
    QString irp;
    QString source; // where its description is published
    Protocol protocol;
    Flat flat;              // laid out with no parameter known
    int dataBits = 0;       // bits its first part sends (intro, else repeat)
    double firstMarkUs = 0; // the mark every press starts with when a space follows it, else 0
    // Two of its symbols lie closer than the tolerance of their durations (XMP's sixteen spaces
    // 136 µs apart): a symbol's space is weighed together with the mark before it, whose sum a
    // receiver's stretch leaves alone, and lies less than the step between two such symbols
    // from its nominal length.
    bool closeSymbols = false;
    double closeStepUs = 0;
    // Its intro sends no parameter (NRC17's start frame): a press is the intro and the first
    // repeat, which carries the values.
    bool constantIntro = false;
    // The parameters each part's fields depend on, through the definitions too: those a part can
    // tell (Epson's repeat sends neither F1 nor F2, its ending does).
    std::array<std::vector<std::string>, 3> partNames;
    // Its first part leaves out parameters that its ending sends (Epson's (A)*,(B), F12x's): a
    // press is read whole only with its ending, the first part and its repeats with what they
    // send.
    bool endingCompletes = false;
};

struct Compiled {
    std::optional<CompiledProtocol> protocol;
    Error error;
};

// Parses and prepares a protocol; the error says why it cannot be decoded.
Compiled compile(const QString& name, const QString& irp, const QString& source = {});

// Where one symbol of a part was read, in nominal µs from the part's first mark (a symbol that
// starts with the line at rest before that mark starts before 0): its bits as sent (bit k is the
// k-th sent), whatever field each belongs to.
struct SymbolRead {
    double fromUs = 0;
    double toUs = 0;
    uint64_t sent = 0;
    int bits = 0;
};

struct Match {
    Values values;
    std::size_t consumed = 0; // durations taken, the space that ends the part included
    double cost = 0;          // how far the durations lie from the nominal ones, in tolerances
    // How far the furthest off of them lies from its nominal length, in parts of a remote's own
    // tolerance (a fifth and one and a half samples), as measured: what tells apart two protocols
    // whose timings lie close (Sampo's 833 µs units, Emerson's 872 µs).
    double worst = 0;
    // How far the space that ends the part lies from its nominal length, likewise: a part that
    // another of its press follows ends in a space of its length.
    double closingOff = 0;
    // Filled by readPart only: the symbols in the order sent, and the nominal time at which each
    // duration taken starts (one more: where the last ends).
    std::vector<SymbolRead> symbols;
    std::vector<double> startsUs;
};

// Matches one part (Intro, Repeat or Ending) at the start of `durations` (µs: marks positive,
// spaces negative, a mark first). Each duration may be off by a fifth plus one and a half
// samples, marks lengthened and spaces shortened by up to 100 µs; the space that ends the part
// may be longer than its nominal length, or missing when `durations` end there. `prior` gives
// values already known (a repeat's parameters are those of its press).
std::optional<Match> matchPart(const CompiledProtocol& compiled, Part part,
                               std::span<const double> durations, const Values* prior = nullptr);

// The symbols of one part as they lie on the line, where each lies (Match::symbols,
// Match::startsUs) and the bits it sends, whether or not the fields and their checks agree
// (Match::values stays empty): a frame whose check failed is still read symbol by symbol.
std::optional<Match> readPart(const CompiledProtocol& compiled, Part part,
                              std::span<const double> durations);

// Whether a measured duration (µs, marks positive) can be a nominal one.
bool durationFits(double measured, double nominal);

// The part a press starts with: the intro, or the repeat when the intro is empty.
Part firstPart(const CompiledProtocol& compiled);

} // namespace velmoran::infrared::irp
