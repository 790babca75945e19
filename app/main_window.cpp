#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include <array>

#include "acquisition/block_receiver.h"
#include "app/form1.h"
#include "core/channel_levels.h"
#include "core/number_rules.h"
#include "core/texts.h"
#include "display/picture_box.h"
#include "display/square_wave.h"
#include "display/vb_scroll_bar.h"
#include "files/message_box.h"
#include "interchange/export_files.h"
#include "navigator/frame_list.h"
#include "navigator/navigation.h"
#include "navigator/navigator_panel.h"
#include "navigator/overview.h"

namespace velmoran {

namespace {

using interchange::ExportFormat;

// The export submenu: one line per format.
struct ExportEntry {
    ExportFormat format;
    const char* objectName;
    const char* text;
    const char* nameFilter;
    const char* suffix;
    bool displayedChannelOnly; // formats of one channel take the one 显示通道 names
};

constexpr std::array kExports{
    ExportEntry{ExportFormat::Vcd, "actionExportVcd", texts::kExportVcd, "VCD (*.vcd)", "vcd",
                false},
    ExportEntry{ExportFormat::Sigrok, "actionExportSr", texts::kExportSr, "sigrok (*.sr)", "sr",
                false},
    ExportEntry{ExportFormat::Mode2, "actionExportMode2", texts::kExportMode2,
                "LIRC mode2 (*.mode2 *.txt)", "mode2", true},
    ExportEntry{ExportFormat::Csv, "actionExportCsv", texts::kExportCsv, "CSV (*.csv)", "csv",
                false},
    ExportEntry{ExportFormat::Lircd, "actionExportLircd", texts::kExportLircd,
                "lircd.conf (*.lircd.conf *.conf)", "lircd.conf", true},
    ExportEntry{ExportFormat::Pronto, "actionExportPronto", texts::kExportPronto, "Pronto (*.txt)",
                "txt", true},
};

const QString kRecentKey = QStringLiteral("recentFiles");
// Port numbers the 采集 menu looks at beyond those named with --port.
constexpr int kListedPorts = 16;
constexpr QSize kHelpSize{560, 480};

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

    buildMenus();

    connect(form_, &Form1::captureEnded, this, &MainWindow::refreshNavigator);
    connect(form_, &Form1::fileLoaded, this, [this](const QString& path) {
        rememberFile(path);
        showFileInTitle(path);
        refreshNavigator();
    });
    connect(form_, &Form1::fileSaved, this, [this](const QString& path) {
        rememberFile(path);
        showFileInTitle(path);
    });
    connect(form_->HScroll1, &QScrollBar::valueChanged, this, &MainWindow::updateViewMark);
    connect(form_->HScroll1, &QScrollBar::rangeChanged, this, &MainWindow::updateViewMark);
    connect(form_->Command5, &QPushButton::clicked, this, &MainWindow::updateViewMark);
    connect(form_->Command6, &QPushButton::clicked, this, &MainWindow::updateViewMark);
    connect(form_->Command2, &QPushButton::clicked, this, &MainWindow::syncActions);
    for (QWidget* w :
         std::initializer_list<QWidget*>{form_->Command1, form_->Command2, form_->Command3,
                                         form_->Command5, form_->Command6, form_->HScroll1}) {
        w->installEventFilter(this);
    }
    updateViewMark();
    syncActions();
}

MainWindow::~MainWindow() {
    // The children outlive this object's own part: nothing they report may reach it.
    if (dock_ != nullptr) {
        dock_->disconnect(this);
    }
    for (QObject* watched : findChildren<QWidget*>()) {
        watched->removeEventFilter(this);
    }
}

void MainWindow::ensureNavigator() {
    // Made when first needed: a window that never shows it starts faster and smaller.
    if (dock_ != nullptr) {
        return;
    }
    panel_ = new navigator::NavigatorPanel(form_->buffers(), this);
    dock_ = new QDockWidget(texts::q(texts::kNavigatorTitle), this);
    dock_->setObjectName(QStringLiteral("Navigator"));
    dock_->setAllowedAreas(Qt::BottomDockWidgetArea);
    dock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);
    dock_->setWidget(panel_);
    dock_->hide();
    addDockWidget(Qt::BottomDockWidgetArea, dock_);
    connect(panel_, &navigator::NavigatorPanel::fractionChosen, this,
            &MainWindow::moveChartToFraction);
    connect(panel_, &navigator::NavigatorPanel::frameChosen, this, &MainWindow::moveChartToFrame);
    connect(dock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!isMinimized()) {
            actionNavigator_->setChecked(visible);
        }
    });
    // A panel the user floats first appears below the window, not over the client area.
    connect(dock_, &QDockWidget::topLevelChanged, this, [this](bool floating) {
        if (floating) {
            dock_->move(frameGeometry().bottomLeft() + QPoint(0, 1));
        }
    });
}

void MainWindow::setNavigatorShown(bool shown) {
    if (shown && dock_ == nullptr) {
        ensureNavigator();
        panel_->showFrames(navigator::decodeChannels(form_->buffers()));
        updateViewMark();
    }
    if (dock_ != nullptr) {
        dock_->setVisible(shown);
    }
    actionNavigator_->setChecked(shown);
    syncActions();
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(texts::q(texts::kMenuFile));
    actionLoad_ = menuAction(file, "actionLoad", texts::kMenuLoad, QKeySequence::Open);
    connect(actionLoad_, &QAction::triggered, form_->Command1, &QPushButton::click);
    actionSave_ = menuAction(file, "actionSave", texts::kMenuSave, QKeySequence::Save);
    connect(actionSave_, &QAction::triggered, form_->Command3, &QPushButton::click);
    buildExportMenu(file->addMenu(texts::q(texts::kMenuExport)));
    recentMenu_ = file->addMenu(texts::q(texts::kMenuRecent));
    recentMenu_->setObjectName(QStringLiteral("menuRecent"));
    fillRecentMenu();
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
    connect(actionHome_, &QAction::triggered, this, [this] { form_->HScroll1->setValue(0); });
    actionEnd_ = menuAction(view, "actionEnd", texts::kMenuEnd, Qt::Key_End);
    connect(actionEnd_, &QAction::triggered, this,
            [this] { form_->HScroll1->setValue(form_->HScroll1->Max()); });
    actionPrevFrame_ = menuAction(view, "actionPrevFrame", texts::kMenuPrevFrame,
                                  QKeySequence(Qt::CTRL | Qt::Key_Left));
    connect(actionPrevFrame_, &QAction::triggered, this, &MainWindow::previousFrame);
    actionNextFrame_ = menuAction(view, "actionNextFrame", texts::kMenuNextFrame,
                                  QKeySequence(Qt::CTRL | Qt::Key_Right));
    connect(actionNextFrame_, &QAction::triggered, this, &MainWindow::nextFrame);
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

void MainWindow::buildExportMenu(QMenu* menu) {
    for (std::size_t i = 0; i < kExports.size(); ++i) {
        QAction* a = menuAction(menu, kExports[i].objectName, kExports[i].text);
        connect(a, &QAction::triggered, this, [this, i] { exportAs(static_cast<int>(i)); });
        exportActions_ << a;
    }
}

void MainWindow::exportAs(int entry) {
    const ExportEntry& e = kExports[static_cast<std::size_t>(entry)];
    QFileDialog dialog(this, texts::q(texts::kExportDialogTitle));
    dialog.setObjectName(QStringLiteral("ExportDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // asked below, as for 保存
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QString::fromUtf8(e.nameFilter));
    dialog.setDefaultSuffix(QString::fromLatin1(e.suffix));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().constFirst();
    if (QFileInfo(path).isFile() && !confirmOverwrite(path)) {
        return;
    }
    std::vector<interchange::ExportChannel> channels;
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        channels.push_back({ch, channelLevels(*form_->channel(ch))});
    }
    if (e.displayedChannelOnly) {
        // The channel 显示通道 names; a text naming none exports channel 1.
        const double named = targetChannel(form_->Combo1->currentText());
        const int ch = named >= 1 && named <= kChannelCount ? static_cast<int>(named) : 1;
        channels = {channels[static_cast<std::size_t>(ch - 1)]};
    }
    const std::optional<QString> failure =
        interchange::writeFilesWhole(interchange::exportFiles(e.format, channels, path));
    if (failure) {
        MsgBox(this, *failure);
    }
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
    return QSettings().value(kRecentKey).toStringList();
}

void MainWindow::fillRecentMenu() {
    recentMenu_->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString& path = files[i];
        QAction* a = recentMenu_->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        a->setObjectName(QStringLiteral("actionRecent%1").arg(i + 1));
        a->setToolTip(path);
        a->setStatusTip(path);
        a->setEnabled(form_->Command1->isEnabled());
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    if (files.isEmpty()) {
        recentMenu_->addAction(texts::q(texts::kMenuNoRecent))->setEnabled(false);
    }
}

void MainWindow::rememberFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kRecentFileCount) {
        files.removeLast();
    }
    QSettings().setValue(kRecentKey, files);
    fillRecentMenu();
}

void MainWindow::openRecent(const QString& path) {
    if (!QFileInfo::exists(path)) {
        QStringList files = recentFiles();
        files.removeAll(path);
        QSettings().setValue(kRecentKey, files);
        fillRecentMenu();
        MsgBox(this, texts::q(texts::kRecentMissing).arg(QDir::toNativeSeparators(path)));
        return;
    }
    openFile(path);
}

bool MainWindow::openFile(const QString& path) {
    // Loading is refused exactly when 载入 is (during a capture).
    if (!form_->Command1->isEnabled()) {
        return false;
    }
    return form_->loadFile(path);
}

void MainWindow::showFileInTitle(const QString& path) {
    setWindowTitle(
        texts::q(texts::kTitleWithFile).arg(texts::q(texts::kTitle), QFileInfo(path).fileName()));
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

void MainWindow::refreshNavigator() {
    std::vector<infrared::IrFrame> frames = navigator::decodeChannels(form_->buffers());
    if (frames.empty() && dock_ == nullptr) {
        syncActions();
        return;
    }
    ensureNavigator();
    if (panel_->showFrames(std::move(frames)) > 0) {
        dock_->show();
    }
    updateViewMark();
    syncActions();
}

int64_t MainWindow::visibleSamples() const {
    return samplesAcross(form_->Picture1->Width(), form_->BitWidth);
}

void MainWindow::updateViewMark() {
    if (panel_ == nullptr) {
        return;
    }
    panel_->overview()->setView(navigator::leftSampleAt(form_->HScroll1->Value()),
                                visibleSamples());
}

void MainWindow::moveChartToFraction(double fraction) {
    form_->HScroll1->setValue(navigator::scrollValueAtFraction(fraction, form_->HScroll1->Max()));
}

void MainWindow::moveChartToFrame(int row) {
    if (panel_ == nullptr) {
        return;
    }
    const auto& frames = panel_->frames()->frames();
    if (row < 0 || row >= static_cast<int>(frames.size())) {
        return;
    }
    form_->HScroll1->setValue(
        navigator::scrollValueForSample(frames[static_cast<std::size_t>(row)].startSample,
                                        visibleSamples(), form_->HScroll1->Max()));
}

void MainWindow::previousFrame() {
    if (panel_ == nullptr) {
        return;
    }
    const auto row = navigator::previousFrame(panel_->frames()->starts(), form_->HScroll1->Value(),
                                              visibleSamples(), form_->HScroll1->Max());
    if (row) {
        panel_->selectFrame(static_cast<int>(*row));
    }
}

void MainWindow::nextFrame() {
    if (panel_ == nullptr) {
        return;
    }
    const auto row = navigator::nextFrame(panel_->frames()->starts(), form_->HScroll1->Value(),
                                          visibleSamples(), form_->HScroll1->Max());
    if (row) {
        panel_->selectFrame(static_cast<int>(*row));
    }
}

void MainWindow::syncActions() {
    actionLoad_->setEnabled(form_->Command1->isEnabled());
    actionSave_->setEnabled(form_->Command3->isEnabled());
    for (QAction* a : exportActions_) {
        a->setEnabled(form_->Command3->isEnabled());
    }
    for (QAction* a : recentMenu_->actions()) {
        if (!a->objectName().isEmpty()) {
            a->setEnabled(form_->Command1->isEnabled());
        }
    }
    actionCapture_->setEnabled(form_->Command2->isEnabled());
    actionCapture_->setText(form_->Command2->text());
    actionZoomIn_->setEnabled(form_->Command5->isEnabled());
    actionZoomOut_->setEnabled(form_->Command6->isEnabled());
    actionHome_->setEnabled(form_->HScroll1->isEnabled());
    actionEnd_->setEnabled(form_->HScroll1->isEnabled());
    const bool frames =
        panel_ != nullptr && panel_->frames()->rowCount() > 0 && form_->HScroll1->isEnabled();
    actionPrevFrame_->setEnabled(frames);
    actionNextFrame_->setEnabled(frames);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        syncActions();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showHelp() {
    if (helpWindow_ == nullptr) {
        auto* dialog = new QDialog(this);
        dialog->setObjectName(QStringLiteral("HelpWindow"));
        dialog->setWindowTitle(texts::q(texts::kHelpTitle));
        auto* browser = new QTextBrowser(dialog);
        browser->setHtml(texts::q(texts::kHelpHtml));
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
    if (form_->Command1->isEnabled() && !droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty() || !form_->Command1->isEnabled()) {
        return;
    }
    event->acceptProposedAction();
    // Loaded once the drop has finished: a failure's message box must not hold the drag source.
    QTimer::singleShot(0, this, [this, path] { openFile(path); });
}

} // namespace velmoran
