#include "interchange/frame_text.h"

#include <QStringList>

namespace velmoran::interchange {

namespace {

QString hex(uint32_t value, int digits) {
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

} // namespace

FrameText frameText(const IrFrame& f) {
    FrameText text;
    text.protocol = protocolName(f);
    const bool wide = f.extended || f.protocol == IrProtocol::Sirc;
    text.address = f.keyKnown ? hex(f.address, wide ? 4 : 2) : QStringLiteral("-");
    text.command = f.keyKnown ? hex(f.command, 2) : QStringLiteral("-");
    text.check = QStringLiteral("-");
    if (f.check == IrCheck::Passed) {
        text.check = QStringLiteral("ok");
    } else if (f.check == IrCheck::Failed) {
        text.check = QStringLiteral("FAILED");
    }
    QStringList notes;
    if (f.extended) {
        notes << QStringLiteral("extended-address");
    }
    if (f.protocol == IrProtocol::Rc5) {
        notes << QStringLiteral("toggle=%1").arg(f.toggle ? 1 : 0);
    }
    if (!f.keyKnown) {
        notes << QStringLiteral("repeats-no-frame");
    }
    text.notes = notes.join(QLatin1Char(','));
    return text;
}

} // namespace velmoran::interchange
