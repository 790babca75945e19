#pragma once

#include <QString>
#include <stdexcept>

namespace velmoran {

// A failure of the serial layer, carrying a text meant for the user.
class SerialError : public std::runtime_error {
public:
    explicit SerialError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

} // namespace velmoran
