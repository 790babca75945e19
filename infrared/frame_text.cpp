#include "infrared/frame_text.h"

#include <QStringList>

#include "infrared/ir_analysis.h"

namespace velmoran::infrared {

namespace {

QString hex(uint32_t value, int digits) {
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

QString field(const char* name, uint32_t value, int digits = 2) {
    return QLatin1String(name) + QLatin1Char('=') + hex(value, digits);
}

constexpr int kSircDeviceBits = 5;

// Sharp's and Denon's pair carries its bits twice.
int framesOf(const IrFrame& f) {
    return (f.protocol == IrProtocol::Sharp || f.protocol == IrProtocol::Denon) &&
                   f.half == IrPairHalf::Both
               ? 2
               : 1;
}

// The frame's fields by the names its protocol's descriptions use.
QStringList fieldsOf(const IrFrame& f) {
    switch (f.protocol) {
    case IrProtocol::Nec:
    case IrProtocol::NecRepeat:
        if (!f.keyKnown) {
            return {};
        }
        if (f.extended) {
            return {field("device", f.address & 0xFF), field("subdevice", f.address >> 8),
                    field("function", f.command)};
        }
        return {field("device", f.address), field("function", f.command)};
    case IrProtocol::Samsung32:
        return {field("device", f.address), field("subdevice", f.subdevice),
                field("function", f.command)};
    case IrProtocol::Jvc:
    case IrProtocol::Sharp:
    case IrProtocol::Denon:
    case IrProtocol::Rca:
    case IrProtocol::Sanyo:
        return {field("device", f.address), field("function", f.command)};
    case IrProtocol::Kaseikyo: {
        QStringList out{field("vendor", f.vendor, 4), field("device", f.address),
                        field("subdevice", f.subdevice), field("function", f.command)};
        if (f.vendor != kPanasonicVendor) {
            out << field("extra", f.extra, 1);
        }
        return out;
    }
    case IrProtocol::Rc5:
        return {field("system", f.address), field("command", f.command),
                QStringLiteral("toggle=%1").arg(f.toggle ? 1 : 0)};
    case IrProtocol::Rc6: {
        QStringList out{QStringLiteral("mode=%1").arg(f.mode)};
        if (f.mode != 0) {
            out << field("customer", f.vendor, 4);
        }
        out << field("address", f.address) << field("command", f.command)
            << QStringLiteral("toggle=%1").arg(f.toggle ? 1 : 0);
        return out;
    }
    case IrProtocol::Sirc: {
        QStringList out{field("device", f.bits == 20 ? f.address & 0x1F : f.address)};
        if (f.bits == 20) {
            out << field("extended", f.address >> kSircDeviceBits);
        }
        out << field("function", f.command);
        return out;
    }
    case IrProtocol::Unknown: {
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
    }
    return {};
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
    QStringList notes = fieldsOf(f);
    if (f.extended) {
        notes << QStringLiteral("extended-address");
    }
    if (f.check == IrCheck::Failed) {
        // The whole code as received: a damaged frame never reads like another key's.
        notes << QStringLiteral("received=0x%1")
                     .arg(f.received, (f.bits * framesOf(f) + 3) / 4, 16, QLatin1Char('0'));
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
