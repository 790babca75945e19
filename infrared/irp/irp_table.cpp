#include "infrared/irp/irp_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
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

struct TableLine {
    QString name;
    QString irp;
    QString source;
    std::once_flag once;
    std::shared_ptr<const CompiledProtocol> compiled; // null when the line cannot be prepared
    std::atomic<bool> done{false};

    // The line's protocol, prepared on the first call from whichever thread makes it.
    const std::shared_ptr<const CompiledProtocol>& prepare() {
        std::call_once(once, [this] {
            Compiled c = compile(name, irp, source);
            if (c.protocol) {
                compiled = std::make_shared<const CompiledProtocol>(std::move(*c.protocol));
            }
            done = true;
        });
        return compiled;
    }
};

ProtocolTable::ProtocolTable() : lock_(std::make_unique<std::mutex>()) {}

ProtocolTable::~ProtocolTable() = default;

ProtocolTable::ProtocolTable(const ProtocolTable& other)
    : errors(other.errors), lines_(other.lines_), lock_(std::make_unique<std::mutex>()) {}

ProtocolTable& ProtocolTable::operator=(const ProtocolTable& other) {
    if (this != &other) {
        errors = other.errors;
        lines_ = other.lines_;
        all_.clear();
        allMade_ = false;
    }
    return *this;
}

ProtocolTable::ProtocolTable(ProtocolTable&& other) noexcept
    : errors(std::move(other.errors)), lines_(std::move(other.lines_)),
      lock_(std::make_unique<std::mutex>()) {}

ProtocolTable& ProtocolTable::operator=(ProtocolTable&& other) noexcept {
    if (this != &other) {
        errors = std::move(other.errors);
        lines_ = std::move(other.lines_);
        all_.clear();
        allMade_ = false;
    }
    return *this;
}

const std::vector<std::shared_ptr<const CompiledProtocol>>& ProtocolTable::protocols() const {
    const std::lock_guard<std::mutex> held(*lock_);
    if (!allMade_) {
        all_.clear();
        all_.reserve(lines_.size());
        for (const auto& line : lines_) {
            if (const auto& p = line->prepare()) {
                all_.push_back(p);
            }
        }
        allMade_ = true;
    }
    return all_;
}

const CompiledProtocol* ProtocolTable::find(const QString& name) const {
    for (const auto& line : lines_) {
        if (line->name.compare(name, Qt::CaseInsensitive) == 0) {
            if (const auto& p = line->prepare()) {
                return p.get();
            }
        }
    }
    return nullptr;
}

bool ProtocolTable::prepared() const {
    return std::all_of(lines_.begin(), lines_.end(),
                       [](const auto& line) { return line->done.load(); });
}

bool ProtocolTable::prepareSome(std::size_t count) const {
    for (const auto& line : lines_) {
        if (count == 0) {
            break;
        }
        if (!line->done) {
            line->prepare();
            --count;
        }
    }
    return prepared();
}

void ProtocolTable::add(std::shared_ptr<const CompiledProtocol> protocol) {
    auto line = std::make_shared<TableLine>();
    line->name = protocol->name;
    line->irp = protocol->irp;
    line->source = protocol->source;
    std::call_once(line->once, [&] {
        line->compiled = std::move(protocol);
        line->done = true;
    });
    lines_.push_back(std::move(line));
    allMade_ = false;
}

void ProtocolTable::addLater(QString name, QString irp, QString source) {
    auto line = std::make_shared<TableLine>();
    line->name = std::move(name);
    line->irp = std::move(irp);
    line->source = std::move(source);
    lines_.push_back(std::move(line));
    allMade_ = false;
}

void ProtocolTable::append(const ProtocolTable& other) {
    lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
    allMade_ = false;
}

namespace {

ProtocolTable readTable(const QString& text, Prepare prepare) {
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
        QString name = columns[0].trimmed();
        QString irp = columns[1].trimmed();
        QString source = columns.size() > 2 ? columns[2].trimmed() : QString();
        if (prepare == Prepare::WhenAsked) {
            table.addLater(std::move(name), std::move(irp), std::move(source));
            continue;
        }
        Compiled compiled = compile(name, irp, source);
        if (!compiled.protocol) {
            table.errors << QStringLiteral("line %1, column %2: %3")
                                .arg(i + 1)
                                .arg(compiled.error.column)
                                .arg(compiled.error.message);
            continue;
        }
        table.add(std::make_shared<const CompiledProtocol>(std::move(*compiled.protocol)));
    }
    return table;
}

} // namespace

ProtocolTable parseTable(const QString& text, Prepare prepare) {
    return readTable(text, prepare);
}

QString builtinTableText() {
    return QString::fromUtf8(kProtocolTableText);
}

const ProtocolTable& builtinTable() {
    static const ProtocolTable table = readTable(builtinTableText(), Prepare::WhenAsked);
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
    table.append(builtinTable());
    if (!QFileInfo::exists(userPath) && !QFileInfo(userPath).isSymLink()) {
        return table;
    }
    QByteArray text;
    if (const auto error = readUserFile(userPath, text)) {
        table.errors << *error;
        return table;
    }
    ProtocolTable user = parseTable(QString::fromUtf8(text));
    table.append(user);
    table.errors = user.errors;
    return table;
}

} // namespace velmoran::infrared::irp
