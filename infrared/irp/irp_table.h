#pragma once

// The protocol table: every protocol Velmoran knows by its IRP description, read from one data
// file compiled into the program (infrared/irp/protocols.irp), and the user's own protocols from
// a file of the same form in the user's data folder. A line is "NAME<TAB>IRP<TAB>SOURCE"; blank
// lines and lines starting with '#' are skipped.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "infrared/irp/irp_match.h"

namespace velmoran::infrared::irp {

struct ProtocolTable {
    // In the order of the file: the first of two protocols that fit a frame equally well wins.
    std::vector<std::shared_ptr<const CompiledProtocol>> protocols;
    // "line 12, column 5: expected a number" for each line that could not be read.
    QStringList errors;

    const CompiledProtocol* find(const QString& name) const; // case-insensitive
};

// Reads a table's text.
ProtocolTable parseTable(const QString& text);

// The table built into the program, read once.
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
