// The window's infrared exports write the frames its frame list holds: after a key is named in
// the frame list (the remote library edited), 文件 ▸ 导出 writes the lircd.conf, Pronto and C files
// that velmoran-ird export writes for the same capture and library, byte for byte, for a
// family's frames, for a protocol of the table and for one of the user's own alike.

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/modal_answerer.h"
#include "support/program_run.h"

#include <memory>

#include "app/form1.h"
#include "app/main_window.h"
#include "files/capture_file.h"
#include "infrared/irp/irp_table.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"
#include "tools/ird/ird_generate.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using navigator::FrameListModel;

namespace {

// A protocol of the user's own, in their protocols file beside the library.
const QString kUserProtocol =
    QStringLiteral("Velmo-Test\t{36k,450}<1,-2|1,-4>(6,-3,D:6,F:6,1,-60m)*[D:0..63,F:0..63]");

// Presses of `protocol` with D=5 and each F, each held for one repeat.
ChannelBuffer presses(const infrared::irp::CompiledProtocol& protocol,
                      std::initializer_list<int64_t> functions) {
    std::vector<double> all;
    for (const int64_t f : functions) {
        const infrared::irp::Rendered r =
            infrared::irp::render(protocol.protocol, {{"D", 5}, {"F", f}});
        EXPECT_TRUE(r.signal) << r.error.toStdString();
        if (!r.signal) {
            return {};
        }
        const std::vector<double> press = interchange::pressDurations(*r.signal, 1);
        all.push_back(-interchange::kGeneratedStartUs);
        all.insert(all.end(), press.begin(), press.end());
    }
    ChannelBuffer b{};
    EXPECT_FALSE(interchange::sampleInto(all, b));
    return b;
}

class ExportWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        savedDataHome_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toUtf8());
        irgen::Options o;
        o.jitter = 0.08;
        o.seed = 12;
        const ChannelBuffer nec = irgen::renderChannel(irgen::generate(irgen::Family::Nec, o));
        const infrared::irp::CompiledProtocol* mitsubishi =
            infrared::irp::builtinTable().find(QStringLiteral("Mitsubishi"));
        ASSERT_NE(mitsubishi, nullptr);
        const infrared::irp::ProtocolTable own = infrared::irp::parseTable(kUserProtocol);
        ASSERT_EQ(own.protocols().size(), 1u);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(infrared::irp::userProtocolsPath()).path()));
        test::writeFile(infrared::irp::userProtocolsPath(), kUserProtocol.toUtf8() + '\n');
        ASSERT_TRUE(saveCaptureFile(path("cap.ird"), nec, presses(*mitsubishi, {9, 10, 9}),
                                    presses(*own.protocols().front(), {3, 4}))
                        .ok);
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", savedDataHome_); }

    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir_;
    QByteArray savedDataHome_;
    test::ModalAnswerer answerer_;
};

TEST_F(ExportWindow, TheMenuWritesWhatVelmoranIrdWritesAfterALibraryEdit) {
    MainWindow window;
    ASSERT_TRUE(window.openFile(path("cap.ird")));
    ASSERT_NE(window.navigatorPanel(), nullptr);
    FrameListModel* list = window.navigatorPanel()->frames();
    ASSERT_GT(list->rowCount(), 0);
    // The first frame's key named in the list: the library now names it.
    ASSERT_TRUE(list->setData(list->index(0, FrameListModel::Key), QStringLiteral("KEY_POWER"),
                              Qt::EditRole));

    struct Export {
        const char* action;
        const char* format;
        int channel;
        const char* file;
        QByteArray mustHold; // what shows the frames were the list's
    };
    const Export exports[] = {
        {"actionExportLircd", "lircd", 1, "w1.conf", "KEY_POWER"},
        {"actionExportPronto", "pronto", 1, "w1.txt", "key=KEY_POWER"},
        {"actionExportC", "c", 1, "w1.c", "KEY_POWER_us["},
        {"actionExportPronto", "pronto", 2, "w2.txt", "# Mitsubishi D=5 F=10"},
        {"actionExportC", "c", 2, "w2.c", "Mitsubishi_0x05_0x0a_us["},
        {"actionExportLircd", "lircd", 2, "w2.conf", "begin remote"},
        // The user's protocol names the frames only where the frames are the list's.
        {"actionExportPronto", "pronto", 3, "w3.txt", "# Velmo-Test D=5 F=4"},
    };
    for (const Export& e : exports) {
        SCOPED_TRACE(e.file);
        window.form()->Combo1->setEditText(QString::number(e.channel));
        answerer_.choose(path(e.file));
        auto* action = window.findChild<QAction*>(QString::fromLatin1(e.action));
        ASSERT_NE(action, nullptr);
        action->trigger();
        const QByteArray fromWindow = test::readAll(path(e.file));
        EXPECT_TRUE(fromWindow.contains(e.mustHold)) << fromWindow.toStdString();

        const QString cli = path(e.file) + QStringLiteral(".cli");
        const test::ProgramRun run =
            test::runProgram(QStringLiteral(VELMORAN_IRD_PROGRAM),
                             {QStringLiteral("export"), path("cap.ird"), QStringLiteral("--format"),
                              QString::fromLatin1(e.format), QStringLiteral("--channels"),
                              QString::number(e.channel), QStringLiteral("-o"), cli},
                             dir_.path());
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(test::readAll(cli), fromWindow);
    }
    EXPECT_TRUE(answerer_.allAnswered());
    EXPECT_TRUE(answerer_.messageTexts().isEmpty())
        << answerer_.messageTexts().join('\n').toStdString();
}

} // namespace
