#include "infrared/irp/irp_analysis.h"

#include <QStringList>

#include <cmath>
#include <numeric>

#include "infrared/ir_analysis.h"

namespace velmoran::infrared::irp {

namespace {

// The most bits one parameter carries.
constexpr int kParameterBits = 32;
// A demodulating receiver hides the carrier: the usual one is named.
constexpr char kCarrier[] = "38k";
// Durations as multiples of the unit, to a tenth.
constexpr double kTenths = 10.0;

QString units(double us, double unit) {
    const double n = std::round(us / unit * kTenths) / kTenths;
    return QString::number(n, 'g', 6);
}

QString parameterName(std::size_t index) {
    return QString(QChar(u'A' + static_cast<char16_t>(index)));
}

} // namespace

QString irpOfAnalysis(const IrAnalysis& a) {
    // A frame sent in parts has no one bitspec per part here: it stays without its IRP.
    if (a.scheme == IrScheme::None || a.repeatCode || a.bits.empty() || !a.separatorsAt.empty()) {
        return {};
    }
    double unit = 0;
    QString bitspec;
    switch (a.scheme) {
    case IrScheme::PulseDistance:
        unit = a.zeroMarkUs;
        bitspec = QStringLiteral("<1,-%1|%2,-%3>")
                      .arg(units(a.zeroSpaceUs, unit), units(a.oneMarkUs, unit),
                           units(a.oneSpaceUs, unit));
        break;
    case IrScheme::PulseWidth:
        unit = std::min(a.zeroMarkUs, a.oneMarkUs);
        bitspec = QStringLiteral("<%1,-%2|%3,-%4>")
                      .arg(units(a.zeroMarkUs, unit), units(a.zeroSpaceUs, unit),
                           units(a.oneMarkUs, unit), units(a.oneSpaceUs, unit));
        break;
    case IrScheme::BiPhase:
        // A 1 is a space, then a mark.
        unit = a.oneMarkUs;
        bitspec = QStringLiteral("<1,-1|-1,1>");
        break;
    case IrScheme::FourSymbol:
        // Each mark and space carries two bits, the first sent the symbol's higher bit; read
        // least significant first, a chunk's value swaps the symbols 01 and 10.
        unit = a.zeroMarkUs;
        bitspec = QStringLiteral("<1,-%1|1,-%2|1,-%3|1,-%4>")
                      .arg(units(a.zeroSpaceUs, unit), units(a.twoSpaceUs, unit),
                           units(a.oneSpaceUs, unit), units(a.threeSpaceUs, unit));
        break;
    case IrScheme::None:
        return {};
    }
    if (unit <= 0) {
        return {};
    }
    unit = std::round(unit);
    QStringList items;
    if (a.headerMarkUs > 0) {
        items << units(a.headerMarkUs, unit) << QLatin1Char('-') + units(a.headerSpaceUs, unit);
    }
    QStringList ranges;
    for (std::size_t first = 0, p = 0; first < a.bits.size(); first += kParameterBits, ++p) {
        const auto width = std::min<std::size_t>(kParameterBits, a.bits.size() - first);
        items << QStringLiteral("%1:%2").arg(parameterName(p)).arg(width);
        ranges << QStringLiteral("%1:0..%2").arg(parameterName(p)).arg((uint64_t{1} << width) - 1);
    }
    if ((a.scheme == IrScheme::PulseDistance || a.scheme == IrScheme::FourSymbol) &&
        a.trailMarkUs > 0) {
        items << units(a.trailMarkUs, unit);
    }
    if (a.gapUs > 0) {
        // The frame's period: a held key's copies follow each other at it, whatever the bits.
        const std::vector<double> frame = analysedDurations(a);
        const double length = std::accumulate(frame.begin(), frame.end(), 0.0,
                                              [](double s, double d) { return s + std::abs(d); });
        items << QStringLiteral("^%1m").arg(
            QString::number(std::round((length + a.gapUs) / 100.0) / 10.0, 'g', 6));
    }
    return QStringLiteral("{%1,%2}%3(%4)[%5]")
        .arg(QLatin1String(kCarrier), QString::number(unit), bitspec, items.join(u','),
             ranges.join(u','));
}

Values valuesOfAnalysis(const IrAnalysis& a) {
    Values values;
    for (std::size_t i = 0; i < a.bits.size(); ++i) {
        if (a.bits[i]) {
            values[parameterName(i / kParameterBits).toStdString()] |= int64_t{1}
                                                                       << (i % kParameterBits);
        } else {
            values.try_emplace(parameterName(i / kParameterBits).toStdString(), 0);
        }
    }
    return values;
}

} // namespace velmoran::infrared::irp
