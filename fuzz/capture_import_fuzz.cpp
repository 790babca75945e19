// The readers of other tools' captures over any bytes. The first byte picks the format (0 to 4
// in kImportFormats' order; anything else: told from the content); the rest is the file. A
// capture read must be a line the board could have sampled: edges ascending inside the capture,
// and its channel buffer reading back as the same line. A refusal must say why.

#include <cstdint>
#include <cstdlib>

#include "interchange/capture_import.h"

using namespace velmoran;
using namespace velmoran::interchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::optional<ImportFormat> format;
    if (data[0] < kImportFormats.size()) {
        format = kImportFormats[data[0]].format;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    const ImportedCapture got = importCapture(bytes, QStringLiteral("fuzz"), format);
    if (!got.line) {
        if (got.error.isEmpty()) {
            std::abort();
        }
        return 0;
    }
    const std::vector<int32_t>& edges = got.line->edges;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (edges[i] <= 0 || edges[i] >= kCaptureSamples || (i > 0 && edges[i] <= edges[i - 1])) {
            std::abort();
        }
    }
    const ChannelLevels back = channelLevels(channelBufferOf(*got.line));
    if (back.initialHigh != got.line->initialHigh || back.edges != edges) {
        std::abort();
    }
    return 0;
}
