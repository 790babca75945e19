#include "support/program_run.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace velmoran::test {

ProgramRun runProgram(const QString& program, const QStringList& args, const QString& dir,
                      int timeoutMs) {
    QProcess p;
    p.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir);
    p.setProcessEnvironment(env);
    p.start(program, args);
    ProgramRun r;
    if (p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit) {
        r.status = p.exitCode();
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace velmoran::test
