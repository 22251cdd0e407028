#pragma once

#include "uDbRows.h"

#include <QAbstractTableModel>

// A read-only table model over shared fetched rows. It holds the rows by their shared
// pointer and reads every cell straight from them, so a model over a million rows costs
// one pointer and no copy. Header titles are the fields' display names.
//
// Display text: the rows' own text form (dates and times in the system's short date and
// long time format), nulls empty, line breaks shown as blanks so a cell keeps one line,
// blobs as "(BLOB)". Numbers are right-aligned.
class TDbRowsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The value in its natural type (qlonglong, double, QDate ...), invalid for null.
    static constexpr int ValueRole = Qt::UserRole;
    // The field's TDbFieldType as an int, for horizontal header and cells alike.
    static constexpr int FieldTypeRole = Qt::UserRole + 1;

    explicit TDbRowsModel(QObject* parent = nullptr);

    // Null empties the model. Resets the model (views drop their rows and columns).
    void SetRows(TDbRowsPtr rows);
    const TDbRowsPtr& Rows() const { return m_rows; }

    // The text a cell shows; the same rules as data(DisplayRole).
    static QString DisplayText(const TDbRows& rows, qsizetype row, int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    TDbRowsPtr m_rows;
};
