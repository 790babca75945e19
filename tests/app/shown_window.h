#pragma once

// A window shown the way a user meets it, and the room a window manager needs for a title:
// shared by the tests of what the window tells its user.

#include <QApplication>
#include <QFontMetrics>
#include <QTest>
#include <gtest/gtest.h>

#include "app/form1.h"
#include "support/modal_answerer.h"

namespace velmoran::test {

using ModalReader = ModalAnswerer;

// A window manager's title needs the title in a bold face (window managers commonly use 10 to
// 11 pt) and room for the window icon and a close button at least.
inline int titleNeeds(const QString& title) {
    QFont bold = QApplication::font();
    bold.setBold(true);
    bold.setPointSize(11);
    constexpr int kIconAndCloseButton = 2 * 24;
    constexpr int kMargins = 2 * 8;
    return QFontMetrics(bold).horizontalAdvance(title) + kIconAndCloseButton + kMargins;
}

// Form1 shown and active; its port lookup only counts how often it is asked.
struct ShownWindow {
    int mapCalls = 0;
    Form1 form{[this](int) {
        ++mapCalls;
        return QString();
    }};
    ShownWindow() {
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
};

} // namespace velmoran::test
