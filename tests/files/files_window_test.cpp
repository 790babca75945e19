// Load and save through the main window: the real dialogs answered from the test, real files in
// a temporary folder.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/file_size_limit.h"
#include "support/files.h"

#include <csignal>
#include <functional>
#include <numeric>
#include <sys/resource.h>
#include <sys/stat.h>

#include "app/form1.h"
#include "core/constants.h"
#include "display/picture_box.h"
#include "display/vb_scroll_bar.h"
#include "files/common_dialog.h"
#include "support/modal_answerer.h"

using namespace velmoran;
using velmoran::test::ModalAnswerer;
using velmoran::test::withFileSizeLimit;

namespace {

const QString kOpenError = QString::fromUtf8("打开文件出错");
const QString kSaveError = QString::fromUtf8("保存文件出错");

// A byte pattern that differs between channels and along each buffer, with a marked end byte.
void fillPattern(ChannelBuffer& buffer, int seed) {
    uint32_t x = 2463534242u + static_cast<uint32_t>(seed);
    for (uint8_t& b : buffer) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    buffer[kCaptureBytes] = static_cast<uint8_t>(0xA0 + seed);
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray patternBytes(qsizetype size, int seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + seed) % 251);
    }
    return bytes;
}

QByteArray bufferBytes(const ChannelBuffer& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

QByteArray allBuffers(const Form1& form) {
    return bufferBytes(form.ChannelData1) + bufferBytes(form.ChannelData2) +
           bufferBytes(form.ChannelData3);
}

class FilesWindow : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    void load() { form.Command1->click(); }
    void save() { form.Command3->click(); }

    QTemporaryDir dir;
    Form1 form{[](int) { return QString(); }};
    ModalAnswerer answers;
};

TEST_F(FilesWindow, SaveThenLoadRestoresEveryByteOfAllThreeBuffers) {
    fillPattern(form.ChannelData1, 1);
    fillPattern(form.ChannelData2, 2);
    fillPattern(form.ChannelData3, 3);
    const QByteArray saved = allBuffers(form);
    answers.choose(path("round.ird"));
    save();
    EXPECT_EQ(velmoran::test::readExisting(path("round.ird")), saved);

    form.ChannelData1.fill(0);
    form.ChannelData2.fill(0x55);
    form.ChannelData3.fill(0xFF);
    answers.choose(path("round.ird"));
    load();
    EXPECT_EQ(allBuffers(form), saved);
    EXPECT_EQ(form.ChannelData3[kCaptureBytes], 0xA3);
    EXPECT_TRUE(answers.messages().empty());
}

TEST_F(FilesWindow, SaveRightAfterStartUpWritesZeros) {
    answers.choose(path("empty.ird"));
    save();
    EXPECT_EQ(velmoran::test::readExisting(path("empty.ird")), QByteArray(kCaptureFileBytes, '\0'));
    EXPECT_TRUE(answers.messages().empty());
}

TEST_F(FilesWindow, ChannelTwoLandsInTheMiddleThird) {
    fillPattern(form.ChannelData2, 7); // as a capture into channel 2 would, plus the end byte
    answers.choose(path("ch2.ird"));
    save();
    const QByteArray file = velmoran::test::readExisting(path("ch2.ird"));
    ASSERT_EQ(file.size(), kCaptureFileBytes);
    EXPECT_EQ(file.mid(0, kChannelBytes), QByteArray(kChannelBytes, '\0'));
    EXPECT_EQ(file.mid(63489, kCaptureBytes), bufferBytes(form.ChannelData2).left(kCaptureBytes));
    EXPECT_EQ(static_cast<uint8_t>(file[126977]), 0xA7);
    EXPECT_EQ(file.mid(126978), QByteArray(kChannelBytes, '\0'));
}

TEST_F(FilesWindow, SaveReplacesALongerFileWithExactlyOneCapture) {
    writeAll(path("long.ird"), patternBytes(300000, 1));
    answers.choose(path("long.ird"));
    save();
    EXPECT_EQ(QFileInfo(path("long.ird")).size(), kCaptureFileBytes);
}

TEST_F(FilesWindow, LoadKeepsZoomAndScrollAndRedrawsFromTheScrollBar) {
    fillPattern(form.ChannelData1, 4);
    fillPattern(form.ChannelData2, 5);
    fillPattern(form.ChannelData3, 6);
    answers.choose(path("view.ird"));
    save();
    form.ChannelData1.fill(0);
    form.ChannelData2.fill(0);
    form.ChannelData3.fill(0);

    form.Command5_Click(); // zoom in twice: 40 twips per sample
    form.Command5_Click();
    form.HScroll1->setValue(1000);
    form.Picture1->Cls();
    form.ViewStart = 3; // stale: a load takes the position from the scroll bar
    const int maxBefore = form.HScroll1->Max();
    form.RecvCount = 4096;

    answers.choose(path("view.ird"));
    load();
    EXPECT_EQ(form.BitWidth, 40);
    EXPECT_EQ(form.HScroll1->Value(), 1000);
    EXPECT_EQ(form.HScroll1->Max(), maxBefore);
    EXPECT_EQ(form.ViewStart, 1000);
    EXPECT_EQ(form.RecvCount, 4096);
    const QImage afterLoad = form.Picture1->image().copy();

    form.redrawRows(2000);
    EXPECT_EQ(afterLoad, form.Picture1->image());
    form.redrawRows(6);
    EXPECT_NE(afterLoad, form.Picture1->image());
}

struct ShortLoad {
    const char* name;
    qsizetype fileBytes;
};

class FilesWindowShortLoad : public FilesWindow, public ::testing::WithParamInterface<ShortLoad> {};

TEST_P(FilesWindowShortLoad, TakesWhatTheFileHoldsAndZerosTheRest) {
    const QByteArray content = patternBytes(GetParam().fileBytes, 3);
    writeAll(path("short.ird"), content);
    form.ChannelData1.fill(0xEE);
    form.ChannelData2.fill(0xEE);
    form.ChannelData3.fill(0xEE);
    answers.choose(path("short.ird"));
    load();
    EXPECT_TRUE(answers.messages().empty());
    QByteArray expected = content.left(kCaptureFileBytes);
    expected.append(QByteArray(kCaptureFileBytes - expected.size(), '\0'));
    EXPECT_EQ(allBuffers(form), expected);
    EXPECT_EQ(QFileInfo(path("short.ird")).size(), content.size()); // untouched
}

INSTANTIATE_TEST_SUITE_P(Sizes, FilesWindowShortLoad,
                         ::testing::Values(ShortLoad{"empty", 0}, ShortLoad{"hundred_bytes", 100},
                                           ShortLoad{"one_channel_and_a_bit", 63500},
                                           ShortLoad{"one_byte_short", kCaptureFileBytes - 1},
                                           ShortLoad{"longer", kCaptureFileBytes + 4096}),
                         velmoran::test::CaseName());

struct BadLoad {
    const char* name;
    // Makes the path to choose in `dir`.
    std::function<QString(const QDir&)> make;
    bool dialogWouldEnterIt; // a folder: the dialog itself would only open it
};

class FilesWindowBadLoad : public FilesWindow, public ::testing::WithParamInterface<BadLoad> {};

TEST_P(FilesWindowBadLoad, ShowsTheOpenMessageAndChangesNothing) {
    const QString target = GetParam().make(QDir(dir.path()));
    const QFileInfo before(target);
    fillPattern(form.ChannelData1, 8);
    const QByteArray buffers = allBuffers(form);
    if (GetParam().dialogWouldEnterIt) {
        answers.chooseAsIs(target);
    } else {
        answers.choose(target);
    }
    load(); // a FIFO without a writer must not block here
    EXPECT_EQ(answers.messageTexts(), QStringList{kOpenError});
    EXPECT_EQ(allBuffers(form), buffers);
    EXPECT_EQ(QFileInfo::exists(target), before.exists()); // nothing created
    if (before.exists()) {
        EXPECT_EQ(QFileInfo(target).isFile(), before.isFile());
    }

    // The next load works.
    writeAll(path("good.ird"), patternBytes(kCaptureFileBytes, 9));
    answers.clear();
    answers.choose(path("good.ird"));
    load();
    EXPECT_TRUE(answers.messages().empty());
    EXPECT_EQ(allBuffers(form), patternBytes(kCaptureFileBytes, 9));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FilesWindowBadLoad,
    ::testing::Values(
        BadLoad{"missing_file", [](const QDir& d) { return d.filePath("missing.ird"); }, false},
        BadLoad{"missing_folder", [](const QDir& d) { return d.filePath("nowhere/missing.ird"); },
                false},
        BadLoad{"folder",
                [](const QDir& d) {
                    d.mkdir("folder.ird");
                    return d.filePath("folder.ird");
                },
                true},
        BadLoad{"fifo",
                [](const QDir& d) {
                    const QString p = d.filePath("pipe.ird");
                    EXPECT_EQ(::mkfifo(QFile::encodeName(p).constData(), 0600), 0);
                    return p;
                },
                false}),
    velmoran::test::CaseName());

struct BadSave {
    const char* name;
    const char* target; // relative to the temporary folder
    rlim_t sizeLimit;   // 0: none
};

class FilesWindowBadSave : public FilesWindow, public ::testing::WithParamInterface<BadSave> {};

TEST_P(FilesWindowBadSave, ShowsTheSaveMessageAndKeepsTheOldFile) {
    const QByteArray old = patternBytes(5000, 4);
    writeAll(path("blocker"), old);  // a file standing where a folder should be
    writeAll(path("keep.ird"), old); // an earlier capture file
    fillPattern(form.ChannelData1, 2);
    answers.choose(path(GetParam().target));
    if (GetParam().sizeLimit > 0) {
        withFileSizeLimit(GetParam().sizeLimit, [this] { save(); });
    } else {
        save();
    }
    EXPECT_EQ(answers.messageTexts(), QStringList{kSaveError});
    EXPECT_EQ(velmoran::test::readExisting(path("keep.ird")), old);
    EXPECT_EQ(velmoran::test::readExisting(path("blocker")), old);
    // No half-written leftovers beside the files.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);

    // The next save works.
    answers.clear();
    answers.choose(path("keep.ird"));
    save();
    EXPECT_TRUE(answers.messages().empty());
    EXPECT_EQ(velmoran::test::readExisting(path("keep.ird")), allBuffers(form));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FilesWindowBadSave,
    ::testing::Values(BadSave{"folder_that_does_not_exist", "nowhere/new.ird", 0},
                      BadSave{"parent_is_a_file", "blocker/new.ird", 0},
                      BadSave{"write_fails_part_way_over_an_old_file", "keep.ird", 100000},
                      BadSave{"write_fails_part_way_at_the_first_block", "keep.ird", 1000}),
    velmoran::test::CaseName());

TEST_F(FilesWindow, CancelBeforeAnyChoiceShowsTheOperationsMessage) {
    answers.cancel();
    load();
    answers.cancel();
    save();
    EXPECT_EQ(answers.messageTexts(), (QStringList{kOpenError, kSaveError}));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(FilesWindow, CancelAfterAnEarlierChoiceDoesNothing) {
    fillPattern(form.ChannelData1, 1);
    answers.choose(path("earlier.ird"));
    save();
    const QByteArray onDisk = velmoran::test::readExisting(path("earlier.ird"));

    fillPattern(form.ChannelData1, 5); // the buffers move on
    const QByteArray inMemory = allBuffers(form);
    answers.cancel();
    load(); // no silent reload of earlier.ird
    EXPECT_EQ(allBuffers(form), inMemory);
    answers.cancel();
    save(); // no silent overwrite of earlier.ird
    EXPECT_EQ(velmoran::test::readExisting(path("earlier.ird")), onDisk);
    EXPECT_TRUE(answers.messages().empty());
}

TEST_F(FilesWindow, OneDialogRemembersTheLastFileAcrossBothButtons) {
    answers.choose(path("first.ird"));
    save();
    answers.choose(path("first.ird"));
    load();
    answers.cancel();
    save();
    ASSERT_EQ(answers.dialogs().size(), 3u);
    const auto& d = answers.dialogs();
    EXPECT_EQ(d[0].mode, QFileDialog::AcceptSave);
    EXPECT_EQ(d[1].mode, QFileDialog::AcceptOpen);
    EXPECT_EQ(d[1].startFile, path("first.ird"));
    EXPECT_EQ(d[2].startFile, path("first.ird"));
    for (const auto& seen : d) {
        EXPECT_EQ(seen.nameFilters, QStringList{QString::fromUtf8("Ird文件 (*.ird)")});
        EXPECT_FALSE(seen.native);
    }
    EXPECT_EQ(form.CommonDialog1->FileName(), path("first.ird"));
}

TEST_F(FilesWindow, MessageBoxIsPlainWithTheProgramsTitle) {
    answers.choose(path("missing.ird"));
    load();
    ASSERT_EQ(answers.messages().size(), 1u);
    const auto& m = answers.messages().front();
    EXPECT_EQ(m.text, kOpenError);
    EXPECT_EQ(m.title, QString::fromUtf8("Velmoran(11.0592M版)"));
    EXPECT_EQ(m.icon, QMessageBox::NoIcon);
    EXPECT_EQ(m.buttons.size(), 1);
}

} // namespace
