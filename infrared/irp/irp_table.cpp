#include "infrared/irp/irp_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

#include "core/constants.h"
#include "core/whole_file.h"

namespace velmoran::infrared::irp {

namespace {

// The largest protocols file read: far more than any list of protocols needs.
constexpr qint64 kMaxUserProtocolsBytes = 1024 * 1024;

// The text of the user's protocols file, or the reason it is not read (a FIFO must not block
// the window).
std::optional<QString> readUserFile(const QString& path, QByteArray& text) {
    BoundedRead read = readRegularFile(path, kMaxUserProtocolsBytes);
    if (read.tooLarge) {
        return QStringLiteral("larger than %1 KiB").arg(kMaxUserProtocolsBytes / 1024);
    }
    if (read.error) {
        return read.error;
    }
    text = std::move(read.bytes);
    return std::nullopt;
}

} // namespace

// The data file's text, generated from infrared/irp/protocols.irp at build time.
extern const char* const kProtocolTableText;

const CompiledProtocol* ProtocolTable::find(const QString& name) const {
    for (const auto& p : protocols) {
        if (p->name.compare(name, Qt::CaseInsensitive) == 0) {
            return p.get();
        }
    }
    return nullptr;
}

ProtocolTable parseTable(const QString& text) {
    ProtocolTable table;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const QStringList columns = line.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (columns.size() < 2) {
            table.errors << QStringLiteral("line %1: expected NAME, a tab and the IRP").arg(i + 1);
            continue;
        }
        Compiled compiled = compile(columns[0].trimmed(), columns[1].trimmed(),
                                    columns.size() > 2 ? columns[2].trimmed() : QString());
        if (!compiled.protocol) {
            table.errors << QStringLiteral("line %1, column %2: %3")
                                .arg(i + 1)
                                .arg(compiled.error.column)
                                .arg(compiled.error.message);
            continue;
        }
        table.protocols.push_back(
            std::make_shared<const CompiledProtocol>(std::move(*compiled.protocol)));
    }
    return table;
}

QString builtinTableText() {
    return QString::fromUtf8(kProtocolTableText);
}

const ProtocolTable& builtinTable() {
    static const ProtocolTable table = parseTable(builtinTableText());
    return table;
}

QString userProtocolsPath() {
    // Beside the window's remote library, where velmoran-ird finds it too.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("%1/%2/protocols.irp")
                      .arg(QLatin1String(kOrganizationName), QLatin1String(kApplicationName)));
}

std::optional<QString> readUserProtocolsFile(const QString& path, QByteArray& text) {
    return readUserFile(path, text);
}

ProtocolTable tableWithUserProtocols(const QString& userPath) {
    ProtocolTable table;
    table.protocols = builtinTable().protocols;
    if (!QFileInfo::exists(userPath) && !QFileInfo(userPath).isSymLink()) {
        return table;
    }
    QByteArray text;
    if (const auto error = readUserFile(userPath, text)) {
        table.errors << *error;
        return table;
    }
    ProtocolTable user = parseTable(QString::fromUtf8(text));
    table.protocols.insert(table.protocols.end(), user.protocols.begin(), user.protocols.end());
    table.errors = user.errors;
    return table;
}

} // namespace velmoran::infrared::irp
