#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include "acquisition/capture_session.h"
#include "app/export_menu.h"
#include "app/form1.h"
#include "app/help_page.h"
#include "app/navigator_link.h"
#include "app/recent_files.h"
#include "app/remote_keys.h"
#include "core/number_rules.h"
#include "core/texts.h"

namespace velmoran {

namespace {

// Port numbers the 采集 menu looks at beyond those named with --port.
constexpr int kListedPorts = 16;
constexpr QSize kHelpSize{560, 480};
// How long a line stays in the status bar.
constexpr int kStatusShownMs = 15000;
const QString kAnnotateKey = QStringLiteral("annotateFrames");

QAction* menuAction(QMenu* menu, const char* name, const char* text, const QKeySequence& key = {}) {
    QAction* a = menu->addAction(texts::q(text));
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    return a;
}

} // namespace

MainWindow::MainWindow(PortMap portMap, QWidget* parent) : QMainWindow(parent), portMap_(portMap) {
    setObjectName(QStringLiteral("MainWindow"));
    // The client area is the form as designed, made a child here (it is a window of its own
    // when made alone); the window keeps the size its parts give it.
    form_ = new Form1(std::move(portMap));
    setCentralWidget(form_);
    setWindowTitle(texts::q(texts::kTitle));
    setWindowIcon(form_->windowIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAcceptDrops(true);
    setDockOptions(QMainWindow::AnimatedDocks);
    form_->setOverwriteQuestion([this](const QString& path) { return confirmOverwrite(path); });

    layout()->setSizeConstraint(QLayout::SetFixedSize);
    // The status bar is there only while it has something to say: the window keeps its
    // design size plus the menu bar otherwise.
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->hide();
    connect(statusBar(), &QStatusBar::messageChanged, statusBar(),
            [bar = statusBar()](const QString& text) { bar->setVisible(!text.isEmpty()); });

    navigator_ = new NavigatorLink(this, form_);
    remoteKeys_ = new RemoteKeys(this, navigator_);
    buildMenus();

    connect(form_->Session, &CaptureSession::runningChanged, this, &MainWindow::syncActions);
    connect(form_, &Form1::fileLoaded, this, [this](const QString& path) {
        recent_->remember(path);
        showFileInTitle(path);
        navigator_->refresh();
    });
    connect(form_, &Form1::fileSaved, this, [this](const QString& path) {
        recent_->remember(path);
        showFileInTitle(path);
    });
    connect(navigator_, &NavigatorLink::framesChanged, this, &MainWindow::syncActions);
    connect(navigator_, &NavigatorLink::shownChanged, actionNavigator_, &QAction::setChecked);
    syncActions();
}

MainWindow::~MainWindow() {
    // The children outlive this object's own part: nothing they report may reach it.
    navigator_->disconnect(this);
    navigator_->disconnect(remoteKeys_);
    if (navigator_->dock() != nullptr) {
        navigator_->dock()->disconnect(navigator_);
    }
}

navigator::NavigatorPanel* MainWindow::navigatorPanel() const {
    return navigator_->panel();
}

QDockWidget* MainWindow::navigatorDock() const {
    return navigator_->dock();
}

void MainWindow::setNavigatorShown(bool shown) {
    navigator_->setShown(shown);
    syncActions();
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(texts::q(texts::kMenuFile));
    actionLoad_ = menuAction(file, "actionLoad", texts::kMenuLoad, QKeySequence::Open);
    connect(actionLoad_, &QAction::triggered, form_->Command1, &QPushButton::click);
    actionSave_ = menuAction(file, "actionSave", texts::kMenuSave, QKeySequence::Save);
    connect(actionSave_, &QAction::triggered, form_->Command3, &QPushButton::click);
    exportMenu_ = new ExportMenu(form_, file->addMenu(texts::q(texts::kMenuExport)),
                                 [this](const QString& path) { return confirmOverwrite(path); });
    exportMenu_->setKeyNames([this] { return remoteKeys_->keyNames(); });
    // Every export and import leaves a line in the status bar saying what was written or read.
    connect(exportMenu_, &ExportMenu::exported, this,
            [this](const QString& format, const QString& path) {
                statusBar()->showMessage(texts::q(texts::kExportedStatus).arg(format, path),
                                         kStatusShownMs);
            });
    connect(remoteKeys_, &RemoteKeys::imported, this, [this](const QStringList& files) {
        statusBar()->showMessage(
            texts::q(texts::kImportedStatus).arg(files.join(QStringLiteral("、"))), kStatusShownMs);
    });
    QAction* importRemotes = menuAction(file, "actionImportRemotes", texts::kMenuImportRemotes);
    connect(importRemotes, &QAction::triggered, remoteKeys_, &RemoteKeys::importFiles);
    recent_ = new RecentFiles(file->addMenu(texts::q(texts::kMenuRecent)), this);
    connect(recent_, &RecentFiles::openRequested, this, &MainWindow::openFile);
    file->addSeparator();
    QAction* quit = menuAction(file, "actionQuit", texts::kMenuQuit, QKeySequence::Quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    captureMenu_ = menuBar()->addMenu(texts::q(texts::kMenuCapture));
    actionCapture_ = menuAction(captureMenu_, "actionCapture", texts::kStartCapture, Qt::Key_F5);
    connect(actionCapture_, &QAction::triggered, form_->Command2, &QPushButton::click);
    captureMenu_->addSeparator();
    connect(captureMenu_, &QMenu::aboutToShow, this, &MainWindow::fillPortMenu);

    QMenu* view = menuBar()->addMenu(texts::q(texts::kMenuView));
    actionZoomIn_ = menuAction(view, "actionZoomIn", texts::kMenuZoomIn);
    actionZoomIn_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(actionZoomIn_, &QAction::triggered, form_->Command5, &QPushButton::click);
    actionZoomOut_ = menuAction(view, "actionZoomOut", texts::kMenuZoomOut,
                                QKeySequence(Qt::CTRL | Qt::Key_Minus));
    connect(actionZoomOut_, &QAction::triggered, form_->Command6, &QPushButton::click);
    view->addSeparator();
    actionHome_ = menuAction(view, "actionHome", texts::kMenuHome, Qt::Key_Home);
    connect(actionHome_, &QAction::triggered, this, [this] { form_->scrollTo(0); });
    actionEnd_ = menuAction(view, "actionEnd", texts::kMenuEnd, Qt::Key_End);
    connect(actionEnd_, &QAction::triggered, this,
            [this] { form_->scrollTo(form_->lastScrollValue()); });
    actionPrevFrame_ = menuAction(view, "actionPrevFrame", texts::kMenuPrevFrame,
                                  QKeySequence(Qt::CTRL | Qt::Key_Left));
    connect(actionPrevFrame_, &QAction::triggered, navigator_, &NavigatorLink::previousFrame);
    actionNextFrame_ = menuAction(view, "actionNextFrame", texts::kMenuNextFrame,
                                  QKeySequence(Qt::CTRL | Qt::Key_Right));
    connect(actionNextFrame_, &QAction::triggered, navigator_, &NavigatorLink::nextFrame);
    actionZoomToFrame_ = menuAction(view, "actionZoomToFrame", texts::kMenuZoomToFrame);
    connect(actionZoomToFrame_, &QAction::triggered, navigator_,
            [this] { navigator_->zoomToFrame(); });
    // Off unless the user turned it on, then as the user left it.
    QAction* annotate = menuAction(view, "actionAnnotateFrames", texts::kMenuAnnotateFrames);
    annotate->setCheckable(true);
    annotate->setChecked(QSettings().value(kAnnotateKey, false).toBool());
    connect(annotate, &QAction::toggled, this, [this](bool on) {
        QSettings().setValue(kAnnotateKey, on);
        navigator_->setFramesOnChart(on);
    });
    if (annotate->isChecked()) {
        navigator_->setFramesOnChart(true);
    }
    view->addSeparator();
    actionNavigator_ = menuAction(view, "actionNavigator", texts::kMenuNavigator, Qt::Key_F2);
    actionNavigator_->setCheckable(true);
    connect(actionNavigator_, &QAction::triggered, this, &MainWindow::setNavigatorShown);

    QMenu* help = menuBar()->addMenu(texts::q(texts::kMenuHelp));
    QAction* about = menuAction(help, "actionAbout", texts::kMenuAbout);
    connect(about, &QAction::triggered, form_, &Form1::Label10_Click);
    QAction* page =
        menuAction(help, "actionHelp", texts::kMenuHelpPage, QKeySequence::HelpContents);
    connect(page, &QAction::triggered, this, &MainWindow::showHelp);
}

void MainWindow::fillPortMenu() {
    qDeleteAll(portActions_);
    portActions_.clear();
    const int current = static_cast<int>(vb::Val(form_->Combo2->currentText().toStdString()));
    for (int n = 1; n <= kListedPorts; ++n) {
        const QString device = portMap_(n);
        if (device.isEmpty()) {
            continue;
        }
        QAction* a = captureMenu_->addAction(texts::q(texts::kMenuPort).arg(n).arg(device));
        a->setObjectName(QStringLiteral("actionPort%1").arg(n));
        a->setCheckable(true);
        a->setChecked(n == current);
        connect(a, &QAction::triggered, this,
                [this, n] { form_->Combo2->setEditText(QString::number(n)); });
        portActions_ << a;
    }
    if (portActions_.isEmpty()) {
        QAction* none = captureMenu_->addAction(texts::q(texts::kMenuNoPort));
        none->setEnabled(false);
        portActions_ << none;
    }
}

QStringList MainWindow::recentFiles() const {
    return recent_->files();
}

bool MainWindow::openFile(const QString& path) {
    // Loading is refused exactly when 载入 is (during a capture).
    if (!form_->canLoad()) {
        return false;
    }
    return form_->loadFile(path);
}

void MainWindow::showFileInTitle(const QString& path) {
    setWindowTitle(
        texts::q(texts::kTitleWithFile).arg(texts::q(texts::kTitle), QFileInfo(path).fileName()));
}

bool MainWindow::importRemotes(const QStringList& files) {
    return remoteKeys_->importRemotes(files);
}

bool MainWindow::confirmOverwrite(const QString& path) {
    QMessageBox box(QMessageBox::Question, texts::q(texts::kTitle),
                    texts::q(texts::kOverwriteQuestion).arg(QFileInfo(path).fileName()),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("OverwriteQuestion"));
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::syncActions() {
    const bool idle = !form_->Session->running();
    actionLoad_->setEnabled(idle);
    actionSave_->setEnabled(idle);
    exportMenu_->setEnabled(idle);
    recent_->setEnabled(idle);
    actionCapture_->setText(texts::q(idle ? texts::kStartCapture : texts::kForceStop));
    const bool frames = navigator_->hasFrames();
    actionPrevFrame_->setEnabled(frames);
    actionNextFrame_->setEnabled(frames);
    actionZoomToFrame_->setEnabled(frames);
}

void MainWindow::showHelp() {
    if (helpWindow_ == nullptr) {
        auto* dialog = new QDialog(this);
        dialog->setObjectName(QStringLiteral("HelpWindow"));
        dialog->setWindowTitle(texts::q(texts::kHelpTitle));
        auto* browser = new QTextBrowser(dialog);
        browser->setHtml(helpHtml());
        auto* layout = new QVBoxLayout(dialog);
        layout->addWidget(browser);
        dialog->resize(kHelpSize);
        helpWindow_ = dialog;
    }
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The form's own unload ends the program (a running capture is abandoned).
    form_->close();
    event->accept();
}

namespace {

// The first local file among the URLs a drag carries.
QString droppedFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) {
        return {};
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (form_->canLoad() && !droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty() || !form_->canLoad()) {
        return;
    }
    event->acceptProposedAction();
    // Loaded once the drop has finished: a failure's message box must not hold the drag source.
    QTimer::singleShot(0, this, [this, path] { openFile(path); });
}

} // namespace velmoran
