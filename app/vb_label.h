#pragma once

// A label as the old windows had it: transparent background, and optionally sized to its text
// whenever its caption changes (keeping its Left and Top).

#include <QLabel>

namespace velmoran {

class VbLabel : public QLabel {
    Q_OBJECT
public:
    VbLabel(const QString& caption, bool autoSize, QWidget* parent);

    QString Caption() const { return text(); }
    void setCaption(const QString& caption);
    bool AutoSize() const { return autoSize_; }

private:
    bool autoSize_;
};

} // namespace velmoran
