#include "uDbTypes.h"

QString FieldTypeName(TDbFieldType type)
{
    switch (type) {
    case TDbFieldType::Unknown:
        return QStringLiteral("Unknown");
    case TDbFieldType::String:
        return QStringLiteral("String");
    case TDbFieldType::FixedString:
        return QStringLiteral("FixedString");
    case TDbFieldType::WideString:
        return QStringLiteral("WideString");
    case TDbFieldType::Memo:
        return QStringLiteral("Memo");
    case TDbFieldType::Integer:
        return QStringLiteral("Integer");
    case TDbFieldType::Float:
        return QStringLiteral("Float");
    case TDbFieldType::Single:
        return QStringLiteral("Single");
    case TDbFieldType::Currency:
        return QStringLiteral("Currency");
    case TDbFieldType::BCD:
        return QStringLiteral("BCD");
    case TDbFieldType::Boolean:
        return QStringLiteral("Boolean");
    case TDbFieldType::Date:
        return QStringLiteral("Date");
    case TDbFieldType::Time:
        return QStringLiteral("Time");
    case TDbFieldType::DateTime:
        return QStringLiteral("DateTime");
    case TDbFieldType::Blob:
        return QStringLiteral("Blob");
    }
    return QStringLiteral("Unknown");
}
