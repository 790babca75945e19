#pragma once

// Another program run to its end, as the tests run velmoran-ird and LIRC's tools.

#include <QString>
#include <QStringList>

namespace velmoran::test {

struct ProgramRun {
    int status = -1; // the exit code; -1 when the program did not end normally in time
    QString out;
    QString err;
};

// Runs `program` with `args` in `dir` (which is also its cache folder, where LIRC's tools write
// their log) until it ends or `timeoutMs` passes.
ProgramRun runProgram(const QString& program, const QStringList& args, const QString& dir,
                      int timeoutMs = 60000);

} // namespace velmoran::test
