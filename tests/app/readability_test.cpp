// What a user reads in the window and its dialogs: Qt's own texts in Chinese, message boxes as
// wide as their title, combo box text clear of the box's frame, and a focus ring that stands
// out. The suite runs once at 96 dpi and once more with QT_SCALE_FACTOR=2; the pixel checks
// read device pixels.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

#include "app/shown_window.h"

#include "app/form1.h"
#include "app/vb_label.h"
#include "core/texts.h"
#include "display/picture_box.h"

using namespace velmoran;
using namespace velmoran::test;

namespace {

bool hasChinese(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) {
            return true;
        }
    }
    return false;
}

double luminance(QRgb c) {
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The window as the screen shows it, in device pixels.
QImage screenOf(Form1& form) {
    return form.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Share of the pixels of the band `width` logical pixels wide just outside `w` whose colour
// changed between `before` and `after` by a contrast ratio of at least 3:1.
double bandChanged(const QImage& before, const QImage& after, QWidget* w, int width) {
    const qreal dpr = w->devicePixelRatioF();
    const QRect inner = w->geometry();
    const QRect outer = inner.adjusted(-width, -width, width, width);
    auto device = [dpr](const QRect& r) {
        return QRect(QPoint(static_cast<int>(std::lround(r.left() * dpr)),
                            static_cast<int>(std::lround(r.top() * dpr))),
                     QSize(static_cast<int>(std::lround(r.width() * dpr)),
                           static_cast<int>(std::lround(r.height() * dpr))));
    };
    const QRect in = device(inner);
    const QRect out = device(outer);
    int band = 0;
    int changed = 0;
    for (int y = out.top(); y <= out.bottom(); ++y) {
        for (int x = out.left(); x <= out.right(); ++x) {
            if (in.contains(x, y) || !before.rect().contains(x, y)) {
                continue;
            }
            ++band;
            changed += contrast(before.pixel(x, y), after.pixel(x, y)) >= 3.0;
        }
    }
    return band == 0 ? 0.0 : static_cast<double>(changed) / band;
}

void pressTab(int times = 1) {
    for (int i = 0; i < times; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
}

TEST(QtTexts, TheLoadDialogAndItsMessageReadChinese) {
    ShownWindow w;
    ModalReader reader;
    w.form.Command1->click(); // 载入: the file dialog, cancelled before any file was chosen
    ASSERT_EQ(reader.seen().size(), 2u);
    const SeenModal& dialog = reader.seen()[0];
    ASSERT_EQ(dialog.kind, QStringLiteral("file"));
    // Open and Cancel, and the labels Look in / File name / Files of type.
    EXPECT_TRUE(dialog.buttons.join(QLatin1Char('|')).contains(QStringLiteral("打开")))
        << dialog.buttons.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(dialog.buttons.contains(QStringLiteral("取消")))
        << dialog.buttons.join(QLatin1Char('|')).toStdString();
    for (const QString& label : dialog.labels) {
        EXPECT_TRUE(hasChinese(label)) << label.toStdString();
    }
    EXPECT_GE(dialog.labels.size(), 3);
    EXPECT_FALSE(dialog.title.contains(QStringLiteral("Open"))) << dialog.title.toStdString();

    const SeenModal& message = reader.seen()[1];
    ASSERT_EQ(message.kind, QStringLiteral("message"));
    EXPECT_EQ(message.text, texts::q(texts::kOpenFileError));
    EXPECT_EQ(message.buttons, QStringList{QStringLiteral("确定")});
    EXPECT_EQ(message.title, texts::q(texts::kTitle));
    EXPECT_GE(message.width, titleNeeds(message.title));
}

// Rows of `image` inside `area` holding text ink (dark pixels), in device pixels.
std::pair<int, int> inkRows(const QImage& image, const QRect& area) {
    int top = -1;
    int bottom = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (luminance(image.pixel(x, y)) < 0.45) {
                if (top < 0) {
                    top = y;
                }
                bottom = y;
                break;
            }
        }
    }
    return {top, bottom};
}

TEST(ComboText, SitsInTheMiddleOfTheBoxClearOfItsFrame) {
    ShownWindow w;
    for (QComboBox* combo : {w.form.Combo1, w.form.Combo2}) {
        for (const char* text : {"1", "通道"}) {
            combo->setEditText(QString::fromUtf8(text));
            const QImage image = combo->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const qreal dpr = image.devicePixelRatio();
            // The text field: inside the frame, left of the arrow button.
            const QRect field = combo->lineEdit()->geometry();
            const QRect area(static_cast<int>(std::ceil(field.left() * dpr)),
                             static_cast<int>(std::ceil(field.top() * dpr)),
                             static_cast<int>(field.width() * dpr) - 1,
                             static_cast<int>(field.height() * dpr) - 1);
            const auto [top, bottom] = inkRows(image, area);
            ASSERT_GE(top, 0) << combo->objectName().toStdString() << " shows no text";
            const double inkMiddle = (top + bottom) / 2.0;
            const double boxMiddle = (image.height() - 1) / 2.0;
            EXPECT_LE(std::abs(inkMiddle - boxMiddle), 1.0 * dpr)
                << combo->objectName().toStdString() << " \"" << text << "\": ink rows " << top
                << "-" << bottom << " of " << image.height();
            // At least two pixels of the box's own colour between the ink and each frame edge.
            EXPECT_GE(top, static_cast<int>(3 * dpr)) << text;
            EXPECT_LE(bottom, image.height() - 1 - static_cast<int>(3 * dpr)) << text;
        }
    }
}

TEST(FocusRing, TabShowsAClearRingAndAClickHidesIt) {
    ShownWindow w;
    Form1& form = w.form;
    ASSERT_EQ(QApplication::focusWidget(), form.Picture1);
    const QImage start = screenOf(form);

    pressTab(); // Picture1 -> Command2
    ASSERT_EQ(QApplication::focusWidget(), form.Command2);
    QImage now = screenOf(form);
    EXPECT_GE(bandChanged(start, now, form.Command2, 2), 0.95);

    pressTab(4); // HScroll1, Command5, Command6, Combo1
    ASSERT_EQ(form.Combo1->isAncestorOf(QApplication::focusWidget()) ||
                  QApplication::focusWidget() == form.Combo1,
              true);
    now = screenOf(form);
    EXPECT_GE(bandChanged(start, now, form.Combo1, 2), 0.95);
    EXPECT_LE(bandChanged(start, now, form.Command2, 2), 0.0) << "the ring stayed behind";

    pressTab(); // Combo2, just below Combo1
    now = screenOf(form);
    QDir().mkpath(VELMORAN_SCREENSHOT_DIR);
    now.save(
        QStringLiteral(VELMORAN_SCREENSHOT_DIR "/focus-ring-x%1.png").arg(now.devicePixelRatio()));
    EXPECT_GE(bandChanged(start, now, form.Combo2, 2), 0.95);

    // A click moves the focus by mouse: no ring then, as desktops do.
    QTest::mouseClick(form.Combo1->lineEdit(), Qt::LeftButton);
    ASSERT_TRUE(form.Combo1->hasFocus() || form.Combo1->lineEdit()->hasFocus());
    now = screenOf(form);
    EXPECT_LE(bandChanged(start, now, form.Combo1, 2), 0.0);
    EXPECT_LE(bandChanged(start, now, form.Combo2, 2), 0.0);
}

} // namespace
