#pragma once

#include "uError.h"

namespace platform {

// The platform layer's one error type.
class EPlatformError : public EQuilloryError
{
public:
    using EQuilloryError::EQuilloryError;
};

} // namespace platform
