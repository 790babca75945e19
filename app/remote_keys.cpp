#include "app/remote_keys.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QMainWindow>
#include <QTableView>
#include <QTimer>

#include "app/navigator_link.h"
#include "core/texts.h"
#include "files/message_box.h"
#include "interchange/frames_model.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"

namespace velmoran {

RemoteKeys::RemoteKeys(QMainWindow* window, NavigatorLink* navigator)
    : QObject(window), window_(window), navigator_(navigator) {
    if (const auto error = library_.load(interchange::RemoteLibrary::defaultPath())) {
        // Told once the window is up, not from inside its construction.
        QTimer::singleShot(0, this, [this, text = *error] {
            MsgBox(window_, texts::q(texts::kRemoteLibraryUnreadable).arg(text));
        });
    }
    navigator_->frames()->setLibrary(&library_);
    // The list's key cells are edited once the navigator exists.
    connect(navigator_, &NavigatorLink::framesChanged, this, &RemoteKeys::watchList);
    connect(navigator_, &NavigatorLink::shownChanged, this, &RemoteKeys::watchList);
}

interchange::KeyNames RemoteKeys::keyNames() const {
    interchange::KeyNames names;
    names.library = [this](const infrared::IrFrame& f) {
        const std::optional<interchange::LibraryKey> key = library_.lookup(f);
        return key ? key->key : QString();
    };
    return names;
}

void RemoteKeys::watchList() {
    navigator::NavigatorPanel* panel = navigator_->panel();
    if (panel == nullptr || table_ != nullptr) {
        return;
    }
    connect(panel->frames(), &navigator::FrameListModel::keyNamed, this, &RemoteKeys::nameKey);
    table_ = panel->frameTable();
    table_->installEventFilter(this);
}

void RemoteKeys::refresh() {
    navigator_->frames()->refreshKeys();
}

bool RemoteKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2 &&
        table_->currentIndex().column() == navigator::FrameListModel::Key) {
        event->accept(); // the key goes to the table, which opens the cell's editor
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void RemoteKeys::nameKey(int row, const QString& name) {
    const navigator::FrameListModel* list = navigator_->panel()->frames();
    if (row < 0 || row >= list->rowCount()) {
        return;
    }
    if (const auto error = library_.nameFrame(list->frame(row), name)) {
        MsgBox(window_, texts::q(texts::kRemoteKeyNotSaved).arg(*error));
    }
    refresh();
}

void RemoteKeys::importFiles() {
    QFileDialog dialog(window_, texts::q(texts::kImportRemotesTitle));
    dialog.setObjectName(QStringLiteral("ImportRemotesDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters({QStringLiteral("lircd.conf (*.conf *.lircd.conf *.lircd)"),
                           texts::q(texts::kAllFilesFilter)});
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    importRemotes(dialog.selectedFiles());
}

bool RemoteKeys::importRemotes(const QStringList& files) {
    const auto error = library_.importFiles(files);
    if (error) {
        MsgBox(window_, texts::q(texts::kImportRemotesError).arg(*error));
    }
    refresh();
    if (!error) {
        Q_EMIT imported(files);
    }
    return !error;
}

} // namespace velmoran
