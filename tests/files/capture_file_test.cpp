// The capture file unit and the dialog's filter text, without the window.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "support/case_name.h"

#include <sys/stat.h>

#include "files/capture_file.h"
#include "files/common_dialog.h"

using namespace velmoran;

namespace {

struct FilterCase {
    const char* name;
    const char* vb;
    QStringList qt;
};

class VbFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(VbFilter, BecomesQtNameFilters) {
    EXPECT_EQ(nameFiltersFromVbFilter(QString::fromUtf8(GetParam().vb)), GetParam().qt);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VbFilter,
    ::testing::Values(
        FilterCase{"capture_files", "Ird文件|*.ird", {QString::fromUtf8("Ird文件 (*.ird)")}},
        FilterCase{"two_types", "Ird|*.ird|All|*.*", {"Ird (*.ird)", "All (*.*)"}},
        FilterCase{"several_patterns", "Data|*.ird;*.bin", {"Data (*.ird *.bin)"}},
        FilterCase{"description_only", "Ird", {}}, FilterCase{"empty", "", {}},
        FilterCase{"empty_pattern", "Any|", {"Any (*)"}}),
    velmoran::test::CaseName());

TEST(CaptureFile, LoadOfAMissingPathCreatesNothing) {
    QTemporaryDir dir;
    ChannelBuffer a{}, b{}, c{};
    const QString missing = dir.filePath("missing.ird");
    EXPECT_FALSE(loadCaptureFile(missing, a, b, c).ok);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST(CaptureFile, LoadReportsTheBytesItTook) {
    QTemporaryDir dir;
    QFile f(dir.filePath("long.ird"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(kCaptureFileBytes + 10, '\x5a'));
    f.close();
    ChannelBuffer a{}, b{}, c{};
    const CaptureFileResult r = loadCaptureFile(f.fileName(), a, b, c);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytesRead, kCaptureFileBytes);
    EXPECT_EQ(c[kCaptureBytes], 0x5a);
}

TEST(CaptureFile, SaveNeverReplacesAFifo) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.ird");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ChannelBuffer a{}, b{}, c{};
    EXPECT_FALSE(saveCaptureFile(pipe, a, b, c).ok);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(pipe).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 1);
}

TEST(CaptureFile, SaveWritesThroughASymlinkAndKeepsIt) {
    QTemporaryDir dir;
    const QString real = dir.filePath("real.ird");
    const QString link = dir.filePath("link.ird");
    QFile(real).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(real, link));
    ChannelBuffer a{}, b{}, c{};
    a.fill(1);
    ASSERT_TRUE(saveCaptureFile(link, a, b, c).ok);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(real).size(), kCaptureFileBytes);
}

// An input whose reads fail once `good` bytes were taken, as a disk gives an input/output error.
class FailingInput : public QIODevice {
public:
    explicit FailingInput(qint64 good) : good_(good) { open(QIODevice::ReadOnly); }

protected:
    qint64 readData(char* data, qint64 size) override {
        if (pos() + size > good_) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        std::fill_n(data, size, '\x5a');
        return size;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 good_;
};

// A load that fails, at the start, after channel 1 or just short of the end, changes no buffer;
// one that reads everything (the same input, ending where the failures came) changes all three.
TEST(CaptureFile, AFailedReadLeavesEveryBufferAsItWas) {
    for (const qint64 good : {qint64{0}, qint64{kChannelBytes + 100}, qint64{kCaptureFileBytes - 1},
                              qint64{kCaptureFileBytes}}) {
        const bool whole = good == kCaptureFileBytes;
        std::unique_ptr<ChannelBuffer[]> buffers(new ChannelBuffer[kChannelCount]{});
        for (int i = 0; i < kChannelCount; ++i) {
            buffers[i].fill(static_cast<uint8_t>(i + 1));
        }
        FailingInput input(good);
        const CaptureFileResult r = readCaptureFile(input, buffers[0], buffers[1], buffers[2]);
        EXPECT_EQ(r.ok, whole) << good;
        EXPECT_EQ(r.error, whole ? QString() : QStringLiteral("Input/output error")) << good;
        for (int i = 0; i < kChannelCount; ++i) {
            const uint8_t want = whole ? 0x5a : static_cast<uint8_t>(i + 1);
            EXPECT_EQ(std::count(buffers[i].begin(), buffers[i].end(), want), kChannelBytes)
                << "channel " << i + 1 << " after " << good << " bytes";
        }
    }
}

} // namespace
