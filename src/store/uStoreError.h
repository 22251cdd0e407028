#pragma once

#include "uError.h"

// The favourites store's one error type, raised by the store and by the data packet
// reader and writer.
class EStoreError : public EQuilloryError
{
public:
    using EQuilloryError::EQuilloryError;
};
