#pragma once

// 文件 ▸ 遥控器库…: the remotes of the library and their keys, each remote with where it came
// from (the file it was imported from, or keys named in captures); the selected remote or key
// can be renamed or deleted. Every change is written to the library at once.

#include <QDialog>

#include <functional>
#include <optional>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace velmoran {

namespace interchange {
class RemoteLibrary;
}

class RemoteLibraryDialog : public QDialog {
    Q_OBJECT
public:
    // `library` stays the caller's; `changed` is called after each change written.
    RemoteLibraryDialog(interchange::RemoteLibrary& library, std::function<void()> changed,
                        QWidget* parent);

    QTreeWidget* tree() const { return tree_; }
    QPushButton* renameButton() const { return rename_; }
    QPushButton* deleteButton() const { return delete_; }

    // Lists the library again (selection kept where it still exists).
    void fill();

private:
    // The selected remote, and key (-1 for the remote itself), raw or not.
    struct Selected {
        int remote = -1;
        int key = -1;
        bool raw = false;
    };
    Selected selected() const;
    void renameSelected();
    void deleteSelected();
    // Tells an edit's error, then lists the library again.
    void finishEdit(const std::optional<QString>& error);
    void syncButtons();

    interchange::RemoteLibrary& library_;
    std::function<void()> changed_;
    QTreeWidget* tree_;
    QPushButton* rename_;
    QPushButton* delete_;
};

} // namespace velmoran
