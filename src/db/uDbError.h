#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The one error type of the data-access layer. Every failure (a connection that cannot
// be opened, a statement the engine rejects, a lost server, an unknown provider) is
// raised as an EDbError whose message is the engine's own text, unchanged, so that the
// forms can show it after their fixed lead text.
class EDbError : public std::exception
{
public:
    explicit EDbError(const QString& message);

    const QString& Message() const { return m_message; }
    const char* what() const noexcept override;

private:
    QString m_message;
    QByteArray m_utf8;
};
