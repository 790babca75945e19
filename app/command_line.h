#pragma once

// The program's command line: velmoran [--port N=DEVICE]... [FILE.ird]

#include <QString>
#include <QStringList>

#include <map>

#include "acquisition/port_map.h"

namespace velmoran {

struct CommandLine {
    bool help = false;
    QString error;                // set when the line is wrong: print it and the usage, exit 2
    std::map<int, QString> ports; // --port N=DEVICE, the last one for N wins
    QString file;                 // a capture file to load at start-up
};

// The usage text (ends with a newline).
QString usageText();

// Parses the arguments after the program's name (Qt's own options already taken out).
CommandLine parseCommandLine(const QStringList& arguments);

// Whether the raw arguments ask for the usage (checked before any window system is touched).
bool asksForHelp(int argc, char** argv);

// `base`, with the ports of `overrides` mapped to their devices.
PortMap withPortOverrides(PortMap base, std::map<int, QString> overrides);

} // namespace velmoran
