#pragma once

#include "uSchedPrint.h"

#include <QIcon>
#include <QPointer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPrintPreviewWidget;
class QPrinter;
class QPushButton;
class QToolButton;

// The print preview window: a tool bar (print, magnifier, zoom list, close) over a page
// preview of one print component. The component is held through a guarded pointer: when
// its owner destroys it, the preview shows nothing until it is given another.
//
// One window serves the whole program run; Present shows it next to a window without
// waiting, usable even while that window is modal. Close hides it for the next use.
// Zoom errors and printing errors go to the program's error box.
// The Print button's icon where the desktop's theme has no "document-print".
QIcon FallbackPrinterIcon();

class TPreviewForm : public QWidget
{
    Q_OBJECT
public:
    explicit TPreviewForm(QWidget* parent = nullptr);
    ~TPreviewForm() override;

    void SetPrintComponent(TSchedPrintBase* component);
    TSchedPrintBase* PrintComponent() const { return m_component; }
    // Shows the window over `over` (not waiting), laid out anew and brought forward.
    void Present(QWidget* over);

    bool FitMode() const { return m_fit != 0; }
    // The preview's scale in percent (the computed one in fit mode).
    int ScalePercent() const;

    // Published components.
    QToolButton* tbPrint;
    QToolButton* tbMagnifier;
    QComboBox* cbZoom;
    QPushButton* btClose;
    QPrintPreviewWidget* SchedPreview;

public slots:
    void tbPrintClick();
    void tbMagnifierClick();
    // A text chosen from or typed into the zoom list.
    void cbZoomApply(const QString& text);
    void btCloseClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class TPreviewHostGuard;
    void paintPage(QPrinter* printer);
    void applyMode();
    void showScale();
    void moveLens(const QPoint& viewportPos);
    void detach();

    QPointer<TSchedPrintBase> m_component;
    int m_fit = 0; // 0 fixed scale, 1 page width, 2 whole page
    int m_percent = 100;
    QWidget* m_viewport = nullptr;
    QLabel* m_lens = nullptr;
    QPointer<QObject> m_hostGuard;
};
