#pragma once

// The velmoran-ird command line: `info`, `export` and `decode` over one capture file, read by
// the same capture-file code as the main window, and `import` of another tool's capture into one.

#include <QStringList>
#include <QTextStream>

namespace velmoran::interchange {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // the input could not be read or the output not written
inline constexpr int kExitUsage = 2;  // the command line is wrong

// Runs one command (`arguments` without the program's name); reports go to `out`, errors to
// `err`. An output file is written whole or not at all.
int runIrd(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace velmoran::interchange
