#include "interchange/c_array.h"

#include <QRegularExpression>
#include <QSet>

#include <cmath>

#include "infrared/frame_text.h"
#include "infrared/ir_encoder.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/pronto.h"

namespace velmoran::interchange {

using namespace infrared;

namespace {

constexpr int kNumbersPerLine = 8;

long wholeUs(double us) {
    return std::lround(std::abs(us));
}

} // namespace

QString cIdentifier(const QString& name) {
    QString id = name;
    id.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")), QStringLiteral("_"));
    if (id.isEmpty() || id.front().isDigit()) {
        id.prepend(QStringLiteral("ir_"));
    }
    return id;
}

QByteArray writeCArrays(const QByteArray& comment, const std::vector<CArray>& arrays) {
    QByteArray out = "/* " + comment + " */\n";
    out += "#include <stdint.h>\n";
    QSet<QString> used;
    for (const CArray& a : arrays) {
        const QString base = cIdentifier(a.name);
        QString id = base;
        for (int n = 2; used.contains(id); ++n) {
            id = base + QStringLiteral("_%1").arg(n);
        }
        used.insert(id);
        out += '\n';
        if (!a.note.isEmpty()) {
            // A note never ends the comment early.
            out += "/* " +
                   QString(a.note).replace(QStringLiteral("*/"), QStringLiteral("* /")).toUtf8() +
                   " */\n";
        }
        const QByteArray c = id.toUtf8();
        out += "const uint32_t " + c + "_carrier_hz = " +
               QByteArray::number(static_cast<qlonglong>(std::lround(a.carrierHz))) + ";\n";
        out += "const uint32_t " + c + "_us[" +
               QByteArray::number(static_cast<qsizetype>(a.durations.size())) + "] = {";
        for (std::size_t i = 0; i < a.durations.size(); ++i) {
            out += (i % kNumbersPerLine == 0 ? "\n    " : " ") +
                   QByteArray::number(static_cast<qlonglong>(wholeUs(a.durations[i])));
            if (i + 1 < a.durations.size()) {
                out += ',';
            }
        }
        out += "\n};\n";
    }
    return out;
}

QByteArray exportC(int channel, const std::vector<IrFrame>& frames,
                   const std::function<QString(const IrFrame&)>& keyName) {
    std::vector<CArray> arrays;
    for (const auto& [frame, text, described] : distinctFrames(frames)) {
        const IrFrame& f = *frame;
        CArray a;
        const QString key = keyName ? keyName(f) : QString();
        a.name =
            !key.isEmpty() ? key
            : f.protocol == IrProtocol::Unknown && f.named.isEmpty()
                ? QStringLiteral("unknown_%1").arg(arrays.size() + 1)
                : text.protocol + QLatin1Char('_') + text.address + QLatin1Char('_') + text.command;
        a.note = described.simplified();
        a.carrierHz = frameCarrierHz(f);
        a.durations = irFrameDurations(f);
        a.durations.push_back(-irFrameGapUs(f));
        arrays.push_back(std::move(a));
    }
    return writeCArrays(QByteArrayLiteral("Infrared frames of channel ") +
                            QByteArray::number(channel) +
                            ", written by velmoran-ird: one array per distinct frame, marks at "
                            "even indices,\n   spaces at odd ones, in microseconds, the last "
                            "space the rest before the next frame. The\n   receiver strips the "
                            "carrier: each frame carries its protocol's customary one.",
                        arrays);
}

} // namespace velmoran::interchange
