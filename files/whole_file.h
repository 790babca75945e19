#pragma once

// Writing through a safe-save file so that a full disk or a size limit is seen before the old
// file is replaced: the bytes go straight to the temporary file's descriptor (nothing waits in a
// buffer whose last write could fail unseen at commit), every short write is resumed, and the
// data is synced before the rename. Failures carry the system's reason ("No space left on
// device", "File too large").

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

#include <optional>

namespace velmoran {

// Opens `file` (a QSaveFile on the target path) for unbuffered writing; the reason on failure.
std::optional<QString> openWholeFile(QSaveFile& file);

// Appends all of `bytes` to an open `file`; the system's reason when not all reached it.
std::optional<QString> writeWhole(QSaveFile& file, QByteArrayView bytes);

// Syncs what was written to the disk, then replaces the target; the reason on failure, after
// which the target is as it was.
std::optional<QString> commitWhole(QSaveFile& file);

} // namespace velmoran
