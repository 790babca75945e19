#include "files/capture_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/whole_file.h"

namespace velmoran {

namespace {

CaptureFileResult failure(const QString& message) {
    return {false, message, 0};
}

} // namespace

CaptureFileResult loadCaptureFile(const QString& path, ChannelBuffer& ch1, ChannelBuffer& ch2,
                                  ChannelBuffer& ch3) {
    if (path.isEmpty()) {
        return failure(QStringLiteral("no file name"));
    }
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type is checked on the open
    // descriptor, so nothing can swap the file in between.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return failure(QString::fromLocal8Bit(std::strerror(errno)));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failure(QStringLiteral("not a regular file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failure(file.errorString());
    }
    return readCaptureFile(file, ch1, ch2, ch3);
}

CaptureFileResult readCaptureFile(QIODevice& input, ChannelBuffer& ch1, ChannelBuffer& ch2,
                                  ChannelBuffer& ch3) {
    // The file as a whole first: a read that fails half-way must not leave channel 1 new and
    // channels 2 and 3 old.
    QByteArray whole(kCaptureFileBytes, '\0');
    qint64 filled = 0;
    while (filled < whole.size()) {
        const qint64 n = input.read(whole.data() + filled, whole.size() - filled);
        if (n < 0) {
            return {false, input.errorString(), filled};
        }
        if (n == 0) {
            break; // end of a short file: the rest reads as zero
        }
        filled += n;
    }
    const char* from = whole.constData();
    for (ChannelBuffer* buffer : {&ch1, &ch2, &ch3}) {
        std::copy_n(from, buffer->size(), reinterpret_cast<char*>(buffer->data()));
        from += buffer->size();
    }
    return {true, {}, filled};
}

CaptureFileResult saveCaptureFile(const QString& path, const ChannelBuffer& ch1,
                                  const ChannelBuffer& ch2, const ChannelBuffer& ch3) {
    if (path.isEmpty()) {
        return failure(QStringLiteral("no file name"));
    }
    // The temporary file would be renamed over whatever sits at the path: never replace a
    // directory, a FIFO or a device node (as root, /dev/null itself) with a capture file.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        return failure(QStringLiteral("not a regular file"));
    }
    QSaveFile file(path);
    if (auto reason = openWholeFile(file)) {
        return failure(*reason);
    }
    for (const ChannelBuffer* buffer : {&ch1, &ch2, &ch3}) {
        const QByteArrayView bytes(reinterpret_cast<const char*>(buffer->data()),
                                   static_cast<qsizetype>(buffer->size()));
        if (auto reason = writeWhole(file, bytes)) {
            return failure(*reason);
        }
    }
    if (auto reason = commitWhole(file)) {
        return failure(*reason);
    }
    return {true, {}, 0};
}

} // namespace velmoran
