#pragma once

// The remote library in the window: read at start-up from the program's data folder, each
// frame's key shown in the frame list's 按键 column, a name typed there saved for every frame
// that sends the same key (in this capture and later ones), and 文件 ▸ 导入遥控器定义… adding the
// remotes of lircd.conf files.

#include <QObject>

#include "interchange/lircd_export.h"
#include "interchange/remote_library.h"

class QMainWindow;
class QTableView;

namespace velmoran {

class NavigatorLink;

class RemoteKeys : public QObject {
    Q_OBJECT
public:
    // Reads the library; a message tells when it cannot be read (it is then never written). A
    // name the library could not read back is refused with a message.
    RemoteKeys(QMainWindow* window, NavigatorLink* navigator);

    const interchange::RemoteLibrary& library() const { return library_; }
    // The library's key names for the exports (lircd.conf, Pronto).
    interchange::KeyNames keyNames() const;

    // Asks for lircd.conf files (every file offered, LIRC's own names such as
    // lircd.conf.mceusb included) and adds their remotes as importRemotes does, asking first.
    void importFiles();
    // How an import treats a remote whose codes the library already has.
    enum class Duplicates {
        Ask,  // asks whether to add it again, and says what was added
        Skip, // leaves it out, silently (an import of the command line)
    };
    // Adds the remotes of `files` (lircd.conf); false, after a message naming the file and line,
    // when one cannot be read (nothing is added then).
    bool importRemotes(const QStringList& files, Duplicates duplicates = Duplicates::Skip);
    // 文件 ▸ 遥控器库…: the library's window, modal.
    void showLibrary();
    // Looks every frame's key up again.
    void refresh();

Q_SIGNALS:
    // The remotes of `files` were added to the library.
    void imported(const QStringList& files);

protected:
    // F2 on a 按键 cell edits it rather than hiding the navigator (总览与帧列表's shortcut).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void nameKey(int row, const QString& name);
    // Takes the key names typed in the frame list, once it exists.
    void watchList();

    QMainWindow* window_;
    NavigatorLink* navigator_;
    interchange::RemoteLibrary library_;
    QTableView* table_ = nullptr;
};

} // namespace velmoran
