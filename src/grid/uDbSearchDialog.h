#pragma once

#include "uDbRows.h"

#include <QObject>
#include <QPointer>

class QWidget;
class TDbDataSource;

// The first row whose value in `column` begins with `text`: rows that match with the
// case as typed come first; when there is none, the first that matches ignoring case.
// The value is the text the grid shows. -1 for no match or an empty text. Pure.
qsizetype SearchRow(const TDbRows& rows, int column, const QString& text);

// The incremental search dialog: a modal "Search" box over the data source's rows.
// Each character typed in "&Search Characters" moves the data set to the first row
// whose value in the grid's current column begins with what was typed (see SearchRow).
// OK leaves that row current; Cancel puts the data set back on the row it was on.
//
// Execute refuses closed rows: it shows "Search Table is not active." in the
// application's error box and returns false. The data source is not owned.
class TDbSearchDialog : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxGridHeight = 209;

    explicit TDbSearchDialog(QObject* parent = nullptr);

    void SetDataSource(TDbDataSource* source);
    TDbDataSource* DataSource() const { return m_source; }

    // The column searched when the dialog opens (0-based); the grid's current column
    // afterwards. Kept from one use to the next.
    int SearchColumn() const { return m_column; }
    void SetSearchColumn(int column) { m_column = column; }

    // True when closed with OK.
    bool Execute(QWidget* parent);

private:
    QPointer<TDbDataSource> m_source;
    int m_column = 0;
};
