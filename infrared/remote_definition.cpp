#include "infrared/remote_definition.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <string>
#include <tuple>

#include "core/constants.h"

namespace velmoran::infrared {

namespace {

using Code = uint64_t;

constexpr int kMaxCodeBits = 64;
constexpr int64_t kPercent = 100;
// Beyond ten times its length a tolerance means nothing more; bounding it keeps the
// arithmetic of any number the reader accepts within 64 bits.
constexpr int64_t kMaxEps = 1000;
constexpr int64_t kMaxDurationUs = 100'000'000;
// LIRC's receive buffer, its count of pulse/space pairs skipped to find a signal's start, the
// shortest wait it asks its input for, and the bits a duration occupies in its mode2 words.
constexpr std::size_t kRecBufferSize = 512;
constexpr int kRecSync = 8;
constexpr int64_t kMinReceiveTimeoutUs = 100000;
constexpr int64_t kPulseMask = 0xFFFFFF;
constexpr int64_t kSyncWaitUs = 1000000;
constexpr int64_t kRcmmGapUs = 1000;
// XMP's nibbles: a space of zero plus n times one, n below 16.
constexpr int kXmpNibbleValues = 16;
constexpr int kXmpNibbleBits = 4;
// Reads of a duration one call may take, over all its channels, before the matcher gives up
// (about a seventh of a second).
constexpr int64_t kWorkBudget = 20'000'000;
// The rest assumed before a lone frame and after the last frame of a channel.
constexpr int32_t kIdleUs = 1000000;
constexpr Code kFailed = ~Code{0};

Code genMask(int bits) {
    return bits >= kMaxCodeBits ? ~Code{0} : bits <= 0 ? 0 : (Code{1} << bits) - 1;
}
Code shiftLeft(Code v, int bits) {
    return bits >= kMaxCodeBits ? 0 : v << bits;
}
Code shiftRight(Code v, int bits) {
    return bits >= kMaxCodeBits ? 0 : v >> bits;
}
Code reverseBits(Code v, int bits) {
    Code out = 0;
    for (int i = 0; i < bits; ++i) {
        out = out << 1 | (v & 1u);
        v >>= 1;
    }
    return out;
}

// A number as LIRC's reader takes one: decimal, 0x hex or 0 octal.
std::optional<Code> lircNumber(const QString& text) {
    const std::string s = text.trimmed().toStdString();
    if (s.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || s.front() == '-') {
        return std::nullopt;
    }
    return v;
}

int64_t clampUs(int64_t us) {
    return std::clamp<int64_t>(us, 0, kMaxDurationUs);
}

struct OtherValues {
    std::map<QString, std::vector<Code>> values;
    std::optional<Code> one(const char* key) const {
        const auto it = values.find(QString::fromLatin1(key));
        return it != values.end() && it->second.size() == 1 ? std::optional(it->second[0])
                                                            : std::nullopt;
    }
    std::pair<int64_t, int64_t> pair(const char* key) const {
        const auto it = values.find(QString::fromLatin1(key));
        if (it == values.end() || it->second.size() != 2) {
            return {0, 0};
        }
        return {clampUs(static_cast<int64_t>(std::min<Code>(it->second[0], kMaxDurationUs))),
                clampUs(static_cast<int64_t>(std::min<Code>(it->second[1], kMaxDurationUs)))};
    }
};

OtherValues otherValues(const LircRemote& r) {
    OtherValues o;
    for (const auto& [key, value] : r.otherParameters) {
        std::vector<Code> numbers;
        for (const QString& word : value.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const std::optional<Code> n = lircNumber(word);
            if (!n) {
                numbers.clear();
                break;
            }
            numbers.push_back(*n);
        }
        o.values[key.toLower()] = numbers;
    }
    return o;
}

// Parameters kept as written that the matcher reads or that only sending uses.
const QStringList& knownParameters() {
    static const QStringList keys{QStringLiteral("two"),          QStringLiteral("three"),
                                  QStringLiteral("toggle_bit"),   QStringLiteral("repeat_bit"),
                                  QStringLiteral("toggle_mask"),  QStringLiteral("repeat_mask"),
                                  QStringLiteral("repeat_gap"),   QStringLiteral("suppress_repeat"),
                                  QStringLiteral("min_repeat"),   QStringLiteral("min_code_repeat"),
                                  QStringLiteral("frequency"),    QStringLiteral("duty_cycle"),
                                  QStringLiteral("manual_sort"),  QStringLiteral("driver"),
                                  QStringLiteral("dyncodes_name")};
    return keys;
}

} // namespace

namespace lirc {

enum class Coding { SpaceEnc, SpaceFirst, Rc5, Rc6, Rcmm, Grundig, Bo, Xmp, Raw, Never };

// A remote as LIRC's receiver holds it after reading: REVERSE applied to the codes, the toggle
// bit turned into its mask, RC-6's mode bits derived when not given.
struct Remote {
    const LircRemote* source = nullptr;
    Coding coding = Coding::Never;
    uint32_t flags = 0;
    int64_t phead = 0, shead = 0, pone = 0, sone = 0, pzero = 0, szero = 0, ptwo = 0, stwo = 0,
            pthree = 0, sthree = 0, plead = 0, ptrail = 0, pfoot = 0, sfoot = 0, prepeat = 0,
            srepeat = 0, preP = 0, preS = 0, postP = 0, postS = 0;
    int bits = 0, preBits = 0, postBits = 0;
    Code preData = 0, postData = 0;
    int64_t gap = 0, gap2 = 0, repeatGap = 0, eps = 0, aeps = 0;
    Code toggleBitMask = 0, toggleMask = 0, rc6Mask = 0, ignoreMask = 0, repeatMask = 0;
    Code initialToggleBitMaskState = 0;
    int suppressRepeat = 0;
    std::vector<std::vector<Code>> codes; // each key's codes, more than one sent in sequence
    bool sequences = false;
    std::vector<std::vector<int64_t>> raw;

    int allBits() const { return preBits + bits + postBits; }
    bool biphase() const { return coding == Coding::Rc5 || coding == Coding::Rc6; }
    bool hasRepeat() const { return prepeat > 0 && srepeat > 0; }
    bool hasHeader() const { return phead > 0 && shead > 0; }
    bool hasFoot() const { return pfoot > 0 && sfoot > 0; }
    bool constLength() const { return (flags & kLircConstLength) != 0; }
    int64_t minGap() const { return gap2 != 0 && gap2 < gap ? gap2 : gap; }
    int64_t maxGap() const { return gap2 > gap ? gap2 : gap; }
    Code gen(Code pre, Code code, Code post) const {
        Code all = pre & genMask(preBits);
        all = shiftLeft(all, bits) | (coding == Coding::Raw ? code : code & genMask(bits));
        return shiftLeft(all, postBits) | (post & genMask(postBits));
    }
    bool matchCode(Code a, Code b) const {
        return (ignoreMask | a) == (ignoreMask | b) ||
               (ignoreMask | a) == (ignoreMask | (b ^ toggleBitMask));
    }
};

Remote prepare(const LircRemote& r) {
    Remote p;
    p.source = &r;
    p.flags = r.flags;
    const OtherValues o = otherValues(r);
    const auto us = [](int v) { return clampUs(v); };
    p.phead = us(r.header.pulse);
    p.shead = us(r.header.space);
    p.pone = us(r.one.pulse);
    p.sone = us(r.one.space);
    p.pzero = us(r.zero.pulse);
    p.szero = us(r.zero.space);
    std::tie(p.ptwo, p.stwo) = o.pair("two");
    std::tie(p.pthree, p.sthree) = o.pair("three");
    p.plead = us(r.plead);
    p.ptrail = us(r.ptrail);
    p.pfoot = us(r.foot.pulse);
    p.sfoot = us(r.foot.space);
    p.prepeat = us(r.repeat.pulse);
    p.srepeat = us(r.repeat.space);
    p.preP = us(r.pre.pulse);
    p.preS = us(r.pre.space);
    p.postP = us(r.post.pulse);
    p.postS = us(r.post.space);
    p.bits = r.bits;
    p.preBits = r.preDataBits;
    p.postBits = r.postDataBits;
    p.preData = r.preData;
    p.postData = r.postData;
    p.gap = us(r.gap);
    p.gap2 = us(r.gap2);
    p.repeatGap = clampUs(static_cast<int64_t>(o.one("repeat_gap").value_or(0) & kPulseMask));
    p.eps = std::clamp<int64_t>(r.eps, 0, kMaxEps);
    p.aeps = clampUs(r.aeps);
    p.toggleBitMask = r.toggleBitMask;
    p.toggleMask = o.one("toggle_mask").value_or(0);
    p.rc6Mask = r.rc6Mask;
    p.ignoreMask = r.ignoreMask;
    p.repeatMask = o.one("repeat_mask").value_or(0);
    p.suppressRepeat = static_cast<int>(
        std::min<Code>(o.one("suppress_repeat").value_or(0), std::numeric_limits<int>::max()));

    const bool bitsFit =
        r.bits >= 0 && r.preDataBits >= 0 && r.postDataBits >= 0 && p.allBits() <= kMaxCodeBits;
    const uint32_t coding =
        r.flags & (kLircRc5 | kLircRc6 | kLircRcmm | kLircSpaceEnc | kLircSpaceFirst |
                   kLircGoldstar | kLircGrundig | kLircBo | kLircSerial | kLircXmp | kLircRawCodes);
    if ((r.flags & kLircRawCodes) != 0) {
        p.coding = coding == kLircRawCodes ? Coding::Raw : Coding::Never;
    } else if (!bitsFit || p.allBits() <= 0) {
        p.coding = Coding::Never;
    } else {
        switch (coding) {
        case 0:
        case kLircSpaceEnc:
            p.coding = Coding::SpaceEnc;
            break;
        case kLircSpaceFirst:
            p.coding = Coding::SpaceFirst;
            break;
        case kLircRc5:
            p.coding = Coding::Rc5;
            break;
        case kLircRc6:
            p.coding = Coding::Rc6;
            break;
        case kLircRcmm:
            p.coding = Coding::Rcmm;
            break;
        case kLircGrundig:
            p.coding = Coding::Grundig;
            break;
        case kLircBo:
            p.coding = Coding::Bo;
            break;
        case kLircXmp:
            p.coding = Coding::Xmp;
            break;
        default:
            p.coding = Coding::Never; // SERIAL, GOLDSTAR, or two encodings at once
            break;
        }
    }
    if (p.coding == Coding::Raw) {
        for (const LircRawCode& c : r.rawCodes) {
            std::vector<int64_t> signal;
            for (const int d : c.durations) {
                signal.push_back(clampUs(d));
            }
            if (!signal.empty() && signal.size() % 2 == 0) {
                signal.pop_back(); // a closing space is the gap
            }
            p.raw.push_back(std::move(signal));
        }
        return p;
    }
    for (const LircCode& c : r.codes) {
        std::vector<Code> sequence{c.code};
        sequence.insert(sequence.end(), c.more.begin(), c.more.end());
        p.sequences = p.sequences || sequence.size() > 1;
        p.codes.push_back(std::move(sequence));
    }
    if ((r.flags & kLircReverse) != 0) {
        if (p.preBits > 0) {
            p.preData = reverseBits(p.preData, p.preBits);
        }
        if (p.postBits > 0) {
            p.postData = reverseBits(p.postData, p.postBits);
        }
        for (std::vector<Code>& sequence : p.codes) {
            for (Code& c : sequence) {
                c = reverseBits(c, p.bits);
            }
        }
    }
    // toggle_bit and repeat_bit count from 1 at the first bit sent, pre data included.
    const int toggleBit = static_cast<int>(std::min<Code>(
        o.one("toggle_bit").value_or(o.one("repeat_bit").value_or(0)), kMaxCodeBits + 1));
    if (toggleBit > 0 && toggleBit <= p.allBits()) {
        const Code bit = Code{1} << (p.allBits() - toggleBit);
        if (p.coding == Coding::Rc6 && p.rc6Mask == 0) {
            p.rc6Mask = bit;
        }
        if (p.toggleBitMask == 0) {
            p.toggleBitMask = bit;
        }
    }
    if (p.toggleBitMask != 0 && !p.codes.empty()) {
        p.initialToggleBitMaskState = p.codes.front().front() & p.toggleBitMask;
        if (p.initialToggleBitMaskState != 0) {
            p.initialToggleBitMaskState ^= p.toggleBitMask;
        }
    }
    return p;
}

struct State {
    int lastCode = -1;
    int reps = 0;
    Code toggleBitMaskState = 0;
    int toggleMaskState = 0;
    int toggleCode = -1;
    std::vector<std::size_t> position; // per key: the code of its sequence awaited next
    int64_t minRemainingGap = 0;
    int64_t maxRemainingGap = 0;
};

struct Context {
    Code pre = 0, code = 0, post = 0;
    bool repeatFlag = false;
    bool repeatSequence = false; // the remote's repeat code, naming the key before it
    int64_t minRemainingGap = 0, maxRemainingGap = 0;
    std::size_t start = 0;
};

// LIRC's receiver over a stream of durations read as from a mode2 file: the same buffer, the
// same pending marks and spaces carried into the next expected duration, the same order of
// tries, so that it names what LIRC names.
class Receiver {
public:
    Receiver(const std::vector<Remote>& remotes, std::span<const int32_t> data, int64_t slack,
             int64_t budget = kWorkBudget)
        : remotes_(remotes), data_(data), slack_(slack), budget_(budget), states_(remotes.size()) {
        for (std::size_t i = 0; i < remotes.size(); ++i) {
            states_[i].toggleBitMaskState = remotes[i].initialToggleBitMaskState;
            states_[i].position.assign(remotes[i].codes.size(), 0);
        }
    }

    // Whether the stream is remote ri's repeat sequence, as it would read after a key of it.
    bool repeatOf(std::size_t ri) {
        const Remote& r = remotes_[ri];
        base_ = rptr_ = wptr_ = 0;
        atEof_ = false;
        if (!r.hasRepeat() || r.coding == Coding::Never || !clear()) {
            return false;
        }
        lastRemote_ = static_cast<int>(ri);
        states_[ri].minRemainingGap = 0;
        if (sync(r, ri) == 0) {
            return false;
        }
        const bool headerOk = !((r.flags & kLircRepeatHeader) != 0 && r.hasHeader()) || header(r);
        return headerOk && repeatCode(r);
    }

    std::vector<LircEvent> run() {
        while (!atEof_ && work_ < budget_) {
            if (!clear()) {
                break;
            }
            decodeAll();
        }
        return std::move(events_);
    }

private:
    // Tolerances, widened by the sampling's slack.
    bool expect(const Remote& r, int64_t delta, int64_t ex) const {
        const int64_t d = std::abs(ex - delta);
        return d <= ex * r.eps / kPercent + slack_ || d <= r.aeps + slack_;
    }
    bool expectAtLeast(const Remote& r, int64_t delta, int64_t ex) const {
        return delta + ex * r.eps / kPercent + slack_ >= ex || delta + r.aeps + slack_ >= ex;
    }
    bool expectAtMost(const Remote& r, int64_t delta, int64_t ex) const {
        return delta <= ex + ex * r.eps / kPercent + slack_ || delta <= ex + r.aeps + slack_;
    }

    // The buffer: a datum is a mark (positive), a space (negative) or nothing (0).
    int64_t next(int64_t maxUs) {
        ++work_;
        if (rptr_ < wptr_) {
            const int64_t v = data_[rptr_++];
            sum_ += std::abs(v);
            return v;
        }
        if (wptr_ - base_ >= kRecBufferSize) {
            return 0;
        }
        if (wptr_ >= data_.size()) {
            // The end of the input comes as a timeout word, which reads as a mark.
            atEof_ = true;
            const int64_t wait = std::max(2 * maxUs, kMinReceiveTimeoutUs);
            return wait & kPulseMask;
        }
        const int64_t v = data_[wptr_++];
        ++rptr_;
        sum_ += std::abs(v);
        return v;
    }
    void unget(int count) {
        for (int i = 0; i < count && rptr_ > base_; ++i) {
            --rptr_;
            sum_ -= std::abs(static_cast<int64_t>(data_[std::min(rptr_, data_.size() - 1)]));
        }
    }
    int64_t pulse(int64_t maxUs) {
        const int64_t v = next(maxUs);
        return v > 0 ? v : 0;
    }
    int64_t space(int64_t maxUs) {
        const int64_t v = next(maxUs);
        return v < 0 ? -v : 0;
    }
    void rewind() {
        rptr_ = base_;
        pendingP_ = pendingS_ = 0;
        sum_ = 0;
    }
    bool clear() {
        if (wptr_ > rptr_ && rptr_ > base_) {
            base_ = rptr_;
        } else {
            base_ = wptr_;
            if (wptr_ >= data_.size()) {
                return false;
            }
            ++wptr_;
        }
        rewind();
        return true;
    }

    bool syncPendingPulse(const Remote& r) {
        if (pendingP_ > 0) {
            const int64_t p = pulse(pendingP_);
            if (p == 0 || !expect(r, p, pendingP_)) {
                return false;
            }
            pendingP_ = 0;
        }
        return true;
    }
    bool syncPendingSpace(const Remote& r) {
        if (pendingS_ > 0) {
            const int64_t s = space(pendingS_);
            if (s == 0 || !expect(r, s, pendingS_)) {
                return false;
            }
            pendingS_ = 0;
        }
        return true;
    }
    bool expectPulse(const Remote& r, int64_t ex) {
        if (!syncPendingSpace(r)) {
            return false;
        }
        const int64_t p = pulse(pendingP_ + ex);
        if (p == 0) {
            return false;
        }
        if (pendingP_ > 0) {
            if (pendingP_ > p || !expect(r, p - pendingP_, ex)) {
                return false;
            }
            pendingP_ = 0;
            return true;
        }
        return expect(r, p, ex);
    }
    bool expectSpace(const Remote& r, int64_t ex) {
        if (!syncPendingPulse(r)) {
            return false;
        }
        const int64_t s = space(pendingS_ + ex);
        if (s == 0) {
            return false;
        }
        if (pendingS_ > 0) {
            if (pendingS_ > s || !expect(r, s - pendingS_, ex)) {
                return false;
            }
            pendingS_ = 0;
            return true;
        }
        return expect(r, s, ex);
    }
    bool rc6Double(const Remote& r, int bit) const {
        const int shift = r.allBits() - 1 - bit;
        return shift >= 0 && shift < kMaxCodeBits && ((Code{1} << shift) & r.rc6Mask) != 0;
    }
    bool expectOne(const Remote& r, int bit) {
        if (r.biphase()) {
            const int64_t k = rc6Double(r, bit) ? 2 : 1;
            if (r.sone > 0 && !expectSpace(r, k * r.sone)) {
                unget(1);
                return false;
            }
            pendingP_ = k * r.pone;
        } else if (r.coding == Coding::SpaceFirst) {
            if (r.sone > 0 && !expectSpace(r, r.sone)) {
                unget(1);
                return false;
            }
            if (r.pone > 0 && !expectPulse(r, r.pone)) {
                unget(2);
                return false;
            }
        } else {
            if (r.pone > 0 && !expectPulse(r, r.pone)) {
                unget(1);
                return false;
            }
            if (r.ptrail > 0) {
                if (r.sone > 0 && !expectSpace(r, r.sone)) {
                    unget(2);
                    return false;
                }
            } else {
                pendingS_ = r.sone;
            }
        }
        return true;
    }
    bool expectZero(const Remote& r, int bit) {
        if (r.biphase()) {
            const int64_t k = rc6Double(r, bit) ? 2 : 1;
            if (!expectPulse(r, k * r.pzero)) {
                unget(1);
                return false;
            }
            pendingS_ = k * r.szero;
        } else if (r.coding == Coding::SpaceFirst) {
            if (r.szero > 0 && !expectSpace(r, r.szero)) {
                unget(1);
                return false;
            }
            if (r.pzero > 0 && !expectPulse(r, r.pzero)) {
                unget(2);
                return false;
            }
        } else {
            if (!expectPulse(r, r.pzero)) {
                unget(1);
                return false;
            }
            if (r.ptrail > 0) {
                if (!expectSpace(r, r.szero)) {
                    unget(2);
                    return false;
                }
            } else {
                pendingS_ = r.szero;
            }
        }
        return true;
    }

    // The space before a signal; after a named signal it must be one that can end it.
    int64_t sync(const Remote& r, std::size_t ri) {
        int64_t s = space(kSyncWaitUs);
        if (s == 0) {
            return 0;
        }
        if (lastRemote_ >= 0 && r.coding != Coding::Rcmm) {
            const Remote& last = remotes_[static_cast<std::size_t>(lastRemote_)];
            const State& ls = states_[static_cast<std::size_t>(lastRemote_)];
            int count = 0;
            while (!expectAtLeast(last, s, ls.minRemainingGap)) {
                if (pulse(kSyncWaitUs) == 0) {
                    return 0;
                }
                s = space(kSyncWaitUs);
                if (s == 0 || ++count > kRecSync) {
                    return 0;
                }
            }
            if (r.toggleMask != 0 && !expectAtMost(last, s, ls.maxRemainingGap)) {
                states_[ri].toggleMaskState = 0;
                states_[ri].toggleCode = -1;
            }
        }
        sum_ = 0;
        return s;
    }

    bool header(const Remote& r) {
        if (r.coding == Coding::Rcmm) {
            const int64_t p = pulse(r.phead);
            if (p == 0) {
                unget(1);
                return false;
            }
            const int64_t s = space(r.shead);
            if (s == 0) {
                unget(2);
                return false;
            }
            if (expect(r, p + s, r.phead + r.shead)) {
                return true;
            }
            unget(2);
            return false;
        }
        if (r.coding == Coding::Bo) {
            return expectPulse(r, r.pone) && expectSpace(r, r.sone) && expectPulse(r, r.pone) &&
                   expectSpace(r, r.sone) && expectPulse(r, r.phead) && expectSpace(r, r.shead);
        }
        if (r.shead == 0) {
            if (!syncPendingSpace(r)) {
                return false;
            }
            pendingP_ = r.phead;
            return true;
        }
        if (!expectPulse(r, r.phead)) {
            unget(1);
            return false;
        }
        // Without a header on repeats, decide now whether this is one.
        if ((r.flags & kLircNoHeadRep) != 0) {
            const int64_t s = space(r.shead);
            if (s != 0) {
                if (expect(r, r.shead, s)) {
                    return true;
                }
                unget(2);
                return false;
            }
        }
        pendingS_ = r.shead;
        return true;
    }
    bool lead(const Remote& r) {
        if (r.plead == 0) {
            return true;
        }
        if (!syncPendingSpace(r)) {
            return false;
        }
        pendingP_ = r.plead;
        return true;
    }
    bool trail(const Remote& r) {
        if (r.ptrail != 0 && !expectPulse(r, r.ptrail)) {
            return false;
        }
        return pendingP_ <= 0 || syncPendingPulse(r);
    }
    bool gapAfter(const Remote& r, int64_t gap) {
        const int64_t d = next(gap - gap * r.eps / kPercent);
        if (d == 0) {
            return true;
        }
        if (d > 0) {
            return false;
        }
        unget(1);
        return expectAtLeast(r, -d, gap);
    }
    bool repeatCode(const Remote& r) {
        if (!lead(r)) {
            return false;
        }
        if (r.biphase()) {
            if (!expectSpace(r, r.srepeat) || !expectPulse(r, r.prepeat)) {
                return false;
            }
        } else {
            if (!expectPulse(r, r.prepeat)) {
                return false;
            }
            pendingS_ = r.srepeat;
        }
        if (!trail(r)) {
            return false;
        }
        return gapAfter(r, remainingGapAfterRepeat(r, true));
    }
    int64_t remainingGapAfterRepeat(const Remote& r, bool least) const {
        const int64_t g = least ? r.minGap() : r.maxGap();
        if (r.constLength()) {
            return g > sum_ ? g - sum_ : 0;
        }
        return r.repeatGap > 0 ? r.repeatGap : g;
    }

    Code data(const Remote& r, int bits, int done) {
        Code code = 0;
        switch (r.coding) {
        case Coding::Rcmm: {
            if (bits % 2 != 0 || done % 2 != 0) {
                return kFailed;
            }
            if (!syncPendingSpace(r)) {
                return 0;
            }
            for (int i = 0; i < bits; i += 2) {
                code <<= 2;
                const int64_t p = pulse(r.pzero + r.pone + r.ptwo + r.pthree);
                const int64_t s = space(r.szero + r.sone + r.stwo + r.sthree);
                if (p == 0 || s == 0) {
                    return kFailed;
                }
                const int64_t sum = p + s;
                if (expect(r, sum, r.pzero + r.szero)) {
                    code |= 0;
                } else if (expect(r, sum, r.pone + r.sone)) {
                    code |= 1;
                } else if (expect(r, sum, r.ptwo + r.stwo)) {
                    code |= 2;
                } else if (expect(r, sum, r.pthree + r.sthree)) {
                    code |= 3;
                } else {
                    return kFailed;
                }
            }
            return code;
        }
        case Coding::Grundig: {
            if (bits % 2 != 0 || done % 2 != 0 || !syncPendingPulse(r)) {
                return kFailed;
            }
            int last = -1;
            for (int i = 0; i < bits;) {
                const int64_t s = space(r.szero + r.sone + r.stwo + r.sthree);
                const int64_t p = pulse(r.pzero + r.pone + r.ptwo + r.pthree);
                if (s == 0 || p == 0) {
                    return kFailed;
                }
                const int64_t sum = s + p;
                int state = -1;
                if (expect(r, sum, r.szero + r.pzero)) {
                    state = 0;
                } else if (expect(r, sum, r.sone + r.pone)) {
                    state = 1;
                } else if (expect(r, sum, r.stwo + r.ptwo)) {
                    state = 2;
                } else if (expect(r, sum, r.sthree + r.pthree)) {
                    state = 3;
                } else {
                    return kFailed;
                }
                // Two bits per pair of lengths: 6T, 4T2T, 3T3T, 2T4T give 00, 01, 10, 11.
                int pairBits = -1;
                if (state == 3) {
                    pairBits = 0;
                } else if (last == 2 && state == 0) {
                    pairBits = 1;
                } else if (last == 1 && state == 1) {
                    pairBits = 2;
                } else if (last == 0 && state == 2) {
                    pairBits = 3;
                } else if (last != -1) {
                    return kFailed;
                }
                if (pairBits >= 0) {
                    i += 2;
                    code = code << 2 | static_cast<Code>(pairBits);
                    state = -1;
                }
                last = state;
            }
            return code;
        }
        case Coding::Bo: {
            bool lastOne = true;
            for (int i = 0; i < bits; ++i) {
                code <<= 1;
                const int64_t p = pulse(r.pzero + r.pone + r.ptwo + r.pthree);
                const int64_t s = space(r.szero + r.sone + r.stwo + r.sthree);
                if (p == 0 || s == 0) {
                    return kFailed;
                }
                // A bit's lengths depend on the bit before it.
                const int64_t p0 = lastOne ? r.pone : r.ptwo;
                const int64_t s0 = lastOne ? r.sone : r.stwo;
                const int64_t p1 = lastOne ? r.ptwo : r.pthree;
                const int64_t s1 = lastOne ? r.stwo : r.sthree;
                if (expect(r, p, p0) && expect(r, s, s0)) {
                    lastOne = false;
                } else if (expect(r, p, p1) && expect(r, s, s1)) {
                    code |= 1;
                    lastOne = true;
                } else {
                    return kFailed;
                }
            }
            return code;
        }
        case Coding::Xmp: {
            if (bits % kXmpNibbleBits != 0 || done % kXmpNibbleBits != 0) {
                return kFailed;
            }
            if (!syncPendingSpace(r)) {
                return 0;
            }
            for (int i = 0; i < bits; i += kXmpNibbleBits) {
                code <<= kXmpNibbleBits;
                const int64_t p = pulse(r.pzero);
                const int64_t s = space(r.szero + kXmpNibbleValues * r.sone);
                if (p == 0 || s == 0 || r.sone <= 0) {
                    return kFailed;
                }
                const int64_t rest = p + s - (r.pzero + r.szero);
                const int64_t n = (rest + r.sone / 2) / r.sone;
                if (n < 0 || n >= kXmpNibbleValues) {
                    return kFailed;
                }
                code |= static_cast<Code>(n);
            }
            return code;
        }
        default:
            break;
        }
        for (int i = 0; i < bits; ++i) {
            code <<= 1;
            if (expectOne(r, done + i)) {
                code |= 1;
            } else if (!expectZero(r, done + i)) {
                return kFailed;
            }
        }
        return code;
    }

    std::optional<Context> decode(const Remote& r, std::size_t ri) {
        Context ctx;
        State& st = states_[ri];
        rewind();
        const int64_t syncSpace = sync(r, ri);
        if (syncSpace == 0) {
            return std::nullopt;
        }
        ctx.start = rptr_;
        if (r.hasRepeat() && lastRemote_ == static_cast<int>(ri)) {
            // With REPEAT_HEADER a signal without the header is no signal of this remote.
            if ((r.flags & kLircRepeatHeader) != 0 && r.hasHeader() && !header(r)) {
                return std::nullopt;
            }
            if (repeatCode(r)) {
                if (st.lastCode < 0) {
                    return std::nullopt;
                }
                ctx.code = static_cast<Code>(st.lastCode);
                ctx.repeatFlag = true;
                ctx.repeatSequence = true;
                ctx.minRemainingGap = remainingGapAfterRepeat(r, true);
                ctx.maxRemainingGap = remainingGapAfterRepeat(r, false);
                return ctx;
            }
            rewind();
            sync(r, ri);
        }
        bool hadHeader = false;
        if (r.hasHeader()) {
            hadHeader = header(r);
            if (!hadHeader &&
                !((r.flags & kLircNoHeadRep) != 0 && expectAtMost(r, syncSpace, r.maxGap()))) {
                return std::nullopt;
            }
        }
        if (r.coding == Coding::Raw) {
            int found = -1;
            for (std::size_t c = 0; c < r.raw.size() && found < 0; ++c) {
                found = static_cast<int>(c);
                const std::vector<int64_t>& signal = r.raw[c];
                for (std::size_t i = 0; i < signal.size();) {
                    const bool ok =
                        i % 2 == 0 ? expectPulse(r, signal[i]) : expectSpace(r, signal[i]);
                    ++i;
                    if (!ok) {
                        found = -1;
                        rewind();
                        sync(r, ri);
                        break;
                    }
                }
                if (found >= 0 && !gapAfter(r, r.constLength() ? r.minGap() - sum_ : r.minGap())) {
                    found = -1;
                }
            }
            if (found < 0) {
                return std::nullopt;
            }
            ctx.code = static_cast<Code>(found);
        } else {
            if (r.coding == Coding::Never || !lead(r)) {
                return std::nullopt;
            }
            if (r.preBits > 0) {
                ctx.pre = data(r, r.preBits, 0);
                if (ctx.pre == kFailed) {
                    return std::nullopt;
                }
                if (r.preP > 0 && r.preS > 0) {
                    if (!expectPulse(r, r.preP)) {
                        return std::nullopt;
                    }
                    pendingS_ = r.preS;
                }
            }
            ctx.code = data(r, r.bits, r.preBits);
            if (ctx.code == kFailed) {
                return std::nullopt;
            }
            if (r.postBits > 0) {
                if (r.postP > 0 && r.postS > 0) {
                    if (!expectPulse(r, r.postP)) {
                        return std::nullopt;
                    }
                    pendingS_ = r.postS;
                }
                ctx.post = data(r, r.postBits, r.preBits + r.bits);
                if (ctx.post == kFailed) {
                    return std::nullopt;
                }
            }
            if (!trail(r)) {
                return std::nullopt;
            }
            if (r.hasFoot() && !(expectSpace(r, r.sfoot) && expectPulse(r, r.pfoot))) {
                return std::nullopt;
            }
            if (hadHeader && r.constLength() && (r.flags & kLircNoHeadRep) != 0) {
                sum_ -= r.phead + r.shead;
            }
            int64_t gap = r.minGap();
            if (r.coding == Coding::Rcmm) {
                gap = kRcmmGapUs;
            } else if (r.constLength()) {
                gap = r.minGap() > sum_ ? r.minGap() - sum_ : 0;
            }
            if (!gapAfter(r, gap)) {
                return std::nullopt;
            }
        }
        ctx.repeatFlag = !r.hasRepeat() && expectAtMost(r, syncSpace, st.maxRemainingGap);
        if (r.constLength()) {
            ctx.minRemainingGap = r.minGap() > sum_ ? r.minGap() - sum_ : 0;
            ctx.maxRemainingGap = r.maxGap() > sum_ ? r.maxGap() - sum_ : 0;
        } else {
            ctx.minRemainingGap = r.minGap();
            ctx.maxRemainingGap = r.maxGap();
        }
        return ctx;
    }

    // The key whose code was read, or -1; also the toggle bits it was sent with.
    int findCode(const Remote& r, std::size_t ri, Context ctx, Code& toggleState) {
        State& st = states_[ri];
        if (r.coding == Coding::Raw || ctx.repeatSequence) {
            toggleState = st.toggleBitMaskState;
            return static_cast<int>(ctx.code);
        }
        Code preMask = shiftRight(r.toggleBitMask | r.ignoreMask, r.bits + r.postBits);
        Code postMask = (r.toggleBitMask | r.ignoreMask) & genMask(r.postBits);
        if (r.toggleMask != 0 && st.toggleMaskState % 2 != 0) {
            // Every other copy is sent with these bits inverted.
            Code mask = r.toggleMask;
            for (int bit = 0; bit < r.allBits(); ++bit, mask >>= 1) {
                Code& affected = bit < r.postBits            ? ctx.post
                                 : bit < r.postBits + r.bits ? ctx.code
                                                             : ctx.pre;
                const int at = bit < r.postBits            ? bit
                               : bit < r.postBits + r.bits ? bit - r.postBits
                                                           : bit - r.postBits - r.bits;
                affected ^= (mask & 1u) << at;
            }
        }
        if (r.preBits > 0 && (ctx.pre | preMask) != (r.preData | preMask)) {
            return -1;
        }
        if (r.postBits > 0 && (ctx.post | postMask) != (r.postData | postMask)) {
            return -1;
        }
        Code all = r.gen(ctx.pre, ctx.code, ctx.post);
        if (ctx.repeatFlag && r.repeatMask != 0) {
            all ^= r.repeatMask;
        }
        toggleState = all & r.toggleBitMask;
        const auto matches = [&](Code code) {
            const Code candidate = r.gen(r.preData, code, r.postData);
            return r.matchCode(candidate, all) || (ctx.repeatFlag && r.repeatMask != 0 &&
                                                   r.matchCode(candidate, all ^ r.repeatMask));
        };
        int found = -1;
        bool complete = false;
        for (std::size_t c = 0; c < r.codes.size(); ++c) {
            const std::vector<Code>& sequence = r.codes[c];
            std::size_t& at = st.position[c];
            if (matches(sequence[at])) {
                at = at + 1 < sequence.size() ? at + 1 : 0;
                if (!complete) {
                    found = static_cast<int>(c);
                    complete = at == 0;
                }
            } else if (at != 0) {
                // A sequence broken off may begin again with this code.
                at = matches(sequence[0]) ? 1 : 0;
                if (at != 0 && !complete) {
                    found = static_cast<int>(c);
                }
            }
            if (complete && !r.sequences) {
                break;
            }
        }
        if (found >= 0 && r.toggleMask != 0) {
            if (st.toggleMaskState % 2 == 0) {
                st.toggleCode = found;
            } else {
                const bool same = found == st.toggleCode;
                st.toggleCode = -1;
                if (!same) {
                    return -1;
                }
            }
        }
        return found;
    }

    void decodeAll() {
        for (std::size_t ri = 0; ri < remotes_.size() && work_ < budget_; ++ri) {
            const Remote& r = remotes_[ri];
            State& st = states_[ri];
            const std::optional<Context> ctx = decode(r, ri);
            if (ctx) {
                Code toggleState = 0;
                const int found = findCode(r, ri, *ctx, toggleState);
                if (found >= 0) {
                    const std::size_t key = static_cast<std::size_t>(found);
                    const bool sequence =
                        !ctx->repeatSequence && r.codes.size() > key && r.codes[key].size() > 1;
                    const bool incomplete = sequence && st.position[key] != 0;
                    name(r, ri, found, toggleState, *ctx, sequence, incomplete);
                    if ((r.toggleMask != 0 && st.toggleMaskState % 2 != 0) || incomplete) {
                        return;
                    }
                    for (State& other : states_) {
                        std::fill(other.position.begin(), other.position.end(), 0);
                    }
                    int reps = st.reps - (sequence ? 1 : 0);
                    if (reps > 0) {
                        if (reps <= r.suppressRepeat) {
                            return;
                        }
                        reps -= r.suppressRepeat;
                    }
                    events_.push_back(
                        {ctx->start, LircKey{static_cast<int>(ri), found, r.coding == Coding::Raw},
                         reps});
                    return;
                }
            }
            st.toggleMaskState = 0;
        }
        lastRemote_ = -1;
    }

    void name(const Remote& r, std::size_t ri, int found, Code toggleState, const Context& ctx,
              bool sequence, bool incomplete) {
        State& st = states_[ri];
        const int index = static_cast<int>(ri);
        if (lastDecoded_ == index && (found == st.lastCode || incomplete) && ctx.repeatFlag &&
            (r.toggleBitMask == 0 || toggleState == st.toggleBitMaskState)) {
            if (r.toggleMask != 0) {
                if (++st.toggleMaskState == 4) {
                    ++st.reps;
                    st.toggleMaskState = 2;
                }
            } else if (!incomplete) {
                ++st.reps;
            }
        } else {
            st.reps = sequence && !incomplete ? 1 : 0;
            if (r.toggleMask != 0) {
                st.toggleMaskState = 1;
                st.toggleCode = found;
            }
            if (r.toggleBitMask != 0) {
                st.toggleBitMaskState = toggleState;
            }
        }
        lastRemote_ = index;
        lastDecoded_ = index;
        if (!incomplete) {
            st.lastCode = found;
        }
        st.minRemainingGap = ctx.minRemainingGap;
        st.maxRemainingGap = ctx.maxRemainingGap;
    }

    const std::vector<Remote>& remotes_;
    std::span<const int32_t> data_;
    int64_t slack_;
    int64_t budget_;
    std::vector<State> states_;
    std::vector<LircEvent> events_;
    std::size_t base_ = 0, rptr_ = 0, wptr_ = 0;
    int64_t sum_ = 0, pendingP_ = 0, pendingS_ = 0;
    int64_t work_ = 0;
    bool atEof_ = false;
    int lastRemote_ = -1;
    int lastDecoded_ = -1;
};

} // namespace lirc

uint64_t lircFullCode(const LircRemote& r, uint64_t code) {
    Code value = r.preData;
    value = shiftLeft(value, r.bits) | code;
    value = shiftLeft(value, r.postDataBits) | r.postData;
    return value;
}

LircMatcher::LircMatcher(const std::vector<LircRemote>& remotes, double slackUs)
    : slackUs_(slackUs < 0 ? kSamplePeriodUsExact : slackUs) {
    remotes_.reserve(remotes.size());
    for (const LircRemote& r : remotes) {
        remotes_.push_back(lirc::prepare(r));
    }
}

LircMatcher::~LircMatcher() = default;

std::vector<LircEvent> LircMatcher::events(std::span<const int32_t> d) const {
    return lirc::Receiver(remotes_, d, static_cast<int64_t>(std::ceil(slackUs_))).run();
}

LircMatch LircMatcher::match(std::span<const int32_t> d) const {
    std::vector<int32_t> stream;
    stream.reserve(d.size() + 2);
    stream.push_back(-kIdleUs);
    for (const int32_t v : d) {
        if (v != 0) {
            stream.push_back(v);
        }
    }
    stream.push_back(-kIdleUs);
    LircMatch found;
    for (const LircEvent& e : events(stream)) {
        found.key = e.key;
        return found;
    }
    // A repeat sequence names a key only after one: say whether this is one.
    lirc::Receiver probe(remotes_, stream, static_cast<int64_t>(std::ceil(slackUs_)));
    for (std::size_t i = 0; i < remotes_.size() && !found.repeat; ++i) {
        found.repeat = probe.repeatOf(i);
    }
    return found;
}

std::vector<std::pair<std::size_t, LircEvent>>
LircMatcher::frameEvents(const std::vector<IrFrame>& frames) const {
    std::vector<std::pair<std::size_t, LircEvent>> out;
    std::map<int, std::vector<std::size_t>> byChannel;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        byChannel[frames[i].channel].push_back(i);
    }
    for (const auto& [channel, indices] : byChannel) {
        std::vector<int32_t> stream;
        std::vector<std::size_t> owner; // the frame each duration belongs to
        int64_t lastEnd = -1;
        for (const std::size_t i : indices) {
            const IrFrame& f = frames[i];
            const double restUs = lastEnd < 0 ? f.startSample * kSamplePeriodUsExact
                                              : (f.startSample - lastEnd) * kSamplePeriodUsExact;
            const int32_t rest = static_cast<int32_t>(
                std::clamp(std::lround(restUs), 1L, static_cast<long>(kMaxDurationUs)));
            if (lastEnd < 0 && f.startSample <= 0) {
                // The capture starts inside this frame: no rest before it.
            } else if (!stream.empty() && stream.back() < 0) {
                stream.back() -= rest;
            } else {
                stream.push_back(-rest);
                owner.push_back(i);
            }
            for (const int32_t v : f.durationsUs) {
                if (v == 0) {
                    continue;
                }
                if (!stream.empty() && (stream.back() < 0) == (v < 0)) {
                    stream.back() += v; // two runs of one level join
                } else {
                    stream.push_back(v);
                    owner.push_back(i);
                }
            }
            lastEnd = std::max(lastEnd, f.endSample);
        }
        stream.push_back(-kIdleUs);
        owner.push_back(indices.empty() ? 0 : indices.back());
        const int64_t budget = kWorkBudget / static_cast<int64_t>(byChannel.size());
        for (const LircEvent& e :
             lirc::Receiver(remotes_, stream, static_cast<int64_t>(std::ceil(slackUs_)), budget)
                 .run()) {
            if (e.position < owner.size()) {
                out.emplace_back(owner[e.position], e);
            }
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return out;
}

std::vector<std::optional<LircKey>>
LircMatcher::matchFrames(const std::vector<IrFrame>& frames) const {
    std::vector<std::optional<LircKey>> keys(frames.size());
    for (const auto& [frame, event] : frameEvents(frames)) {
        if (!keys[frame]) {
            keys[frame] = event.key;
        }
    }
    return keys;
}

std::vector<QString> lircUnhonoured(const LircRemote& r) {
    std::vector<QString> out;
    const lirc::Remote p = lirc::prepare(r);
    const auto never = [&](const QString& why) {
        out.push_back(QStringLiteral("remote %1 can never match: %2").arg(r.name, why));
    };
    if ((r.flags & kLircSerial) != 0) {
        never(QStringLiteral("flag SERIAL is not honoured"));
    } else if ((r.flags & kLircGoldstar) != 0) {
        never(QStringLiteral("flag GOLDSTAR is not honoured"));
    } else if (p.coding == lirc::Coding::Never) {
        if ((r.flags & kLircRawCodes) != 0) {
            never(QStringLiteral("RAW_CODES with another encoding"));
        } else if (p.allBits() <= 0 || p.allBits() > kMaxCodeBits) {
            never(QStringLiteral("its bits (%1) are not 1 to 64").arg(p.allBits()));
        } else {
            never(QStringLiteral("more than one encoding flag"));
        }
    } else if (p.coding == lirc::Coding::Raw ? r.rawCodes.empty() : r.codes.empty()) {
        never(QStringLiteral("it has no codes"));
    } else if ((p.coding == lirc::Coding::Rcmm || p.coding == lirc::Coding::Grundig) &&
               (p.bits % 2 != 0 || p.preBits % 2 != 0 || p.postBits % 2 != 0)) {
        never(QStringLiteral("its bit counts are not even"));
    } else if (p.coding == lirc::Coding::Xmp &&
               (p.bits % kXmpNibbleBits != 0 || p.preBits % kXmpNibbleBits != 0 ||
                p.postBits % kXmpNibbleBits != 0)) {
        never(QStringLiteral("its bit counts are not multiples of 4"));
    } else if (p.coding != lirc::Coding::Raw && p.pzero == 0 && p.pone == 0 && p.szero == 0 &&
               p.sone == 0) {
        never(QStringLiteral("it gives no lengths for its bits (one, zero)"));
    }
    return out;
}

bool lircParameterKnown(const QString& key) {
    return knownParameters().contains(key, Qt::CaseInsensitive);
}

} // namespace velmoran::infrared
