#pragma once

// What the protocol table says of a decoded frame: the protocol's name, its parameters by the
// names its description gives them (D, S, F, T ...), and the other protocols the same frame
// fits (less specific ones).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

namespace velmoran::infrared {

struct IrNamedProtocol {
    QString name; // empty when no protocol of the table was asked or fits
    std::vector<std::pair<QString, int64_t>> parameters;
    QStringList alternatives;
    bool isEmpty() const { return name.isEmpty(); }
};

} // namespace velmoran::infrared
