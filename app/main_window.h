#pragma once

// The program's main window: the menu bar above Form1, which stays the client area exactly as
// designed, and the navigator docked below it when shown. Also where files arrive the desktop
// way: named on the command line, dropped on the window, or picked from the recent ones.

#include <QMainWindow>
#include <QStringList>

#include "acquisition/port_map.h"

class QAction;
class QDockWidget;
class QMenu;

namespace velmoran {

class Form1;

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
    navigator::NavigatorPanel* navigatorPanel() const { return panel_; }
    QDockWidget* navigatorDock() const { return dock_; }
    // Shows or hides the navigator (as 总览与帧列表).
    void setNavigatorShown(bool shown);

    // Loads `path` through 载入's path (its message on failure); refused during a capture.
    bool openFile(const QString& path);

    // The recently opened or saved files, newest first.
    QStringList recentFiles() const;
    static constexpr int kRecentFileCount = 6;

    // Moves the chart to the previous / next decoded frame (as 上一帧 / 下一帧).
    void previousFrame();
    void nextFrame();

    // Asks whether to replace the existing file `path` (true: replace).
    bool confirmOverwrite(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildExportMenu(QMenu* menu);
    void exportAs(int entry);
    void fillPortMenu();
    void fillRecentMenu();
    void openRecent(const QString& path);
    void rememberFile(const QString& path);
    void showFileInTitle(const QString& path);
    void ensureNavigator();
    void refreshNavigator();
    void updateViewMark();
    void moveChartToFraction(double fraction);
    void moveChartToFrame(int row);
    void syncActions();
    void showHelp();
    // Samples across Picture1 at the current zoom.
    int64_t visibleSamples() const;

    PortMap portMap_;
    Form1* form_ = nullptr;
    navigator::NavigatorPanel* panel_ = nullptr;
    QDockWidget* dock_ = nullptr;
    QMenu* recentMenu_ = nullptr;
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
    QAction* actionNavigator_ = nullptr;
    QList<QAction*> exportActions_;
    QList<QAction*> portActions_;
    QWidget* helpWindow_ = nullptr;
};

} // namespace velmoran
