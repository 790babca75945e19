#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace velmoran {

// CommonDialog1: the file dialog shared by load and save; it remembers the last file name.
class CommonDialog : public QObject {
    Q_OBJECT
public:
    explicit CommonDialog(QWidget* owner);
};

} // namespace velmoran
