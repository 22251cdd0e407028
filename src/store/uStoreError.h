#pragma once

#include <QString>

#include <stdexcept>

// The favourites store's one error type, raised by the store and by the data packet
// reader and writer. what() holds the user-facing text in UTF-8.
class EStoreError : public std::runtime_error
{
public:
    explicit EStoreError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
