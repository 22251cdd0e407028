#pragma once

#include "uDbRows.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

// A current-row reader over shared rows: the shape of the class library's dataset
// cursor (First, Next, Prior, Last, Eof, Bof, RecNo). The query keeps one; the query
// window's copy is another over the same rows, and the grid, inspector, navigator and
// CSV writer move and follow it.
//
// Active while it holds rows. On empty rows Bof and Eof are both true. Next on the last
// row sets Eof and keeps the last row current (as the class library does), Prior on the
// first row sets Bof. Value accessors read the current row; with no current row (no
// rows) they give null values. A column out of range, or any field access while closed,
// raises EDbError.
class TDbRowCursor : public QObject
{
    Q_OBJECT
public:
    explicit TDbRowCursor(QObject* parent = nullptr);

    // Null closes. Setting rows moves to the first row and emits StateChanged.
    void SetRows(TDbRowsPtr rows);
    const TDbRowsPtr& Rows() const { return m_rows; }
    bool Active() const { return m_rows != nullptr; }

    void First();
    void Next();
    void Prior();
    void Last();
    // Moves by n rows (negative: back), stopping at the ends; returns the rows moved.
    qsizetype MoveBy(qsizetype n);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    qsizetype RecordCount() const;
    // 0-based current row, -1 when there is none.
    qsizetype RecNo() const { return m_row; }
    void SetRecNo(qsizetype row); // clamped to the rows

    int FieldCount() const;
    const TDbField& Field(int column) const;
    int FieldIndex(const QString& name) const;
    bool IsNull(int column) const;
    QString AsString(int column) const;
    qint64 AsInteger(int column) const;
    double AsFloat(int column) const;
    bool AsBoolean(int column) const;
    QDateTime AsDateTime(int column) const;
    QVariant Value(int column) const;

signals:
    // Rows were set or cleared (open/close of the view).
    void StateChanged();
    // The current row changed; emitted on every move, also during a walk.
    void CurrentChanged(qsizetype row);

private:
    void moveTo(qsizetype row, bool bof, bool eof);
    void checkColumn(int column) const;
    // The row set's accessor at the current row; none when there is no current row.
    template <typename T> T read(int column, T (TDbRows::*get)(qsizetype, int) const, T none = T()) const;

    TDbRowsPtr m_rows;
    qsizetype m_row = -1;
    bool m_bof = true;
    bool m_eof = true;
};
