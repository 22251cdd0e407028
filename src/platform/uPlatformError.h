#pragma once

#include <QString>

#include <stdexcept>

namespace platform {

// The platform layer's one error type; what() holds the user-facing text in UTF-8.
class EPlatformError : public std::runtime_error
{
public:
    explicit EPlatformError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace platform
