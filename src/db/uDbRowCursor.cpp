#include "uDbRowCursor.h"

#include "uDbError.h"

#include <algorithm>

TDbRowCursor::TDbRowCursor(QObject* parent) : QObject(parent) {}

void TDbRowCursor::SetRows(TDbRowsPtr rows)
{
    m_rows = std::move(rows);
    m_row = -1;
    m_bof = m_eof = true;
    if (m_rows && m_rows->RowCount() > 0) {
        m_row = 0;
        m_eof = false;
    }
    emit StateChanged();
    emit CurrentChanged(m_row);
}

void TDbRowCursor::moveTo(qsizetype row, bool bof, bool eof)
{
    bool changed = row != m_row;
    m_row = row;
    m_bof = bof;
    m_eof = eof;
    if (changed)
        emit CurrentChanged(m_row);
}

qsizetype TDbRowCursor::RecordCount() const
{
    return m_rows ? m_rows->RowCount() : 0;
}

void TDbRowCursor::First()
{
    if (RecordCount() == 0)
        return moveTo(-1, true, true);
    moveTo(0, true, false);
}

void TDbRowCursor::Last()
{
    qsizetype n = RecordCount();
    if (n == 0)
        return moveTo(-1, true, true);
    moveTo(n - 1, false, true);
}

void TDbRowCursor::Next()
{
    qsizetype n = RecordCount();
    if (n == 0)
        return;
    if (m_row + 1 >= n)
        return moveTo(m_row, false, true);
    moveTo(m_row + 1, false, false);
}

void TDbRowCursor::Prior()
{
    if (RecordCount() == 0)
        return;
    if (m_row <= 0)
        return moveTo(m_row, true, false);
    moveTo(m_row - 1, false, false);
}

qsizetype TDbRowCursor::MoveBy(qsizetype n)
{
    qsizetype start = m_row;
    if (n > 0)
        for (qsizetype i = 0; i < n && !m_eof; ++i)
            Next();
    else
        for (qsizetype i = 0; i < -n && !m_bof; ++i)
            Prior();
    return m_row - start;
}

void TDbRowCursor::SetRecNo(qsizetype row)
{
    qsizetype n = RecordCount();
    if (n == 0)
        return;
    row = std::clamp<qsizetype>(row, 0, n - 1);
    moveTo(row, false, false);
}

int TDbRowCursor::FieldCount() const
{
    return m_rows ? m_rows->FieldCount() : 0;
}

const TDbField& TDbRowCursor::Field(int column) const
{
    checkColumn(column);
    return m_rows->Field(column);
}

void TDbRowCursor::checkColumn(int column) const
{
    if (!m_rows)
        throw EDbError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (column < 0 || column >= m_rows->FieldCount())
        throw EDbError(QStringLiteral("Field index out of range: %1").arg(column));
}

int TDbRowCursor::FieldIndex(const QString& name) const
{
    return m_rows ? m_rows->FieldIndex(name) : -1;
}

template <typename T> T TDbRowCursor::read(int column, T (TDbRows::*get)(qsizetype, int) const, T none) const
{
    checkColumn(column);
    return m_row < 0 ? none : (m_rows.get()->*get)(m_row, column);
}

bool TDbRowCursor::IsNull(int column) const
{
    return read(column, &TDbRows::IsNull, true);
}

QString TDbRowCursor::AsString(int column) const
{
    return read(column, &TDbRows::AsString);
}

qint64 TDbRowCursor::AsInteger(int column) const
{
    return read(column, &TDbRows::AsInteger);
}

double TDbRowCursor::AsFloat(int column) const
{
    return read(column, &TDbRows::AsFloat);
}

bool TDbRowCursor::AsBoolean(int column) const
{
    return read(column, &TDbRows::AsBoolean);
}

QDateTime TDbRowCursor::AsDateTime(int column) const
{
    return read(column, &TDbRows::AsDateTime);
}

QVariant TDbRowCursor::Value(int column) const
{
    return read(column, &TDbRows::Value);
}
