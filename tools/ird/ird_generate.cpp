#include "tools/ird/ird_generate.h"

#include <QStringList>

#include <cmath>

namespace velmoran::interchange {

namespace {

// Pronto counts the carrier's period in units of this many µs.
constexpr double kProntoClockUs = 0.241246;
// LIRC's usual tolerances for a learned remote.
constexpr int kLircEps = 30;
constexpr int kLircAeps = 100;
constexpr int kNumbersPerLine = 8;

int wholeUs(double us) {
    return static_cast<int>(std::lround(std::abs(us)));
}

// Marks and spaces in pairs: a part that ends in a mark gets a space of nothing.
std::vector<double> paired(std::vector<double> part) {
    if (!part.empty() && part.back() > 0) {
        part.push_back(0);
    }
    return part;
}

} // namespace

std::vector<double> pressDurations(const infrared::irp::Signal& signal, int repeats) {
    std::vector<double> out = signal.intro;
    const int copies = signal.intro.empty() ? repeats + 1 : repeats;
    for (int i = 0; i < copies; ++i) {
        out.insert(out.end(), signal.repeat.begin(), signal.repeat.end());
    }
    out.insert(out.end(), signal.ending.begin(), signal.ending.end());
    return out;
}

std::optional<QString> sampleInto(const std::vector<double>& durations, ChannelBuffer& buffer) {
    buffer.fill(0xFF);
    double t = kGeneratedStartUs;
    for (const double d : durations) {
        const auto from = static_cast<int64_t>(std::llround(t / kSamplePeriodUsExact));
        t += std::abs(d);
        const auto to = static_cast<int64_t>(std::llround(t / kSamplePeriodUsExact));
        if (d <= 0) {
            continue;
        }
        if (to > kCaptureSamples) {
            return QStringLiteral("the code lasts longer than a capture (%1 us)")
                .arg(kCaptureSamples * kSamplePeriodUsExact - kGeneratedStartUs, 0, 'f', 0);
        }
        for (int64_t s = from; s < to; ++s) {
            buffer[static_cast<std::size_t>(s / kSamplesPerByte)] &=
                static_cast<uint8_t>(~(1u << (kSamplesPerByte - 1 - s % kSamplesPerByte)));
        }
    }
    return std::nullopt;
}

QByteArray generatedMode2(const std::vector<double>& durations) {
    // The line rests before the code, as in a capture (LIRC's receivers wait for that).
    QByteArray out = "space " + QByteArray::number(wholeUs(kGeneratedStartUs)) + '\n';
    for (const double d : durations) {
        out += (d > 0 ? "pulse " : "space ") + QByteArray::number(wholeUs(d)) + '\n';
    }
    return out;
}

QString generatedPronto(const infrared::irp::Signal& signal) {
    const double frequency = signal.frequencyHz > 0 ? signal.frequencyHz : 38000;
    const double periodUs = 1e6 / frequency;
    const std::vector<double> once = paired(signal.intro);
    const std::vector<double> held = paired(signal.repeat);
    QStringList words;
    const auto word = [&](long value) {
        words << QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
    };
    word(0);
    word(std::lround(periodUs / kProntoClockUs));
    word(static_cast<long>(once.size() / 2));
    word(static_cast<long>(held.size() / 2));
    for (const auto* part : {&once, &held}) {
        for (const double d : *part) {
            word(std::max(1L, std::lround(std::abs(d) / periodUs)));
        }
    }
    return words.join(QLatin1Char(' '));
}

QByteArray generatedLircd(const QString& remote, const QString& key,
                          const infrared::irp::Signal& signal) {
    std::vector<double> code = signal.intro.empty() ? signal.repeat : signal.intro;
    int gap = 0;
    if (!code.empty() && code.back() < 0) {
        gap = wholeUs(code.back());
        code.pop_back();
    }
    QByteArray out;
    out += "# Made by velmoran-ird generate\n";
    out += "begin remote\n";
    out += "  name  " + remote.toUtf8() + '\n';
    out += "  flags RAW_CODES\n";
    out += "  eps   " + QByteArray::number(kLircEps) + '\n';
    out += "  aeps  " + QByteArray::number(kLircAeps) + '\n';
    if (signal.frequencyHz > 0) {
        out += "  frequency " + QByteArray::number(std::lround(signal.frequencyHz)) + '\n';
    }
    out += "  gap   " + QByteArray::number(gap) + '\n';
    out += "  begin raw_codes\n";
    out += "    name " + key.toUtf8() + '\n';
    for (std::size_t i = 0; i < code.size(); ++i) {
        out += (i % kNumbersPerLine == 0 ? "      " : " ") + QByteArray::number(wholeUs(code[i]));
        if (i % kNumbersPerLine == kNumbersPerLine - 1 || i + 1 == code.size()) {
            out += '\n';
        }
    }
    out += "  end raw_codes\n";
    out += "end remote\n";
    return out;
}

} // namespace velmoran::interchange
