#include "app/recent_files.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

#include "core/texts.h"
#include "files/message_box.h"

namespace velmoran {

namespace {

const QString kRecentKey = QStringLiteral("recentFiles");

} // namespace

RecentFiles::RecentFiles(QMenu* menu, QWidget* messageParent)
    : QObject(menu), menu_(menu), messageParent_(messageParent) {
    menu_->setObjectName(QStringLiteral("menuRecent"));
    fill();
}

QStringList RecentFiles::files() const {
    // Only the first few: the menu shows no more, and a settings file grown by hand or by
    // another program must not make every start-up build thousands of entries.
    return QSettings().value(kRecentKey).toStringList().mid(0, kCount);
}

void RecentFiles::fill() {
    menu_->clear();
    const QStringList list = files();
    for (int i = 0; i < list.size(); ++i) {
        const QString& path = list[i];
        // A "&" of the name is shown as itself, not taken as the item's accelerator.
        QString name = QFileInfo(path).fileName();
        name.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = menu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
        a->setObjectName(QStringLiteral("actionRecent%1").arg(i + 1));
        a->setToolTip(path);
        a->setStatusTip(path);
        a->setEnabled(enabled_);
        connect(a, &QAction::triggered, this, [this, path] { open(path); });
    }
    if (list.isEmpty()) {
        menu_->addAction(texts::q(texts::kMenuNoRecent))->setEnabled(false);
    }
}

void RecentFiles::setEnabled(bool enabled) {
    enabled_ = enabled;
    for (QAction* a : menu_->actions()) {
        if (!a->objectName().isEmpty()) {
            a->setEnabled(enabled);
        }
    }
}

void RecentFiles::remember(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = files();
    list.removeAll(absolute);
    list.prepend(absolute);
    while (list.size() > kCount) {
        list.removeLast();
    }
    QSettings().setValue(kRecentKey, list);
    fill();
}

void RecentFiles::open(const QString& path) {
    if (!QFileInfo::exists(path)) {
        QStringList list = files();
        list.removeAll(path);
        QSettings().setValue(kRecentKey, list);
        fill();
        MsgBox(messageParent_, texts::q(texts::kRecentMissing).arg(QDir::toNativeSeparators(path)));
        return;
    }
    Q_EMIT openRequested(path);
}

} // namespace velmoran
