#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class QWidget;

// Drag and drop between the designer's own widgets (table names from the table list, a
// field from a table window's list onto another list or onto the field grid). It stays
// inside the process, so it behaves the same under X and offscreen and tests drive it
// with plain QTest mouse events: press, move past the threshold, release.

// A widget that takes designer drops. The drop goes to the innermost widget under the
// pointer that implements this (or its nearest such ancestor). pos is in that widget's
// coordinates; source is the widget the drag started on (a list, not its viewport).
class ILumQBDropTarget
{
public:
    virtual ~ILumQBDropTarget() = default;
    // True when a drop here would be taken; may show feedback.
    virtual bool LumQBDragOver(QWidget* source, QPoint pos) = 0;
    // Errors it raises go to the error box (the drop is a user command).
    virtual void LumQBDragDrop(QWidget* source, QPoint pos) = 0;
};

// Watches the left button on source (on its viewport when it is a scroll area such as a
// list). The drag becomes active once the pointer has moved threshold pixels from the
// press; until then presses, clicks and double clicks reach the source as usual. While
// the button is held, moves do not reach the source, so a list keeps the entry pressed
// as its current one. Owned by source.
class TLumQBDragSource : public QObject
{
    Q_OBJECT
public:
    TLumQBDragSource(QWidget* source, int threshold);
    QWidget* Source() const { return m_source; }
    int Threshold() const { return m_threshold; }
    bool Active() const { return m_active; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ILumQBDropTarget* TargetAt(QPoint globalPos, QWidget** targetWidget) const;
    void Finish();

    QWidget* m_source;
    int m_threshold;
    bool m_pressed = false;
    bool m_active = false;
    QPoint m_pressGlobal;
};
