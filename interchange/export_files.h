#pragma once

// One export as the files it writes, and the writing of them whole or not at all. Shared by
// velmoran-ird and the window's export menu, so that both write the same bytes the same way.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "core/whole_file.h"
#include "interchange/exporters.h"
#include "interchange/lircd_export.h"

namespace velmoran::interchange {

struct OutputFile {
    QString path;
    QByteArray bytes;
};

// The files that exporting `channels` in `format` to `output` makes: the VCD also gives its
// GTKWave view file beside it; every other format gives the one file.
// Lircd, Pronto and C name the keys as `names` says.
std::vector<OutputFile> exportFiles(ExportFormat format, const std::vector<ExportChannel>& channels,
                                    const QString& output, const KeyNames& names = {});

// Writes each file through a temporary one, all or none (see replaceFilesWhole: an old file is
// only replaced once every file is written, and put back when a later one fails; a link is
// replaced, never written through). Returns the reason ("cannot write PATH: REASON") when a file
// could not be written.
std::optional<QString> writeFilesWhole(const std::vector<OutputFile>& files);

// The same, with the file that failed and the system's reason apart (for a message of one's own).
std::optional<WholeFileFailure> replaceOutputFiles(const std::vector<OutputFile>& files);

} // namespace velmoran::interchange
