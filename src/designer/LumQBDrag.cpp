#include "LumQBDrag.h"

#include "uErrorBox.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

TLumQBDragSource::TLumQBDragSource(QWidget* source, int threshold)
    : QObject(source), m_source(source), m_threshold(threshold)
{
    QWidget* watched = source;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(source))
        watched = area->viewport();
    watched->installEventFilter(this);
}

ILumQBDropTarget* TLumQBDragSource::TargetAt(QPoint globalPos, QWidget** targetWidget) const
{
    for (QWidget* w = QApplication::widgetAt(globalPos); w; w = w->parentWidget()) {
        if (auto* target = dynamic_cast<ILumQBDropTarget*>(w)) {
            *targetWidget = w;
            return target;
        }
        if (w->isWindow())
            break;
    }
    *targetWidget = nullptr;
    return nullptr;
}

void TLumQBDragSource::Finish()
{
    if (m_active)
        QApplication::restoreOverrideCursor();
    m_pressed = false;
    m_active = false;
}

bool TLumQBDragSource::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            m_pressed = true;
            m_active = false;
            m_pressGlobal = me->globalPosition().toPoint();
        }
        break;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (!m_pressed || !(me->buttons() & Qt::LeftButton))
            break;
        const QPoint global = me->globalPosition().toPoint();
        if (!m_active && (global - m_pressGlobal).manhattanLength() >= m_threshold) {
            m_active = true;
            QApplication::setOverrideCursor(Qt::DragMoveCursor);
        }
        if (m_active) {
            QWidget* w = nullptr;
            ILumQBDropTarget* target = TargetAt(global, &w);
            const bool accepted = target && target->LumQBDragOver(m_source, w->mapFromGlobal(global));
            QApplication::changeOverrideCursor(accepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton || !m_pressed)
            break;
        const bool wasActive = m_active;
        Finish();
        if (!wasActive)
            break;
        const QPoint global = me->globalPosition().toPoint();
        QWidget* w = nullptr;
        ILumQBDropTarget* target = TargetAt(global, &w);
        if (target && target->LumQBDragOver(m_source, w->mapFromGlobal(global))) {
            QPointer<QWidget> guard(w);
            RunCommand([&] { target->LumQBDragDrop(m_source, guard->mapFromGlobal(global)); });
        }
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
