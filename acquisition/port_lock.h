#pragma once

// UUCP-style lock files: a program that uses a serial port writes its process id into
// LCK..<device name> in a lock folder, either as text (ten characters and a newline, or Qt's
// "pid\napp\nhost\n") or as a 4-byte binary integer (the old form).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace velmoran {

// The process id a lock file's contents name; nothing when they name none.
std::optional<qint64> lockFilePid(const QByteArray& contents);

// True while process `pid` exists (also one of another user, which we may not signal).
bool processAlive(qint64 pid);

// The lock file names of a device path: "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for
// /dev/pts/3; a link is also looked up under the name of the device it leads to.
QStringList lockFileNames(const QString& devicePath);

struct PortLock {
    QString file; // the lock file's path
    qint64 pid = 0;
    // Set when the lock file is no regular file (a FIFO, a device, a folder, a link): what it
    // is. Such a file is never read (a FIFO would block the reader) and keeps the port locked.
    QString unusable;
};

// The first lock on `devicePath` in `folders` whose process is alive, or the first lock file
// there that is no regular file. Never blocks on a lock file.
std::optional<PortLock> livePortLock(const QString& devicePath, const QStringList& folders);

// What taking a port's lock came to.
struct PortLockTaking {
    QString file;                   // the lock file written (empty when no folder took one)
    std::optional<PortLock> heldBy; // set when a live process's lock was there first
};

// Writes this process's lock file for `devicePath` (text, the process id in ten characters and
// a newline) into the first of `folders` that takes it, replacing a lock file of a process that
// is gone. The file appears whole or not at all: it is written aside and linked into place.
PortLockTaking takePortLock(const QString& devicePath, const QStringList& folders);

// Removes `file` if it is still this process's lock.
void releasePortLock(const QString& file);

} // namespace velmoran
