#pragma once

#include "uError.h"

// The one error type of the data-access layer. Every failure (a connection that cannot
// be opened, a statement the engine rejects, a lost server, an unknown provider) is
// raised as an EDbError whose message is the engine's own text, unchanged, so that the
// forms can show it after their fixed lead text.
class EDbError : public EQuilloryError
{
public:
    using EQuilloryError::EQuilloryError;
};
