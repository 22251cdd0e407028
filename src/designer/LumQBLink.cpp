#include "LumQBLink.h"

#include "LumQBDocument.h"
#include "LumQBGeometry.h"
#include "LumQBLinkProp.h"
#include "LumQBTable.h"
#include "LumQBWorkArea.h"
#include "uErrorBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

using namespace LumQBGeometry;

namespace {
// The toolkit's quoting of a name in a hint: single quotes, an inner one doubled.
QString Quoted(const QString& s)
{
    QString q = s;
    q.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}
} // namespace

TLumQBLink::TLumQBLink(TLumQBWorkArea* workArea, const TLumQBLinkData* data, TLumQBTable* table1,
                       TLumQBTable* table2)
    : QObject(workArea), m_workArea(workArea), m_data(data), m_table1(table1), m_table2(table2)
{
    Menu = new QMenu(workArea);
    Menu->installEventFilter(this);
    Menu->setObjectName(QStringLiteral("Menu"));
    connect(this, &QObject::destroyed, Menu, &QObject::deleteLater);
    auto command = [this](QAction* a, auto slot) {
        connect(a, &QAction::triggered, this, [this, slot] { RunCommand([&] { (this->*slot)(); }); });
    };
    miLinkName = Menu->addAction(QString());
    miLinkName->setObjectName(QStringLiteral("miLinkName"));
    miLinkName->setEnabled(false);
    Menu->addSeparator();
    miUnlink = Menu->addAction(tr("Remove"));
    miUnlink->setObjectName(QStringLiteral("miUnlink"));
    command(miUnlink, &TLumQBLink::RemoveLink);
    Menu->addSeparator();
    miAllFromTable1 = Menu->addAction(tr("All rows from %s"));
    miAllFromTable1->setObjectName(QStringLiteral("miAllFromTable1"));
    miAllFromTable1->setCheckable(true);
    command(miAllFromTable1, &TLumQBLink::miAllFromTable1Click);
    miAllFromTable2 = Menu->addAction(tr("All rows from %s"));
    miAllFromTable2->setObjectName(QStringLiteral("miAllFromTable2"));
    miAllFromTable2->setCheckable(true);
    command(miAllFromTable2, &TLumQBLink::miAllFromTable2Click);
    Menu->addSeparator();
    miLinkOptions = Menu->addAction(tr("Properties"));
    miLinkOptions->setObjectName(QStringLiteral("miLinkOptions"));
    command(miLinkOptions, &TLumQBLink::EditProperties);
}

void TLumQBLink::Detach()
{
    m_data = nullptr;
    m_table1 = m_table2 = nullptr;
    m_workArea = nullptr;
}

TLumQBDocument* TLumQBLink::Document() const
{
    return m_workArea && m_data ? m_workArea->Document() : nullptr;
}

QString TLumQBLink::Field1() const
{
    return m_data ? m_data->Field1 : QString();
}
QString TLumQBLink::Field2() const
{
    return m_data ? m_data->Field2 : QString();
}
int TLumQBLink::FieldIndex1() const
{
    return m_data ? m_data->FieldIndex1 : -1;
}
int TLumQBLink::FieldIndex2() const
{
    return m_data ? m_data->FieldIndex2 : -1;
}
int TLumQBLink::JoinOperator() const
{
    return m_data ? m_data->JoinOperator : 0;
}
TJoinKind TLumQBLink::JoinKind() const
{
    return m_data ? m_data->JoinKind : jkInner;
}

QString TLumQBLink::JoinImage() const
{
    return JoinImageName(JoinKind(), m_arrangement);
}

void TLumQBLink::SetSelected(bool value)
{
    if (value && m_workArea)
        m_workArea->Select(this);
    m_selected = value;
    if (m_workArea)
        m_workArea->Canvas()->update();
}

void TLumQBLink::SetField1(const QString& name)
{
    if (TLumQBDocument* document = Document())
        document->SetLinkField(m_data, 1, name);
}

void TLumQBLink::SetField2(const QString& name)
{
    if (TLumQBDocument* document = Document())
        document->SetLinkField(m_data, 2, name);
}

void TLumQBLink::UpdateHint()
{
    if (!m_data || !m_table1 || !m_table2 || m_data->Field1.isEmpty() || m_data->Field2.isEmpty()) {
        m_hint.clear();
        return;
    }
    m_hint = Quoted(m_table1->TableName()) + QLatin1Char('.') + Quoted(m_data->Field1) + QLatin1Char(' ') +
             JoinOperatorText(m_data->JoinOperator) + QLatin1Char(' ') + Quoted(m_table2->TableName()) +
             QLatin1Char('.') + Quoted(m_data->Field2);
}

void TLumQBLink::UpdatePosition()
{
    if (!m_data || !m_table1 || !m_table2)
        return;
    const TLinkPlacement p =
        PlaceLink(m_table1->geometry(), m_table1->FieldRowY(m_data->FieldIndex1), m_table2->geometry(),
                  m_table2->FieldRowY(m_data->FieldIndex2), m_table1 == m_table2);
    if (m_table1 != m_table2) // a link of a window to itself keeps its arrangement
        m_arrangement = p.Arrangement;
    m_slope = p.Slope;
    m_bounds = p.Bounds;
    m_polyline =
        LinkPolyline(m_arrangement, m_slope, m_table1 == m_table2, m_bounds.width(), m_bounds.height());
    m_hitRegion = LinkHitBand(m_polyline);
    if (m_workArea)
        m_workArea->Canvas()->update();
}

bool TLumQBLink::HitTest(QPoint canvasPos) const
{
    return BandContains(m_hitRegion, canvasPos - m_bounds.topLeft());
}

void TLumQBLink::Paint(QPainter& painter) const
{
    if (m_polyline.isEmpty())
        return;
    painter.save();
    painter.translate(m_bounds.topLeft());
    painter.setPen(QPen(Qt::black, m_selected ? 2 : 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(m_polyline.constData(), int(m_polyline.size()));
    painter.drawPixmap(JoinImagePos(m_polyline), QPixmap(QStringLiteral(":/%1.png").arg(JoinImage())));
    painter.restore();
}

void TLumQBLink::FillMenu()
{
    if (!m_table1 || !m_table2)
        return;
    miLinkName->setText(m_table1->TableName() + QStringLiteral(" :: ") + m_table2->TableName());
    const QString allFrom = tr("All rows from %s");
    miAllFromTable1->setText(QString(allFrom).replace(QStringLiteral("%s"), m_table1->TableName()));
    miAllFromTable2->setText(QString(allFrom).replace(QStringLiteral("%s"), m_table2->TableName()));
    const TJoinKind kind = JoinKind();
    miAllFromTable1->setChecked(kind == jkLeftOuter || kind == jkFullOuter);
    miAllFromTable2->setChecked(kind == jkRightOuter || kind == jkFullOuter);
}

void TLumQBLink::MousePress(QPoint canvasPos, QPoint globalPos, Qt::MouseButton button)
{
    if (!m_workArea)
        return;
    if (!m_workArea->hasFocus())
        m_workArea->setFocus();
    SetSelected(true);
    FillMenu();
    bool handled = false;
    emit m_workArea->OnLinkPopupMenu(this, canvasPos, handled);
    if (!handled) {
        if (button == Qt::LeftButton)
            m_menuShown.start();
        else
            m_menuShown.invalidate();
        Menu->popup(globalPos);
    }
}

bool TLumQBLink::eventFilter(QObject* watched, QEvent* event)
{
    // The window system may hand the popup the second press as a double-click alone.
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (watched == Menu && press && m_menuShown.isValid()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // The menu opens under the pointer, so only the time tells the second click.
        const bool second =
            mouse->button() == Qt::LeftButton && m_menuShown.elapsed() <= QApplication::doubleClickInterval();
        m_menuShown.invalidate();
        if (second) {
            Menu->close();
            // After the press has been handled: the dialog runs its own event loop.
            QMetaObject::invokeMethod(this, &TLumQBLink::EditProperties, Qt::QueuedConnection);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TLumQBLink::miAllFromTable1Click()
{
    if (TLumQBDocument* document = Document())
        document->ToggleAllRowsFrom(m_data, 1);
}

void TLumQBLink::miAllFromTable2Click()
{
    if (TLumQBDocument* document = Document())
        document->ToggleAllRowsFrom(m_data, 2);
}

void TLumQBLink::RemoveLink()
{
    if (m_workArea)
        m_workArea->RemoveLink(this);
}

void TLumQBLink::EditProperties()
{
    if (!m_workArea || !m_data)
        return;
    TLumQBLinkPropForm form(m_workArea->window());
    form.Table1->setText(m_table1->TableName());
    form.Table2->setText(m_table2->TableName());
    form.Field1->setText(m_data->Field1);
    form.Field2->setText(m_data->Field2);
    form.JoinOp->setCurrentIndex(m_data->JoinOperator);
    const TJoinKind kind = m_data->JoinKind;
    form.CBAllFrom1->setChecked(kind == jkLeftOuter || kind == jkFullOuter);
    form.CBAllFrom2->setChecked(kind == jkRightOuter || kind == jkFullOuter);
    form.CBAllFrom1->setText(form.CBAllFrom1->text().replace(QStringLiteral("%s"), m_table1->TableName()));
    form.CBAllFrom2->setText(form.CBAllFrom2->text().replace(QStringLiteral("%s"), m_table2->TableName()));
    // The dialog runs its own event loop: the link may have left the work area meanwhile.
    TLumQBDocument* document = form.exec() == QDialog::Accepted ? Document() : nullptr;
    if (!document)
        return;
    const bool all1 = form.CBAllFrom1->isChecked(), all2 = form.CBAllFrom2->isChecked();
    document->SetLinkJoin(m_data, form.JoinOp->currentIndex(), JoinKindOf(all1, all2));
}
