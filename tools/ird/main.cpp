#include <QStringList>
#include <QTextStream>

#include <cstdio>

#include "tools/ird/ird_command.h"

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velmoran::interchange::runIrd(arguments, out, err);
}
