#include "SchedPreviewDlg.h"

#include "uErrorBox.h"
#include "uSchedPeriod.h"
#include "uSchedPrint.h"
#include "uWidgets.h"

#include <QComboBox>
#include <QEvent>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

// A child of the window the preview is shown over, made before the preview joins it:
// the window deletes it first, and it takes the preview back out, so that closing or
// destroying that window never takes the preview with it.
class TPreviewHostGuard : public QObject
{
public:
    TPreviewHostGuard(QObject* host, TPreviewForm* form) : QObject(host), m_form(form) {}
    ~TPreviewHostGuard() override
    {
        if (m_form && m_form->parentWidget() == parent())
            m_form->detach();
    }

private:
    QPointer<TPreviewForm> m_form;
};

// A printer drawn here for desktops whose icon theme has none: Qt's own set has no printer.
QIcon FallbackPrinterIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9.5, 3.5, 13, 10));   // the paper going in
    p.setBrush(QColor(150, 150, 150));
    p.drawRoundedRect(QRectF(3.5, 12.5, 25, 11), 2, 2); // the body
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8.5, 19.5, 15, 9));   // the printed page
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.drawLine(QPointF(11, 23), QPointF(21, 23));
    p.drawLine(QPointF(11, 26), QPointF(19, 26));
    return QIcon(pixmap);
}

TPreviewForm::TPreviewForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("PreviewForm"));
    setWindowTitle(QStringLiteral("PreviewForm"));
    resize(706, 480);

    auto* bar = Make<QToolBar>(this, "ToolBar1");
    tbPrint = Make<QToolButton>(bar, "tbPrint");
    tbPrint->setToolTip(QStringLiteral("Print"));
    tbPrint->setIcon(QIcon::fromTheme(QStringLiteral("document-print"), FallbackPrinterIcon()));
    tbPrint->setText(QStringLiteral("Print"));
    tbMagnifier = Make<QToolButton>(bar, "tbMagnifier");
    tbMagnifier->setToolTip(QStringLiteral("Magnifier"));
    tbMagnifier->setText(QStringLiteral("Magnifier"));
    tbMagnifier->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    tbMagnifier->setCheckable(true);
    cbZoom = Make<QComboBox>(bar, "cbZoom");
    cbZoom->setEditable(true);
    cbZoom->setInsertPolicy(QComboBox::NoInsert);
    cbZoom->addItems(SchedZoomEntries());
    cbZoom->setEditText(QStringLiteral("100%"));
    cbZoom->setMinimumContentsLength(10);
    cbZoom->lineEdit()->installEventFilter(this);
    btClose = Make<QPushButton>(bar, "btClose", QStringLiteral("&Close"));
    bar->addWidget(tbPrint);
    bar->addWidget(tbMagnifier);
    bar->addWidget(cbZoom);
    bar->addWidget(btClose);

    // Its own printer: the page size and margins the preview lays out.
    SchedPreview = Make<QPrintPreviewWidget>(this, "SchedPreview");
    SchedPreview->setViewMode(QPrintPreviewWidget::SinglePageView);
    SchedPreview->setZoomMode(QPrintPreviewWidget::CustomZoom);
    SchedPreview->setZoomFactor(1.0);
    if (auto* view = SchedPreview->findChild<QGraphicsView*>()) {
        m_viewport = view->viewport();
        m_viewport->installEventFilter(this);
        m_viewport->setMouseTracking(true);
    }
    SchedPreview->installEventFilter(this);
    m_lens = Make<QLabel>(this, "Magnifier");
    m_lens->setFrameShape(QFrame::Box);
    m_lens->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_lens->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(SchedPreview, 1);

    connect(tbPrint, &QToolButton::clicked, this, &TPreviewForm::tbPrintClick);
    connect(tbMagnifier, &QToolButton::toggled, this, &TPreviewForm::tbMagnifierClick);
    connect(btClose, &QPushButton::clicked, this, &TPreviewForm::btCloseClick);
    connect(cbZoom, &QComboBox::activated, this, [this](int index) { cbZoomApply(cbZoom->itemText(index)); });
    connect(SchedPreview, &QPrintPreviewWidget::paintRequested, this, &TPreviewForm::paintPage);
}

TPreviewForm::~TPreviewForm()
{
    delete m_hostGuard;
}

void TPreviewForm::SetPrintComponent(TSchedPrintBase* component)
{
    if (m_component)
        disconnect(m_component, nullptr, this, nullptr);
    m_component = component;
    if (component)
        connect(component, &QObject::destroyed, this, [this]() {
            // Its query window is gone: show nothing until given another component.
            SchedPreview->updatePreview();
        });
    SchedPreview->updatePreview();
}

void TPreviewForm::paintPage(QPrinter* printer)
{
    if (!m_component) {
        // An empty page: what was shown before must not stay.
        QPainter blank(printer);
        return;
    }
    try {
        m_component->PrintOn(printer);
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

void TPreviewForm::Present(QWidget* over)
{
    QWidget* host = over ? over->window() : nullptr;
    if (host && host != this && parentWidget() != host) {
        // A window of a modal window stays usable beside it: join the one shown over.
        delete m_hostGuard;
        m_hostGuard = new TPreviewHostGuard(host, this);
        const QRect frame = geometry();
        setParent(host, Qt::Window);
        setGeometry(frame);
        host->installEventFilter(this);
    }
    SchedPreview->updatePreview();
    applyMode();
    show();
    raise();
    activateWindow();
}

void TPreviewForm::detach()
{
    QWidget* host = parentWidget();
    if (!host)
        return;
    host->removeEventFilter(this);
    const bool visible = isVisible();
    const QRect frame = geometry();
    setParent(nullptr, Qt::Window);
    setGeometry(frame);
    if (visible)
        show();
}

int TPreviewForm::ScalePercent() const
{
    return int(std::lround(SchedPreview->zoomFactor() * 100));
}

void TPreviewForm::applyMode()
{
    if (m_fit == 1)
        SchedPreview->setZoomMode(QPrintPreviewWidget::FitToWidth);
    else if (m_fit == 2)
        SchedPreview->setZoomMode(QPrintPreviewWidget::FitInView);
    else {
        SchedPreview->setZoomMode(QPrintPreviewWidget::CustomZoom);
        SchedPreview->setZoomFactor(m_percent / 100.0);
    }
    if (m_fit)
        showScale();
}

void TPreviewForm::showScale()
{
    cbZoom->setEditText(QString::number(ScalePercent()) + QLatin1Char('%'));
}

void TPreviewForm::cbZoomApply(const QString& text)
{
    const TSchedZoomChoice choice = SchedParseZoom(text);
    switch (choice.kind) {
    case TSchedZoomChoice::Invalid:
        // The scale is unchanged; the error box says why.
        ShowErrorBox(choice.error);
        return;
    case TSchedZoomChoice::Scale:
        m_fit = 0;
        m_percent = choice.percent;
        break;
    case TSchedZoomChoice::PageWidth:
        m_fit = 1;
        break;
    case TSchedZoomChoice::WholePage:
        m_fit = 2;
        break;
    }
    applyMode();
}

void TPreviewForm::tbPrintClick()
{
    RunCommand([this]() {
        if (m_component)
            m_component->Print();
    });
}

void TPreviewForm::tbMagnifierClick()
{
    if (!tbMagnifier->isChecked())
        m_lens->hide();
    if (m_viewport)
        m_viewport->setCursor(tbMagnifier->isChecked() ? Qt::CrossCursor : Qt::ArrowCursor);
}

void TPreviewForm::btCloseClick()
{
    hide();
}

void TPreviewForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    applyMode();
}

void TPreviewForm::moveLens(const QPoint& pos)
{
    // Twice the size of what lies under the pointer, beside it.
    const QSize source(90, 60);
    const QRect from(pos - QPoint(source.width() / 2, source.height() / 2), source);
    const QPixmap grabbed = m_viewport->grab(from);
    m_lens->setPixmap(grabbed.scaled(source * 2, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_lens->resize(source * 2);
    const QPoint at = m_viewport->mapTo(this, pos) + QPoint(16, 16);
    m_lens->move(at);
    m_lens->show();
    m_lens->raise();
}

bool TPreviewForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cbZoom->lineEdit() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            cbZoomApply(cbZoom->currentText());
            return true;
        }
    }
    if (watched == m_viewport) {
        if (event->type() == QEvent::MouseButtonPress)
            showScale();
        else if (event->type() == QEvent::MouseMove && tbMagnifier->isChecked())
            moveLens(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Leave)
            m_lens->hide();
    }
    if (watched == SchedPreview && event->type() == QEvent::Resize && m_fit)
        showScale();
    if (watched == parentWidget() && event->type() == QEvent::Hide)
        detach();
    return QWidget::eventFilter(watched, event);
}
