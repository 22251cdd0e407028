#include "uWidgets.h"

#include "uDialogScript.h"
#include "uDialogsWidgets.h"
#include "utils.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace {
// -1 for no override cursor.
int screenShape()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
}

QList<int> emitted(const QSignalSpy& spy)
{
    QList<int> indexes;
    for (const QList<QVariant>& call : spy)
        indexes << call.at(0).toInt();
    return indexes;
}

// Three items, named like a form's.
std::unique_ptr<TRadioGroup> threeItems()
{
    auto group = std::make_unique<TRadioGroup>(QStringLiteral("View"));
    group->AddItems({"Day", "Week", "Month"}, "grpViewItem");
    return group;
}
} // namespace

class tst_uWidgets : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void radioGroupNamesItemsInOrder();
    void radioGroupSetItemIndex_data();
    void radioGroupSetItemIndex();
    void radioGroupClickChangesOnlyAnotherItem();

    void valueComboBoxValue_data();
    void valueComboBoxValue();

    void dropDownFillsTheListBeforeItShows();

    void busyCursorRestoresTheCursorBefore_data();
    void busyCursorRestoresTheCursorBefore();
    void busyCursorSurvivesAnEmptiedStack();

    void showMessageGoesThroughTheSeam();
    void messageBoxIsAsWideAsItsCaption();
};

void tst_uWidgets::cleanup()
{
    while (CursorStackCount() > 0)
        PopCursor();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void tst_uWidgets::radioGroupNamesItemsInOrder()
{
    auto group = threeItems();
    QCOMPARE(group->Count(), 3);
    QCOMPARE(group->ItemIndex(), -1);
    for (int i = 0; i < 3; ++i) {
        QRadioButton* item = group->findChild<QRadioButton*>(QStringLiteral("grpViewItem%1").arg(i));
        QVERIFY(item);
        QCOMPARE(group->Item(i), item);
    }
    QCOMPARE(group->Item(1)->text(), QStringLiteral("Week"));
    QVERIFY(!group->Item(-1));
    QVERIFY(!group->Item(3));
}

void tst_uWidgets::radioGroupSetItemIndex_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("checked");
    QTest::addColumn<QList<int>>("changes");
    QTest::newRow("none to one") << -1 << 1 << 1 << QList<int>{1};
    QTest::newRow("one to another") << 0 << 2 << 2 << QList<int>{2};
    QTest::newRow("the checked one again") << 1 << 1 << 1 << QList<int>{};
    QTest::newRow("one to none") << 1 << -1 << -1 << QList<int>{-1};
    QTest::newRow("beyond the items: none") << 1 << 3 << -1 << QList<int>{-1};
    QTest::newRow("none to none") << -1 << -1 << -1 << QList<int>{};
}

void tst_uWidgets::radioGroupSetItemIndex()
{
    QFETCH(int, start);
    QFETCH(int, index);
    QFETCH(int, checked);
    QFETCH(QList<int>, changes);
    auto group = threeItems();
    group->SetItemIndex(start);
    QSignalSpy spy(group.get(), &TRadioGroup::Changed);
    group->SetItemIndex(index);
    QCOMPARE(group->ItemIndex(), checked);
    QCOMPARE(emitted(spy), changes);
    int checkedItems = 0;
    for (int i = 0; i < group->Count(); ++i)
        checkedItems += group->Item(i)->isChecked() ? 1 : 0;
    QCOMPARE(checkedItems, checked < 0 ? 0 : 1);
    // Still one checked at most once an item is chosen again.
    group->SetItemIndex(0);
    group->Item(2)->click();
    QCOMPARE(group->ItemIndex(), 2);
    QVERIFY(!group->Item(0)->isChecked());
}

void tst_uWidgets::radioGroupClickChangesOnlyAnotherItem()
{
    auto group = threeItems();
    group->show();
    QSignalSpy spy(group.get(), &TRadioGroup::Changed);
    QTest::mouseClick(group->Item(1), Qt::LeftButton);
    QCOMPARE(emitted(spy), QList<int>{1});
    QTest::mouseClick(group->Item(1), Qt::LeftButton);
    QCOMPARE(emitted(spy), QList<int>{1});
    QCOMPARE(group->ItemIndex(), 1);
}

void tst_uWidgets::valueComboBoxValue_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typed"); // null: nothing typed
    QTest::addColumn<int>("value");     // -1: none
    QTest::newRow("no entry chosen") << -1 << QString() << -1;
    QTest::newRow("first entry") << 0 << QString() << 7;
    QTest::newRow("value 0 is a value") << 1 << QString() << 0;
    QTest::newRow("typed text names no entry") << 0 << QStringLiteral("Dat") << -1;
    QTest::newRow("typed text of another entry") << 0 << QStringLiteral("Amount") << -1;
    QTest::newRow("typed text of the chosen entry") << 1 << QStringLiteral("Amount") << 0;
}

void tst_uWidgets::valueComboBoxValue()
{
    QFETCH(int, index);
    QFETCH(QString, typed);
    QFETCH(int, value);
    TValueComboBox box;
    box.setEditable(true);
    box.setInsertPolicy(QComboBox::NoInsert);
    box.AddItem(QStringLiteral("Date"), 7);
    box.AddItem(QStringLiteral("Amount"), 0);
    box.setCurrentIndex(index);
    if (!typed.isNull())
        box.lineEdit()->setText(typed);
    QCOMPARE(box.Value().value_or(-1), value);
    QCOMPARE(box.Value().has_value(), value >= 0);
}

void tst_uWidgets::dropDownFillsTheListBeforeItShows()
{
    TDropDownComboBox box;
    box.show();
    bool shownWhenAnnounced = true;
    connect(&box, &TDropDownComboBox::DropDown, &box, [&] {
        shownWhenAnnounced = box.view()->isVisible();
        box.addItems({"a", "b"});
    });
    box.showPopup();
    QVERIFY(!shownWhenAnnounced);
    QVERIFY(box.view()->isVisible());
    QCOMPARE(box.view()->model()->rowCount(), 2);
    box.hidePopup();
}

void tst_uWidgets::busyCursorRestoresTheCursorBefore_data()
{
    QTest::addColumn<int>("before"); // -1: no override cursor
    QTest::addColumn<bool>("throws");
    QTest::newRow("no cursor set, work ends") << -1 << false;
    QTest::newRow("no cursor set, work throws") << -1 << true;
    QTest::newRow("cross cursor, work throws") << int(Qt::CrossCursor) << true;
}

void tst_uWidgets::busyCursorRestoresTheCursorBefore()
{
    QFETCH(int, before);
    QFETCH(bool, throws);
    if (before >= 0)
        QGuiApplication::setOverrideCursor(QCursor(Qt::CursorShape(before)));
    int during = -2;
    try {
        const TBusyCursor busy;
        during = screenShape();
        if (throws)
            throw std::runtime_error("the work failed");
    } catch (const std::runtime_error&) {
        QVERIFY(throws);
    }
    QCOMPARE(during, int(Qt::WaitCursor));
    QCOMPARE(screenShape(), before);
    QCOMPARE(CursorStackCount(), 0);
}

void tst_uWidgets::busyCursorSurvivesAnEmptiedStack()
{
    {
        const TBusyCursor busy;
        PopCursor(); // someone else restores it first
    }                // must not throw out of the destructor
    QCOMPARE(CursorStackCount(), 0);
    QCOMPARE(screenShape(), -1);
}

void tst_uWidgets::showMessageGoesThroughTheSeam()
{
    ScriptedDialogs dialogs;
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    ShowMessage(QStringLiteral("Query saved as Orders"));
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().kind, dialogs::Kind::Information);
    QCOMPARE(dialogs.last().text, QStringLiteral("Query saved as Orders"));
    QCOMPARE(dialogs.last().caption, QStringLiteral("Quillory"));
}

// The real handler: a short text under a long caption still gives a box the caption and
// the title bar's buttons fit in.
void tst_uWidgets::messageBoxIsAsWideAsItsCaption()
{
    dialogs::Handler* previous = dialogs::setHandler(nullptr);
    WidgetDialogs real;
    dialogs::setHandler(&real);
    const QString caption = QStringLiteral("Delete Customers with orders from last year");
    int width = 0;
    QTimer::singleShot(0, [&width] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                width = box->width();
                box->accept();
            }
    });
    dialogs::askYesNo(QStringLiteral("Are you sure"), caption);
    dialogs::setHandler(previous);
    // Qt leaves 50 pixels beside the caption; a window manager's close, maximise and
    // menu buttons take about twice that.
    QVERIFY(width >= QFontMetrics(QApplication::font()).horizontalAdvance(caption) + 100);
}

QTEST_MAIN(tst_uWidgets)
#include "tst_uWidgets.moc"
