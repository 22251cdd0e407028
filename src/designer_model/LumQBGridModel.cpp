#include "LumQBGridModel.h"

#include "LumQBDocument.h"
#include "LumQBGridRules.h"

namespace {

const TLumQBGridData& emptyGridData()
{
    static const TLumQBGridData empty;
    return empty;
}

} // namespace

TLumQBGridModel::TLumQBGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void TLumQBGridModel::SetDocument(TLumQBDocument* document)
{
    beginResetModel();
    for (const QMetaObject::Connection& c : std::as_const(m_watch))
        disconnect(c);
    m_watch.clear();
    m_document = document;
    if (document) {
        using D = TLumQBDocument;
        m_watch << connect(document, &D::RowsAboutToBeInserted, this,
                           [this](int first, int last) { AboutToChangeRows(true, first, last); })
                << connect(document, &D::RowsInserted, this, &TLumQBGridModel::RowsDone)
                << connect(document, &D::RowsAboutToBeRemoved, this,
                           [this](int first, int last) { AboutToChangeRows(false, first, last); })
                << connect(document, &D::RowsRemoved, this, &TLumQBGridModel::RowsDone)
                << connect(document, &D::RowAboutToBeMoved, this, &TLumQBGridModel::AboutToMove)
                << connect(document, &D::RowMoved, this, &TLumQBGridModel::Moved)
                << connect(document, &D::RowsChanged, this, &TLumQBGridModel::CellsChanged)
                // Grouping rewrites the Group By column and whether it can be edited.
                << connect(document, &D::GroupingChanged, this, [this] { CellsChanged(0, rowCount() - 1); })
                << connect(document, &D::AboutToBeReset, this, &TLumQBGridModel::beginResetModel)
                << connect(document, &D::Reset, this, &TLumQBGridModel::endResetModel)
                << connect(document, &QObject::destroyed, this, [this] {
                       beginResetModel();
                       endResetModel();
                   });
    }
    endResetModel();
}

const TLumQBGridData& TLumQBGridModel::Data() const
{
    return m_document ? m_document->Grid() : emptyGridData();
}

void TLumQBGridModel::AboutToChangeRows(bool insert, int first, int last)
{
    // The blank row: the first row inserted into the empty grid takes its place, and
    // removing every row leaves the first as the blank row.
    m_blankRowTouched = insert ? Data().IsEmpty() : first == 0 && last == Data().RowCount() - 1;
    if (m_blankRowTouched)
        first = 1;
    m_pending = first > last ? TPending::None : insert ? TPending::Insert : TPending::Remove;
    if (m_pending == TPending::Insert)
        beginInsertRows(QModelIndex(), first, last);
    else if (m_pending == TPending::Remove)
        beginRemoveRows(QModelIndex(), first, last);
}

void TLumQBGridModel::RowsDone()
{
    if (m_pending == TPending::Insert)
        endInsertRows();
    else if (m_pending == TPending::Remove)
        endRemoveRows();
    if (m_blankRowTouched)
        CellsChanged(0, 0);
    m_pending = TPending::None;
    m_blankRowTouched = false;
}

void TLumQBGridModel::AboutToMove(int from, int to)
{
    // The model is told the row it goes before; the document the row's new index.
    beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
}

void TLumQBGridModel::Moved()
{
    endMoveRows();
}

void TLumQBGridModel::CellsChanged(int first, int last)
{
    emit dataChanged(index(first, 0), index(last, gcColumnCount - 1));
}

QString TLumQBGridModel::CellText(int column, int row) const
{
    const TLumQBGridData& d = Data();
    if (row < 0 || row >= d.RowCount())
        return QString();
    const TLumQBGridRow& x = d.Row(row);
    switch (column) {
    case gcTable:
        return x.Table;
    case gcColumn:
        return x.Column;
    case gcCaption:
        return x.Caption;
    case gcOutput:
        return x.Output ? QStringLiteral("Show") : QString();
    case gcSortType:
        return x.SortType;
    case gcSortOrder:
        return x.SortOrder > 0 ? QString::number(x.SortOrder) : QStringLiteral("Unsorted");
    case gcGroupBy:
        return x.GroupBy;
    case gcCriteria:
        return x.Criteria;
    default:
        return QString();
    }
}

int TLumQBGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(1, Data().RowCount());
}

int TLumQBGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : gcColumnCount;
}

QVariant TLumQBGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= gcColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        // Output is drawn as its tick, not as a word.
        if (index.column() == gcOutput && role == Qt::DisplayRole)
            return QVariant();
        return CellText(index.column(), index.row());
    }
    return QVariant();
}

QVariant TLumQBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < gcColumnCount)
        return GridColumnTitle(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TLumQBGridModel::flags(const QModelIndex& index) const
{
    // The blank row of an empty grid takes neither the caret nor an editor.
    if (!index.isValid() || index.row() >= Data().RowCount())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (GridCellEditor(Data(), index.row(), index.column()).Style != TLumQBEditStyle::None)
        f |= Qt::ItemIsEditable;
    return f;
}
