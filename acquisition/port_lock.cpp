#include "acquisition/port_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace velmoran {

namespace {

constexpr char kLockPrefix[] = "LCK..";
constexpr char kDevPrefix[] = "/dev/";
// Longer files are no lock file we know.
constexpr qint64 kMaxLockFileBytes = 4096;

} // namespace

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
            QFile file(QDir(folder).filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            const auto pid = lockFilePid(file.read(kMaxLockFileBytes));
            if (pid && processAlive(*pid)) {
                return PortLock{file.fileName(), *pid};
            }
        }
    }
    return std::nullopt;
}

} // namespace velmoran
