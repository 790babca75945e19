// velmoran-irgen: writes a capture file of generated infrared frames and their truth.
//
//   velmoran-irgen -o OUT.ird [--protocols nec,rc5,rc6] [--jitter 15] [--glitches 30]
//                  [--stretch 100] [--lone-halves 20] [--jvc-periods on] [--seed N]
//
// Channel k carries the k-th family listed (all three NEC by default). The truth goes to
// OUT.ird.truth, one line per frame sent in the columns of velmoran-ird decode, plus
// "glitch" where a glitch hit the frame.

#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <memory>

#include "files/capture_file.h"
#include "files/program_start.h"
#include "infrared/frame_text.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;

namespace {

constexpr int kExitUsage = 2;
constexpr char kUsage[] =
    "usage: velmoran-irgen -o OUT.ird [--protocols F1,F2,F3] [--jitter PERCENT]\n"
    "                      [--glitches PERCENT] [--stretch US] [--lone-halves PERCENT]\n"
    "                      [--jvc-periods on|off] [--seed N]\n"
    "--stretch      a receiver that lengthens every mark (shortens every space) by US\n"
    "--lone-halves  the share of Sharp and Denon frames sent without their partner\n"
    "--jvc-periods  JVC's held keys repeat 45 to 70 ms apart instead of one gap later\n"
    "families: nec samsung32 jvc kaseikyo sharp denon rc5 rc6 sirc rca\n"
    "          unknown-pd48 unknown-pd112 unknown-pw12 unknown-biphase14 (codings no decoder\n"
    "          knows: the truth gives their bits)\n";

int usage(const char* why) {
    std::fprintf(stderr, "velmoran-irgen: %s\n%s", why, kUsage);
    return kExitUsage;
}

// The most jitter (of each duration) and glitches (share of frames) that still make sense.
constexpr double kMostJitterPercent = 50;
constexpr double kMostGlitchPercent = 100;
constexpr double kPercent = 100;

// Reads a percentage of at most `most` into `share` (as a fraction of 1); false when it is a
// number out of that range. `ok` tells whether it was a number at all.
bool readShare(const QString& value, double most, bool& ok, double& share) {
    const double percent = value.toDouble(&ok);
    if (ok && !(percent >= 0 && percent <= most)) {
        return false;
    }
    share = percent / kPercent;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    ignoreFileSizeSignal();
    QString output;
    QStringList families{QStringLiteral("nec"), QStringLiteral("nec"), QStringLiteral("nec")};
    irgen::Options options;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (i + 1 >= argc) {
            return usage("every option takes a value");
        }
        const std::optional<QString> decoded = argumentText(argv[++i]);
        if (!decoded) {
            return usage(qPrintable(unrepresentableArgumentText(argv[i])));
        }
        const QString value = *decoded;
        bool ok = true;
        if (arg == QLatin1String("-o")) {
            output = value;
        } else if (arg == QLatin1String("--protocols")) {
            families = value.split(QLatin1Char(','));
        } else if (arg == QLatin1String("--jitter")) {
            if (!readShare(value, kMostJitterPercent, ok, options.jitter)) {
                return usage("--jitter is a percentage from 0 to 50");
            }
        } else if (arg == QLatin1String("--glitches")) {
            if (!readShare(value, kMostGlitchPercent, ok, options.glitchShare)) {
                return usage("--glitches is a percentage from 0 to 100");
            }
        } else if (arg == QLatin1String("--stretch")) {
            options.markStretchUs = value.toDouble(&ok);
        } else if (arg == QLatin1String("--lone-halves")) {
            if (!readShare(value, kPercent, ok, options.loneHalfShare)) {
                return usage("--lone-halves is a percentage from 0 to 100");
            }
        } else if (arg == QLatin1String("--jvc-periods")) {
            options.jvcPeriods = value == QLatin1String("on");
            ok = options.jvcPeriods || value == QLatin1String("off");
        } else if (arg == QLatin1String("--seed")) {
            options.seed = value.toUInt(&ok);
        } else {
            return usage("unknown option");
        }
        if (!ok) {
            return usage("not a number");
        }
    }
    if (output.isEmpty() || families.isEmpty() || families.size() > kChannelCount) {
        return usage("give -o OUT.ird and one to three families");
    }
    std::unique_ptr<ChannelBuffer[]> buffers(new ChannelBuffer[kChannelCount]{});
    QByteArray truth("# channel  time_us  protocol  address  command  check  notes\n");
    for (qsizetype c = 0; c < families.size(); ++c) {
        const std::optional<irgen::Family> family = irgen::familyFromName(families[c]);
        if (!family) {
            return usage("unknown family");
        }
        irgen::Options channelOptions = options;
        channelOptions.seed = options.seed + static_cast<uint32_t>(c);
        const irgen::Generated g = irgen::generate(*family, channelOptions);
        buffers[c] = irgen::renderChannel(g);
        for (const irgen::SentFrame& s : g.truth) {
            const infrared::FrameText t = infrared::frameText(s.frame);
            truth += QStringLiteral("  %1  %2 %3 %4 %5 %6 %7%8\n")
                         .arg(c + 1)
                         .arg(s.startUs, 0, 'f', 1)
                         .arg(t.protocol, t.address, t.command, t.check, t.notes,
                              s.glitched ? QStringLiteral(" glitch") : QString())
                         .toUtf8();
        }
    }
    const CaptureFileResult saved = saveCaptureFile(output, buffers[0], buffers[1], buffers[2]);
    if (!saved.ok) {
        std::fprintf(stderr, "velmoran-irgen: cannot write %s: %s\n", qPrintable(output),
                     qPrintable(saved.error));
        return 1;
    }
    const QString truthPath = output + QStringLiteral(".truth");
    QFile truthFile(truthPath);
    if (!truthFile.open(QIODevice::WriteOnly) || truthFile.write(truth) != truth.size() ||
        !truthFile.flush()) {
        std::fprintf(stderr, "velmoran-irgen: cannot write %s: %s\n", qPrintable(truthPath),
                     qPrintable(truthFile.errorString()));
        return 1;
    }
    return 0;
}
