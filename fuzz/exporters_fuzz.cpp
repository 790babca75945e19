// The exporters over any lines. The first byte picks the channels (its low three bits, at least
// one); the rest are channel 1's bytes, channel 2 holds them shifted by a byte and channel 3
// inverted. Each format must account for every edge and the capture's whole length,
// and the GTKWave view file keeps its lines whatever the output's name (also taken from the
// input).

#include <QByteArrayList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "interchange/exporters.h"

using namespace velmoran;
using namespace velmoran::interchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int pick = (data[0] & 7) != 0 ? data[0] & 7 : 1;
    ++data;
    --size;
    const size_t used = std::min<size_t>(size, kCaptureBytes - 1);
    ChannelBuffer buffers[kChannelCount]{};
    std::copy_n(data, used, buffers[0].begin());
    std::copy_n(data, used, buffers[1].begin() + 1);
    std::transform(data, data + used, buffers[2].begin(),
                   [](uint8_t b) { return static_cast<uint8_t>(~b); });

    // The lines end a byte after the input (a whole capture would spend each run writing
    // half a megabyte of unchanging samples).
    const int64_t samples = static_cast<int64_t>(used + 2) * kSamplesPerByte;
    std::vector<ExportChannel> channels;
    std::size_t edges = 0;
    for (int n = 1; n <= kChannelCount; ++n) {
        if (pick & (1 << (n - 1))) {
            ChannelLevels line = channelLevels(buffers[n - 1]);
            std::erase_if(line.edges, [&](int32_t e) { return e >= samples; });
            line.samples = samples;
            edges += line.edges.size();
            channels.push_back({n, std::move(line)});
        }
    }

    const QByteArray csv = exportCsv(channels);
    if (csv.count('\n') != static_cast<qsizetype>(1 + channels.size() + edges)) {
        std::abort();
    }
    const QByteArray vcd = exportVcd(channels);
    if (!vcd.endsWith("\n#" + QByteArray::number(samples * kSamplePeriod100ps) + '\n')) {
        std::abort();
    }
    const QByteArray mode2 = exportMode2(channels.front());
    int64_t total = 0;
    for (const QByteArray& line : mode2.split('\n')) {
        if (!line.isEmpty()) {
            total += line.mid(line.indexOf(' ') + 1).toLongLong();
        }
    }
    if (total != sampleTimeUsRounded(samples) ||
        mode2.count('\n') != static_cast<qsizetype>(channels.front().line.edges.size() + 1)) {
        std::abort();
    }
    if (!exportSigrokSession(channels).startsWith("PK\x03\x04")) {
        std::abort();
    }
    const QString name = QString::fromUtf8(reinterpret_cast<const char*>(data),
                                           static_cast<qsizetype>(std::min<size_t>(size, 64)));
    const QByteArray view = gtkwaveSaveFile(name, gtkwaveSavePathFor(name), channels);
    if (view.count('\n') != static_cast<qsizetype>(10 + channels.size())) {
        std::abort(); // a name must not add or remove lines
    }
    return 0;
}
