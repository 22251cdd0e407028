#pragma once

#include <QPointer>
#include <QTableView>

#include "uDbDataSource.h"

// The read-only data grid: shows the rows of its data source, one row per record,
// columns titled by the fields' display names and sized to their first rows. The grid's
// current row and the data set's current row follow each other: a click moves the data
// set, a move of the data set (navigator, locate) moves the grid. Moves of the data set
// are shown once control returns to the event loop, so walking a million rows (export,
// diary) costs the grid nothing per row. A grid that has never been on screen (a page
// behind another) keeps no state per row either: its row header, which holds a few bytes
// for every row, follows the model from the first show on.
class TDbGrid : public QTableView
{
    Q_OBJECT
public:
    explicit TDbGrid(QWidget* parent = nullptr);

    // Not owned; nullptr shows nothing.
    void SetDataSource(TDbDataSource* source);
    TDbDataSource* DataSource() const { return m_source; }

    // Widths for the current columns from the header and the first rows' texts.
    void FitColumns();
    // Widens the columns whose text on the rows now on screen does not fit (never narrows:
    // a column the user made narrower stays so until other rows need more).
    void FitVisibleRows();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int fittingWidth(int column, int firstRow, int lastRow) const;
    void sourceStateChanged();
    void sourceCurrentChanged(qsizetype row);
    void followDataSet();
    void viewCurrentChanged(const QModelIndex& current, const QModelIndex& previous);

    QPointer<TDbDataSource> m_source;
    QList<QMetaObject::Connection> m_watches;
    bool m_followPending = false;
    bool m_following = false;
    bool m_fitPending = false;
    bool m_shown = false; // shown at least once: the row header follows the model
};
