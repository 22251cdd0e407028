#include "uDbGrid.h"

#include "uDbDataSource.h"
#include "uDbRowsModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>

#include <utility>

namespace {

// Rows looked at when sizing columns; enough to be typical, few enough to be instant.
constexpr int kFitRows = 100;
constexpr int kMinColumnWidth = 48;
constexpr int kMaxColumnWidth = 320;

} // namespace

TDbGrid::TDbGrid(QWidget* parent) : QTableView(parent)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setTabKeyNavigation(false);
    // Uniform row heights keep a million rows as cheap as ten.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Rows further down can hold longer values than the first ones: the columns grow to
    // what is on screen as the user scrolls (once per burst of scrolling).
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (std::exchange(m_fitPending, true))
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_fitPending = false;
                FitVisibleRows();
            },
            Qt::QueuedConnection);
    });
}

void TDbGrid::SetDataSource(TDbDataSource* source)
{
    for (const QMetaObject::Connection& c : std::as_const(m_watches))
        disconnect(c);
    m_watches.clear();
    m_source = source;
    setModel(source ? source->Model() : nullptr);
    if (!m_shown)
        verticalHeader()->setModel(nullptr);
    if (selectionModel())
        m_watches << connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                             &TDbGrid::viewCurrentChanged);
    if (source) {
        m_watches << connect(source, &TDbDataSource::StateChanged, this, &TDbGrid::sourceStateChanged);
        m_watches << connect(source, &TDbDataSource::CurrentChanged, this, &TDbGrid::sourceCurrentChanged);
    }
    sourceStateChanged();
}

void TDbGrid::showEvent(QShowEvent* event)
{
    QTableView::showEvent(event);
    if (std::exchange(m_shown, true) || !model())
        return;
    verticalHeader()->setModel(model());
    verticalHeader()->setSelectionModel(selectionModel());
    // The scroll range follows the rows now, before the move to the current one.
    updateGeometries();
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void TDbGrid::FitColumns()
{
    QAbstractItemModel* m = model();
    if (!m)
        return;
    const int rows = std::min(m->rowCount(), kFitRows);
    const QFontMetrics headerMetrics = horizontalHeader()->fontMetrics();
    // Room for the header's margins and sort indicator space.
    const int headerPadding = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 6;
    for (int column = 0; column < m->columnCount(); ++column) {
        const int width = std::max(headerMetrics.horizontalAdvance(m->headerData(column, Qt::Horizontal).toString()) +
                                       headerPadding,
                                   fittingWidth(column, 0, rows - 1));
        horizontalHeader()->resizeSection(column, std::clamp(width, kMinColumnWidth, kMaxColumnWidth));
    }
}

int TDbGrid::fittingWidth(int column, int firstRow, int lastRow) const
{
    const QFontMetrics cellMetrics = fontMetrics();
    // Room for the cell's margins.
    const int cellPadding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 10;
    int width = 0;
    for (int row = firstRow; row <= lastRow; ++row)
        width = std::max(width, cellMetrics.horizontalAdvance(model()->index(row, column).data().toString()) +
                                    cellPadding);
    return width;
}

void TDbGrid::FitVisibleRows()
{
    QAbstractItemModel* m = model();
    if (!m || m->rowCount() == 0)
        return;
    const int first = std::max(0, rowAt(0));
    int last = rowAt(viewport()->height() - 1);
    if (last < 0)
        last = m->rowCount() - 1;
    for (int column = 0; column < m->columnCount(); ++column) {
        const int width = std::min(fittingWidth(column, first, last), kMaxColumnWidth);
        if (width > columnWidth(column))
            horizontalHeader()->resizeSection(column, width);
    }
}

void TDbGrid::sourceStateChanged()
{
    FitColumns();
    followDataSet();
}

void TDbGrid::sourceCurrentChanged(qsizetype)
{
    if (m_followPending)
        return;
    m_followPending = true;
    QMetaObject::invokeMethod(this, &TDbGrid::followDataSet, Qt::QueuedConnection);
}

void TDbGrid::followDataSet()
{
    m_followPending = false;
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    QItemSelectionModel* selection = selectionModel();
    if (!selection || !model())
        return;
    const qsizetype row = cursor && m_source->Active() ? cursor->RecNo() : -1;
    m_following = true;
    if (row < 0 || row >= model()->rowCount()) {
        selection->clear();
    } else if (currentIndex().row() != row) {
        const QModelIndex index = model()->index(int(row), std::max(currentIndex().column(), 0));
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    }
    m_following = false;
}

void TDbGrid::viewCurrentChanged(const QModelIndex& current, const QModelIndex&)
{
    if (m_following || !current.isValid() || !m_source)
        return;
    if (TDbRowCursor* cursor = m_source->DataSet();
        cursor && cursor->Active() && cursor->RecNo() != current.row())
        cursor->SetRecNo(current.row());
}
