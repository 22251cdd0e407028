#include "formShowQuery.h"

#include "datModQuillory.h"
#include "frameQuery.h"
#include "uDbConnection.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbLocateDialog.h"
#include "uDbNavigator.h"
#include "uDbQuery.h"
#include "uDbRecordView.h"
#include "uDbSearchDialog.h"
#include "uDialogs.h"
#include "uError.h"
#include "uErrorBox.h"
#include "uExportCSV.h"
#include "uProgressRun.h"
#include "uWidgets.h"
#include "utils.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <atomic>

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int width)
{
    auto* button = Make<QPushButton>(parent, name, caption);
    button->setFixedSize(width, 25);
    return button;
}

} // namespace

TfrmShowQuery::TfrmShowQuery(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmShowQuery"));
    setWindowTitle(QLatin1String(kNewQueryCaption));
    resize(696, 480);
    move(192, 114);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_clientLayout = new QVBoxLayout;
    m_clientLayout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_clientLayout, 1);

    pagQuery = Make<QTabWidget>(this, "pagQuery");
    TabDesign = Make<QWidget>(nullptr, "TabDesign");
    auto* designLayout = new QVBoxLayout(TabDesign);
    designLayout->setContentsMargins(0, 0, 0, 0);
    pagQuery->addTab(TabDesign, QStringLiteral("Design"));

    TabData = Make<QWidget>(nullptr, "TabData");
    auto* dataLayout = new QVBoxLayout(TabData);
    dataLayout->setContentsMargins(0, 0, 0, 0);
    dataLayout->setSpacing(0);
    Panel1 = Make<QFrame>(TabData, "Panel1");
    Panel1->setFixedHeight(33);
    Panel1->installEventFilter(this);
    // The search is reached by a double-click on the bar's free part; the hint and Ctrl+F
    // make it findable.
    Panel1->setToolTip(QStringLiteral("Double-click here or press Ctrl+F to search the rows"));
    auto* toolLayout = new QHBoxLayout(Panel1);
    toolLayout->setContentsMargins(20, 4, 8, 4);
    toolLayout->setSpacing(8);
    navData = Make<TDbNavigator>(Panel1, "navData");
    toolLayout->addWidget(navData);
    toolLayout->addSpacing(6);
    btnLocate = makeButton(Panel1, "btnLocate", QStringLiteral("Locate"), 77);
    btnLocate->setToolTip(QStringLiteral("Locate Item"));
    toolLayout->addWidget(btnLocate);
    btnExport = makeButton(Panel1, "btnExport", QStringLiteral("Export"), 77);
    btnExport->setToolTip(QStringLiteral("Export grid to a file of comma separated values "));
    toolLayout->addWidget(btnExport);
    toolLayout->addStretch(1);
    btnShowdetail = makeButton(Panel1, "btnShowdetail", QStringLiteral("Show/hide detail"), 115);
    btnShowdetail->setToolTip(QStringLiteral("Show/Hide Detail"));
    toolLayout->addWidget(btnShowdetail);
    dataLayout->addWidget(Panel1);
    lblWarning = MakeWarningLine(TabData, "lblWarning");
    dataLayout->addWidget(lblWarning);
    Splitter1 = Make<QSplitter>(TabData, "Splitter1", Qt::Horizontal);
    Splitter1->setChildrenCollapsible(false);
    gridData = Make<TDbGrid>(Splitter1, "gridData");
    gridData->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    gridData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    inspector = Make<TDbRecordView>(Splitter1, "inspector");
    inspector->setToolTip(QStringLiteral("show and hide these properties using the toolbar"));
    Splitter1->addWidget(gridData);
    Splitter1->addWidget(inspector);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({696 - 236, 236});
    dataLayout->addWidget(Splitter1, 1);
    pagQuery->addTab(TabData, QStringLiteral("Data"));
    buildDiaryPage();
    m_clientLayout->addWidget(pagQuery);

    pnlBottom = Make<QFrame>(this, "pnlBottom");
    pnlBottom->setFixedHeight(34);
    auto* bottomLayout = new QHBoxLayout(pnlBottom);
    bottomLayout->setContentsMargins(16, 4, 21, 5);
    bottomLayout->setSpacing(9);
    btnHelp = makeButton(pnlBottom, "btnHelp", QStringLiteral("&Help"), 75);
    bottomLayout->addWidget(btnHelp);
    bottomLayout->addStretch(1);
    btnsave = makeButton(pnlBottom, "btnsave", QStringLiteral("&Save"), 75);
    btnsave->setDefault(true);
    btnsave->setEnabled(false);
    bottomLayout->addWidget(btnsave);
    btnClose = makeButton(pnlBottom, "btnClose", QStringLiteral("Close"), 75);
    bottomLayout->addWidget(btnClose);
    layout->addWidget(pnlBottom);

    dscForButton = Make<TDbDataSource>(this, "dscForButton");
    cdsData = Make<TDbRowCursor>(this, "cdsData");
    dscQuery = Make<TDbDataSource>(this, "dscQuery");
    dscQuery->SetDataSet(cdsData);
    gridData->SetDataSource(dscQuery);
    inspector->SetDataSource(dscQuery);
    navData->SetDataSource(dscQuery);
    dlgLocate = Make<TDbLocateDialog>(this, "dlgLocate");
    dlgLocate->SetDataSource(dscQuery);
    dlgSearch = Make<TDbSearchDialog>(this, "dlgSearch");
    dlgSearch->SetDataSource(dscQuery);

    connect(btnsave, &QPushButton::clicked, this, &TfrmShowQuery::btnsaveClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, &TfrmShowQuery::btnHelpClick);
    // F1 anywhere in the window, as the Help button.
    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    helpKey->setContext(Qt::WindowShortcut);
    connect(helpKey, &QShortcut::activated, this, &TfrmShowQuery::btnHelpClick);
    // Ctrl+F searches the rows while the Data page shows.
    auto* searchKey = new QShortcut(QKeySequence::Find, TabData);
    searchKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(searchKey, &QShortcut::activated, this, &TfrmShowQuery::Panel1DblClick);
    connect(btnLocate, &QPushButton::clicked, this, &TfrmShowQuery::btnLocateClick);
    connect(btnExport, &QPushButton::clicked, this, &TfrmShowQuery::btnExportClick);
    connect(btnShowdetail, &QPushButton::clicked, this, &TfrmShowQuery::btnShowdetailClick);
    connect(dscForButton, &TDbDataSource::StateChanged, this, &TfrmShowQuery::dscForButtonStateChange);
    connect(dscQuery, &TDbDataSource::StateChanged, this, &TfrmShowQuery::dscQueryStateChange);
    connect(pagQuery, &QTabWidget::currentChanged, this, &TfrmShowQuery::tabChanged);
    pagQuery->tabBar()->installEventFilter(this);

    FormCreate();
}

TfrmShowQuery::~TfrmShowQuery()
{
    // The sources must not follow the cursors while the children are torn down.
    navData->SetDataSource(nullptr);
    dlgLocate->SetDataSource(nullptr);
    dlgSearch->SetDataSource(nullptr);
    inspector->SetDataSource(nullptr);
    dscQuery->SetDataSet(static_cast<TDbRowCursor*>(nullptr));
    dscForButton->SetDataSet(static_cast<TDbRowCursor*>(nullptr));
    disconnect(dscForButton, nullptr, this, nullptr);
    disconnect(dscQuery, nullptr, this, nullptr);
}

void TfrmShowQuery::FormCreate()
{
    ParentId = 0;
    QueryId = 0;
}

void TfrmShowQuery::LoadQuery(int id)
{
    QueryFrame = Make<TframQuery>(this, "QueryFrame");
    if (id != 0) {
        TabDesign->layout()->addWidget(QueryFrame);
    } else {
        // A new query has the frame alone: its pages stay out of reach until it is saved
        // and opened again from the tray menu.
        pagQuery->hide();
        m_clientLayout->addWidget(QueryFrame);
    }
    dscForButton->SetDataSet(QueryFrame->qryADO);
    dscForButtonStateChange();
    connect(QueryFrame, &TframQuery::FetchEnded, this, [this] {
        if (m_closeAfterFetch) {
            m_closeAfterFetch = false;
            QDialog::reject();
        }
    });

    if (id > 0)
        openSavedQuery(id);

    pagQuery->setCurrentIndex(QueryId > 0 ? 1 : 0);
}

void TfrmShowQuery::openSavedQuery(int id)
{
    TDbQuery* query = QueryFrame->qryADO;
    try {
        QueryFrame->Connect(dmQuillory->GetConnectString(id));
    } catch (const EQuilloryError& e) {
        // The query stays in the window by name and SQL, so that the user can mend the
        // connection and save it again.
        ShowMessage(QStringLiteral("Failed to connect to database\n") + e.message());
        query->SetSQLText(dmQuillory->GetQueryString(id));
        setWindowTitle(dmQuillory->GetQueryName(id));
        if (const QueryRecord* record = dmQuillory->currentQuery()) {
            ParentId = record->parentID;
            QueryFrame->SetDiagramDesign(record->DiagramDesign());
        }
        QueryFrame->SetQueryLines(query->SQL());
        rememberSaved();
        return;
    }
    try {
        query->SetSQLText(dmQuillory->GetQueryString(id));
        setWindowTitle(dmQuillory->GetQueryName(id));
        if (const QueryRecord* record = dmQuillory->currentQuery()) {
            ParentId = record->parentID;
            QueryFrame->SetDiagramDesign(record->DiagramDesign());
        }
        QueryFrame->SetQueryLines(query->SQL());
        rememberSaved();
        query->Open();
        cdsData->SetRows(nullptr);
        openCopy();
    } catch (const EDbFetchCancelled& e) {
        ShowMessage(e.message());
        return;
    } catch (const EQuilloryError& e) {
        // The statement's lines end in line breaks; the cause follows them.
        ShowMessage(QStringLiteral("Failed to open query ") + query->SQLText() + e.message());
        return;
    }
    QueryId = id;
}

void TfrmShowQuery::openCopy()
{
    cdsData->SetRows(QueryFrame->qryADO->Rows());
    ShowWarningLine(lblWarning, QueryFrame->qryADO->Warning());
    gridData->FitColumns();
    cdsDataAfterOpen();
}

void TfrmShowQuery::tabChanged(int index)
{
    if (m_revertingPage)
        return;
    if (m_lastPage != index && !pagQueryChanging(m_lastPage)) {
        m_revertingPage = true;
        pagQuery->setCurrentIndex(m_lastPage);
        m_revertingPage = false;
        return;
    }
    m_lastPage = index;
    pagQueryChange();
}

bool TfrmShowQuery::pagQueryChanging(int leaving)
{
    if (leaving != 0 || !QueryFrame)
        return true;
    TDbQuery* query = QueryFrame->qryADO;
    if (!query->Active())
        QueryFrame->btnfetchClick();
    if (!query->Active())
        return false;
    if (!cdsData->Active())
        openCopy();
    return true;
}

void TfrmShowQuery::pagQueryChange()
{
    // The diary page is the only one that does work on arrival.
    if (pagQuery->currentWidget() == tabDiary)
        FillDiary();
}

void TfrmShowQuery::dscForButtonStateChange()
{
    if (!dscForButton->DataSet() || !QueryFrame) {
        btnsave->setEnabled(false);
        return;
    }
    const TDbQuery* query = QueryFrame->qryADO;
    btnsave->setEnabled(query->Browsing());
    if (!query->Active())
        cdsData->SetRows(nullptr);
}

void TfrmShowQuery::dscQueryStateChange()
{
    // The next rows get lines for their own fields.
    if (!dscQuery->Active())
        inspector->ClearRows();
}

void TfrmShowQuery::btnsaveClick()
{
    RunCommand([this] { save(); });
}

bool TfrmShowQuery::save()
{
    QString name = windowTitle();
    if (name == QLatin1String(kNewQueryCaption)) {
        name.clear();
        if (!dialogs::inputQuery(QStringLiteral("Query Name"), QStringLiteral("save as"), name))
            name.clear();
    }
    if (name.isEmpty())
        return false;
    const QString sql = QueryFrame->qryADO->SQLText();
    if (dmQuillory->QueryNameExists(ParentId, name)) {
        const int existing = dmQuillory->currentQuery()->ID;
        if (!AskYesNo(QStringLiteral("Ok to overwrite ") + name, name + QStringLiteral(" already used")))
            return false;
        // The connection goes with it: a query whose database moved is mended this way.
        dmQuillory->UpdateQueryString(existing, sql, QueryFrame->conADO->ConnectionString(),
                                      QueryFrame->diagramDesign());
    } else {
        dmQuillory->AddQuery(ParentId, name, sql, QueryFrame->conADO->ConnectionString(),
                             QueryFrame->diagramDesign());
    }
    rememberSaved();
    ShowMessage(QStringLiteral("Query saved as ") + name);
    btnClose->setFocus();
    return true;
}

void TfrmShowQuery::rememberSaved()
{
    m_savedSql = QueryFrame->qryADO->SQLText();
    m_savedConnection = QueryFrame->conADO->ConnectionString();
}

bool TfrmShowQuery::HasUnsavedChanges() const
{
    // Only what Save could store counts: SQL that ran. A new query has nothing saved.
    if (!QueryFrame || !QueryFrame->qryADO->Browsing())
        return false;
    return QueryFrame->qryADO->SQLText() != m_savedSql ||
           QueryFrame->conADO->ConnectionString() != m_savedConnection;
}

void TfrmShowQuery::reject()
{
    // A close during a fetch stops it; the window closes once the fetch has let go.
    if (QueryFrame && QueryFrame->qryADO->Fetching()) {
        m_closeAfterFetch = true;
        QueryFrame->CancelFetch(true);
        return;
    }
    if (HasUnsavedChanges()) {
        switch (dialogs::askYesNoCancel(QStringLiteral("Save changes to query '%1'?").arg(windowTitle()),
                                        QStringLiteral("Quillory"))) {
        case dialogs::Choice::Yes: {
            bool saved = false;
            RunCommand([this, &saved] { saved = save(); });
            if (!saved)
                return;
            break;
        }
        case dialogs::Choice::No:
            break;
        case dialogs::Choice::Cancel:
            return;
        }
    }
    QDialog::reject();
}

void TfrmShowQuery::btnShowdetailClick()
{
    const bool show = inspector->isHidden();
    inspector->setVisible(show);
    // The splitter would drop the handle only on its next layout pass.
    Splitter1->handle(Splitter1->indexOf(inspector))->setVisible(show);
}

void TfrmShowQuery::btnLocateClick()
{
    // The first use in this window starts on the first column; later uses keep the last.
    if (dlgLocate->SearchField().isEmpty() && cdsData->Active() && cdsData->FieldCount() > 0)
        dlgLocate->SetSearchField(cdsData->Field(0).name);
    dlgLocate->Execute(this);
}

void TfrmShowQuery::btnHelpClick()
{
    // The topic of this window rather than the first page of the help.
    QDesktopServices::openUrl(QUrl(QStringLiteral("quillory-help:context/%1").arg(kHelpContext)));
}

void TfrmShowQuery::btnExportClick()
{
    RunCommand([this] { exportRows(); });
}

void TfrmShowQuery::exportRows()
{
    QString selectedFilter;
    QString fileName =
        dialogs::saveFileName(QString(), m_exportFileName, QLatin1String(kExportFilter), &selectedFilter);
    if (fileName.isEmpty())
        return;
    // The default extension, added to a name typed without one. The file dialog asked
    // about overwriting the name as typed, so ask again for the name actually written.
    if (QFileInfo(fileName).suffix().isEmpty() && !fileName.endsWith(QLatin1Char('.'))) {
        fileName += QStringLiteral(".csv");
        if (QFileInfo::exists(fileName) &&
            !AskYesNo(fileName + QStringLiteral(" already exists.\nDo you want to replace it?"),
                      QStringLiteral("Confirm Save As")))
            return;
    }
    m_exportFileName = fileName;
    if (!exportTo(fileName))
        return;
    if (AskYesNo(QStringLiteral("Do you wish to view \r\nthe file ") + fileName + QStringLiteral(" now?"),
                 QStringLiteral("View File"))) {
        try {
            ShellOpen(fileName);
        } catch (const EQuilloryError& e) {
            ShowMessage(e.message());
        }
    }
}

bool TfrmShowQuery::exportTo(const QString& fileName)
{
    // The rows are written on a worker thread (the cursor and what follows it stay on
    // this one); a long export shows its progress and Cancel.
    struct Cancelled
    {
    };
    std::atomic<qsizetype> written{0};
    std::atomic<bool> stop{false};
    const qsizetype total = cdsData->RecordCount();
    TProgressRun run;
    run.what = QStringLiteral("Exporting rows to %1...").arg(QFileInfo(fileName).fileName());
    run.status = [&] { return QStringLiteral("%L1 of %L2 rows written").arg(written.load()).arg(total); };
    run.cancel = [&] { stop = true; };
    try {
        TCSVStream stream(fileName);
        stream.Progress = [&](qsizetype row) {
            written = row;
            if (stop)
                throw Cancelled();
        };
        stream.ExportDataSet(*cdsData, [&](const std::function<void()>& walk) { RunWithProgress(this, run, walk); });
    } catch (const Cancelled&) {
        // Half a file is no export: it goes.
        QFile::remove(fileName);
        ShowMessage(QStringLiteral("Export cancelled"));
        return false;
    }
    return true;
}

void TfrmShowQuery::Panel1DblClick()
{
    dlgSearch->Execute(this);
}

bool TfrmShowQuery::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Panel1 && event->type() == QEvent::MouseButtonDblClick)
        Panel1DblClick();
    // A click on another tab is checked before the page changes, so a refused change
    // never shows the other page; keyboard changes are checked after and undone.
    if (watched == pagQuery->tabBar() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const int index = pagQuery->tabBar()->tabAt(press->position().toPoint());
        if (press->button() == Qt::LeftButton && index >= 0 && index != pagQuery->currentIndex() &&
            !pagQueryChanging(pagQuery->currentIndex()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

std::unique_ptr<QDialog> CreateQueryWindow(QWidget* owner, int parentId, int queryId, TPreviewSource previews)
{
    auto window = std::make_unique<TfrmShowQuery>(owner);
    window->SetPreviewSource(std::move(previews));
    window->ParentId = parentId;
    window->LoadQuery(queryId);
    return window;
}
