#pragma once

// Which channel buffer a capture goes to, decided before the capture starts.

#include <QString>

#include <optional>

namespace velmoran {

// The channel, 1 to kChannelCount, that a 显示通道 text names by the buffers' own rule,
// Int(Val(text)): "2.7", " 3", "+2" and "&h3" each name one; "abc", "4", "0", "1e308" name none.
std::optional<int> namedChannel(const QString& text);

// The message shown instead of starting a capture whose 显示通道 text names no channel.
QString noSuchChannelMessage(const QString& text);

} // namespace velmoran
