// The infrared decoder's score table: for each family, generated captures with ±15 % and ±20 %
// timing error and with glitches, decoded and compared with what was sent; for NEC, RC-5 and
// RC-6 the same captures also go through sigrok-cli's ir_nec, ir_rc5 and ir_rc6 decoders.
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

#include "interchange/exporters.h"
#include "interchange/frame_text.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::interchange;

namespace {

constexpr int kDefaultCaptures = 4;
constexpr double kGlitchJitter = 0.10;
constexpr double kGlitchShare = 0.3;

struct Row {
    const char* name;
    double jitter;
    double glitches;
};

constexpr Row kRows[] = {
    {"±15 %", 0.15, 0}, {"±20 %", 0.20, 0}, {"glitches", kGlitchJitter, kGlitchShare}};

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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int captures = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultCaptures;
    const bool verbose = argc > 2 && QByteArray(argv[2]) == "--verbose";
    std::printf("%-10s %-9s %8s %8s %6s %8s  %s\n", "family", "timing", "sent", "found", "wrong",
                "invented", "glitched: found / listed unknown / of");
    for (const irgen::Family family : irgen::kFamilies) {
        for (const Row& row : kRows) {
            irgen::Score total;
            for (int c = 0; c < captures; ++c) {
                irgen::Options o;
                o.jitter = row.jitter;
                o.glitchShare = row.glitches;
                o.seed = static_cast<uint32_t>(1000 * c + 17);
                const irgen::Generated g = irgen::generate(family, o);
                const ChannelLevels line = channelLevels(irgen::renderChannel(g));
                const std::vector<IrFrame> got = decodeInfrared(line, 1, IrUnknownBursts::Listed);
                const irgen::Score s = irgen::score(g.truth, got);
                if (verbose) {
                    printDifferences(g, got);
                }
                total.sent += s.sent;
                total.found += s.found;
                total.wrong += s.wrong;
                total.invented += s.invented;
                total.glitched += s.glitched;
                total.glitchedFound += s.glitchedFound;
                total.glitchedListed += s.glitchedListed;
            }
            std::printf("%-10s %-9s %8d %7.2f%% %6d %8d", qPrintable(irgen::familyName(family)),
                        row.name, total.sent, 100.0 * total.found / std::max(1, total.sent),
                        total.wrong, total.invented);
            if (total.glitched > 0) {
                std::printf("  %d / %d / %d", total.glitchedFound, total.glitchedListed,
                            total.glitched);
            }
            std::printf("\n");
        }
    }
    return 0;
}
