#include "uDbRecordView.h"

#include "uDbDataSource.h"
#include "uDbRowsModel.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace {
constexpr int kFieldRole = Qt::UserRole;
}

TDbRecordView::TDbRecordView(QWidget* parent) : QTableWidget(parent)
{
    setColumnCount(2);
    setHorizontalHeaderLabels({tr("Field"), tr("Value")});
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->resizeSection(0, CaptionWidth);
}

void TDbRecordView::SetDataSource(TDbDataSource* source)
{
    for (const QMetaObject::Connection& c : std::as_const(m_watches))
        disconnect(c);
    m_watches.clear();
    m_source = source;
    if (source) {
        m_watches << connect(source, &TDbDataSource::StateChanged, this, &TDbRecordView::sourceStateChanged);
        m_watches << connect(source, &TDbDataSource::CurrentChanged, this,
                             &TDbRecordView::sourceCurrentChanged);
    }
    sourceStateChanged();
}

void TDbRecordView::ClearRows()
{
    setRowCount(0);
    // On open rows an empty list is built again at once, for the rows' own fields.
    buildLines();
    showValues();
}

QString TDbRecordView::LineField(int line) const
{
    const QTableWidgetItem* it = item(line, 0);
    return it ? it->data(kFieldRole).toString() : QString();
}

QString TDbRecordView::LineCaption(int line) const
{
    const QTableWidgetItem* it = item(line, 0);
    return it ? it->text() : QString();
}

QString TDbRecordView::LineValue(int line) const
{
    const QTableWidgetItem* it = item(line, 1);
    return it ? it->text() : QString();
}

void TDbRecordView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        const int next = currentRow() + 1;
        if (next < rowCount())
            setCurrentCell(next, currentColumn() < 0 ? 1 : currentColumn());
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void TDbRecordView::sourceStateChanged()
{
    if (rowCount() == 0)
        buildLines();
    showValues();
}

// Moves come one per row while a writer walks all rows; the values are shown once
// control returns to the event loop.
void TDbRecordView::sourceCurrentChanged()
{
    if (m_showPending)
        return;
    m_showPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_showPending = false;
            showValues();
        },
        Qt::QueuedConnection);
}

void TDbRecordView::buildLines()
{
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    if (!cursor || !cursor->Active())
        return;
    const QList<TDbField>& fields = cursor->Rows()->Fields();
    setRowCount(int(fields.size()));
    for (int i = 0; i < fields.size(); ++i) {
        auto* caption = new QTableWidgetItem(fields[i].displayName);
        caption->setData(kFieldRole, fields[i].name);
        caption->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        setItem(i, 0, caption);
        auto* value = new QTableWidgetItem;
        value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        setItem(i, 1, value);
    }
    if (!fields.isEmpty() && !currentItem())
        setCurrentCell(0, 1);
}

void TDbRecordView::showValues()
{
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    const bool open = cursor && cursor->Active();
    const TDbRows* rows = open ? cursor->Rows().get() : nullptr;
    const qsizetype row = open ? cursor->RecNo() : -1;
    for (int line = 0; line < rowCount(); ++line) {
        QString text;
        if (rows && row >= 0) {
            // By name; a line on the field of its own position first, so that two
            // fields of one name (a join) each show their own value.
            const QString name = LineField(line);
            int column =
                line < rows->FieldCount() && rows->Field(line).name.compare(name, Qt::CaseInsensitive) == 0
                    ? line
                    : rows->FieldIndex(name);
            if (column >= 0)
                text = TDbRowsModel::DisplayText(*rows, row, column);
        }
        QTableWidgetItem* value = item(line, 1);
        if (value->text() != text)
            value->setText(text);
    }
}
