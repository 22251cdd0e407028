#include "LumQBTable.h"

#include "LumQBDocument.h"
#include "LumQBException.h"
#include "LumQBGeometry.h"
#include "LumQBLink.h"
#include "LumQBModel.h"
#include "LumQBWorkArea.h"
#include "uDialogs.h"
#include "uErrorBox.h"

#include <QApplication>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolButton>

using namespace LumQBGeometry;

namespace {

// Entries are kItemHeight pixels high, so field rows lie where links expect them.
class TFieldDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight);
    }
};

QIcon ButtonGlyph(bool close)
{
    QPixmap pm(12, 10);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(Qt::black, 1.5));
    if (close) {
        p.drawLine(3, 1, 9, 8);
        p.drawLine(9, 1, 3, 8);
    } else {
        // two link ends with a gap between them
        p.drawLine(1, 5, 4, 5);
        p.drawLine(8, 5, 11, 5);
        p.drawLine(5, 2, 7, 8);
    }
    return QIcon(pm);
}

QToolButton* FlatButton(QWidget* parent, const char* name, const QString& hint, bool close)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setToolTip(hint);
    b->setIcon(ButtonGlyph(close));
    b->setIconSize(QSize(12, 10));
    b->resize(16, 14);
    return b;
}

} // namespace

TLumQBFieldList::TLumQBFieldList(TLumQBTable* table) : QListWidget(table), m_table(table)
{
    setObjectName(QStringLiteral("FieldList"));
    setItemDelegate(new TFieldDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setLineWidth(2);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

int TLumQBFieldList::EntryAt(QPoint viewportPos) const
{
    if (count() == 0)
        return -1;
    if (QListWidgetItem* item = itemAt(viewportPos))
        return row(item);
    return count() - 1;
}

bool TLumQBFieldList::LumQBDragOver(QWidget* source, QPoint pos)
{
    TLumQBWorkArea* area = m_table->WorkArea();
    if (!area)
        return false;
    if (area->TableList() && source == area->TableList())
        return true;
    auto* list = qobject_cast<TLumQBFieldList*>(source);
    if (!list || list->m_table->WorkArea() != area)
        return false;
    if (list != this) {
        // Feedback: the entry that the drop would link. Without scrolling, so the
        // entry under the pointer stays under it.
        setAutoScroll(false);
        setCurrentRow(EntryAt(viewport()->mapFrom(this, pos)));
        setAutoScroll(true);
    }
    return true;
}

void TLumQBFieldList::LumQBDragDrop(QWidget* source, QPoint pos)
{
    TLumQBWorkArea* area = m_table->WorkArea();
    if (area->TableList() && source == area->TableList()) {
        const QPoint at = mapTo(area->Canvas(), pos);
        area->AddTables(at.x(), at.y());
        return;
    }
    auto* list = static_cast<TLumQBFieldList*>(source);
    const int target = EntryAt(viewport()->mapFrom(this, pos));
    const int from = list->currentRow();
    if (target <= 0 || from <= 0) // "*" cannot be linked
        return;
    if (list == this && target == from)
        return;
    area->AddLink(list->m_table, m_table, from, target);
}

TLumQBTable::TLumQBTable(TLumQBWorkArea* workArea, const TLumQBTableData* data)
    : QWidget(workArea->Canvas()), m_workArea(workArea), m_data(data)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    setMinimumSize(kTableMinWidth, kTableMinHeight);
    setAutoFillBackground(true);
    setToolTip(data->TableName);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TLumQBTable::TableMenuPopup);

    UnLinkBtn = FlatButton(this, "UnLinkBtn", tr("Unlink table"), false);
    CloseBtn = FlatButton(this, "CloseBtn", tr("Close"), true);
    // Errors of what the work area's handlers do go to the error box, as for every command.
    connect(UnLinkBtn, &QToolButton::clicked, this, [this] { RunCommand([this] { UnLinkBtnClick(); }); });
    connect(CloseBtn, &QToolButton::clicked, this, [this] { RunCommand([this] { CloseBtnClick(); }); });

    FieldList = new TLumQBFieldList(this);
    m_filling = true;
    for (const QString& field : data->Fields) {
        auto* item = new QListWidgetItem(field, FieldList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    m_filling = false;
    RefreshTicks();
    connect(FieldList, &QListWidget::itemChanged, this, &TLumQBTable::FieldListClickCheck);
    connect(FieldList, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { TableMenuPopup(FieldList->viewport()->mapTo(this, pos)); });
    FieldList->viewport()->installEventFilter(this);
    new TLumQBDragSource(FieldList, QApplication::startDragDistance());

    TableMenu = new QMenu(this);
    TableMenu->setObjectName(QStringLiteral("TableMenu"));
    auto item = [this](const char* name, const QString& text, void (TLumQBTable::*slot)()) {
        QAction* a = TableMenu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [this, slot] { RunCommand([&] { (this->*slot)(); }); });
        return a;
    };
    miSelectAll = item("miSelectAll", tr("Select all"), &TLumQBTable::SelectAllClick);
    miSelectNone = item("miSelectNone", tr("Select none"), &TLumQBTable::UnSelectAllClick);
    TableMenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    miSetTableAlias = item("miSetTableAlias", tr("Change table alias"), &TLumQBTable::SetTableAliasClick);
    TableMenu->addSeparator()->setObjectName(QStringLiteral("N2"));
    miUnLink = item("miUnLink", tr("Remove links"), &TLumQBTable::UnLinkBtnClick);
    miClose = item("miClose", tr("Close"), &TLumQBTable::CloseBtnClick);

    resize(kTableWidth, kTableHeight);
}

TLumQBTable::~TLumQBTable()
{
    if (!m_workArea || !m_data)
        return;
    m_deleting = true;
    try {
        m_workArea->RemoveTableWindow(this);
    } catch (const ELumQBException& e) {
        ShowException(e); // a destructor lets nothing through
    }
}

void TLumQBTable::Detach()
{
    m_data = nullptr;
    m_workArea = nullptr;
}

TLumQBDocument* TLumQBTable::Document() const
{
    return m_workArea && m_data ? m_workArea->Document() : nullptr;
}

void TLumQBTable::GeometryChanged()
{
    if (TLumQBDocument* document = Document())
        document->SetTableGeometry(m_data, geometry());
}

QString TLumQBTable::TableName() const
{
    return m_data ? m_data->TableName : QString();
}

QString TLumQBTable::TableAlias() const
{
    return m_data ? m_data->TableAlias : QString();
}

void TLumQBTable::SetSelected(bool value)
{
    if (value && m_workArea)
        m_workArea->Select(this);
    m_selected = value;
    update();
}

int TLumQBTable::FieldRowY(int index) const
{
    // The list's top in the window's own coordinates; the window's origin is the work area's y().
    const int listTop = kCaptionHeight;
    return y() + kFrame + LumQBGeometry::FieldRowY(index, kItemHeight, listTop, height());
}

QString TLumQBTable::CaptionText() const
{
    const QFontMetrics fm = fontMetrics();
    const int maxWidth = UnLinkBtn->x() - kFrame - 5;
    return ShortenFromEnd(TableName() + QStringLiteral(" : ") + TableAlias(), maxWidth,
                          [&fm](const QString& s) { return fm.horizontalAdvance(s); });
}

void TLumQBTable::RefreshTicks()
{
    if (!m_data)
        return;
    m_filling = true;
    for (int i = 0; i < FieldList->count(); ++i)
        FieldList->item(i)->setCheckState(m_data->IsTicked(i) ? Qt::Checked : Qt::Unchecked);
    m_filling = false;
}

void TLumQBTable::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter p(this);
    // sizing frame
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(rect().adjusted(1, 1, -2, -2));

    const QRect band(kFrame, kFrame, width() - 2 * kFrame, kCaptionHeight);
    const QColor from =
        m_selected ? palette().color(QPalette::Active, QPalette::Highlight) : palette().color(QPalette::Mid);
    QLinearGradient gradient(band.topLeft(), band.topRight());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, m_selected ? from.lighter(170) : palette().color(QPalette::Midlight));
    p.fillRect(band, gradient);
    p.setPen(m_selected ? palette().color(QPalette::Active, QPalette::HighlightedText)
                        : palette().color(QPalette::Inactive, QPalette::WindowText));
    const QFontMetrics fm = fontMetrics();
    p.drawText(QPoint(kFrame + 2, kFrame + 2 + fm.ascent()), CaptionText());
}

void TLumQBTable::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    CloseBtn->move(kFrame + width() - CloseBtn->width() - 8, kFrame + 2);
    UnLinkBtn->move(CloseBtn->x() - UnLinkBtn->width(), kFrame + 2);
    FieldList->setGeometry(kFrame, kFrame + kCaptionHeight, width() - 2 * kFrame, height() - 24);
    update();
    GeometryChanged();
}

void TLumQBTable::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    GeometryChanged();
}

Qt::Edges TLumQBTable::FrameEdgesAt(QPoint pos) const
{
    constexpr int grip = kFrame + 1;
    Qt::Edges edges;
    if (pos.x() < grip)
        edges |= Qt::LeftEdge;
    if (pos.x() >= width() - grip)
        edges |= Qt::RightEdge;
    if (pos.y() < grip)
        edges |= Qt::TopEdge;
    if (pos.y() >= height() - grip)
        edges |= Qt::BottomEdge;
    return edges;
}

void TLumQBTable::mousePressEvent(QMouseEvent* event)
{
    SetSelected(true);
    if (event->button() != Qt::LeftButton)
        return;
    m_pressGlobal = event->globalPosition().toPoint();
    m_pressGeometry = geometry();
    m_sizing = FrameEdgesAt(event->position().toPoint());
    m_moving = !m_sizing && event->position().y() < kFrame + kCaptionHeight;
}

void TLumQBTable::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (!(event->buttons() & Qt::LeftButton)) {
        const Qt::Edges e = FrameEdgesAt(pos);
        if ((e & (Qt::LeftEdge | Qt::RightEdge)) && (e & (Qt::TopEdge | Qt::BottomEdge)))
            setCursor(((e & Qt::LeftEdge) != 0) == ((e & Qt::TopEdge) != 0) ? Qt::SizeFDiagCursor
                                                                            : Qt::SizeBDiagCursor);
        else if (e & (Qt::LeftEdge | Qt::RightEdge))
            setCursor(Qt::SizeHorCursor);
        else if (e)
            setCursor(Qt::SizeVerCursor);
        else
            unsetCursor();
        return;
    }
    const QPoint delta = event->globalPosition().toPoint() - m_pressGlobal;
    if (m_moving) {
        move(m_pressGeometry.topLeft() + delta);
        return;
    }
    if (!m_sizing)
        return;
    QRect g = m_pressGeometry;
    if (m_sizing & Qt::LeftEdge)
        g.setLeft(std::min(g.left() + delta.x(), g.right() + 1 - kTableMinWidth));
    if (m_sizing & Qt::RightEdge)
        g.setRight(std::max(g.right() + delta.x(), g.left() + kTableMinWidth - 1));
    if (m_sizing & Qt::TopEdge)
        g.setTop(std::min(g.top() + delta.y(), g.bottom() + 1 - kTableMinHeight));
    if (m_sizing & Qt::BottomEdge)
        g.setBottom(std::max(g.bottom() + delta.y(), g.top() + kTableMinHeight - 1));
    setGeometry(g);
}

void TLumQBTable::mouseReleaseEvent(QMouseEvent*)
{
    m_moving = false;
    m_sizing = {};
}

bool TLumQBTable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FieldList->viewport() && event->type() == QEvent::MouseButtonPress)
        SetSelected(true);
    return QWidget::eventFilter(watched, event);
}

void TLumQBTable::UnLinkBtnClick()
{
    SetSelected(true);
    if (TLumQBDocument* document = Document())
        document->RemoveTableLinks(m_data);
}

void TLumQBTable::CloseBtnClick()
{
    if (m_workArea)
        m_workArea->RemoveTableWindow(this);
}

void TLumQBTable::SelectAllClick()
{
    if (TLumQBDocument* document = Document(); document && FieldList->count() > 1)
        document->SetAllFieldsTicked(m_data, true);
}

void TLumQBTable::UnSelectAllClick()
{
    if (TLumQBDocument* document = Document(); document && FieldList->count() > 1)
        document->SetAllFieldsTicked(m_data, false);
}

void TLumQBTable::SetTableAliasClick()
{
    if (!Document())
        return;
    QString alias = TableAlias();
    if (!dialogs::inputQuery(tr("Change table alias"), tr("Please enter the new alias for the table:"),
                             alias))
        return;
    // The dialog runs its own event loop: the window may have left the work area meanwhile.
    if (TLumQBDocument* document = Document(); document && alias != TableAlias())
        document->SetTableAlias(m_data, alias);
}

void TLumQBTable::FieldListClickCheck(QListWidgetItem* item)
{
    TLumQBDocument* document = Document();
    if (m_filling || !document)
        return;
    const int index = FieldList->row(item);
    const bool ticked = item->checkState() == Qt::Checked;
    RunCommand([&] { document->SetFieldTicked(m_data, index, ticked); });
}

void TLumQBTable::TableMenuPopup(QPoint pos)
{
    if (!m_workArea)
        return;
    bool handled = false;
    emit m_workArea->OnTablePopupMenu(this, pos, handled);
    if (!handled)
        TableMenu->popup(mapToGlobal(pos));
}
