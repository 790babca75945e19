#include "infrared/frame_text.h"

#include <QStringList>

#include "infrared/family_protocols.h"
#include "infrared/ir_analysis.h"

namespace velmoran::infrared {

namespace {

QString hex(uint32_t value, int digits) {
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

// The family frame's fields as its description words them; none for a repeat code of no
// known key.
QStringList familyFields(const IrFrame& f, const IrFamilyProtocol* d) {
    QStringList out;
    if (d == nullptr || !f.keyKnown) {
        return out;
    }
    for (const IrFieldText& t : d->texts) {
        const uint32_t value = frameField(f, t.field) >> t.shift & t.mask;
        out << QLatin1String(t.word) + QLatin1Char('=') +
                   (t.digits == 0 ? QString::number(value) : hex(value, t.digits));
    }
    return out;
}

// An unknown frame's statistics, inferred coding and raw durations.
QStringList unknownFields(const IrFrame& f) {
    const BurstSummary s = summarizeBurst(f);
    QStringList raw;
    for (const int32_t d : f.durationsUs) {
        raw << (d > 0 ? QStringLiteral("+%1").arg(d) : QString::number(d));
    }
    QStringList out{QStringLiteral("pulses=%1").arg(s.pulses),
                    QStringLiteral("duration_us=%1").arg(s.durationUs),
                    QStringLiteral("mark_us=%1").arg(s.commonMarkUs),
                    QStringLiteral("space_us=%1").arg(s.commonSpaceUs)};
    const IrAnalysis& a = f.analysis;
    if (a.scheme != IrScheme::None) {
        out << codingTimings(a);
        if (a.gapUs > 0) {
            out << QStringLiteral("gap=-%1").arg(a.gapUs);
        }
        out << QStringLiteral("bits=%1").arg(a.bits.size());
        if (a.repeatCode) {
            out << QStringLiteral("repeat-code");
        }
    }
    out << QStringLiteral("raw=") + raw.join(QLatin1Char(','));
    return out;
}

} // namespace

QString codingText(const IrAnalysis& a) {
    const char* scheme = a.scheme == IrScheme::PulseDistance ? "脉冲间隔"
                         : a.scheme == IrScheme::PulseWidth  ? "脉冲宽度"
                         : a.scheme == IrScheme::FourSymbol  ? "四符号"
                                                             : "双相";
    return QStringLiteral("未知(%1%2位)").arg(QString::fromUtf8(scheme)).arg(a.bits.size());
}

QString codingTimings(const IrAnalysis& a) {
    const auto pair = [](int mark, int space) {
        return QStringLiteral("+%1,-%2").arg(mark).arg(space);
    };
    QStringList out;
    if (a.headerMarkUs > 0) {
        out << QStringLiteral("hdr=") + pair(a.headerMarkUs, a.headerSpaceUs);
    }
    if (a.scheme == IrScheme::FourSymbol) {
        out << QStringLiteral("00=") + pair(a.zeroMarkUs, a.zeroSpaceUs)
            << QStringLiteral("01=") + pair(a.oneMarkUs, a.oneSpaceUs)
            << QStringLiteral("10=") + pair(a.zeroMarkUs, a.twoSpaceUs)
            << QStringLiteral("11=") + pair(a.zeroMarkUs, a.threeSpaceUs);
    } else {
        out << QStringLiteral("0=") + pair(a.zeroMarkUs, a.zeroSpaceUs)
            << QStringLiteral("1=") + pair(a.oneMarkUs, a.oneSpaceUs);
    }
    if (a.trailMarkUs > 0) {
        out << QStringLiteral("trail=+%1").arg(a.trailMarkUs);
    }
    for (const int at : a.separatorsAt) {
        out << QStringLiteral("sep@%1=-%2").arg(at).arg(a.separatorUs);
    }
    return out.join(QLatin1Char(' '));
}

FrameText frameText(const IrFrame& f) {
    FrameText text;
    text.protocol = protocolName(f);
    const bool wide =
        f.extended || f.protocol == IrProtocol::Sirc || f.protocol == IrProtocol::Sanyo;
    text.address = f.keyKnown ? hex(f.address, wide ? 4 : 2) : QStringLiteral("-");
    text.command = f.keyKnown ? hex(f.command, 2) : QStringLiteral("-");
    if (f.analysis.scheme != IrScheme::None) {
        text.protocol = codingText(f.analysis);
        text.address = QStringLiteral("LSB=") + bitsHex(f.analysis.bits, true);
        text.command = QStringLiteral("MSB=") + bitsHex(f.analysis.bits, false);
    }
    text.check = QStringLiteral("-");
    if (f.check == IrCheck::Passed) {
        text.check = QStringLiteral("ok");
    } else if (f.check == IrCheck::Failed) {
        text.check = QStringLiteral("FAILED");
    }
    const IrFamilyProtocol* d = familyProtocolOf(f);
    QStringList notes = f.protocol == IrProtocol::Unknown ? unknownFields(f) : familyFields(f, d);
    if (f.extended) {
        notes << QStringLiteral("extended-address");
    }
    if (f.check == IrCheck::Failed) {
        // The whole code as received: a damaged frame never reads like another key's.
        // As many digits as the frame sends bits (a Sharp or Denon pair's both frames).
        const int bits = d != nullptr ? familyDataBits(*d) : f.bits;
        notes << QStringLiteral("received=0x%1")
                     .arg(f.received, (bits + 3) / 4, 16, QLatin1Char('0'));
    }
    if (f.repeat) {
        notes << QStringLiteral("repeat");
    }
    if (f.half != IrPairHalf::Both) {
        notes << (f.half == IrPairHalf::FirstOnly ? QStringLiteral("half=first")
                                                  : QStringLiteral("half=second"));
    }
    if (!f.keyKnown && f.protocol == IrProtocol::NecRepeat) {
        notes << QStringLiteral("repeats-no-frame");
    }
    text.notes = notes.join(QLatin1Char(' '));
    return text;
}

} // namespace velmoran::infrared
