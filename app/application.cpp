#include "app/application.h"

#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <ctime>

#include "app/translations.h"
#include "app/ui_style.h"
#include "core/constants.h"
#include "files/message_box.h"

namespace velmoran {

namespace {
constexpr int kIconSize = 32;
constexpr int kFontPointSize = 9;
} // namespace

QFont songtiFont(bool bold) {
    QFont f(QStringLiteral("SimSun"), kFontPointSize);
    f.setBold(bold);
    return f;
}

QIcon applicationIcon() {
    // A green square wave on a dark screen, with a time cursor: the program in a glance.
    QPixmap pm(kIconSize, kIconSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(QColor(24, 38, 64));
    p.setPen(QColor(120, 140, 170));
    p.drawRoundedRect(0, 0, kIconSize - 1, kIconSize - 1, 4, 4);
    p.setPen(QPen(QColor(199, 240, 254), 1, Qt::DotLine));
    p.drawLine(21, 3, 21, 28);
    p.setPen(QPen(QColor(80, 230, 120), 2));
    QPainterPath wave;
    wave.moveTo(3, 22);
    wave.lineTo(8, 22);
    wave.lineTo(8, 9);
    wave.lineTo(14, 9);
    wave.lineTo(14, 22);
    wave.lineTo(17, 22);
    wave.lineTo(17, 9);
    wave.lineTo(25, 9);
    wave.lineTo(25, 22);
    wave.lineTo(29, 22);
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.end();
    return QIcon(pm);
}

namespace {

class StartupProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            timespec ts{};
            clock_gettime(CLOCK_MONOTONIC, &ts);
            std::printf("shown %lld.%09ld\n", static_cast<long long>(ts.tv_sec), ts.tv_nsec);
            std::fflush(stdout);
            watched->removeEventFilter(this);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void installStartupProbe(QWidget& window) {
    if (qEnvironmentVariableIsSet("VELMORAN_STARTUP_PROBE")) {
        window.installEventFilter(new StartupProbe(&window));
    }
}

void setUpApplication(QApplication& app) {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setOrganizationName(QString::fromLatin1(kOrganizationName));
    // 宋体 is not a Linux font: the nearest installed serif CJK face stands in for it.
    const QStringList songti{QStringLiteral("Noto Serif CJK SC"),
                             QStringLiteral("Noto Sans CJK SC"), QStringLiteral("AR PL UMing CN"),
                             QStringLiteral("WenQuanYi Zen Hei")};
    QFont::insertSubstitutions(QStringLiteral("SimSun"), songti);
    QFont::insertSubstitutions(QStringLiteral("宋体"), songti);
    app.setFont(songtiFont());
    app.setWindowIcon(applicationIcon());
    // Qt's dialogs and buttons in Chinese like the rest; readable combo boxes and focus;
    // message boxes as wide as their title.
    installQtTranslations(app);
    installReadableStyle(app);
    installMessageBoxTitleFit(app);
}

} // namespace velmoran
