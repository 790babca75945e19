// One capture session and one frames model under the whole window: a capture from the board
// emulator into channel 1, with an older capture in channel 1 and frames in channels 2 and 3,
// drives the frame list and the overview from the model (the other channels' rows never redone,
// the old capture never shown beyond the data); a closed navigator stays closed and is not fed;
// Ctrl+→ moves the selection and the cursor's time follows; an export starts beside the loaded
// file and leaves a line in the status bar; a port that cannot be opened starts nothing.

#include <QComboBox>
#include <QDockWidget>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "support/modal_answerer.h"
#include "support/pty_pair.h"

#include <algorithm>

#include "acquisition/capture_session.h"
#include "app/form1.h"
#include "app/main_window.h"
#include "app/vb_label.h"
#include "core/channel_levels.h"
#include "display/measure.h"
#include "display/picture_box.h"
#include "display/time_text.h"
#include "files/capture_file.h"
#include "interchange/frames_model.h"
#include "navigator/frame_list.h"
#include "navigator/navigation.h"
#include "navigator/navigator_panel.h"
#include "navigator/overview.h"
#include "tools/emulator/board_stream.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using velmoran::test::ModalAnswerer;
using velmoran::test::waitUntil;

namespace {

constexpr int kCaptureTimeoutMs = 60000;
constexpr uint32_t kSeed = 9;

class CaptureSessionWindow : public ::testing::Test {
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
    void SetUp() override {
        QSettings().clear();
        qputenv("XDG_DATA_HOME", dir_.path().toLocal8Bit()); // the remote library: ours
    }

    // A file with a NEC capture in channel 1 (the older capture), an RC-6 one in channel 2 and
    // an unknown remote in channel 3.
    QString framesFile() {
        irgen::Options o;
        o.seed = kSeed;
        const QString path = dir_.filePath(QStringLiteral("frames.ird"));
        EXPECT_TRUE(
            saveCaptureFile(
                path, irgen::renderChannel(irgen::generate(irgen::Family::Nec, o)),
                irgen::renderChannel(irgen::generate(irgen::Family::Rc6, o)),
                irgen::renderChannel(irgen::generate(irgen::Family::UnknownPulseDistance48, o)))
                .ok);
        return path;
    }

    static inline QTemporaryDir* settingsDir_ = nullptr;
    QTemporaryDir dir_;
    emulator::PseudoTerminal pty;
};

// The rows of `list` whose frames are of channel `channel`, as (start, protocol) pairs.
std::vector<std::pair<int64_t, QString>> rowsOf(const navigator::FrameListModel& list,
                                                int channel) {
    std::vector<std::pair<int64_t, QString>> rows;
    for (int row = 0; row < list.rowCount(); ++row) {
        if (list.frame(row).channel == channel) {
            rows.emplace_back(
                list.frame(row).startSample,
                list.index(row, navigator::FrameListModel::Protocol).data().toString());
        }
    }
    return rows;
}

// Whether channel `channel`'s strip of the overview shows any line in columns [from, to).
bool stripShowsLine(const navigator::Overview& overview, int channel, int from, int to) {
    const QImage& strips = overview.strips();
    const int top = navigator::Overview::stripTop(channel);
    const QRgb base = strips.pixel(std::max(0, from), top + navigator::Overview::kStripHeight / 2);
    for (int x = from; x < to; ++x) {
        for (int y = top; y < top + navigator::Overview::kStripHeight; ++y) {
            if (strips.pixel(x, y) != base) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(CaptureSessionWindow, ACaptureDrivesTheListAndTheOverviewFromTheOneModel) {
    emulator::BoardStreamer streamer{
        pty.masterFd(), pty.slavePath(), {.seed = kSeed, .pace = emulator::Pace::Line}};
    MainWindow window{
        [&](int port) { return port == 1 ? QString::fromStdString(pty.slavePath()) : QString(); }};
    Form1& form = *window.form();
    window.show();
    ASSERT_TRUE(window.openFile(framesFile()));
    navigator::NavigatorPanel* panel = window.navigatorPanel();
    ASSERT_NE(panel, nullptr);
    const navigator::FrameListModel& list = *panel->frames();
    const interchange::FramesModel& model = *list.source();
    ASSERT_FALSE(model.frames(1).empty());
    const auto channel2 = rowsOf(list, 2);
    const auto channel3 = rowsOf(list, 3);
    ASSERT_FALSE(channel2.empty());
    ASSERT_FALSE(channel3.empty());
    const navigator::Overview& overview = *panel->overview();
    const int width = overview.strips().width();
    ASSERT_TRUE(stripShowsLine(overview, 1, width / 2, width)); // the older capture's bursts

    QSignalSpy started(form.Session, &CaptureSession::started);
    QSignalSpy stored(form.Session, &CaptureSession::blockStored);
    QSignalSpy completed(form.Session, &CaptureSession::completed);
    QSignalSpy resets(&list, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&model, &interchange::FramesModel::changed);
    form.Combo1->setEditText(QStringLiteral("1"));
    form.Command2->click();
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started.at(0).at(0).toInt(), 1);
    EXPECT_TRUE(form.Session->running());
    EXPECT_FALSE(form.canLoad());
    EXPECT_EQ(model.reachedSample(1), 0);
    EXPECT_TRUE(rowsOf(list, 1).empty()); // the older capture's frames are gone at once

    // While it runs: the list holds what the model holds, channel 1 as far as it reached, the
    // other channels' rows as they were; the overview shows nothing of channel 1 beyond it.
    int looks = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            if (!form.Session->running()) {
                return true;
            }
            const int64_t reached = model.reachedSample(1);
            if (reached > 0 && reached < kCaptureSamples / 2 && !model.frames(1).empty()) {
                ++looks;
                EXPECT_EQ(rowsOf(list, 1).size(), model.frames(1).size());
                for (const infrared::IrFrame& f : model.frames(1)) {
                    EXPECT_LT(f.startSample, reached);
                }
                EXPECT_EQ(rowsOf(list, 2), channel2);
                EXPECT_EQ(rowsOf(list, 3), channel3);
                const int edge = navigator::overviewColumnAt(reached, width) + 1;
                EXPECT_FALSE(stripShowsLine(overview, 1, edge, width)) << reached;
            }
            return false;
        },
        kCaptureTimeoutMs));
    EXPECT_GT(looks, 0);
    ASSERT_EQ(completed.size(), 1);
    EXPECT_EQ(stored.size(), kBlocksPerCapture);
    EXPECT_EQ(stored.last().at(1).toInt(), kCaptureBytes);
    EXPECT_FALSE(form.Session->running());
    EXPECT_TRUE(form.canLoad());
    EXPECT_EQ(resets.size(), 0); // row by row, never the whole list again
    // Only channel 1 was decoded: started, the live looks, the end.
    for (const QList<QVariant>& c : changed) {
        EXPECT_EQ(c.at(0).toInt(), 1);
    }
    EXPECT_GT(changed.size(), 2);

    // At the end: channel 1 decoded whole from the buffer, the list in time order over all.
    const std::vector<infrared::IrFrame> whole = infrared::decodeInfrared(
        channelLevels(form.ChannelData1), 1, infrared::IrUnknownBursts::Listed);
    ASSERT_FALSE(whole.empty());
    ASSERT_EQ(model.frames(1).size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(model.frames(1)[i].startSample, whole[i].startSample) << i;
        EXPECT_EQ(model.frames(1)[i].command, whole[i].command) << i;
    }
    EXPECT_EQ(static_cast<std::size_t>(list.rowCount()), model.frameCount());
    const std::vector<int64_t> starts = list.starts();
    EXPECT_TRUE(std::is_sorted(starts.begin(), starts.end()));
    EXPECT_EQ(rowsOf(list, 2), channel2);
    EXPECT_TRUE(stripShowsLine(overview, 1, 0, width));
}

TEST_F(CaptureSessionWindow, AClosedNavigatorStaysClosedAndIsNotFedDuringACapture) {
    emulator::BoardStreamer streamer{
        pty.masterFd(), pty.slavePath(), {.seed = kSeed, .pace = emulator::Pace::Line}};
    MainWindow window{
        [&](int port) { return port == 1 ? QString::fromStdString(pty.slavePath()) : QString(); }};
    Form1& form = *window.form();
    window.show();
    ASSERT_TRUE(window.openFile(framesFile()));
    ASSERT_TRUE(window.navigatorDock()->isVisible());
    window.setNavigatorShown(false);
    const interchange::FramesModel& model = *window.navigatorPanel()->frames()->source();
    QSignalSpy changed(&model, &interchange::FramesModel::changed);
    QSignalSpy completed(form.Session, &CaptureSession::completed);
    form.Combo1->setEditText(QStringLiteral("2"));
    form.Command2->click();
    ASSERT_TRUE(waitUntil([&] { return !completed.isEmpty(); }, kCaptureTimeoutMs));
    EXPECT_FALSE(window.navigatorDock()->isVisible());
    ASSERT_EQ(changed.size(), 2); // the start and the end, nothing in between
    EXPECT_EQ(changed.at(1).at(0).toInt(), 2);
    EXPECT_EQ(model.reachedSample(2), kCaptureSamples);
}

TEST_F(CaptureSessionWindow, CtrlRightMovesTheSelectionAndTheCursorTimeFollows) {
    MainWindow window;
    Form1& form = *window.form();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // Frames in channel 1 alone, each at a scroll position of its own.
    irgen::Options o;
    o.seed = kSeed;
    const QString path = dir_.filePath(QStringLiteral("nec.ird"));
    ASSERT_TRUE(
        saveCaptureFile(path, irgen::renderChannel(irgen::generate(irgen::Family::Nec, o)), {}, {})
            .ok);
    ASSERT_TRUE(window.openFile(path));
    QTableView* table = window.navigatorPanel()->frameTable();
    // The pointer places the cursor on the chart.
    const float x = 3000;
    form.Picture1_MouseMove(0, 0, x, 500);
    const QString before = form.Label3->Caption();
    int first = -1;
    for (int step = 0; step < 3; ++step) {
        QTest::keyClick(&window, Qt::Key_Right, Qt::ControlModifier);
        ASSERT_EQ(table->selectionModel()->selectedRows().size(), 1) << step;
        first = step == 0 ? table->currentIndex().row() : first;
        EXPECT_EQ(table->currentIndex().row(), first + step);
        EXPECT_EQ(table->selectionModel()->selectedRows().front().row(), first + step);
        EXPECT_EQ(
            form.Label3->Caption(),
            millisecondsText(cursorTime(x, form.BitWidth, form.ViewStart, form.SamplePeriod)));
    }
    EXPECT_NE(form.Label3->Caption(), before);
    QTest::keyClick(&window, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(table->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(table->currentIndex().row(), first + 1);
}

TEST_F(CaptureSessionWindow, AnExportStartsBesideTheLoadedFileAndSaysWhereItWrote) {
    MainWindow window;
    window.show();
    const QString loaded = framesFile();
    ASSERT_TRUE(window.openFile(loaded));
    ModalAnswerer answerer;
    const QString out = dir_.filePath(QStringLiteral("out.vcd"));
    answerer.choose(out);
    window.findChild<QAction*>(QStringLiteral("actionExportVcd"))->trigger();
    ASSERT_EQ(answerer.dialogs().size(), 1u);
    EXPECT_EQ(QFileInfo(answerer.dialogs()[0].startFile).absoluteFilePath(),
              dir_.filePath(QStringLiteral("frames.vcd")));
    ASSERT_TRUE(QFileInfo::exists(out));
    EXPECT_TRUE(window.statusBar()->currentMessage().startsWith(QStringLiteral("已导出 ")));
    EXPECT_TRUE(window.statusBar()->currentMessage().endsWith(QStringLiteral(" 到 ") + out));
}

TEST_F(CaptureSessionWindow, APortThatCannotBeOpenedStartsNothing) {
    MainWindow window{[](int) { return QStringLiteral("/nonexistent/tty"); }};
    Form1& form = *window.form();
    ModalAnswerer answerer;
    QSignalSpy started(form.Session, &CaptureSession::started);
    QSignalSpy running(form.Session, &CaptureSession::runningChanged);
    form.Command2->click();
    EXPECT_TRUE(started.isEmpty());
    EXPECT_TRUE(running.isEmpty());
    EXPECT_FALSE(form.Session->running());
    EXPECT_TRUE(form.canLoad());
    EXPECT_EQ(answerer.messageTexts().size(), 1);
}

} // namespace
