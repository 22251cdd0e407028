#include "calendarTestSupport.h"
#include "uDialogScript.h"
#include "uErrorBox.h"
#include "uParameters.h"
#include "uSchedPrint.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(program, QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A printed PDF file as the checks see it: its text, page count and first page's image.
struct PrintedPdf
{
    QString text;
    int pages = 0;
    QImage image;

    explicit PrintedPdf(const QString& file)
    {
        text = run("pdftotext", {"-layout", file, "-"}).simplified();
        for (const QString& line : run("pdfinfo", {file}).split('\n'))
            if (line.startsWith("Pages:"))
                pages = line.mid(6).trimmed().toInt();
        run("pdftoppm", {"-r", "40", "-png", "-singlefile", file, file + "-page"});
        image.load(file + "-page.png");
    }
    // The share of the page that is not white.
    double ink() const
    {
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 200)
                    ++dark;
        return image.isNull() ? 0 : double(dark) / (image.width() * image.height());
    }
};

} // namespace

class tst_schedPrint : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { SetSchedPrinterFactory({}); }
    void printsThePeriodOnOnePage_data();
    void printsThePeriodOnOnePage();
    void noPrinterOffersAPdfFile();
    void aFailingPrinterIsReported();
    void crowdedDayPrintsHowManyAreLeftOut();
    void everyPrintedPeriodAccountsForAllItsEntries_data();
    void everyPrintedPeriodAccountsForAllItsEntries();
    void pagesUseArialOrItsSubstitute();

private:
    QString pdf(const QString& name) { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    TSchedServer m_server;
};

void tst_schedPrint::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QVERIFY(m_dir.isValid());
    add(m_server, QDate(2004, 4, 21), QTime(10, 0), "Board meeting");
    add(m_server, QDate(2004, 4, 21), QTime(7, 0), "Before hours");
    add(m_server, QDate(2004, 4, 25), QTime(11, 0), "Sunday brunch");
    add(m_server, QDate(2004, 4, 24), QTime(9, 0), "Saturday market");
    add(m_server, QDate(2004, 4, 30), QTime(23, 50), "Late call");
    add(m_server, QDate(2004, 6, 15), QTime(9, 0), "Far away");
}

void tst_schedPrint::printsThePeriodOnOnePage_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("day: 08:00 to 18:00")
        << 0 << QDate(2004, 4, 21) << QStringList{"Wednesday 21 April 2004", "08:00 - 18:00", "Board meeting"}
        << QStringList{"Before hours", "Sunday brunch"};
    QTest::newRow("week that holds a Thursday")
        << 1 << QDate(2004, 4, 22) << QStringList{"19 April 2004 - 25 April 2004", "Board meeting", "Sunday brunch"}
        << QStringList{"Late call", "Far away"};
    QTest::newRow("five weeks from the week of the 1st")
        << 2 << QDate(2004, 4, 1)
        << QStringList{"April 2004", "29 March 2004 - 2 May 2004", "Board meeting", "Saturday market", "Sunday brunch",
                       "Late call", "Sat/Sun"}
        << QStringList{"Far away"};
}

void tst_schedPrint::printsThePeriodOnOnePage()
{
    QFETCH(int, kind);
    QFETCH(QDate, start);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    std::unique_ptr<TSchedPrintBase> component;
    if (kind == 0)
        component = std::make_unique<TSchedDayViewPrint>();
    else if (kind == 1)
        component = std::make_unique<TSchedWeekViewPrint>();
    else
        component = std::make_unique<TSchedMonthViewPrint>();
    component->SetServer(&m_server);
    component->SetStartDate(start);

    // Print() goes to the "default printer", here one writing a PDF file.
    const QString file = pdf(QString("print-%1.pdf").arg(kind));
    SetSchedPrinterFactory([file]() {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file);
        return printer;
    });
    component->Print();

    const PrintedPdf printed(file);
    QCOMPARE(printed.pages, 1);
    for (const QString& text : present)
        QVERIFY2(printed.text.contains(text), qPrintable(text + " missing in: " + printed.text));
    for (const QString& text : absent)
        QVERIFY2(!printed.text.contains(text), qPrintable(text + " printed"));
    QVERIFY2(printed.ink() > 0.01, "the rendered page is blank");
    // Week and month print across the page.
    QCOMPARE(printed.image.width() > printed.image.height(), kind != 0);
}

// Without a printer the page is offered as a PDF file; the folder chosen is where the
// next one starts. Declining leaves nothing behind.
void tst_schedPrint::noPrinterOffersAPdfFile()
{
    InitParameters(nullptr);
    SetSchedPrinterFactory([]() { return std::unique_ptr<QPrinter>(); });
    TSchedMonthViewPrint month;
    month.SetServer(&m_server);
    month.SetStartDate(QDate(2004, 4, 1));
    {
        ScriptedDialogs dialogs;
        dialogs.no();
        RunCommand([&]() { month.Print(); });
        QCOMPARE(dialogs.shown().size(), 1);
        QCOMPARE(dialogs.last().kind, dialogs::Kind::Question);
        QCOMPARE(dialogs.last().text, QStringLiteral("No printer is installed.\nSave the page as a PDF file instead?"));
    }
    const QString folder = m_dir.filePath("kept");
    QVERIFY(QDir().mkpath(folder));
    {
        ScriptedDialogs dialogs;
        dialogs.yes().file(folder + "/april");
        RunCommand([&]() { month.Print(); });
        QCOMPARE(dialogs.shown().size(), 2);
        QCOMPARE(dialogs.last().kind, dialogs::Kind::SaveFile);
        QCOMPARE(dialogs.last().value, QDir::home().filePath("Diary.pdf"));
    }
    const PrintedPdf printed(folder + "/april.pdf");
    QCOMPARE(printed.pages, 1);
    QVERIFY2(printed.text.contains("Board meeting"), qPrintable(printed.text));
    {
        ScriptedDialogs dialogs;
        dialogs.yes().cancel();
        RunCommand([&]() { month.Print(); });
        QCOMPARE(dialogs.last().value, folder + "/Diary.pdf");
        QCOMPARE(dialogs.texts().size(), 2); // no error after a cancelled choice
    }
    QVERIFY(!QFileInfo::exists(folder + "/Diary.pdf"));
}

void tst_schedPrint::aFailingPrinterIsReported()
{
    SetSchedPrinterFactory([]() {
        auto printer = std::make_unique<QPrinter>();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName("/nonexistent-folder/diary.pdf");
        return printer;
    });
    TSchedWeekViewPrint week;
    week.SetServer(&m_server);
    week.SetStartDate(QDate(2004, 4, 19));
    try {
        week.Print();
        QFAIL("printing into a missing folder reported success");
    } catch (const ESchedPrintError& e) {
        QVERIFY2(e.message().contains("/nonexistent-folder/diary.pdf"), qPrintable(e.message()));
    }
}

// Paper cannot scroll: a day with more entries than its cell holds prints how many were
// left out, and what is printed plus that count is every entry of the day.
void tst_schedPrint::crowdedDayPrintsHowManyAreLeftOut()
{
    TSchedServer crowded;
    const int total = 40;
    for (int i = 0; i < total; ++i)
        add(crowded, QDate(2004, 4, 14), QTime(9, 0).addSecs(60 * i), QString("Entry%1x").arg(i, 2, 10, QChar('0')));
    const QString file = pdf("crowded.pdf");
    SetSchedPrinterFactory([file]() {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file);
        return printer;
    });
    TSchedMonthViewPrint month;
    month.SetServer(&crowded);
    month.SetStartDate(QDate(2004, 4, 1));
    month.Print();
    const PrintedPdf printed(file);
    const int shown = int(printed.text.count(QRegularExpression("Entry\\d\\dx")));
    const QRegularExpressionMatch more = QRegularExpression("\\+(\\d+)").match(printed.text);
    QVERIFY2(more.hasMatch(), qPrintable(printed.text));
    QVERIFY(shown > 0);
    QCOMPARE(shown + more.captured(1).toInt(), total);
}

void tst_schedPrint::everyPrintedPeriodAccountsForAllItsEntries_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("crowd");  // entries at 10:00 on 14 April 2004
    QTest::addColumn<int>("early");  // entries at 06:00, before the day page's hours
    QTest::addColumn<int>("late");   // entries at 20:00, after them
    QTest::newRow("day page: before, after and past the lanes") << 0 << 30 << 3 << 2;
    QTest::newRow("week page: a cell overflowing") << 1 << 45 << 0 << 0;
    QTest::newRow("month page: a cell overflowing") << 2 << 25 << 2 << 1;
}

// On paper nothing scrolls: whatever does not fit is a "+N more" note, and the entries
// printed plus those counted are every entry of the period.
void tst_schedPrint::everyPrintedPeriodAccountsForAllItsEntries()
{
    QFETCH(int, kind);
    QFETCH(int, crowd);
    QFETCH(int, early);
    QFETCH(int, late);
    TSchedServer server;
    const QDate day(2004, 4, 14);
    int n = 0;
    auto addAt = [&](QTime time, int count) {
        for (int i = 0; i < count; ++i, ++n)
            add(server, day, time, QString("Q%1").arg(n, 2, 10, QChar('0')));
    };
    addAt(QTime(10, 0), crowd);
    addAt(QTime(6, 0), early);
    addAt(QTime(20, 0), late);
    std::unique_ptr<TSchedPrintBase> component;
    if (kind == 0)
        component = std::make_unique<TSchedDayViewPrint>();
    else if (kind == 1)
        component = std::make_unique<TSchedWeekViewPrint>();
    else
        component = std::make_unique<TSchedMonthViewPrint>();
    component->SetServer(&server);
    component->SetStartDate(kind == 2 ? QDate(2004, 4, 1) : day);
    const QString file = pdf(QString("accounted-%1.pdf").arg(kind));
    SetSchedPrinterFactory([file]() {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file);
        return printer;
    });
    component->Print();
    const PrintedPdf printed(file);
    const int shown = int(printed.text.count(QRegularExpression("Q\\d\\d")));
    int counted = 0;
    int notes = 0;
    QRegularExpressionMatchIterator more = QRegularExpression("\\+(\\d+) more").globalMatch(printed.text);
    while (more.hasNext()) {
        counted += more.next().captured(1).toInt();
        ++notes;
    }
    QVERIFY2(notes > 0, qPrintable(printed.text));
    QVERIFY(shown > 0);
    QCOMPARE(shown + counted, n);
}

void tst_schedPrint::pagesUseArialOrItsSubstitute()
{
    // The body font is metric-compatible with Arial: the same text measures the same.
    const QFontInfo info(SchedPageFont(12));
    QVERIFY2(info.family() == "Arial" || info.family() == "Liberation Sans", qPrintable(info.family()));
    QCOMPARE(SchedPageFont(24).pointSize(), 24);
}

QTEST_MAIN(tst_schedPrint)
#include "tst_schedPrint.moc"
