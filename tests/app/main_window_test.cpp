// The program's main window end to end: the menu bar above an unchanged client area, a capture
// from the board emulator listed frame by frame, the chart moved from the overview and the frame
// list, files opened by drop, by name and from the recent list, exports, the overwrite question,
// and the command line of the real program.

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/modal_answerer.h"
#include "support/pty_pair.h"

#include <fstream>

#include "acquisition/mscomm.h"
#include "app/command_line.h"
#include "app/form1.h"
#include "app/main_window.h"
#include "app/target_channel.h"
#include "core/channel_levels.h"
#include "core/twips.h"
#include "display/frame_marks.h"
#include "display/picture_box.h"
#include "display/square_wave.h"
#include "display/vb_scroll_bar.h"
#include "files/capture_file.h"
#include "infrared/ir_decoder.h"
#include "interchange/export_files.h"
#include "navigator/detail_chart.h"
#include "navigator/frame_list.h"
#include "navigator/navigation.h"
#include "navigator/navigator_panel.h"
#include "navigator/overview.h"
#include "tools/emulator/board_emulator.h"
#include "tools/emulator/board_stream.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using velmoran::test::ModalAnswerer;
using velmoran::test::readAll;
using velmoran::test::waitUntil;
using velmoran::test::writeFile;

namespace {

constexpr int kCaptureTimeoutMs = 60000;
constexpr uint32_t kSeed = 5;

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

QAction* action(QWidget& window, const char* name) {
    auto* a = window.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

// Capture 0 of the emulator's stream, as a channel buffer.
ChannelBuffer emulatorCapture() {
    ChannelBuffer b{};
    const std::vector<uint8_t> bytes = emulator::streamCapture(kSeed, 0);
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

// What the docked navigator adds to the window's height: the panel and the splitter above it.
int dockedHeight(const MainWindow& window) {
    return window.navigatorDock()->height() +
           window.style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, &window);
}

// Settings go to a directory of the test's own, never the user's.
class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        settingsDir_ = new QTemporaryDir;
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_->path());
    }
    static void TearDownTestSuite() {
        delete settingsDir_;
        settingsDir_ = nullptr;
    }
    void SetUp() override { QSettings().clear(); }
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    static inline QTemporaryDir* settingsDir_ = nullptr;
    QTemporaryDir dir_;
};

// A window whose port 1 is the board emulator's pseudo-terminal, streaming flat out.
class EmulatorWindowTest : public MainWindowTest {
protected:
    emulator::PseudoTerminal pty;
    emulator::BoardStreamer streamer{
        pty.masterFd(), pty.slavePath(), {.seed = kSeed, .pace = emulator::Pace::Max}};
    MainWindow window{[this](int port) {
        return port == 1 ? QString::fromStdString(pty.slavePath()) : QString();
    }};
    Form1& form = *window.form();

    // A capture started with F5 into channel `channel`, waited for to its end.
    void capture(const char* channel) {
        form.Combo1->setEditText(QString::fromLatin1(channel));
        QSignalSpy ended(&form, &Form1::captureEnded);
        QTest::keyClick(&window, Qt::Key_F5);
        // Load, save and export are off from the first moment of the capture.
        EXPECT_FALSE(action(window, "actionLoad")->isEnabled());
        EXPECT_FALSE(action(window, "actionSave")->isEnabled());
        EXPECT_FALSE(action(window, "actionExportVcd")->isEnabled());
        EXPECT_EQ(action(window, "actionCapture")->text(), u8("强行停止"));
        ASSERT_TRUE(waitUntil([&] { return ended.size() == 1; }, kCaptureTimeoutMs));
        EXPECT_TRUE(action(window, "actionLoad")->isEnabled());
        EXPECT_TRUE(action(window, "actionSave")->isEnabled());
    }
};

TEST_F(MainWindowTest, TheMenuBarSitsAboveAClientAreaThatKeepsItsDesign) {
    MainWindow window([](int) { return QString(); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Form1& form = *window.form();
    const int menuHeight = window.menuBar()->height();
    EXPECT_GT(menuHeight, 0);
    EXPECT_EQ(form.geometry(), QRect(0, menuHeight, 712, 479));
    EXPECT_EQ(window.size(), QSize(712, 479 + menuHeight));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_TRUE(window.navigatorDock() == nullptr || !window.navigatorDock()->isVisible());
    EXPECT_EQ(form.Picture1->geometry(), twipsRect(240, 120, 10215, 5175));
    EXPECT_EQ(form.Command3->geometry(), twipsRect(6480, 6600, 1215, 375));
    EXPECT_EQ(window.windowTitle(), u8("Velmoran(11.0592M版)"));
    QStringList menus;
    for (QAction* a : window.menuBar()->actions()) {
        menus << a->text();
    }
    EXPECT_EQ(menus, (QStringList{u8("文件(&F)"), u8("采集(&C)"), u8("视图(&V)"), u8("帮助(&H)")}));
    for (QAction* a : window.findChildren<QAction*>()) {
        if (!a->objectName().isEmpty()) {
            EXPECT_TRUE(a->objectName().startsWith(QLatin1String("action")))
                << a->objectName().toStdString();
        }
    }

    // View actions by their shortcuts; zoom changes the chart as the buttons do.
    QTest::keyClick(&window, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(form.BitWidth, 20);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(form.BitWidth, 5);
    QTest::keyClick(&window, Qt::Key_End);
    EXPECT_EQ(form.HScroll1->Value(), form.HScroll1->Max());
    EXPECT_EQ(form.ViewStart, form.HScroll1->Max());
    QTest::keyClick(&window, Qt::Key_Home);
    EXPECT_EQ(form.ViewStart, 0);
    // F2 shows and hides the navigator; the window grows by exactly its height.
    QTest::keyClick(&window, Qt::Key_F2);
    QTRY_VERIFY(window.navigatorDock()->isVisible());
    QTRY_COMPARE(window.height(), 479 + menuHeight + dockedHeight(window));
    EXPECT_EQ(form.geometry(), QRect(0, menuHeight, 712, 479));
    // Floated, it first appears clear of the client area, and the window gives its room back.
    QDockWidget* dock = window.navigatorDock();
    dock->setFloating(true);
    QTRY_COMPARE(window.height(), 479 + menuHeight);
    EXPECT_FALSE(
        dock->frameGeometry().intersects(QRect(form.mapToGlobal(QPoint(0, 0)), form.size())));
    dock->setFloating(false);
    QTRY_COMPARE(window.height(), 479 + menuHeight + dockedHeight(window));
    QTest::keyClick(&window, Qt::Key_F2);
    QTRY_COMPARE(window.height(), 479 + menuHeight);
    // The help page opens without blocking.
    action(window, "actionHelp")->trigger();
    auto* help = window.findChild<QWidget*>(QStringLiteral("HelpWindow"));
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
}

TEST_F(EmulatorWindowTest, ACaptureListsTheEmulatorsFramesAndTheChartFollowsTheNavigator) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const int idleHeight = window.height();
    capture("1");
    ASSERT_TRUE(window.navigatorDock()->isVisible());
    EXPECT_EQ(window.height(), idleHeight + dockedHeight(window));
    EXPECT_EQ(form.geometry().size(), QSize(712, 479));

    // The picture the README shows: the window as a user sees it right after a capture.
    QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
    window.grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/main-window-navigator.png"));
    window.navigatorDock()->grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/navigator.png"));

    // One row per frame and per repeat code, with the emulator's own address and command.
    const emulator::Scenario scenario = emulator::defaultScenario(kSeed);
    auto* table = window.findChild<QTableView*>(QStringLiteral("FrameTable"));
    ASSERT_NE(table, nullptr);
    const QAbstractItemModel* model = table->model();
    std::vector<std::pair<QString, QString>> expected; // address, command
    for (const emulator::NecPress& p : scenario.presses) {
        for (int i = 0; i <= p.repeats; ++i) {
            expected.emplace_back(i == 0 ? QStringLiteral("0x%1").arg(p.address, 2, 16, QChar('0'))
                                         : QString(),
                                  QStringLiteral("0x%1").arg(p.command, 2, 16, QChar('0')));
        }
    }
    ASSERT_EQ(model->rowCount(), static_cast<int>(expected.size()));
    using navigator::FrameListModel;
    for (int row = 0; row < model->rowCount(); ++row) {
        EXPECT_EQ(model->index(row, FrameListModel::Channel).data().toInt(), 1);
        const QString protocol = model->index(row, FrameListModel::Protocol).data().toString();
        EXPECT_TRUE(protocol.startsWith(QLatin1String("NEC"))) << protocol.toStdString();
        if (protocol == QLatin1String("NEC")) {
            EXPECT_EQ(model->index(row, FrameListModel::Address).data().toString(),
                      expected[static_cast<std::size_t>(row)].first);
            EXPECT_EQ(model->index(row, FrameListModel::Command).data().toString(),
                      expected[static_cast<std::size_t>(row)].second);
            EXPECT_EQ(model->index(row, FrameListModel::Check).data().toString(), u8("ok"));
        }
    }

    // A click on a row: the frame's first edge in the left quarter of the chart, redrawn.
    const int row = 5;
    const auto& frames = window.navigatorPanel()->frames()->frames();
    const int64_t start = frames[row].startSample;
    const QRect cell = table->visualRect(model->index(row, FrameListModel::Protocol));
    table->scrollTo(model->index(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualRect(model->index(row, 1)).center());
    Q_UNUSED(cell);
    const int64_t visible = samplesAcross(form.Picture1->Width(), form.BitWidth);
    const int64_t left = navigator::leftSampleAt(form.ViewStart);
    EXPECT_EQ(form.ViewStart, form.HScroll1->Value());
    EXPECT_LE(left, start);
    EXPECT_LT(start - left, visible / 4);
    // 下一帧 by its shortcut goes to the following row, and the list follows.
    QTest::keyClick(&window, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(table->currentIndex().row(), row + 1);
    EXPECT_LE(navigator::leftSampleAt(form.ViewStart), frames[row + 1].startSample);
    EXPECT_LT(frames[row + 1].startSample - navigator::leftSampleAt(form.ViewStart), visible / 4);
    action(window, "actionPrevFrame")->trigger();
    EXPECT_EQ(table->currentIndex().row(), row);
    // The keys move the current row, and the chart with it.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(table->currentIndex().row(), row + 1);
    EXPECT_LT(frames[row + 1].startSample - navigator::leftSampleAt(form.ViewStart), visible / 4);

    // A click in the overview at 3/4 of its width, then a drag back to 1/4.
    navigator::Overview* overview = window.navigatorPanel()->overview();
    EXPECT_EQ(overview->objectName(), u8("Overview"));
    const int w = overview->width();
    QTest::mousePress(overview, Qt::LeftButton, {}, QPoint(3 * w / 4, 5));
    EXPECT_EQ(form.HScroll1->Value(),
              navigator::scrollValueAtFraction(double(3 * w / 4) / w, form.HScroll1->Max()));
    EXPECT_EQ(form.ViewStart, form.HScroll1->Value());
    QMouseEvent drag(QEvent::MouseMove, QPointF(w / 4, 5), overview->mapToGlobal(QPointF(w / 4, 5)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(overview, &drag);
    QTest::mouseRelease(overview, Qt::LeftButton, {}, QPoint(w / 4, 5));
    EXPECT_EQ(form.ViewStart,
              navigator::scrollValueAtFraction(double(w / 4) / w, form.HScroll1->Max()));
}

// At the line's own pace a capture takes 11 s: the keys pressed show in the list while it runs,
// and the list at its end is the whole buffer's, the live rows its beginning.
TEST_F(MainWindowTest, FramesAreListedWhileTheCaptureRunsThenDoubleClickFitsOne) {
    emulator::PseudoTerminal pty;
    emulator::BoardStreamer streamer{
        pty.masterFd(), pty.slavePath(), {.seed = kSeed, .pace = emulator::Pace::Line}};
    MainWindow window{
        [&](int port) { return port == 1 ? QString::fromStdString(pty.slavePath()) : QString(); }};
    Form1& form = *window.form();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QSignalSpy ended(&form, &Form1::captureEnded);
    QTest::keyClick(&window, Qt::Key_F5);
    ASSERT_TRUE(waitUntil(
        [&] {
            return window.navigatorPanel() != nullptr &&
                   window.navigatorPanel()->frames()->rowCount() > 0;
        },
        kCaptureTimeoutMs));
    EXPECT_TRUE(ended.isEmpty());
    EXPECT_TRUE(form.MSComm1->PortOpen());
    EXPECT_TRUE(window.navigatorDock()->isVisible());
    const std::vector<int64_t> live = window.navigatorPanel()->frames()->starts();
    // Whoever waits for the capture's end finds its frames already listed.
    std::vector<int64_t> listedWhenTaken;
    int takenChannel = 0;
    QObject::connect(&window, &MainWindow::captureTaken, &window, [&](int channel) {
        takenChannel = channel;
        listedWhenTaken = window.navigatorPanel()->frames()->starts();
    });
    ASSERT_TRUE(waitUntil([&] { return ended.size() == 1; }, kCaptureTimeoutMs));
    const std::vector<int64_t> whole = window.navigatorPanel()->frames()->starts();
    EXPECT_EQ(takenChannel, 1);
    EXPECT_EQ(listedWhenTaken, whole);
    ASSERT_LE(live.size(), whole.size());
    // The last live frame may have been cut by the block boundary; the ones before it stand.
    for (std::size_t i = 0; i + 1 < live.size(); ++i) {
        EXPECT_EQ(live[i], whole[i]) << i;
    }

    // A double-click on the first frame zooms to the largest step at which it fits and shows it.
    const infrared::IrFrame first = window.navigatorPanel()->frames()->frame(0);
    auto* table = window.findChild<QTableView*>(QStringLiteral("FrameTable"));
    Q_EMIT table->doubleClicked(table->model()->index(0, 2));
    const navigator::ZoomSteps want = navigator::zoomStepsToFit(
        first.endSample - first.startSample, form.Picture1->Width(), kDefaultBitWidth);
    EXPECT_EQ(form.BitWidth, want.bitWidth);
    EXPECT_EQ(form.HScroll1->Value(),
              navigator::scrollValueForSample(first.startSample,
                                              samplesAcross(form.Picture1->Width(), form.BitWidth),
                                              form.HScroll1->Max()));
}

// A capture stopped with 强行停止 part-way: the final list holds the frames of the blocks that
// arrived, never the never-received rest of the buffer as one long mark.
TEST_F(MainWindowTest, AStoppedCaptureListsOnlyWhatArrived) {
    emulator::PseudoTerminal pty;
    emulator::BoardStreamer streamer{
        pty.masterFd(), pty.slavePath(), {.seed = kSeed, .pace = emulator::Pace::Line}};
    MainWindow window{
        [&](int port) { return port == 1 ? QString::fromStdString(pty.slavePath()) : QString(); }};
    Form1& form = *window.form();
    window.show();
    QSignalSpy ended(&form, &Form1::captureEnded);
    action(window, "actionCapture")->trigger();
    ASSERT_TRUE(waitUntil(
        [&] {
            return window.navigatorPanel() != nullptr &&
                   window.navigatorPanel()->frames()->rowCount() > 2;
        },
        kCaptureTimeoutMs));
    const int32_t stored = form.RecvCount;
    ASSERT_GT(stored, 0);
    action(window, "actionCapture")->trigger(); // 强行停止
    ASSERT_EQ(ended.size(), 1);
    const auto& frames = window.navigatorPanel()->frames()->frames();
    ASSERT_FALSE(frames.empty());
    // A block may have come in between the look and the stop.
    const int64_t arrivedSamples = int64_t{stored + kBlockBytes} * kSamplesPerByte;
    for (const infrared::IrFrame& f : frames) {
        EXPECT_NE(f.protocol, infrared::IrProtocol::Unknown) << f.startSample;
        EXPECT_LE(f.endSample, arrivedSamples) << f.startSample;
    }
}

// A capture of a remote no decoder knows, loaded as a user would: its frames are listed with
// their inferred coding, and two of them selected name the bits that differ (the README's
// picture of an analysed remote).
TEST_F(MainWindowTest, AnUnknownRemoteIsListedWithItsCodingAndTheBitsThatDiffer) {
    irgen::Options o;
    o.jitter = 0.05;
    const ChannelBuffer channel =
        irgen::renderChannel(irgen::generate(irgen::Family::UnknownPulseDistance48, o));
    ASSERT_TRUE(saveCaptureFile(path("remote.ird"), channel, {}, {}).ok);
    MainWindow window;
    window.show();
    ASSERT_TRUE(window.openFile(path("remote.ird")));
    ASSERT_NE(window.navigatorPanel(), nullptr);
    auto* table = window.findChild<QTableView*>(QStringLiteral("FrameTable"));
    const auto& frames = window.navigatorPanel()->frames()->frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(table->model()
                    ->index(0, navigator::FrameListModel::Protocol)
                    .data()
                    .toString()
                    .contains(u8("脉冲间隔48位")));
    // The first frame and the next of another key.
    const auto other = std::find_if(frames.begin(), frames.end(), [&](const infrared::IrFrame& f) {
        return !f.analysis.repeatCode && f.analysis.bits != frames.front().analysis.bits;
    });
    ASSERT_NE(other, frames.end());
    const int row = static_cast<int>(other - frames.begin());
    table->setCurrentIndex(table->model()->index(0, 0)); // the chart moves to the first frame
    table->selectionModel()->select(table->model()->index(0, 0),
                                    QItemSelectionModel::ClearAndSelect |
                                        QItemSelectionModel::Rows);
    table->selectionModel()->select(table->model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(window.navigatorPanel()->bitsLabel()->text().contains(u8("位不同")));
    QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
    window.grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/unknown-remote.png"));
}

// 在波形上标注帧: off, the chart is what it always was; on, every pixel the rows drew stays as
// it was (the marks only fill the background under each row); off again, the marks are gone.
TEST_F(MainWindowTest, FramesMarkedOnTheChartLeaveTheRowsAsTheyAre) {
    ASSERT_TRUE(saveCaptureFile(path("cap.ird"), emulatorCapture(), {}, {}).ok);
    MainWindow window;
    window.show();
    ASSERT_TRUE(window.openFile(path("cap.ird")));
    window.navigatorPanel()->selectFrame(0); // the chart at the first frame
    Form1& form = *window.form();
    const QImage before = form.Picture1->image();
    QAction* annotate = action(window, "actionAnnotateFrames");
    ASSERT_FALSE(annotate->isChecked());
    annotate->trigger();
    QApplication::processEvents();
    const QImage on = form.Picture1->image();
    ASSERT_EQ(on.size(), before.size());
    const QRgb background = form.Picture1->BackColor();
    int marked = 0;
    int rowsChanged = 0;
    for (int y = 0; y < on.height(); ++y) {
        for (int x = 0; x < on.width(); ++x) {
            const QRgb was = before.pixel(x, y);
            rowsChanged += was != background && on.pixel(x, y) != was ? 1 : 0;
            marked += on.pixel(x, y) == kFrameMarkColour ? 1 : 0;
        }
    }
    EXPECT_EQ(rowsChanged, 0);
    EXPECT_GT(marked, 100);
    QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
    window.grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/annotated-chart.png"));
    annotate->trigger();
    QApplication::processEvents();
    EXPECT_EQ(form.Picture1->image(), before);
    EXPECT_FALSE(QSettings().value(QStringLiteral("annotateFrames")).toBool());
}

TEST_F(EmulatorWindowTest, ThePortMenuListsTheDevicesAndSetsThePortNumber) {
    form.Combo2->setEditText(QStringLiteral("7"));
    auto* menu = action(window, "actionCapture")->associatedObjects().value(0);
    auto* captureMenu = qobject_cast<QMenu*>(menu);
    ASSERT_NE(captureMenu, nullptr);
    Q_EMIT captureMenu->aboutToShow();
    QAction* port1 = action(window, "actionPort1");
    ASSERT_NE(port1, nullptr);
    EXPECT_TRUE(port1->text().contains(QString::fromStdString(pty.slavePath())));
    EXPECT_EQ(window.findChild<QAction*>(QStringLiteral("actionPort2")), nullptr);
    port1->trigger();
    EXPECT_EQ(form.Combo2->currentText(), u8("1"));
}

// The navigator docked at its height or floated at any size, maximised too: the client area is
// the same image, the window keeps its flags and its fixed size (the design's plus the menu bar
// when the navigator floats). The floated place is remembered for the next window.
TEST_F(MainWindowTest, TheNavigatorGrowsWhileTheClientAreaStaysAsDesigned) {
    ASSERT_TRUE(saveCaptureFile(path("cap.ird"), emulatorCapture(), {}, {}).ok);
    QRect floatedLast;
    {
        MainWindow window([](int) { return QString(); });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        Form1& form = *window.form();
        const Qt::WindowFlags flags = window.windowFlags();
        const int menuHeight = window.menuBar()->height();
        ASSERT_TRUE(window.openFile(path("cap.ird")));
        QDockWidget* dock = window.navigatorDock();
        QTRY_VERIFY(dock->isVisible());
        ASSERT_FALSE(dock->isFloating());
        // The first frame chosen, as the list does once it has the focus.
        window.navigatorPanel()->selectFrame(0);
        QApplication::processEvents();
        const QImage client = form.grab().toImage();
        struct Step {
            const char* name;
            bool floating;
            QSize size; // floated: the size the user gives it; empty: maximised
        };
        const Step steps[] = {
            {"docked", false, {}},
            {"floated small", true, {560, 300}},
            {"floated wide", true, {790, 700}},
            {"floated maximised", true, {}},
            {"docked again", false, {}},
            {"floated again", true, {600, 420}},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.name);
            window.setNavigatorFloating(step.floating);
            if (dock->isMaximized()) {
                dock->showNormal();
            }
            if (step.floating && step.size.isValid()) {
                dock->resize(step.size);
            } else if (step.floating) {
                dock->showMaximized();
            }
            QApplication::processEvents();
            EXPECT_EQ(form.grab().toImage(), client);
            EXPECT_EQ(window.windowFlags(), flags);
            EXPECT_EQ(form.geometry(), QRect(0, menuHeight, 712, 479));
            const int expectedHeight =
                479 + menuHeight + (step.floating ? 0 : dockedHeight(window));
            QTRY_COMPARE(window.size(), QSize(712, expectedHeight));
            EXPECT_EQ(dock->isFloating(), step.floating);
            EXPECT_EQ(action(window, "actionNavigatorFloating")->isChecked(), step.floating);
            if (step.floating && step.size.isValid()) {
                EXPECT_EQ(dock->size(), step.size);
            }
            if (step.floating && !step.size.isValid()) {
                EXPECT_TRUE(dock->isMaximized());
                EXPECT_GT(dock->width(), 790);
            }
            if (!step.floating) {
                EXPECT_GE(dock->height(), navigator::NavigatorPanel::kLeastPanelHeight);
            }
            // The list's every column shows its widest text, the chart takes what is left.
            auto* table = window.navigatorPanel()->frameTable();
            for (const int c : {0, 1, 2, 3, 4, 5, int{navigator::FrameListModel::Key}}) {
                for (int row = 0; row < table->model()->rowCount(); ++row) {
                    const QString text = table->model()->index(row, c).data().toString();
                    EXPECT_GT(table->columnWidth(c), table->fontMetrics().horizontalAdvance(text))
                        << c;
                }
            }
            const navigator::DetailChart* chart = window.navigatorPanel()->detailChart();
            EXPECT_GE(chart->height(), chart->minimumHeight());
            if (step.floating) {
                EXPECT_GT(chart->height(), 100);
            }
        }
        floatedLast = dock->geometry();
        window.close();
    }
    // The next window floats it where it was left.
    MainWindow again([](int) { return QString(); });
    again.show();
    ASSERT_TRUE(again.openFile(path("cap.ird")));
    QTRY_VERIFY(again.navigatorDock() != nullptr && again.navigatorDock()->isVisible());
    EXPECT_TRUE(again.navigatorDock()->isFloating());
    EXPECT_EQ(again.navigatorDock()->size(), floatedLast.size());
    EXPECT_EQ(again.height(), 479 + again.menuBar()->height());
}

// Wherever the screen is (a 1024 x 768 one too: see tests/app/CMakeLists.txt), the window and
// the navigator it shows after a load lie wholly on it: docked when there is room below the
// window, floated where there is not.
TEST_F(MainWindowTest, TheNavigatorFitsTheScreen) {
    ASSERT_TRUE(saveCaptureFile(path("cap.ird"), emulatorCapture(), {}, {}).ok);
    MainWindow window([](int) { return QString(); });
    window.move(0, 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(window.openFile(path("cap.ird")));
    QDockWidget* dock = window.navigatorDock();
    QTRY_VERIFY(dock->isVisible());
    const QRect screen = window.screen()->availableGeometry();
    const int menuHeight = window.menuBar()->height();
    const auto text = [](const QRect& r) {
        return QStringLiteral("%1,%2 %3x%4")
            .arg(r.x())
            .arg(r.y())
            .arg(r.width())
            .arg(r.height())
            .toStdString();
    };
    EXPECT_TRUE(screen.contains(window.frameGeometry()))
        << text(screen) << " " << text(window.frameGeometry());
    EXPECT_TRUE(screen.contains(dock->frameGeometry()))
        << text(screen) << " " << text(dock->frameGeometry());
    EXPECT_EQ(window.height(), 479 + menuHeight + (dock->isFloating() ? 0 : dockedHeight(window)));
    EXPECT_GE(window.navigatorPanel()->height(), navigator::NavigatorPanel::kLeastPanelHeight);
}

// 同步: Picture1 moved, the detail chart's left edge follows; the chart dragged, Picture1
// follows; off, each keeps its own.
TEST_F(MainWindowTest, SyncKeepsBothChartsOnTheSameTime) {
    ASSERT_TRUE(saveCaptureFile(path("cap.ird"), emulatorCapture(), {}, {}).ok);
    MainWindow window([](int) { return QString(); });
    window.show();
    ASSERT_TRUE(window.openFile(path("cap.ird")));
    Form1& form = *window.form();
    navigator::NavigatorPanel* panel = window.navigatorPanel();
    navigator::DetailChart* chart = panel->detailChart();
    QTRY_VERIFY(chart->isVisible());
    chart->showSpan(0, 20000);
    panel->syncBox()->setChecked(true);
    form.HScroll1->setValue(1000);
    EXPECT_DOUBLE_EQ(chart->view().firstSample,
                     static_cast<double>(navigator::leftSampleAt(form.HScroll1->Value())));
    chart->showSpan(200000, chart->view().samplesPerPixel * chart->width());
    EXPECT_EQ(navigator::leftSampleAt(form.HScroll1->Value()) / navigator::kSamplesPerScrollUnit,
              200000 / navigator::kSamplesPerScrollUnit);
    EXPECT_EQ(form.ViewStart, form.HScroll1->Value());
    panel->syncBox()->setChecked(false);
    const int kept = form.HScroll1->Value();
    chart->showSpan(50000, chart->view().samplesPerPixel * chart->width());
    EXPECT_EQ(form.HScroll1->Value(), kept);
    EXPECT_FALSE(QSettings().value(QStringLiteral("navigator/sync")).toBool());
}

// A frame in the last screenful, which Picture1's scroll range cannot bring into sight:
// chosen in the list or fitted by a double-click, with 同步 off and on, the detail chart shows it
// whole and Picture1 stands at its scroll end.
TEST_F(MainWindowTest, AFrameInTheLastScreenfulShowsInTheDetailChart) {
    // The emulator's first frame, copied with the idle line about it to end just before the
    // capture does.
    const ChannelBuffer captured = emulatorCapture();
    const std::vector<infrared::IrFrame> found =
        infrared::decodeInfrared(channelLevels(captured), 1, infrared::IrUnknownBursts::Listed);
    ASSERT_FALSE(found.empty());
    const int32_t from = static_cast<int32_t>(found.front().startSample / kSamplesPerByte) - 4;
    const int32_t to = static_cast<int32_t>(found.front().endSample / kSamplesPerByte) + 4;
    ChannelBuffer last = captured;
    std::fill(last.begin() + kCaptureBytes / 2, last.begin() + kCaptureBytes, captured[from]);
    std::copy(captured.begin() + from, captured.begin() + to,
              last.begin() + (kCaptureBytes - 10 - (to - from)));
    ASSERT_TRUE(saveCaptureFile(path("last.ird"), last, {}, {}).ok);

    struct Case {
        const char* name;
        bool synchronised;
        bool doubleClick;
    };
    const Case cases[] = {
        {"chosen in the list", false, false},
        {"chosen in the list, 同步 on", true, false},
        {"double-clicked", false, true},
        {"double-clicked, 同步 on", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow window([](int) { return QString(); });
        window.show();
        ASSERT_TRUE(window.openFile(path("last.ird")));
        Form1& form = *window.form();
        navigator::NavigatorPanel* panel = window.navigatorPanel();
        ASSERT_NE(panel, nullptr);
        navigator::DetailChart* chart = panel->detailChart();
        QTRY_VERIFY(chart->isVisible());
        panel->syncBox()->setChecked(c.synchronised);
        const int row = panel->frames()->rowCount() - 1;
        const infrared::IrFrame frame = panel->frames()->frame(row);
        // Picture1 cannot show it whole, even at its scroll end.
        ASSERT_GT(frame.endSample,
                  navigator::leftSampleAt(form.HScroll1->Max()) + form.visibleSampleCount());
        form.HScroll1->setValue(0);
        auto* table = panel->frameTable();
        const QModelIndex index = table->model()->index(row, navigator::FrameListModel::StartMs);
        table->scrollTo(index);
        if (c.doubleClick) {
            Q_EMIT table->doubleClicked(index);
        } else {
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                              table->visualRect(index).center());
        }
        QApplication::processEvents();
        const navigator::ChartView& view = chart->view();
        EXPECT_LE(view.firstSample, static_cast<double>(frame.startSample));
        EXPECT_GE(view.firstSample + view.samplesPerPixel * chart->width(),
                  static_cast<double>(frame.endSample));
        EXPECT_EQ(form.HScroll1->Value(), form.HScroll1->Max());
        EXPECT_EQ(form.ViewStart, form.HScroll1->Max());
    }
}

TEST_F(MainWindowTest, SavingOverAFileAsksAndARefusalKeepsItByteForByte) {
    MainWindow window([](int) { return QString(); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Form1& form = *window.form();
    form.ChannelData1.fill(0x5A);
    const QString target = path("old.ird");
    const QByteArray old("an older file, not a capture");
    writeFile(target, old);

    ModalAnswerer script;
    script.choose(target);
    script.answer(QMessageBox::No);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(script.allAnswered());
    ASSERT_EQ(script.questions().size(), 1);
    EXPECT_TRUE(script.questions()[0].contains(u8("old.ird")));
    EXPECT_EQ(readAll(target), old);
    EXPECT_EQ(window.windowTitle(), u8("Velmoran(11.0592M版)"));

    script.choose(target);
    script.answer(QMessageBox::Yes);
    action(window, "actionSave")->trigger();
    EXPECT_TRUE(script.allAnswered());
    const QByteArray saved = readAll(target);
    ASSERT_EQ(saved.size(), kCaptureFileBytes);
    EXPECT_EQ(static_cast<uint8_t>(saved[0]), 0x5A);
    EXPECT_EQ(window.windowTitle(), u8("Velmoran(11.0592M版) - old.ird"));
    EXPECT_EQ(window.recentFiles(), QStringList{QFileInfo(target).absoluteFilePath()});
    // A new file is written without a question.
    script.choose(path("new.ird"));
    action(window, "actionSave")->trigger();
    EXPECT_EQ(script.questions().size(), 2);
    EXPECT_EQ(readAll(path("new.ird")).size(), kCaptureFileBytes);
}

TEST_F(MainWindowTest, DroppedAndNamedFilesLoadAndBadOnesLoseNothing) {
    ChannelBuffer a{}, b{}, c{};
    a.fill(0x11);
    b.fill(0x22);
    c.fill(0x33);
    ASSERT_TRUE(saveCaptureFile(path("good.ird"), a, b, c).ok);
    MainWindow window([](int) { return QString(); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Form1& form = *window.form();

    auto drop = [&](const QString& file) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &dropped);
        EXPECT_TRUE(dropped.isAccepted());
    };
    ModalAnswerer script;
    drop(path("good.ird"));
    ASSERT_TRUE(waitUntil([&] { return form.ChannelData3[0] == 0x33; }));
    EXPECT_EQ(form.ChannelData1, a);
    EXPECT_EQ(window.windowTitle(), u8("Velmoran(11.0592M版) - good.ird"));

    // A folder and a missing file: the load's message, buffers and title as they were.
    for (const QString& bad : {dir_.path(), path("missing.ird")}) {
        const int before = static_cast<int>(script.messageTexts().size());
        drop(bad);
        ASSERT_TRUE(waitUntil([&] { return script.messageTexts().size() == before + 1; }));
        EXPECT_EQ(script.messageTexts().back(), u8("打开文件出错"));
        EXPECT_EQ(form.ChannelData1, a);
        EXPECT_EQ(form.ChannelData3, c);
        EXPECT_EQ(window.windowTitle(), u8("Velmoran(11.0592M版) - good.ird"));
    }
    // The same for a file named at start-up, which goes through the same path.
    EXPECT_FALSE(window.openFile(path("missing.ird")));
    EXPECT_EQ(script.messageTexts().back(), u8("打开文件出错"));
    EXPECT_EQ(form.ChannelData2, b);

    // The recent list: the good file; a file gone since is removed with a message.
    EXPECT_EQ(window.recentFiles(), QStringList{QFileInfo(path("good.ird")).absoluteFilePath()});
    ASSERT_TRUE(QFile::copy(path("good.ird"), path("gone.ird")));
    ASSERT_TRUE(window.openFile(path("gone.ird")));
    ASSERT_TRUE(QFile::remove(path("gone.ird")));
    action(window, "actionRecent1")->trigger();
    EXPECT_TRUE(script.messageTexts().back().contains(u8("gone.ird")));
    EXPECT_EQ(window.recentFiles(), QStringList{QFileInfo(path("good.ird")).absoluteFilePath()});
    form.ChannelData1.fill(0);
    action(window, "actionRecent1")->trigger();
    EXPECT_EQ(form.ChannelData1, a);
}

TEST_F(MainWindowTest, ExportsWriteWhatVelmoranIrdWritesAndReportFailures) {
    MainWindow window([](int) { return QString(); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Form1& form = *window.form();
    for (std::size_t i = 0; i < form.ChannelData2.size(); ++i) {
        form.ChannelData2[i] = static_cast<uint8_t>(i * 37);
    }
    form.Combo1->setEditText(QStringLiteral("2"));
    ModalAnswerer script;
    script.choose(path("out.vcd"));
    action(window, "actionExportVcd")->trigger();
    std::vector<interchange::ExportChannel> all;
    for (int ch = 1; ch <= 3; ++ch) {
        all.push_back({ch, channelLevels(*form.channel(ch))});
    }
    for (const auto& f :
         interchange::exportFiles(interchange::ExportFormat::Vcd, all, path("out.vcd"))) {
        EXPECT_EQ(readAll(f.path), f.bytes) << f.path.toStdString();
    }
    // mode2 takes the channel 显示通道 names.
    script.choose(path("remote.mode2"));
    action(window, "actionExportMode2")->trigger();
    const auto mode2 =
        interchange::exportFiles(interchange::ExportFormat::Mode2, {all[1]}, path("remote.mode2"));
    EXPECT_EQ(readAll(path("remote.mode2")), mode2.front().bytes);
    // So do the remote-control descriptions (frames decoded from that channel).
    // (loaded, so that the frame list and the exports hold its frames)
    ASSERT_TRUE(saveCaptureFile(path("remote.ird"), {}, emulatorCapture(), {}).ok);
    ASSERT_TRUE(window.openFile(path("remote.ird")));
    all[1] = {2, channelLevels(form.ChannelData2)};
    script.choose(path("remote.lircd.conf"));
    action(window, "actionExportLircd")->trigger();
    const auto lircd = interchange::exportFiles(interchange::ExportFormat::Lircd, {all[1]},
                                                path("remote.lircd.conf"));
    EXPECT_TRUE(lircd.front().bytes.contains("begin remote"));
    EXPECT_EQ(readAll(path("remote.lircd.conf")), lircd.front().bytes);
    // Into a folder that does not exist: the writer's reason in a message box.
    script.choose(path("no/such/dir/x.csv"));
    action(window, "actionExportCsv")->trigger();
    ASSERT_EQ(script.messageTexts().size(), 1);
    EXPECT_TRUE(script.messageTexts()[0].contains(u8("x.csv")));
    EXPECT_TRUE(script.allAnswered());
}

// The VCD's view file as velmoran-ird treats it: one already there (a link leading nowhere
// included) is kept, and the user told so, unless the user says to replace it.
TEST_F(MainWindowTest, ExportKeepsAnExistingViewFileUnlessTheUserReplacesIt) {
    MainWindow window([](int) { return QString(); });
    window.show();
    ModalAnswerer script;
    writeFile(path("out.gtkw"), "[*] tuned\n");
    ASSERT_TRUE(QFile::link(path("elsewhere.gtkw"), path("linked.gtkw")));
    struct Step {
        const char* vcd;
        QList<QMessageBox::StandardButton> answers; // the VCD's question first when it exists
        bool viewKept;
    };
    for (const Step& step : {Step{"out.vcd", {QMessageBox::No}, true},
                             Step{"out.vcd", {QMessageBox::Yes, QMessageBox::Yes}, false},
                             Step{"linked.vcd", {QMessageBox::No}, true}}) {
        const QString view = interchange::gtkwaveSavePathFor(path(step.vcd));
        const QByteArray before = readAll(view);
        script.clear();
        script.choose(path(step.vcd));
        for (const QMessageBox::StandardButton b : step.answers) {
            script.answer(b);
        }
        action(window, "actionExportVcd")->trigger();
        EXPECT_TRUE(script.allAnswered()) << step.vcd;
        EXPECT_TRUE(readAll(path(step.vcd)).startsWith("$version")) << step.vcd;
        EXPECT_EQ(script.messageTexts().size(), step.viewKept ? 1 : 0) << step.vcd;
        if (step.viewKept) {
            EXPECT_TRUE(script.messageTexts()[0].contains(u8("已保留"))) << step.vcd;
            EXPECT_EQ(readAll(view), before) << step.vcd;
        } else {
            EXPECT_TRUE(readAll(view).contains("[dumpfile]")) << step.vcd;
        }
    }
    EXPECT_FALSE(QFileInfo::exists(path("elsewhere.gtkw"))) << "written through the link";
}

// Exports the window refuses, each with a message in Chinese: a channel 显示通道 does not name
// (before any file dialog), the loaded capture file as the output, and a write that fails.
TEST_F(MainWindowTest, ExportRefusalsAreToldInChinese) {
    MainWindow window([](int) { return QString(); });
    window.show();
    Form1& form = *window.form();
    ASSERT_TRUE(saveCaptureFile(path("cap.ird"), emulatorCapture(), {}, {}).ok);
    const QByteArray capture = readAll(path("cap.ird"));
    ASSERT_TRUE(form.loadFile(path("cap.ird")));
    ModalAnswerer script;
    form.Combo1->setEditText(QStringLiteral("4"));
    action(window, "actionExportPronto")->trigger();
    form.Combo1->setEditText(QStringLiteral("1"));
    script.choose(path("cap.ird"));
    action(window, "actionExportCsv")->trigger();
    script.choose(path("no/such/dir/x.csv"));
    action(window, "actionExportCsv")->trigger();
    // The VCD's view file is held to the same rules as velmoran-ird's.
    ASSERT_TRUE(QFile::link(path("cap.ird"), path("v.gtkw")));
    script.choose(path("v.vcd"));
    action(window, "actionExportVcd")->trigger();
    ASSERT_TRUE(QFile::link(path("w.vcd"), path("w.gtkw")));
    script.choose(path("w.vcd"));
    action(window, "actionExportVcd")->trigger();
    EXPECT_TRUE(script.allAnswered());
    const QStringList said = script.messageTexts();
    ASSERT_EQ(said.size(), 5) << said.join('|').toStdString();
    EXPECT_TRUE(
        said[3].contains(u8("GTKWave 视图文件“%1”是当前载入的采集文件").arg(path("v.gtkw"))))
        << said[3].toStdString();
    EXPECT_TRUE(said[4].contains(u8("就是要写出的 VCD 文件"))) << said[4].toStdString();
    EXPECT_FALSE(QFile::exists(path("v.vcd")));
    EXPECT_FALSE(QFile::exists(path("w.vcd")));
    EXPECT_EQ(said[0], noSuchChannelMessage(QStringLiteral("4")));
    EXPECT_TRUE(said[1].contains(u8("当前载入的采集文件"))) << said[1].toStdString();
    EXPECT_TRUE(said[2].startsWith(u8("保存文件出错"))) << said[2].toStdString();
    EXPECT_TRUE(said[2].contains(u8("No such file or directory"))) << said[2].toStdString();
    EXPECT_EQ(readAll(path("cap.ird")), capture);
    EXPECT_EQ(script.seen().size(), 9u) << "a file dialog for the refused channel";
}

// The recent-files menu from a settings file holding far more entries than it shows, the first
// named with an "&": six items, the "&" shown as itself.
TEST_F(MainWindowTest, RecentFilesShowSixEntriesAndTheirAmpersands) {
    QStringList many{path("R&D.ird")};
    for (int i = 0; i < 1000; ++i) {
        many << path("f") + QString::number(i) + QStringLiteral(".ird");
    }
    QSettings().setValue(QStringLiteral("recentFiles"), many);
    MainWindow window([](int) { return QString(); });
    auto* menu = window.findChild<QMenu*>(QStringLiteral("menuRecent"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), 6);
    EXPECT_EQ(action(window, "actionRecent1")->text(), u8("&1 R&&D.ird"));
}

// Port numbers the port's 16-bit number cannot hold are a usage error, not an overflow later.
TEST(CommandLine, PortNumbersBeyondTheCommPortAreRefused) {
    for (const char* port : {"--port=32768=/dev/a", "--port=40000=/dev/a", "--port=-1=/dev/a"}) {
        EXPECT_TRUE(parseCommandLine({u8(port)}).error.contains("1 to 32767")) << port;
    }
    EXPECT_TRUE(parseCommandLine({u8("--port=32767=/dev/a")}).error.isEmpty());
}

TEST(CommandLine, PortsFilesAndMistakes) {
    const CommandLine line = parseCommandLine(
        {u8("--port"), u8("1=/dev/pts/7"), u8("--port=4=/dev/ttyS9"), u8("cap.ird")});
    EXPECT_TRUE(line.error.isEmpty());
    EXPECT_EQ(line.file, u8("cap.ird"));
    const PortMap map =
        withPortOverrides([](int n) { return QStringLiteral("/dev/base%1").arg(n); }, line.ports);
    EXPECT_EQ(map(1), u8("/dev/pts/7"));
    EXPECT_EQ(map(2), u8("/dev/base2"));
    EXPECT_EQ(map(4), u8("/dev/ttyS9"));
    for (const QStringList& wrong :
         {QStringList{u8("--port"), u8("x=/dev/a")}, QStringList{u8("--port"), u8("0=/dev/a")},
          QStringList{u8("--port")}, QStringList{u8("--frobnicate")},
          QStringList{u8("a.ird"), u8("b.ird")}}) {
        EXPECT_FALSE(parseCommandLine(wrong).error.isEmpty()) << wrong.join(' ').toStdString();
    }
}

TEST(CommandLine, TheProgramPrintsItsUsageWithoutAWindow) {
    const QString program = QStringLiteral(VELMORAN_BINARY_DIR "/velmoran");
    QProcess help;
    help.start(program, {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().startsWith("usage: velmoran"));
    QProcess wrong;
    wrong.start(program, {QStringLiteral("--frobnicate")});
    ASSERT_TRUE(wrong.waitForFinished(10000));
    EXPECT_EQ(wrong.exitCode(), 2);
    EXPECT_TRUE(wrong.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(wrong.readAllStandardError().contains("usage: velmoran"));
}

} // namespace
