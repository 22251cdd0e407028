#pragma once

#include "uDbBackend.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// A scripted engine for tests of other units, for providers that cannot run here (the
// SQL Server dialogs need "SQLOLEDB.1"). While it lives it is registered for its
// provider name; it restores the previous registration when destroyed.
//
//   TDbFakeProvider sql("SQLOLEDB.1");
//   sql.SetResult("exec sp_databases", TDbRowsBuilder::FromStrings({"DATABASE_NAME"}, {{"master"}}));
//   sql.SetConnectError("Login failed for user 'sa'.");   // next opens fail with this text
//
// Opens succeed unless a connect error is set (or AcceptConnect returns false for the
// string). Statements are matched by exact text, after trimming the trailing line feed;
// an unknown statement fails with "Invalid SQL statement: <text>".
class TDbFakeProvider
{
public:
    explicit TDbFakeProvider(const QString& provider, TDbEngine engine = TDbEngine::SQLServer);
    ~TDbFakeProvider();
    TDbFakeProvider(const TDbFakeProvider&) = delete;
    TDbFakeProvider& operator=(const TDbFakeProvider&) = delete;

    // Empty: opens succeed. Otherwise every open fails with this text.
    void SetConnectError(const QString& message) { m_state->connectError = message; }
    // Decides per connection parameters; returns an error text, or empty to succeed.
    // Takes precedence over SetConnectError when set.
    void SetConnectCheck(std::function<QString(const TDbConnectParams&)> check)
    {
        m_state->connectCheck = std::move(check);
    }
    void SetResult(const QString& sql, TDbRowsPtr rows) { m_state->results.insert(sql, rows); }
    void SetError(const QString& sql, const QString& message) { m_state->errors.insert(sql, message); }
    void SetTables(const QStringList& tables) { m_state->tables = tables; }
    void SetFields(const QString& table, const QStringList& fields) { m_state->fields.insert(table, fields); }

    // What was asked of it, oldest first.
    const QList<TDbConnectParams>& Opens() const { return m_state->opens; }
    const QStringList& Statements() const { return m_state->statements; }

    struct State
    {
        TDbEngine engine = TDbEngine::SQLServer;
        QString connectError;
        std::function<QString(const TDbConnectParams&)> connectCheck;
        QHash<QString, TDbRowsPtr> results;
        QHash<QString, QString> errors;
        QStringList tables;
        QHash<QString, QStringList> fields;
        QList<TDbConnectParams> opens;
        QStringList statements;
    };

private:
    QString m_provider;
    std::shared_ptr<State> m_state;
    TDbBackendFactory m_previous;
};
