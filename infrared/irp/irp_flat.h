#pragma once

// A protocol laid out flat for one press: the durations, extents and bit symbols of its intro,
// its repeat and its ending, in the order sent, with every counted repetition written out.
// The renderer and the decoder both walk this; internal to infrared/irp.

#include <array>
#include <optional>
#include <vector>

#include "infrared/irp/irp.h"

namespace velmoran::infrared::irp {

// A bitfield sent through a bitspec: its expression's value, `width` bits from `shift` on,
// complemented and reversed as written. `constant` when no parameter enters it.
struct FlatField {
    const Expr* expr = nullptr;
    int width = 0;
    int shift = 0;
    bool complement = false;
    bool reverse = false;
    std::optional<int64_t> constant;
    // Names the stream assigns before the field (XMP's T=8), which its expression may use.
    Values assigned;
};

struct FlatBitspec {
    std::vector<std::vector<double>> symbols; // each symbol's marks and spaces in µs
    int bitsPerSymbol = 1;
    // A bitspec whose symbols assign names their durations use (B&O's: a bit's gap depends on the
    // bit before it) goes through states: each state's symbols, and the state each symbol leads
    // to. Every part starts in state 0, whose symbols `symbols` holds. Empty without state.
    std::vector<std::vector<std::vector<double>>> stateSymbols;
    std::vector<std::vector<int>> nextState;

    // The marks and spaces of symbol `value` sent in state `state`.
    const std::vector<double>& symbol(int state, std::size_t value) const {
        return stateSymbols.empty() ? symbols[value]
                                    : stateSymbols[static_cast<std::size_t>(state)][value];
    }
    // The state after symbol `value` sent in state `state`.
    int next(int state, std::size_t value) const {
        return nextState.empty() ? 0 : nextState[static_cast<std::size_t>(state)][value];
    }
};

struct FlatElement {
    enum class Kind { Duration, Extent, Symbol };
    Kind kind = Kind::Duration;
    double us = 0; // Duration: signed; Extent: the whole length from the last extent
    int bitspec = 0;
    // Symbol: the bits it sends, in the order sent, as (field, bit of the field's value); the
    // bits of consecutive fields run on from one field into the next.
    std::vector<std::pair<int, int>> bits;
};

enum Part { Intro = 0, Repeat = 1, Ending = 2 };

struct Flat {
    bool msbFirst = false; // the first bit a symbol sends is its value's highest
    std::vector<FlatBitspec> bitspecs;
    std::vector<FlatField> fields;
    std::array<std::vector<FlatElement>, 3> parts;
};

struct Flattened {
    std::optional<Flat> flat;
    QString error;
};

// The protocol for one press. `known` gives the values that can be fixed now (all of them when
// rendering, none when decoding: assignments in the stream add to them).
Flattened flatten(const Protocol& protocol, const Values& known);

// Where the k-th bit a symbol of n bits sends lies in its value.
inline int symbolBit(const Flat& flat, std::size_t k, std::size_t n) {
    return static_cast<int>(flat.msbFirst ? n - 1 - k : k);
}

// A field's value as sent (bitfield semantics: shift, width, complement, reversal).
std::optional<int64_t> fieldValue(const FlatField& field, const Values& values,
                                  const Protocol& protocol);

// Merges marks and spaces as they are sent: two marks or two spaces in a row make one; spaces
// before the first mark are dropped.
struct DurationSink {
    std::vector<double>* out = nullptr;
    // False: every duration and symbol half stays a piece of its own, a leading space too.
    bool join = true;
    void add(double us) {
        if (us == 0 || (join && out->empty() && us < 0)) {
            return;
        }
        if (join && !out->empty() && (out->back() < 0) == (us < 0)) {
            out->back() += us;
        } else {
            out->push_back(us);
        }
    }
};

} // namespace velmoran::infrared::irp
