#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The base of every error the program raises for the user to read. Each layer derives its
// own type (EDbError, EStoreError, ...) with `using EQuilloryError::EQuilloryError`, so a
// form catches this one type at its boundary and shows message(). what() is the same
// text in UTF-8, for logs and for code that only knows std::exception.
class EQuilloryError : public std::exception
{
public:
    explicit EQuilloryError(const QString& message);

    const QString& message() const { return m_message; }
    const char* what() const noexcept override;

private:
    QString m_message;
    QByteArray m_utf8;
};
