#include "core/whole_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmoran {

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of `bytes` to `fd`, resuming short writes; the error number when not all went.
int writeAll(int fd, QByteArrayView bytes) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A short write is followed by one that fails, so the reason is the real one.
            return n < 0 ? errno : EIO;
        }
        data += n;
        left -= n;
    }
    return 0;
}

// A free name beside `target` for a file of ours: ".NAME.XXXXXXXX.SUFFIX".
QByteArray besideName(const QString& target, const char* suffix) {
    const QFileInfo info(target);
    return QFile::encodeName(info.path() + QLatin1String("/.") + info.fileName() +
                             QLatin1Char('.') +
                             QString::number(QRandomGenerator::global()->generate(), 16) +
                             QLatin1Char('.') + QLatin1String(suffix));
}

constexpr int kNameAttempts = 100;

// One target of replaceFilesWhole: its temporary file, and where its old file is kept.
struct Replacement {
    QByteArray target;
    QByteArray temporary;      // empty once renamed into place or removed
    QByteArray kept;           // the old file under a temporary name; empty when there was none
    bool keptByRename = false; // the old file was moved away, not linked: the target is empty
    bool placed = false;

    // Writes `bytes` into a new temporary file with the old file's permissions; the error number.
    int stage(QByteArrayView bytes, const struct stat* old) {
        int fd = -1;
        for (int i = 0; i < kNameAttempts && fd < 0; ++i) {
            temporary = besideName(QFile::decodeName(target), "new");
            fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                        0666);
            if (fd < 0 && errno != EEXIST) {
                break;
            }
        }
        if (fd < 0) {
            const int error = errno;
            temporary.clear();
            return error;
        }
        int error = 0;
        if (old != nullptr && S_ISREG(old->st_mode) && ::fchmod(fd, old->st_mode & 07777) != 0) {
            error = errno;
        }
        if (error == 0) {
            error = writeAll(fd, bytes);
        }
        // Some file systems report a full disk only when the data is synced.
        if (error == 0 && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) {
            error = errno;
        }
        if (::close(fd) != 0 && error == 0 && errno != EINTR) {
            error = errno;
        }
        return error;
    }

    // Keeps the old file (if any) under a temporary name, then renames the new one over the
    // target; the error number, after which the target is as it was.
    int place() {
        struct stat st {};
        if (::lstat(target.constData(), &st) == 0) {
            int error = EEXIST;
            for (int i = 0; i < kNameAttempts && error == EEXIST; ++i) {
                kept = besideName(QFile::decodeName(target), "old");
                // A second name for the old file leaves the target in place throughout; where
                // the file system has no hard links, the old file moves aside instead.
                error = ::link(target.constData(), kept.constData()) == 0 ? 0 : errno;
                if (error != 0 && error != EEXIST) {
                    error = ::rename(target.constData(), kept.constData()) == 0 ? 0 : errno;
                    keptByRename = error == 0;
                }
            }
            if (error != 0) {
                kept.clear();
                return error;
            }
        }
        if (::rename(temporary.constData(), target.constData()) != 0) {
            const int error = errno;
            putBack();
            return error;
        }
        temporary.clear();
        placed = true;
        return 0;
    }

    // Undoes place(): the old file back under its name, or no file where there was none.
    void putBack() {
        if (!kept.isEmpty()) {
            if (placed || keptByRename) {
                ::rename(kept.constData(), target.constData());
            } else {
                ::unlink(kept.constData());
            }
        } else if (placed) {
            ::unlink(target.constData());
        }
        kept.clear();
        placed = false;
    }

    // Removes what is left of ours: the temporary file and, once all are placed, the old file.
    void clean() {
        if (!temporary.isEmpty()) {
            ::unlink(temporary.constData());
        }
        if (!kept.isEmpty()) {
            ::unlink(kept.constData());
        }
    }
};

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
    if (const int error = writeAll(fd, bytes)) {
        file.cancelWriting();
        return systemReason(error);
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

std::optional<WholeFileFailure>
replaceFilesWhole(const std::vector<std::pair<QString, QByteArrayView>>& files) {
    std::vector<Replacement> replacements(files.size());
    const auto fail = [&](std::size_t i, int error) {
        for (Replacement& r : replacements) {
            r.clean();
        }
        return WholeFileFailure{files[i].first, systemReason(error)};
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        Replacement& r = replacements[i];
        r.target = QFile::encodeName(files[i].first);
        struct stat old {};
        const bool exists = ::lstat(r.target.constData(), &old) == 0;
        if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) {
            for (Replacement& done : replacements) {
                done.clean();
            }
            return WholeFileFailure{files[i].first, QStringLiteral("not a regular file")};
        }
        if (const int error = r.stage(files[i].second, exists ? &old : nullptr)) {
            return fail(i, error);
        }
    }
    for (std::size_t i = 0; i < replacements.size(); ++i) {
        if (const int error = replacements[i].place()) {
            for (std::size_t k = i; k-- > 0;) {
                replacements[k].putBack();
            }
            return fail(i, error);
        }
    }
    for (Replacement& r : replacements) {
        r.clean();
    }
    return std::nullopt;
}

BoundedRead readRegularFile(const QString& path, qint64 most) {
    BoundedRead read;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        read.error = QString::fromLocal8Bit(std::strerror(errno));
        return read;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        read.error = file.errorString();
        return read;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        read.error = QStringLiteral("not a regular file");
        return read;
    }
    if (st.st_size > most) {
        read.tooLarge = true;
        return read;
    }
    read.bytes = file.read(most + 1);
    if (file.error() != QFileDevice::NoError) {
        read.error = file.errorString();
        read.bytes.clear();
    } else if (read.bytes.size() > most) {
        read.tooLarge = true;
        read.bytes.clear();
    }
    return read;
}

} // namespace velmoran
