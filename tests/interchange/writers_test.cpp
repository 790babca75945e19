// Every writer against a full disk and a file-size limit: the window's capture-file save and
// velmoran-ird's exports, the GTKWave view file included, fail with the system's reason and
// leave the old files as they were, for outputs of a few bytes, under Qt's 16 KiB write buffer
// and large ones.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/file_size_limit.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "files/capture_file.h"
#include "support/ird_capture.h"
#include "tools/ird/ird_command.h"

using namespace velmoran;
using velmoran::test::withFileSizeLimit;
using namespace velmoran::interchange;

namespace {

const QByteArray kOldContents = "an earlier file, to be kept\n";

// A small tmpfs of its own, mounted over a temporary folder for the test (mounting needs root).
class SmallFilesystem {
public:
    SmallFilesystem() {
        if (::geteuid() != 0) {
            skipReason_ = "mounting a tmpfs needs root";
            return;
        }
        if (::mount("tmpfs", native().constData(), "tmpfs", 0, "size=1m,mode=0700") != 0) {
            skipReason_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~SmallFilesystem() {
        if (mounted_) {
            ::umount2(native().constData(), MNT_DETACH);
        }
    }
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    const std::string& skipReason() const { return skipReason_; }
    QString path(const QString& name) const { return dir_.filePath(name); }
    qint64 freeBytes() const {
        struct statvfs fs {};
        return ::statvfs(native().constData(), &fs) == 0
                   ? static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize)
                   : -1;
    }
    // Fills the file system with a file "filler" until only `bytes` (whole pages) are free.
    void leaveFree(qint64 bytes) const {
        QFile filler(path("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray chunk(4096, 'x');
        while (freeBytes() > bytes) {
            if (filler.write(chunk.constData(),
                             std::min<qint64>(chunk.size(), freeBytes() - bytes)) <= 0) {
                break;
            }
        }
        ASSERT_EQ(freeBytes(), bytes);
    }

private:
    QByteArray native() const { return QFile::encodeName(dir_.path()); }
    QTemporaryDir dir_;
    bool mounted_ = false;
    std::string skipReason_;
};

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

struct IrdRun {
    int status = -1;
    QString out;
    QString err;
};

// velmoran-ird in this process, so that a size limit set here applies to its writes.
IrdRun ird(const QStringList& args) {
    IrdRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = runIrd(args, out, err);
    return r;
}

// One export that must fail. Outputs are names in the work folder; each holds kOldContents
// before the run. `freeBytes` < 0 leaves room for the VCD only, so that its view file fails.
// A size limit cannot single out the view file (the larger VCD meets it first), so that case
// is only run on the full disk.
struct FailingExport {
    const char* name;
    QStringList options;
    QStringList outputs;
    qint64 freeBytes; // on the full tmpfs
    rlim_t sizeLimit;
    qint64 smallest; // the output's size when written, to check the size class
    qint64 largest;
    friend void PrintTo(const FailingExport& e, std::ostream* os) { *os << e.name; }
};

constexpr qint64 kQtWriteBuffer = 16 * 1024;

const FailingExport kSizeClasses[] = {
    {"mode2_few_bytes", {"--format", "mode2", "--channels", "3"}, {"old.mode2"}, 0, 8, 1, 64},
    {"csv_under_16k",
     {"--format", "csv", "--channels", "1"},
     {"old.csv"},
     0,
     4096,
     4097,
     kQtWriteBuffer - 1},
    {"sigrok_large", {"--format", "sr"}, {"old.sr"}, 64 * 1024, 65536, 500000, 600000},
};
const FailingExport kViewFile[] = {
    {"gtkw_view_file",
     {"--format", "vcd", "--channels", "1", "--force"},
     {"old.vcd", "old.gtkw"},
     -1,
     0,
     0,
     0},
};

class Writers : public ::testing::TestWithParam<FailingExport> {
protected:
    void SetUp() override {
        channel1_ = test::renderScenario(emulator::defaultScenario(8, 25));
        ASSERT_TRUE(dir_.isValid());
    }
    // Writes the capture and the old outputs into `folder`.
    void prepare(const std::function<QString(const QString&)>& path) {
        ASSERT_TRUE(saveCaptureFile(path("capture.ird"), channel1_, {}, {}).ok);
        for (const QString& name : GetParam().outputs) {
            QFile f(path(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(kOldContents);
        }
    }
    QStringList arguments(const std::function<QString(const QString&)>& path) const {
        return QStringList{"export", path("capture.ird")} + GetParam().options +
               QStringList{"-o", path(GetParam().outputs.front())};
    }
    void expectFailedAndKept(const IrdRun& r, const char* reason,
                             const std::function<QString(const QString&)>& path,
                             const QStringList& before, const QString& folder) {
        EXPECT_EQ(r.status, kExitFailed) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(reason)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("Unknown error")) << r.err.toStdString();
        for (const QString& name : GetParam().outputs) {
            EXPECT_EQ(contents(path(name)), kOldContents) << name.toStdString();
        }
        EXPECT_EQ(entries(folder), before); // no temporary file left behind
    }

    ChannelBuffer channel1_{};
    QTemporaryDir dir_;
};

// Every export on the full disk, the view file's case included.
class WritersOnAFullDisk : public Writers {};

TEST_P(Writers, OutputIsOfItsSizeClass) {
    const auto path = [this](const QString& name) { return dir_.filePath(name); };
    prepare(path);
    QFile::remove(path(GetParam().outputs.front()));
    const IrdRun r = ird(arguments(path));
    ASSERT_EQ(r.status, kExitOk) << r.err.toStdString();
    const qint64 size = QFileInfo(path(GetParam().outputs.front())).size();
    EXPECT_GE(size, GetParam().smallest);
    EXPECT_LE(size, GetParam().largest);
}

TEST_P(WritersOnAFullDisk, FailsWithTheSystemsReasonAndKeepsTheOldFiles) {
    SmallFilesystem fs;
    if (!fs.skipReason().empty()) {
        GTEST_SKIP() << fs.skipReason();
    }
    const auto path = [&fs](const QString& name) { return fs.path(name); };
    prepare(path);
    qint64 freeBytes = GetParam().freeBytes;
    if (freeBytes < 0) {
        // Room for the VCD's temporary file, none for the view file's.
        const IrdRun sizing = ird(QStringList{"export", path("capture.ird"), "--format", "vcd",
                                              "--channels", "1", "-o", dir_.filePath("probe.vcd")});
        ASSERT_EQ(sizing.status, kExitOk) << sizing.err.toStdString();
        const qint64 vcd = QFileInfo(dir_.filePath("probe.vcd")).size();
        freeBytes = (vcd + 4095) / 4096 * 4096;
        ASSERT_LT(freeBytes, fs.freeBytes());
    }
    fs.leaveFree(freeBytes);
    const QStringList before = entries(fs.path({}));
    expectFailedAndKept(ird(arguments(path)), "No space left on device", path, before, fs.path({}));
}

TEST_P(Writers, SizeLimitFailsWithTheSystemsReasonAndKeepsTheOldFiles) {
    const auto path = [this](const QString& name) { return dir_.filePath(name); };
    prepare(path);
    const QStringList before = entries(dir_.path());
    IrdRun r;
    withFileSizeLimit(GetParam().sizeLimit, [&] { r = ird(arguments(path)); });
    expectFailedAndKept(r, "File too large", path, before, dir_.path());
}

INSTANTIATE_TEST_SUITE_P(SizeClasses, Writers, ::testing::ValuesIn(kSizeClasses),
                         velmoran::test::CaseName());
INSTANTIATE_TEST_SUITE_P(SizeClasses, WritersOnAFullDisk, ::testing::ValuesIn(kSizeClasses),
                         velmoran::test::CaseName());
INSTANTIATE_TEST_SUITE_P(ViewFile, WritersOnAFullDisk, ::testing::ValuesIn(kViewFile),
                         velmoran::test::CaseName());

// The window's save: 190,467 bytes, written partly before the disk is full or the limit is hit.
TEST(CaptureFileSave, FullDiskFailsWithTheSystemsReasonAndKeepsTheOldFile) {
    SmallFilesystem fs;
    if (!fs.skipReason().empty()) {
        GTEST_SKIP() << fs.skipReason();
    }
    const QString target = fs.path("keep.ird");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kOldContents);
    }
    fs.leaveFree(64 * 1024);
    const QStringList before = entries(fs.path({}));
    ChannelBuffer a{}, b{}, c{};
    a.fill(0x5a);
    const CaptureFileResult r = saveCaptureFile(target, a, b, c);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "No space left on device");
    EXPECT_EQ(contents(target), kOldContents);
    EXPECT_EQ(entries(fs.path({})), before);
}

TEST(CaptureFileSave, SizeLimitFailsWithTheSystemsReasonAndKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString target = dir.filePath("keep.ird");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kOldContents);
    }
    ChannelBuffer a{}, b{}, c{};
    for (const rlim_t limit : {rlim_t{10}, rlim_t{10000}, rlim_t{kCaptureFileBytes - 1}}) {
        CaptureFileResult r;
        withFileSizeLimit(limit, [&] { r = saveCaptureFile(target, a, b, c); });
        EXPECT_FALSE(r.ok) << limit;
        EXPECT_EQ(r.error, "File too large") << limit;
        EXPECT_EQ(contents(target), kOldContents) << limit;
        EXPECT_EQ(entries(dir.path()), QStringList{"keep.ird"}) << limit;
    }
}

// A rename that fails after an earlier one succeeded: the view file is a mount point (a file
// bound over it), which no rename can replace. The VCD renamed into place before it must give way
// to the user's earlier VCD again.
TEST(ViewFileRename, FailurePutsBackTheOldVcd) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "binding a file over another needs root";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(saveCaptureFile(dir.filePath("capture.ird"),
                                test::renderScenario(emulator::defaultScenario(4, 25)), {}, {})
                    .ok);
    for (const char* name : {"old.vcd", "old.gtkw", "bound"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kOldContents);
    }
    const QByteArray view = QFile::encodeName(dir.filePath("old.gtkw"));
    if (::mount(QFile::encodeName(dir.filePath("bound")).constData(), view.constData(), nullptr,
                MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "cannot bind a file here: " << std::strerror(errno);
    }
    const QStringList before = entries(dir.path());
    const IrdRun r = ird({"export", dir.filePath("capture.ird"), "--format", "vcd", "--force", "-o",
                          dir.filePath("old.vcd")});
    ::umount2(view.constData(), MNT_DETACH);
    EXPECT_EQ(r.status, kExitFailed) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("old.gtkw: Device or resource busy")) << r.err.toStdString();
    EXPECT_EQ(contents(dir.filePath("old.vcd")), kOldContents);
    EXPECT_EQ(entries(dir.path()), before); // no temporary or kept file left behind
}

} // namespace
