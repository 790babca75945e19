#include "files/message_box.h"

#include <QMessageBox>

#include "app/texts.h"

namespace velmoran {

void MsgBox(QWidget* owner, const QString& prompt) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(texts::kTitle), prompt, QMessageBox::Ok,
                    owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace velmoran
