#include "uSchedPrint.h"

#include "uDialogs.h"
#include "uParameters.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

TSchedPrinterFactory& factory()
{
    static TSchedPrinterFactory installed;
    return installed;
}

// The folder the last PDF went to, so the next one starts there.
constexpr auto kPdfFolderParameter = "DiaryPdfFolder";

// On a desktop without a printer the page can still be kept: offered as a PDF file
// instead of only being told that nothing can be printed. Null when the user declines.
std::unique_ptr<QPrinter> pdfPrinterInstead()
{
    if (!dialogs::askYesNo(QStringLiteral("No printer is installed.\nSave the page as a PDF file instead?"),
                           QStringLiteral("Print Diary")))
        return nullptr;
    const QString folder = ReadParameter(QLatin1String(kPdfFolderParameter), QDir::homePath());
    QString file = dialogs::saveFileName(QStringLiteral("Save the page as PDF"),
                                         QDir(folder).filePath(QStringLiteral("Diary.pdf")),
                                         QStringLiteral("PDF files (*.pdf);;All Files (*)"));
    if (file.isEmpty())
        return nullptr;
    if (QFileInfo(file).suffix().isEmpty())
        file += QLatin1String(".pdf");
    WriteParameter(QLatin1String(kPdfFolderParameter), QFileInfo(file).absolutePath());
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(file);
    return printer;
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
    std::unique_ptr<QPrinter> printer;
    try {
        printer = SchedDefaultPrinter();
    } catch (const ESchedPrintError&) {
        printer = pdfPrinterInstead();
        if (!printer)
            return;
    }
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
