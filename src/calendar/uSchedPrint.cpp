#include "uSchedPrint.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

TSchedPrinterFactory& factory()
{
    static TSchedPrinterFactory installed;
    return installed;
}

} // namespace

TSchedPrinterFactory SetSchedPrinterFactory(TSchedPrinterFactory f)
{
    TSchedPrinterFactory previous = std::move(factory());
    factory() = std::move(f);
    return previous;
}

std::unique_ptr<QPrinter> SchedDefaultPrinter()
{
    std::unique_ptr<QPrinter> printer;
    if (factory()) {
        printer = factory()();
    } else {
        QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) {
            const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
            if (!all.isEmpty())
                info = all.first();
        }
        if (!info.isNull())
            printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    // Never a silent PDF or nothing at all: say why nothing can be printed.
    if (!printer)
        throw ESchedPrintError(QStringLiteral("No printer is installed"));
    return printer;
}

TSchedPrintBase::TSchedPrintBase(QObject* parent) : QObject(parent) {}

TSchedPageSpec TSchedPrintBase::PageSpec() const
{
    TSchedPageSpec spec;
    spec.kind = Kind();
    spec.start = m_start;
    spec.locale = QLocale();
    spec.firstDay = spec.locale.firstDayOfWeek();
    return spec;
}

TSchedPageSpec TSchedDayViewPrint::PageSpec() const
{
    TSchedPageSpec spec = TSchedPrintBase::PageSpec();
    spec.topMinute = TopMinute;
    spec.endMinute = EndMinute;
    return spec;
}

void TSchedPrintBase::Print()
{
    std::unique_ptr<QPrinter> printer = SchedDefaultPrinter();
    printer->setDocName(QStringLiteral("Diary"));
    printer->setCopyCount(1);
    PrintOn(printer.get());
}

void TSchedPrintBase::PrintOn(QPrinter* printer) const
{
    printer->setPageOrientation(Orientation());
    QPainter painter;
    if (!painter.begin(printer))
        throw ESchedPrintError(QStringLiteral("Printing failed: the printer \"%1\" cannot be opened")
                                   .arg(printer->printerName().isEmpty() ? printer->outputFileName()
                                                                         : printer->printerName()));
    const QRectF page(QPointF(0, 0), printer->pageLayout().paintRectPixels(printer->resolution()).size());
    SchedPaintPage(painter, page, m_server, PageSpec());
    if (!painter.end() || printer->printerState() == QPrinter::Error)
        throw ESchedPrintError(QStringLiteral("Printing failed: the printer reported an error"));
}
