#pragma once

#include "uDbRows.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;
class TDbDataSource;

// How a locate compares a row's value with the value looked for.
enum class TLocateMatch
{
    Exact,
    PartialAtBeginning,
    PartialAnywhere,
};

// The first row at or after `from` whose value in `column` matches `value`, or -1.
// A row's value is the text the grid shows for it (so a date is found as it is
// seen); a null value is the empty text. Pure: no cursor moves.
qsizetype LocateRow(const TDbRows& rows, int column, const QString& value, TLocateMatch match,
                    bool caseSensitive, qsizetype from);

// Whether a field can be looked up by its value (every kind but bytes).
bool LocateFieldAllowed(const TDbField& field);

// The locate dialog: a modal "Locate Field Value" box over a data source, which moves
// the data set to the first, or the next, row whose field value matches. It keeps the
// field, value, match kind and case setting from one Execute to the next.
//
// Execute refuses closed rows: it shows "DataSource does not reference an active
// DataSet" in the application's error box and returns false (a raised error could not
// pass through the event loop to the window's error display). Messages go through the
// dialog seam. The data source is not owned.
class TDbLocateDialog : public QObject
{
    Q_OBJECT
public:
    explicit TDbLocateDialog(QObject* parent = nullptr);

    void SetDataSource(TDbDataSource* source);
    TDbDataSource* DataSource() const { return m_source; }

    // The field's name (not its display name); empty before the first use.
    QString SearchField() const { return m_field; }
    void SetSearchField(const QString& name) { m_field = name; }
    QString SearchValue() const { return m_value; }
    void SetSearchValue(const QString& value) { m_value = value; }
    TLocateMatch Match() const { return m_match; }
    void SetMatch(TLocateMatch match) { m_match = match; }
    bool CaseSensitive() const { return m_caseSensitive; }
    void SetCaseSensitive(bool on) { m_caseSensitive = on; }

    // Shows the dialog modally over parent. True when a row was found while it was up.
    bool Execute(QWidget* parent);

    // The dialog's two searches with the current settings: the first match from the top,
    // or the next after the current row. A found row becomes current; otherwise "No
    // matches found" / "No more matches found" is shown. True when found.
    bool FindFirst();
    bool FindNext();

private:
    bool find(qsizetype from, const QString& notFound);

    QPointer<TDbDataSource> m_source;
    QString m_field;
    QString m_value;
    TLocateMatch m_match = TLocateMatch::PartialAtBeginning;
    bool m_caseSensitive = false;
};
