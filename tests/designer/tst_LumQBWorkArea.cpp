#include "designerTestSupport.h"

#include "LumQBLink.h"
#include "uDialogScript.h"

#include <QtTest>

class tst_LumQBWorkArea : public QObject
{
    Q_OBJECT
private slots:
    void tableNamesDraggedFromTheListAreAdded();
    void fieldDraggedOntoFieldLinksTables();
};

void tst_LumQBWorkArea::tableNamesDraggedFromTheListAreAdded()
{
    ScriptedDialogs script;
    TDesignerBench b(northwind());
    QSignalSpy changes(b.area, &TLumQBWorkArea::OnChange);
    b.list->item(b.list->row(b.list->findItems("Order", Qt::MatchExactly).first()))->setSelected(true);
    b.drag(b.list->viewport(), b.listPos("Order"), b.area->Canvas(), QPoint(200, 60));
    QCOMPARE(b.area->TableCount(), 1);
    TLumQBTable* t = b.area->Tables(0);
    QCOMPARE(t->TableName(), QString("Order"));
    QCOMPARE(t->pos(), QPoint(200, 60));
    QCOMPARE(t->FieldList->item(0)->text(), QString("*"));
    QCOMPARE(t->FieldList->item(1)->text(), QString("Id"));
    QVERIFY(t->Selected());
    QCOMPARE(changes.count(), 1);
    QVERIFY(script.shown().isEmpty());
}

void tst_LumQBWorkArea::fieldDraggedOntoFieldLinksTables()
{
    ScriptedDialogs script;
    TDesignerBench b(chinook());
    TLumQBTable* customer = b.add("Customer", {20, 20});
    TLumQBTable* invoice = b.add("Invoice", {250, 40});
    b.drag(customer->FieldList->viewport(), b.fieldPos(customer, "CustomerId"), invoice->FieldList->viewport(),
           b.fieldPos(invoice, "CustomerId"));
    QVERIFY2(script.shown().isEmpty(), qPrintable(script.texts().join('|')));
    QCOMPARE(b.area->LinkCount(), 1);
    TLumQBLink* l = b.area->Links(0);
    QCOMPARE(l->Table1(), customer);
    QCOMPARE(l->Table2(), invoice);
    QCOMPARE(l->Field1(), QString("CustomerId"));
    QCOMPARE(l->Field2(), QString("CustomerId"));
}

QTEST_MAIN(tst_LumQBWorkArea)
#include "tst_LumQBWorkArea.moc"
