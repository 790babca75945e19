#pragma once

// The help page (帮助 ▸ 使用说明), made from the same tables as the decoders and the export
// menu so that it names what the program does.

#include <QString>

namespace velmoran {

QString helpHtml();

} // namespace velmoran
