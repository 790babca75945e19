#include "infrared/irp/irp_match.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "infrared/ir_runs.h"

namespace velmoran::infrared::irp {

namespace {

// The most steps one attempt may take: a frame whose symbols lie closer than the tolerance can
// be read several ways, and only its checks tell which one is meant.
constexpr int kMostSteps = 20000;
constexpr std::size_t kMostSymbols = 16; // a bitspec has 2, 4, 8 or 16 symbols
constexpr int kMostSeconds = 2;
// Costs closer than this are equal: readings that differ only in where silent symbols lie.
constexpr double kSameCost = 1e-9;
constexpr int kWordBits = 64;
// The matcher goes one call deeper for each symbol: longer parts are not decoded.
constexpr std::size_t kMostDecodedElements = 2000;
// The most bits of parameters that no field sends as they are, tried one combination after
// another: a checksum's own parameter (Eufy's CO) has eight.
constexpr std::size_t kMostGuessedBits = 8;
constexpr int kMostGuesses = 4096;

int64_t maskOf(int width) {
    return width >= kWordBits ? -1 : (int64_t{1} << width) - 1;
}

int64_t reversedBits(int64_t value, int width) {
    int64_t out = 0;
    for (int i = 0; i < width; ++i) {
        out = (out << 1) | ((value >> i) & 1);
    }
    return out;
}

// What a field's bits tell of one parameter: its bits `bits` (a mask) are those of `value`.
struct Learned {
    const std::string* name = nullptr;
    int64_t value = 0;
    int64_t bits = 0;
};

// Whether the known bits are the lowest ones, all of them up to the highest known: what adding
// and taking away need, as they carry upwards.
bool lowestBits(int64_t bits) {
    const auto u = static_cast<uint64_t>(bits);
    return u != 0 && (u & (u + 1)) == 0;
}

// The parameter an expression sends, read back from `value`, of whose bits those of `bits`
// are known: undone through the operations that can be undone bit for bit (a parameter times a
// power of two or shifted, XMP-1's (F*256); a constant added or taken away, arctech's (D-1); a
// constant xored; a complement; a mask); nothing for another expression.
std::optional<Learned> undo(const Expr& e, int64_t value, int64_t bits) {
    if (bits == 0) {
        return std::nullopt;
    }
    if (e.kind == Expr::Kind::Name) {
        return Learned{&e.name, value & bits, bits};
    }
    if (e.kind == Expr::Kind::Unary && e.args.size() == 1) {
        if (e.name == "~") {
            return undo(e.args[0], ~value, bits);
        }
        if (e.name == "-" && lowestBits(bits)) {
            return undo(e.args[0], -value, bits);
        }
        return std::nullopt;
    }
    if (e.kind != Expr::Kind::Binary || e.args.size() != 2) {
        return std::nullopt;
    }
    const bool constantLeft = e.args[0].kind == Expr::Kind::Number;
    const bool constantRight = e.args[1].kind == Expr::Kind::Number;
    if (constantLeft == constantRight) {
        return std::nullopt;
    }
    const Expr& x = e.args[constantLeft ? 1 : 0];
    const int64_t k = e.args[constantLeft ? 0 : 1].number;
    const auto u = static_cast<uint64_t>(value);
    const auto b = static_cast<uint64_t>(bits);
    const auto shifted = [&](int by) {
        return undo(x, static_cast<int64_t>(u >> by), static_cast<int64_t>(b >> by));
    };
    if (e.name == "*" && k > 0 && std::has_single_bit(static_cast<uint64_t>(k))) {
        return shifted(std::countr_zero(static_cast<uint64_t>(k)));
    }
    if (e.name == "<<" && constantRight && k >= 0 && k < kWordBits) {
        return shifted(static_cast<int>(k));
    }
    if (e.name == ">>" && constantRight && k >= 0 && k < kWordBits) {
        return undo(x, static_cast<int64_t>(u << k), static_cast<int64_t>(b << k));
    }
    if (e.name == "^") {
        return undo(x, value ^ k, bits);
    }
    if (e.name == "&") {
        return undo(x, value, bits & k);
    }
    if (e.name == "|") {
        return undo(x, value, bits & ~k);
    }
    if (!lowestBits(bits)) {
        return std::nullopt;
    }
    if (e.name == "+") {
        return undo(x, static_cast<int64_t>(u - static_cast<uint64_t>(k)), bits);
    }
    if (e.name == "-") {
        return constantRight ? undo(x, static_cast<int64_t>(u + static_cast<uint64_t>(k)), bits)
                             : undo(x, static_cast<int64_t>(static_cast<uint64_t>(k) - u), bits);
    }
    return std::nullopt;
}

// Adds the names of parameters an expression depends on, through the definitions, each
// definition followed once (`followed`): definitions that refer to each other in a circle, or
// to one another many times over, stop there.
void addNames(const Expr& e, const Protocol& protocol, std::vector<std::string>& names,
              std::vector<std::string>& followed) {
    if (e.kind == Expr::Kind::Name) {
        const auto definition =
            std::find_if(protocol.definitions.begin(), protocol.definitions.end(),
                         [&e](const auto& d) { return d.first == e.name; });
        if (definition == protocol.definitions.end()) {
            if (std::find(names.begin(), names.end(), e.name) == names.end()) {
                names.push_back(e.name);
            }
        } else if (std::find(followed.begin(), followed.end(), e.name) == followed.end()) {
            followed.push_back(e.name);
            addNames(definition->second, protocol, names, followed);
        }
    }
    for (const Expr& arg : e.args) {
        addNames(arg, protocol, names, followed);
    }
}

struct State {
    std::size_t p = 0;  // the input duration being matched
    double pending = 0; // the nominal duration being built (marks and spaces merge)
    double elapsed = 0; // nominal time since the part's start or its last extent
    double base = 0;    // nominal time from the part's first mark to the pending duration
    double cost = 0;
    double worst = 0;      // the furthest off of the durations taken, as remoteOff weighs it
    double closingOff = 0; // how far the part's closing space lies off, as remoteOff weighs it
    double markOffUs = 0;  // how much longer the last mark taken lasted than its nominal length
    // The marks taken so far, each weighed by how exactly its length is known: how much longer
    // than nominal they lasted, and their weights (the receiver's stretch is the mean).
    double stretchSum = 0;
    double stretchWeight = 0;
    bool symbolSpace = false; // the pending duration is a space that symbols alone send
    int mismatched = 0;       // recording: symbols read against the fixed bits they send
    int second = 0;           // close symbols read as other than the nearest
    bool started = false;     // a mark has been sent
    int bitState = 0;         // the state of the bitspec that assigns names (B&O's)
};

class Matcher {
public:
    Matcher(const CompiledProtocol& compiled, Part part, std::span<const double> input,
            const Values* prior, bool record)
        : c_(compiled), elements_(compiled.flat.parts[part]), input_(input), prior_(prior),
          chunks_(elements_.size(), 0), record_(record),
          partial_((part == Intro && compiled.constantIntro) ||
                   (part != Ending && compiled.endingCompletes)),
          part_(part) {}

    std::optional<Match> run() {
        if (elements_.empty() || input_.empty() || input_[0] <= 0) {
            return std::nullopt;
        }
        dfs(0, State{});
        if (record_ && best_) {
            replay(*best_);
        }
        return best_;
    }

private:
    // Whether measured duration `m` can be nominal `n` (same sign).
    static bool fitsUs(double m, double n) {
        return (m < 0) == (n < 0) && ir::fits(m < 0, std::abs(m), std::abs(n));
    }
    // How much the receiver lengthens this line's marks (and shortens its spaces), from the
    // marks taken so far, each weighed by how closely its length is known (the inverse of the
    // square of a remote's error on it, a fifth, and of the sampling's), and half the most a
    // receiver may as a guess known to within that most: a long mark barely moves the estimate,
    // a frame of many short marks sets it.
    static double stretchOf(const State& s) {
        const double priorWeight = 1 / (ir::kMarkStretchUs * ir::kMarkStretchUs);
        const double estimate = (priorWeight * 0.5 * ir::kMarkStretchUs + s.stretchSum) /
                                (priorWeight + s.stretchWeight);
        return std::clamp(estimate, 0.0, ir::kMarkStretchUs);
    }
    // How far measured `m` lies from nominal `n`, in slacks, once the line's stretch is taken off.
    // A space one unit long that the sampling lengthened reads nearer to two units when every
    // space is taken as shortened by half the most a receiver may: where the marks show no
    // stretch, it is read as it lies. Where symbols lie close, a space is taken with the mark
    // before it: a receiver that lengthens the mark shortens the space as much, and their sum
    // tells the symbols apart.
    double weigh(const State& s, double m, double n) const {
        if (c_.closeSymbols && n < 0) {
            return std::abs(std::abs(m) + s.markOffUs - std::abs(n)) / ir::slackUs(std::abs(n));
        }
        // Signed: a mark loses the stretch, a space gains it.
        return std::abs(std::abs(m - stretchOf(s)) - std::abs(n)) / ir::slackUs(std::abs(n));
    }
    // How far measured `m` lies from nominal `n` as the remote's own timing goes, in parts of
    // its tolerance (a fifth and one and a half samples): of two protocols that read a frame
    // alike, the one whose furthest duration lies nearer is the remote's. Taken as measured: a
    // receiver's stretch lengthens marks and shortens spaces, and moves every protocol's alike.
    static double remoteOff(double m, double n) {
        const double nominal = std::abs(n);
        return std::abs(std::abs(m) - nominal) /
               (nominal * ir::kRelativeTolerance + ir::kAbsoluteToleranceUs);
    }
    // A nominal duration too long for measured `m` however it goes on.
    static bool tooLong(double m, double n) {
        return std::abs(n) - ir::slackUs(std::abs(n)) > ir::centredUs(m < 0, std::abs(m));
    }

    bool complete(State& s, bool last) const {
        if (s.pending == 0) {
            return true;
        }
        if (s.p >= input_.size()) {
            // The input ends in the part's closing space.
            return last && s.pending < 0;
        }
        const double m = input_[s.p];
        if ((m < 0) != (s.pending < 0)) {
            return false;
        }
        if (last && s.pending < 0) {
            if (tooLong(m, s.pending)) {
                return false;
            }
            // The line may rest longer than the closing space, never shorter: a reading that
            // ends its part early (GwtS's last bits read as spaces) pays for a shorter one.
            s.closingOff = remoteOff(m, s.pending);
            if (std::abs(m) < std::abs(s.pending)) {
                s.cost += weigh(s, m, s.pending);
                s.worst = std::max(s.worst, s.closingOff);
            }
        } else {
            if (!fitsUs(m, s.pending)) {
                return false;
            }
            // Symbols that lie close are read within one step of where they lie: no further
            // off than the next symbol.
            if (s.symbolSpace && c_.closeSymbols &&
                std::abs(std::abs(m) + s.markOffUs + s.pending) >= c_.closeStepUs) {
                return false;
            }
            s.cost += weigh(s, m, s.pending);
            s.worst = std::max(s.worst, remoteOff(m, s.pending));
        }
        if (s.pending > 0) {
            s.markOffUs = m - s.pending;
            const double relative = s.pending * ir::kRelativeTolerance;
            const double weight =
                1 / (relative * relative + ir::kAbsoluteToleranceUs * ir::kAbsoluteToleranceUs);
            s.stretchSum += weight * s.markOffUs;
            s.stretchWeight += weight;
        }
        if (replaying_) {
            starts_.push_back(s.base);
        }
        ++s.p;
        s.base += std::abs(s.pending);
        s.pending = 0;
        return true;
    }

    bool add(State& s, double us, bool inSymbol = false) const {
        if (us == 0 || (!s.started && us < 0)) {
            return true;
        }
        s.started = true;
        s.elapsed += std::abs(us);
        if (s.pending != 0 && (s.pending < 0) != (us < 0)) {
            if (!complete(s, false)) {
                return false;
            }
        }
        s.symbolSpace = us < 0 && inSymbol && (s.pending == 0 || s.symbolSpace);
        s.pending += us;
        if (s.p >= input_.size()) {
            return s.pending < 0;
        }
        const double m = input_[s.p];
        return (m < 0) == (s.pending < 0) && !tooLong(m, s.pending);
    }

    // Searches on from element e; every reading that meets all checks is weighed, the one
    // nearest to the nominal durations kept (branches already further off are given up).
    bool dfs(std::size_t e, State s) {
        // A recording weighs first how much of the line a reading takes: one that takes less
        // can cost less (a run of one-unit symbols read as the first run alone).
        if (++steps_ > kMostSteps || (best_ && s.cost >= best_->cost &&
                                      (!record_ || (best_->consumed >= input_.size() &&
                                                    (s.cost > best_->cost + kSameCost ||
                                                     s.mismatched >= bestMismatched_))))) {
            return false;
        }
        for (; e < elements_.size(); ++e) {
            const FlatElement& el = elements_[e];
            if (el.kind == FlatElement::Kind::Duration) {
                if (!add(s, el.us)) {
                    return false;
                }
            } else if (el.kind == FlatElement::Kind::Extent) {
                const double gap = std::max(0.0, el.us - s.elapsed);
                if (!add(s, -gap)) {
                    return false;
                }
                s.elapsed = 0;
            } else {
                return symbol(e, s);
            }
        }
        if (!complete(s, true)) {
            return false;
        }
        return solve(s);
    }

    // Whether the fixed fields among a symbol's bits allow it this value.
    bool constantsAllow(const FlatElement& el, int64_t value) const {
        for (std::size_t k = 0; k < el.bits.size(); ++k) {
            const FlatField& field = c_.flat.fields[el.bits[k].first];
            if (field.constant) {
                const int64_t want = (*field.constant >> el.bits[k].second) & 1;
                if (((value >> symbolBit(c_.flat, k, el.bits.size())) & 1) != want) {
                    return false;
                }
            }
        }
        return true;
    }

    bool symbol(std::size_t e, const State& s) {
        const FlatElement& el = elements_[e];
        const FlatBitspec& spec = c_.flat.bitspecs[el.bitspec];
        struct Candidate {
            int64_t value;
            State state;
        };
        // On the stack: this runs for every symbol of every reading tried.
        std::array<Candidate, kMostSymbols> candidates{};
        std::size_t found = 0;
        for (std::size_t v = 0; v < spec.symbols.size() && v < kMostSymbols; ++v) {
            const auto value = static_cast<int64_t>(v);
            const bool allowed = constantsAllow(el, value);
            if (!record_ && !allowed) {
                continue;
            }
            State t = s;
            t.mismatched += allowed ? 0 : 1;
            t.bitState = spec.next(s.bitState, v);
            bool ok = true;
            for (const double us : spec.symbol(s.bitState, v)) {
                if (!add(t, us, true)) {
                    ok = false;
                    break;
                }
            }
            if (ok) {
                candidates[found++] = {value, t};
            }
        }
        // Nearest first: where symbols lie closer than the tolerance, the checks at the end
        // rarely have to send the search back.
        const auto guess = [this](const State& t) {
            if (t.pending == 0 || t.p >= input_.size() || (input_[t.p] < 0) != (t.pending < 0)) {
                return t.cost;
            }
            return t.cost + weigh(t, input_[t.p], t.pending);
        };
        // Sorted in place, equals keeping their order (std::stable_sort would take a buffer).
        for (std::size_t i = 1; i < found; ++i) {
            for (std::size_t j = i;
                 j > 0 && guess(candidates[j].state) < guess(candidates[j - 1].state); --j) {
                std::swap(candidates[j], candidates[j - 1]);
            }
        }
        for (std::size_t i = 0; i < found; ++i) {
            Candidate& candidate = candidates[i];
            // Where symbols lie close, the checks may move a few symbols off the nearest reading,
            // never many: the search stays small when a frame is not this protocol's.
            if (i > 0 && c_.closeSymbols && !record_ && ++candidate.state.second > kMostSeconds) {
                break;
            }
            chunks_[e] = candidate.value;
            if (dfs(e + 1, candidate.state)) {
                return true;
            }
        }
        return false;
    }

    // Whether the parameters give every field the bits read (and lie in their ranges).
    bool agrees(Values& values, const std::vector<int64_t>& sent,
                const std::vector<bool>& used) const {
        // An intro that sends no parameter matches without them: the repeat brings them.
        if (!partial_ && completeValues(c_.protocol, values)) {
            return false;
        }
        for (std::size_t f = 0; f < c_.flat.fields.size(); ++f) {
            if (!used[f]) {
                continue;
            }
            const std::optional<int64_t> v = fieldValue(c_.flat.fields[f], values, c_.protocol);
            if (!v || *v != sent[f]) {
                return false;
            }
        }
        return true;
    }

    // The parameters the symbols read give, checked against every field. A recording takes the
    // symbols as they lie, whatever the fields say.
    bool solve(const State& s) {
        // Symbols that are spaces before the first mark send nothing: a reading takes at least
        // that mark.
        if (s.p == 0) {
            return false;
        }
        if (record_) {
            // More of the line, then nearer; of two as near, the one whose symbols agree more with
            // the bits the description fixes (a run of one-unit symbols can be read from either
            // end: Lutron's leading ones are fixed).
            const bool nearer = best_ && s.cost < best_->cost - kSameCost;
            const bool asNear = best_ && std::abs(s.cost - best_->cost) <= kSameCost;
            if (!best_ || s.p > best_->consumed ||
                (s.p == best_->consumed &&
                 (nearer || (asNear && s.mismatched < bestMismatched_)))) {
                best_ =
                    Match{prior_ ? *prior_ : Values{}, s.p, s.cost, s.worst, s.closingOff, {}, {}};
                bestChunks_ = chunks_;
                bestMismatched_ = s.mismatched;
            }
            return false;
        }
        const std::size_t fieldCount = c_.flat.fields.size();
        std::vector<int64_t> sent(fieldCount, 0);
        std::vector<bool> used(fieldCount, false);
        for (std::size_t e = 0; e < elements_.size(); ++e) {
            const FlatElement& el = elements_[e];
            if (el.kind == FlatElement::Kind::Symbol) {
                for (std::size_t k = 0; k < el.bits.size(); ++k) {
                    const auto [field, bit] = el.bits[k];
                    sent[field] |= ((chunks_[e] >> symbolBit(c_.flat, k, el.bits.size())) & 1)
                                   << bit;
                    used[field] = true;
                }
            }
        }
        Values values = prior_ ? *prior_ : Values{};
        std::map<std::string, int64_t> known; // bits of each parameter read so far
        for (const auto& [name, value] : values) {
            known[name] = -1;
        }
        for (std::size_t f = 0; f < fieldCount; ++f) {
            const FlatField& field = c_.flat.fields[f];
            if (!used[f] || field.constant || field.shift < 0 ||
                field.shift + std::min(field.width, kWordBits) > kWordBits) {
                continue;
            }
            int64_t v = sent[f];
            if (field.reverse) {
                v = reversedBits(v, field.width);
            }
            if (field.complement) {
                v = ~v & maskOf(field.width);
            }
            const std::optional<Learned> learned = undo(
                *field.expr, static_cast<int64_t>(static_cast<uint64_t>(v) << field.shift),
                static_cast<int64_t>(static_cast<uint64_t>(maskOf(field.width)) << field.shift));
            if (!learned || c_.protocol.parameter(*learned->name) == nullptr) {
                continue;
            }
            int64_t& have = known[*learned->name];
            int64_t& value = values[*learned->name];
            const int64_t both = have & learned->bits;
            if ((value & both) != (learned->value & both)) {
                return false;
            }
            value = (value & ~learned->bits) | learned->value;
            have |= learned->bits;
        }
        // The bits no field sends as they are (G.I.4DTV's third bit of D, in its check bits
        // alone; Eufy's CO, in its checksum alone) are tried, when few, until every field agrees.
        std::vector<std::pair<std::string, int>> guessed; // parameter, bit
        for (const ParameterSpec& p : c_.protocol.parameters) {
            const auto it = known.find(p.name);
            const std::vector<std::string>& told = c_.partNames[part_];
            if (it == known.end() && (p.defaultValue || partial_ ||
                                      std::find(told.begin(), told.end(), p.name) == told.end())) {
                continue;
            }
            const int64_t have = it == known.end() ? 0 : it->second;
            const int width = std::bit_width(static_cast<uint64_t>(std::max<int64_t>(p.max, 0)));
            for (int bit = 0; bit < width && bit < kWordBits; ++bit) {
                if (((have >> bit) & 1) == 0) {
                    guessed.emplace_back(p.name, bit);
                }
            }
        }
        // Every such bit a zero first (a range wider than the bits sent); the others only when
        // they are few.
        const uint64_t guesses = guessed.size() > kMostGuessedBits || guessesLeft_ <= 0
                                     ? 1
                                     : uint64_t{1} << guessed.size();
        guessesLeft_ -= static_cast<int>(guesses);
        for (uint64_t guess = 0; guess < guesses; ++guess) {
            Values tried = values;
            for (std::size_t g = 0; g < guessed.size(); ++g) {
                int64_t& value = tried[guessed[g].first];
                const int64_t bit = int64_t{1} << guessed[g].second;
                value = ((guess >> g) & 1) != 0 ? value | bit : value & ~bit;
            }
            if (agrees(tried, sent, used)) {
                values = std::move(tried);
                break;
            }
            if (guess + 1 == guesses) {
                return false;
            }
        }
        if (!best_ || s.cost < best_->cost) {
            best_ = Match{std::move(values), s.p, s.cost, s.worst, s.closingOff, {}, {}};
        }
        return false;
    }

    // Walks the reading found once more, symbol by symbol, noting where each symbol and each
    // duration taken starts.
    void replay(Match& m) {
        replaying_ = true;
        State s;
        for (std::size_t e = 0; e < elements_.size(); ++e) {
            const FlatElement& el = elements_[e];
            if (el.kind == FlatElement::Kind::Duration) {
                add(s, el.us);
            } else if (el.kind == FlatElement::Kind::Extent) {
                add(s, -std::max(0.0, el.us - s.elapsed));
                s.elapsed = 0;
            } else {
                const FlatBitspec& spec = c_.flat.bitspecs[el.bitspec];
                const auto value = static_cast<std::size_t>(bestChunks_[e]);
                const std::vector<double>& symbol = spec.symbol(s.bitState, value);
                s.bitState = spec.next(s.bitState, value);
                SymbolRead read{s.base + std::abs(s.pending), 0, 0,
                                static_cast<int>(el.bits.size())};
                if (!s.started) {
                    // Spaces before the part's first mark are the line at rest: the symbol
                    // starts that long before it.
                    for (auto us = symbol.begin(); us != symbol.end() && *us < 0; ++us) {
                        read.fromUs += *us;
                    }
                }
                for (const double us : symbol) {
                    add(s, us, true);
                }
                read.toUs = s.base + std::abs(s.pending);
                for (std::size_t k = 0; k < el.bits.size(); ++k) {
                    const int64_t bit =
                        (bestChunks_[e] >> symbolBit(c_.flat, k, el.bits.size())) & 1;
                    read.sent |= static_cast<uint64_t>(bit) << k;
                }
                m.symbols.push_back(read);
            }
        }
        complete(s, true);
        m.startsUs = std::move(starts_);
        m.startsUs.push_back(s.base);
        replaying_ = false;
    }

    const CompiledProtocol& c_;
    const std::vector<FlatElement>& elements_;
    std::span<const double> input_;
    const Values* prior_;
    std::vector<int64_t> chunks_;
    int steps_ = 0;
    std::optional<Match> best_;
    bool record_ = false;
    bool partial_ = false;
    Part part_ = Intro;
    // The combinations of unsent bits one attempt may try, over all its readings: a frame that is
    // not this protocol's gives up soon.
    int guessesLeft_ = kMostGuesses;
    std::vector<int64_t> bestChunks_; // recording: the symbols of the best reading
    int bestMismatched_ = 0;
    mutable bool replaying_ = false;
    mutable std::vector<double> starts_; // replaying: where each duration taken starts
};

// Where two symbols of the bitspec have every duration within the other's tolerance, the least
// by which the lengths of two such symbols differ.
std::optional<double> closeStep(const FlatBitspec& spec) {
    const auto close = [](const std::vector<double>& a, const std::vector<double>& b) {
        if (a.size() != b.size() || a == b) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if ((a[i] < 0) != (b[i] < 0) ||
                std::abs(a[i] - b[i]) > ir::slackUs(std::abs(a[i])) + ir::slackUs(std::abs(b[i]))) {
                return false;
            }
        }
        return true;
    };
    const auto length = [](const std::vector<double>& symbol) {
        double us = 0;
        for (const double d : symbol) {
            us += std::abs(d);
        }
        return us;
    };
    std::optional<double> step;
    for (std::size_t i = 0; i < spec.symbols.size(); ++i) {
        for (std::size_t j = i + 1; j < spec.symbols.size(); ++j) {
            if (close(spec.symbols[i], spec.symbols[j])) {
                const double d = std::abs(length(spec.symbols[i]) - length(spec.symbols[j]));
                if (d > 0) {
                    step = step ? std::min(*step, d) : d;
                }
            }
        }
    }
    return step;
}

} // namespace

bool durationFits(double measured, double nominal) {
    return (measured < 0) == (nominal < 0) &&
           ir::fits(measured < 0, std::abs(measured), std::abs(nominal));
}

Part firstPart(const CompiledProtocol& compiled) {
    return compiled.flat.parts[Intro].empty() ? Repeat : Intro;
}

Compiled compile(const QString& name, const QString& irp, const QString& source) {
    Compiled result;
    Parsed parsed = parse(irp);
    if (!parsed.protocol) {
        result.error = parsed.error;
        return result;
    }
    CompiledProtocol c;
    c.name = name;
    c.irp = irp;
    c.source = source;
    c.protocol = std::move(*parsed.protocol);
    Flattened flat = flatten(c.protocol, {});
    if (!flat.flat) {
        result.error = Error{0, flat.error};
        return result;
    }
    c.flat = std::move(*flat.flat);
    // The fields point into the protocol's expressions, which stay where they are from here on.
    const Part first = c.flat.parts[Intro].empty() ? Repeat : Intro;
    if (c.flat.parts[first].empty()) {
        result.error = Error{0, QStringLiteral("the protocol sends nothing")};
        return result;
    }
    for (const auto& elements : c.flat.parts) {
        if (elements.size() > kMostDecodedElements) {
            result.error = Error{0, QStringLiteral("the protocol is too long to decode")};
            return result;
        }
    }
    for (const FlatElement& e : c.flat.parts[first]) {
        if (e.kind == FlatElement::Kind::Symbol) {
            c.dataBits += c.flat.bitspecs[e.bitspec].bitsPerSymbol;
        }
    }
    for (const FlatBitspec& spec : c.flat.bitspecs) {
        if (const std::optional<double> step = closeStep(spec)) {
            c.closeSymbols = true;
            c.closeStepUs = c.closeStepUs > 0 ? std::min(c.closeStepUs, *step) : *step;
        }
    }
    for (int part = Intro; part <= Ending; ++part) {
        std::vector<bool> seen(c.flat.fields.size(), false);
        std::vector<std::string> followed;
        for (const FlatElement& e : c.flat.parts[static_cast<std::size_t>(part)]) {
            for (const auto& [field, bit] : e.bits) {
                const auto f = static_cast<std::size_t>(field);
                if (!seen[f]) {
                    seen[f] = true;
                    addNames(*c.flat.fields[f].expr, c.protocol,
                             c.partNames[static_cast<std::size_t>(part)], followed);
                }
            }
        }
    }
    const std::vector<std::string>& sent = c.partNames[first];
    const std::vector<std::string>& ended = c.partNames[Ending];
    c.endingCompletes = std::any_of(
        c.protocol.parameters.begin(), c.protocol.parameters.end(), [&](const ParameterSpec& p) {
            return !p.defaultValue && std::find(sent.begin(), sent.end(), p.name) == sent.end() &&
                   std::find(ended.begin(), ended.end(), p.name) != ended.end();
        });
    const auto& intro = c.flat.parts[Intro];
    c.constantIntro =
        !intro.empty() && !c.flat.parts[Repeat].empty() &&
        std::all_of(intro.begin(), intro.end(), [&c](const FlatElement& e) {
            return std::all_of(e.bits.begin(), e.bits.end(), [&c](const std::pair<int, int>& bit) {
                return c.flat.fields[static_cast<std::size_t>(bit.first)].constant.has_value();
            });
        });
    // A leader that a space follows is a quick test of whether a frame can be this protocol's.
    const auto& elements = c.flat.parts[first];
    if (elements.size() > 1 && elements[0].kind == FlatElement::Kind::Duration &&
        elements[0].us > 0 && elements[1].kind == FlatElement::Kind::Duration &&
        elements[1].us < 0) {
        c.firstMarkUs = elements[0].us;
    }
    // So is a first symbol whose every form starts with the same mark and a space (XMP's).
    if (!elements.empty() && elements[0].kind == FlatElement::Kind::Symbol) {
        const auto& symbols =
            c.flat.bitspecs[static_cast<std::size_t>(elements[0].bitspec)].symbols;
        const bool sameMark =
            std::all_of(symbols.begin(), symbols.end(), [&symbols](const std::vector<double>& s) {
                return s.size() > 1 && s[0] > 0 && s[1] < 0 && s[0] == symbols[0][0];
            });
        if (sameMark) {
            c.firstMarkUs = symbols[0][0];
        }
    }
    result.protocol = std::move(c);
    return result;
}

std::optional<Match> matchPart(const CompiledProtocol& compiled, Part part,
                               std::span<const double> durations, const Values* prior) {
    return Matcher(compiled, part, durations, prior, false).run();
}

std::optional<Match> readPart(const CompiledProtocol& compiled, Part part,
                              std::span<const double> durations) {
    return Matcher(compiled, part, durations, nullptr, true).run();
}

} // namespace velmoran::infrared::irp
