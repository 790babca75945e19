// The infrared decoder's score table: for each family, generated captures with ±15 % and ±20 %
// timing error, ±20 % with a receiver that stretches marks by 100 µs (Sharp and Denon a fifth of
// their frames alone, JVC's held keys 45 to 70 ms apart), and with glitches, decoded and
// compared with what was sent; for NEC, RC-5 and RC-6 the same captures also go through
// sigrok-cli's ir_nec, ir_rc5 and ir_rc6 decoders. The remotes no decoder knows count a frame
// found when its inferred scheme and bits are the ones sent.
//
//   bench_ir_scores [captures per row]     (default 4; each capture holds 40 to 250 frames)

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "infrared/frame_text.h"
#include "interchange/exporters.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

constexpr int kDefaultCaptures = 4;
constexpr double kGlitchJitter = 0.10;
constexpr double kGlitchShare = 0.3;

constexpr double kStretchUs = 100;
constexpr double kLoneHalves = 0.2;

struct Row {
    const char* name;
    double jitter;
    double glitches;
    double stretchUs = 0;
};

constexpr Row kRows[] = {{"exact", 0, 0},
                         {"±15 %", 0.15, 0},
                         {"±20 %", 0.20, 0},
                         {"±20%+100", 0.20, 0, kStretchUs},
                         {"glitches", kGlitchJitter, kGlitchShare}};

// Each frame sent and each frame decoded, side by side where they differ.
void printDifferences(const irgen::Generated& g, const std::vector<IrFrame>& got) {
    const auto line = [](const IrFrame& f) {
        const FrameText t = frameText(f);
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(t.protocol, t.address, t.command, t.check, t.notes.left(60));
    };
    std::size_t k = 0;
    for (const irgen::SentFrame& s : g.truth) {
        while (k < got.size() &&
               static_cast<double>(got[k].startSample) * kSamplePeriodUsExact < s.startUs - 100) {
            std::printf("   extra  %.0f %s\n",
                        static_cast<double>(got[k].startSample) * kSamplePeriodUsExact,
                        qPrintable(line(got[k])));
            ++k;
        }
        const bool same = k < got.size() && line(got[k]) == line(s.frame);
        if (!same) {
            std::printf("   sent   %.0f %s%s\n", s.startUs, qPrintable(line(s.frame)),
                        s.glitched ? " (glitch)" : "");
            if (k < got.size() &&
                static_cast<double>(got[k].startSample) * kSamplePeriodUsExact < s.endUs) {
                std::printf("   got    %s\n", qPrintable(line(got[k])));
            }
        }
        if (k < got.size() &&
            static_cast<double>(got[k].startSample) * kSamplePeriodUsExact < s.endUs) {
            ++k;
        }
    }
}

// sigrok's decoder for a family, with its options.
struct SigrokDecoder {
    irgen::Family family;
    const char* decoder; // "-P" argument before ":ir=CH1"
    const char* name;
};

constexpr SigrokDecoder kSigrok[] = {
    {irgen::Family::Nec, "ir_nec:polarity=active-low", "ir_nec"},
    {irgen::Family::Rc5, "ir_rc5:polarity=active-low:protocol=extended", "ir_rc5"},
    {irgen::Family::Rc6, "ir_rc6:polarity=active-low", "ir_rc6"}};

// What a sigrok decoder reported for one capture: per frame sent, whether the values it gave
// inside that frame's span are the frame's.
irgen::Score sigrokScore(const QString& program, const SigrokDecoder& d, const irgen::Generated& g,
                         const QString& srPath) {
    irgen::Score s;
    QFile sr(srPath);
    const ExportChannel channel{1, channelLevels(irgen::renderChannel(g))};
    if (!sr.open(QIODevice::WriteOnly) || sr.write(exportSigrokSession({channel})) < 0) {
        return s;
    }
    sr.close();
    QProcess p;
    p.start(program, {QStringLiteral("-i"), srPath, QStringLiteral("-P"),
                      QString::fromLatin1(d.decoder) + QStringLiteral(":ir=CH1"),
                      QStringLiteral("--protocol-decoder-samplenum")});
    p.waitForFinished(600000);
    // "1137-1529 ir_nec-1: Address: 0xF9": the values each frame's span holds, in order.
    static const QRegularExpression kLine(QStringLiteral("^(\\d+)-(\\d+) \\S+: ([^:]+): (\\S+)"));
    std::vector<QStringList> seen(g.truth.size());
    std::vector<bool> repeat(g.truth.size(), false);
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QString text = line.trimmed();
        const QRegularExpressionMatch m = kLine.match(text);
        const bool isRepeat = text.endsWith(QStringLiteral("Repeat code"));
        if (!m.hasMatch() && !isRepeat) {
            continue;
        }
        const double at = text.section('-', 0, 0).toDouble() * kSamplePeriodUsExact;
        for (std::size_t k = 0; k < g.truth.size(); ++k) {
            if (at >= g.truth[k].startUs - 1000 && at <= g.truth[k].endUs + 1000) {
                if (isRepeat) {
                    repeat[k] = true;
                } else if (m.captured(3) == QLatin1String("Address") ||
                           m.captured(3) == QLatin1String("Command") ||
                           m.captured(3) == QLatin1String("Data")) {
                    seen[k] << m.captured(4).toUpper();
                }
            }
        }
    }
    for (std::size_t k = 0; k < g.truth.size(); ++k) {
        const IrFrame& f = g.truth[k].frame;
        QStringList want;
        const auto hex = [](uint32_t v, int digits) {
            return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper();
        };
        bool right = false;
        if (f.protocol == IrProtocol::NecRepeat) {
            right = repeat[k] && seen[k].isEmpty();
        } else {
            if (f.protocol == IrProtocol::Nec) {
                want << QStringLiteral("0X") + hex(f.address & 0xFF, 2)
                     << QStringLiteral("0X") + hex(f.command, 2);
            } else if (f.protocol == IrProtocol::Rc5) {
                want << QString::number(f.address) << QString::number(f.command);
            } else if (f.mode == 0) {
                want << hex(f.address, 2) << hex(f.command, 2);
            } else {
                want << hex(f.vendor, 4) << hex(f.address << 8 | f.command, 4);
            }
            right = seen[k] == want;
        }
        const bool anything = !seen[k].isEmpty() || repeat[k];
        if (g.truth[k].glitched) {
            ++s.glitched;
            s.glitchedFound += right ? 1 : 0;
        } else {
            ++s.sent;
            s.found += right ? 1 : 0;
        }
        s.wrong += anything && !right ? 1 : 0;
    }
    return s;
}

void add(irgen::Score& total, const irgen::Score& s) {
    total.sent += s.sent;
    total.found += s.found;
    total.wrong += s.wrong;
    total.invented += s.invented;
    total.glitched += s.glitched;
    total.glitchedFound += s.glitchedFound;
    total.glitchedListed += s.glitchedListed;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int captures = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultCaptures;
    const bool verbose = argc > 2 && QByteArray(argv[2]) == "--verbose";
    const QString sigrokProgram = QStandardPaths::findExecutable(QStringLiteral("sigrok-cli"));
    QTemporaryDir dir;
    if (sigrokProgram.isEmpty()) {
        std::printf("sigrok-cli not found: its columns are left out\n");
    }
    std::printf("%-17s %-9s %8s %8s %6s %8s  %s\n", "family", "timing", "sent", "found", "wrong",
                "invented", "glitched: found / listed unknown / of");
    std::vector<irgen::Family> families(std::begin(irgen::kFamilies), std::end(irgen::kFamilies));
    families.insert(families.end(), std::begin(irgen::kUnknownRemotes),
                    std::end(irgen::kUnknownRemotes));
    for (const irgen::Family family : families) {
        for (const Row& row : kRows) {
            irgen::Score total;
            irgen::Score sigrokTotal;
            const SigrokDecoder* sigrok = nullptr;
            for (const SigrokDecoder& d : kSigrok) {
                sigrok = d.family == family ? &d : sigrok;
            }
            for (int c = 0; c < captures; ++c) {
                irgen::Options o;
                o.jitter = row.jitter;
                o.glitchShare = row.glitches;
                o.markStretchUs = row.stretchUs;
                o.loneHalfShare = row.stretchUs > 0 ? kLoneHalves : 0;
                o.jvcPeriods = row.stretchUs > 0;
                o.seed = static_cast<uint32_t>(1000 * c + 17);
                const irgen::Generated g = irgen::generate(family, o);
                const ChannelLevels line = channelLevels(irgen::renderChannel(g));
                const std::vector<IrFrame> got = decodeInfrared(line, 1, IrUnknownBursts::Listed);
                const irgen::Score s = irgen::score(g.truth, got);
                if (verbose) {
                    printDifferences(g, got);
                }
                add(total, s);
                if (sigrok && !sigrokProgram.isEmpty()) {
                    add(sigrokTotal, sigrokScore(sigrokProgram, *sigrok, g, dir.filePath("c.sr")));
                }
            }
            std::printf("%-17s %-9s %8d %7.2f%% %6d %8d", qPrintable(irgen::familyName(family)),
                        row.name, total.sent, 100.0 * total.found / std::max(1, total.sent),
                        total.wrong, total.invented);
            if (total.glitched > 0) {
                std::printf("  %d / %d / %d", total.glitchedFound, total.glitchedListed,
                            total.glitched);
            }
            if (sigrok && !sigrokProgram.isEmpty()) {
                std::printf("   | sigrok %s: %.2f%%, %d wrong", sigrok->name,
                            100.0 * sigrokTotal.found / std::max(1, sigrokTotal.sent),
                            sigrokTotal.wrong);
                if (sigrokTotal.glitched > 0) {
                    std::printf(", glitched right %d / %d", sigrokTotal.glitchedFound,
                                sigrokTotal.glitched);
                }
            }
            std::printf("\n");
        }
    }
    return 0;
}
