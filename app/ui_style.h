#pragma once

// Readability of the controls at any scale: the text of an editable combo box centred on its
// box whatever the face's line height, and a clear ring around the control that has the
// keyboard focus once the user moves it with the keyboard.

#include <QPointer>
#include <QProxyStyle>
#include <QWidget>

#include <functional>

class QApplication;

namespace velmoran {

// The application's style with one change: the text field of an editable combo box puts the
// text's baseline so that capital letters, digits and CJK characters sit in the middle of the
// box. The CJK faces have a line height close to the box's 20 px, and centring the line box
// instead puts the glyphs on the bottom frame.
class ReadableStyle : public QProxyStyle {
    Q_OBJECT
public:
    ReadableStyle();

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override;
};

// The ring around the focused control: a band kFocusRingWidth pixels wide just outside the
// control, passing mouse events through.
class FocusRing : public QWidget {
    Q_OBJECT
public:
    explicit FocusRing(QWidget* parent);
    ~FocusRing() override;

    // Puts the ring around `target` (a child of the ring's parent).
    void surround(QWidget* target);
    QWidget* target() const { return target_; }

    // Called first thing in the destructor, while the ring is still whole: the window that
    // owns the ring may be closing, and whoever keeps the ring must forget it before Qt sends
    // the events of the rest of its destruction.
    void setOnGone(std::function<void()> onGone) { onGone_ = std::move(onGone); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QWidget> target_;
    std::function<void()> onGone_;
};

// Width of the focus ring, in pixels (device-independent).
inline constexpr int kFocusRingWidth = 2;

// Sets ReadableStyle as the style of `app` and shows a FocusRing around the focused control
// after each focus move by Tab, Shift+Tab or a shortcut; a mouse click hides it again, as
// desktops do.
void installReadableStyle(QApplication& app);

} // namespace velmoran
