#pragma once

// What the protocol table says of a decoded frame: the protocol's name, its parameters by the
// names its description gives them (D, S, F, T ...), and the other protocols the same frame
// fits (less specific ones).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace velmoran::infrared {

namespace irp {
struct CompiledProtocol;
}

struct IrNamedProtocol {
    QString name; // empty when no protocol of the table was asked or fits
    std::vector<std::pair<QString, int64_t>> parameters;
    QStringList alternatives;
    // The protocol of the table that named the frame, the user's own included; empty for a
    // decoder family's frame, which its family's description reads.
    std::shared_ptr<const irp::CompiledProtocol> protocol;
    bool isEmpty() const { return name.isEmpty(); }
};

} // namespace velmoran::infrared
