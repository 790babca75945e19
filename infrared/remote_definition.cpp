#include "infrared/remote_definition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "core/constants.h"

namespace velmoran::infrared {

namespace {

constexpr double kPercent = 100.0;
constexpr int kMaxCodeBits = 64;
// Encodings the matcher does not read; a remote without an encoding flag is SPACE_ENC.
constexpr uint32_t kOtherEncodings =
    kLircRcmm | kLircSpaceFirst | kLircGoldstar | kLircGrundig | kLircBo | kLircSerial | kLircXmp;

// Whether a measured duration is the nominal one within the remote's tolerance: eps percent
// or aeps µs, whichever is larger, and one sample period more for the edges' sampling.
bool near(const LircRemote& r, double actual, double nominal) {
    const double tolerance =
        std::max(nominal * r.eps / kPercent, static_cast<double>(r.aeps)) + kSamplePeriodUsExact;
    return std::abs(actual - nominal) <= tolerance;
}

int allBits(const LircRemote& r) {
    return r.preDataBits + r.bits + r.postDataBits;
}

// Pulse-distance and pulse-width codes: the durations one by one.
class SpaceEncReader {
public:
    SpaceEncReader(const LircRemote& r, std::span<const int32_t> d) : r_(r), d_(d) {}

    bool pulse(int nominal) {
        if (nominal <= 0) {
            return true;
        }
        if (pos_ >= d_.size() || d_[pos_] <= 0 || !near(r_, d_[pos_], nominal)) {
            return false;
        }
        ++pos_;
        return true;
    }
    // A space the frame ends before is the gap after it.
    bool space(int nominal) {
        if (nominal <= 0 || pos_ >= d_.size()) {
            return true;
        }
        if (d_[pos_] >= 0 || !near(r_, -d_[pos_], nominal)) {
            return false;
        }
        ++pos_;
        return true;
    }
    bool pair(const LircPair& p) { return pulse(p.pulse) && space(p.space); }

    bool bits(int count, uint64_t& value) {
        for (int b = 0; b < count; ++b) {
            if (pos_ >= d_.size() || d_[pos_] <= 0) {
                return false;
            }
            const double mark = d_[pos_];
            const bool ended = pos_ + 1 >= d_.size();
            const double gap = ended ? 0 : -d_[pos_ + 1];
            const auto fits = [&](const LircPair& p) {
                return near(r_, mark, p.pulse) && (ended || (gap > 0 && near(r_, gap, p.space)));
            };
            const bool one = fits(r_.one);
            const bool zero = fits(r_.zero);
            if (one == zero) {
                return false; // neither, or both when the frame ends before the telling space
            }
            value = value << 1 | (one ? 1u : 0u);
            pos_ += ended ? 1 : 2;
        }
        return true;
    }
    bool atEnd() const { return pos_ == d_.size(); }

private:
    const LircRemote& r_;
    std::span<const int32_t> d_;
    std::size_t pos_ = 0;
};

// Bi-phase codes: the durations as runs of half-bit units; a frame may begin inside a space (the
// line idles as one) and end inside one (the gap).
class BiphaseReader {
public:
    BiphaseReader(const LircRemote& r, std::span<const int32_t> d) : r_(r) {
        unit_ = r.one.pulse > 0 ? r.one.pulse : r.zero.pulse;
        ok_ = unit_ > 0;
        for (std::size_t i = 0; ok_ && i < d.size(); ++i) {
            const double us = std::abs(d[i]);
            const int n = static_cast<int>(std::lround(us / unit_));
            ok_ = n >= 1 && near(r, us, static_cast<double>(n) * unit_);
            runs_.push_back({d[i] > 0, n});
        }
    }
    bool ok() const { return ok_; }
    int units(int us) const {
        return static_cast<int>(std::lround(static_cast<double>(us) / unit_));
    }

    bool take(bool mark, int units) {
        while (units > 0) {
            if (i_ >= runs_.size()) {
                return !mark; // the gap after the frame
            }
            Run& run = runs_[i_];
            if (run.mark != mark) {
                if (!mark && !started_) {
                    return true; // the idle line before the frame
                }
                return false;
            }
            const int used = std::min(units, run.units);
            run.units -= used;
            units -= used;
            started_ = true;
            if (run.units == 0) {
                ++i_;
            }
        }
        return true;
    }
    bool nextIsMark() const { return i_ < runs_.size() && runs_[i_].mark; }
    bool atEnd() const { return i_ == runs_.size(); }

private:
    struct Run {
        bool mark;
        int units;
    };
    const LircRemote& r_;
    std::vector<Run> runs_;
    std::size_t i_ = 0;
    int unit_ = 0;
    bool ok_ = false;
    bool started_ = false;
};

std::optional<uint64_t> decodeSpaceEnc(const LircRemote& r, std::span<const int32_t> d) {
    SpaceEncReader in(r, d);
    uint64_t value = 0;
    if (in.pair(r.header) && in.pulse(r.plead) && in.bits(r.preDataBits, value) && in.pair(r.pre) &&
        in.bits(r.bits, value) && in.pair(r.post) && in.bits(r.postDataBits, value) &&
        in.pulse(r.ptrail) && in.atEnd()) {
        return value;
    }
    return std::nullopt;
}

std::optional<uint64_t> decodeBiphase(const LircRemote& r, std::span<const int32_t> d) {
    BiphaseReader in(r, d);
    if (!in.ok()) {
        return std::nullopt;
    }
    if (r.header.pulse > 0 &&
        !(in.take(true, in.units(r.header.pulse)) && in.take(false, in.units(r.header.space)))) {
        return std::nullopt;
    }
    if (r.plead > 0 && !in.take(true, in.units(r.plead))) {
        return std::nullopt;
    }
    const int total = allBits(r);
    uint64_t value = 0;
    for (int b = total - 1; b >= 0; --b) {
        const int k = (r.rc6Mask >> b & 1u) != 0 ? 2 : 1;
        // LIRC's bi-phase 0 is a mark then a space, its 1 a space then a mark.
        const bool one = !in.nextIsMark();
        if (!(in.take(!one, k) && in.take(one, k))) {
            return std::nullopt;
        }
        value = value << 1 | (one ? 1u : 0u);
    }
    if (r.ptrail > 0 && !in.take(true, in.units(r.ptrail))) {
        return std::nullopt;
    }
    return in.atEnd() ? std::optional<uint64_t>(value) : std::nullopt;
}

bool isRepeat(const LircRemote& r, std::span<const int32_t> d) {
    if (r.repeat.pulse <= 0) {
        return false;
    }
    SpaceEncReader in(r, d);
    return in.pulse(r.plead) && in.pair(r.repeat) && in.pulse(r.ptrail) && in.atEnd();
}

bool rawMatches(const LircRemote& r, const LircRawCode& code, std::span<const int32_t> d) {
    std::size_t n = code.durations.size();
    if (n % 2 == 0 && n > 0) {
        --n; // a closing space is the gap
    }
    if (n != d.size()) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if ((d[i] > 0) != (i % 2 == 0) || !near(r, std::abs(d[i]), code.durations[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

uint64_t lircFullCode(const LircRemote& r, uint64_t code) {
    const auto shifted = [](uint64_t v, int bits) { return bits >= kMaxCodeBits ? 0 : v << bits; };
    uint64_t value = r.preData;
    value = shifted(value, r.bits) | code;
    value = shifted(value, r.postDataBits) | r.postData;
    return value;
}

LircMatcher::LircMatcher(const std::vector<LircRemote>& remotes) {
    prepared_.reserve(remotes.size());
    for (const LircRemote& r : remotes) {
        Prepared p{&r, ~(r.toggleBitMask | r.ignoreMask), {}};
        for (std::size_t c = 0; c < r.codes.size(); ++c) {
            p.codeByValue.emplace(lircFullCode(r, r.codes[c].code) & p.mask, static_cast<int>(c));
            for (const uint64_t more : r.codes[c].more) {
                p.codeByValue.emplace(lircFullCode(r, more) & p.mask, static_cast<int>(c));
            }
        }
        prepared_.push_back(std::move(p));
    }
}

LircMatch LircMatcher::match(std::span<const int32_t> d) const {
    LircMatch found;
    for (std::size_t i = 0; i < prepared_.size(); ++i) {
        const Prepared& p = prepared_[i];
        const LircRemote& r = *p.remote;
        const int index = static_cast<int>(i);
        if ((r.flags & kLircRawCodes) != 0) {
            for (std::size_t c = 0; c < r.rawCodes.size(); ++c) {
                if (rawMatches(r, r.rawCodes[c], d)) {
                    return {LircKey{index, static_cast<int>(c), true}, false};
                }
            }
            continue;
        }
        if (allBits(r) <= 0 || allBits(r) > kMaxCodeBits) {
            continue;
        }
        std::optional<uint64_t> value;
        if ((r.flags & (kLircRc5 | kLircRc6)) != 0) {
            value = decodeBiphase(r, d);
        } else if ((r.flags & kOtherEncodings) == 0) {
            value = decodeSpaceEnc(r, d);
        }
        if (value) {
            if (const auto it = p.codeByValue.find(*value & p.mask); it != p.codeByValue.end()) {
                return {LircKey{index, it->second, false}, false};
            }
        } else if (!found.repeat && isRepeat(r, d)) {
            found.repeat = true;
        }
    }
    return found;
}

std::vector<std::optional<LircKey>>
LircMatcher::matchFrames(const std::vector<IrFrame>& frames) const {
    std::vector<std::optional<LircKey>> keys;
    keys.reserve(frames.size());
    std::map<int, std::optional<LircKey>> last; // per channel
    for (const IrFrame& f : frames) {
        const LircMatch m = match(f.durationsUs);
        if (m.key) {
            last[f.channel] = m.key;
            keys.push_back(m.key);
        } else if (m.repeat || (f.analysis.repeatCode && last[f.channel])) {
            // A repeat code repeats the key before it: by the remote's repeat line, or as the
            // analysis of an unknown coding found it.
            keys.push_back(last[f.channel]);
        } else {
            last[f.channel].reset();
            keys.push_back(std::nullopt);
        }
    }
    return keys;
}

} // namespace velmoran::infrared
