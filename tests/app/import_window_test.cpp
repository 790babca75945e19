// 文件 ▸ 导入波形… and 文件 ▸ 遥控器库… in the real window, their modal dialogs answered as a
// person would: a mode2 recording lands in the channel 显示通道 names and its frames are listed,
// a malformed one is refused by file and line with every channel kept; importing remotes says
// what it added and asks before adding a remote the library already has; the library's window
// lists where each remote came from, renames a key and deletes a remote. The screenshots of the
// README are taken here.

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/modal_steps.h"

#include <deque>
#include <functional>
#include <memory>

#include "app/form1.h"
#include "app/main_window.h"
#include "app/remote_library_dialog.h"
#include "app/target_channel.h"
#include "core/channel_levels.h"
#include "interchange/capture_import.h"
#include "interchange/exporters.h"
#include "interchange/remote_library.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;

namespace {

constexpr int kWaitSteps = 1000;
constexpr int kWaitStepMs = 10;

// The modal steps with two kinds of answer of this window's dialogs.
struct ModalScript : test::ModalSteps {
    // A file dialog: `path` typed in and accepted; its name filters kept in `filters`.
    static Step choose(const QString& path, QStringList* filters = nullptr) {
        return [path, filters](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (dialog == nullptr) {
                return false;
            }
            if (filters != nullptr) {
                *filters = dialog->nameFilters();
            }
            dialog->selectFile(path);
            QDialog* asDialog = dialog;
            asDialog->accept();
            return true;
        };
    }
    // A message box or question: its text kept, then `button` clicked (a picture of it saved
    // as `picture` when given).
    static Step box(QMessageBox::StandardButton button, QStringList* seen,
                    const QString& picture = {}) {
        return [button, seen, picture](QWidget* w) {
            auto* b = qobject_cast<QMessageBox*>(w);
            if (b == nullptr || b->button(button) == nullptr) {
                return false;
            }
            *seen << b->text();
            if (!picture.isEmpty()) {
                QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
                b->grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/") + picture);
            }
            b->button(button)->click();
            return true;
        };
    }
};

void waitFor(const ModalScript& script) {
    for (int i = 0; i < kWaitSteps && !script.done(); ++i) {
        QTest::qWait(kWaitStepMs);
    }
}

class ImportWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        savedDataHome_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toUtf8());
        window_ = std::make_unique<MainWindow>();
        window_->show();
    }
    void TearDown() override {
        window_.reset();
        qputenv("XDG_DATA_HOME", savedDataHome_);
    }
    QAction* action(const char* name) const {
        return window_->findChild<QAction*>(QString::fromLatin1(name));
    }
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir_;
    QByteArray savedDataHome_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(ImportWindow, AMode2RecordingLandsInTheChosenChannelAndAFaultyOneChangesNothing) {
    Form1* form = window_->form();
    QAction* import = action("actionImportCapture");
    ASSERT_NE(import, nullptr);
    EXPECT_EQ(import->text(), QStringLiteral("导入波形(&W)…"));
    irgen::Options o;
    o.seed = 12;
    const ChannelLevels line =
        channelLevels(irgen::renderChannel(irgen::generate(irgen::Family::Nec, o)));
    test::writeFile(path("presses"), interchange::exportMode2({2, line}));
    const ChannelBuffer before1 = form->ChannelData1;

    form->Combo1->setEditText(QStringLiteral("2"));
    ModalScript script;
    QStringList filters;
    script.then(ModalScript::choose(path("presses"), &filters));
    import->trigger();
    waitFor(script);
    ASSERT_FALSE(filters.isEmpty());
    EXPECT_EQ(filters.front(), QStringLiteral("所有文件 (*)"));
    EXPECT_EQ(channelLevels(form->ChannelData2).edges, line.edges);
    EXPECT_TRUE(form->ChannelData1 == before1);
    ASSERT_NE(window_->navigatorPanel(), nullptr);
    const auto& frames = window_->navigatorPanel()->frames()->frames();
    ASSERT_GT(frames.size(), 10u);
    EXPECT_TRUE(std::all_of(frames.begin(), frames.end(),
                            [](const infrared::IrFrame& f) { return f.channel == 2; }));
    // The chart brought to the second frame, for the picture.
    action("actionNextFrame")->trigger();
    QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
    window_->grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/imported-mode2.png"));

    // A faulty recording: named by file and line, the channel as it was.
    test::writeFile(path("faulty.mode2"), "pulse 9000\nspace 4500\npulse x\n");
    const ChannelBuffer before2 = form->ChannelData2;
    QStringList messages;
    script.then(ModalScript::choose(path("faulty.mode2")));
    script.then(ModalScript::box(QMessageBox::Ok, &messages));
    import->trigger();
    waitFor(script);
    EXPECT_EQ(messages, QStringList{QStringLiteral("未能导入波形，第 2 通道没有改变：\n%1:3: \"x\" "
                                                   "is no duration in µs")
                                        .arg(path("faulty.mode2"))});
    EXPECT_TRUE(form->ChannelData2 == before2);

    // 显示通道 naming no channel: refused before any file is asked for.
    form->Combo1->setEditText(QStringLiteral("abc"));
    messages.clear();
    script.then(ModalScript::box(QMessageBox::Ok, &messages));
    import->trigger();
    waitFor(script);
    EXPECT_EQ(messages, QStringList{noSuchChannelMessage(QStringLiteral("abc"))});

    // On while no capture runs, as 载入 is.
    EXPECT_TRUE(import->isEnabled());
}

const QByteArray kRemotes =
    "begin remote\n  name tv\n  bits 16\n  flags SPACE_ENC|CONST_LENGTH\n"
    "  header 9000 4500\n  one 563 1687\n  zero 563 562\n  ptrail 563\n"
    "  pre_data_bits 16\n  pre_data 0x20DF\n  gap 108000\n"
    "  begin codes\n    KEY_POWER 0x10EF\n    KEY_MUTE 0x906F\n    KEY_VOLUMEUP 0x40BF\n"
    "  end codes\nend remote\n"
    "begin remote\n  name fan\n  flags RAW_CODES\n  gap 50000\n"
    "  begin raw_codes\n    name KEY_SPEED\n 1300 400 1300 400 400\n"
    "  end raw_codes\nend remote\n";

TEST_F(ImportWindow, RemotesImportedTwiceAndEditedInTheLibraryWindow) {
    const QString file = path("lircd.conf.living_room");
    test::writeFile(file, kRemotes);
    ModalScript script;
    QStringList filters;
    QStringList messages;
    script.then(ModalScript::choose(file, &filters));
    script.then(
        ModalScript::box(QMessageBox::Ok, &messages, QStringLiteral("remotes-imported.png")));
    action("actionImportRemotes")->trigger();
    waitFor(script);
    ASSERT_FALSE(filters.isEmpty());
    EXPECT_EQ(filters.front(), QStringLiteral("所有文件 (*)"));
    EXPECT_EQ(messages, QStringList{QStringLiteral("已导入 2 个遥控器，共 4 个按键")});

    // Again: each remote is recognised; the television is left out, the fan added once more.
    messages.clear();
    script.then(ModalScript::choose(file));
    script.then(ModalScript::box(QMessageBox::No, &messages));
    script.then(ModalScript::box(QMessageBox::Yes, &messages));
    script.then(ModalScript::box(QMessageBox::Ok, &messages));
    action("actionImportRemotes")->trigger();
    waitFor(script);
    EXPECT_EQ(messages,
              (QStringList{QStringLiteral("遥控器库中已有按键码相同的遥控器“tv”（3 个按键）。\n"
                                          "仍要再添加一次“tv”吗？"),
                           QStringLiteral("遥控器库中已有按键码相同的遥控器“fan”（1 个按键）。\n"
                                          "仍要再添加一次“fan”吗？"),
                           QStringLiteral("已导入 1 个遥控器，共 1 个按键")}));

    // The library's window: rename the television's first key, delete the second fan.
    QStringList listed;
    QString source;
    script.then([&](QWidget* w) {
        auto* dialog = qobject_cast<RemoteLibraryDialog*>(w);
        if (dialog == nullptr) {
            return false;
        }
        QTreeWidget* tree = dialog->tree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            listed << tree->topLevelItem(i)->text(0) + ' ' + tree->topLevelItem(i)->text(1);
        }
        source = tree->topLevelItem(0)->text(2);
        QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
        dialog->grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/remote-library.png"));
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        QTimer::singleShot(0, dialog->renameButton(), &QPushButton::click);
        return true;
    });
    script.then([](QWidget* w) {
        auto* ask = qobject_cast<QInputDialog*>(w);
        if (ask == nullptr) {
            return false;
        }
        EXPECT_EQ(ask->textValue(), QStringLiteral("KEY_POWER"));
        ask->setTextValue(QStringLiteral("KEY ONOFF"));
        ask->accept();
        return true;
    });
    script.then([](QWidget* w) {
        auto* dialog = qobject_cast<RemoteLibraryDialog*>(w);
        if (dialog == nullptr ||
            dialog->tree()->topLevelItem(0)->child(0)->text(0) != QStringLiteral("KEY_ONOFF")) {
            return false;
        }
        dialog->tree()->setCurrentItem(dialog->tree()->topLevelItem(2));
        QTimer::singleShot(0, dialog->deleteButton(), &QPushButton::click);
        return true;
    });
    messages.clear();
    script.then(ModalScript::box(QMessageBox::Yes, &messages));
    script.then([](QWidget* w) {
        auto* dialog = qobject_cast<RemoteLibraryDialog*>(w);
        if (dialog == nullptr || dialog->tree()->topLevelItemCount() != 2) {
            return false;
        }
        dialog->reject();
        return true;
    });
    action("actionRemoteLibrary")->trigger();
    waitFor(script);
    EXPECT_EQ(listed, (QStringList{"tv 3 个按键", "fan 1 个按键", "fan_2 1 个按键"}));
    EXPECT_EQ(source, QStringLiteral("导入自 ") + QFileInfo(file).absoluteFilePath());
    EXPECT_EQ(messages,
              QStringList{QStringLiteral("要从遥控器库中删除遥控器“fan_2”及其全部按键吗？")});

    interchange::RemoteLibrary library;
    ASSERT_EQ(library.loadWithSources(interchange::RemoteLibrary::defaultPath()), std::nullopt);
    ASSERT_EQ(library.remotes().size(), 2u);
    EXPECT_EQ(library.remotes()[0].codes[0].name, QStringLiteral("KEY_ONOFF"));
    EXPECT_EQ(library.remotes()[1].name, QStringLiteral("fan"));
}

} // namespace
