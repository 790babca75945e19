#include "app/target_channel.h"

#include <QStringList>

#include "acquisition/block_receiver.h"
#include "core/constants.h"

namespace velmoran {

std::optional<int> namedChannel(const QString& text) {
    // The same number the block receiver picks its buffer by, so the two can never disagree.
    const double number = targetChannel(text);
    for (int c = 1; c <= kChannelCount; ++c) {
        if (number == c) {
            return c;
        }
    }
    return std::nullopt;
}

QString noSuchChannelMessage(const QString& text) {
    QStringList first;
    for (int c = 1; c < kChannelCount; ++c) {
        first << QString::number(c);
    }
    // "1、2 或 3"
    const QString valid =
        first.join(QStringLiteral("、")) + QStringLiteral(" 或 ") + QString::number(kChannelCount);
    return QStringLiteral("显示通道“%1”不是有效的通道，只能选择 %2。\n数据采集未开始。")
        .arg(text, valid);
}

} // namespace velmoran
