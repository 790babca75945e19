#include "interchange/export_files.h"

#include "core/whole_file.h"
#include "interchange/c_array.h"
#include "interchange/lircd_export.h"
#include "interchange/pronto.h"

namespace velmoran::interchange {

std::vector<OutputFile> exportFiles(ExportFormat format, const std::vector<ExportChannel>& channels,
                                    const QString& output, const KeyNames& names) {
    std::vector<OutputFile> files;
    switch (format) {
    case ExportFormat::Vcd: {
        const QString savePath = gtkwaveSavePathFor(output);
        files.push_back({output, exportVcd(channels)});
        files.push_back({savePath, gtkwaveSaveFile(output, savePath, channels)});
        break;
    }
    case ExportFormat::Sigrok:
        files.push_back({output, exportSigrokSession(channels)});
        break;
    case ExportFormat::Mode2:
        files.push_back({output, exportMode2(channels.front())});
        break;
    case ExportFormat::Csv:
        files.push_back({output, exportCsv(channels)});
        break;
    case ExportFormat::Lircd:
        files.push_back({output, exportLircd(channels.front(), names)});
        break;
    case ExportFormat::Pronto:
        files.push_back({output, exportPronto(channels.front(), names.library)});
        break;
    case ExportFormat::C:
        files.push_back({output, exportC(channels.front().number, exportedFrames(channels.front()),
                                         names.library)});
        break;
    }
    return files;
}

std::optional<WholeFileFailure> replaceOutputFiles(const std::vector<OutputFile>& files) {
    std::vector<std::pair<QString, QByteArrayView>> writes;
    for (const OutputFile& file : files) {
        writes.emplace_back(file.path, file.bytes);
    }
    return replaceFilesWhole(writes);
}

std::optional<QString> writeFilesWhole(const std::vector<OutputFile>& files) {
    if (const auto failure = replaceOutputFiles(files)) {
        return QStringLiteral("cannot write %1: %2").arg(failure->path, failure->reason);
    }
    return std::nullopt;
}

} // namespace velmoran::interchange
