#pragma once

#include "uDbFetch.h"
#include "uDbRowCursor.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class TDbConnection;

// A query: SQL text on a connection; Open runs it and fetches every row into shared
// in-memory rows; the query's own cursor walks them.
//
// The SQL is a list of lines, sent as one text (lines joined by line feeds). Open raises
// EDbError with the engine's text (no connection, not connected, statement rejected,
// server lost); the query stays closed then. The connection is not owned: when it
// disconnects the query closes; when it is destroyed the query forgets it (keeping its
// rows until closed). Rows() stays valid for whoever took it, even after Close.
class TDbQuery : public QObject
{
    Q_OBJECT
public:
    explicit TDbQuery(QObject* parent = nullptr);
    ~TDbQuery() override;

    TDbConnection* Connection() const { return m_connection; }
    void SetConnection(TDbConnection* connection); // closes the query

    const QStringList& SQL() const { return m_sql; }
    void SetSQL(const QStringList& lines);
    // The lines, each ended by a line feed (the way a list of lines gives its text).
    QString SQLText() const;
    // Splits text at CR LF, LF or CR into the lines.
    void SetSQLText(const QString& text);

    // Closes first, then runs the SQL; emits AfterOpen on success. A cancelled fetch
    // raises EDbFetchCancelled ("Fetch cancelled"), whatever the engine said.
    void Open();
    // What runs Open's fetch (see TDbFetchRunner); without one it runs on the caller's
    // thread.
    void SetFetchRunner(TDbFetchRunner runner) { m_runner = std::move(runner); }
    // True while Open's fetch runs (seen from the events handled meanwhile).
    bool Fetching() const { return m_fetch != nullptr; }
    // Stops a running fetch (Open then raises EDbFetchCancelled); nothing otherwise.
    void CancelFetch();
    // Drops the rows from the query (holders of Rows() keep theirs); emits AfterClose
    // when it was open.
    void Close();
    bool Active() const;
    // Browse state: open and not being edited. The layer never edits, so Active().
    bool Browsing() const { return Active(); }

    // Cursor over the rows: First, Next, Eof, RecordCount, field values ...
    TDbRowCursor& Cursor() { return m_cursor; }
    const TDbRowCursor& Cursor() const { return m_cursor; }
    // The fetched rows, shared; null while closed.
    TDbRowsPtr Rows() const { return m_cursor.Rows(); }

    // Shorthands for the cursor, as callers of the query use it.
    void First() { m_cursor.First(); }
    void Next() { m_cursor.Next(); }
    bool Eof() const { return m_cursor.Eof(); }
    qsizetype RecordCount() const { return m_cursor.RecordCount(); }
    int FieldCount() const;
    QString FieldName(int column) const;
    QString DisplayName(int column) const;
    TDbFieldType FieldType(int column) const;
    int FieldIndex(const QString& name) const;
    bool IsNull(int column) const { return m_cursor.IsNull(column); }
    QString AsString(int column) const { return m_cursor.AsString(column); }
    qint64 AsInteger(int column) const { return m_cursor.AsInteger(column); }
    // The fetched rows' warning (values the engine could not read); empty when closed.
    QString Warning() const { return Rows() ? Rows()->Warning() : QString(); }

signals:
    void AfterOpen();
    void AfterClose();

private:
    QPointer<TDbConnection> m_connection;
    QMetaObject::Connection m_disconnectWatch;
    QStringList m_sql;
    TDbRowCursor m_cursor;
    TDbFetchRunner m_runner;
    TDbFetchControl* m_fetch = nullptr;
};
