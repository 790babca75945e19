#pragma once

// Reads and closes the modal windows a handler opens, as a person would, and shows a window
// the way a user meets it. Shared by the tests of what the window tells its user.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

#include "app/form1.h"

namespace velmoran::test {

// What the modal windows that opened looked like; each is closed as a person would.
struct SeenModal {
    QString kind; // "file" or "message"
    QString title;
    QString text;
    int width = 0;
    QStringList buttons;
    QStringList labels;
};

class ModalReader {
public:
    ModalReader() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
        timer_.start();
    }
    const std::vector<SeenModal>& seen() const { return seen_; }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        SeenModal s;
        s.title = modal->windowTitle();
        s.width = modal->width();
        for (auto* b : modal->findChildren<QAbstractButton*>()) {
            if (b->isVisible() && !b->text().isEmpty()) {
                s.buttons << b->text();
            }
        }
        for (auto* l : modal->findChildren<QLabel*>()) {
            if (l->isVisible() && !l->text().isEmpty()) {
                s.labels << l->text();
            }
        }
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            s.kind = QStringLiteral("file");
            seen_.push_back(s);
            dialog->reject();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            s.kind = QStringLiteral("message");
            s.text = box->text();
            seen_.push_back(s);
            box->button(QMessageBox::Ok)->click();
        }
    }

    QTimer timer_;
    std::vector<SeenModal> seen_;
};

// A window manager's title needs the title in a bold face (window managers commonly use 10 to
// 11 pt) and room for the window icon and a close button at least.
int titleNeeds(const QString& title) {
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
