// The IRP reader over any text, and a protocol it accepts over any parameters and any
// durations: the first line is the protocol, the bytes after it give the parameters' values
// and the marks and spaces (a byte each, in samples of 40.1474 µs). Nothing may crash, hang
// or overflow; a protocol rendered within its ranges sends marks and spaces that alternate.

#include <QString>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/constants.h"
#include "infrared/irp/irp.h"
#include "infrared/irp/irp_match.h"

using namespace velmoran;
using namespace velmoran::infrared::irp;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* end = static_cast<const uint8_t*>(std::memchr(data, '\n', size));
    const size_t textSize = end ? static_cast<size_t>(end - data) : size;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(textSize));
    const Compiled compiled = compile(QStringLiteral("fuzzed"), text);
    if (!compiled.protocol) {
        return 0;
    }
    const CompiledProtocol& c = *compiled.protocol;
    const uint8_t* rest = data + textSize + (end ? 1 : 0);
    const size_t restSize = size - textSize - (end ? 1 : 0);
    Values values;
    size_t at = 0;
    for (const ParameterSpec& p : c.protocol.parameters) {
        const uint64_t span = static_cast<uint64_t>(p.max) - static_cast<uint64_t>(p.min);
        const uint64_t pick = at < restSize ? rest[at++] : 0;
        values[p.name] = static_cast<int64_t>(static_cast<uint64_t>(p.min) +
                                              (span == UINT64_MAX ? pick : pick % (span + 1)));
    }
    const Rendered r = render(c.protocol, values);
    if (r.signal) {
        for (const auto* part : {&r.signal->intro, &r.signal->repeat, &r.signal->ending}) {
            for (size_t i = 1; i < part->size(); ++i) {
                if (((*part)[i] < 0) == ((*part)[i - 1] < 0)) {
                    std::abort();
                }
            }
        }
    }
    std::vector<double> durations;
    for (size_t i = at; i < restSize; ++i) {
        const double us = (rest[i] + 1) * kSamplePeriodUsExact * 4;
        durations.push_back(durations.size() % 2 == 0 ? us : -us);
    }
    if (!durations.empty()) {
        for (const Part part : {Intro, Repeat, Ending}) {
            matchPart(c, part, durations);
        }
    }
    return 0;
}
