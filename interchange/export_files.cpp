#include "interchange/export_files.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>

namespace velmoran::interchange {

std::vector<OutputFile> exportFiles(ExportFormat format, const std::vector<ExportChannel>& channels,
                                    const QString& output) {
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
    }
    return files;
}

std::optional<QString> writeFilesWhole(const std::vector<OutputFile>& files) {
    std::vector<std::unique_ptr<QSaveFile>> saves;
    for (const OutputFile& file : files) {
        if (QFileInfo info(file.path); info.exists() && !info.isFile()) {
            return QStringLiteral("cannot write %1: not a regular file").arg(file.path);
        }
        auto save = std::make_unique<QSaveFile>(file.path);
        if (!save->open(QIODevice::WriteOnly) || save->write(file.bytes) != file.bytes.size()) {
            return QStringLiteral("cannot write %1: %2").arg(file.path, save->errorString());
        }
        saves.push_back(std::move(save));
    }
    for (std::size_t i = 0; i < saves.size(); ++i) {
        if (!saves[i]->commit()) {
            for (std::size_t k = 0; k < i; ++k) {
                QFile::remove(files[k].path);
            }
            return QStringLiteral("cannot write %1: %2")
                .arg(files[i].path, saves[i]->errorString());
        }
    }
    return std::nullopt;
}

} // namespace velmoran::interchange
