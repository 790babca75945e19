// 文件 ▸ 协议… in the real window, driven as a person would: a capture of a remote no protocol
// knows is loaded; in the editor a broken line is named by its line and column as it is typed
// and saving is refused while it is there; the frame's own IRP saved under a new name writes the
// user's file whole and names the listed frames at once, without a restart.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "support/modal_steps.h"

#include "app/main_window.h"
#include "app/protocols_dialog.h"
#include "files/capture_file.h"
#include "infrared/irp/irp_analysis.h"
#include "infrared/irp/irp_table.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;

namespace {

constexpr int kWaitMs = 20000;

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

using test::ModalSteps;

// A data folder of the test's own while it runs: the protocols file it writes must not reach the
// tests that run beside it (they share the suite's data folder).
class OwnDataHome {
public:
    OwnDataHome() : old_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", home_.path().toUtf8());
    }
    ~OwnDataHome() { qputenv("XDG_DATA_HOME", old_); }
    OwnDataHome(const OwnDataHome&) = delete;
    OwnDataHome& operator=(const OwnDataHome&) = delete;

private:
    QTemporaryDir home_;
    QByteArray old_;
};

QString protocolColumn(QTableView* table, int row) {
    return table->model()->index(row, navigator::FrameListModel::Protocol).data().toString();
}

// Types `text` key by key, its tabs and line ends as the Tab and Return keys.
void type(QWidget* editor, const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype l = 0; l < lines.size(); ++l) {
        if (l > 0) {
            QTest::keyClick(editor, Qt::Key_Return);
        }
        const QStringList cells = lines[l].split(QLatin1Char('\t'));
        for (qsizetype c = 0; c < cells.size(); ++c) {
            if (c > 0) {
                QTest::keyClick(editor, Qt::Key_Tab);
            }
            QTest::keyClicks(editor, cells[c]);
        }
    }
}

TEST(ProtocolsDialogTest, ABrokenLineIsNamedAndAGoodOneNamesTheFramesOnceSaved) {
    const OwnDataHome home;
    QTemporaryDir dir;
    QTemporaryDir settings;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    const QString userFile = infrared::irp::userProtocolsPath();
    ASSERT_TRUE(userFile.startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
    QFile::remove(userFile);

    irgen::Options o;
    o.jitter = 0.05;
    const ChannelBuffer channel =
        irgen::renderChannel(irgen::generate(irgen::Family::UnknownPulseDistance48, o));
    const QString capture = dir.filePath(QStringLiteral("remote.ird"));
    ASSERT_TRUE(saveCaptureFile(capture, channel, {}, {}).ok);
    MainWindow window;
    window.show();
    ASSERT_TRUE(window.openFile(capture));
    ASSERT_NE(window.navigatorPanel(), nullptr);
    QTableView* table = window.navigatorPanel()->frameTable();
    const auto& frames = window.navigatorPanel()->frames()->frames();
    ASSERT_FALSE(frames.empty());
    const QString irp = infrared::irp::irpOfAnalysis(frames.front().analysis);
    ASSERT_FALSE(irp.isEmpty());
    ASSERT_FALSE(protocolColumn(table, 0).contains(QStringLiteral("MyAircon")));

    auto* action = window.findChild<QAction*>(QStringLiteral("actionProtocols"));
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->isEnabled());

    QStringList refusals;
    QString brokenStatus;
    QString goodStatus;
    bool writtenBeforeGoodSave = true;
    ModalSteps steps;
    // The editor: a comment, a good line and a broken one typed; the broken one named; 保存.
    steps.then([&](QWidget* w) {
        auto* dialog = qobject_cast<ProtocolsDialog*>(w);
        if (dialog == nullptr) {
            return false;
        }
        EXPECT_EQ(dialog->windowTitle(), u8("协议"));
        EXPECT_TRUE(dialog->editor()->toPlainText().isEmpty());
        EXPECT_EQ(dialog->status()->text(), u8("没有错误，共 0 个协议"));
        dialog->editor()->setFocus();
        type(dialog->editor(), QStringLiteral("# mine\nGood\t{38k,500}<1,-1|1,-3>(16,-8,D:8,1,-9)\n"
                                              "Broken\t{38k,500}<1,-1|1,-3>(16,-8,D:8"));
        brokenStatus = dialog->status()->text();
        QTimer::singleShot(0, dialog->saveButton(), &QPushButton::click);
        return true;
    });
    steps.then([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr) {
            return false;
        }
        refusals << box->text();
        box->button(QMessageBox::Ok)->click();
        return true;
    });
    // Back in the editor: the broken line replaced by the frame's IRP under a new name; 保存.
    steps.then([&](QWidget* w) {
        auto* dialog = qobject_cast<ProtocolsDialog*>(w);
        if (dialog == nullptr) {
            return false;
        }
        writtenBeforeGoodSave = QFile::exists(userFile);
        dialog->editor()->setPlainText(QStringLiteral("# mine\nMyAircon\t%1\n").arg(irp));
        goodStatus = dialog->status()->text();
        dialog->saveButton()->click();
        return true;
    });
    QTimer::singleShot(0, action, &QAction::trigger);
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps.done(); }, kWaitMs));
    QTest::qWait(50);

    EXPECT_TRUE(
        QRegularExpression(u8("^第 3 行第 \\d+ 列：expected \\)$")).match(brokenStatus).hasMatch())
        << brokenStatus.toStdString();
    ASSERT_EQ(refusals.size(), 1);
    EXPECT_TRUE(refusals.front().contains(brokenStatus)) << refusals.front().toStdString();
    EXPECT_FALSE(writtenBeforeGoodSave);
    EXPECT_EQ(goodStatus, u8("没有错误，共 1 个协议"));
    QFile written(userFile);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()),
              QStringLiteral("# mine\nMyAircon\t%1\n").arg(irp));

    // The frames are named by the new protocol at once.
    ASSERT_GT(table->model()->rowCount(), 0);
    EXPECT_TRUE(protocolColumn(table, 0).contains(QStringLiteral("MyAircon")))
        << protocolColumn(table, 0).toStdString();

    // Appending a protocol keeps what was there and ends with the new line.
    ASSERT_FALSE(appendUserProtocol(userFile, QStringLiteral("Other"),
                                    QStringLiteral("{38k,500}<1,-1|1,-3>(16,-8,D:8,1,-9)")));
    written.close();
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()),
              QStringLiteral("# mine\nMyAircon\t%1\nOther\t{38k,500}<1,-1|1,-3>(16,-8,D:8,1,-9)\n")
                  .arg(irp));
    // A file that is no regular file is neither read nor replaced.
    const QString folder = dir.filePath(QStringLiteral("folder.irp"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(appendUserProtocol(folder, QStringLiteral("X"), irp).has_value());
    ProtocolsDialog unreadable(folder, {}, nullptr);
    EXPECT_FALSE(unreadable.saveButton()->isEnabled());
    EXPECT_TRUE(unreadable.status()->text().contains(folder));
    QFile::remove(userFile);
}

// 添加为协议… on the frame list: off until an analysed frame is current; a name with a space
// is refused with nothing written; a good name appends the frame's IRP to the user's file and
// the frames are named by it at once.
TEST(ProtocolsDialogTest, AnAnalysedFrameIsAddedAsAProtocolFromTheFrameList) {
    const OwnDataHome home;
    QTemporaryDir dir;
    QTemporaryDir settings;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    const QString userFile = infrared::irp::userProtocolsPath();
    QFile::remove(userFile);

    const ChannelBuffer channel = irgen::renderChannel(
        irgen::generate(irgen::Family::UnknownPulseDistance112, irgen::Options{}));
    const QString capture = dir.filePath(QStringLiteral("remote.ird"));
    ASSERT_TRUE(saveCaptureFile(capture, channel, {}, {}).ok);
    MainWindow window;
    window.show();
    ASSERT_TRUE(window.openFile(capture));
    ASSERT_NE(window.navigatorPanel(), nullptr);
    QTableView* table = window.navigatorPanel()->frameTable();
    auto* action = window.findChild<QAction*>(QStringLiteral("actionAddAsProtocol"));
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(table->actions().contains(action));
    window.navigatorPanel()->selectFrame(0);
    const QString irp =
        infrared::irp::irpOfAnalysis(window.navigatorPanel()->frames()->frame(0).analysis);
    ASSERT_FALSE(irp.isEmpty());
    ASSERT_TRUE(action->isEnabled());

    const auto answer = [](const QString& name) {
        return [name](QWidget* w) {
            auto* ask = qobject_cast<QInputDialog*>(w);
            if (ask == nullptr) {
                return false;
            }
            ask->setTextValue(name);
            ask->accept();
            return true;
        };
    };
    QStringList warnings;
    ModalSteps steps;
    steps.then(answer(QStringLiteral("my remote")));
    steps.then([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr) {
            return false;
        }
        warnings << box->text();
        box->button(QMessageBox::Ok)->click();
        return true;
    });
    QTimer::singleShot(0, action, &QAction::trigger);
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps.done(); }, kWaitMs));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.front().contains(QStringLiteral("my remote")));
    EXPECT_FALSE(QFile::exists(userFile));

    steps.then(answer(QStringLiteral("Learned112")));
    QTimer::singleShot(0, action, &QAction::trigger);
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps.done(); }, kWaitMs));
    QTest::qWait(50);
    QFile written(userFile);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()), QStringLiteral("Learned112\t%1\n").arg(irp));
    ASSERT_GT(table->model()->rowCount(), 0);
    EXPECT_TRUE(protocolColumn(table, 0).contains(QStringLiteral("Learned112")))
        << protocolColumn(table, 0).toStdString();
    QFile::remove(userFile);
}

} // namespace
