#include <QTimer>

#include <cstdio>

#include "app/application.h"
#include "app/command_line.h"
#include "app/form1.h"
#include "app/main_window.h"
#include "files/program_start.h"

int main(int argc, char* argv[]) {
    velmoran::ignoreFileSizeSignal();
    // The usage needs no window system: answered before Qt looks for a display.
    if (velmoran::asksForHelp(argc, argv)) {
        std::fputs(qPrintable(velmoran::usageText()), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv; the rest are decoded here as file names.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const std::optional<QString> text = velmoran::argumentText(argv[i]);
        if (!text) {
            std::fprintf(stderr, "velmoran: %s\n",
                         qPrintable(velmoran::unrepresentableArgumentText(argv[i])));
            return 2;
        }
        arguments << *text;
    }
    const velmoran::CommandLine line = velmoran::parseCommandLine(arguments);
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "velmoran: %s\n%s", qPrintable(line.error),
                     qPrintable(velmoran::usageText()));
        return 2;
    }
    velmoran::setUpApplication(app);
    velmoran::MainWindow window(
        velmoran::withPortOverrides(velmoran::platformPortMap(), line.ports));
    velmoran::installStartupProbe(window);
    window.show();
    if (!line.file.isEmpty()) {
        QTimer::singleShot(0, &window, [&window, &line] { window.openFile(line.file); });
    }
    return app.exec();
}
