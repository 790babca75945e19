#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace velmoran {

// Maps a port number (1, 2, ...) to a serial device path; an empty text means "no such port".
using PortMap = std::function<QString(int)>;

// The platform's mapping. On Windows port N is COMN. Elsewhere port N is the N-th serial device
// present, USB adapters first: /dev/ttyUSB*, /dev/ttyACM* (macOS: /dev/cu.usbserial*,
// /dev/cu.usbmodem*), then the other serial ports, each group in natural name order.
PortMap platformPortMap();

// The ordering used by platformPortMap() on Linux and macOS, from a list of device paths.
QStringList orderSerialDevices(QStringList devices);

} // namespace velmoran
