#include "app/help_page.h"

#include <QStringList>

#include "app/export_menu.h"
#include "core/texts.h"
#include "infrared/families.h"

namespace velmoran {

QString helpHtml() {
    QStringList families;
    for (const infrared::IrFamily& f : infrared::kIrFamilies) {
        families << QString::fromUtf8(f.name);
    }
    return texts::q(texts::kHelpHtml)
        .arg(families.join(texts::q("、")), exportMenuTexts().join(texts::q("、")));
}

} // namespace velmoran
