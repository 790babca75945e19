#pragma once

// The program's main window: the menu bar above Form1, which stays the client area exactly as
// designed, and the navigator docked below it when shown. Also where files arrive the desktop
// way: named on the command line, dropped on the window, or picked from the recent ones. Each
// menu's work is a part of its own (export menu, recent files, navigator link, help page).

#include <QMainWindow>
#include <QStringList>

#include "acquisition/port_map.h"

class QAction;
class QDockWidget;
class QMenu;

namespace velmoran {

class ExportMenu;
class Form1;
class NavigatorLink;
class RecentFiles;
class RemoteKeys;

namespace navigator {
class NavigatorPanel;
}

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(PortMap portMap = platformPortMap(), QWidget* parent = nullptr);
    ~MainWindow() override;

    Form1* form() const { return form_; }
    // The navigator, once first needed (after a capture or load that found frames, or F2);
    // nullptr before.
    navigator::NavigatorPanel* navigatorPanel() const;
    QDockWidget* navigatorDock() const;
    // Shows or hides the navigator (as 总览与帧列表).
    void setNavigatorShown(bool shown);

    // Loads `path` through 载入's path (its message on failure); refused during a capture.
    bool openFile(const QString& path);

    // The recently opened or saved files, newest first.
    QStringList recentFiles() const;

    // Adds the remotes of lircd.conf `files` to the remote library, as 导入遥控器定义… does once
    // they are chosen.
    bool importRemotes(const QStringList& files);

    // Asks whether to replace the existing file `path` (true: replace).
    bool confirmOverwrite(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void fillPortMenu();
    void showFileInTitle(const QString& path);
    void syncActions();
    void showHelp();

    PortMap portMap_;
    Form1* form_ = nullptr;
    NavigatorLink* navigator_ = nullptr;
    ExportMenu* exportMenu_ = nullptr;
    RecentFiles* recent_ = nullptr;
    RemoteKeys* remoteKeys_ = nullptr;
    QMenu* captureMenu_ = nullptr;
    QAction* actionLoad_ = nullptr;
    QAction* actionSave_ = nullptr;
    QAction* actionCapture_ = nullptr;
    QAction* actionZoomIn_ = nullptr;
    QAction* actionZoomOut_ = nullptr;
    QAction* actionHome_ = nullptr;
    QAction* actionEnd_ = nullptr;
    QAction* actionPrevFrame_ = nullptr;
    QAction* actionNextFrame_ = nullptr;
    QAction* actionZoomToFrame_ = nullptr;
    QAction* actionNavigator_ = nullptr;
    QList<QAction*> portActions_;
    QWidget* helpWindow_ = nullptr;
};

} // namespace velmoran
