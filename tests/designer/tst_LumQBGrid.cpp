#include "designerTestSupport.h"

#include "LumQBGrid.h"
#include "LumQBGridRules.h"
#include "LumQBInplaceEdit.h"
#include "uDialogScript.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

// The field grid on a work area fed from the real Northwind database: rows follow the
// ticks, Output toggles, the cell editor's pick lists and typed text, drops of fields.
class tst_LumQBGrid : public QObject
{
    Q_OBJECT
private slots:
    void titlesWidthsAndBlankRow();
    void rowsFollowTheTicks();
    void outputToggles_data();
    void outputToggles();
    void pickListChoices_data();
    void pickListChoices();
    void listKeys();
    void incrementalSearch();
    void typedTextGoesIntoTheCell_data();
    void typedTextGoesIntoTheCell();
    void fieldDroppedOnGridIsTickedAndGetsItsRow();
};

namespace {

// The work area bench with the grid below it, as in the designer window.
struct GridBench : TDesignerBench
{
    explicit GridBench(const QString& file = northwind()) : TDesignerBench(file)
    {
        grid = new TLumQBGrid(&window);
        window.layout()->addWidget(grid);
        grid->SetWorkArea(area);
        tester = std::make_unique<QAbstractItemModelTester>(grid->GridModel(),
                                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Beside the work area, all on the offscreen screen (800 wide), so that drops find it.
        grid->setMinimumWidth(420);
        window.resize(800, 400);
        grid->show();
        QCoreApplication::processEvents();
    }

    // Clicks the tick box of a field in its table window, as a user ticks it.
    static void tick(TLumQBTable* t, const QString& field)
    {
        const auto items = t->FieldList->findItems(field, Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        QListWidgetItem* item = items.first();
        QStyleOptionViewItem opt;
        opt.initFrom(t->FieldList);
        opt.rect = t->FieldList->visualItemRect(item);
        opt.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = t->FieldList->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt,
                                                                t->FieldList);
        const Qt::CheckState before = item->checkState();
        QTest::mouseClick(t->FieldList->viewport(), Qt::LeftButton, {}, box.center());
        QVERIFY(item->checkState() != before);
    }

    QRect cellRect(int row, int column) const { return grid->visualRect(grid->model()->index(row, column)); }

    // Opens the editor of a cell as a user does: click the cell, then F2.
    QWidget* openEditor(int row, int column)
    {
        if (grid->currentIndex() != grid->model()->index(row, column))
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellRect(row, column).center());
        QTest::keyClick(grid, Qt::Key_F2);
        if (auto* combo = openEditorOf<TLumQBInplaceEdit>())
            return combo;
        return openEditorOf<QLineEdit>();
    }

    // The open cell editor (editors closed earlier may wait for their deletion, hidden).
    template <typename T> T* openEditorOf() const
    {
        for (T* e : grid->viewport()->findChildren<T*>())
            if (e->isVisible())
                return e;
        return nullptr;
    }

    TLumQBInplaceEdit* openPickList(int row, int column)
    {
        openEditor(row, column);
        auto* editor = openEditorOf<TLumQBInplaceEdit>();
        if (editor)
            QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
        return editor;
    }

    QStringList column(int c) const
    {
        QStringList texts;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            texts << grid->Cell(c, r);
        return texts;
    }

    TLumQBGrid* grid = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

} // namespace

void tst_LumQBGrid::titlesWidthsAndBlankRow()
{
    ScriptedDialogs script;
    GridBench b;
    QAbstractItemModel* m = b.grid->model();
    QCOMPARE(m->columnCount(), 9);
    QCOMPARE(m->rowCount(), 1);
    const QStringList titles{"", "Table", "Column", "Caption/Alias", "Output", "Sort Type", "Sort Order",
                             "Group By", "Criteria"};
    const QList<int> widths{11, 100, 100, 64, 40, 80, 80, 80, 80};
    for (int c = 0; c < 9; ++c) {
        QCOMPARE(m->headerData(c, Qt::Horizontal).toString(), titles[c]);
        if (c != gcGroupBy)
            QCOMPARE(b.grid->columnWidth(c), widths[c]);
    }
    QVERIFY(b.grid->isColumnHidden(gcGroupBy));
    QVERIFY(b.grid->IsEmpty());
    // The blank row takes neither the caret nor an editor.
    for (int c = 0; c < 9; ++c)
        QCOMPARE(m->flags(m->index(0, c)), Qt::NoItemFlags);
    QCOMPARE(b.grid->verticalHeader()->defaultSectionSize(), 16);

    b.grid->SetUseGroupBy(true);
    QVERIFY(!b.grid->isColumnHidden(gcGroupBy));
    QCOMPARE(b.grid->columnWidth(gcGroupBy), 80);
    b.grid->SetUseGroupBy(false);
    QVERIFY(b.grid->isColumnHidden(gcGroupBy));
}

void tst_LumQBGrid::rowsFollowTheTicks()
{
    ScriptedDialogs script;
    GridBench b;
    QSignalSpy changes(b.grid, &TLumQBGrid::OnChange);
    TLumQBTable* c = b.add("Customer", {20, 20});
    TLumQBTable* o = b.add("Order", {250, 20});

    b.tick(c, "CompanyName");
    QCOMPARE(b.grid->model()->rowCount(), 1); // the blank row is reused
    QCOMPARE(b.column(gcTable), QStringList{"Customer"});
    QCOMPARE(b.column(gcColumn), QStringList{"CompanyName"});
    QCOMPARE(b.column(gcOutput), QStringList{"Show"});
    QCOMPARE(b.column(gcSortType), QStringList{"Unsorted"});
    QCOMPARE(b.column(gcSortOrder), QStringList{"Unsorted"});
    QVERIFY(changes.count() > 0);

    b.tick(o, "OrderDate");
    b.tick(o, "*");
    QCOMPARE(b.column(gcColumn), QStringList({"CompanyName", "OrderDate", "*"}));
    QCOMPARE(b.grid->currentIndex().row(), 2); // an added field's row becomes current

    b.tick(c, "CompanyName"); // unticked
    QCOMPARE(b.column(gcColumn), QStringList({"OrderDate", "*"}));

    // Closing a table window takes its rows; the last leaves the blank row.
    QTest::mouseClick(o->CloseBtn, Qt::LeftButton);
    QTRY_COMPARE(b.area->TableCount(), 1);
    QCOMPARE(b.column(gcColumn), QStringList{""});
    QVERIFY(b.grid->IsEmpty());

    c->SelectAllClick();
    QCOMPARE(b.grid->model()->rowCount(), c->FieldList->count());
    QCOMPARE(b.grid->Cell(gcColumn, 0), QString("*"));
    c->UnSelectAllClick();
    QVERIFY(b.grid->IsEmpty());
    QVERIFY(script.shown().isEmpty());
}

void tst_LumQBGrid::outputToggles_data()
{
    QTest::addColumn<int>("how"); // 0 left click, 1 right click, 2 Space
    QTest::newRow("left click") << 0;
    QTest::newRow("right click") << 1;
    QTest::newRow("Space on the Output column") << 2;
}

void tst_LumQBGrid::outputToggles()
{
    QFETCH(int, how);
    ScriptedDialogs script;
    GridBench b;
    TLumQBTable* c = b.add("Customer", {20, 20});
    b.tick(c, "Id");
    b.tick(c, "City");
    QSignalSpy changes(b.grid, &TLumQBGrid::OnChange);
    auto toggle = [&] {
        const QPoint at = b.cellRect(1, gcOutput).center();
        if (how == 2) {
            b.grid->setCurrentIndex(b.grid->model()->index(1, gcOutput));
            QTest::keyClick(b.grid, Qt::Key_Space);
        } else {
            QTest::mouseClick(b.grid->viewport(), how == 0 ? Qt::LeftButton : Qt::RightButton, {}, at);
        }
    };
    toggle();
    QCOMPARE(b.column(gcOutput), QStringList({"Show", ""}));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(b.area->GetSQL().first(), QString("SELECT C.Id"));
    toggle();
    QCOMPARE(b.column(gcOutput), QStringList({"Show", "Show"}));
    QCOMPARE(b.area->GetSQL().first(), QString("SELECT C.Id, C.City"));
}

void tst_LumQBGrid::pickListChoices_data()
{
    // Rows: Id, CompanyName, City, * of Customer. Each step: row, column, entry typed into
    // the open list (incremental search), then Enter.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("sortTypes");
    QTest::addColumn<QString>("sortOrders");

    QTest::newRow("descending after two sorted gives order 3")
        << QStringList{"0 5 a", "1 5 a", "2 5 d"} << "Ascending Ascending Descending Unsorted"
        << "1 2 3 Unsorted";
    QTest::newRow("order 1 for the row with 3 swaps")
        << QStringList{"0 5 a", "1 5 a", "2 5 d", "2 6 1"} << "Ascending Ascending Descending Unsorted"
        << "3 2 1 Unsorted";
    QTest::newRow("order 1 for an unsorted row moves the others up and sorts it ascending")
        << QStringList{"0 5 a", "1 5 d", "2 6 1"} << "Ascending Descending Ascending Unsorted" << "2 3 1 Unsorted";
    QTest::newRow("Unsorted as order closes the gap")
        << QStringList{"0 5 a", "1 5 d", "2 5 a", "0 6 u"} << "Unsorted Descending Ascending Unsorted"
        << "Unsorted 1 2 Unsorted";
    QTest::newRow("star takes no sort") << QStringList{"3 5 a", "3 6 1"} << "Unsorted Unsorted Unsorted Unsorted"
                                        << "Unsorted Unsorted Unsorted Unsorted";
}

void tst_LumQBGrid::pickListChoices()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, sortTypes);
    QFETCH(QString, sortOrders);
    ScriptedDialogs script;
    GridBench b;
    TLumQBTable* c = b.add("Customer", {20, 20});
    for (const char* f : {"Id", "CompanyName", "City", "*"})
        b.tick(c, f);
    QSignalSpy edits(b.grid, &TLumQBGrid::OnSetEditText);
    for (const QString& step : steps) {
        const QStringList s = step.split(' ');
        const int row = s[0].toInt(), column = s[1].toInt();
        TLumQBInplaceEdit* editor = b.openPickList(row, column);
        QVERIFY(editor);
        QVERIFY(editor->ListVisible());
        if (row == 3) // the star row offers one entry
            QCOMPARE(editor->PickList(), QStringList{"Unsorted"});
        QTest::keyClicks(editor->PopupList(), s[2]);
        QTest::keyClick(editor->PopupList(), Qt::Key_Return);
        QVERIFY(!editor->ListVisible());
        // The editor shows what the rules made of the choice.
        QCOMPARE(editor->currentText(), b.grid->Cell(column, row));
        QTest::keyClick(editor, Qt::Key_Return); // leaves the cell
    }
    QCOMPARE(edits.count(), steps.size());
    QCOMPARE(b.column(gcSortType).join(' '), sortTypes);
    QCOMPARE(b.column(gcSortOrder).join(' '), sortOrders);
}

void tst_LumQBGrid::listKeys()
{
    ScriptedDialogs script;
    GridBench b;
    TLumQBTable* c = b.add("Customer", {20, 20});
    b.tick(c, "Id");
    b.tick(c, "City");

    // Escape closes an open list without a choice.
    TLumQBInplaceEdit* editor = b.openPickList(0, gcSortType);
    QVERIFY(editor && editor->ListVisible());
    QTest::keyClicks(editor->PopupList(), "d");
    QTest::keyClick(editor->PopupList(), Qt::Key_Escape);
    QVERIFY(!editor->ListVisible());
    QCOMPARE(b.grid->Cell(gcSortType, 0), QString("Unsorted"));

    // Alt+Down on the open list takes the selected entry.
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    QVERIFY(editor->ListVisible());
    QTest::keyClicks(editor->PopupList(), "a");
    QTest::keyClick(editor->PopupList(), Qt::Key_Down, Qt::AltModifier);
    QVERIFY(!editor->ListVisible());
    QCOMPARE(b.grid->Cell(gcSortType, 0), QString("Ascending"));
    QCOMPARE(b.grid->Cell(gcSortOrder, 0), QString("1"));

    // With the list closed, Down moves to the next row and changes nothing.
    QTest::keyClick(editor, Qt::Key_Down);
    QCOMPARE(b.grid->currentIndex().row(), 1);
    QCOMPARE(b.grid->currentIndex().column(), int(gcSortType));
    QCOMPARE(b.column(gcSortType), QStringList({"Ascending", "Unsorted"}));

    // A read-only list takes no typed text while closed.
    editor = qobject_cast<TLumQBInplaceEdit*>(b.openEditor(1, gcSortType));
    QVERIFY(editor);
    QTest::keyClicks(editor, "desc");
    QCOMPARE(editor->currentText(), QString("Unsorted"));
    QCOMPARE(b.grid->Cell(gcSortType, 1), QString("Unsorted"));
}

void tst_LumQBGrid::incrementalSearch()
{
    ScriptedDialogs script;
    GridBench b;
    TLumQBTable* c = b.add("Customer", {20, 20});
    b.tick(c, "Id");
    b.grid->SetUseGroupBy(true);
    TLumQBInplaceEdit* editor = b.openPickList(0, gcGroupBy);
    QVERIFY(editor && editor->ListVisible());
    QCOMPARE(editor->PickList(), QStringList({"Group By", "Count", "Sum", "Avg", "Min", "Max"}));
    TPopupListbox* list = editor->PopupList();
    auto selected = [list] { return list->currentIndex().data().toString(); };

    QTest::keyClicks(list, "M");
    QCOMPARE(selected(), QString("Min"));
    QTest::keyClicks(list, "A"); // "MA", in any case
    QCOMPARE(selected(), QString("Max"));
    QCOMPARE(list->SearchText(), QString("MA"));
    QTest::keyClick(list, Qt::Key_Backspace);
    QCOMPARE(list->SearchText(), QString());
    QTest::keyClicks(list, "s");
    QCOMPARE(selected(), QString("Sum"));

    // The search text stops growing at 32 characters.
    QTest::keyClicks(list, QString(40, 'x'));
    QCOMPARE(list->SearchText().size(), 32);

    // After a pause of more than two seconds a character starts a new search.
    QTest::keyClick(list, Qt::Key_Backspace);
    QTest::keyClicks(list, "c");
    QCOMPARE(selected(), QString("Count"));
    QTest::qWait(TPopupListbox::SearchTimeout + 100);
    QTest::keyClicks(list, "a");
    QCOMPARE(list->SearchText(), QString("a"));
    QCOMPARE(selected(), QString("Avg"));
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(b.grid->Cell(gcGroupBy, 0), QString("Avg"));
}

void tst_LumQBGrid::typedTextGoesIntoTheCell_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("lastLine");
    QTest::newRow("caption") << int(gcCaption) << "Town" << "SELECT C.City AS Town" << "FROM Customer AS C";
    QTest::newRow("criteria") << int(gcCriteria) << "= 'Berlin'" << "SELECT C.City" << "WHERE C.City = 'Berlin'";
    QTest::newRow("group function typed over the list")
        << int(gcGroupBy) << "Total" << "SELECT Total(C.City)" << "FROM Customer AS C";
}

void tst_LumQBGrid::typedTextGoesIntoTheCell()
{
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, firstLine);
    QFETCH(QString, lastLine);
    ScriptedDialogs script;
    GridBench b;
    TLumQBTable* c = b.add("Customer", {20, 20});
    b.tick(c, "City");
    if (column == gcGroupBy)
        b.grid->SetUseGroupBy(true);
    QSignalSpy edits(b.grid, &TLumQBGrid::OnSetEditText);
    QWidget* editor = b.openEditor(0, column);
    QVERIFY(editor);
    QWidget* typeInto = editor;
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        QVERIFY(combo->isEditable());
        combo->lineEdit()->selectAll();
    } else {
        qobject_cast<QLineEdit*>(editor)->selectAll();
    }
    QTest::keyClicks(typeInto, text);
    // Every typed character reaches the cell and is reported.
    QCOMPARE(edits.count(), text.size());
    QCOMPARE(edits.last().at(0).toInt(), column);
    QCOMPARE(b.grid->Cell(column, 0), text);
    const QStringList sql = b.area->GetSQL();
    QCOMPARE(sql.first(), firstLine);
    QCOMPARE(sql.last(), lastLine);
    QTest::keyClick(typeInto, Qt::Key_Return);
    QCOMPARE(b.grid->Cell(column, 0), text);
}

void tst_LumQBGrid::fieldDroppedOnGridIsTickedAndGetsItsRow()
{
    ScriptedDialogs script;
    GridBench b;
    TLumQBTable* c = b.add("Customer", {20, 20});
    b.tick(c, "Id");
    b.drag(c->FieldList->viewport(), b.fieldPos(c, "City"), b.grid->viewport(), QPoint(60, 30));
    QVERIFY2(script.shown().isEmpty(), qPrintable(script.texts().join('|')));
    QVERIFY(c->Data()->IsTicked(c->Data()->IndexOfField("City")));
    QCOMPARE(b.column(gcColumn), QStringList({"Id", "City"}));
    QCOMPARE(b.grid->currentIndex().row(), 1);

    // The same field again only selects its row.
    b.grid->setCurrentIndex(b.grid->model()->index(0, gcCaption));
    b.drag(c->FieldList->viewport(), b.fieldPos(c, "City"), b.grid->viewport(), QPoint(60, 30));
    QCOMPARE(b.column(gcColumn), QStringList({"Id", "City"}));
    QCOMPARE(b.grid->currentIndex().row(), 1);

    // A field of a table window of another work area is not taken (asked directly: two
    // windows on one offscreen screen overlap, so a drag would find the other grid).
    GridBench other;
    TLumQBTable* foreign = other.add("Order", {20, 20});
    foreign->FieldList->setCurrentRow(foreign->Data()->IndexOfField("Freight"));
    QVERIFY(!b.grid->LumQBDragOver(foreign->FieldList, QPoint(60, 30)));
    b.grid->LumQBDragDrop(foreign->FieldList, QPoint(60, 30));
    QCOMPARE(b.column(gcColumn), QStringList({"Id", "City"}));
    QVERIFY(!foreign->Data()->IsTicked(foreign->Data()->IndexOfField("Freight")));
    QVERIFY(other.grid->IsEmpty());
}

QTEST_MAIN(tst_LumQBGrid)
#include "tst_LumQBGrid.moc"
