#pragma once

#include "uDbRowCursor.h"

#include <QObject>
#include <QPointer>

class TDbQuery;
class TDbRowsModel;

// The link between a data set and the controls that show it (grid, inspector,
// navigator). The data set is a row cursor: a query's own cursor, or any other cursor
// over shared rows (the query window's copy). The source follows it: when the cursor
// gets rows (the query opens) the model fills, when it loses them (the query closes) the
// model empties, and moves of the current row are passed on.
//
// Ownership: the model belongs to the source; the cursor is not owned and may be
// destroyed first (the source then shows nothing).
class TDbDataSource : public QObject
{
    Q_OBJECT
public:
    explicit TDbDataSource(QObject* parent = nullptr);
    ~TDbDataSource() override;

    // Follows the query's cursor; nullptr unbinds.
    void SetDataSet(TDbQuery* query);
    void SetDataSet(TDbRowCursor* cursor);
    TDbRowCursor* DataSet() const { return m_cursor; }

    // Whether the data set holds rows (the query is open).
    bool Active() const;
    TDbRowsModel* Model() const { return m_model; }

signals:
    // The model was filled or emptied.
    void StateChanged();
    // The data set's current row (0-based, -1 for none) moved; emitted on every move.
    void CurrentChanged(qsizetype row);

private:
    void followState();

    QPointer<TDbRowCursor> m_cursor;
    QMetaObject::Connection m_stateWatch;
    QMetaObject::Connection m_currentWatch;
    QMetaObject::Connection m_destroyedWatch;
    TDbRowsModel* m_model;
};
