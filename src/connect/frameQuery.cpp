#include "frameQuery.h"

#include "LumQBException.h"
#include "UEncrypt.h"
#include "formDatabaseType.h"
#include "formQueryBuilder.h"
#include "uDbBackend.h"
#include "uDbConnection.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbQuery.h"
#include "uError.h"
#include "uErrorBox.h"
#include "uParameters.h"
#include "uProgressRun.h"
#include "uTildeText.h"
#include "uWidgets.h"
#include "utils.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

const QString kConnectionKey = QStringLiteral("Connection");
const QString kQueryKey = QStringLiteral("Query");

QFrame* makePanel(QWidget* parent, const char* name)
{
    auto* panel = Make<QFrame>(parent, name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return panel;
}

} // namespace

TframQuery::TframQuery(QWidget* owner) : QFrame(owner)
{
    setObjectName(QStringLiteral("framQuery"));
    resize(625, 376);

    // The data components first, so that they outlive nothing that shows them.
    conADO = Make<TDbConnection>(this, "conADO");
    qryADO = Make<TDbQuery>(this, "qryADO");
    qryADO->SetConnection(conADO);
    // Rows are fetched on a worker thread: a long fetch shows its progress and Cancel.
    qryADO->SetFetchRunner([this](const std::function<void()>& work, TDbFetchControl& control) {
        TProgressRun run;
        run.what = QStringLiteral("Fetching rows...");
        run.status = [&control] { return QStringLiteral("%L1 rows fetched").arg(control.Rows()); };
        run.cancel = [&control] { control.Cancel(); };
        RunWithProgress(window(), run, work);
    });
    dscADO = Make<TDbDataSource>(this, "dscADO");
    dscADO->SetDataSet(qryADO);

    // Step 1: the connection.
    pnlConnection = makePanel(this, "pnlConnection");
    pnlConnection->setFixedHeight(41);
    auto* caption =
        Make<QLabel>(pnlConnection, "pnlConnectionCaption", QStringLiteral(" 1. Connection to Database"));
    caption->setMinimumWidth(134);
    btnConnect = MakeButton(pnlConnection, "btnConnect", QStringLiteral("C&onnect..."));
    btnConnect->setToolTip(QStringLiteral("This will help you set up a database connection."));
    btnReconnect = MakeButton(pnlConnection, "btnReconnect", QStringLiteral("&Reconnect"));
    btnReconnect->setToolTip(QStringLiteral("This will reconnect ot the last successful connection"));
    // A hidden Reconnect leaves its place empty, as on the design.
    QSizePolicy keepPlace = btnReconnect->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    btnReconnect->setSizePolicy(keepPlace);
    lblConnected = Make<QLabel>(pnlConnection, "lblConnected");
    lblDataSource = Make<QLabel>(pnlConnection, "lblDataSource");
    lblDataSource->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* connectionRow = new QHBoxLayout(pnlConnection);
    connectionRow->setContentsMargins(4, 4, 8, 4);
    connectionRow->setSpacing(5);
    connectionRow->addWidget(caption);
    connectionRow->addWidget(btnConnect);
    connectionRow->addWidget(btnReconnect);
    connectionRow->addSpacing(40);
    connectionRow->addWidget(lblConnected);
    connectionRow->addWidget(lblDataSource, 1);

    // Step 2: the statement.
    pnlQuery = makePanel(this, "pnlQuery");
    Label1 =
        Make<QLabel>(pnlQuery, "Label1", QStringLiteral("2. Write SELECT statement or use Query Builder"));
    btnQBuilder = MakeButton(pnlQuery, "btnQBuilder", QStringLiteral("&Builder..."));
    btnQBuilder->setEnabled(false);
    memQuery = Make<QPlainTextEdit>(pnlQuery, "memQuery");
    memQuery->setPlainText(QStringLiteral("select * from blah"));
    memQuery->setMinimumHeight(24);
    memQuery->installEventFilter(this);
    // Edits without a key (paste from the context menu, drag and drop, middle click) change
    // the SQL just the same: the rows shown must go as well.
    connect(memQuery, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_settingLines)
            qryADO->Close();
    });
    auto* queryHead = new QHBoxLayout;
    queryHead->addWidget(Label1);
    queryHead->addStretch(1);
    queryHead->addWidget(btnQBuilder);
    auto* queryBody = new QHBoxLayout;
    queryBody->addSpacing(6);
    queryBody->addWidget(memQuery);
    auto* queryColumn = new QVBoxLayout(pnlQuery);
    queryColumn->setContentsMargins(6, 4, 10, 10);
    queryColumn->setSpacing(3);
    queryColumn->addLayout(queryHead);
    queryColumn->addLayout(queryBody, 1);

    // Step 3: fetch, and the rows below.
    auto* dataPart = Make<QWidget>(this, "pnlData");
    Label2 = Make<QLabel>(dataPart, "Label2", QStringLiteral("3. Fetch data from database"));
    btnfetch = MakeButton(dataPart, "btnfetch", QStringLiteral("&Fetch"));
    btnfetch->setEnabled(false);
    grid1 = Make<TDbGrid>(dataPart, "grid1");
    grid1->SetDataSource(dscADO);
    lblWarning = MakeWarningLine(dataPart, "lblWarning");
    connect(qryADO, &TDbQuery::AfterOpen, this, [this] { ShowWarningLine(lblWarning, qryADO->Warning()); });
    connect(qryADO, &TDbQuery::AfterClose, this, [this] { ShowWarningLine(lblWarning, {}); });
    auto* fetchHead = new QHBoxLayout;
    fetchHead->addWidget(Label2);
    fetchHead->addStretch(1);
    fetchHead->addWidget(btnfetch);
    auto* gridBody = new QHBoxLayout;
    gridBody->addSpacing(4);
    gridBody->addWidget(grid1);
    auto* dataColumn = new QVBoxLayout(dataPart);
    dataColumn->setContentsMargins(8, 3, 11, 10); // one more than the panels above: their border
    dataColumn->setSpacing(4);
    dataColumn->addLayout(fetchHead);
    dataColumn->addWidget(lblWarning);
    dataColumn->addLayout(gridBody, 1);

    // Dragging the splitter resizes the statement panel; the rows get the rest.
    Splitter1 = Make<QSplitter>(this, "Splitter1", Qt::Vertical);
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(pnlQuery);
    Splitter1->addWidget(dataPart);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({104, 376 - 41 - 104 - 3});

    auto* frameColumn = new QVBoxLayout(this);
    frameColumn->setContentsMargins(0, 0, 0, 0);
    frameColumn->setSpacing(0);
    frameColumn->addWidget(pnlConnection);
    frameColumn->addWidget(Splitter1, 1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    connect(btnConnect, &QPushButton::clicked, this, &TframQuery::btnConnectClick);
    connect(btnReconnect, &QPushButton::clicked, this, &TframQuery::btnReconnectClick);
    connect(btnQBuilder, &QPushButton::clicked, this, &TframQuery::btnQBuilderClick);
    connect(btnfetch, &QPushButton::clicked, this, &TframQuery::btnfetchClick);
    connect(conADO, &TDbConnection::AfterConnect, this, &TframQuery::conADOAfterConnect);
    connect(conADO, &TDbConnection::AfterDisconnect, this, &TframQuery::conADOAfterDisconnect);

    InitialQueryText = TildeText(QueryLines());
    m_baselineSQL = QueryLines().join(u'\n');
}

TframQuery::~TframQuery()
{
    m_destroying = true;
    memQuery->removeEventFilter(this);
    disconnect(conADO, nullptr, this, nullptr);
}

QStringList TframQuery::QueryLines() const
{
    return TextLines(memQuery->toPlainText());
}

void TframQuery::SetQueryLines(const QStringList& lines)
{
    QString text = lines.join(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        text += u'\n';
    m_settingLines = true;
    memQuery->setPlainText(text);
    m_settingLines = false;
    m_baselineSQL = QueryLines().join(u'\n');
}

void TframQuery::OpenConnection()
{
    conADO->Close();
    lblConnected->setText(QStringLiteral("FAILED TO CONNECT"));
    ::OpenConnection(*conADO);
}

void TframQuery::Connect(const QString& connectionString)
{
    conADO->Close();
    conADO->SetConnectionString(connectionString);
    OpenConnection();
}

void TframQuery::btnConnectClick()
{
    // An error that leaves Connect... goes to the general error display, never further.
    try {
        connectCommand();
    } catch (const EQuilloryError& e) {
        ShowException(e);
    }
}

void TframQuery::connectCommand()
{
    conADO->Close();
    bool accepted = false;
    {
        TfrmDatabaseType dialog(this);
        dialog.Connection = conADO;
        accepted = dialog.exec() == QDialog::Accepted;
    }
    if (accepted && !conADO->Connected())
        OpenConnection();
    btnfetch->setEnabled(conADO->Connected());
    if (btnfetch->isEnabled()) {
        LastConnectionString = conADO->ConnectionString();
        HasConnected = true;
        WriteParameter(kConnectionKey, EncryptConnectionString(LastConnectionString));
    }
    // A new connection: the designer's diagram belonged to the old database.
    if (conADO->Connected() && QueryBuilder) {
        QueryBuilder->ClearDesign();
        m_appliedSQL = QString();
    }
}

void TframQuery::btnReconnectClick()
{
    try {
        Connect(LastConnectionString);
        if (conADO->Connected())
            SetQueryLines(ReadTildeText(LastQueryText));
    } catch (const EQuilloryError& e) {
        ShowMessage(e.message() + u'\n' + QStringLiteral(" while trying to connection with ") + u'\n' +
                    LastConnectionString);
    }
}

TfrmQueryBuilder* TframQuery::queryBuilder() const
{
    return QueryBuilder;
}

void TframQuery::SetDiagramDesign(const QString& text)
{
    m_diagramDesign = text;
    m_diagramRestored = false;
}

void TframQuery::btnQBuilderClick()
{
    RunCommand([this] {
        if (!QueryBuilder)
            QueryBuilder = new TfrmQueryBuilder(this);
        QueryBuilder->SetConnection(conADO);
        // One question at most: the kept diagram's own question stands in for the general one.
        const bool kept = !m_diagramRestored && !m_diagramDesign.isEmpty();
        if (!(kept ? RestoreDiagram() : AskBeforeBuilder()))
            return;
        if (QueryBuilder->exec() != QDialog::Accepted)
            return;
        SetQueryLines(QueryBuilder->SQLLines());
        m_appliedSQL = QueryLines().join(u'\n');
        m_diagramDesign = QueryBuilder->DesignText();
        btnfetchClick();
    });
}

bool TframQuery::AskBeforeBuilder()
{
    const QString memoText = QueryLines().join(u'\n');
    const bool changed = m_appliedSQL.isNull() ? !memoText.trimmed().isEmpty() && memoText != m_baselineSQL
                                               : memoText != m_appliedSQL;
    return !changed ||
           AskYesNo(QStringLiteral("Current SQL changes may be lost"), QStringLiteral("OK to continue"));
}

bool TframQuery::RestoreDiagram()
{
    m_diagramRestored = true;
    QStringList missing;
    QString kept;
    try {
        missing = QueryBuilder->RestoreDesign(m_diagramDesign, &kept);
    } catch (const ELumQBException& e) {
        ShowMessage(e.message());
        return AskBeforeBuilder();
    }
    const QString memoText = QueryLines().join(u'\n');
    // A table the database lost changes what the diagram draws, not what the user wrote.
    const QString drawn = kept.isEmpty() ? QueryBuilder->SQLLines().join(u'\n') : kept;
    if (memoText != drawn &&
        !AskYesNo(QStringLiteral("The SQL was changed after the diagram was drawn. Open the diagram anyway? "
                                 "Applying it will replace the SQL."),
                  QStringLiteral("Query designer"))) {
        QueryBuilder->ClearDesign();
        return true;
    }
    m_appliedSQL = drawn;
    if (!missing.isEmpty())
        ShowMessage(QStringLiteral("These tables or fields are no longer in the database and were left out "
                                   "of the diagram:\n") +
                    missing.join(QStringLiteral(", ")));
    return true;
}

void TframQuery::btnfetchClick()
{
    try {
        qryADO->Close();
        const TBusyCursor busy;
        // Let the cursor show; clicks and keys wait until the fetch is over.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!conADO->Connected())
            OpenConnection();
        const QStringList lines = QueryLines();
        qryADO->SetSQL(lines);
        qryADO->Open();
        LastQueryText = TildeText(lines);
        m_baselineSQL = lines.join(u'\n');
        WriteParameter(kQueryKey, LastQueryText);
    } catch (const EDbFetchCancelled& e) {
        if (!m_quietCancel)
            ShowMessage(e.message());
    } catch (const EQuilloryError& e) {
        ShowMessage(e.message());
    }
    m_quietCancel = false;
    emit FetchEnded();
}

void TframQuery::CancelFetch(bool quietly)
{
    if (!qryADO->Fetching())
        return;
    m_quietCancel = m_quietCancel || quietly;
    qryADO->CancelFetch();
}

void TframQuery::FrameResize()
{
    LastConnectionString = DecryptConnectionString(ReadParameter(kConnectionKey, QString()));
    LastQueryText = ReadParameter(kQueryKey, QString());
    btnReconnect->setVisible(!LastConnectionString.isEmpty() && !HasConnected);
}

void TframQuery::memQueryKeyDown()
{
    // Any key may change the SQL, so the rows shown no longer belong to it.
    qryADO->Close();
}

void TframQuery::conADOAfterConnect()
{
    lblConnected->setText(QStringLiteral("CONNECTED OK"));
    const dbproviders::SourceDescription& source = conADO->Source();
    lblDataSource->setText(source.brief);
    lblConnected->setToolTip(source.full);
    lblDataSource->setToolTip(source.full);
    window()->setToolTip(source.full);
    btnQBuilder->setEnabled(true);
    btnfetch->setEnabled(true);
}

void TframQuery::conADOAfterDisconnect()
{
    if (m_destroying)
        return;
    lblConnected->setText(QStringLiteral("Not Connected"));
    lblDataSource->clear();
    lblConnected->setToolTip(QString());
    lblDataSource->setToolTip(QString());
    window()->setToolTip(QString());
    btnQBuilder->setEnabled(false);
    btnfetch->setEnabled(false);
}

void TframQuery::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    FrameResize();
}

bool TframQuery::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == memQuery && event->type() == QEvent::KeyPress)
        memQueryKeyDown();
    return QFrame::eventFilter(watched, event);
}
