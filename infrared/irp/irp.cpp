#include "infrared/irp/irp.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>

#include "infrared/irp/irp_flat.h"

namespace velmoran::infrared::irp {

namespace {

// Definitions may refer to each other; a chain longer than this is taken for a loop.
constexpr int kDeepestDefinition = 32;
// Bitfields and shifts work on 64-bit values.
constexpr int64_t kWordBits = 64;
constexpr double kKilo = 1000.0;
// Limits that keep a hostile text from exhausting the stack or the memory.
constexpr int kDeepestNesting = 100;
constexpr int kMostNodes = 4000;
constexpr int64_t kMostCopies = 64;
constexpr std::size_t kMostElements = 20000;
// The most states a bitspec's assignments may lead through.
constexpr std::size_t kMostBitspecStates = 16;

// Arithmetic wraps around at 64 bits, as the notation's reference implementations' does.
int64_t wrapped(uint64_t value) {
    return static_cast<int64_t>(value);
}
uint64_t asBits(int64_t value) {
    return static_cast<uint64_t>(value);
}

struct Failure {
    Error error;
};

// A recursive-descent reader of one protocol's text; throws Failure at the first error.
class Parser {
public:
    explicit Parser(QStringView text) : text_(text) {}

    Protocol protocol() {
        Protocol result;
        generalSpec(result);
        result.bitspec = bitspec();
        skip();
        if (peek() != u'(') {
            fail(QStringLiteral("expected ( to open the IR stream"));
        }
        result.stream = stream();
        for (skip(); pos_ < text_.size(); skip()) {
            if (peek() == u'{') {
                definitions(result.definitions);
            } else if (peek() == u'[') {
                parameterSpecs(result.parameters);
            } else {
                fail(QStringLiteral("unexpected text after the IR stream"));
            }
        }
        return result;
    }

private:
    [[noreturn]] void fail(const QString& message) const {
        throw Failure{Error{static_cast<int>(pos_) + 1, message}};
    }

    void skip() {
        while (pos_ < text_.size()) {
            if (text_[pos_].isSpace()) {
                ++pos_;
            } else if (text_.mid(pos_).startsWith(u"/*")) {
                const qsizetype end = text_.indexOf(u"*/", pos_ + 2);
                if (end < 0) {
                    fail(QStringLiteral("comment not closed"));
                }
                pos_ = end + 2;
            } else {
                return;
            }
        }
    }
    QChar peek() {
        skip();
        return pos_ < text_.size() ? text_[pos_] : QChar();
    }
    bool accept(QStringView token) {
        skip();
        if (text_.mid(pos_).startsWith(token)) {
            pos_ += token.size();
            return true;
        }
        return false;
    }
    void expect(QStringView token) {
        if (!accept(token)) {
            fail(QStringLiteral("expected %1").arg(token));
        }
    }
    static bool nameStart(QChar c) { return c.isLetter() || c == u'_'; }
    static bool nameChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

    std::string name() {
        skip();
        if (pos_ >= text_.size() || !nameStart(text_[pos_])) {
            fail(QStringLiteral("expected a name"));
        }
        const qsizetype start = pos_;
        while (pos_ < text_.size() && nameChar(text_[pos_])) {
            ++pos_;
        }
        return text_.mid(start, pos_ - start).toString().toStdString();
    }

    // A whole number: decimal, 0x hexadecimal or 0b binary.
    int64_t integer() {
        skip();
        const qsizetype start = pos_;
        int base = 10;
        if (text_.mid(pos_).startsWith(u"0x") || text_.mid(pos_).startsWith(u"0X")) {
            base = 16;
            pos_ += 2;
        } else if (text_.mid(pos_).startsWith(u"0b") || text_.mid(pos_).startsWith(u"0B")) {
            base = 2;
            pos_ += 2;
        }
        const qsizetype digits = pos_;
        while (pos_ < text_.size()) {
            const QChar c = text_[pos_];
            const bool digit = base == 16  ? isxdigit(c.toLatin1()) != 0
                               : base == 2 ? (c == u'0' || c == u'1')
                                           : c.isDigit();
            if (!digit) {
                break;
            }
            ++pos_;
        }
        bool ok = false;
        const int64_t value = text_.mid(digits, pos_ - digits).toLongLong(&ok, base);
        if (!ok) {
            pos_ = start;
            fail(QStringLiteral("expected a number"));
        }
        return value;
    }

    // A number that may have decimals ("38.4", "2.6").
    double decimal() {
        skip();
        const qsizetype start = pos_;
        while (pos_ < text_.size() && (text_[pos_].isDigit() || text_[pos_] == u'.')) {
            ++pos_;
        }
        bool ok = false;
        const double value = text_.mid(start, pos_ - start).toDouble(&ok);
        if (!ok) {
            pos_ = start;
            fail(QStringLiteral("expected a number"));
        }
        return value;
    }

    void generalSpec(Protocol& protocol) {
        expect(u"{");
        std::optional<double> unit;
        bool unitInPeriods = false;
        do {
            skip();
            if (nameStart(peek())) {
                const std::string word = name();
                if (word == "msb" || word == "lsb") {
                    protocol.msbFirst = word == "msb";
                } else {
                    fail(QStringLiteral("expected msb, lsb or a number"));
                }
                continue;
            }
            const double value = decimal();
            if (accept(u"k")) {
                protocol.frequencyHz = value * kKilo;
            } else if (accept(u"%")) {
                protocol.dutyCyclePercent = value;
            } else {
                if (unit) {
                    fail(QStringLiteral("the unit is given twice"));
                }
                unitInPeriods = accept(u"p");
                if (!unitInPeriods) {
                    accept(u"u");
                }
                unit = value;
            }
        } while (accept(u","));
        expect(u"}");
        protocol.unit = unit.value_or(1.0);
        protocol.unitInPeriods = unitInPeriods;
        if (unitInPeriods && protocol.frequencyHz <= 0) {
            fail(QStringLiteral("a unit in carrier periods needs a carrier"));
        }
    }

    BitSpec bitspec() {
        skip();
        const qsizetype start = pos_;
        expect(u"<");
        BitSpec spec;
        // A symbol's bitfield ("<1:2|2:2>") ends at the | or > that ends the symbol.
        const bool outside = inBitspec_;
        inBitspec_ = true;
        do {
            Stream symbol;
            symbol.items = bareStream(u'|', u'>');
            spec.symbols.push_back(std::move(symbol));
        } while (accept(u"|"));
        inBitspec_ = outside;
        expect(u">");
        if (spec.symbols.size() < 2 || !std::has_single_bit(spec.symbols.size())) {
            pos_ = start;
            fail(QStringLiteral("a bitspec needs 2, 4, 8 or 16 symbols"));
        }
        return spec;
    }

    // Items separated by commas up to (not including) `close` or `other`.
    std::vector<Item> bareStream(QChar other, QChar close) {
        std::vector<Item> items;
        if (peek() == close || peek() == other) {
            return items;
        }
        do {
            items.push_back(item());
        } while (accept(u","));
        return items;
    }

    // Counts one more level of nesting for as long as it lives.
    struct Nested {
        explicit Nested(Parser& parser) : p(parser) {
            if (++p.depth_ > kDeepestNesting) {
                p.fail(QStringLiteral("nested too deeply"));
            }
        }
        ~Nested() { --p.depth_; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;
        Parser& p;
    };

    void countNode() {
        if (++nodes_ > kMostNodes) {
            fail(QStringLiteral("the text is too long"));
        }
    }

    Stream stream() {
        const Nested nested(*this);
        expect(u"(");
        Stream result;
        result.items = bareStream(u')', u')');
        expect(u")");
        repetition(result);
        return result;
    }

    void repetition(Stream& stream) {
        skip();
        if (accept(u"*")) {
            stream.count = 0;
            stream.open = true;
        } else if (accept(u"+")) {
            stream.open = true;
        } else if (peek().isDigit()) {
            const int64_t count = integer();
            if (count > kMostCopies) {
                fail(QStringLiteral("at most %1 copies").arg(kMostCopies));
            }
            stream.count = static_cast<int>(count);
            stream.open = accept(u"+");
        }
    }

    Duration durationValue(Duration::Kind kind) {
        Duration duration;
        duration.kind = kind;
        skip();
        if (peek().isDigit() || peek() == u'.') {
            duration.literal = decimal();
            if (accept(u"m")) {
                duration.unit = Duration::Unit::Milli;
            } else if (accept(u"u")) {
                duration.unit = Duration::Unit::Micro;
            } else if (accept(u"p")) {
                duration.unit = Duration::Unit::Periods;
            }
        } else if (nameStart(peek())) {
            duration.value.kind = Expr::Kind::Name;
            duration.value.name = name();
        } else {
            fail(QStringLiteral("expected a duration"));
        }
        return duration;
    }

    Item item() {
        Item result;
        skip();
        result.column = static_cast<int>(pos_) + 1;
        const QChar c = peek();
        if (c == u'(') {
            // A stream, or an expression in parentheses that a colon makes a bitfield.
            const qsizetype start = pos_;
            std::optional<Stream> inner;
            try {
                inner = stream();
            } catch (const Failure&) {
            }
            if (inner && peek() != u':') {
                result.kind = Item::Kind::Stream;
                result.streams.push_back(std::move(*inner));
                return result;
            }
            pos_ = start;
            result.kind = Item::Kind::BitField;
            result.expr = expression();
            if (result.expr.kind != Expr::Kind::BitField) {
                pos_ = start;
                fail(QStringLiteral("expected a stream or a bitfield"));
            }
        } else if (c == u'<') {
            result.kind = Item::Kind::Stream;
            BitSpec own = bitspec();
            Stream inner = stream();
            inner.bitspec.push_back(std::move(own));
            result.streams.push_back(std::move(inner));
        } else if (c == u'[') {
            result.kind = Item::Kind::Variation;
            while (accept(u"[")) {
                Stream alternative;
                alternative.items = bareStream(u']', u']');
                expect(u"]");
                result.streams.push_back(std::move(alternative));
            }
        } else if (c == u'-') {
            ++pos_;
            result.duration = durationValue(Duration::Kind::Gap);
        } else if (c == u'^') {
            ++pos_;
            result.duration = durationValue(Duration::Kind::Extent);
        } else {
            const qsizetype start = pos_;
            if (nameStart(c)) {
                const std::string word = name();
                if (peek() == u'=' && !text_.mid(pos_).startsWith(u"==")) {
                    ++pos_;
                    result.kind = Item::Kind::Assignment;
                    result.target = word;
                    result.expr = expression();
                    return result;
                }
                pos_ = start;
            }
            const bool digits = c.isDigit() && !text_.mid(pos_).startsWith(u"0x") &&
                                !text_.mid(pos_).startsWith(u"0b");
            if (digits || nameStart(c)) {
                // A flash, unless a colon makes it a bitfield.
                Duration flash = durationValue(Duration::Kind::Flash);
                if (peek() != u':') {
                    result.duration = flash;
                    return result;
                }
                pos_ = start;
            }
            result.kind = Item::Kind::BitField;
            result.expr = expression();
            if (result.expr.kind != Expr::Kind::BitField &&
                result.expr.kind != Expr::Kind::InfiniteBitField) {
                pos_ = start;
                fail(QStringLiteral("expected a duration, a bitfield or a stream"));
            }
            if (result.expr.kind == Expr::Kind::InfiniteBitField) {
                pos_ = start;
                fail(QStringLiteral("a bitfield sent needs a width"));
            }
        }
        return result;
    }

    void definitions(std::vector<std::pair<std::string, Expr>>& out) {
        expect(u"{");
        if (accept(u"}")) {
            return;
        }
        do {
            std::string target = name();
            expect(u"=");
            out.emplace_back(std::move(target), expression());
        } while (accept(u","));
        expect(u"}");
    }

    void parameterSpecs(std::vector<ParameterSpec>& out) {
        expect(u"[");
        if (accept(u"]")) {
            return;
        }
        do {
            ParameterSpec spec;
            spec.name = name();
            spec.memory = accept(u"@");
            expect(u":");
            spec.min = integer();
            expect(u"..");
            spec.max = integer();
            if (spec.max < spec.min) {
                fail(QStringLiteral("the range ends before it starts"));
            }
            if (accept(u"=")) {
                spec.defaultValue = expression();
            }
            out.push_back(std::move(spec));
        } while (accept(u","));
        expect(u"]");
    }

    // Expressions, loosest binding first.
    Expr expression() {
        const Nested nested(*this);
        Expr condition = binary(0);
        if (!accept(u"?")) {
            return condition;
        }
        Expr result;
        result.kind = Expr::Kind::Ternary;
        result.args.push_back(std::move(condition));
        result.args.push_back(expression());
        expect(u":");
        result.args.push_back(expression());
        return result;
    }

    Expr binary(std::size_t level) {
        static const std::vector<std::vector<QStringView>> kLevels = {{u"||"},
                                                                      {u"&&"},
                                                                      {u"|"},
                                                                      {u"^"},
                                                                      {u"&"},
                                                                      {u"==", u"!="},
                                                                      {u"<=", u">=", u"<", u">"},
                                                                      {u"<<", u">>"},
                                                                      {u"+", u"-"},
                                                                      {u"*", u"/", u"%"}};
        if (level == kLevels.size()) {
            return unary();
        }
        Expr left = binary(level + 1);
        for (;;) {
            skip();
            const QStringView rest = text_.mid(pos_);
            std::optional<QStringView> found;
            for (const QStringView op : kLevels[level]) {
                // "|" is not "||", "&" not "&&", "<" not "<<", "*" not "**".
                if (rest.startsWith(op) &&
                    !(op.size() == 1 && rest.size() > 1 &&
                      (rest[1] == op[0] || (op[0] == u'<' && rest[1] == u'=') ||
                       (op[0] == u'>' && rest[1] == u'=')))) {
                    found = op;
                    break;
                }
            }
            if (!found || (inBitspec_ && (*found == u"|" || *found == u">"))) {
                return left;
            }
            pos_ += found->size();
            countNode();
            Expr node;
            node.kind = Expr::Kind::Binary;
            node.name = found->toString().toStdString();
            node.args.push_back(std::move(left));
            node.args.push_back(binary(level + 1));
            left = std::move(node);
        }
    }

    Expr unary() {
        const Nested nested(*this);
        countNode();
        skip();
        const QChar c = peek();
        if (c == u'~') {
            // ~ before a bitfield complements the field; before anything else it is "not".
            const qsizetype start = pos_;
            ++pos_;
            Expr operand = power();
            if (operand.kind == Expr::Kind::BitField ||
                operand.kind == Expr::Kind::InfiniteBitField) {
                if (operand.complement) {
                    pos_ = start;
                    fail(QStringLiteral("a bitfield complemented twice"));
                }
                operand.complement = true;
                return operand;
            }
            Expr node;
            node.kind = Expr::Kind::Unary;
            node.name = "~";
            node.args.push_back(std::move(operand));
            return node;
        }
        if (c == u'-' || c == u'!' || c == u'#') {
            ++pos_;
            Expr node;
            node.kind = Expr::Kind::Unary;
            node.name = QString(c).toStdString();
            node.args.push_back(unary());
            return node;
        }
        return power();
    }

    Expr power() {
        Expr base = bitfield();
        if (!accept(u"**")) {
            return base;
        }
        Expr node;
        node.kind = Expr::Kind::Binary;
        node.name = "**";
        node.args.push_back(std::move(base));
        node.args.push_back(unary());
        return node;
    }

    Expr bitfield() {
        Expr value = primary();
        skip();
        if (accept(u"::")) {
            Expr node;
            node.kind = Expr::Kind::InfiniteBitField;
            node.args.push_back(std::move(value));
            node.args.push_back(primary());
            return node;
        }
        // A colon that is a ternary's belongs to the caller: only a width may follow here.
        if (peek() != u':') {
            return value;
        }
        const qsizetype colon = pos_;
        ++pos_;
        skip();
        bool negative = false;
        if (peek() == u'-') {
            negative = true;
            ++pos_;
        }
        if (!(peek().isDigit() || nameStart(peek()) || peek() == u'(')) {
            pos_ = colon;
            return value;
        }
        Expr node;
        node.kind = Expr::Kind::BitField;
        node.args.push_back(std::move(value));
        Expr width = primary();
        if (negative) {
            Expr minus;
            minus.kind = Expr::Kind::Unary;
            minus.name = "-";
            minus.args.push_back(std::move(width));
            width = std::move(minus);
        }
        node.args.push_back(std::move(width));
        if (peek() == u':' && !text_.mid(pos_).startsWith(u"::")) {
            ++pos_;
            node.args.push_back(primary());
        }
        return node;
    }

    Expr primary() {
        skip();
        const QChar c = peek();
        Expr node;
        if (c == u'(') {
            ++pos_;
            const bool outside = inBitspec_;
            inBitspec_ = false;
            node = expression();
            inBitspec_ = outside;
            expect(u")");
        } else if (c.isDigit()) {
            node.number = integer();
        } else if (nameStart(c)) {
            node.kind = Expr::Kind::Name;
            node.name = name();
        } else {
            fail(pos_ >= text_.size() ? QStringLiteral("the text ends too soon")
                                      : QStringLiteral("expected a number, a name or ("));
        }
        return node;
    }

    QStringView text_;
    qsizetype pos_ = 0;
    int depth_ = 0;
    int nodes_ = 0;
    bool inBitspec_ = false; // parsing a bitspec's symbols
};

int64_t maskOf(int64_t width) {
    return width >= kWordBits ? -1 : (int64_t{1} << width) - 1;
}

int64_t reversed(int64_t value, int64_t width) {
    int64_t out = 0;
    for (int64_t i = 0; i < width; ++i) {
        out = (out << 1) | ((value >> i) & 1);
    }
    return out;
}

struct Evaluator {
    const Values& values;
    const std::vector<std::pair<std::string, Expr>>& definitions;
    int depth = 0;

    std::optional<int64_t> operator()(const Expr& e) {
        switch (e.kind) {
        case Expr::Kind::Number:
            return e.number;
        case Expr::Kind::Name: {
            if (const auto it = values.find(e.name); it != values.end()) {
                return it->second;
            }
            for (const auto& [name, definition] : definitions) {
                if (name == e.name) {
                    if (++depth > kDeepestDefinition) {
                        return std::nullopt;
                    }
                    const std::optional<int64_t> v = (*this)(definition);
                    --depth;
                    return v;
                }
            }
            return std::nullopt;
        }
        case Expr::Kind::Unary: {
            const std::optional<int64_t> a = (*this)(e.args[0]);
            if (!a) {
                return std::nullopt;
            }
            switch (e.name[0]) {
            case '-':
                return wrapped(0 - asBits(*a));
            case '~':
                return ~*a;
            case '!':
                return *a == 0 ? 1 : 0;
            default:
                return std::popcount(static_cast<uint64_t>(*a));
            }
        }
        case Expr::Kind::Ternary: {
            const std::optional<int64_t> c = (*this)(e.args[0]);
            if (!c) {
                return std::nullopt;
            }
            return (*this)(e.args[*c != 0 ? 1 : 2]);
        }
        case Expr::Kind::BitField:
        case Expr::Kind::InfiniteBitField:
            return bitfield(e);
        case Expr::Kind::Binary:
            return binary(e);
        }
        return std::nullopt;
    }

    std::optional<int64_t> bitfield(const Expr& e) {
        std::optional<int64_t> value = (*this)(e.args[0]);
        if (!value) {
            return std::nullopt;
        }
        const bool infinite = e.kind == Expr::Kind::InfiniteBitField;
        const std::optional<int64_t> shift =
            infinite ? (*this)(e.args[1]) : (e.args.size() > 2 ? (*this)(e.args[2]) : 0);
        const std::optional<int64_t> width = infinite ? kWordBits : (*this)(e.args[1]);
        if (!shift || !width || *shift < 0 || *shift >= kWordBits || *width == 0 ||
            std::abs(*width) > kWordBits) {
            return std::nullopt;
        }
        int64_t v = *value;
        if (e.complement) {
            v = ~v;
        }
        v = (v >> *shift) & (infinite ? (-1LL >> *shift) : maskOf(std::abs(*width)));
        return *width < 0 ? reversed(v, -*width) : v;
    }

    std::optional<int64_t> binary(const Expr& e) {
        const std::optional<int64_t> a = (*this)(e.args[0]);
        const std::optional<int64_t> b = (*this)(e.args[1]);
        if (!a || !b) {
            return std::nullopt;
        }
        const std::string& op = e.name;
        if (op == "+")
            return wrapped(asBits(*a) + asBits(*b));
        if (op == "-")
            return wrapped(asBits(*a) - asBits(*b));
        if (op == "*")
            return wrapped(asBits(*a) * asBits(*b));
        if (op == "/" || op == "%") {
            if (*b == 0) {
                return std::nullopt;
            }
            if (*b == -1) {
                return op == "/" ? wrapped(0 - asBits(*a)) : 0;
            }
            return op == "/" ? *a / *b : *a % *b;
        }
        if (op == "**") {
            if (*b < 0 || *b >= kWordBits) {
                return std::nullopt;
            }
            uint64_t r = 1;
            for (int64_t i = 0; i < *b; ++i) {
                r *= asBits(*a);
            }
            return wrapped(r);
        }
        if (op == "<<" || op == ">>") {
            if (*b < 0 || *b >= kWordBits) {
                return std::nullopt;
            }
            return op == "<<" ? static_cast<int64_t>(static_cast<uint64_t>(*a) << *b) : *a >> *b;
        }
        if (op == "&")
            return *a & *b;
        if (op == "|")
            return *a | *b;
        if (op == "^")
            return *a ^ *b;
        if (op == "&&")
            return (*a != 0 && *b != 0) ? 1 : 0;
        if (op == "||")
            return (*a != 0 || *b != 0) ? 1 : 0;
        if (op == "==")
            return *a == *b ? 1 : 0;
        if (op == "!=")
            return *a != *b ? 1 : 0;
        if (op == "<")
            return *a < *b ? 1 : 0;
        if (op == ">")
            return *a > *b ? 1 : 0;
        if (op == "<=")
            return *a <= *b ? 1 : 0;
        if (op == ">=")
            return *a >= *b ? 1 : 0;
        return std::nullopt;
    }
};

// Lays a protocol out for one press.
class Flattener {
public:
    Flattener(const Protocol& protocol, const Values& known)
        : protocol_(protocol), values_(known) {}

    Flat run() {
        flat_.msbFirst = protocol_.msbFirst;
        const int top = addBitspec(protocol_.bitspec, -1);
        const Stream& s = protocol_.stream;
        if (s.open) {
            // The whole stream repeats: sent `count` times on the press, then while held.
            for (int i = 0; i < s.count; ++i) {
                items(s.items, top, Intro);
            }
            items(s.items, top, Repeat);
            // A variation of three alternatives gives the release its own copy.
            const bool ending = std::any_of(s.items.begin(), s.items.end(), [](const Item& i) {
                return i.kind == Item::Kind::Variation && i.streams.size() > 2;
            });
            if (ending) {
                items(s.items, top, Ending);
            }
            return finish();
        }
        Part part = Intro;
        for (int copy = 0; copy < s.count; ++copy) {
            for (const Item& item : s.items) {
                if (item.kind == Item::Kind::Stream && item.streams[0].open && part == Intro) {
                    const Stream& inner = item.streams[0];
                    const int bits =
                        inner.bitspec.empty() ? top : addBitspec(inner.bitspec[0], top);
                    for (int i = 0; i < inner.count; ++i) {
                        items(inner.items, bits, Intro);
                    }
                    items(inner.items, bits, Repeat);
                    part = Ending;
                    continue;
                }
                one(item, top, part);
            }
        }
        return finish();
    }

private:
    [[noreturn]] void fail(const QString& message, int column = 0) const {
        throw Failure{Error{column, message}};
    }

    Flat finish() {
        noBitsLeft(0);
        // A part whose variation has no alternative for it is not sent at all.
        for (int part = Intro; part <= Ending; ++part) {
            if (void_[part]) {
                flat_.parts[part].clear();
            }
        }
        return std::move(flat_);
    }

    // A bitspec's symbols as marks and spaces; `outer` is the bitspec of the stream around it,
    // which sends the fixed bits its symbols may hold (Zenith's <1:2|2:2>), or -1.
    int addBitspec(const BitSpec& spec, int outer) {
        FlatBitspec out;
        out.bitsPerSymbol = std::countr_zero(spec.symbols.size());
        // The names its symbols assign: their values make its states.
        std::vector<std::string> names;
        for (const Stream& symbol : spec.symbols) {
            for (const Item& item : symbol.items) {
                if (item.kind == Item::Kind::Assignment &&
                    std::find(names.begin(), names.end(), item.target) == names.end()) {
                    names.push_back(item.target);
                }
            }
        }
        if (names.empty()) {
            for (const Stream& symbol : spec.symbols) {
                Values values = values_;
                out.symbols.push_back(symbolDurations(symbol, outer, values));
            }
            flat_.bitspecs.push_back(std::move(out));
            return static_cast<int>(flat_.bitspecs.size()) - 1;
        }
        if (std::any_of(flat_.bitspecs.begin(), flat_.bitspecs.end(),
                        [](const FlatBitspec& b) { return !b.stateSymbols.empty(); })) {
            fail(QStringLiteral("only one bitspec may assign names"));
        }
        // The states reached from the names' values where the bitspec is first used.
        std::vector<Values> states(1);
        for (const std::string& name : names) {
            Expr e;
            e.kind = Expr::Kind::Name;
            e.name = name;
            const std::optional<int64_t> v = Evaluator{values_, protocol_.definitions}(e);
            if (!v) {
                fail(QStringLiteral("a name a bitspec assigns needs a first value"));
            }
            states[0][name] = *v;
        }
        for (std::size_t at = 0; at < states.size(); ++at) {
            std::vector<std::vector<double>> symbols;
            std::vector<int> next;
            for (const Stream& symbol : spec.symbols) {
                Values values = values_;
                for (const auto& [name, v] : states[at]) {
                    values[name] = v;
                }
                symbols.push_back(symbolDurations(symbol, outer, values));
                Values after;
                for (const std::string& name : names) {
                    after[name] = values[name];
                }
                auto found = std::find(states.begin(), states.end(), after);
                if (found == states.end()) {
                    if (states.size() >= kMostBitspecStates) {
                        fail(QStringLiteral("a bitspec's assignments make too many states"));
                    }
                    states.push_back(after);
                    found = states.end() - 1;
                }
                next.push_back(static_cast<int>(found - states.begin()));
            }
            out.stateSymbols.push_back(std::move(symbols));
            out.nextState.push_back(std::move(next));
        }
        out.symbols = out.stateSymbols[0];
        flat_.bitspecs.push_back(std::move(out));
        return static_cast<int>(flat_.bitspecs.size()) - 1;
    }

    // A symbol's marks and spaces with `values`; the assignments it makes go into them.
    std::vector<double> symbolDurations(const Stream& symbol, int outer, Values& values) const {
        std::vector<double> durations;
        for (const Item& item : symbol.items) {
            if (item.kind == Item::Kind::BitField) {
                outerBits(item, outer, values, durations);
                continue;
            }
            if (item.kind == Item::Kind::Assignment) {
                const std::optional<int64_t> v =
                    Evaluator{values, protocol_.definitions}(item.expr);
                if (!v) {
                    fail(QStringLiteral("a bitspec's assignment must have a fixed value"),
                         item.column);
                }
                values[item.target] = *v;
                continue;
            }
            if (item.kind != Item::Kind::Duration || item.duration.kind == Duration::Kind::Extent) {
                fail(QStringLiteral("bitspec symbols other than marks, spaces and assignments are "
                                    "not supported"),
                     item.column);
            }
            durations.push_back(durationUs(item, values));
        }
        return durations;
    }

    // A symbol's fixed bitfield, sent through the outer bitspec.
    void outerBits(const Item& item, int outer, const Values& values,
                   std::vector<double>& durations) const {
        if (outer < 0) {
            fail(QStringLiteral("a bitfield in a symbol needs a bitspec around it"), item.column);
        }
        Evaluator constant{values, protocol_.definitions};
        const std::optional<int64_t> width = constant(item.expr.args[1]);
        const std::optional<int64_t> value = constant(item.expr);
        const FlatBitspec& spec = flat_.bitspecs[static_cast<std::size_t>(outer)];
        if (!width || !value || *width <= 0 || *width > kWordBits ||
            *width % spec.bitsPerSymbol != 0) {
            fail(QStringLiteral("a bitfield in a symbol must be a fixed number of whole symbols"),
                 item.column);
        }
        const int n = spec.bitsPerSymbol;
        for (int k = 0; k < *width; k += n) {
            // The bits of one outer symbol, in the order the protocol sends them.
            const int from = protocol_.msbFirst ? static_cast<int>(*width) - k - n : k;
            const int64_t v = (*value >> from) & ((int64_t{1} << n) - 1);
            const std::vector<double>& sent = spec.symbols[static_cast<std::size_t>(v)];
            durations.insert(durations.end(), sent.begin(), sent.end());
        }
    }

    double durationUs(const Item& item) const { return durationUs(item, values_); }
    double durationUs(const Item& item, const Values& values) const {
        const Duration& d = item.duration;
        double value = 0;
        if (d.literal) {
            value = *d.literal;
        } else {
            const std::optional<int64_t> v = Evaluator{values, protocol_.definitions}(d.value);
            if (!v) {
                fail(QStringLiteral("a duration that depends on a parameter is not supported"),
                     item.column);
            }
            value = static_cast<double>(*v);
        }
        switch (d.unit) {
        case Duration::Unit::Units:
            value *= protocol_.unitUs();
            break;
        case Duration::Unit::Micro:
            break;
        case Duration::Unit::Milli:
            value *= kKilo;
            break;
        case Duration::Unit::Periods:
            if (protocol_.frequencyHz <= 0) {
                fail(QStringLiteral("carrier periods without a carrier"), item.column);
            }
            value *= 1e6 / protocol_.frequencyHz;
            break;
        }
        return d.kind == Duration::Kind::Gap ? -value : value;
    }

    void items(const std::vector<Item>& list, int bits, Part part) {
        for (const Item& item : list) {
            one(item, bits, part);
        }
    }

    void one(const Item& item, int bits, Part part) {
        if (flat_.parts[part].size() > kMostElements) {
            fail(QStringLiteral("the protocol sends too much"), item.column);
        }
        if (item.kind != Item::Kind::BitField && item.kind != Item::Kind::Assignment) {
            noBitsLeft(item.column);
        }
        auto& out = flat_.parts[part];
        switch (item.kind) {
        case Item::Kind::Duration: {
            FlatElement e;
            e.kind = item.duration.kind == Duration::Kind::Extent ? FlatElement::Kind::Extent
                                                                  : FlatElement::Kind::Duration;
            e.us = durationUs(item);
            out.push_back(e);
            return;
        }
        case Item::Kind::Assignment: {
            const std::optional<int64_t> v = Evaluator{values_, protocol_.definitions}(item.expr);
            if (v) {
                values_[item.target] = *v;
                if (protocol_.parameter(item.target) == nullptr) {
                    assigned_[item.target] = *v;
                }
            } else {
                assigned_.erase(item.target);
                values_.erase(item.target);
            }
            return;
        }
        case Item::Kind::Stream: {
            const Stream& inner = item.streams[0];
            if (inner.open) {
                fail(QStringLiteral("only one part of a protocol may repeat"), item.column);
            }
            const int own = inner.bitspec.empty() ? bits : addBitspec(inner.bitspec[0], bits);
            for (int i = 0; i < inner.count; ++i) {
                items(inner.items, own, part);
            }
            return;
        }
        case Item::Kind::Variation: {
            // The first alternative on the press, the second while the key is held, the third
            // on its release.
            if (static_cast<std::size_t>(part) >= item.streams.size() ||
                item.streams[part].items.empty()) {
                void_[part] = true;
                return;
            }
            items(item.streams[part].items, bits, part);
            return;
        }
        case Item::Kind::BitField:
            field(item, bits, part);
            return;
        }
    }

    void field(const Item& item, int bits, Part part) {
        const Expr& e = item.expr;
        Evaluator constant{values_, protocol_.definitions};
        const std::optional<int64_t> width = constant(e.args[1]);
        const std::optional<int64_t> shift = e.args.size() > 2 ? constant(e.args[2]) : 0;
        if (!width || !shift || *width == 0 || std::abs(*width) > kWordBits || *shift < 0 ||
            *shift >= kWordBits) {
            fail(QStringLiteral("a bitfield's width and shift must be fixed numbers"), item.column);
        }
        FlatField f;
        f.expr = &e.args[0];
        f.width = static_cast<int>(std::abs(*width));
        f.shift = static_cast<int>(*shift);
        f.complement = e.complement;
        f.reverse = *width < 0;
        f.constant = constant(e);
        if (!f.constant) {
            f.assigned = assigned_;
        }
        flat_.fields.push_back(f);
        const int index = static_cast<int>(flat_.fields.size()) - 1;
        if (!pending_.empty() && pendingBitspec_ != bits) {
            fail(QStringLiteral("bits left over before a new bitspec"), item.column);
        }
        pendingBitspec_ = bits;
        const int n = flat_.bitspecs[bits].bitsPerSymbol;
        for (int k = 0; k < f.width; ++k) {
            pending_.emplace_back(index, protocol_.msbFirst ? f.width - 1 - k : k);
            if (static_cast<int>(pending_.size()) == n) {
                FlatElement s;
                s.kind = FlatElement::Kind::Symbol;
                s.bitspec = bits;
                s.bits = std::move(pending_);
                pending_.clear();
                flat_.parts[part].push_back(std::move(s));
            }
        }
    }

    // Bits that do not fill a symbol cannot be sent.
    void noBitsLeft(int column) const {
        if (!pending_.empty()) {
            fail(QStringLiteral("the bits sent do not fill the last symbol"), column);
        }
    }

    const Protocol& protocol_;
    Values values_;
    Values assigned_; // what the stream has assigned so far to names other than parameters
    Flat flat_;
    std::vector<std::pair<int, int>> pending_; // bits waiting for a whole symbol
    int pendingBitspec_ = 0;
    std::array<bool, 3> void_{};
};

} // namespace

const ParameterSpec* Protocol::parameter(const std::string& name) const {
    for (const ParameterSpec& p : parameters) {
        if (p.name == name) {
            return &p;
        }
    }
    return nullptr;
}

Parsed parse(QStringView text) {
    Parsed result;
    try {
        result.protocol = Parser(text).protocol();
    } catch (const Failure& failure) {
        result.error = failure.error;
    }
    return result;
}

std::optional<int64_t> evaluate(const Expr& expr, const Values& values,
                                const std::vector<std::pair<std::string, Expr>>& definitions) {
    return Evaluator{values, definitions}(expr);
}

Flattened flatten(const Protocol& protocol, const Values& known) {
    Flattened result;
    try {
        result.flat = Flattener(protocol, known).run();
    } catch (const Failure& failure) {
        result.error = failure.error.message;
    }
    return result;
}

std::optional<int64_t> fieldValue(const FlatField& field, const Values& values,
                                  const Protocol& protocol) {
    if (field.constant) {
        return field.constant;
    }
    std::optional<int64_t> v;
    if (field.assigned.empty()) {
        v = evaluate(*field.expr, values, protocol.definitions);
    } else {
        Values with = values;
        for (const auto& [name, value] : field.assigned) {
            with.insert_or_assign(name, value);
        }
        v = evaluate(*field.expr, with, protocol.definitions);
    }
    if (!v) {
        return std::nullopt;
    }
    int64_t r = *v;
    if (field.complement) {
        r = ~r;
    }
    r = (r >> field.shift) & maskOf(field.width);
    return field.reverse ? reversed(r, field.width) : r;
}

std::optional<QString> completeValues(const Protocol& protocol, Values& values) {
    // Defaults may refer to other parameters: fill in what can be, until nothing changes.
    for (bool changed = true; changed;) {
        changed = false;
        for (const ParameterSpec& p : protocol.parameters) {
            if (values.count(p.name) == 0 && p.defaultValue) {
                if (const std::optional<int64_t> v =
                        evaluate(*p.defaultValue, values, protocol.definitions)) {
                    values[p.name] = *v;
                    changed = true;
                }
            }
        }
    }
    for (const ParameterSpec& p : protocol.parameters) {
        const auto it = values.find(p.name);
        if (it == values.end()) {
            return QStringLiteral("parameter %1 is missing").arg(QString::fromStdString(p.name));
        }
        if (it->second < p.min || it->second > p.max) {
            return QStringLiteral("parameter %1 = %2 is outside %3..%4")
                .arg(QString::fromStdString(p.name))
                .arg(it->second)
                .arg(p.min)
                .arg(p.max);
        }
    }
    return std::nullopt;
}

Rendered render(const Protocol& protocol, const Values& given, Joined joined) {
    Rendered result;
    Values values = given;
    if (std::optional<QString> error = completeValues(protocol, values)) {
        result.error = *error;
        return result;
    }
    Flattened flat = flatten(protocol, values);
    if (!flat.flat) {
        result.error = flat.error;
        return result;
    }
    Signal signal;
    signal.frequencyHz = protocol.frequencyHz;
    std::array<std::vector<double>*, 3> outs{&signal.intro, &signal.repeat, &signal.ending};
    for (int part = Intro; part <= Ending; ++part) {
        DurationSink sink{outs[part], joined == Joined::Runs};
        double elapsed = 0;
        const std::vector<FlatElement>& elements = flat.flat->parts[part];
        const bool toExtent =
            !elements.empty() && elements.back().kind == FlatElement::Kind::Extent;
        if (part == Intro) {
            signal.introToExtent = toExtent;
        } else if (part == Repeat) {
            signal.repeatToExtent = toExtent;
        }
        // Each bitspec that assigns names starts the part in its first state.
        std::vector<int> states(flat.flat->bitspecs.size(), 0);
        for (const FlatElement& e : elements) {
            switch (e.kind) {
            case FlatElement::Kind::Duration:
                sink.add(e.us);
                elapsed += std::abs(e.us);
                break;
            case FlatElement::Kind::Extent:
                sink.add(-std::max(0.0, e.us - elapsed));
                elapsed = 0;
                break;
            case FlatElement::Kind::Symbol: {
                const FlatBitspec& spec = flat.flat->bitspecs[e.bitspec];
                std::size_t symbol = 0;
                for (std::size_t k = 0; k < e.bits.size(); ++k) {
                    const auto [field, bit] = e.bits[k];
                    const std::optional<int64_t> v =
                        fieldValue(flat.flat->fields[field], values, protocol);
                    if (!v) {
                        result.error = QStringLiteral("a bitfield's value cannot be computed");
                        return result;
                    }
                    symbol |= static_cast<std::size_t>((*v >> bit) & 1)
                              << symbolBit(*flat.flat, k, e.bits.size());
                }
                for (const double us : spec.symbol(states[e.bitspec], symbol)) {
                    sink.add(us);
                    elapsed += std::abs(us);
                }
                states[e.bitspec] = spec.next(states[e.bitspec], symbol);
                break;
            }
            }
        }
    }
    result.signal = std::move(signal);
    return result;
}

} // namespace velmoran::infrared::irp
