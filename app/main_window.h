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

class CaptureImporter;
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
    // Floats the navigator as a window of its own (resizable, maximisable) or docks it again.
    void setNavigatorFloating(bool floating);
    // The navigator's height docked under the client area, its title bar included: its full
    // height where the screen has room below the window, else what room there is; 0 when there
    // is too little (it then starts floated).
    int dockedNavigatorHeight() const;

    // Loads `path` through 载入's path (its message on failure); refused during a capture.
    bool openFile(const QString& path);

    // The recently opened or saved files, newest first.
    QStringList recentFiles() const;

    // Adds the remotes of lircd.conf `files` to the remote library, as 导入遥控器定义… does once
    // they are chosen.
    bool importRemotes(const QStringList& files);

    // Imports another tool's capture `path` into the channel 显示通道 names, as 导入波形… does
    // once the file is chosen; refused during a capture.
    bool importCapture(const QString& path);

    // Asks whether to replace the existing file `path` (true: replace).
    bool confirmOverwrite(const QString& path);

Q_SIGNALS:
    // A capture ended and its frames are decoded: the navigator lists them (Form1::captureEnded
    // comes first, when only the window's own texts are set).
    void captureTaken(int channel);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void fillPortMenu();
    void showFileInTitle(const QString& path);
    void syncActions();
    // 文件 ▸ 协议…
    void showProtocols();
    // 添加为协议… on the frame list: the current analysed frame's IRP added to the user's
    // protocols under a name the user gives.
    void addFrameAsProtocol();
    // The IRP of the frame list's current frame; empty when it has none.
    QString currentFrameIrp() const;
    void showHelp();
    // The navigator's dock was made: docked or floated as the user left it, or as the screen
    // allows the first time.
    void placeNavigator(QDockWidget* dock);
    void navigatorFloated(bool floating);
    // The panel's height in `dock` docked: what dockedNavigatorHeight leaves beside the dock's
    // title bar; 0 when that is less than the panel's least height.
    int dockedPanelHeight(QDockWidget* dock) const;
    // Where the navigator first floats: below the window, else beside it, else within the
    // screen's free area.
    QRect floatedNavigatorGeometry() const;

    PortMap portMap_;
    Form1* form_ = nullptr;
    NavigatorLink* navigator_ = nullptr;
    ExportMenu* exportMenu_ = nullptr;
    RecentFiles* recent_ = nullptr;
    RemoteKeys* remoteKeys_ = nullptr;
    CaptureImporter* captureImporter_ = nullptr;
    QAction* actionImportCapture_ = nullptr;
    QMenu* captureMenu_ = nullptr;
    QAction* actionLoad_ = nullptr;
    QAction* actionProtocols_ = nullptr;
    QAction* actionAddAsProtocol_ = nullptr;
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
    QAction* actionNavigatorFloating_ = nullptr;
    QList<QAction*> portActions_;
    QWidget* helpWindow_ = nullptr;
};

} // namespace velmoran
