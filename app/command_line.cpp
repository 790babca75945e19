#include "app/command_line.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace velmoran {

namespace {

const QString kPortOption = QStringLiteral("--port");
const QString kPortError = QStringLiteral("--port needs N=DEVICE, N a port number from 1 to 32767");

// "N=DEVICE" with N a port number from 1 and a non-empty device.
bool parsePortMapping(const QString& text, CommandLine& line) {
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0 || eq + 1 >= text.size()) {
        return false;
    }
    bool ok = false;
    const int port = text.left(eq).toInt(&ok);
    // CommPort is a 16-bit integer, as the 串口选择 number is: a larger port could never be
    // selected and would end the capture in an overflow.
    if (!ok || port < 1 || port > std::numeric_limits<int16_t>::max()) {
        return false;
    }
    line.ports[port] = text.mid(eq + 1);
    return true;
}

} // namespace

QString usageText() {
    return QStringLiteral(
        "usage: velmoran [--port N=DEVICE]... [FILE.ird]\n"
        "\n"
        "The one-input logic analyser's window.\n"
        "  FILE.ird          load this capture file at start-up\n"
        "  --port N=DEVICE   serial port number N is DEVICE (for example 1=/dev/pts/3);\n"
        "                    may be given for several numbers\n"
        "  -h, --help        print this text and exit\n");
}

bool asksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            return false;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (!optionsEnded && arg == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (!optionsEnded &&
                   (arg == QStringLiteral("--help") || arg == QStringLiteral("-h"))) {
            line.help = true;
        } else if (!optionsEnded && arg == kPortOption) {
            if (i + 1 >= arguments.size() || !parsePortMapping(arguments[i + 1], line)) {
                line.error = kPortError;
                return line;
            }
            ++i;
        } else if (!optionsEnded && arg.startsWith(kPortOption + QLatin1Char('='))) {
            if (!parsePortMapping(arg.mid(kPortOption.size() + 1), line)) {
                line.error = kPortError;
                return line;
            }
        } else if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            line.error = QStringLiteral("unknown option %1").arg(arg);
            return line;
        } else if (line.file.isEmpty()) {
            line.file = arg;
        } else {
            line.error = QStringLiteral("only one file can be opened");
            return line;
        }
    }
    return line;
}

PortMap withPortOverrides(PortMap base, std::map<int, QString> overrides) {
    if (overrides.empty()) {
        return base;
    }
    return [base = std::move(base), overrides = std::move(overrides)](int port) {
        const auto it = overrides.find(port);
        return it != overrides.end() ? it->second : base(port);
    };
}

} // namespace velmoran
