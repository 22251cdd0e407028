#include "formQueryBuilder.h"

#include "LumQBException.h"
#include "LumQBGrid.h"
#include "LumQBSQL.h"
#include "LumQBWorkArea.h"
#include "formShowtable.h"
#include "uDbConnection.h"
#include "uDbDataSource.h"
#include "uDbError.h"
#include "uDbGrid.h"
#include "uDbQuery.h"
#include "uErrorBox.h"
#include "uSqlNames.h"
#include "uWidgets.h"
#include "utils.h"

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kHelpContext = 100;
// A drag from the table list starts only after this many pixels.
constexpr int kListDragThreshold = 20;
// The hint keeps this distance to the work area's bottom-right corner.
constexpr int kHintRightGap = 6;
constexpr int kHintBottomGap = 18;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int width)
{
    auto* button = Make<QPushButton>(parent, name, caption);
    button->setFixedSize(width, 23);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TfrmQueryBuilder::TfrmQueryBuilder(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmQueryBuilder"));
    setWindowTitle(QStringLiteral("Query Designer - drag table names on to the central work area."));
    resize(671, 506);

    qryADOTest = Make<TDbQuery>(this, "qryADOTest");

    // The upper area: the table list and the work area side by side.
    Splitter1 = Make<QSplitter>(nullptr, "Splitter1", Qt::Horizontal);
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    lbxTables = Make<QListWidget>(nullptr, "lbxTables");
    lbxTables->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxTables->setToolTip(QStringLiteral("Either drag on the work area or double-click to select"));
    lbxTables->setContextMenuPolicy(Qt::CustomContextMenu);
    lbxTables->viewport()->installEventFilter(this);
    lbxTables->installEventFilter(this);
    workarea = Make<TLumQBWorkArea>(nullptr, "workarea");
    Splitter1->addWidget(lbxTables);
    Splitter1->addWidget(workarea);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({121, 671 - 121 - 3});

    Label1 = Make<QLabel>(workarea->Canvas(), "Label1", QStringLiteral("Query Work Area"));
    QFont titleFont = Label1->font();
    titleFont.setBold(true);
    titleFont.setItalic(true);
    titleFont.setPixelSize(13);
    Label1->setFont(titleFont);
    Label1->setStyleSheet(QStringLiteral("color: red"));
    Label1->move(136, 4);
    Label1->adjustSize();

    lblWorkAreaHint = Make<QLabel>(workarea->Canvas(), "lblWorkAreaHint");
    lblWorkAreaHint->setText(WorkAreaHintText(0, QString()));
    lblWorkAreaHint->setToolTip(QStringLiteral("Double-click on me to make me vanish forever."));
    lblWorkAreaHint->setStyleSheet(QStringLiteral("color: red"));
    lblWorkAreaHint->setAlignment(Qt::AlignCenter);
    lblWorkAreaHint->setWordWrap(true);
    lblWorkAreaHint->setGeometry(364, 188, 169, 70);
    lblWorkAreaHint->installEventFilter(this);
    workarea->viewport()->installEventFilter(this);

    LumQBGrid = new TLumQBGrid;
    LumQBGrid->SetWorkArea(workarea);
    LumQBGrid->setToolTip(
        QStringLiteral("You create new rows by ticking the columns in the query work area.\r\n"
                       "You can get information about the criteria rules by pressing the help button"));

    // The grid is resized against the upper area.
    Splitter2 = Make<QSplitter>(nullptr, "Splitter2", Qt::Vertical);
    Splitter2->setHandleWidth(3);
    Splitter2->setChildrenCollapsible(false);
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(LumQBGrid);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({506 - 94 - 3 - 20 - 56 - 30, 94});

    pnlGroupBy = Make<QFrame>(nullptr, "pnlGroupBy");
    pnlGroupBy->setFixedHeight(20);
    cbxGroupBy = Make<QCheckBox>(pnlGroupBy, "cbxGroupBy", QStringLiteral("Use 'Group By' clause"));
    auto* groupRow = new QHBoxLayout(pnlGroupBy);
    groupRow->setContentsMargins(4, 0, 4, 0);
    groupRow->addWidget(cbxGroupBy);
    groupRow->addStretch(1);

    SQLCommand = Make<QPlainTextEdit>(nullptr, "SQLCommand");
    SQLCommand->setReadOnly(true);
    SQLCommand->setFixedHeight(56);
    SQLCommand->setLineWrapMode(QPlainTextEdit::NoWrap);
    SQLCommand->setBackgroundRole(QPalette::Button);
    QPalette memoPalette = SQLCommand->palette();
    memoPalette.setBrush(QPalette::Base, memoPalette.button());
    SQLCommand->setPalette(memoPalette);

    pnlButtons = Make<QFrame>(nullptr, "pnlButtons");
    pnlButtons->setFixedHeight(30);
    btnHelp = makeButton(pnlButtons, "btnHelp", QStringLiteral("&Help"), 75);
    btnTest = makeButton(pnlButtons, "btnTest", QStringLiteral("&Test SQL"), 91);
    btnTest->setToolTip(QStringLiteral("This will allow you to execute the abve SQL to see if it is valid."));
    btnApply = makeButton(pnlButtons, "btnApply", QStringLiteral("&Apply"), 75);
    btnCancel = makeButton(pnlButtons, "btnCancel", QStringLiteral("Cancel"), 75);
    // Help and Test SQL keep their place on the left; Apply and Cancel follow the right edge.
    auto* buttonRow = new QHBoxLayout(pnlButtons);
    buttonRow->setContentsMargins(10, 4, 21, 3);
    buttonRow->setSpacing(0);
    buttonRow->addWidget(btnHelp);
    buttonRow->addSpacing(206 - 10 - 75);
    buttonRow->addWidget(btnTest);
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnApply);
    buttonRow->addSpacing(567 - 481 - 75);
    buttonRow->addWidget(btnCancel);

    // From the bottom up: buttons, memo, group-by panel, grid, splitter, the upper area.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Splitter2, 1);
    column->addWidget(pnlGroupBy);
    column->addWidget(SQLCommand);
    column->addWidget(pnlButtons);

    mnuTableListPopup = Make<QMenu>(this, "mnuTableListPopup");
    mnuTableListPopupShowdata =
        Named(mnuTableListPopup->addAction(QStringLiteral("Show data")), "mnuTableListPopupShowdata");

    workarea->SetTableList(lbxTables, kListDragThreshold);
    workarea->setWidgetResizable(true);

    connect(lbxTables, &QListWidget::itemDoubleClicked, this, &TfrmQueryBuilder::lbxTablesDblClick);
    connect(lbxTables, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { mnuTableListPopup->popup(lbxTables->viewport()->mapToGlobal(pos)); });
    connect(mnuTableListPopupShowdata, &QAction::triggered, this,
            &TfrmQueryBuilder::mnuTableListPopupShowdataClick);
    connect(workarea, &TLumQBWorkArea::OnGetTableFields, this, &TfrmQueryBuilder::workareaGetTableFields);
    connect(workarea, &TLumQBWorkArea::OnRemoveTable, this, &TfrmQueryBuilder::workareaRemoveTable);
    connect(workarea, &TLumQBWorkArea::OnRemoveLink, this, &TfrmQueryBuilder::workareaRemoveLink);
    connect(workarea, &TLumQBWorkArea::OnChange, this, &TfrmQueryBuilder::workareaChange);
    connect(LumQBGrid, &TLumQBGrid::OnChange, this, &TfrmQueryBuilder::workareaChange);
    connect(LumQBGrid, &TLumQBGrid::OnSetEditText, this, &TfrmQueryBuilder::LumQBGridSetEditText);
    connect(cbxGroupBy, &QCheckBox::clicked, this, &TfrmQueryBuilder::cbxGroupByClick);
    // The tick follows the document, which a restored or cleared diagram switches too.
    const auto showGrouping = [this] { cbxGroupBy->setChecked(workarea->GridData().UseGroupBy()); };
    connect(workarea->Document(), &TLumQBDocument::GroupingChanged, cbxGroupBy, showGrouping);
    connect(workarea->Document(), &TLumQBDocument::Reset, cbxGroupBy, showGrouping);
    connect(btnApply, &QPushButton::clicked, this, &TfrmQueryBuilder::btnApplyClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, &TfrmQueryBuilder::btnHelpClick);
    connect(btnTest, &QPushButton::clicked, this, &TfrmQueryBuilder::btnTestClick);
    LumQBGrid->installEventFilter(this);

    workareaChange();
}

TfrmQueryBuilder::~TfrmQueryBuilder()
{
    // The work area reports its tables' removal while it is destroyed; nobody listens any more.
    disconnect(workarea, nullptr, this, nullptr);
    disconnect(LumQBGrid, nullptr, this, nullptr);
}

void TfrmQueryBuilder::SetConnection(TDbConnection* connection)
{
    m_connection = connection;
    qryADOTest->SetConnection(connection);
    lbxTables->clear();
    if (!connection)
        return;
    QStringList names;
    RunCommand([&] { connection->GetTableNames(names); });
    lbxTables->addItems(names);
}

QStringList TfrmQueryBuilder::SQLLines() const
{
    return SQLCommand->toPlainText().split(u'\n');
}

QString TfrmQueryBuilder::DesignText() const
{
    TLumQBDesign design = workarea->Design();
    design.SQL = SQLLines().join(u'\n');
    return DesignToText(design);
}

void TfrmQueryBuilder::ClearDesign()
{
    workarea->Clear();
}

QStringList TfrmQueryBuilder::RestoreDesign(const QString& text, QString* keptSQL)
{
    ClearDesign();
    const TLumQBDesign design = DesignFromText(text);
    if (keptSQL)
        *keptSQL = design.SQL;
    return workarea->RestoreDesign(design);
}

void TfrmQueryBuilder::AddSelectedTable()
{
    QListWidgetItem* item = lbxTables->currentItem();
    if (!item)
        return;
    // The position advances even for a table already on the work area.
    const QPoint at = m_placement.Advance(width());
    RunCommand([&] { workarea->AddTables(at.x(), at.y(), item->text()); });
}

void TfrmQueryBuilder::lbxTablesDblClick()
{
    AddSelectedTable();
}

void TfrmQueryBuilder::workareaGetTableFields(const QString& tableName, QStringList& fields)
{
    // A table whose fields cannot be read has none; the work area then refuses it.
    if (!m_connection)
        return;
    try {
        QStringList names;
        m_connection->GetFieldNames(tableName, names);
        fields << names;
    } catch (const EDbError&) {
    }
}

void TfrmQueryBuilder::workareaChange()
{
    try {
        lblWorkAreaHint->setText(WorkAreaHintText(workarea->TableCount(), lblWorkAreaHint->text()));
        // The wrapped text needs more lines in some fonts than the fixed box holds.
        const int needed = lblWorkAreaHint->heightForWidth(lblWorkAreaHint->width());
        if (needed > lblWorkAreaHint->height()) {
            lblWorkAreaHint->resize(lblWorkAreaHint->width(), needed);
            PlaceHint();
        }
        if (workarea->LinkCount() > 0)
            lblWorkAreaHint->hide();
        // The one place the statement is generated for the memo, with the connection's
        // quoting: plain names stay bare, others get the engine's own quotes.
        TLumQBQuoteName quote;
        if (m_connection && m_connection->Connected())
            quote = [connection = m_connection.data()](const QString& name) {
                return connection->QuoteName(name);
            };
        const QStringList lines = workarea->GetSQL(quote);
        SQLCommand->setPlainText(lines.join(u'\n'));
    } catch (const ELumQBException&) {
        // A diagram caught half-way (a ticked field whose row comes next) makes no
        // statement; the memo keeps the last one until the next change.
    }
}

void TfrmQueryBuilder::workareaRemoveTable()
{
    // Told before the table is gone: refresh once the removal has finished.
    QMetaObject::invokeMethod(this, &TfrmQueryBuilder::WMRefreshSQL, Qt::QueuedConnection);
}

void TfrmQueryBuilder::workareaRemoveLink()
{
    QMetaObject::invokeMethod(this, &TfrmQueryBuilder::WMRefreshSQL, Qt::QueuedConnection);
}

void TfrmQueryBuilder::WMRefreshSQL()
{
    workareaChange();
}

void TfrmQueryBuilder::cbxGroupByClick()
{
    LumQBGrid->SetUseGroupBy(cbxGroupBy->isChecked());
}

void TfrmQueryBuilder::LumQBGridSetEditText(int column, int, const QString&)
{
    if (column > 2)
        workareaChange();
}

void TfrmQueryBuilder::btnApplyClick()
{
    const QString refusal = ApplyRefusal(workarea->Diagram(), workarea->GridData());
    if (!refusal.isEmpty()) {
        ShowMessage(refusal);
        return;
    }
    // The memo holds the statement already.
    accept();
}

void TfrmQueryBuilder::btnTestClick()
{
    try {
        const TBusyCursor busy;
        qryADOTest->Close();
        qryADOTest->SetSQL(SQLLines());
        qryADOTest->Open();
        qryADOTest->Close();
    } catch (const EDbError& e) {
        ShowMessage(e.message());
        return;
    }
    ShowMessage(QStringLiteral("SQL is good"));
}

void TfrmQueryBuilder::mnuTableListPopupShowdataClick()
{
    RunCommand([this] { ShowData(); });
}

void TfrmQueryBuilder::ShowData()
{
    if (m_showDataTable.isEmpty())
        return;
    const QString name = m_showDataTable;
    // Brackets, always, where the engine takes them; PostgreSQL and other ODBC sources
    // refuse brackets and get their own quotes.
    const TDbEngine engine = m_connection ? m_connection->Engine() : TDbEngine::None;
    const bool brackets = engine == TDbEngine::SQLite || engine == TDbEngine::Access ||
                          engine == TDbEngine::SQLServer || engine == TDbEngine::None;
    const QString quoted = brackets ? BracketSqlName(name) : m_connection->QuoteName(name);
    qryADOTest->SetSQL({QStringLiteral("select count(*) from ") + quoted});
    qryADOTest->Open();
    qryADOTest->First();
    const qint64 rows = qryADOTest->AsInteger(0);
    qryADOTest->Close();
    if (rows > 1000 &&
        !AskYesNo(QString::number(rows) + QStringLiteral(" rows"), QStringLiteral("Are you sure?")))
        return;
    qryADOTest->SetSQL({QStringLiteral("select * from ") + quoted});
    qryADOTest->Open();
    TfrmShowtable form(this);
    form.dscMain->SetDataSet(qryADOTest);
    form.grdMain->FitColumns();
    form.setWindowTitle(QStringLiteral("Table ") + name);
    form.exec();
}

void TfrmQueryBuilder::lblWorkAreaHintDblClick()
{
    lblWorkAreaHint->setVisible(!lblWorkAreaHint->isVisible());
}

void TfrmQueryBuilder::btnHelpClick()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral("quillory-help:context/%1").arg(kHelpContext)));
}

void TfrmQueryBuilder::PlaceHint()
{
    const QSize area = workarea->viewport()->size();
    lblWorkAreaHint->move(area.width() - kHintRightGap - lblWorkAreaHint->width(),
                          area.height() - kHintBottomGap - lblWorkAreaHint->height());
}

bool TfrmQueryBuilder::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lbxTables->viewport() && event->type() == QEvent::MouseButtonPress) {
        // Every press forgets the table; only another button than the left remembers one.
        auto* mouse = static_cast<QMouseEvent*>(event);
        m_showDataTable.clear();
        if (mouse->button() != Qt::LeftButton) {
            if (QListWidgetItem* item = lbxTables->itemAt(mouse->position().toPoint()))
                m_showDataTable = item->text();
        }
    } else if (watched == lbxTables && event->type() == QEvent::KeyRelease) {
        // A held key sends a release per repeat; one press adds one table.
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat())
            AddSelectedTable();
    } else if (watched == lblWorkAreaHint && event->type() == QEvent::MouseButtonDblClick) {
        lblWorkAreaHintDblClick();
        return true;
    } else if (watched == workarea->viewport() && event->type() == QEvent::Resize) {
        PlaceHint();
    } else if (watched == LumQBGrid && event->type() == QEvent::FocusIn && LumQBGrid->IsEmpty()) {
        // The blank row of an empty grid takes no caret: the focus goes on to Help.
        btnHelp->setFocus();
    }
    return QDialog::eventFilter(watched, event);
}
