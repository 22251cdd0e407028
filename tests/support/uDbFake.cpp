#include "uDbFake.h"

#include "uDbError.h"

namespace {

class FakeBackend : public TDbBackend
{
public:
    explicit FakeBackend(std::shared_ptr<TDbFakeProvider::State> state) : m_state(std::move(state)) {}

    TDbEngine Engine() const override { return m_state->engine; }
    QStringList TableNames() override { return m_state->tables; }
    QStringList FieldNames(const QString& table) override
    {
        for (auto it = m_state->fields.constBegin(); it != m_state->fields.constEnd(); ++it)
            if (it.key().compare(table, Qt::CaseInsensitive) == 0)
                return it.value();
        throw EDbError(QStringLiteral("Invalid object name '%1'.").arg(table));
    }
    TDbRowsPtr Execute(const QString& sql) override
    {
        QString key = sql;
        while (key.endsWith(QLatin1Char('\n')))
            key.chop(1);
        m_state->statements.append(key);
        auto err = m_state->errors.constFind(key);
        if (err != m_state->errors.constEnd())
            throw EDbError(*err);
        auto it = m_state->results.constFind(key);
        if (it == m_state->results.constEnd())
            throw EDbError(QStringLiteral("Invalid SQL statement: %1").arg(key));
        return *it;
    }
    QString QuoteName(const QString& name) const override
    {
        if (m_state->engine == TDbEngine::PostgreSQL) {
            QString n = name;
            n.replace(QLatin1String("\""), QLatin1String("\"\""));
            return QLatin1Char('"') + n + QLatin1Char('"');
        }
        return TDbBackend::BracketName(name);
    }

private:
    std::shared_ptr<TDbFakeProvider::State> m_state;
};

} // namespace

TDbFakeProvider::TDbFakeProvider(const QString& provider, TDbEngine engine)
    : m_provider(provider), m_state(std::make_shared<State>())
{
    m_state->engine = engine;
    std::shared_ptr<State> state = m_state;
    m_previous = dbproviders::registerProvider(provider, [state](const TDbConnectParams& params) {
        state->opens.append(params);
        QString error = state->connectCheck ? state->connectCheck(params) : state->connectError;
        if (!error.isEmpty())
            throw EDbError(error);
        return std::unique_ptr<TDbBackend>(new FakeBackend(state));
    });
}

TDbFakeProvider::~TDbFakeProvider()
{
    dbproviders::registerProvider(m_provider, m_previous);
}
