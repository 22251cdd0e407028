#include "uVersionInfo.h"

#include "uVersionValues.h"

namespace {

QMap<QString, QString> compiledValues()
{
    const QString product = QStringLiteral(QUILLORY_VERSION_PRODUCT_NAME);
    const QString version = QStringLiteral(QUILLORY_VERSION_FILE_VERSION);
    return {
        {QStringLiteral("CompanyName"), QStringLiteral(QUILLORY_VERSION_COMPANY_NAME)},
        {QStringLiteral("FileDescription"), product},
        {QStringLiteral("FileVersion"), version},
        {QStringLiteral("InternalName"), product},
        {QStringLiteral("LegalCopyright"), QStringLiteral(QUILLORY_VERSION_COPYRIGHT)},
        {QStringLiteral("OriginalFilename"), product},
        {QStringLiteral("ProductName"), product},
        {QStringLiteral("ProductVersion"), version},
        {QStringLiteral("Comments"), QStringLiteral(QUILLORY_VERSION_COMMENTS)},
    };
}

QMap<QString, QString>& values()
{
    static QMap<QString, QString> v = compiledValues();
    return v;
}

} // namespace

bool VersionInfoLoaded()
{
    return !values().isEmpty();
}

QString GetVersionString(const QString& Key)
{
    return values().value(Key);
}

void SetVersionInfoForTests(std::optional<QMap<QString, QString>> replacement)
{
    values() = replacement ? *replacement : compiledValues();
}
