#pragma once

#include "uError.h"
#include "uSchedPage.h"

#include <QDate>
#include <QObject>
#include <QPageLayout>
#include <QPointer>

#include <functional>
#include <memory>

class QPrinter;

// Printing errors: no printer, or a printer that failed.
class ESchedPrintError : public EQuilloryError
{
public:
    using EQuilloryError::EQuilloryError;
};

// Where Print() prints: the system's default printer, or the first printer installed
// when none is the default. Tests install a factory that gives a printer writing a PDF
// (or none, to stand for a machine without printers). Returns the factory it replaced.
using TSchedPrinterFactory = std::function<std::unique_ptr<QPrinter>()>;
TSchedPrinterFactory SetSchedPrinterFactory(TSchedPrinterFactory factory);
// The printer Print() uses; raises ESchedPrintError "No printer is installed" when there is none.
std::unique_ptr<QPrinter> SchedDefaultPrinter();

// A print component: one page showing the period of its start date from the store,
// drawn by the same painter as the view. The week begins on the default locale's first day.
class TSchedPrintBase : public QObject
{
    Q_OBJECT
public:
    explicit TSchedPrintBase(QObject* parent = nullptr);

    void SetServer(TSchedServer* server) { m_server = server; }
    TSchedServer* Server() const { return m_server; }
    void SetStartDate(QDate date) { m_start = date; }
    QDate StartDate() const { return m_start; }

    // One print job of one page on the default printer, no dialog; without a printer, the
    // user may save the page as a PDF file instead. Raises ESchedPrintError.
    void Print();
    // Draws the page on a printer (a PDF, the preview's); ends nothing the caller began.
    // Raises ESchedPrintError when the printer cannot be painted on.
    void PrintOn(QPrinter* printer) const;

    virtual TSchedPageSpec PageSpec() const;
    virtual QPageLayout::Orientation Orientation() const = 0;

protected:
    virtual TSchedPageKind Kind() const = 0;

private:
    QPointer<TSchedServer> m_server;
    QDate m_start;
};

// One day from its top time to its end time in rows of 30 minutes.
class TSchedDayViewPrint : public TSchedPrintBase
{
    Q_OBJECT
public:
    using TSchedPrintBase::TSchedPrintBase;
    // Minutes of the day; 08:00 and 18:00 unless set.
    int TopMinute = 8 * 60;
    int EndMinute = 18 * 60;
    TSchedPageSpec PageSpec() const override;
    QPageLayout::Orientation Orientation() const override { return QPageLayout::Portrait; }

protected:
    TSchedPageKind Kind() const override { return TSchedPageKind::Day; }
};

// The week that holds the start date.
class TSchedWeekViewPrint : public TSchedPrintBase
{
    Q_OBJECT
public:
    using TSchedPrintBase::TSchedPrintBase;
    QPageLayout::Orientation Orientation() const override { return QPageLayout::Landscape; }

protected:
    TSchedPageKind Kind() const override { return TSchedPageKind::Week; }
};

// Five weeks from the week that holds the start date; Saturday and Sunday share a cell.
class TSchedMonthViewPrint : public TSchedPrintBase
{
    Q_OBJECT
public:
    using TSchedPrintBase::TSchedPrintBase;
    QPageLayout::Orientation Orientation() const override { return QPageLayout::Landscape; }

protected:
    TSchedPageKind Kind() const override { return TSchedPageKind::Month; }
};
