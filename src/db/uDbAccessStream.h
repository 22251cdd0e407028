#pragma once

#include "uAccessReaderProtocol.h"
#include "uDbError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The Access backend's side of the reader's answer (uAccessReaderProtocol.h): cutting it
// into frames and filling the SQLite copy from them. The answer comes from a process that
// read an untrusted file, so every length in it is checked before use.

// An answer that does not follow the format.
class EAccessAnswerMalformed : public EDbError
{
public:
    using EDbError::EDbError;
};

// Cuts the output into frames as it arrives, in pieces of any size.
class TAccessFrameSplitter
{
public:
    using OnFrame = std::function<void(char kind, const char* payload, quint32 size)>;
    explicit TAccessFrameSplitter(OnFrame onFrame) : m_onFrame(std::move(onFrame)) {}
    // EAccessAnswerMalformed for a frame over the size limit; what onFrame raises passes.
    void Feed(const char* data, qsizetype size);
    // True when no frame was left half-sent.
    bool Idle() const { return m_buf.isEmpty(); }

private:
    OnFrame m_onFrame;
    QByteArray m_buf;
};

struct TAccessColumn
{
    QString name;
    accessreader::TAccessColumnKind kind = accessreader::KindOther;
    quint32 size = 0;
    int precision = 0;
    int scale = 0;
};

struct TAccessTableHead
{
    bool windows1252 = false; // texts as Jet 3 stores them; else UTF-16
    QList<TAccessColumn> columns;
};

QString ParseAccessTableName(const char* payload, quint32 size);
TAccessTableHead ParseAccessHead(const char* payload, quint32 size);

// Fills one table of the SQLite copy from the frames of a "table" answer, in one
// transaction: unless Commit is reached, the table is dropped again, so nothing of a
// half-read table is ever shown.
class TAccessTableFill
{
public:
    TAccessTableFill(sqlite3* db, const QString& table) : m_db(db), m_table(table) {}
    ~TAccessTableFill();
    TAccessTableFill(const TAccessTableFill&) = delete;
    TAccessTableFill& operator=(const TAccessTableFill&) = delete;

    void Frame(char kind, const char* payload, quint32 size);
    // Per column name, how many values could not be read (they are null).
    // EAccessAnswerMalformed when the answer had no end.
    std::map<QString, int> Commit();
    const TAccessTableHead& Head() const { return m_head; }

private:
    void begin(const TAccessTableHead& head);
    void row(const char* payload, quint32 size);
    void exec(const char* sql);

    sqlite3* m_db;
    QString m_table;
    TAccessTableHead m_head;
    sqlite3_stmt* m_insert = nullptr;
    bool m_begun = false;
    bool m_ended = false;
    bool m_committed = false;
    std::vector<int> m_failures;
};
