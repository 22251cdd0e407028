#include "uDbRowsModel.h"

#include <limits>

namespace {

bool isNumeric(TDbFieldType type)
{
    switch (type) {
    case TDbFieldType::Integer:
    case TDbFieldType::Float:
    case TDbFieldType::Single:
    case TDbFieldType::Currency:
    case TDbFieldType::BCD:
        return true;
    default:
        return false;
    }
}

bool isText(TDbFieldType type)
{
    switch (type) {
    case TDbFieldType::String:
    case TDbFieldType::FixedString:
    case TDbFieldType::WideString:
    case TDbFieldType::Memo:
    case TDbFieldType::Unknown:
        return true;
    default:
        return false;
    }
}

} // namespace

TDbRowsModel::TDbRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

void TDbRowsModel::SetRows(TDbRowsPtr rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

QString TDbRowsModel::DisplayText(const TDbRows& rows, qsizetype row, int column)
{
    if (rows.IsNull(row, column))
        return {};
    const TDbFieldType type = rows.Field(column).type;
    if (type == TDbFieldType::Blob)
        return QStringLiteral("(BLOB)");
    QString text = rows.AsString(row, column);
    if (isText(type)) {
        // A cell is one line high: a multi-line text would show its middle, cut.
        for (QChar& c : text)
            if (c == u'\n' || c == u'\r')
                c = u' ';
    }
    return text;
}

int TDbRowsModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_rows)
        return 0;
    return int(std::min<qsizetype>(m_rows->RowCount(), std::numeric_limits<int>::max()));
}

int TDbRowsModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_rows)
        return 0;
    return m_rows->FieldCount();
}

QVariant TDbRowsModel::data(const QModelIndex& index, int role) const
{
    if (!m_rows || !index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(*m_rows, row, column);
    case Qt::ToolTipRole:
        // The whole text, line breaks included, for cells too narrow or too flat.
        if (m_rows->IsNull(row, column) || !isText(m_rows->Field(column).type))
            return {};
        return m_rows->AsString(row, column);
    case Qt::TextAlignmentRole:
        if (isNumeric(m_rows->Field(column).type))
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case ValueRole:
        return m_rows->Value(row, column);
    case FieldTypeRole:
        return int(m_rows->Field(column).type);
    default:
        return {};
    }
}

QVariant TDbRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!m_rows)
        return {};
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole && section >= 0 && section < rowCount())
            return section + 1;
        return {};
    }
    if (section < 0 || section >= m_rows->FieldCount())
        return {};
    const TDbField& field = m_rows->Field(section);
    switch (role) {
    case Qt::DisplayRole:
        return field.displayName;
    case Qt::ToolTipRole:
        return field.declaredType.isEmpty() ? field.name
                                            : field.name + QLatin1String(" (") + field.declaredType + u')';
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case FieldTypeRole:
        return int(field.type);
    default:
        return {};
    }
}

Qt::ItemFlags TDbRowsModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}
