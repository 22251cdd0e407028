#include "uDbError.h"

EDbError::EDbError(const QString& message) : m_message(message), m_utf8(message.toUtf8()) {}

const char* EDbError::what() const noexcept
{
    return m_utf8.constData();
}
