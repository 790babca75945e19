#include "about/fade.h"

#include <QStringList>

namespace velmoran {

bool fadeSupportedOn(const QString& platformName) {
    static const QStringList translucent{QStringLiteral("xcb"), QStringLiteral("windows"),
                                         QStringLiteral("cocoa"), QStringLiteral("direct2d")};
    return translucent.contains(platformName, Qt::CaseInsensitive);
}

} // namespace velmoran
