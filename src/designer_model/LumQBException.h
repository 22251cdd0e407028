#pragma once

#include "uError.h"

// The designer's one error type: refused diagram edits and a statement that cannot be
// generated.
class ELumQBException : public EQuilloryError
{
public:
    using EQuilloryError::EQuilloryError;
};
