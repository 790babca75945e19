#pragma once

// What every program of the project does first about files: a file-size limit (`ulimit -f`)
// makes a write fail with "File too large", reported like any other failed write, instead of
// killing the program; and file names from the command line are taken as the bytes they are,
// or refused when this program cannot represent them.

#include <QString>

#include <optional>

namespace velmoran {

// Lets a write past the file-size limit fail with EFBIG rather than end the program (SIGXFSZ).
void ignoreFileSizeSignal();

// A command-line argument in the system's encoding of file names; nothing when its bytes would
// not name the same file again (a byte that is not valid there), so that no other file is
// written or read in its place.
std::optional<QString> argumentText(const char* argument);

// The message for an argument argumentText refused, after the program's name and ": ".
QString unrepresentableArgumentText(const char* argument);

} // namespace velmoran
