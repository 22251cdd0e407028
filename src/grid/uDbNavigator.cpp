#include "uDbNavigator.h"

#include "uDbDataSource.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int kButtonSize = 25;
// The class library's repeat timing: the first repeat after half a second, then ten a second.
constexpr int kRepeatDelay = 500;
constexpr int kRepeatInterval = 100;

struct ButtonText
{
    const char* name;
    const char* hint;
};

constexpr ButtonText kButtons[] = {
    {"navDataFirst", "Move to first record"},       {"navDataPriorPage", "Move backward 10 records"},
    {"navDataPrior", "Move to prior record"},       {"navDataNext", "Move to next record"},
    {"navDataNextPage", "Move forward 10 records"}, {"navDataLast", "Move to last record"},
};

// Triangles and bars drawn in the text colour, so the glyphs follow the palette
// (and grey out with the button's disabled state through QIcon's disabled mode).
QIcon glyph(TDbNavigator::Button which, const QColor& colour)
{
    QPixmap pm(12, 12);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const bool back = which <= TDbNavigator::Prior;
    auto triangle = [&](qreal x, qreal w) {
        QPainterPath path;
        if (back) {
            path.moveTo(x + w, 1.5);
            path.lineTo(x, 6);
            path.lineTo(x + w, 10.5);
        } else {
            path.moveTo(x, 1.5);
            path.lineTo(x + w, 6);
            path.lineTo(x, 10.5);
        }
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (which) {
    case TDbNavigator::First:
        p.drawRect(QRectF(2, 1.5, 2, 9));
        triangle(4.5, 6);
        break;
    case TDbNavigator::Last:
        triangle(1.5, 6);
        p.drawRect(QRectF(8, 1.5, 2, 9));
        break;
    case TDbNavigator::PriorPage:
    case TDbNavigator::NextPage:
        triangle(0.5, 5.5);
        triangle(6, 5.5);
        break;
    case TDbNavigator::Prior:
    case TDbNavigator::Next:
        triangle(3, 6);
        break;
    }
    return QIcon(pm);
}

} // namespace

TDbNavigator::TDbNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 6; ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(QLatin1String(kButtons[i].name));
        button->setToolTip(QLatin1String(kButtons[i].hint));
        button->setFixedSize(kButtonSize, kButtonSize);
        button->setIcon(glyph(Button(i), palette().color(QPalette::ButtonText)));
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(kRepeatDelay);
        button->setAutoRepeatInterval(kRepeatInterval);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, i] { BtnClick(Button(i)); });
        layout->addWidget(button);
        m_buttons[i] = button;
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    refresh();
}

void TDbNavigator::SetDataSource(TDbDataSource* source)
{
    for (const QMetaObject::Connection& c : std::as_const(m_watches))
        disconnect(c);
    m_watches.clear();
    m_source = source;
    if (source) {
        m_watches << connect(source, &TDbDataSource::StateChanged, this, &TDbNavigator::refresh);
        m_watches << connect(source, &TDbDataSource::CurrentChanged, this, &TDbNavigator::refresh);
        m_watches << connect(source, &QObject::destroyed, this, &TDbNavigator::refresh, Qt::QueuedConnection);
    }
    refresh();
}

void TDbNavigator::BtnClick(Button which)
{
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    if (!cursor || !cursor->Active())
        return;
    switch (which) {
    case First:
        cursor->First();
        break;
    case PriorPage:
        cursor->MoveBy(-PageRows);
        break;
    case Prior:
        cursor->Prior();
        break;
    case Next:
        cursor->Next();
        break;
    case NextPage:
        cursor->MoveBy(PageRows);
        break;
    case Last:
        cursor->Last();
        break;
    }
    refresh(); // also when the cursor did not move and so sent nothing
}

// Runs on every move of the cursor, also while a writer walks all rows: two
// comparisons and six cheap setEnabled calls.
void TDbNavigator::refresh()
{
    TDbRowCursor* cursor = m_source ? m_source->DataSet() : nullptr;
    bool back = false;
    bool forward = false;
    if (cursor && cursor->Active()) {
        const qsizetype row = cursor->RecNo();
        back = row > 0;
        forward = row >= 0 && row < cursor->RecordCount() - 1;
    }
    for (int i = 0; i < 6; ++i) {
        const bool enabled = i <= Prior ? back : forward;
        if (m_buttons[i]->isEnabled() != enabled)
            m_buttons[i]->setEnabled(enabled);
    }
}
