#include "uError.h"

EQuilloryError::EQuilloryError(const QString& message) : m_message(message), m_utf8(message.toUtf8()) {}

const char* EQuilloryError::what() const noexcept
{
    return m_utf8.constData();
}
