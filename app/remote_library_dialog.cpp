#include "app/remote_library_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/texts.h"
#include "files/message_box.h"
#include "interchange/remote_library.h"

namespace velmoran {

namespace {

constexpr QSize kDialogSize{640, 420};
constexpr int kNameColumnWidth = 220;
constexpr int kCodeColumnWidth = 150;
// Where an item keeps its place in the library.
constexpr int kRemoteRole = Qt::UserRole;
constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kRawRole = Qt::UserRole + 2;
constexpr int kHexDigitBits = 4;

QString codeText(const infrared::LircRemote& r, uint64_t code) {
    const int digits = std::max(1, (r.bits + kHexDigitBits - 1) / kHexDigitBits);
    return QStringLiteral("0x%1").arg(code, digits, 16, QLatin1Char('0'));
}

} // namespace

RemoteLibraryDialog::RemoteLibraryDialog(interchange::RemoteLibrary& library,
                                         std::function<void()> changed, QWidget* parent)
    : QDialog(parent), library_(library), changed_(std::move(changed)),
      tree_(new QTreeWidget(this)), rename_(new QPushButton(texts::q(texts::kRemoteRename))),
      delete_(new QPushButton(texts::q(texts::kRemoteDelete))) {
    setObjectName(QStringLiteral("RemoteLibraryDialog"));
    setWindowTitle(texts::q(texts::kRemoteLibraryTitle));
    tree_->setObjectName(QStringLiteral("RemoteTree"));
    tree_->setHeaderLabels(texts::q(texts::kRemoteLibraryColumns).split(QLatin1Char('\t')));
    tree_->setColumnWidth(0, kNameColumnWidth);
    tree_->setColumnWidth(1, kCodeColumnWidth);
    tree_->header()->setStretchLastSection(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    // A long source keeps its file name in view: the folder gives way first.
    tree_->setTextElideMode(Qt::ElideMiddle);
    rename_->setObjectName(QStringLiteral("RenameButton"));
    delete_->setObjectName(QStringLiteral("DeleteButton"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(rename_, QDialogButtonBox::ActionRole);
    buttons->addButton(delete_, QDialogButtonBox::ActionRole);
    QPushButton* close =
        buttons->addButton(texts::q(texts::kRemoteClose), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CloseButton"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree_);
    layout->addWidget(buttons);
    resize(kDialogSize);
    connect(rename_, &QPushButton::clicked, this, &RemoteLibraryDialog::renameSelected);
    connect(delete_, &QPushButton::clicked, this, &RemoteLibraryDialog::deleteSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &RemoteLibraryDialog::syncButtons);
    fill();
}

void RemoteLibraryDialog::fill() {
    const Selected before = selected();
    tree_->clear();
    const std::vector<infrared::LircRemote>& remotes = library_.remotes();
    QTreeWidgetItem* current = nullptr;
    for (std::size_t r = 0; r < remotes.size(); ++r) {
        const infrared::LircRemote& remote = remotes[r];
        const QString source = interchange::RemoteLibrary::sourceOf(remote);
        auto* top = new QTreeWidgetItem(
            tree_,
            {remote.name,
             texts::q(texts::kRemoteKeyCount).arg(remote.codes.size() + remote.rawCodes.size()),
             source.isEmpty() ? texts::q(texts::kRemoteSourceCaptures)
                              : texts::q(texts::kRemoteSourceFile).arg(source)});
        top->setData(0, kRemoteRole, static_cast<int>(r));
        top->setData(0, kKeyRole, -1);
        top->setToolTip(2, top->text(2));
        if (before.remote == static_cast<int>(r) && before.key < 0) {
            current = top;
        }
        const auto addKey = [&](int k, bool raw, const QString& name, const QString& code) {
            auto* item = new QTreeWidgetItem(top, {name, code});
            item->setData(0, kRemoteRole, static_cast<int>(r));
            item->setData(0, kKeyRole, k);
            item->setData(0, kRawRole, raw);
            if (before.remote == static_cast<int>(r) && before.key == k && before.raw == raw) {
                current = item;
            }
        };
        for (std::size_t k = 0; k < remote.codes.size(); ++k) {
            addKey(static_cast<int>(k), false, remote.codes[k].name,
                   codeText(remote, remote.codes[k].code));
        }
        for (std::size_t k = 0; k < remote.rawCodes.size(); ++k) {
            addKey(static_cast<int>(k), true, remote.rawCodes[k].name,
                   texts::q(texts::kRemoteRawCode).arg(remote.rawCodes[k].durations.size()));
        }
    }
    tree_->expandAll();
    if (current != nullptr) {
        tree_->setCurrentItem(current);
    }
    syncButtons();
}

RemoteLibraryDialog::Selected RemoteLibraryDialog::selected() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    if (item == nullptr) {
        return {};
    }
    return {item->data(0, kRemoteRole).toInt(), item->data(0, kKeyRole).toInt(),
            item->data(0, kRawRole).toBool()};
}

void RemoteLibraryDialog::syncButtons() {
    const bool any = selected().remote >= 0;
    rename_->setEnabled(any);
    delete_->setEnabled(any);
}

void RemoteLibraryDialog::renameSelected() {
    const Selected s = selected();
    if (s.remote < 0) {
        return;
    }
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("RenameDialog"));
    ask.setWindowTitle(texts::q(texts::kRemoteLibraryTitle));
    ask.setLabelText(texts::q(texts::kRemoteNewName));
    ask.setTextValue(tree_->currentItem()->text(0));
    ask.setWindowModality(Qt::ApplicationModal);
    if (ask.exec() != QDialog::Accepted) {
        return;
    }
    const auto remote = static_cast<std::size_t>(s.remote);
    finishEdit(s.key < 0 ? library_.renameRemote(remote, ask.textValue())
                         : library_.renameKey(remote, static_cast<std::size_t>(s.key), s.raw,
                                              ask.textValue()));
}

void RemoteLibraryDialog::deleteSelected() {
    const Selected s = selected();
    if (s.remote < 0) {
        return;
    }
    const QTreeWidgetItem* item = tree_->currentItem();
    const QString question =
        s.key < 0 ? texts::q(texts::kRemoteDeleteRemote).arg(item->text(0))
                  : texts::q(texts::kRemoteDeleteKey).arg(item->parent()->text(0), item->text(0));
    QMessageBox box(QMessageBox::Question, texts::q(texts::kRemoteLibraryTitle), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    if (box.exec() != QMessageBox::Yes) {
        return;
    }
    const auto remote = static_cast<std::size_t>(s.remote);
    finishEdit(s.key < 0 ? library_.deleteRemote(remote)
                         : library_.deleteKey(remote, static_cast<std::size_t>(s.key), s.raw));
}

void RemoteLibraryDialog::finishEdit(const std::optional<QString>& error) {
    if (error) {
        MsgBox(this, texts::q(texts::kRemoteLibraryNotChanged).arg(*error));
    }
    fill();
    if (!error && changed_) {
        changed_();
    }
}

} // namespace velmoran
