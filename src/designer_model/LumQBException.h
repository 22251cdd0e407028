#pragma once

#include <QString>

#include <stdexcept>

// The designer's one error type: refused diagram edits and a statement that cannot be
// generated. what() holds the user-facing text in UTF-8.
class ELumQBException : public std::runtime_error
{
public:
    explicit ELumQBException(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
