#include "interchange/export_files.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>

#include "files/whole_file.h"
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
    }
    return files;
}

std::optional<QString> writeFilesWhole(const std::vector<OutputFile>& files) {
    const auto cannotWrite = [](const QString& path, const QString& reason) {
        return QStringLiteral("cannot write %1: %2").arg(path, reason);
    };
    std::vector<std::unique_ptr<QSaveFile>> saves;
    for (const OutputFile& file : files) {
        if (QFileInfo info(file.path); info.exists() && !info.isFile()) {
            return cannotWrite(file.path, QStringLiteral("not a regular file"));
        }
        auto save = std::make_unique<QSaveFile>(file.path);
        std::optional<QString> reason = openWholeFile(*save);
        if (!reason) {
            reason = writeWhole(*save, file.bytes);
        }
        if (reason) {
            return cannotWrite(file.path, *reason);
        }
        saves.push_back(std::move(save));
    }
    for (std::size_t i = 0; i < saves.size(); ++i) {
        if (auto reason = commitWhole(*saves[i])) {
            for (std::size_t k = 0; k < i; ++k) {
                QFile::remove(files[k].path);
            }
            return cannotWrite(files[i].path, *reason);
        }
    }
    return std::nullopt;
}

} // namespace velmoran::interchange
