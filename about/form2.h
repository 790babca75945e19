#pragma once

#include <QWidget>

namespace velmoran {

// Form2: the About window.
class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);
};

} // namespace velmoran
