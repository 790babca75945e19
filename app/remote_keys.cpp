#include "app/remote_keys.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QTableView>
#include <QTimer>

#include "app/navigator_link.h"
#include "app/remote_library_dialog.h"
#include "core/texts.h"
#include "files/message_box.h"
#include "interchange/frames_model.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"

namespace velmoran {

namespace {

// A question with Yes and No, No the default; true for Yes.
bool askYes(QWidget* owner, const QString& question) {
    QMessageBox box(QMessageBox::Question, texts::q(texts::kTitle), question,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

RemoteKeys::RemoteKeys(QMainWindow* window, NavigatorLink* navigator)
    : QObject(window), window_(window), navigator_(navigator) {
    if (const auto error = library_.loadWithSources(interchange::RemoteLibrary::defaultPath())) {
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
    if (const auto problem = interchange::RemoteLibrary::keyNameProblem(name)) {
        MsgBox(window_, texts::q(texts::kRemoteKeyNameRefused).arg(*problem));
    } else if (const auto error = library_.nameFrame(list->frame(row), name)) {
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
    // LIRC's files are often named lircd.conf.REMOTE or have no suffix at all: every file first.
    dialog.setNameFilters({texts::q(texts::kAllFilesFilter), texts::q(texts::kRemoteFilesFilter)});
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    importRemotes(dialog.selectedFiles(), Duplicates::Ask);
}

bool RemoteKeys::importRemotes(const QStringList& files, Duplicates duplicates) {
    std::vector<infrared::LircRemote> read;
    QStringList warnings;
    std::optional<QString> error =
        interchange::RemoteLibrary::readRemoteFiles(files, read, &warnings);
    if (error) {
        read.clear(); // nothing of any file is added
    }
    std::vector<infrared::LircRemote> added;
    for (infrared::LircRemote& remote : read) {
        if (const std::optional<std::size_t> same = library_.sameCodesAs(remote)) {
            const infrared::LircRemote& there = library_.remotes()[*same];
            if (duplicates == Duplicates::Skip ||
                !askYes(window_, texts::q(texts::kRemoteAlreadyThere)
                                     .arg(there.name)
                                     .arg(there.codes.size() + there.rawCodes.size())
                                     .arg(remote.name))) {
                continue;
            }
        }
        added.push_back(std::move(remote));
    }
    std::size_t keys = 0;
    for (const infrared::LircRemote& r : added) {
        keys += r.codes.size() + r.rawCodes.size();
    }
    const std::size_t remotes = added.size();
    if (!error && !added.empty()) {
        error = library_.addRemotes(std::move(added));
    }
    if (error) {
        MsgBox(window_, texts::q(texts::kImportRemotesError).arg(*error));
    } else if (duplicates == Duplicates::Ask) {
        QString said = texts::q(texts::kRemotesImported).arg(remotes).arg(keys);
        if (!warnings.isEmpty()) {
            said += texts::q(texts::kRemotesImportedWarnings).arg(warnings.join(QLatin1Char('\n')));
        }
        MsgBox(window_, said);
    }
    refresh();
    if (!error) {
        Q_EMIT imported(files);
    }
    return !error;
}

void RemoteKeys::showLibrary() {
    RemoteLibraryDialog dialog(
        library_, [this] { refresh(); }, window_);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.exec();
}

} // namespace velmoran
