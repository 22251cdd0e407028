#include "uDbBackend.h"
#include "uDbError.h"

// The built-in provider table: which backend serves which provider name.
namespace dbproviders {

std::unique_ptr<TDbBackend> openBuiltIn(const TDbConnectParams& params)
{
    const QString provider = params.items.Value(QStringLiteral("Provider"));
    throw EDbError(QStringLiteral("Provider cannot be found: %1").arg(provider));
}

} // namespace dbproviders
