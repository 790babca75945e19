#include "interchange/frames_model.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <QTimer>

#include "core/channel_levels.h"
#include "infrared/irp/irp_decode.h"

namespace velmoran::interchange {

namespace {

// A running capture's frames are complete once the line has rested this long after them: longer
// than any family's reach from one frame to the next (a repeat code to its key's frame, a pair's
// second half, an unknown burst's neighbour), so decoding can resume in the middle of the rest.
constexpr double kSettleRestUs = 300000.0;
const int64_t kSettleRestSamples =
    static_cast<int64_t>(std::ceil(kSettleRestUs / kSamplePeriodUsExact));

// Protocols of the table prepared in one event while a capture waits for them: a few
// milliseconds' work.
constexpr std::size_t kProtocolsPerSlice = 32;

// The line of `buffer` from sample `from` to sample `to`, resting at its level there before
// `from` and at its last level after `to`, over the whole capture's length.
ChannelLevels levelsBetween(const ChannelBuffer& buffer, int64_t from, int64_t to) {
    ChannelLevels line;
    line.initialHigh = sampleAt(buffer, static_cast<int>(from));
    bool level = line.initialHigh;
    const int64_t firstByte = from / kSamplesPerByte;
    const int64_t endByte = (to + kSamplesPerByte - 1) / kSamplesPerByte;
    for (int64_t n = firstByte; n < endByte; ++n) {
        const uint8_t byte = buffer[static_cast<std::size_t>(n)];
        if (byte == (level ? 0xFF : 0x00)) {
            continue;
        }
        for (int k = 0; k < kSamplesPerByte; ++k) {
            const int64_t sample = n * kSamplesPerByte + k;
            if (sample <= from || sample >= to) {
                continue;
            }
            const bool high = ((byte >> (kSamplesPerByte - 1 - k)) & 1) != 0;
            if (high != level) {
                line.edges.push_back(static_cast<int32_t>(sample));
                level = high;
            }
        }
    }
    return line;
}

// Where a running capture's decoding can resume next: the middle of the last rest, as long as
// kSettleRestSamples, that the stored line holds at or after `from`; `from` when none.
int64_t settledResume(const ChannelLevels& line, int64_t from, int64_t stored) {
    int64_t resume = from;
    for (std::size_t i = 0; i < line.edges.size(); ++i) {
        const int64_t next = i + 1 < line.edges.size() ? line.edges[i + 1] : stored;
        if (next - line.edges[i] >= kSettleRestSamples) {
            resume = line.edges[i] + kSettleRestSamples / 2;
        }
    }
    return resume;
}

// Whether two decodings of one stretch of line found the same frame.
bool sameFrame(const infrared::IrFrame& a, const infrared::IrFrame& b) {
    const auto fields = [](const infrared::IrFrame& f) {
        return std::tie(f.channel, f.startSample, f.endSample, f.protocol, f.address, f.command,
                        f.keyKnown, f.check, f.bits, f.extended, f.toggle, f.subdevice, f.vendor,
                        f.extra, f.mode, f.repeat, f.half, f.durationsUs);
    };
    const auto coding = [](const infrared::IrAnalysis& c) {
        return std::tie(c.scheme, c.headerMarkUs, c.headerSpaceUs, c.zeroMarkUs, c.zeroSpaceUs,
                        c.oneMarkUs, c.oneSpaceUs, c.trailMarkUs, c.bits, c.gapUs, c.repeatCode);
    };
    return fields(a) == fields(b) && coding(a.analysis) == coding(b.analysis);
}

bool isRepeat(const infrared::IrFrame& f) {
    return f.protocol == infrared::IrProtocol::NecRepeat || f.repeat || f.analysis.repeatCode;
}

} // namespace

FramesModel::FramesModel(const ChannelBuffers& buffers, QObject* parent)
    : QObject(parent), buffers_(buffers) {}

const infrared::irp::ProtocolTable& FramesModel::protocols() const {
    if (!protocols_) {
        protocols_ = infrared::irp::tableWithUserProtocols();
    }
    return *protocols_;
}

std::vector<infrared::IrFrame> FramesModel::decode(const ChannelLevels& line, int channel) const {
    std::vector<infrared::IrFrame> found =
        infrared::decodeInfrared(line, channel, infrared::IrUnknownBursts::Listed);
    if (found.empty()) {
        return found; // nothing for the table to read (an idle line: a window just started)
    }
    return infrared::irp::decodeWithProtocols(std::move(found), line, protocols());
}

void FramesModel::setProtocols(infrared::irp::ProtocolTable protocols) {
    protocols_ = std::move(protocols);
    protocolsGiven_ = true;
}

void FramesModel::setLibrary(const RemoteLibrary* library) {
    library_ = library;
}

FramesModel::Channel& FramesModel::at(int channel) {
    return channels_[static_cast<std::size_t>(channel - 1)];
}

const FramesModel::Channel& FramesModel::at(int channel) const {
    return channels_[static_cast<std::size_t>(channel - 1)];
}

const ChannelBuffer& FramesModel::buffer(int channel) const {
    return *buffers_[static_cast<std::size_t>(channel - 1)];
}

const std::vector<infrared::IrFrame>& FramesModel::frames(int channel) const {
    return at(channel).frames;
}

const std::vector<std::optional<LibraryKey>>& FramesModel::keys(int channel) const {
    return at(channel).keys;
}

QString FramesModel::keyShown(int channel, std::size_t index) const {
    const auto& keys = at(channel).keys;
    if (index >= keys.size() || !keys[index]) {
        return {};
    }
    return keys[index]->remote + QStringLiteral(": ") + keys[index]->key;
}

QString FramesModel::keyName(int channel, std::size_t index) const {
    const auto& keys = at(channel).keys;
    return index < keys.size() && keys[index] ? keys[index]->key : QString();
}

std::size_t FramesModel::frameCount() const {
    std::size_t n = 0;
    for (const Channel& c : channels_) {
        n += c.frames.size();
    }
    return n;
}

std::size_t FramesModel::firstChanged(int channel) const {
    return at(channel).firstChanged;
}

int64_t FramesModel::changedFromSample(int channel) const {
    return at(channel).changedFrom;
}

int64_t FramesModel::reachedSample(int channel) const {
    return at(channel).reached;
}

void FramesModel::decodeAll() {
    if (!protocolsGiven_) {
        protocols_.reset(); // read again when next needed
    }
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        decodeChannel(ch);
    }
}

void FramesModel::decodeChannel(int channel) {
    setFrames(channel, decode(channelLevels(buffer(channel)), channel));
}

void FramesModel::prepareProtocols() {
    if (!preparing_) {
        preparing_ = true;
        QTimer::singleShot(0, this, &FramesModel::prepareSlice);
    }
}

void FramesModel::prepareSlice() {
    if (protocols().prepareSome(kProtocolsPerSlice)) {
        preparing_ = false;
    } else {
        QTimer::singleShot(0, this, &FramesModel::prepareSlice);
    }
}

bool FramesModel::decodeArrived(int channel, int storedBytes, bool moreToCome) {
    Channel& c = at(channel);
    const int64_t stored =
        std::clamp<int64_t>(int64_t{storedBytes} * kSamplesPerByte, 0, kCaptureSamples);
    if (stored < c.resumeSample) {
        // Fewer bytes than before: a capture that started again.
        c.settledFrames = 0;
        c.resumeSample = 0;
    }
    const std::size_t keep = std::min(c.settledFrames, c.frames.size());
    const int64_t from = c.resumeSample;
    std::vector<infrared::IrFrame> found;
    int64_t resume = from;
    if (stored > from) {
        const ChannelLevels line = levelsBetween(buffer(channel), from, stored);
        const auto end = moreToCome && stored < kCaptureSamples ? infrared::irp::LineEnd::Cut
                                                                : infrared::irp::LineEnd::Rest;
        found = infrared::decodeInfrared(line, channel, infrared::IrUnknownBursts::Listed);
        if (end == infrared::irp::LineEnd::Cut && !found.empty() && !protocols().prepared() &&
            infrared::irp::needsWholeTable(found, line, protocols(), end)) {
            prepareProtocols();
            return false;
        }
        if (!found.empty()) {
            found = infrared::irp::decodeWithProtocols(std::move(found), line, protocols(), end);
        }
        resume = settledResume(line, from, stored);
    }
    // The frames decoded again are mostly those found the last time: only where they differ
    // do the readers have anything new.
    std::size_t same = 0;
    while (same < found.size() && keep + same < c.frames.size() &&
           sameFrame(found[same], c.frames[keep + same])) {
        ++same;
    }
    c.frames.resize(keep + same);
    c.frames.insert(c.frames.end(),
                    std::make_move_iterator(found.begin() + static_cast<std::ptrdiff_t>(same)),
                    std::make_move_iterator(found.end()));
    c.firstChanged = keep + same;
    c.changedFrom = from;
    c.reached = stored;
    c.settledFrames = static_cast<std::size_t>(
        std::partition_point(
            c.frames.begin() + static_cast<std::ptrdiff_t>(keep), c.frames.end(),
            [resume](const infrared::IrFrame& f) { return f.endSample < resume; }) -
        c.frames.begin());
    c.resumeSample = resume;
    lookUpKeys(c, c.firstChanged);
    Q_EMIT changed(channel);
    return true;
}

void FramesModel::startCapture(int channel) {
    Channel& c = at(channel);
    c.frames.clear();
    c.keys.clear();
    c.firstChanged = 0;
    c.changedFrom = 0;
    c.reached = 0;
    c.settledFrames = 0;
    c.resumeSample = 0;
    protocols(); // the user's file read now rather than in the middle of the capture's first look
    Q_EMIT changed(channel);
}

void FramesModel::setFrames(int channel, std::vector<infrared::IrFrame> frames) {
    Channel& c = at(channel);
    c.frames = std::move(frames);
    c.firstChanged = 0;
    c.changedFrom = 0;
    c.reached = kCaptureSamples;
    c.settledFrames = 0;
    c.resumeSample = 0;
    lookUpKeys(c, 0);
    Q_EMIT changed(channel);
}

void FramesModel::refreshKeys() {
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        lookUpKeys(at(ch), 0);
        Q_EMIT keysChanged(ch);
    }
}

void FramesModel::lookUpKeys(Channel& c, std::size_t from) const {
    c.keys.resize(std::min(from, c.keys.size()));
    if (library_ == nullptr) {
        c.keys.resize(c.frames.size());
        return;
    }
    // A repeat code takes the key of the frame it repeats: look up from the last frame before
    // `from` that is not one.
    std::size_t context = std::min(from, c.frames.size());
    while (context > 0 && isRepeat(c.frames[context - 1])) {
        --context;
    }
    if (context > 0) {
        --context;
    }
    const std::vector<infrared::IrFrame> tail(
        c.frames.begin() + static_cast<std::ptrdiff_t>(context), c.frames.end());
    const std::vector<std::optional<LibraryKey>> found = library_->lookup(tail);
    c.keys.resize(context);
    c.keys.insert(c.keys.end(), found.begin(), found.end());
}

} // namespace velmoran::interchange
