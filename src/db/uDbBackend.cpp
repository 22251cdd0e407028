#include "uDbBackend.h"

#include "uDbError.h"
#include "uSqlNames.h"

#include <QHash>

TDbBackend::~TDbBackend() = default;

QString TDbBackend::QuoteName(const QString& name) const
{
    if (IsPlainSqlName(name) && !IsSqlReservedWord(name))
        return name;
    return BracketName(name);
}

QString TDbBackend::BracketName(const QString& name)
{
    return BracketSqlName(name);
}

namespace {

QHash<QString, TDbBackendFactory>& registry()
{
    static QHash<QString, TDbBackendFactory> r;
    return r;
}

} // namespace

namespace dbproviders {

TDbBackendFactory registerProvider(const QString& provider, TDbBackendFactory factory)
{
    const QString key = TDbConnectionString::ProviderKey(provider);
    TDbBackendFactory previous = registry().value(key);
    if (factory)
        registry().insert(key, std::move(factory));
    else
        registry().remove(key);
    return previous;
}

std::unique_ptr<TDbBackend> open(const TDbConnectParams& params)
{
    if (!params.failure.isEmpty())
        throw EDbError(params.failure);
    if (!params.providerKey.isEmpty()) {
        auto it = registry().constFind(params.providerKey);
        if (it != registry().constEnd())
            return (*it)(params);
    }
    return openBuiltIn(params);
}

} // namespace dbproviders
