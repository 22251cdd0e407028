#pragma once

// The raw size of fetched rows, the reference the memory figures are given against.

#include "uDbRows.h"

namespace bench {

// 8 bytes per number or date-time, the bytes of a text, 0 for a null.
inline qint64 rawBytes(const TDbRows& rows)
{
    qint64 total = 0;
    for (qsizetype r = 0; r < rows.RowCount(); ++r)
        for (int c = 0; c < rows.FieldCount(); ++c) {
            if (rows.IsNull(r, c))
                continue;
            switch (rows.Field(c).type) {
            case TDbFieldType::Integer:
            case TDbFieldType::Float:
            case TDbFieldType::DateTime:
                total += 8;
                break;
            default:
                total += rows.AsBytes(r, c).size();
            }
        }
    return total;
}

} // namespace bench
