// The Diary page of the query window: the rows shown as appointments placed by a date
// column. The logic lives in uDiary; here are the page's components and handlers.

#include "formShowQuery.h"

#include "SchedPreviewDlg.h"
#include "uDbRowCursor.h"
#include "uDiary.h"
#include "uDiaryExport.h"
#include "uDialogs.h"
#include "uErrorBox.h"
#include "uParameters.h"
#include "uSchedAllView.h"
#include "uSchedCalendar.h"
#include "uSchedPrint.h"
#include "uWidgets.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Column lists: editable combo boxes whose entries, sorted by name, carry the column's
// position as their value.
TValueComboBox* makeColumnList(QWidget* parent, const char* name)
{
    auto* list = Make<TValueComboBox>(parent, name);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setFixedWidth(129);
    return list;
}

// The folder the last calendar file went to, so the next one starts there.
constexpr auto kExportFolderParameter = "DiaryExportFolder";

// The query's name as a file name: characters no file name may hold become "_".
QString calendarFileName(const QString& queryName)
{
    QString name = queryName.trimmed();
    for (QChar& c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 32)
            c = QLatin1Char('_');
    return (name.isEmpty() ? QStringLiteral("Diary") : name) + QLatin1String(".ics");
}

void fillColumnList(TValueComboBox* list, QList<TDiaryColumn> columns)
{
    std::stable_sort(columns.begin(), columns.end(), [](const TDiaryColumn& a, const TDiaryColumn& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    for (const TDiaryColumn& c : columns)
        list->AddItem(c.name, c.position);
}

} // namespace

void TfrmShowQuery::buildDiaryPage()
{
    tabDiary = Make<QWidget>(nullptr, "tabDiary");
    auto* page = new QHBoxLayout(tabDiary);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    onlDiaryLeft = Make<QFrame>(tabDiary, "onlDiaryLeft");
    onlDiaryLeft->setMinimumWidth(185);
    onlDiaryLeft->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* left = new QVBoxLayout(onlDiaryLeft);
    left->setContentsMargins(8, 12, 8, 8);
    left->setSpacing(3);

    Calendar = Make<TSchedCalendar>(onlDiaryLeft, "Calendar");
    QFont calendarFont(QStringLiteral("Verdana"), 8);
    calendarFont.setStyleHint(QFont::SansSerif);
    Calendar->setFont(calendarFont);
    Calendar->SetDate(QDate(2004, 4, 1));
    left->addWidget(Calendar);
    // The views open where their layout says; these move them to where the entries are.
    auto* moves = new QHBoxLayout;
    moves->setSpacing(4);
    btnDiaryToday = Make<QPushButton>(onlDiaryLeft, "btnDiaryToday", QStringLiteral("Today"));
    btnDiaryToday->setToolTip(QStringLiteral("Show today"));
    btnFirstEntry = Make<QPushButton>(onlDiaryLeft, "btnFirstEntry", QStringLiteral("First entry"));
    btnFirstEntry->setToolTip(QStringLiteral("Show the first entry of the diary"));
    moves->addWidget(btnDiaryToday);
    moves->addWidget(btnFirstEntry);
    left->addLayout(moves);
    left->addSpacing(5);
    Label1 = Make<QLabel>(onlDiaryLeft, "Label1", QStringLiteral("Get Date From:"));
    left->addWidget(Label1);
    cboDateIndex = makeColumnList(onlDiaryLeft, "cboDateIndex");
    left->addWidget(cboDateIndex);
    Label2 = Make<QLabel>(onlDiaryLeft, "Label2", QStringLiteral("Get Description From:"));
    left->addWidget(Label2);
    cboDescription = makeColumnList(onlDiaryLeft, "cboDescription");
    left->addWidget(cboDescription);
    Label3 = Make<QLabel>(onlDiaryLeft, "Label3", QStringLiteral("Secondary Info From:"));
    left->addWidget(Label3);
    cboSecondary = makeColumnList(onlDiaryLeft, "cboSecondary");
    left->addWidget(cboSecondary);
    // Why the diary is empty, or which list still needs a choice.
    lblDiaryHint = Make<QLabel>(onlDiaryLeft, "lblDiaryHint");
    lblDiaryHint->setWordWrap(true);
    lblDiaryHint->setStyleSheet(QStringLiteral("color: #b00000"));
    lblDiaryHint->hide();
    left->addWidget(lblDiaryHint);
    left->addSpacing(8);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 0, 0, 0);
    buttons->setSpacing(2);
    btnPreview = Make<QToolButton>(onlDiaryLeft, "btnPreview");
    btnPreview->setToolTip(QStringLiteral("Preivew the diary report"));
    btnPreview->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    btnPreview->setFocusPolicy(Qt::NoFocus);
    btnPreview->setAutoRaise(true);
    btnPreview->setFixedSize(25, 24);
    buttons->addWidget(btnPreview);
    btnPrintDiary = Make<QPushButton>(onlDiaryLeft, "btnPrintDiary", QStringLiteral("Print Diary"));
    btnPrintDiary->setToolTip(QStringLiteral("Print immediately"));
    btnPrintDiary->setFixedSize(89, 25);
    buttons->addWidget(btnPrintDiary);
    buttons->addStretch(1);
    left->addLayout(buttons);
    // The rows as a calendar file for desktop calendar programs.
    btnExportDiary = Make<QPushButton>(onlDiaryLeft, "btnExportDiary", QStringLiteral("Export Diary..."));
    btnExportDiary->setToolTip(QStringLiteral("Save the diary as an iCalendar file"));
    left->addWidget(btnExportDiary, 0, Qt::AlignLeft);
    left->addSpacing(3);

    rgpDiaryView = Make<TRadioGroup>(onlDiaryLeft, "rgpDiaryView", QStringLiteral("View"));
    rgpDiaryView->setMinimumWidth(121);
    rgpDiaryView->layout()->setContentsMargins(6, 2, 6, 4);
    rgpDiaryView->layout()->setSpacing(0);
    rgpDiaryView->AddItems({QStringLiteral("Day"), QStringLiteral("Working Week"), QStringLiteral("Week"),
                            QStringLiteral("Month")},
                           QStringLiteral("rgpDiaryView"));
    rgpDiaryView->SetItemIndex(2);
    left->addWidget(rgpDiaryView, 0, Qt::AlignLeft);
    left->addStretch(1);
    page->addWidget(onlDiaryLeft);

    SchedServer1 = Make<TSchedServer>(this, "SchedServer1");
    diaryView = Make<TSchedAllView>(tabDiary, "diaryView");
    diaryView->setFrameShape(QFrame::NoFrame);
    diaryView->SetHintMaxWidth(200);
    QFont timeFont(QStringLiteral("Tahoma"), 8);
    timeFont.setStyleHint(QFont::SansSerif);
    diaryView->SetTimeFont(timeFont);
    diaryView->SetServer(SchedServer1);
    Calendar->SetServer(SchedServer1);
    diaryView->SetViewMode(vmWeek);
    diaryView->SetStartDate(QDate(2004, 4, 19));
    page->addWidget(diaryView, 1);

    printDay = Make<TSchedDayViewPrint>(this, "printDay");
    printDay->SetServer(SchedServer1);
    printDay->TopMinute = 8 * 60;  // a third of a day
    printDay->EndMinute = 18 * 60; // 0.75 of a day
    printWeek = Make<TSchedWeekViewPrint>(this, "printWeek");
    printWeek->SetServer(SchedServer1);
    printMonth = Make<TSchedMonthViewPrint>(this, "printMonth");
    printMonth->SetServer(SchedServer1);

    pagQuery->addTab(tabDiary, QStringLiteral("Diary"));

    connect(Calendar, &TSchedCalendar::Click, this, &TfrmShowQuery::CalendarClick);
    connect(btnDiaryToday, &QPushButton::clicked, this, &TfrmShowQuery::btnDiaryTodayClick);
    connect(btnFirstEntry, &QPushButton::clicked, this, &TfrmShowQuery::btnFirstEntryClick);
    connect(rgpDiaryView, &TRadioGroup::Changed, this, &TfrmShowQuery::rgpDiaryViewClick);
    connect(btnPrintDiary, &QPushButton::clicked, this, &TfrmShowQuery::btnPrintDiaryClick);
    connect(btnPreview, &QToolButton::clicked, this, &TfrmShowQuery::btnPreviewClick);
    connect(btnExportDiary, &QPushButton::clicked, this, &TfrmShowQuery::btnExportDiaryClick);
    // Any change of a list's text, typed or chosen, refills the diary.
    connect(cboDateIndex, &QComboBox::currentTextChanged, this, &TfrmShowQuery::cboDateIndexChange);
    connect(cboDescription, &QComboBox::currentTextChanged, this, &TfrmShowQuery::cboDescriptionChange);
    connect(cboSecondary, &QComboBox::currentTextChanged, this, &TfrmShowQuery::cboSecondaryChange);
}

void TfrmShowQuery::cdsDataAfterOpen()
{
    // Choices made here do not fill the diary: that happens on the page or a user's change.
    const QSignalBlocker blockDates(cboDateIndex);
    const QSignalBlocker blockDescriptions(cboDescription);
    const QSignalBlocker blockSecondary(cboSecondary);
    for (TValueComboBox* list : {cboDateIndex, cboDescription, cboSecondary}) {
        list->setCurrentIndex(-1);
        list->clear();
        list->clearEditText();
    }
    lblDiaryHint->hide();
    if (!cdsData->Active())
        return;
    const TDiaryColumnLists lists = DiaryColumnLists(*cdsData->Rows());
    fillColumnList(cboDateIndex, lists.dates);
    fillColumnList(cboDescription, lists.descriptions);
    fillColumnList(cboSecondary, lists.secondary);
    // The only candidate is chosen; the secondary column never is.
    for (TValueComboBox* list : {cboDateIndex, cboDescription})
        list->setCurrentIndex(list->count() == 1 ? 0 : -1);
    cboSecondary->setCurrentIndex(-1);
}

void TfrmShowQuery::FillDiary()
{
    TDiaryChoice choice;
    // A column is chosen only while an entry is selected: typed text that selects none is no choice.
    choice.date = cboDateIndex->Value().value_or(-1);
    choice.description = cboDescription->Value().value_or(-1);
    choice.secondary = cboSecondary->Value().value_or(-1);
    // The rows are read by position: the cursor, and so the grid and inspector, stay put.
    const TDbRowsPtr rows = cdsData->Rows();
    RunCommand([&]() { DiaryFill(*SchedServer1, rows, choice); });
    const QString hint = rows ? DiaryChoiceHint(cboDateIndex->count(), cboDescription->count(), choice) : QString();
    lblDiaryHint->setText(hint);
    lblDiaryHint->setVisible(!hint.isEmpty());
}

void TfrmShowQuery::cboDateIndexChange()
{
    FillDiary();
}

void TfrmShowQuery::cboDescriptionChange()
{
    FillDiary();
}

void TfrmShowQuery::cboSecondaryChange()
{
    FillDiary();
}

void TfrmShowQuery::rgpDiaryViewClick()
{
    static constexpr TSchedViewMode modes[] = {vmDay, vmWorkWeek, vmWeek, vmMonth};
    const int item = rgpDiaryView->ItemIndex();
    if (item >= 0 && item < 4)
        diaryView->SetViewMode(modes[item]);
}

void TfrmShowQuery::CalendarClick()
{
    const QDate date = Calendar->Date();
    diaryView->SetStartDate(date);
    diaryView->SetDayDate(date);
}

TSchedPrintBase* TfrmShowQuery::SelectDiaryPrint()
{
    TDiaryViewState state;
    state.mode = diaryView->ViewMode();
    state.dayColumns = diaryView->DayColumnDates();
    state.dayColumnsSelected = diaryView->DayColumnsSelected();
    state.selectionStart = diaryView->SelectionStart();
    if (const TSchedItem* item = diaryView->SelectedItem()) {
        state.itemSelected = true;
        state.selectedStart = item->Start;
    }
    state.startDate = diaryView->StartDate();
    const TDiaryPrintChoice choice = DiaryPrintChoice(state);
    TSchedPrintBase* component = nullptr;
    switch (choice.kind) {
    case TDiaryPrintChoice::Day:
        component = printDay;
        break;
    case TDiaryPrintChoice::Week:
        component = printWeek;
        break;
    case TDiaryPrintChoice::Month:
        component = printMonth;
        break;
    case TDiaryPrintChoice::None:
        return nullptr;
    }
    component->SetStartDate(choice.start);
    return component;
}

void TfrmShowQuery::btnPrintDiaryClick()
{
    RunCommand([this]() {
        if (TSchedPrintBase* component = SelectDiaryPrint())
            component->Print();
    });
}

void TfrmShowQuery::btnPreviewClick()
{
    TPreviewForm* preview = m_previews ? m_previews() : nullptr;
    if (!preview) {
        // No program-wide preview was handed over: this window keeps one of its own.
        if (!m_ownPreview)
            m_ownPreview = new TPreviewForm(this);
        preview = m_ownPreview;
    }
    preview->SetPrintComponent(SelectDiaryPrint());
    preview->Present(this);
}

void TfrmShowQuery::btnExportDiaryClick()
{
    const TDbRowsPtr rows = cdsData->Rows();
    TDiaryChoice choice;
    choice.date = cboDateIndex->Value().value_or(-1);
    choice.description = cboDescription->Value().value_or(-1);
    choice.secondary = cboSecondary->Value().value_or(-1);
    RunCommand([&]() {
        if (!rows || choice.date < 0 || choice.description < 0)
            throw EDiaryExportError(QStringLiteral("Choose the columns of the diary before exporting it."));
        const QString name = windowTitle();
        const QString folder = ReadParameter(QLatin1String(kExportFolderParameter), QDir::homePath());
        QString file = dialogs::saveFileName(QStringLiteral("Export Diary"),
                                             QDir(folder).filePath(calendarFileName(name)),
                                             QStringLiteral("iCalendar files (*.ics);;All Files (*)"));
        if (file.isEmpty())
            return;
        if (QFileInfo(file).suffix().isEmpty())
            file += QLatin1String(".ics");
        WriteParameter(QLatin1String(kExportFolderParameter), QFileInfo(file).absolutePath());
        const TDiaryExportResult result =
            DiaryExportICalendar(file, *rows, choice, name, QStringLiteral("quillory-query-%1").arg(QueryId));
        // Say so only when something was left out; a whole export needs no word.
        if (result.skipped > 0)
            dialogs::showInfo(QStringLiteral("%1 entries were exported. %2 entries lie outside the years 1 to 9999, "
                                             "which a calendar file cannot hold, and were left out.")
                                  .arg(result.written)
                                  .arg(result.skipped),
                              QStringLiteral("Export Diary"));
    });
}

void TfrmShowQuery::btnDiaryTodayClick()
{
    Calendar->SetDate(QDate::currentDate());
    CalendarClick();
}

void TfrmShowQuery::btnFirstEntryClick()
{
    const QDate first = DiaryFirstEntryDate(*SchedServer1);
    if (!first.isValid())
        return;
    Calendar->SetDate(first);
    CalendarClick();
}
