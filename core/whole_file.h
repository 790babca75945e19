#pragma once

// Writing through a safe-save file so that a full disk or a size limit is seen before the old
// file is replaced: the bytes go straight to the temporary file's descriptor (nothing waits in a
// buffer whose last write could fail unseen at commit), every short write is resumed, and the
// data is synced before the rename. Failures carry the system's reason ("No space left on
// device", "File too large").

#include <QByteArray>
#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace velmoran {

// Opens `file` (a QSaveFile on the target path) for unbuffered writing; the reason on failure.
std::optional<QString> openWholeFile(QSaveFile& file);

// Appends all of `bytes` to an open `file`; the system's reason when not all reached it.
std::optional<QString> writeWhole(QSaveFile& file, QByteArrayView bytes);

// Syncs what was written to the disk, then replaces the target; the reason on failure, after
// which the target is as it was.
std::optional<QString> commitWhole(QSaveFile& file);

struct WholeFileFailure {
    QString path;   // the target that could not be written
    QString reason; // the system's reason
};

// Writes each (target, bytes) whole, or none of them: every file goes to a temporary file beside
// its target first, and only when all are written are they renamed over their targets. Each old
// file is kept under a temporary name until the last rename has succeeded, and put back when one
// fails. A target that is a symbolic link is replaced itself, never written through; any other
// target that is no regular file (a folder, a FIFO, a device) is refused before anything is
// written.
std::optional<WholeFileFailure>
replaceFilesWhole(const std::vector<std::pair<QString, QByteArrayView>>& files);

// What reading a file of the user's gave: its bytes, or why there are none (`tooLarge` when it
// holds more than was asked for, `error` the system's reason or "not a regular file").
struct BoundedRead {
    QByteArray bytes;
    bool tooLarge = false;
    std::optional<QString> error;
};

// Reads the regular file `path` whole when it holds at most `most` bytes. Opened without waiting
// and its type checked on the open descriptor, so a FIFO or a device (which could block or never
// end) is refused at once; a file that grows while it is read is still cut at `most` + 1 bytes.
BoundedRead readRegularFile(const QString& path, qint64 most);

} // namespace velmoran
