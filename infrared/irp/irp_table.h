#pragma once

// The protocol table: every protocol Velmoran knows by its IRP description, read from one data
// file compiled into the program (infrared/irp/protocols.irp), and the user's own protocols from
// a file of the same form in the user's data folder. A line is "NAME<TAB>IRP<TAB>SOURCE"; blank
// lines and lines starting with '#' are skipped.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "infrared/irp/irp_match.h"

namespace velmoran::infrared::irp {

// One line of a table, prepared for decoding when first asked for: most captures need one or two
// of the table's protocols, and preparing them all takes far more time and memory than reading
// the lines. Shared by every table made from the one it was read into.
struct TableLine;

class ProtocolTable {
public:
    ProtocolTable();
    ~ProtocolTable();
    ProtocolTable(const ProtocolTable& other);
    ProtocolTable& operator=(const ProtocolTable& other);
    ProtocolTable(ProtocolTable&& other) noexcept;
    ProtocolTable& operator=(ProtocolTable&& other) noexcept;

    // Every protocol, prepared, in the order of the file: the first of two protocols that fit a
    // frame equally well wins. A line that cannot be prepared is left out.
    const std::vector<std::shared_ptr<const CompiledProtocol>>& protocols() const;
    // Prepares only the protocol asked for (case-insensitive).
    const CompiledProtocol* find(const QString& name) const;
    // The lines read, prepared or not.
    std::size_t lineCount() const { return lines_.size(); }
    // Whether every line has been prepared.
    bool prepared() const;
    // Prepares at most `count` more lines, in order; whether every line is prepared now.
    bool prepareSome(std::size_t count) const;

    // A protocol read and prepared already.
    void add(std::shared_ptr<const CompiledProtocol> protocol);
    // A line to prepare when first asked for.
    void addLater(QString name, QString irp, QString source);
    // The lines of `other` after these, sharing what either prepares.
    void append(const ProtocolTable& other);

    // "line 12, column 5: expected a number" for each line that could not be read (of lines
    // prepared as they were read).
    QStringList errors;

private:
    std::vector<std::shared_ptr<TableLine>> lines_;
    // protocols(): filled when first asked for, after every line is prepared.
    mutable std::vector<std::shared_ptr<const CompiledProtocol>> all_;
    mutable bool allMade_ = false;
    std::unique_ptr<std::mutex> lock_; // guards all_: the built-in table is shared
};

// When a table's protocols are prepared for decoding: as their lines are read (their errors
// known at once), or each when first asked for.
enum class Prepare { Now, WhenAsked };

// Reads a table's text.
ProtocolTable parseTable(const QString& text, Prepare prepare = Prepare::Now);

// The table built into the program, read once; each protocol prepared when first asked for.
const ProtocolTable& builtinTable();

// The text of the built-in table's data file.
QString builtinTableText();

// Where the user's own protocols live: protocols.irp in the user's data folder.
QString userProtocolsPath();

// Reads the user's file bounded (a regular file of at most 1 MiB, opened without waiting) into
// `text`; the reason when it cannot be read.
std::optional<QString> readUserProtocolsFile(const QString& path, QByteArray& text);

// The built-in protocols followed by those of the user's file (read now, so an edited file takes
// effect without a restart); its errors are the user file's.
ProtocolTable tableWithUserProtocols(const QString& userPath = userProtocolsPath());

} // namespace velmoran::infrared::irp
