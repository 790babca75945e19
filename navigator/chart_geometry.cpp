#include "navigator/chart_geometry.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velmoran::navigator {

namespace {

constexpr double kUsPerMs = 1e3;
constexpr double kUsPerS = 1e6;
// Steps from this many microseconds up are written in seconds, from kMsFrom up in milliseconds.
constexpr double kSecondsFrom = 1e5;
constexpr double kMsFrom = 1e2;
constexpr std::array<double, 3> kMantissas{1, 2, 5};
// The finest and coarsest powers of ten an axis step is made of (1 µs ... 50 s).
constexpr int kFinestPower = 0;
constexpr int kCoarsestPower = 7;

ChartView clamped(double first, double samplesPerPixel, int width, double total,
                  double minSamplesPerPixel) {
    const double widest = width > 0 ? total / width : total;
    ChartView v;
    v.samplesPerPixel = std::clamp(samplesPerPixel, std::min(minSamplesPerPixel, widest), widest);
    const double shown = v.samplesPerPixel * std::max(width, 1);
    v.firstSample = std::clamp(first, 0.0, std::max(0.0, total - shown));
    return v;
}

} // namespace

std::vector<uint8_t> chartColumns(const ChannelLevels& line, const ChartView& view, int width) {
    std::vector<uint8_t> columns(static_cast<std::size_t>(std::max(width, 0)), kColumnNone);
    if (width <= 0 || view.samplesPerPixel <= 0) {
        return columns;
    }
    const std::vector<int32_t>& edges = line.edges;
    const auto total = static_cast<double>(line.samples);
    // Edges before the first column's span: they set the level it starts at.
    std::size_t next = static_cast<std::size_t>(
        std::lower_bound(edges.begin(), edges.end(), view.firstSample,
                         [](int32_t e, double s) { return static_cast<double>(e) < s; }) -
        edges.begin());
    for (int x = 0; x < width; ++x) {
        const double a = view.sampleAt(x);
        const double b = view.sampleAt(x + 1);
        if (a >= total) {
            break;
        }
        if (b <= 0) {
            continue;
        }
        const bool high = line.initialHigh != (next % 2 == 1);
        const std::size_t before = next;
        while (next < edges.size() && static_cast<double>(edges[next]) < b) {
            ++next;
        }
        columns[static_cast<std::size_t>(x)] =
            next != before ? kLevelBoth : (high ? kLevelHigh : kLevelLow);
    }
    return columns;
}

AxisStep axisStep(double us) {
    AxisStep step;
    step.us = us;
    if (us >= kSecondsFrom) {
        step.unit = "s";
        step.usPerUnit = kUsPerS;
    } else if (us >= kMsFrom) {
        step.unit = "ms";
        step.usPerUnit = kUsPerMs;
    } else {
        step.unit = "µs";
        step.usPerUnit = 1;
    }
    // The decimals that tell two neighbouring ticks apart (a step of 0.05 s needs two).
    const double inUnit = us / step.usPerUnit;
    step.decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(inUnit) - 1e-9)));
    return step;
}

QString axisLabel(double us, const AxisStep& step) {
    return QString::number(us / step.usPerUnit, 'f', step.decimals) + QLatin1Char(' ') +
           QString::fromUtf8(step.unit);
}

std::vector<AxisTick> axisTicks(const ChartView& view, int width,
                                const std::function<double(const QString&)>& textWidth,
                                double gap) {
    std::vector<AxisTick> ticks;
    if (width <= 0 || view.samplesPerPixel <= 0) {
        return ticks;
    }
    const double usPerPixel = view.samplesPerPixel * kSamplePeriodUsExact;
    const double firstUs = view.firstSample * kSamplePeriodUsExact;
    const double lastUs = firstUs + width * usPerPixel;
    for (int power = kFinestPower; power <= kCoarsestPower; ++power) {
        for (const double mantissa : kMantissas) {
            const AxisStep step = axisStep(mantissa * std::pow(10.0, power));
            if (step.us / usPerPixel < gap) {
                continue; // not even an empty label fits between two ticks
            }
            ticks.clear();
            bool apart = true;
            double lastRight = -1e300;
            for (auto n = static_cast<int64_t>(std::ceil(firstUs / step.us));
                 static_cast<double>(n) * step.us <= lastUs; ++n) {
                const double us = static_cast<double>(n) * step.us;
                AxisTick t;
                t.x = (us - firstUs) / usPerPixel;
                t.label = axisLabel(us, step);
                t.labelWidth = textWidth(t.label);
                t.labelLeft = t.x - t.labelWidth / 2;
                if (t.labelLeft < lastRight + gap) {
                    apart = false;
                    break;
                }
                lastRight = t.labelLeft + t.labelWidth;
                ticks.push_back(std::move(t));
            }
            if (!apart) {
                continue;
            }
            for (AxisTick& t : ticks) {
                if (t.labelLeft < 0 || t.labelLeft + t.labelWidth > width) {
                    t.label.clear();
                    t.labelWidth = 0;
                }
            }
            return ticks;
        }
    }
    ticks.clear();
    return ticks;
}

ChartView fitView(double first, double count, int width, double total, double minSamplesPerPixel) {
    const int w = std::max(width, 1);
    const double spp = count / w;
    const ChartView v = clamped(first, spp, w, total, minSamplesPerPixel);
    // Kept centred on the span asked for when the scale could not follow it.
    const double centre = first + count / 2;
    return clamped(centre - v.samplesPerPixel * w / 2, v.samplesPerPixel, w, total,
                   minSamplesPerPixel);
}

ChartView zoomView(const ChartView& view, double factor, double x, int width, double total,
                   double minSamplesPerPixel) {
    const double anchor = view.sampleAt(x);
    const ChartView scaled =
        clamped(view.firstSample, view.samplesPerPixel * factor, width, total, minSamplesPerPixel);
    return clamped(anchor - x * scaled.samplesPerPixel, scaled.samplesPerPixel, width, total,
                   minSamplesPerPixel);
}

} // namespace velmoran::navigator
