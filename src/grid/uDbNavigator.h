#pragma once

#include <QPointer>
#include <QWidget>

class QToolButton;
class TDbDataSource;

// The navigator: six buttons that move the data set's cursor (first, 10 back, prior,
// next, 10 forward, last). A button is enabled when its move would change the row;
// all are disabled while the rows are closed. Holding a button repeats its move.
//
// The data source is not owned; nullptr disables the buttons.
class TDbNavigator : public QWidget
{
    Q_OBJECT
public:
    enum Button
    {
        First,
        PriorPage,
        Prior,
        Next,
        NextPage,
        Last
    };
    static constexpr int PageRows = 10;

    explicit TDbNavigator(QWidget* parent = nullptr);

    void SetDataSource(TDbDataSource* source);
    TDbDataSource* DataSource() const { return m_source; }

    QToolButton* ButtonAt(Button which) const { return m_buttons[which]; }
    // Runs a button's move as a click would.
    void BtnClick(Button which);

private:
    void refresh();

    QPointer<TDbDataSource> m_source;
    QList<QMetaObject::Connection> m_watches;
    QToolButton* m_buttons[6] = {};
};
