#pragma once

#include <QAbstractTableModel>
#include <QPointer>

class TLumQBDocument;
class TLumQBGridData;

// The field grid's rows as a table model over a designer document: one row per field row,
// or one blank row while there is none, and the nine columns with their titles. Read-only:
// the rows change through the document, whose row signals it passes on as the model's own
// (an insert into the empty grid fills the blank row, the last row removed leaves it), so
// the current cell and an open editor stay where they are.
class TLumQBGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TLumQBGridModel(QObject* parent = nullptr);

    // Not owned; the model shows an empty grid once the document is gone.
    void SetDocument(TLumQBDocument* document);
    TLumQBDocument* Document() const { return m_document; }
    const TLumQBGridData& Data() const;

    // The cell's text as the grid holds it: "Show" or empty for Output, "Unsorted" or the
    // order number for Sort Order; empty on the blank row.
    QString CellText(int column, int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void AboutToChangeRows(bool insert, int first, int last);
    void RowsDone();
    void AboutToMove(int from, int to);
    void Moved();
    void CellsChanged(int first, int last);

    QPointer<TLumQBDocument> m_document;
    QList<QMetaObject::Connection> m_watch;
    // What the pending "done" signal closes: a begun insert or removal, and the blank row
    // that an insert fills or a removal leaves.
    enum class TPending
    {
        None,
        Insert,
        Remove
    };
    TPending m_pending = TPending::None;
    bool m_blankRowTouched = false;
};
