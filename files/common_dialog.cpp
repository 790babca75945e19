#include "files/common_dialog.h"

#include <QWidget>

namespace velmoran {

CommonDialog::CommonDialog(QWidget* owner) : QObject(owner) {}

} // namespace velmoran
