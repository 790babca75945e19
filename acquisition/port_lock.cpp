#include "acquisition/port_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmoran {

namespace {

constexpr char kLockPrefix[] = "LCK..";
constexpr char kDevPrefix[] = "/dev/";
// Longer files are no lock file we know.
constexpr qint64 kMaxLockFileBytes = 4096;

// What kind of file `mode` describes, for the message about a lock file that is none.
QString fileKind(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return QString::fromUtf8("命名管道");
    }
    if (S_ISDIR(mode)) {
        return QString::fromUtf8("文件夹");
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return QString::fromUtf8("设备文件");
    }
    if (S_ISSOCK(mode)) {
        return QString::fromUtf8("套接字");
    }
    return QString::fromUtf8("非普通文件");
}

struct LockRead {
    bool present = false;
    QByteArray contents;
    QString unusable;
};

// Reads a lock file without ever waiting: opened non-blocking and without following a link,
// and only read when it is a regular file.
LockRead readLockFile(const QString& path) {
    LockRead r;
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP) {
            r.present = true;
            r.unusable = QString::fromUtf8("符号链接");
        }
        return r; // none there, or one we may not read (as before: not ours to judge)
    }
    r.present = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        r.unusable = fileKind(st.st_mode);
        ::close(fd);
        return r;
    }
    r.contents.resize(kMaxLockFileBytes);
    qsizetype filled = 0;
    while (filled < r.contents.size()) {
        const ssize_t n =
            ::read(fd, r.contents.data() + filled, static_cast<size_t>(r.contents.size() - filled));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        filled += n;
    }
    r.contents.truncate(filled);
    ::close(fd);
    return r;
}

// This process's lock file contents.
QByteArray ownLockContents() {
    return QByteArray::number(static_cast<qint64>(::getpid())).rightJustified(10, ' ') + '\n';
}

// Links the written-aside `temp` into place as `lock`, replacing a lock of a process that is
// gone; the result for the folder, or nothing when this folder takes no lock.
std::optional<PortLockTaking> linkLock(const QByteArray& temp, const QString& lock) {
    const QByteArray native = QFile::encodeName(lock);
    // Twice: once more after a stale lock has been removed.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::link(temp.constData(), native.constData()) == 0) {
            return PortLockTaking{lock, std::nullopt};
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
        const LockRead there = readLockFile(lock);
        if (!there.unusable.isEmpty()) {
            return PortLockTaking{{}, PortLock{lock, 0, there.unusable}};
        }
        const auto pid = lockFilePid(there.contents);
        if (pid && processAlive(*pid)) {
            return PortLockTaking{{}, PortLock{lock, *pid, {}}};
        }
        if (::unlink(native.constData()) != 0 && errno != ENOENT) {
            return std::nullopt; // a stale lock we may not remove: every reader takes it as stale
        }
    }
    return std::nullopt;
}

} // namespace

PortLockTaking takePortLock(const QString& devicePath, const QStringList& folders) {
    // A link such as /dev/serial/by-id/... is locked under the name of the device it leads to.
    const QString name = lockFileNames(devicePath).back();
    const QByteArray contents = ownLockContents();
    for (const QString& folder : folders) {
        QByteArray temp =
            QFile::encodeName(QDir(folder).filePath(QStringLiteral("LCK.tmp.XXXXXX")));
        const int fd = ::mkstemp(temp.data());
        if (fd < 0) {
            continue;
        }
        const bool written =
            ::fchmod(fd, 0644) == 0 &&
            ::write(fd, contents.constData(), static_cast<size_t>(contents.size())) ==
                static_cast<ssize_t>(contents.size());
        ::close(fd);
        std::optional<PortLockTaking> taking;
        if (written) {
            taking = linkLock(temp, QDir(folder).filePath(name));
        }
        ::unlink(temp.constData());
        if (taking) {
            return *taking;
        }
    }
    return {};
}

void releasePortLock(const QString& file) {
    if (file.isEmpty()) {
        return;
    }
    if (readLockFile(file).contents == ownLockContents()) {
        ::unlink(QFile::encodeName(file).constData());
    }
}

std::optional<qint64> lockFilePid(const QByteArray& contents) {
    // Text: the first line holds the number, padded with blanks in the ten-character form.
    const QByteArray firstLine = contents.split('\n').front();
    const bool text = !firstLine.trimmed().isEmpty() &&
                      std::all_of(firstLine.begin(), firstLine.end(), [](char c) {
                          return (c >= '0' && c <= '9') || c == ' ' || c == '\t' || c == '\r';
                      });
    if (text) {
        bool ok = false;
        const qint64 pid = firstLine.trimmed().toLongLong(&ok);
        return ok && pid > 0 ? std::optional<qint64>(pid) : std::nullopt;
    }
    // Binary: exactly one int in the machine's byte order. Its bytes can never all be digits or
    // blanks: that would be a number far above any process id.
    int32_t binary = 0;
    if (contents.size() == static_cast<qsizetype>(sizeof binary)) {
        std::memcpy(&binary, contents.constData(), sizeof binary);
        if (binary > 0) {
            return binary;
        }
    }
    return std::nullopt;
}

bool processAlive(qint64 pid) {
    if (pid <= 0 || pid > INT32_MAX) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QStringList lockFileNames(const QString& devicePath) {
    QStringList names;
    // A link such as /dev/serial/by-id/... is locked under the name of the device it leads to.
    const QString canonical = QFileInfo(devicePath).canonicalFilePath();
    for (QString name : {devicePath, canonical}) {
        if (name.isEmpty()) {
            continue;
        }
        if (name.startsWith(QLatin1String(kDevPrefix))) {
            name.remove(0, static_cast<qsizetype>(std::strlen(kDevPrefix)));
        }
        name = QLatin1String(kLockPrefix) + name.replace(QLatin1Char('/'), QLatin1Char('_'));
        if (!names.contains(name)) {
            names << name;
        }
    }
    return names;
}

std::optional<PortLock> livePortLock(const QString& devicePath, const QStringList& folders) {
    const QStringList names = lockFileNames(devicePath);
    for (const QString& folder : folders) {
        for (const QString& name : names) {
            const QString path = QDir(folder).filePath(name);
            const LockRead lock = readLockFile(path);
            if (!lock.unusable.isEmpty()) {
                return PortLock{path, 0, lock.unusable};
            }
            const auto pid = lockFilePid(lock.contents);
            if (lock.present && pid && processAlive(*pid)) {
                return PortLock{path, *pid, {}};
            }
        }
    }
    return std::nullopt;
}

} // namespace velmoran
