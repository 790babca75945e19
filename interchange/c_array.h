#pragma once

// Marks and spaces as C arrays for a microcontroller that sends them again: each array of
// durations in microseconds (marks at even indices, spaces at odd ones) beside its carrier in
// Hz, as `NAME_us` and `NAME_carrier_hz`.

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

#include "infrared/ir_decoder.h"
#include "interchange/exporters.h"

namespace velmoran::interchange {

struct CArray {
    QString name; // made a C identifier by cIdentifier
    QString note; // a comment above the array (nothing when empty)
    double carrierHz = 0;
    std::vector<double> durations; // µs, marks positive, spaces negative
};

// `name` as a C identifier: every other character an underscore, "ir_" before a leading digit.
QString cIdentifier(const QString& name);

// A C source: `comment` at the top, <stdint.h>, then each array with its carrier. Names that
// come out alike are told apart by a suffix ("_2").
QByteArray writeCArrays(const QByteArray& comment, const std::vector<CArray>& arrays);

// Every distinct frame of channel `channel` (`frames`: its decoded frames in time order) as one
// array: the frame's marks and spaces and the rest before the protocol's next frame, at the
// protocol's customary carrier, named by its key (`keyName`, empty when it has none) or by its
// protocol and fields.
QByteArray exportC(int channel, const std::vector<infrared::IrFrame>& frames,
                   const std::function<QString(const infrared::IrFrame&)>& keyName = {});

} // namespace velmoran::interchange
