#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QInputDialog>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include "acquisition/capture_session.h"
#include "app/capture_importer.h"
#include "app/export_menu.h"
#include "app/form1.h"
#include "app/help_page.h"
#include "app/navigator_link.h"
#include "app/protocols_dialog.h"
#include "app/recent_files.h"
#include "app/remote_keys.h"
#include "core/number_rules.h"
#include "core/texts.h"
#include "display/vb_scroll_bar.h"
#include "infrared/irp/irp_analysis.h"
#include "infrared/irp/irp_table.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"

namespace velmoran {

namespace {

// Port numbers the 采集 menu looks at beyond those named with --port.
constexpr int kListedPorts = 16;
constexpr QSize kHelpSize{560, 480};
// How long a line stays in the status bar.
constexpr int kStatusShownMs = 15000;
const QString kAnnotateKey = QStringLiteral("annotateFrames");
const QString kNavigatorFloatingKey = QStringLiteral("navigator/floating");
const QString kNavigatorGeometryKey = QStringLiteral("navigator/geometry");
constexpr char kMenuNavigatorFloating[] = "导航窗口独立显示";
// The floated navigator is a window of its own that the user resizes and maximises.
constexpr Qt::WindowFlags kNavigatorWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
// Its size when first floated, as far as the screen allows.
constexpr QSize kFloatedNavigatorSize{960, 640};

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
    captureImporter_ = new CaptureImporter(form_, this);
    connect(captureImporter_, &CaptureImporter::imported, navigator_, &NavigatorLink::refresh);
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
    connect(navigator_, &NavigatorLink::dockMade, this, &MainWindow::placeNavigator);
    connect(navigator_, &NavigatorLink::captureTaken, this, &MainWindow::captureTaken);
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

void MainWindow::setNavigatorFloating(bool floating) {
    if (navigator_->dock() == nullptr) {
        setNavigatorShown(true);
    }
    navigator_->dock()->setFloating(floating);
    navigator_->dock()->show();
}

int MainWindow::dockedNavigatorHeight() const {
    const QScreen* on = screen();
    if (on == nullptr) {
        return navigator::NavigatorPanel::kPanelHeight;
    }
    // Below the window's fixed part (its frame, the menu bar and the client area).
    const int frame = frameGeometry().height() - geometry().height();
    const int separator = style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
    const int room = on->availableGeometry().height() - frame - menuBar()->sizeHint().height() -
                     form_->height() - separator;
    if (room < navigator::NavigatorPanel::kLeastPanelHeight) {
        return 0;
    }
    return std::min(room, navigator::NavigatorPanel::kPanelHeight);
}

QRect MainWindow::floatedNavigatorGeometry() const {
    // The floated window's frame is taken to be as wide as this window's.
    const QMargins frame(geometry().left() - frameGeometry().left(),
                         geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
    const QRect free =
        screen() != nullptr ? screen()->availableGeometry().marginsRemoved(frame) : QRect();
    // The window as designed, without the docked navigator it may still hold.
    QRect outer = frameGeometry();
    outer.setBottom(form_->mapToGlobal(QPoint(0, form_->height())).y() +
                    (frameGeometry().bottom() - geometry().bottom()));
    QRect r(QPoint(0, 0), kFloatedNavigatorSize.boundedTo(free.size()));
    const int least = navigator::NavigatorPanel::kLeastPanelHeight;
    if (free.bottom() - outer.bottom() >= least) {
        r.moveTopLeft(QPoint(outer.left(), outer.bottom() + 1) + QPoint(frame.left(), frame.top()));
        r.setBottom(std::min(r.bottom(), free.bottom()));
    } else if (free.right() - outer.right() >= least) {
        r.moveTopLeft(QPoint(outer.right() + 1, outer.top()) + QPoint(frame.left(), frame.top()));
        r.setRight(std::min(r.right(), free.right()));
    } else {
        r.moveBottomRight(free.bottomRight());
    }
    return r.intersected(free.isValid() ? free : r);
}

int MainWindow::dockedPanelHeight(QDockWidget* dock) const {
    // The dock's own title bar takes its share of the room too.
    const int least = navigator::NavigatorPanel::kLeastPanelHeight;
    dock->widget()->setFixedHeight(least);
    const int titleBar = std::max(0, dock->sizeHint().height() - least);
    const int height = dockedNavigatorHeight() - titleBar;
    return height < least ? 0 : height;
}

void MainWindow::placeNavigator(QDockWidget* dock) {
    QTableView* table = navigator_->panel()->frameTable();
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    table->addAction(actionAddAsProtocol_);
    connect(navigator_->panel(), &navigator::NavigatorPanel::frameChosen, this,
            &MainWindow::syncActions);
    dock->installEventFilter(this);
    connect(dock, &QDockWidget::topLevelChanged, this, &MainWindow::navigatorFloated);
    const QSettings settings;
    const bool floating = settings.contains(kNavigatorFloatingKey)
                              ? settings.value(kNavigatorFloatingKey).toBool()
                              : dockedPanelHeight(dock) == 0;
    if (floating) {
        dock->setFloating(true);
    } else {
        navigatorFloated(false);
    }
}

void MainWindow::navigatorFloated(bool floating) {
    QDockWidget* dock = navigator_->dock();
    QWidget* panel = dock->widget();
    QSettings().setValue(kNavigatorFloatingKey, floating);
    actionNavigatorFloating_->setChecked(floating);
    if (!floating) {
        panel->setFixedHeight(
            std::max(dockedPanelHeight(dock), navigator::NavigatorPanel::kLeastPanelHeight));
        return;
    }
    panel->setMinimumHeight(navigator::NavigatorPanel::kLeastPanelHeight);
    panel->setMaximumHeight(QWIDGETSIZE_MAX);
    const bool shown = dock->isVisible();
    dock->setWindowFlags(kNavigatorWindowFlags);
    const QByteArray saved = QSettings().value(kNavigatorGeometryKey).toByteArray();
    if (saved.isEmpty() || !dock->restoreGeometry(saved)) {
        dock->setGeometry(floatedNavigatorGeometry());
    }
    if (shown) {
        dock->show();
    }
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
    exportMenu_->setFramesModel(navigator_->frames());
    actionImportCapture_ = menuAction(file, "actionImportCapture", texts::kMenuImportCapture);
    connect(actionImportCapture_, &QAction::triggered, captureImporter_,
            &CaptureImporter::chooseFile);
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
    QAction* library = menuAction(file, "actionRemoteLibrary", texts::kMenuRemoteLibrary);
    connect(library, &QAction::triggered, remoteKeys_, &RemoteKeys::showLibrary);
    actionProtocols_ = menuAction(file, "actionProtocols", texts::kMenuProtocols);
    connect(actionProtocols_, &QAction::triggered, this, &MainWindow::showProtocols);
    // On the frame list's context menu once the navigator is made.
    actionAddAsProtocol_ = new QAction(texts::q(texts::kAddAsProtocol), this);
    actionAddAsProtocol_->setObjectName(QStringLiteral("actionAddAsProtocol"));
    connect(actionAddAsProtocol_, &QAction::triggered, this, &MainWindow::addFrameAsProtocol);
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
    actionNavigatorFloating_ = menuAction(view, "actionNavigatorFloating", kMenuNavigatorFloating);
    actionNavigatorFloating_->setCheckable(true);
    actionNavigatorFloating_->setChecked(QSettings().value(kNavigatorFloatingKey, false).toBool());
    connect(actionNavigatorFloating_, &QAction::triggered, this, &MainWindow::setNavigatorFloating);

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

bool MainWindow::importCapture(const QString& path) {
    return form_->canLoad() && captureImporter_->importFile(path);
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
    actionImportCapture_->setEnabled(idle);
    actionSave_->setEnabled(idle);
    exportMenu_->setEnabled(idle);
    recent_->setEnabled(idle);
    actionProtocols_->setEnabled(idle);
    actionAddAsProtocol_->setEnabled(idle && !currentFrameIrp().isEmpty());
    actionCapture_->setText(texts::q(idle ? texts::kStartCapture : texts::kForceStop));
    const bool frames = navigator_->hasFrames();
    actionPrevFrame_->setEnabled(frames);
    actionNextFrame_->setEnabled(frames);
    actionZoomToFrame_->setEnabled(frames);
}

void MainWindow::showProtocols() {
    // Saving decodes the channels again, so the new protocols name frames at once.
    ProtocolsDialog dialog(
        infrared::irp::userProtocolsPath(), [this] { navigator_->refresh(); }, this);
    dialog.exec();
}

QString MainWindow::currentFrameIrp() const {
    const navigator::NavigatorPanel* panel = navigator_->panel();
    const int row = panel != nullptr ? panel->currentFrame() : -1;
    if (row < 0 || row >= panel->frames()->rowCount()) {
        return {};
    }
    return infrared::irp::irpOfAnalysis(panel->frames()->frame(row).analysis);
}

void MainWindow::addFrameAsProtocol() {
    const QString irp = currentFrameIrp();
    if (irp.isEmpty() || form_->Session->running()) {
        return;
    }
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("AddAsProtocolName"));
    ask.setWindowTitle(texts::q(texts::kProtocolsTitle));
    ask.setLabelText(texts::q(texts::kAddAsProtocolName));
    ask.setWindowModality(Qt::ApplicationModal);
    if (ask.exec() != QDialog::Accepted) {
        return;
    }
    const QString name = ask.textValue().trimmed();
    // The line must read back as one protocol of that name, as the table will read it.
    const infrared::irp::ProtocolTable line =
        infrared::irp::parseTable(name + QLatin1Char('\t') + irp);
    const bool whole = line.errors.isEmpty() && line.protocols().size() == 1 &&
                       line.protocols().front()->name == name;
    if (name.isEmpty() || name.contains(QRegularExpression(QStringLiteral("\\s"))) || !whole) {
        QMessageBox::warning(
            this, texts::q(texts::kProtocolsTitle),
            texts::q(texts::kAddAsProtocolBadName).arg(name, line.errors.join(QLatin1Char('\n'))));
        return;
    }
    if (const auto error = appendUserProtocol(infrared::irp::userProtocolsPath(), name, irp)) {
        QMessageBox::warning(
            this, texts::q(texts::kProtocolsTitle),
            texts::q(texts::kProtocolsSaveFailed).arg(infrared::irp::userProtocolsPath(), *error));
        return;
    }
    navigator_->refresh();
    statusBar()->showMessage(texts::q(texts::kAddedProtocolStatus).arg(name, irp), kStatusShownMs);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    QDockWidget* dock = navigator_ != nullptr ? navigator_->dock() : nullptr;
    if (watched == dock && dock->isFloating() && dock->isVisible() &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        QSettings().setValue(kNavigatorGeometryKey, dock->saveGeometry());
    }
    return QMainWindow::eventFilter(watched, event);
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
