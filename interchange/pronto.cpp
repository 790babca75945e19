#include "interchange/pronto.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

#include "infrared/frame_cells.h"
#include "infrared/frame_text.h"
#include "infrared/ir_encoder.h"
#include "infrared/irp/irp_decode.h"

namespace velmoran::interchange {

using namespace infrared;

namespace {

// The Pronto's clock: one unit of the carrier word is 0.241246 µs.
constexpr double kProntoClockUs = 0.241246;
constexpr int kHeaderWords = 4;
constexpr int kWordMax = 0xFFFF;

std::optional<std::vector<int>> words(const QString& text) {
    std::vector<int> out;
    for (const QString& w : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int v = w.toInt(&ok, 16);
        if (!ok || w.size() != 4) {
            return std::nullopt;
        }
        out.push_back(v);
    }
    if (out.size() < kHeaderWords || out[0] != 0 || out[1] == 0 ||
        out.size() != static_cast<std::size_t>(kHeaderWords + 2 * (out[2] + out[3]))) {
        return std::nullopt;
    }
    return out;
}

QString word(long value) {
    return QStringLiteral("%1")
        .arg(std::clamp<long>(value, 1, kWordMax), 4, 16, QLatin1Char('0'))
        .toUpper();
}

} // namespace

int frameCarrierHz(const IrFrame& frame) {
    if (irp::readByTable(frame)) {
        const irp::CompiledProtocol* p = frameProtocol(frame); // the user's own too
        if (p != nullptr && p->protocol.frequencyHz > 0) {
            return static_cast<int>(std::lround(p->protocol.frequencyHz));
        }
    }
    return irCarrierHz(frame);
}

QStringList prontoCodesFromFrame(const IrFrame& frame) {
    std::vector<double> durations = irFrameDurations(frame);
    durations.push_back(-irFrameGapUs(frame));
    const int carrierWord =
        static_cast<int>(std::lround(1e6 / (frameCarrierHz(frame) * kProntoClockUs)));
    const double periodUs = carrierWord * kProntoClockUs;
    // The count word cannot say more than kProntoMostPairs: a longer burst goes into parts.
    constexpr std::size_t kMostDurations = 2 * static_cast<std::size_t>(kProntoMostPairs);
    QStringList codes;
    for (std::size_t first = 0; first < durations.size(); first += kMostDurations) {
        const std::size_t last = std::min(durations.size(), first + kMostDurations);
        QStringList out{QStringLiteral("0000"), word(carrierWord),
                        word(static_cast<long>((last - first) / 2)), QStringLiteral("0000")};
        for (std::size_t i = first; i < last; ++i) {
            out << word(std::lround(std::abs(durations[i]) / periodUs));
        }
        codes << out.join(QLatin1Char(' '));
    }
    return codes;
}

QString prontoFromFrame(const IrFrame& frame) {
    return prontoCodesFromFrame(frame).front();
}

std::optional<std::vector<double>> prontoDurations(const QString& text, int repeats) {
    const std::optional<std::vector<int>> w = words(text);
    if (!w) {
        return std::nullopt;
    }
    const double periodUs = (*w)[1] * kProntoClockUs;
    const auto pairs = [&](std::size_t first, int count, std::vector<double>& out) {
        for (int k = 0; k < 2 * count; ++k) {
            const double us = (*w)[first + static_cast<std::size_t>(k)] * periodUs;
            out.push_back(k % 2 == 0 ? us : -us);
        }
    };
    std::vector<double> out;
    pairs(kHeaderWords, (*w)[2], out);
    for (int r = 0; r < repeats; ++r) {
        pairs(kHeaderWords + 2 * static_cast<std::size_t>((*w)[2]), (*w)[3], out);
    }
    return out;
}

std::optional<double> prontoCarrierHz(const QString& text) {
    const std::optional<std::vector<int>> w = words(text);
    if (!w) {
        return std::nullopt;
    }
    return 1e6 / ((*w)[1] * kProntoClockUs);
}

QByteArray exportPronto(const ExportChannel& channel,
                        const std::function<QString(const IrFrame&)>& keyName) {
    return exportPronto(channel.number, exportedFrames(channel), keyName);
}

QByteArray exportPronto(int channel, const std::vector<IrFrame>& frames,
                        const std::function<QString(const IrFrame&)>& keyName) {
    QByteArray out;
    out += "# Pronto hex (learned 0000 form) of every distinct frame of channel ";
    out += QByteArray::number(channel);
    out += ", written by velmoran-ird.\n"
           "# The infrared receiver module strips the carrier before the line is sampled, so each\n"
           "# code carries its protocol's customary carrier frequency, not a measured one.\n";
    for (const DistinctFrame& distinct : distinctFrames(frames)) {
        const IrFrame& f = *distinct.frame;
        const QString& key = distinct.described;
        const QStringList codes = prontoCodesFromFrame(f);
        const QString name = keyName ? keyName(f) : QString();
        out += "\n# " + key.toUtf8() + (name.isEmpty() ? QByteArray() : " key=" + name.toUtf8()) +
               '\n';
        for (qsizetype i = 0; i < codes.size(); ++i) {
            if (codes.size() > 1) {
                out +=
                    QStringLiteral("# part %1 of %2 (a code holds at most %3 mark/space pairs)\n")
                        .arg(i + 1)
                        .arg(codes.size())
                        .arg(kProntoMostPairs)
                        .toUtf8();
            }
            out += codes[i].toLatin1() + '\n';
        }
    }
    return out;
}

} // namespace velmoran::interchange
