#pragma once

// Form2: the About window. A separate top-level window that shows the picture with the title,
// the credit lines and a welcome line on it, and fades in where the window system can make a
// window translucent. Closing it destroys it; the main window creates a new one on the next
// click, which loads and fades again.

#include <QWidget>

#include <cstdint>
#include <optional>

class QLabel;
class QTimer;

namespace velmoran {

class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

    // Controls, by their design names.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Image1 = nullptr;
    QTimer* Timer1 = nullptr;

    // 1 when the window can be made translucent (decided at each load), 0 otherwise.
    int16_t FadeSupported = 0;
    // Current opacity, in 1/255 steps.
    int16_t FadeLevel = 0;

    // Forces the answer of the fade-support test for windows loaded from now on (tests);
    // std::nullopt goes back to asking the platform.
    static void setFadeSupportOverride(std::optional<bool> supported);

public Q_SLOTS:
    void Timer1_Timer();

Q_SIGNALS:
    // Raised each time the window's opacity is set, with the opacity in 1/255 steps.
    void opacitySet(int alpha);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void centreOnScreen();
    void Form_Load();
    void setOpacity(int16_t alpha);

    bool centred_ = false;
};

} // namespace velmoran
