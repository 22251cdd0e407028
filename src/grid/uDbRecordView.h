#pragma once

#include <QPointer>
#include <QTableWidget>

class TDbDataSource;

// The record inspector: the current row shown vertically, one line per field with the
// field's display name as caption and the row's value, read-only. Lines are bound to
// their fields by name. When the list of lines is empty and the rows are open, one
// line per field is built in field order; the owner empties the list (ClearRows) when
// the rows close, so that the next rows get lines for their own fields. A line whose
// field the rows lack shows no value.
//
// The data source is not owned; nullptr shows no values.
class TDbRecordView : public QTableWidget
{
    Q_OBJECT
public:
    static constexpr int CaptionWidth = 102;

    explicit TDbRecordView(QWidget* parent = nullptr);

    void SetDataSource(TDbDataSource* source);
    TDbDataSource* DataSource() const { return m_source; }

    // Empties the list of lines; while the rows are open it is built again for their fields.
    void ClearRows();
    int LineCount() const { return rowCount(); }
    // The field a line is bound to, its caption and the value it shows.
    QString LineField(int line) const;
    QString LineCaption(int line) const;
    QString LineValue(int line) const;

protected:
    // Enter and Return move to the next line (the last line keeps them), and never reach
    // the window's default button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void sourceStateChanged();
    void sourceCurrentChanged();
    void buildLines();
    void showValues();

    QPointer<TDbDataSource> m_source;
    QList<QMetaObject::Connection> m_watches;
    bool m_showPending = false;
};
