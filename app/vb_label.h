#pragma once

// A label as the old windows had it: transparent background, and optionally sized to its text
// whenever its caption changes (keeping its Left and Top).

#include <QHash>
#include <QLabel>
#include <QSize>

namespace velmoran {

class VbLabel : public QLabel {
    Q_OBJECT
public:
    VbLabel(const QString& caption, bool autoSize, QWidget* parent);

    QString Caption() const { return text(); }
    void setCaption(const QString& caption);
    bool AutoSize() const { return autoSize_; }

    // An auto-sized label's size for its text, remembered per text: the monitor sets the same
    // few captions over and over, and laying a text out is most of what a caption costs.
    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    bool autoSize_;
    mutable QHash<QString, QSize> sizeForText_;
    mutable int sizesDpi_ = 0;
};

} // namespace velmoran
