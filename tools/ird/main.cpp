#include <QStringList>
#include <QTextStream>

#include <cstdio>

#include "files/program_start.h"
#include "tools/ird/ird_command.h"

int main(int argc, char** argv) {
    velmoran::ignoreFileSizeSignal();
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const std::optional<QString> text = velmoran::argumentText(argv[i]);
        if (!text) {
            std::fprintf(stderr, "velmoran-ird: %s\n",
                         qPrintable(velmoran::unrepresentableArgumentText(argv[i])));
            return velmoran::interchange::kExitUsage;
        }
        arguments << *text;
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velmoran::interchange::runIrd(arguments, out, err);
}
