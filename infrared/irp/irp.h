#pragma once

// IRP notation: a remote-control protocol written as data, as the infrared community writes it
// ("{38.4k,564}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m,(16,-4,1,^108m)*) [D:0..255,
// S:0..255=255-D,F:0..255]"). The parser turns the text into a Protocol or an error with its
// column; render() makes a protocol's marks and spaces for given parameters; matchFrame()
// (infrared/irp/irp_match.h) reads them back. No global state: every function works on values.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmoran::infrared::irp {

// What went wrong, and where: `column` counts characters from 1.
struct Error {
    int column = 0;
    QString message;
};

// An expression: numbers, names, the operators of C (with ** for powers and # for the number of
// one bits) and bitfields (value:width:shift, value::shift, ~ complements, a negative width
// reverses the bits).
struct Expr {
    enum class Kind { Number, Name, Unary, Binary, Ternary, BitField, InfiniteBitField };
    Kind kind = Kind::Number;
    int64_t number = 0;
    std::string name;        // Name: the name; Unary and Binary: the operator ("-", "**", "&&")
    bool complement = false; // BitField: ~
    // Unary, Binary, Ternary: operands. BitField: value, width, shift (optional); Infinite:
    // value, shift.
    std::vector<Expr> args;
};

struct Duration {
    enum class Kind { Flash, Gap, Extent };
    enum class Unit { Units, Micro, Milli, Periods };
    Kind kind = Kind::Flash;
    Unit unit = Unit::Units;
    std::optional<double> literal; // a number as written ("2.6", "108"), else `value`
    Expr value;
};

struct Item;
struct BitSpec;

// A bare IR stream in parentheses with its repetition: `count` copies, and with `open` as many
// more as the key is held (`*` is count 0 open, `+` count 1 open, `3+` count 3 open).
struct Stream {
    std::vector<Item> items;
    std::vector<BitSpec> bitspec; // a stream written <...>(...) brings its own bitspec
    int count = 1;
    bool open = false;
};

// The symbols that send the bits: two of them send one bit each, four send two bits each ...
struct BitSpec {
    std::vector<Stream> symbols;
};

struct Item {
    enum class Kind { Duration, BitField, Assignment, Stream, Variation };
    Kind kind = Kind::Duration;
    int column = 0;
    Duration duration;           // Duration
    Expr expr;                   // BitField: the bitfield; Assignment: the value
    std::string target;          // Assignment: the name assigned
    std::vector<Stream> streams; // Stream: one; Variation: its alternatives
};

struct ParameterSpec {
    std::string name;
    bool memory = false; // T@: keeps its value from one press to the next
    int64_t min = 0;
    int64_t max = 0;
    std::optional<Expr> defaultValue;
};

struct Protocol {
    double frequencyHz = 38000;
    double unit = 1;            // the unit of durations, in µs (or carrier periods, below)
    bool unitInPeriods = false; // "{36k,1p}"
    bool msbFirst = false;
    std::optional<double> dutyCyclePercent;
    BitSpec bitspec;
    Stream stream;
    std::vector<std::pair<std::string, Expr>> definitions;
    std::vector<ParameterSpec> parameters;

    // The unit of durations in µs.
    double unitUs() const { return unitInPeriods ? unit * 1e6 / frequencyHz : unit; }
    const ParameterSpec* parameter(const std::string& name) const;
};

struct Parsed {
    std::optional<Protocol> protocol;
    Error error; // when there is no protocol
};

// Parses one protocol's IRP text.
Parsed parse(QStringView text);

// Parameter values by name.
using Values = std::map<std::string, int64_t>;

// An expression's value where `values` and the protocol's definitions give every name; nothing
// when a name is unknown, a shift or a width is out of range, or a division is by zero.
std::optional<int64_t> evaluate(const Expr& expr, const Values& values,
                                const std::vector<std::pair<std::string, Expr>>& definitions = {});

// Marks (positive) and spaces (negative) in µs: sent once when the key is pressed, sent again
// and again while it is held, and sent once when it is released. Each part starts with a mark
// and ends with a space.
struct Signal {
    std::vector<double> intro;
    std::vector<double> repeat;
    std::vector<double> ending;
    double frequencyHz = 38000;
    // Whether the intro's and the repeat's closing space fills an extent (^108m: a period from
    // the part's start) rather than being a space of its own length.
    bool introToExtent = false;
    bool repeatToExtent = false;
};

// How render() hands out durations.
enum class Joined {
    Runs,   // neighbouring durations of one level joined, a part starting with its first mark
    Pieces, // every duration and symbol half as written (a Manchester bit's two halves ...)
};

struct Rendered {
    std::optional<Signal> signal;
    QString error; // when there is no signal: a parameter missing or out of range ...
};

// The protocol's signal for these parameters (those omitted take their defaults).
Rendered render(const Protocol& protocol, const Values& values, Joined joined = Joined::Runs);

// The parameters a protocol needs, in its own order, with their defaults filled in from
// `values`; an error when one is missing (no default) or out of its range.
std::optional<QString> completeValues(const Protocol& protocol, Values& values);

} // namespace velmoran::infrared::irp
