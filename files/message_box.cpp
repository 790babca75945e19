#include "files/message_box.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

#include "core/texts.h"

namespace velmoran {

namespace {

// Window managers draw titles bold and often larger than the application's text (9 pt here);
// measuring with 11 pt bold leaves room for the usual title faces.
constexpr int kTitleBarPointSize = 11;
// The bar holds the window icon and up to three buttons (minimise, maximise, close), each
// about as wide as the bar is tall, plus a margin at each end.
constexpr int kTitleBarSquares = 4;
constexpr int kTitleBarSquarePx = 28;
constexpr int kTitleBarMarginPx = 12;

// A zero-height widget spanning the box's grid, holding its minimum width.
constexpr char kStrutName[] = "titleWidthStrut";

class TitleFit : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Show reaches the filter before the box's own showEvent, where it fixes its size.
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                widenToTitle(*box);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int titleBarWidth(const QString& title) {
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPointSizeF(std::max(font.pointSizeF(), static_cast<qreal>(kTitleBarPointSize)));
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarSquares * kTitleBarSquarePx +
           2 * kTitleBarMarginPx;
}

void widenToTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) {
        return;
    }
    int width = titleBarWidth(box.windowTitle());
    if (const QScreen* screen = box.screen()) {
        width = std::min(width, screen->availableGeometry().width());
    }
    const QMargins margins = grid->contentsMargins();
    width -= margins.left() + margins.right();
    auto* strut =
        box.findChild<QWidget*>(QString::fromLatin1(kStrutName), Qt::FindDirectChildrenOnly);
    if (strut == nullptr || grid->indexOf(strut) < 0) {
        delete strut;
        strut = new QWidget(&box);
        strut->setObjectName(QString::fromLatin1(kStrutName));
        strut->setFixedHeight(0);
        // In the buttons' row, so that the box grows no taller.
        int row = grid->rowCount() - 1;
        if (auto* buttons = box.findChild<QDialogButtonBox*>()) {
            int column = 0;
            int rowSpan = 0;
            int columnSpan = 0;
            if (const int at = grid->indexOf(buttons); at >= 0) {
                grid->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
            }
        }
        grid->addWidget(strut, row, 0, 1, grid->columnCount());
    }
    strut->setFixedWidth(std::max(width, 0));
}

void installMessageBoxTitleFit(QApplication& app) {
    app.installEventFilter(new TitleFit(&app));
}

void MsgBox(QWidget* owner, const QString& prompt) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(texts::kTitle), prompt, QMessageBox::Ok,
                    owner);
    box.setWindowModality(Qt::ApplicationModal);
    widenToTitle(box);
    box.exec();
}

void WarningBox(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    widenToTitle(box);
    box.exec();
}

} // namespace velmoran
