#include "designerTestSupport.h"

#include "LumQBException.h"
#include "LumQBGeometry.h"
#include "LumQBGrid.h"
#include "LumQBLink.h"
#include "LumQBLinkProp.h"
#include "uDialogScript.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

// Drives the work area as a user does: drags with real mouse events, menus, the
// alias box and the properties dialog, on tables of real SQLite databases.
class tst_LumQBWorkArea : public QObject
{
    Q_OBJECT
private slots:
    void tableNamesDraggedFromTheListAreAdded();
    void dropOfSeveralTablesCascadesAndSelectsPresentOne();
    void tableListDropOntoTableWindowAddsTables();
    void addingWithoutTableListOrFieldsIsRefused();
    void newWindowFitsItsFieldsAndCaption();
    void fieldDraggedOntoFieldLinksTables();
    void secondLinkOnSameFieldsRefusedEitherWay();
    void starEntryNeverLinks_data();
    void starEntryNeverLinks();
    void fieldDroppedOnOwnListLinksWindowToItself();
    void dragOverAnotherListShowsTargetEntry();
    void allRowsFromTogglesJoinKind();
    void propertiesDialogSetsOperatorAndKind_data();
    void propertiesDialogSetsOperatorAndKind();
    void doubleClickOnLinkOpensProperties();
    void fieldGridSetFromEitherSideShowsTheRows();
    void linkMenuFieldsAndHint();
    void closingWindowReportsRemovalsBeforeObjectsGo();
    void deletingWindowRunsTheSameRemoval();
    void unlinkButtonRemovesOnlyItsLinks();
    void aliasChangeAndDuplicateAlias();
    void ticksAndSelectAllMakeGridRows();
    void movingWindowByCaptionMovesItsLinks();
    void sizingFrameResizesWithinMinimum();
    void pressOutsideLinkBandReachesWhatIsBeneath();
    void selectionIsSingle();
    void linkFieldsCheckedByName();
    void threeTablesWithTwoJoinsAreDrawn();
    void tableMenuAsksWorkAreaFirst();
};

namespace {

QPoint bandMiddle(TLumQBLink* l)
{
    const QList<QPoint> line = l->Polyline();
    return l->Geometry().topLeft() + (line[1] + line[2]) / 2;
}

// Press on the canvas as the window system delivers it: to whatever lies at that point.
void pressOnWorkArea(TDesignerBench& b, QPoint canvasPos, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* top = b.area->window();
    const QPoint inWindow = b.area->Canvas()->mapTo(top, canvasPos);
    QTest::mousePress(top->windowHandle(), button, {}, inWindow);
    QTest::mouseRelease(top->windowHandle(), button, {}, inWindow);
}

void linkFields(TLumQBTable* from, const QString& f1, TLumQBTable* to, const QString& f2)
{
    TDesignerBench::drag(from->FieldList->viewport(), TDesignerBench::fieldPos(from, f1),
                         to->FieldList->viewport(), TDesignerBench::fieldPos(to, f2));
}

void select(QListWidget* list, const QStringList& names)
{
    list->clearSelection();
    for (const QString& n : names)
        list->findItems(n, Qt::MatchExactly).first()->setSelected(true);
}

} // namespace

void tst_LumQBWorkArea::tableNamesDraggedFromTheListAreAdded()
{
    ScriptedDialogs script;
    TDesignerBench b(northwind());
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    QSignalSpy added(b.area, &TLumQBWorkArea::OnAddTable);
    select(b.list, {"Order"});
    b.drag(b.list->viewport(), b.listPos("Order"), b.area->Canvas(), QPoint(200, 60));
    QCOMPARE(b.area->TableCount(), 1);
    TLumQBTable* t = b.area->Tables(0);
    QCOMPARE(t->TableName(), QString("Order"));
    QCOMPARE(t->TableAlias(), QString("O"));
    QCOMPARE(t->toolTip(), QString("Order"));
    QCOMPARE(t->pos(), QPoint(200, 60));
    QCOMPARE(t->FieldList->item(0)->text(), QString("*"));
    QCOMPARE(t->FieldList->item(1)->text(), QString("Id"));
    QCOMPARE(t->FieldList->item(2)->text(), QString("CustomerId"));
    QVERIFY(t->Selected());
    QCOMPARE(b.area->SelectedObject(), t);
    QCOMPARE(added.count(), 1);
    QCOMPARE(changes.count(), 1);
    QVERIFY(script.shown().isEmpty());

    // A press and release without moving past the threshold is a click, not a drag.
    select(b.list, {"Customer"});
    QTest::mousePress(b.list->viewport(), Qt::LeftButton, {}, b.listPos("Customer"));
    QTest::mouseMove(b.list->viewport(), b.listPos("Customer") + QPoint(19, 0));
    QTest::mouseRelease(b.list->viewport(), Qt::LeftButton, {}, b.listPos("Customer") + QPoint(19, 0));
    QCOMPARE(b.area->TableCount(), 1);
}

void tst_LumQBWorkArea::dropOfSeveralTablesCascadesAndSelectsPresentOne()
{
    ScriptedDialogs script;
    TDesignerBench b(northwind());
    TLumQBTable* present = b.add("Employee", {300, 200});
    select(b.list, {"Category", "Employee", "Shipper"});
    b.drag(b.list->viewport(), b.listPos("Category"), b.area->Canvas(), QPoint(30, 40));
    QCOMPARE(b.area->TableCount(), 3);
    QCOMPARE(b.area->FindTable("Category")->pos(), QPoint(30, 40));
    QCOMPARE(present->pos(), QPoint(300, 200));
    QCOMPARE(b.area->FindTable("Shipper")->pos(), QPoint(70, 80));
    QCOMPARE(b.area->Tables(2)->TableName(), QString("Shipper"));
    // The last one named was added last and is selected.
    QVERIFY(b.area->FindTable("Shipper")->Selected());
    QVERIFY(!present->Selected());
}

void tst_LumQBWorkArea::tableListDropOntoTableWindowAddsTables()
{
    ScriptedDialogs script;
    TDesignerBench b(northwind());
    TLumQBTable* order = b.add("Order", {20, 20});
    select(b.list, {"Product"});
    const QPoint onList = b.fieldPos(order, "Id");
    b.drag(b.list->viewport(), b.listPos("Product"), order->FieldList->viewport(), onList);
    TLumQBTable* product = b.area->FindTable("Product");
    QVERIFY(product);
    QCOMPARE(product->pos(), order->FieldList->viewport()->mapTo(b.area->Canvas(), onList));
    QCOMPARE(b.area->LinkCount(), 0);
}

void tst_LumQBWorkArea::addingWithoutTableListOrFieldsIsRefused()
{
    ScriptedDialogs script;
    TDesignerBench b(northwind());
    b.add("Order", {20, 20});
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    QSignalSpy removed(b.area, &TLumQBWorkArea::OnRemoveTable);

    // A name the database has no fields for: an error box, nothing added, the others stay.
    b.area->AddTables(200, 20, "NoSuchTable");
    QCOMPARE(script.texts(), QStringList{"Table \"NoSuchTable\" doesn't have any fields!"});
    QCOMPARE(b.area->TableCount(), 1);
    QCOMPARE(b.area->Diagram().TableCount(), 1);
    QVERIFY(b.area->Canvas()->findChildren<TLumQBTable*>().size() == 1);
    QCOMPARE(removed.count(), 0);

    b.area->SetTableList(nullptr);
    try {
        b.area->AddTables(10, 10);
        QFAIL("AddTables without a table list did not fail");
    } catch (const ELumQBException& e) {
        QCOMPARE(e.message(), QString("Property TableList not assigned!"));
    }
    QCOMPARE(b.area->TableCount(), 1);
}

void tst_LumQBWorkArea::newWindowFitsItsFieldsAndCaption()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    // Genre has GenreId and Name: "*" and two entries fit in 3 x 13 + 28.
    TLumQBTable* genre = b.add("Genre", {20, 20});
    QCOMPARE(genre->height(), 3 * 13 + 28);
    QCOMPARE(genre->width(), 127);
    // Many fields: the window keeps its height.
    TLumQBTable* customer = b.add("Customer", {200, 20});
    QCOMPARE(customer->height(), 163);
    // A name wider than the window widens it to the name plus 34.
    b.connection.Close();
    TDesignerBench n(northwind());
    TLumQBTable* demo = n.add("CustomerCustomerDemo", {20, 20});
    const int nameWidth = demo->fontMetrics().horizontalAdvance("CustomerCustomerDemo");
    QCOMPARE(demo->width(), std::max(127, nameWidth + 34));
    // Narrowing it later shortens the caption from its end.
    // The alias does not fit before the buttons: the caption is shortened from its end.
    const QString full = demo->CaptionText();
    QVERIFY(QString("CustomerCustomerDemo : C").startsWith(full));
    QVERIFY(full.startsWith("CustomerCustomer"));
    demo->resize(90, demo->height());
    const QString shortened = demo->CaptionText();
    QVERIFY(shortened.size() < full.size());
    QVERIFY(full.startsWith(shortened));
    QVERIFY(demo->fontMetrics().horizontalAdvance(shortened) <= demo->UnLinkBtn->x() - 3 - 5);
}

void tst_LumQBWorkArea::fieldDraggedOntoFieldLinksTables()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    QSignalSpy addLink(b.area, &TLumQBWorkArea::OnAddLink);
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    QVERIFY2(script.shown().isEmpty(), qPrintable(script.texts().join('|')));
    QCOMPARE(b.area->LinkCount(), 1);
    TLumQBLink* l = b.area->Links(0);
    QCOMPARE(l->Table1(), customer);
    QCOMPARE(l->Table2(), invoice);
    QCOMPARE(l->Field1(), QString("CustomerId"));
    QCOMPARE(l->Field2(), QString("CustomerId"));
    QCOMPARE(l->FieldIndex1(), 1);
    QCOMPARE(l->FieldIndex2(), 2);
    QCOMPARE(l->JoinKind(), jkInner);
    QCOMPARE(l->JoinOperator(), 0);
    QVERIFY(l->Selected());
    QVERIFY(!customer->Selected() && !invoice->Selected());
    QCOMPARE(addLink.count(), 1);
    QCOMPARE(addLink[0], (QVariantList{"Customer", "Invoice", "CustomerId", "CustomerId"}));
    QCOMPARE(changes.count(), 1);
    // Placed from the rows of the two fields, Customer left of Invoice.
    QCOMPARE(l->Arrangement(), 1);
    QCOMPARE(l->Geometry().left(), customer->x() + customer->width());
    QCOMPARE(l->Geometry().right() + 1, invoice->x());
    QCOMPARE(l->Geometry().top(), customer->FieldRowY(1) - 7);
    QCOMPARE(l->Geometry().bottom() + 1, invoice->FieldRowY(2) + 7);
    QCOMPARE(b.area->GetSQL().join(' '),
             QString("SELECT  FROM Customer AS C, Invoice AS I WHERE C.CustomerId=I.CustomerId"));
    // A connection's own quoting reaches every name.
    const auto quote = [](const QString& name) { return '"' + name + '"'; };
    QCOMPARE(
        b.area->GetSQL(quote).join(' '),
        QString(
            R"(SELECT  FROM "Customer" AS "C", "Invoice" AS "I" WHERE "C"."CustomerId"="I"."CustomerId")"));
}

void tst_LumQBWorkArea::secondLinkOnSameFieldsRefusedEitherWay()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    linkFields(invoice, "CustomerId", customer, "CustomerId");
    QCOMPARE(script.texts(),
             (QStringList{"These tables are already linked!", "These tables are already linked!"}));
    QCOMPARE(b.area->LinkCount(), 1);
    QCOMPARE(b.area->Diagram().LinkCount(), 1);
    QCOMPARE(changes.count(), 0);
    // Other fields of the same two tables may be linked too.
    linkFields(customer, "SupportRepId", invoice, "InvoiceId");
    QCOMPARE(b.area->LinkCount(), 2);
}

void tst_LumQBWorkArea::starEntryNeverLinks_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("dragging \"*\"") << "*"
                                    << "CustomerId";
    QTest::newRow("dropping onto \"*\"") << "CustomerId"
                                         << "*";
}

void tst_LumQBWorkArea::starEntryNeverLinks()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    linkFields(customer, from, invoice, to);
    QCOMPARE(b.area->LinkCount(), 0);
    QVERIFY(script.shown().isEmpty());
}

void tst_LumQBWorkArea::fieldDroppedOnOwnListLinksWindowToItself()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* employee = b.add("Employee", {20, 20});
    // The same entry onto itself does nothing.
    linkFields(employee, "ReportsTo", employee, "ReportsTo");
    QCOMPARE(b.area->LinkCount(), 0);
    linkFields(employee, "ReportsTo", employee, "EmployeeId");
    QCOMPARE(b.area->LinkCount(), 1);
    TLumQBLink* l = b.area->Links(0);
    QCOMPARE(l->Table1(), employee);
    QCOMPARE(l->Table2(), employee);
    QCOMPARE(l->Field1(), QString("ReportsTo"));
    QCOMPARE(l->Field2(), QString("EmployeeId"));
    QCOMPARE(l->Arrangement(), 0);
    // The bracket at the window's right edge, from the lower row (ReportsTo) up to EmployeeId.
    QCOMPARE(l->Geometry().left(), employee->x() + employee->width());
    QCOMPARE(l->Geometry().width(), 15);
    QCOMPARE(l->Slope(), 2);
    QCOMPARE(
        l->Polyline(),
        (QList<QPoint>{{0, 7}, {10, 7}, {10, l->Geometry().height() - 7}, {0, l->Geometry().height() - 7}}));
    // The other order of the same two fields is the same link.
    linkFields(employee, "EmployeeId", employee, "ReportsTo");
    QCOMPARE(script.texts(), QStringList{"These tables are already linked!"});
    QCOMPARE(b.area->LinkCount(), 1);
}

void tst_LumQBWorkArea::dragOverAnotherListShowsTargetEntry()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    QWidget* source = customer->FieldList->viewport();
    const QPoint from = b.fieldPos(customer, "Email");
    QTest::mousePress(source, Qt::LeftButton, {}, from);
    QTest::mouseMove(source, from + QPoint(0, 30));
    // Moves with the button held do not change the source list's current entry.
    QCOMPARE(customer->FieldList->currentItem()->text(), QString("Email"));
    const QPoint over =
        source->mapFromGlobal(invoice->FieldList->viewport()->mapToGlobal(b.fieldPos(invoice, "Total")));
    QTest::mouseMove(source, over);
    QCOMPARE(invoice->FieldList->currentItem()->text(), QString("Total"));
    QTest::mouseRelease(source, Qt::LeftButton, {}, over);
    QCOMPARE(b.area->Links(0)->Field1(), QString("Email"));
    QCOMPARE(b.area->Links(0)->Field2(), QString("Total"));
}

void tst_LumQBWorkArea::allRowsFromTogglesJoinKind()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    TLumQBLink* l = b.area->Links(0);
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);

    struct Step
    {
        int item;
        TJoinKind kind;
        bool tick1, tick2;
        const char* image;
    };
    // Customers, then Orders, then Customers again, then Orders again.
    const Step steps[] = {
        {1, jkLeftOuter, true, false, "QBLEFTOUTER"},   {2, jkFullOuter, true, true, "QBFULLOUTER"},
        {1, jkRightOuter, false, true, "QBRIGHTOUTER"}, {2, jkInner, false, false, "QBINNERJOIN"},
        {2, jkRightOuter, false, true, "QBRIGHTOUTER"}, {2, jkInner, false, false, "QBINNERJOIN"}};
    int n = 0;
    for (const Step& s : steps) {
        pressOnWorkArea(b, bandMiddle(l));
        QVERIFY(l->Menu->isVisible());
        QCOMPARE(l->miAllFromTable1->text(), QString("All rows from Customer"));
        QCOMPARE(l->miAllFromTable2->text(), QString("All rows from Invoice"));
        (s.item == 1 ? l->miAllFromTable1 : l->miAllFromTable2)->trigger();
        l->Menu->close();
        QCOMPARE(l->JoinKind(), s.kind);
        QCOMPARE(l->miAllFromTable1->isChecked(), s.tick1);
        QCOMPARE(l->miAllFromTable2->isChecked(), s.tick2);
        QCOMPARE(l->JoinImage(), QString(s.image));
        QCOMPARE(changes.count(), ++n);
    }
    pressOnWorkArea(b, bandMiddle(l));
    l->miAllFromTable1->trigger();
    l->Menu->close();
    QCOMPARE(
        b.area->GetSQL().join(' '),
        QString("SELECT  FROM  Customer AS C LEFT OUTER JOIN Invoice AS I ON C.CustomerId=I.CustomerId"));
}

void tst_LumQBWorkArea::propertiesDialogSetsOperatorAndKind_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<bool>("all1");
    QTest::addColumn<bool>("all2");
    QTest::addColumn<int>("op");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("opAfter");
    QTest::newRow("both off gives inner, whatever it was")
        << int(jkFullOuter) << false << false << 5 << true << int(jkInner) << 5;
    QTest::newRow("first only: left outer")
        << int(jkInner) << true << false << 3 << true << int(jkLeftOuter) << 3;
    QTest::newRow("second only: right outer")
        << int(jkLeftOuter) << false << true << 0 << true << int(jkRightOuter) << 0;
    QTest::newRow("both: full outer") << int(jkInner) << true << true << 1 << true << int(jkFullOuter) << 1;
    QTest::newRow("cancel changes nothing")
        << int(jkLeftOuter) << false << true << 4 << false << int(jkLeftOuter) << 0;
}

void tst_LumQBWorkArea::propertiesDialogSetsOperatorAndKind()
{
    QFETCH(int, before);
    QFETCH(bool, all1);
    QFETCH(bool, all2);
    QFETCH(int, op);
    QFETCH(bool, ok);
    QFETCH(int, after);
    QFETCH(int, opAfter);
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    TLumQBLink* l = b.area->Links(0);
    b.area->Document()->SetLinkJoin(l->Data(), 0, TJoinKind(before));

    pressOnWorkArea(b, bandMiddle(l));
    l->Menu->close();
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TLumQBLinkPropForm*>(QApplication::activeModalWidget());
        QVERIFY(form);
        shown << form->windowTitle() << form->Table1->text() << form->Field1->text() << form->Table2->text()
              << form->Field2->text() << form->JoinOp->currentText() << form->CBAllFrom1->text()
              << form->CBAllFrom2->text() << QString::number(form->CBAllFrom1->isChecked())
              << QString::number(form->CBAllFrom2->isChecked());
        if (qEnvironmentVariableIsSet("QUILLORY_SHOT_DIR"))
            form->grab().save(qEnvironmentVariable("QUILLORY_SHOT_DIR") + "/join-properties.png");
        form->CBAllFrom1->setChecked(all1);
        form->CBAllFrom2->setChecked(all2);
        form->JoinOp->setCurrentIndex(op);
        QTest::mouseClick(ok ? form->btnOK : form->btnCancel, Qt::LeftButton);
    });
    l->miLinkOptions->trigger();
    const bool was1 = before == jkLeftOuter || before == jkFullOuter;
    const bool was2 = before == jkRightOuter || before == jkFullOuter;
    QCOMPARE(shown, (QStringList{"Join properties", "Customer", "CustomerId", "Invoice", "CustomerId", "=",
                                 "All rows from Customer", "All rows from Invoice", QString::number(was1),
                                 QString::number(was2)}));
    QCOMPARE(int(l->JoinKind()), after);
    QCOMPARE(l->JoinOperator(), opAfter);
    const char* ops[] = {"=", "<", ">", "<=", ">=", "<>"};
    QCOMPARE(l->Hint(), QString("'Customer'.'CustomerId' %1 'Invoice'.'CustomerId'").arg(ops[opAfter]));
}

void tst_LumQBWorkArea::doubleClickOnLinkOpensProperties()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    TLumQBLink* l = b.area->Links(0);
    QStringList shown;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* form = qobject_cast<TLumQBLinkPropForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        poll.stop();
        shown << form->windowTitle();
        form->CBAllFrom2->setChecked(true);
        QTest::mouseClick(form->btnOK, Qt::LeftButton);
    });
    poll.start();
    // The first press opens the link's menu under the pointer; the second lands on it.
    const QPoint at = bandMiddle(l);
    pressOnWorkArea(b, at);
    QVERIFY(l->Menu->isVisible());
    // An X server hands it over as a double-click alone, with no press before it.
    const QPoint onMenu = l->Menu->mapFromGlobal(b.area->Canvas()->mapToGlobal(at));
    QMouseEvent second(QEvent::MouseButtonDblClick, onMenu, l->Menu->mapToGlobal(onMenu), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(l->Menu, &second);
    QTest::mouseRelease(l->Menu, Qt::LeftButton, {}, onMenu);
    QTRY_COMPARE(shown, QStringList{"Join properties"});
    QVERIFY(!l->Menu->isVisible());
    QCOMPARE(l->JoinKind(), jkRightOuter);
    QVERIFY(script.shown().isEmpty());
}

void tst_LumQBWorkArea::fieldGridSetFromEitherSideShowsTheRows()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBGrid grid;
    b.area->SetFieldGrid(&grid);
    QCOMPARE(grid.WorkArea(), b.area);
    TLumQBTable* genre = b.add("Genre", {20, 20});
    b.area->Document()->SetFieldTicked(genre->Data(), 2, true);
    QCOMPARE(grid.model()->rowCount(), 1);
    QCOMPARE(b.area->GetSQL().join(' '), QString("SELECT G.Name FROM Genre AS G"));
}

void tst_LumQBWorkArea::linkMenuFieldsAndHint()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    TLumQBLink* l = b.area->Links(0);
    bool handled = true;
    QList<QPoint> asked;
    connect(b.area, &TLumQBWorkArea::OnLinkPopupMenu, this, [&](TLumQBLink* link, QPoint pos, bool& h) {
        QCOMPARE(link, l);
        asked << pos;
        h = handled;
    });
    b.area->ClearSelection();
    pressOnWorkArea(b, bandMiddle(l), Qt::RightButton);
    QCOMPARE(asked, QList<QPoint>{bandMiddle(l)});
    QVERIFY(l->Selected());
    QVERIFY(!l->Menu->isVisible());
    QCOMPARE(l->miLinkName->text(), QString("Customer :: Invoice"));
    QVERIFY(!l->miLinkName->isEnabled());
    QCOMPARE(l->Hint(), QString("'Customer'.'CustomerId' = 'Invoice'.'CustomerId'"));
    // The hint shows over the band.
    QHelpEvent help(QEvent::ToolTip, bandMiddle(l), b.area->Canvas()->mapToGlobal(bandMiddle(l)));
    QApplication::sendEvent(b.area->Canvas(), &help);
    QCOMPARE(QToolTip::text(), l->Hint());
    QToolTip::hideText();
    handled = false;
    pressOnWorkArea(b, bandMiddle(l));
    QVERIFY(l->Menu->isVisible());
    // "Remove" takes the link off, reporting it first.
    QSignalSpy removed(b.area, &TLumQBWorkArea::OnRemoveLink);
    QPointer<TLumQBLink> guard(l);
    l->miUnlink->trigger();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed[0], (QVariantList{"Customer", "Invoice", "CustomerId", "CustomerId"}));
    QCOMPARE(b.area->LinkCount(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
}

void tst_LumQBWorkArea::closingWindowReportsRemovalsBeforeObjectsGo()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    TLumQBTable* employee = b.add("Employee", {20, 250});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    linkFields(customer, "SupportRepId", employee, "EmployeeId");
    linkFields(invoice, "InvoiceId", invoice, "CustomerId");
    customer->FieldList->setCurrentRow(3);
    QTest::keyClick(customer->FieldList, Qt::Key_Space);
    QCOMPARE(b.area->GridData().RowCount(), 1);

    QStringList events;
    QPointer<TLumQBTable> guard(customer);
    connect(b.area, &TLumQBWorkArea::OnRemoveTable, this, [&](const QString& name) {
        // Still there, with its links.
        events << "table " + name + QString(" %1 %2").arg(b.area->TableCount()).arg(b.area->LinkCount());
        QVERIFY(b.area->FindTable(name) == guard);
    });
    connect(b.area, &TLumQBWorkArea::OnRemoveLink, this,
            [&](const QString& t1, const QString& t2, const QString& f1, const QString&) {
                events << QString("link %1 %2 %3 %4").arg(t1, t2, f1).arg(b.area->LinkCount());
            });
    connect(b.area, &TLumQBWorkArea::OnChange, this,
            [&] { events << QString("change %1").arg(b.area->GridData().RowCount()); });
    QTest::mouseClick(customer->CloseBtn, Qt::LeftButton);
    QCOMPARE(events, (QStringList{"table Customer 3 3", "link Customer Employee SupportRepId 3", "change 1",
                                  "link Customer Invoice CustomerId 2", "change 1", "change 0"}));
    QCOMPARE(b.area->TableCount(), 2);
    QCOMPARE(b.area->LinkCount(), 1);
    QCOMPARE(b.area->Links(0)->Table1(), invoice);
    QVERIFY(b.area->GridData().IsEmpty());
    QCOMPARE(b.area->Diagram().TableCount(), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
}

void tst_LumQBWorkArea::deletingWindowRunsTheSameRemoval()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    QSignalSpy removedTables(b.area, &TLumQBWorkArea::OnRemoveTable);
    QSignalSpy removedLinks(b.area, &TLumQBWorkArea::OnRemoveLink);
    // How the query frame empties the work area after a new connection.
    while (b.area->TableCount() > 0)
        delete b.area->Tables(0);
    QCOMPARE(removedTables.count(), 2);
    QCOMPARE(removedLinks.count(), 1);
    QCOMPARE(b.area->Diagram().TableCount(), 0);
    QCOMPARE(b.area->SelectedObject(), nullptr);
    QCOMPARE(b.area->GetSQL().join(' '), QString("SELECT  FROM "));
}

void tst_LumQBWorkArea::unlinkButtonRemovesOnlyItsLinks()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    TLumQBTable* employee = b.add("Employee", {20, 250});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    linkFields(employee, "EmployeeId", customer, "SupportRepId");
    linkFields(employee, "ReportsTo", employee, "EmployeeId");
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    QTest::mouseClick(invoice->UnLinkBtn, Qt::LeftButton);
    QVERIFY(invoice->Selected());
    QCOMPARE(b.area->LinkCount(), 2);
    QCOMPARE(changes.count(), 1);
    invoice->TableMenu->popup(invoice->mapToGlobal(QPoint(10, 30)));
    employee->miUnLink->trigger();
    QCOMPARE(b.area->LinkCount(), 0);
    QCOMPARE(b.area->TableCount(), 3);
}

void tst_LumQBWorkArea::aliasChangeAndDuplicateAlias()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    script.input("Cu");
    customer->miSetTableAlias->trigger();
    QCOMPARE(script.last().kind, dialogs::Kind::Input);
    QCOMPARE(script.last().caption, QString("Change table alias"));
    QCOMPARE(script.last().text, QString("Please enter the new alias for the table:"));
    QCOMPARE(script.last().value, QString("C"));
    QCOMPARE(customer->TableAlias(), QString("Cu"));
    customer->resize(200, customer->height());
    QCOMPARE(customer->CaptionText(), QString("Customer : Cu"));
    QCOMPARE(changes.count(), 1);

    // Another window's alias: refused in the error box, nothing changes.
    script.input("Cu");
    invoice->miSetTableAlias->trigger();
    QCOMPARE(script.last().kind, dialogs::Kind::Error);
    QCOMPARE(script.last().text, QString("The alias you entered already exists!"));
    QCOMPARE(invoice->TableAlias(), QString("I"));
    QCOMPARE(changes.count(), 1);

    // The same alias again, or cancel: nothing happens; the empty text is taken.
    script.input("I");
    invoice->miSetTableAlias->trigger();
    script.cancel();
    invoice->miSetTableAlias->trigger();
    QCOMPARE(changes.count(), 1);
    script.input("");
    invoice->miSetTableAlias->trigger();
    QCOMPARE(invoice->TableAlias(), QString());
    QCOMPARE(changes.count(), 2);
    // A new table's alias takes the changed ones into account.
    QCOMPARE(b.add("Album", {400, 300})->TableAlias(), QString("A"));
    QCOMPARE(b.add("Artist", {400, 300})->TableAlias(), QString("A1"));
}

void tst_LumQBWorkArea::ticksAndSelectAllMakeGridRows()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    QWidget grid; // stands in for the field grid: the rows are the work area's
    b.area->SetFieldGrid(&grid);
    TLumQBTable* genre = b.add("Genre", {20, 20});
    QSignalSpy rows(b.area, &TLumQBWorkArea::GridRowsChanged);
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    genre->FieldList->setCurrentRow(2);
    QTest::keyClick(genre->FieldList, Qt::Key_Space);
    QCOMPARE(b.area->GridData().RowCount(), 1);
    QCOMPARE(b.area->GridData().Row(0).Column, QString("Name"));
    QCOMPARE(b.area->GridData().Row(0).Table, QString("Genre"));
    QCOMPARE(rows.last().at(0).toInt(), 0);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(b.area->GetSQL().join(' '), QString("SELECT G.Name FROM Genre AS G"));

    genre->miSelectAll->trigger();
    QCOMPARE(b.area->GridData().RowCount(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(genre->FieldList->item(i)->checkState(), Qt::Checked);
    QVERIFY(b.area->GridData().FindRow("*", "Genre") >= 0);

    QTest::keyClick(genre->FieldList, Qt::Key_Space); // unticks Name again
    QCOMPARE(b.area->GridData().FindRow("Name", "Genre"), -1);
    QCOMPARE(b.area->GridData().RowCount(), 2);

    genre->miSelectNone->trigger();
    QVERIFY(b.area->GridData().IsEmpty());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(genre->FieldList->item(i)->checkState(), Qt::Unchecked);
    QCOMPARE(b.area->Diagram().Tables(0)->Ticked, (QList<bool>{false, false, false}));
}

void tst_LumQBWorkArea::movingWindowByCaptionMovesItsLinks()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {300, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    TLumQBLink* l = b.area->Links(0);
    QCOMPARE(l->Arrangement(), 1);
    // Drag Invoice by its caption to the left of Customer, a little lower.
    // Each event is given where the pointer is relative to the window as it is then.
    const QPoint grip = invoice->mapToGlobal(QPoint(40, 10));
    auto at = [invoice](QPoint global) { return invoice->mapFromGlobal(global); };
    QTest::mousePress(invoice, Qt::LeftButton, {}, at(grip));
    QVERIFY(invoice->Selected());
    QTest::mouseMove(invoice, at(grip + QPoint(-100, 5)));
    QTest::mouseMove(invoice, at(grip + QPoint(-290, 10)));
    QTest::mouseRelease(invoice, Qt::LeftButton, {}, at(grip + QPoint(-290, 10)));
    QCOMPARE(invoice->pos(), QPoint(10, 50));
    QCOMPARE(l->Arrangement(), 3);
    QCOMPARE(l->Geometry().left(), invoice->x() + invoice->width());
    QCOMPARE(l->Geometry().right() + 1, customer->x() + customer->width() + 15);
    QCOMPARE(l->Geometry().top(), customer->FieldRowY(1) - 7);

    invoice->move(customer->x() + customer->width() + 100, 40);
    QCOMPARE(l->Arrangement(), 1);
    // A press on the field list selects the window too.
    QTest::mouseClick(customer->FieldList->viewport(), Qt::LeftButton, {}, b.fieldPos(customer, "Email"));
    QVERIFY(customer->Selected());
}

void tst_LumQBWorkArea::sizingFrameResizesWithinMinimum()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {300, 40});
    linkFields(customer, "Email", invoice, "Total");
    TLumQBLink* l = b.area->Links(0);
    const int yBefore = l->Geometry().top() + 7;
    // Drag the bottom-right corner up and left far past the minimum size.
    const QPoint corner(customer->width() - 1, customer->height() - 1);
    QTest::mousePress(customer, Qt::LeftButton, {}, corner);
    QTest::mouseMove(customer, corner + QPoint(-40, -50));
    QCOMPARE(customer->size(), QSize(87, 113));
    QCOMPARE(customer->FieldList->height(), 113 - 24);
    QCOMPARE(customer->CloseBtn->x(), 3 + 87 - 16 - 8);
    QCOMPARE(customer->UnLinkBtn->x(), customer->CloseBtn->x() - 16);
    QTest::mouseMove(customer, corner + QPoint(-400, -400));
    QTest::mouseRelease(customer, Qt::LeftButton, {}, corner + QPoint(-400, -400));
    QCOMPARE(customer->size(), QSize(50, 24));
    QCOMPARE(customer->pos(), QPoint(20, 20));
    // Email's row now lies below the window: the line leaves 10 pixels above its bottom.
    QCOMPARE(customer->FieldRowY(customer->Data()->IndexOfField("Email")), 20 + 3 + 24 - 10);
    QVERIFY(l->Geometry().top() + 7 != yBefore);
}

void tst_LumQBWorkArea::pressOutsideLinkBandReachesWhatIsBeneath()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {20, 200});
    invoice->resize(260, invoice->height());
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    TLumQBLink* l = b.area->Links(0);
    QCOMPARE(l->Arrangement(), 2);
    const QRect bounds = l->Geometry();
    bool menuAsked = false;
    connect(b.area, &TLumQBWorkArea::OnLinkPopupMenu, this, [&](TLumQBLink*, QPoint, bool& handled) {
        menuAsked = true;
        handled = true;
    });

    // Inside the link's bounds, outside its band, on Invoice: the window takes the press.
    const QPoint onInvoice(bounds.left() + 30, invoice->FieldRowY(2) - 3);
    QVERIFY(bounds.contains(onInvoice) && invoice->geometry().contains(onInvoice));
    QVERIFY(!l->HitTest(onInvoice));
    pressOnWorkArea(b, onInvoice);
    QVERIFY(invoice->Selected());
    QVERIFY(!l->Selected());
    QVERIFY(!menuAsked);

    // Inside the bounds on the empty work area, away from the band: the work area clears the selection.
    const QPoint empty(bounds.right() - 2, bounds.top() + 2);
    QVERIFY(!invoice->geometry().contains(empty) && !customer->geometry().contains(empty));
    QVERIFY(!l->HitTest(empty));
    pressOnWorkArea(b, empty);
    QVERIFY(!invoice->Selected());
    QCOMPARE(b.area->SelectedObject(), nullptr);

    // On the band: the link.
    pressOnWorkArea(b, bandMiddle(l));
    QVERIFY(l->Selected());
    QVERIFY(menuAsked);
}

void tst_LumQBWorkArea::selectionIsSingle()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {300, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    TLumQBLink* l = b.area->Links(0);
    QVERIFY(l->Selected());
    QTest::mouseClick(customer, Qt::LeftButton, {}, QPoint(30, 10));
    QVERIFY(customer->Selected() && !invoice->Selected() && !l->Selected());
    QCOMPARE(b.area->SelectedObject(), customer);
    b.area->ClearSelection();
    QVERIFY(!customer->Selected() && !invoice->Selected() && !l->Selected());
    QCOMPARE(b.area->SelectedObject(), nullptr);
    // Adding a table that is present only selects it.
    b.area->AddTables(500, 500, "Invoice");
    QVERIFY(invoice->Selected());
    QCOMPARE(invoice->pos(), QPoint(300, 40));
    QCOMPARE(b.area->TableCount(), 2);
}

void tst_LumQBWorkArea::linkFieldsCheckedByName()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {300, 40});
    linkFields(customer, "CustomerId", invoice, "CustomerId");
    TLumQBLink* l = b.area->Links(0);
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    // Found without regard to case, as the field list's search does.
    l->SetField1("email");
    QCOMPARE(l->Field1(), QString("email"));
    QCOMPARE(l->FieldIndex1(), customer->Data()->IndexOfField("Email"));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(l->Hint(), QString("'Customer'.'email' = 'Invoice'.'CustomerId'"));
    for (const QString& bad : {QString("*"), QString("Nothing")}) {
        try {
            l->SetField2(bad);
            QFAIL("a field that is not in the table was taken");
        } catch (const ELumQBException& e) {
            QCOMPARE(e.message(), QString("The field \"%1\" doesn't exists in table \"Invoice\"!").arg(bad));
        }
    }
    QCOMPARE(l->Field2(), QString("CustomerId"));
    QCOMPARE(changes.count(), 1);
}

// Northwind's Customer, Order and Employee joined inner and left outer. The picture is
// also written to $QUILLORY_SHOT_DIR when that is set, to be looked at.
void tst_LumQBWorkArea::threeTablesWithTwoJoinsAreDrawn()
{
    ScriptedDialogs script;
    TDesignerBench b(northwind());
    TLumQBTable* customer = b.add("Customer", {20, 30});
    TLumQBTable* order = b.add("Order", {230, 60});
    TLumQBTable* employee = b.add("Employee", {420, 20});
    linkFields(customer, "Id", order, "CustomerId");
    linkFields(order, "EmployeeId", employee, "Id");
    QCOMPARE(b.area->LinkCount(), 2);
    TLumQBLink* inner = b.area->Links(0);
    TLumQBLink* outer = b.area->Links(1);
    pressOnWorkArea(b, bandMiddle(outer));
    outer->miAllFromTable1->trigger();
    outer->Menu->close();
    QCOMPARE(outer->JoinKind(), jkLeftOuter);
    order->FieldList->setCurrentRow(2);
    QTest::keyClick(order->FieldList, Qt::Key_Space);
    QTest::mouseClick(order, Qt::LeftButton, {}, QPoint(30, 10));
    QVERIFY(order->Selected() && !inner->Selected() && !outer->Selected());

    if (qEnvironmentVariableIsSet("QUILLORY_SHOT_HOLD_MS")) // time to take a picture of the screen
        QTest::qWait(qEnvironmentVariableIntValue("QUILLORY_SHOT_HOLD_MS"));
    const QImage shot = b.window.grab().toImage();
    if (qEnvironmentVariableIsSet("QUILLORY_SHOT_DIR"))
        shot.save(qEnvironmentVariable("QUILLORY_SHOT_DIR") + "/workarea-offscreen.png");
    const QPoint origin = b.area->Canvas()->mapTo(&b.window, QPoint(0, 0));
    // Each line's first stub is drawn, and each join image sits at its middle segment.
    for (TLumQBLink* l : {inner, outer}) {
        const QPoint stub = origin + l->Geometry().topLeft() + (l->Polyline()[0] + l->Polyline()[1]) / 2;
        QCOMPARE(shot.pixelColor(stub), QColor(Qt::black));
        const QImage image(":/" + l->JoinImage() + ".png");
        QVERIFY(!image.isNull());
        const QPoint imagePos = origin + l->Geometry().topLeft() + LumQBGeometry::JoinImagePos(l->Polyline());
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (image.pixelColor(x, y).alpha() == 255) {
                    ++opaque;
                    QCOMPARE(shot.pixelColor(imagePos + QPoint(x, y)).rgb(), image.pixelColor(x, y).rgb());
                }
        QVERIFY(opaque > 20);
    }
    QCOMPARE(inner->JoinImage(), QString("QBINNERJOIN"));
    QCOMPARE(outer->JoinImage(), QString("QBLEFTOUTER"));
}

void tst_LumQBWorkArea::tableMenuAsksWorkAreaFirst()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* genre = b.add("Genre", {40, 40});
    bool handled = true;
    QList<QPoint> asked;
    connect(b.area, &TLumQBWorkArea::OnTablePopupMenu, this, [&](TLumQBTable* t, QPoint pos, bool& h) {
        QCOMPARE(t, genre);
        asked << pos;
        h = handled;
    });
    auto rightClick = [](QWidget* w, QPoint pos) {
        QContextMenuEvent e(QContextMenuEvent::Mouse, pos, w->mapToGlobal(pos));
        QApplication::sendEvent(w, &e);
    };
    // On the caption and on the field list, the position in the window's coordinates.
    rightClick(genre, QPoint(30, 10));
    const QPoint onList = b.fieldPos(genre, "Name");
    rightClick(genre->FieldList->viewport(), onList);
    QCOMPARE(asked, (QList<QPoint>{{30, 10}, genre->FieldList->viewport()->mapTo(genre, onList)}));
    QVERIFY(!genre->TableMenu->isVisible());
    handled = false;
    rightClick(genre, QPoint(30, 10));
    QVERIFY(genre->TableMenu->isVisible());
    QStringList items;
    for (QAction* a : genre->TableMenu->actions())
        items << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(items, (QStringList{"Select all", "Select none", "-", "Change table alias", "-", "Remove links",
                                 "Close"}));
    genre->miClose->trigger();
    QCOMPARE(b.area->TableCount(), 0);
}

QTEST_MAIN(tst_LumQBWorkArea)
#include "tst_LumQBWorkArea.moc"
