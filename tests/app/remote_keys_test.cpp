// The remote library through the real window, with its data folder in a temporary directory: a
// key named in the frame list's 按键 column names every frame that sends it, comes back in a new
// window, and LIRC's irsimreceive reads the library file and reports those names for the same
// frames; clearing the name removes the key. Importing refuses a malformed lircd.conf naming its
// line and adds nothing; a good one names the frames its remotes match. A library that cannot be
// read is told and never overwritten.

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/files.h"
#include "support/modal_answerer.h"

#include <memory>

#include "app/main_window.h"
#include "core/channel_levels.h"
#include "files/capture_file.h"
#include "infrared/frame_text.h"
#include "interchange/exporters.h"
#include "interchange/lircd_export.h"
#include "interchange/remote_library.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using navigator::FrameListModel;
using velmoran::test::ModalAnswerer;
using velmoran::test::readAll;
using velmoran::test::writeFile;

namespace {

constexpr int kWaitSteps = 500;
constexpr int kWaitStepMs = 10;

// The cell editor the table shows, if any.
QLineEdit* openEditor(QTableView* table) {
    for (QLineEdit* e : table->viewport()->findChildren<QLineEdit*>()) {
        if (e->isVisible()) {
            return e;
        }
    }
    return nullptr;
}

class RemoteKeysWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        savedDataHome_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toUtf8());
        irgen::Options o;
        o.jitter = 0.10;
        o.seed = 41;
        channel_ = irgen::renderChannel(irgen::generate(irgen::Family::Nec, o));
        std::unique_ptr<ChannelBuffer[]> none(new ChannelBuffer[2]{});
        ASSERT_TRUE(saveCaptureFile(capture(), channel_, none[0], none[1]).ok);
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", savedDataHome_); }

    QString capture() const { return dir_.filePath(QStringLiteral("capture.ird")); }

    // A window with the capture loaded and its frame list.
    FrameListModel* open(std::unique_ptr<MainWindow>& window) {
        window = std::make_unique<MainWindow>();
        EXPECT_TRUE(window->openFile(capture()));
        EXPECT_NE(window->navigatorPanel(), nullptr);
        return window->navigatorPanel() ? window->navigatorPanel()->frames() : nullptr;
    }

    static QStringList keyColumn(const FrameListModel* model) {
        QStringList keys;
        for (int row = 0; row < model->rowCount(); ++row) {
            keys << model->data(model->index(row, FrameListModel::Key), Qt::DisplayRole).toString();
        }
        return keys;
    }

    // The rows whose frame sends the key of `row` (its repeat codes included).
    static std::vector<bool> sameKey(const FrameListModel* model, int row) {
        const infrared::IrFrame& f = model->frame(row);
        std::vector<bool> same;
        for (const infrared::IrFrame& g : model->frames()) {
            same.push_back(g.keyKnown && g.protocol != infrared::IrProtocol::Unknown &&
                           interchange::remoteName(g) == interchange::remoteName(f) &&
                           g.command == f.command);
        }
        return same;
    }

    QTemporaryDir dir_;
    QByteArray savedDataHome_;
    ChannelBuffer channel_{};
    ModalAnswerer answerer_;
};

TEST_F(RemoteKeysWindow, NamedKeysComeBackInANewWindowAndLircReadsThem) {
    std::unique_ptr<MainWindow> window;
    FrameListModel* model = open(window);
    ASSERT_NE(model, nullptr);
    ASSERT_GT(model->rowCount(), 20);
    EXPECT_EQ(model->headerData(FrameListModel::Key, Qt::Horizontal, Qt::DisplayRole),
              QStringLiteral("按键"));
    EXPECT_TRUE(keyColumn(model).join(QString()).isEmpty());

    // Two keys named, one of them renamed (the second name replaces the first).
    const int first = 0;
    int second = 1;
    while (second < model->rowCount() && sameKey(model, first)[static_cast<std::size_t>(second)]) {
        ++second;
    }
    ASSERT_LT(second, model->rowCount());
    const QModelIndex firstKey = model->index(first, FrameListModel::Key);
    EXPECT_TRUE(model->flags(firstKey).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(
        model->flags(model->index(first, FrameListModel::Command)).testFlag(Qt::ItemIsEditable));
    // F2 on the cell opens its editor (the navigator stays), as a double-click does.
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* table = window->navigatorPanel()->findChild<QTableView*>(QStringLiteral("FrameTable"));
    ASSERT_NE(table, nullptr);
    table->setFocus();
    table->setCurrentIndex(firstKey);
    QTest::keyClick(table, Qt::Key_F2);
    QLineEdit* editor = openEditor(table);
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(window->navigatorDock()->isVisible());
    QTest::keyClick(editor, Qt::Key_Escape);
    QTest::qWait(kWaitStepMs); // the closed editor goes at the next turn of the event loop
    table->setCurrentIndex(model->index(first, FrameListModel::Command));
    QTest::keyClick(table, Qt::Key_F2); // elsewhere F2 stays 总览与帧列表
    EXPECT_EQ(openEditor(table), nullptr);
    EXPECT_TRUE(model->setData(firstKey, QStringLiteral("KEY_ON"), Qt::EditRole));
    EXPECT_TRUE(model->setData(firstKey, QStringLiteral("KEY_POWER"), Qt::EditRole));
    EXPECT_TRUE(model->setData(model->index(second, FrameListModel::Key),
                               QStringLiteral(" KEY MUTE "), Qt::EditRole));
    const QString remote = interchange::remoteName(model->frames()[first]);
    const QStringList keys = keyColumn(model);
    for (int row = 0; row < model->rowCount(); ++row) {
        const auto r = static_cast<std::size_t>(row);
        const QString want =
            sameKey(model, first)[r] ? remote + QStringLiteral(": KEY_POWER")
            : sameKey(model, second)[r]
                ? interchange::remoteName(model->frames()[r]) + QStringLiteral(": KEY_MUTE")
                : QString();
        EXPECT_EQ(keys[row], want) << "row " << row;
    }
    EXPECT_EQ(model->data(firstKey, Qt::EditRole), QStringLiteral("KEY_POWER"));
    EXPECT_GT(keys.count(remote + QStringLiteral(": KEY_POWER")), 1);

    // A new window with the same data folder shows the names again.
    window.reset();
    model = open(window);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(keyColumn(model), keys);
    EXPECT_TRUE(answerer_.messageTexts().isEmpty())
        << answerer_.messageTexts().join('\n').toStdString();

    // LIRC reads the library and reports those names for the same frames, repeats included.
    const QString irsimreceive = QStandardPaths::findExecutable(QStringLiteral("irsimreceive"));
    if (!irsimreceive.isEmpty()) {
        const QString mode2 = dir_.filePath(QStringLiteral("capture.mode2"));
        writeFile(mode2, interchange::exportMode2({1, channelLevels(channel_)}));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CACHE_HOME"), dir_.path());
        p.setProcessEnvironment(env);
        p.start(irsimreceive, {interchange::RemoteLibrary::defaultPath(), mode2});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0);
        QStringList reported;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
            const QStringList w = line.simplified().split(' '); // code, repeat, key, remote
            if (w.size() == 4) {
                reported << w[3] + QStringLiteral(": ") + w[2];
            }
        }
        QStringList shown = keys;
        shown.removeAll(QString());
        EXPECT_EQ(reported, shown);
    }

    // Clearing the name removes the key from the list and from the library.
    EXPECT_TRUE(model->setData(model->index(first, FrameListModel::Key), QString(), Qt::EditRole));
    EXPECT_FALSE(keyColumn(model).join(' ').contains(QStringLiteral("KEY_POWER")));
    EXPECT_TRUE(keyColumn(model).join(' ').contains(QStringLiteral("KEY_MUTE")));
    EXPECT_FALSE(readAll(interchange::RemoteLibrary::defaultPath()).contains("KEY_POWER"));
}

TEST_F(RemoteKeysWindow, ImportRefusesAMalformedFileAndMatchesAGoodOne) {
    std::unique_ptr<MainWindow> window;
    FrameListModel* model = open(window);
    ASSERT_NE(model, nullptr);
    QAction* import = window->findChild<QAction*>(QStringLiteral("actionImportRemotes"));
    ASSERT_NE(import, nullptr);
    EXPECT_EQ(import->text(), QStringLiteral("导入遥控器定义(&I)…"));

    const QString bad = dir_.filePath(QStringLiteral("bad.conf"));
    writeFile(bad, "begin remote\n  name tv\n  bits sixteen\n");
    answerer_.choose(bad);
    import->trigger();
    ASSERT_EQ(answerer_.messageTexts().size(), 1);
    EXPECT_TRUE(answerer_.messageTexts()[0].contains(bad + QStringLiteral(":3: ")))
        << answerer_.messageTexts()[0].toStdString();
    EXPECT_FALSE(QFile::exists(interchange::RemoteLibrary::defaultPath()));
    EXPECT_TRUE(keyColumn(model).join(QString()).isEmpty());

    // The capture's own remote definition, as velmoran-ird exports it: every key is matched.
    const QString good = dir_.filePath(QStringLiteral("good.conf"));
    writeFile(good, interchange::exportLircd({1, channelLevels(channel_)}));
    answerer_.choose(good);
    import->trigger();
    ASSERT_EQ(answerer_.messageTexts().size(), 2);
    EXPECT_TRUE(answerer_.messageTexts()[1].startsWith(QStringLiteral("已导入 ")));
    const QStringList keys = keyColumn(model);
    for (int row = 0; row < model->rowCount(); ++row) {
        const infrared::IrFrame& f = model->frame(row);
        EXPECT_EQ(keys[row], f.keyKnown ? interchange::remoteName(f) + QStringLiteral(": ") +
                                              interchange::keyName(f, {})
                                        : QString())
            << "row " << row;
    }

    // A library that cannot be read: told at start-up, names not saved, the file kept as it is.
    const QByteArray broken = readAll(interchange::RemoteLibrary::defaultPath()) + "end codes\n";
    writeFile(interchange::RemoteLibrary::defaultPath(), broken);
    window.reset();
    answerer_.clear();
    model = open(window);
    ASSERT_NE(model, nullptr);
    for (int i = 0; i < kWaitSteps && answerer_.messageTexts().isEmpty(); ++i) {
        QTest::qWait(kWaitStepMs);
    }
    ASSERT_EQ(answerer_.messageTexts().size(), 1);
    EXPECT_TRUE(answerer_.messageTexts()[0].contains(interchange::RemoteLibrary::defaultPath() +
                                                     QStringLiteral(":")));
    EXPECT_TRUE(model->setData(model->index(0, FrameListModel::Key), QStringLiteral("KEY_X"),
                               Qt::EditRole));
    EXPECT_EQ(answerer_.messageTexts().size(), 2);
    EXPECT_EQ(readAll(interchange::RemoteLibrary::defaultPath()), broken);
    EXPECT_TRUE(keyColumn(model).join(QString()).isEmpty());
}

// Names as LIRC reads them: '#' inside or leading a name is kept and read back; a name LIRC
// cannot report or read is refused in the cell with a message, and the library stays readable.
TEST_F(RemoteKeysWindow, NamesThatCannotBeReadBackAreRefusedAndTheLibraryKept) {
    std::unique_ptr<MainWindow> window;
    FrameListModel* model = open(window);
    ASSERT_NE(model, nullptr);
    const auto name = [&](int row, const QString& text) {
        model->setData(model->index(row, FrameListModel::Key), text, Qt::EditRole);
        return model->data(model->index(row, FrameListModel::Key), Qt::EditRole).toString();
    };
    // A row of a key not named yet.
    const auto unnamed = [&] {
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->frames()[static_cast<std::size_t>(row)].keyKnown &&
                model->data(model->index(row, FrameListModel::Key), Qt::EditRole)
                    .toString()
                    .isEmpty()) {
                return row;
            }
        }
        return -1;
    };
    std::vector<int> rows;
    for (const QString& kept : {QStringLiteral("KEY#1"), QStringLiteral("#SHARP")}) {
        rows.push_back(unnamed());
        ASSERT_GE(rows.back(), 0);
        EXPECT_EQ(name(rows.back(), kept), kept);
    }
    rows.push_back(unnamed());
    ASSERT_GE(rows.back(), 0);
    const QByteArray saved = readAll(interchange::RemoteLibrary::defaultPath());
    EXPECT_TRUE(answerer_.messageTexts().isEmpty());
    for (const QString& refused : {QString(101, QLatin1Char('K')), QStringLiteral("include"),
                                   QStringLiteral("KEY\u0001A")}) {
        answerer_.clear();
        const QString before =
            model->data(model->index(rows[2], FrameListModel::Key), Qt::EditRole).toString();
        EXPECT_EQ(name(rows[2], refused), before);
        ASSERT_EQ(answerer_.messageTexts().size(), 1) << refused.toStdString();
        EXPECT_TRUE(
            answerer_.messageTexts()[0].startsWith(QStringLiteral("LIRC 无法读回这个按键名称")))
            << answerer_.messageTexts()[0].toStdString();
        EXPECT_EQ(readAll(interchange::RemoteLibrary::defaultPath()), saved);
    }
    // The next start reads the library and shows both names.
    window.reset();
    answerer_.clear();
    model = open(window);
    ASSERT_NE(model, nullptr);
    QTest::qWait(kWaitStepMs);
    EXPECT_TRUE(answerer_.messageTexts().isEmpty())
        << answerer_.messageTexts().join('\n').toStdString();
    const QStringList keys = keyColumn(model);
    EXPECT_TRUE(keys[rows[0]].endsWith(QStringLiteral(": KEY#1"))) << keys[rows[0]].toStdString();
    EXPECT_TRUE(keys[rows[1]].endsWith(QStringLiteral(": #SHARP"))) << keys[rows[1]].toStdString();
}

// Files that never end or never open, and files far too large: the window appears with a message
// at once (a FIFO as the library), and an import of them is refused at once, nothing added.
TEST_F(RemoteKeysWindow, FifosDevicesAndHugeFilesAreNotRead) {
    const QString library = interchange::RemoteLibrary::defaultPath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(library).absolutePath()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(library).constData(), 0600), 0);
    std::unique_ptr<MainWindow> window;
    FrameListModel* model = open(window);
    ASSERT_NE(model, nullptr);
    for (int i = 0; i < kWaitSteps && answerer_.messageTexts().isEmpty(); ++i) {
        QTest::qWait(kWaitStepMs);
    }
    ASSERT_EQ(answerer_.messageTexts().size(), 1);
    EXPECT_TRUE(answerer_.messageTexts()[0].contains(QStringLiteral("not a regular file")));
    window.reset();
    ASSERT_TRUE(QFile::remove(library));

    model = open(window);
    ASSERT_NE(model, nullptr);
    QAction* import = window->findChild<QAction*>(QStringLiteral("actionImportRemotes"));
    ASSERT_NE(import, nullptr);
    const QString fifo = dir_.filePath(QStringLiteral("fifo.conf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = dir_.filePath(QStringLiteral("huge.conf"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64{100} * 1024 * 1024)); // sparse: no disk needed
    }
    const QString zero = dir_.filePath(QStringLiteral("zero.conf"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const std::pair<QString, QString> cases[] = {{fifo, QStringLiteral("not a regular file")},
                                                 {zero, QStringLiteral("not a regular file")},
                                                 {huge, QStringLiteral("larger than 4 MiB")}};
    for (const auto& [file, why] : cases) {
        answerer_.clear();
        answerer_.choose(file);
        import->trigger();
        ASSERT_EQ(answerer_.messageTexts().size(), 1) << file.toStdString();
        EXPECT_TRUE(answerer_.messageTexts()[0].contains(file + QStringLiteral(": ") + why))
            << answerer_.messageTexts()[0].toStdString();
        EXPECT_FALSE(QFile::exists(library));
    }
}

} // namespace
