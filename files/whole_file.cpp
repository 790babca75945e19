#include "files/whole_file.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace velmoran {

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

std::optional<QString> openWholeFile(QSaveFile& file) {
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return file.errorString();
    }
    return std::nullopt;
}

std::optional<QString> writeWhole(QSaveFile& file, QByteArrayView bytes) {
    const int fd = file.handle();
    if (fd < 0) {
        return systemReason(EBADF);
    }
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A short write is followed by one that fails, so the reason is the real one.
            const int error = n < 0 ? errno : EIO;
            file.cancelWriting();
            return systemReason(error);
        }
        data += n;
        left -= n;
    }
    return std::nullopt;
}

std::optional<QString> commitWhole(QSaveFile& file) {
    // Some file systems report a full disk only when the data is synced (the commit syncs too,
    // but ignores a failure).
    if (::fdatasync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        file.cancelWriting();
        return systemReason(error);
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}

} // namespace velmoran
