#include "uDbDataSource.h"

#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uDbRowsModel.h"

TDbDataSource::TDbDataSource(QObject* parent) : QObject(parent), m_model(new TDbRowsModel(this)) {}

TDbDataSource::~TDbDataSource() = default;

void TDbDataSource::SetDataSet(TDbQuery* query)
{
    SetDataSet(query ? &query->Cursor() : nullptr);
}

void TDbDataSource::SetDataSet(TDbRowCursor* cursor)
{
    if (cursor == m_cursor)
        return;
    disconnect(m_stateWatch);
    disconnect(m_currentWatch);
    disconnect(m_destroyedWatch);
    m_cursor = cursor;
    if (cursor) {
        m_stateWatch = connect(cursor, &TDbRowCursor::StateChanged, this, &TDbDataSource::followState);
        m_currentWatch = connect(cursor, &TDbRowCursor::CurrentChanged, this, &TDbDataSource::CurrentChanged);
        m_destroyedWatch = connect(cursor, &QObject::destroyed, this, &TDbDataSource::followState);
    }
    followState();
    emit CurrentChanged(cursor ? cursor->RecNo() : -1);
}

bool TDbDataSource::Active() const
{
    return m_model->Rows() != nullptr;
}

void TDbDataSource::followState()
{
    TDbRowsPtr rows = m_cursor ? m_cursor->Rows() : nullptr;
    if (rows == m_model->Rows())
        return;
    m_model->SetRows(std::move(rows));
    emit StateChanged();
}
