#include "frameQuery.h"

#include "LumQBTable.h"
#include "LumQBWorkArea.h"
#include "formDatabaseType.h"
#include "testSupport.h"
#include "formQueryBuilder.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uDialogScript.h"
#include "uParameters.h"
#include "uTildeText.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <functional>
#include <memory>

// Builder... of the query frame on a real SQLite database: the designer made once and
// kept, the question before a typed statement is replaced, Apply replacing the memo and
// fetching, Cancel changing nothing, and Connect... emptying the designer's work area.
class tst_frameQueryBuilder : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void applyReplacesMemoAndFetches();
    void questionBeforeReplacingTypedSql_data();
    void questionBeforeReplacingTypedSql();
    void refusedStatementLeavesMemoReplacedAndGridEmpty();
    void connectEmptiesTheWorkArea();
    void keptDiagramComesBack_data();
    void keptDiagramComesBack();
    void keptDiagramWithLostTableOrUnreadableText_data();
    void keptDiagramWithLostTableOrUnreadableText();
    void unreadableDiagramStillGuardsTypedSql();

private:
    QString database() const { return m_dir.filePath("chinook.sqlite"); }
    std::unique_ptr<TframQuery> connectedFrame() const;
    // A diagram drawn and applied in a frame: the kept text and the statement it made.
    std::pair<QString, QStringList> appliedDiagram() const;
    QTemporaryDir m_dir;
};

namespace {

// Acts on the designer once the frame shows it modally.
void onDesigner(std::function<void(TfrmQueryBuilder*)> action, std::shared_ptr<bool> seen)
{
    QTimer::singleShot(0, [action, seen] {
        auto* designer = qobject_cast<TfrmQueryBuilder*>(QApplication::activeModalWidget());
        if (!designer)
            return; // not shown: the caller checks *seen
        *seen = true;
        action(designer);
        if (designer->isVisible())
            designer->reject();
    });
}

// Places a table by double-click and ticks a field, as a user would.
void drawTable(TfrmQueryBuilder* d, const QString& table, const QString& field)
{
    QListWidgetItem* item = d->lbxTables->findItems(table, Qt::MatchExactly).value(0);
    QVERIFY(item);
    const QPoint p = d->lbxTables->visualItemRect(item).center();
    QTest::mouseClick(d->lbxTables->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(d->lbxTables->viewport(), Qt::LeftButton, {}, p);
    TLumQBTable* t = d->workarea->FindTable(table);
    QVERIFY(t);
    t->FieldList->findItems(field, Qt::MatchExactly).value(0)->setCheckState(Qt::Checked);
}

} // namespace

void tst_frameQueryBuilder::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    QVERIFY(m_dir.isValid());
    QCOMPARE(writableCopy(m_dir, "chinook.sqlite"), database());
}

void tst_frameQueryBuilder::init()
{
    InitParameters(nullptr);
}

std::unique_ptr<TframQuery> tst_frameQueryBuilder::connectedFrame() const
{
    auto frame = std::make_unique<TframQuery>(nullptr);
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get()))
        qFatal("frame not shown");
    frame->conADO->SetConnectionString("Provider=SQLite;Data Source=" + database());
    frame->OpenConnection();
    return frame;
}

void tst_frameQueryBuilder::applyReplacesMemoAndFetches()
{
    ScriptedDialogs script;
    auto frame = connectedFrame();
    QVERIFY(frame->btnQBuilder->isEnabled());
    QVERIFY(!frame->queryBuilder());
    auto seen = std::make_shared<bool>(false);
    onDesigner(
        [](TfrmQueryBuilder* d) {
            QVERIFY(d->lbxTables->count() > 0);
            drawTable(d, "Genre", "Name");
            QTest::mouseClick(d->btnApply, Qt::LeftButton);
        },
        seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QVERIFY(*seen);
    QVERIFY2(script.shown().isEmpty(), qPrintable(script.texts().join('|')));
    QCOMPARE(frame->QueryLines(), QStringList({"SELECT G.Name", "FROM Genre AS G"}));
    QVERIFY(frame->qryADO->Active());
    QCOMPARE(int(frame->qryADO->RecordCount()), 25);
    QCOMPARE(ReadParameter("Query"), TildeText(frame->QueryLines()));

    // The same designer comes back with its diagram; Cancel changes nothing.
    TfrmQueryBuilder* designer = frame->queryBuilder();
    QVERIFY(designer);
    *seen = false;
    onDesigner(
        [designer](TfrmQueryBuilder* d) {
            QCOMPARE(d, designer);
            QCOMPARE(d->workarea->TableCount(), 1);
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        },
        seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QVERIFY(*seen);
    QCOMPARE(frame->queryBuilder(), designer);
    QCOMPARE(frame->QueryLines(), QStringList({"SELECT G.Name", "FROM Genre AS G"}));
    QVERIFY(frame->qryADO->Active());
    QVERIFY(script.shown().isEmpty()); // the memo equals the designer's statement: no question

    // Typed after the designer applied: asked, and No keeps the typed statement.
    frame->memQuery->moveCursor(QTextCursor::End);
    QTest::keyClicks(frame->memQuery, " desc");
    script.no();
    *seen = false;
    onDesigner([](TfrmQueryBuilder*) {}, seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QVERIFY(!*seen);
    QCOMPARE(script.texts(), QStringList{"Current SQL changes may be lost"});
    QCOMPARE(frame->QueryLines(), QStringList({"SELECT G.Name", "FROM Genre AS G desc"}));
}

void tst_frameQueryBuilder::questionBeforeReplacingTypedSql_data()
{
    QTest::addColumn<QString>("opened"); // the SQL as a saved query brings it; "" for none
    QTest::addColumn<QString>("typed");  // keys typed at its end
    QTest::addColumn<bool>("fetch");     // fetched after typing
    QTest::addColumn<QString>("answer"); // "" when no question is expected
    QTest::addColumn<bool>("shown");
    QTest::newRow("initial text: no question") << ""
                                               << "" << false << "" << true;
    QTest::newRow("opened query unchanged: no question") << "select * from Artist"
                                                         << "" << false << "" << true;
    QTest::newRow("typed text, yes") << "select * from Artist"
                                     << " where 1=1" << false << "yes" << true;
    QTest::newRow("typed text, no: the designer is not shown") << "select * from Artist"
                                                               << " where 1=1" << false << "no" << false;
    QTest::newRow("typed into a new query, yes") << ""
                                                 << " where 1=1" << false << "yes" << true;
    QTest::newRow("typed and fetched: no question") << "select * from Artist"
                                                    << " where 1=1" << true << "" << true;
}

void tst_frameQueryBuilder::questionBeforeReplacingTypedSql()
{
    QFETCH(QString, opened);
    QFETCH(QString, typed);
    QFETCH(bool, fetch);
    QFETCH(QString, answer);
    QFETCH(bool, shown);
    ScriptedDialogs script;
    if (answer == "yes")
        script.yes();
    else if (answer == "no")
        script.no();
    auto frame = connectedFrame();
    if (!opened.isEmpty())
        frame->SetQueryLines({opened});
    frame->memQuery->moveCursor(QTextCursor::End);
    QTest::keyClicks(frame->memQuery, typed);
    const QStringList memo = frame->QueryLines();
    if (fetch)
        QTest::mouseClick(frame->btnfetch, Qt::LeftButton);
    auto seen = std::make_shared<bool>(false);
    onDesigner([](TfrmQueryBuilder* d) { QTest::mouseClick(d->btnCancel, Qt::LeftButton); }, seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QCOMPARE(*seen, shown);
    if (answer.isEmpty()) {
        QVERIFY2(script.shown().isEmpty(), qPrintable(script.texts().join('|')));
    } else {
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.last().text, QString("Current SQL changes may be lost"));
        QCOMPARE(script.last().caption, QString("OK to continue"));
    }
    QCOMPARE(frame->QueryLines(), memo);
    if (!shown) {
        // Nothing ran: the next click, without a queued answer, must ask again.
        QCOMPARE(script.pending(), 0);
    }
}

void tst_frameQueryBuilder::refusedStatementLeavesMemoReplacedAndGridEmpty()
{
    ScriptedDialogs script;
    auto frame = connectedFrame();
    auto seen = std::make_shared<bool>(false);
    onDesigner(
        [](TfrmQueryBuilder* d) {
            drawTable(d, "Genre", "Name");
            // The table goes away behind the designer's back: the statement is refused.
            TDbQuery drop;
            drop.SetConnection(d->qryADOTest->Connection());
            drop.SetSQL({"ALTER TABLE Genre RENAME TO GenreGone"});
            drop.Open();
            QTest::mouseClick(d->btnApply, Qt::LeftButton);
        },
        seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QVERIFY(*seen);
    QCOMPARE(frame->QueryLines(), QStringList({"SELECT G.Name", "FROM Genre AS G"}));
    QVERIFY(!frame->qryADO->Active());
    QCOMPARE(script.texts().size(), 1);
    QVERIFY2(script.texts().first().contains("Genre"), qPrintable(script.texts().first()));
    TDbQuery back;
    back.SetConnection(frame->conADO);
    back.SetSQL({"ALTER TABLE GenreGone RENAME TO Genre"});
    back.Open();
}

void tst_frameQueryBuilder::connectEmptiesTheWorkArea()
{
    ScriptedDialogs script;
    auto frame = connectedFrame();
    auto seen = std::make_shared<bool>(false);
    onDesigner(
        [](TfrmQueryBuilder* d) {
            drawTable(d, "Genre", "Name");
            drawTable(d, "Artist", "Name");
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        },
        seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QVERIFY(*seen);
    TfrmQueryBuilder* designer = frame->queryBuilder();
    QCOMPARE(designer->workarea->TableCount(), 2);
    QVERIFY(!designer->workarea->GridData().IsEmpty());

    // Connect... to a database again: the diagram of the old connection goes.
    script.file(database());
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<TfrmDatabaseType*>(QApplication::activeModalWidget()))
            dialog->ItemButton(TfrmDatabaseType::MicrosoftAccess)->click();
    });
    QTest::mouseClick(frame->btnConnect, Qt::LeftButton);
    QVERIFY(frame->conADO->Connected());
    QCOMPARE(frame->queryBuilder(), designer);
    QCOMPARE(designer->workarea->TableCount(), 0);
    QVERIFY(designer->workarea->GridData().IsEmpty());
}

std::pair<QString, QStringList> tst_frameQueryBuilder::appliedDiagram() const
{
    auto frame = connectedFrame();
    auto seen = std::make_shared<bool>(false);
    onDesigner(
        [](TfrmQueryBuilder* d) {
            drawTable(d, "Genre", "Name");
            d->workarea->FindTable("Genre")->move(200, 120);
            QTest::mouseClick(d->cbxGroupBy, Qt::LeftButton);
            QTest::mouseClick(d->btnApply, Qt::LeftButton);
        },
        seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    return {frame->diagramDesign(), frame->QueryLines()};
}

void tst_frameQueryBuilder::keptDiagramComesBack_data()
{
    QTest::addColumn<QString>("typed");  // keys typed at the SQL's end after opening
    QTest::addColumn<QString>("answer"); // to the diagram's question; "" when none is expected
    QTest::addColumn<int>("tables");
    QTest::newRow("SQL as the diagram made it: restored without a question") << ""
                                                                             << "" << 1;
    QTest::newRow("SQL changed by hand, yes: restored") << " where 1=1"
                                                        << "yes" << 1;
    QTest::newRow("SQL changed by hand, no: an empty designer") << " where 1=1"
                                                                << "no" << 0;
}

void tst_frameQueryBuilder::keptDiagramComesBack()
{
    QFETCH(QString, typed);
    QFETCH(QString, answer);
    QFETCH(int, tables);
    ScriptedDialogs script;
    const auto [diagram, lines] = appliedDiagram();
    QVERIFY(diagram.contains("\"Genre\""));
    QVERIFY(script.shown().isEmpty());

    // The query opened again in a new window.
    auto frame = connectedFrame();
    frame->SetDiagramDesign(diagram);
    frame->SetQueryLines(lines);
    frame->memQuery->moveCursor(QTextCursor::End);
    QTest::keyClicks(frame->memQuery, typed);
    const QStringList memo = frame->QueryLines();
    if (answer == "yes")
        script.yes();
    else if (answer == "no")
        script.no();
    auto seen = std::make_shared<bool>(false);
    QRect placed;
    QStringList drawn;
    onDesigner(
        [&](TfrmQueryBuilder* d) {
            QCOMPARE(d->workarea->TableCount(), tables);
            QCOMPARE(d->cbxGroupBy->isChecked(), tables > 0);
            if (tables > 0)
                placed = d->workarea->Tables(0)->geometry();
            drawn = d->SQLLines();
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        },
        seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QVERIFY(*seen);
    // One question at most, and only the diagram's own.
    if (answer.isEmpty()) {
        QVERIFY2(script.shown().isEmpty(), qPrintable(script.texts().join('|')));
    } else {
        QCOMPARE(script.texts(),
                 QStringList{"The SQL was changed after the diagram was drawn. Open the diagram "
                             "anyway? Applying it will replace the SQL."});
    }
    if (tables > 0) {
        QCOMPARE(placed.topLeft(), QPoint(200, 120));
        QCOMPARE(drawn, lines);
    }
    QCOMPARE(frame->QueryLines(), memo);
}

void tst_frameQueryBuilder::keptDiagramWithLostTableOrUnreadableText_data()
{
    QTest::addColumn<QString>("from"); // replaced in the kept text by "to"
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("tables");
    QTest::newRow("a table the database lost")
        << "\"tables\":["
        << "\"tables\":[{\"name\":\"Gone\",\"alias\":\"X\"},"
        << "These tables or fields are no longer in the database and were left out of the diagram:\nGone"
        << 1;
    // The statement is still the one the diagram made: no question, only the message.
    QTest::newRow("the table the statement reads was lost")
        << "\"name\":\"Genre\""
        << "\"name\":\"Gone\""
        << "These tables or fields are no longer in the database and were left out of the diagram:\nGone"
        << 0;
    QTest::newRow("a truncated text") << "\"version\""
                                      << "\"vers"
                                      << "The saved diagram cannot be read: " << 0;
    QTest::newRow("a later version")
        << "\"version\":1"
        << "\"version\":3"
        << "The saved diagram cannot be read: it was written by a later version (3)" << 0;
}

void tst_frameQueryBuilder::keptDiagramWithLostTableOrUnreadableText()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, message);
    QFETCH(int, tables);
    ScriptedDialogs script;
    auto [diagram, lines] = appliedDiagram();
    QVERIFY(diagram.contains(from));
    diagram.replace(from, to);
    auto frame = connectedFrame();
    frame->SetDiagramDesign(diagram);
    frame->SetQueryLines(lines);
    auto seen = std::make_shared<bool>(false);
    int count = -1;
    onDesigner(
        [&](TfrmQueryBuilder* d) {
            count = d->workarea->TableCount();
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        },
        seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QVERIFY(*seen);
    QCOMPARE(count, tables);
    QCOMPARE(script.texts().size(), 1); // the message, and no question after it
    QVERIFY2(script.texts().first().startsWith(message), qPrintable(script.texts().first()));
    QCOMPARE(frame->QueryLines(), lines);
}

// Without a diagram to read, SQL typed since is guarded by the usual question; No keeps
// the designer closed and the SQL as typed.
void tst_frameQueryBuilder::unreadableDiagramStillGuardsTypedSql()
{
    ScriptedDialogs script;
    auto [diagram, lines] = appliedDiagram();
    diagram.replace("\"version\"", "\"vers");
    auto frame = connectedFrame();
    frame->SetDiagramDesign(diagram);
    frame->SetQueryLines(lines);
    frame->memQuery->moveCursor(QTextCursor::End);
    QTest::keyClicks(frame->memQuery, " where 1=1");
    const QStringList memo = frame->QueryLines();
    script.no();
    auto seen = std::make_shared<bool>(false);
    onDesigner([](TfrmQueryBuilder*) {}, seen);
    QTest::mouseClick(frame->btnQBuilder, Qt::LeftButton);
    QVERIFY(!*seen);
    QCOMPARE(script.texts().size(), 2);
    QVERIFY2(script.texts().at(0).startsWith("The saved diagram cannot be read: "),
             qPrintable(script.texts().at(0)));
    QCOMPARE(script.texts().at(1), QString("Current SQL changes may be lost"));
    QCOMPARE(frame->QueryLines(), memo);
}

QTEST_MAIN(tst_frameQueryBuilder)
#include "tst_frameQueryBuilder.moc"
