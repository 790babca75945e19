#include "acquisition/port_map.h"

#include <QCollator>
#include <QSerialPortInfo>

#include <algorithm>

namespace velmoran {

namespace {

int deviceGroup(const QString& path) {
    static const QStringList usbPrefixes{"/dev/ttyUSB",        "/dev/ttyACM",
                                         "/dev/cu.usbserial",  "/dev/cu.usbmodem",
                                         "/dev/tty.usbserial", "/dev/tty.usbmodem"};
    for (int i = 0; i < usbPrefixes.size(); ++i) {
        if (path.startsWith(usbPrefixes[i])) {
            return i;
        }
    }
    return static_cast<int>(usbPrefixes.size());
}

} // namespace

QStringList orderSerialDevices(QStringList devices) {
    QCollator natural;
    natural.setNumericMode(true);
    std::stable_sort(devices.begin(), devices.end(), [&](const QString& a, const QString& b) {
        const int ga = deviceGroup(a);
        const int gb = deviceGroup(b);
        if (ga != gb) {
            return ga < gb;
        }
        return natural.compare(a, b) < 0;
    });
    return devices;
}

PortMap platformPortMap() {
    return [](int port) -> QString {
        if (port < 1) {
            return {};
        }
#ifdef Q_OS_WIN
        return QStringLiteral("COM%1").arg(port);
#else
        QStringList devices;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
            devices << info.systemLocation();
        }
        devices = orderSerialDevices(devices);
        return port <= devices.size() ? devices[port - 1] : QString();
#endif
    };
}

} // namespace velmoran
