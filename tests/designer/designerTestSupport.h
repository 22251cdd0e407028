#pragma once

#include "LumQBTable.h"
#include "LumQBWorkArea.h"
#include "uDbConnection.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QtTest>

// A work area beside a table list, as the designer window has them, fed with the table
// and field names of a real SQLite database through the data-access layer.
class TDesignerBench
{
public:
    explicit TDesignerBench(const QString& databaseFile)
    {
        connection.SetConnectionString(QStringLiteral("Provider=SQLite;Data Source=") + databaseFile);
        connection.Open();
        QStringList tables;
        connection.GetTableNames(tables);
        list = new QListWidget(&window);
        list->setObjectName(QStringLiteral("lbxTables"));
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->addItems(tables);
        list->setFixedWidth(121);
        area = new TLumQBWorkArea(&window);
        auto* layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(3);
        layout->addWidget(list);
        layout->addWidget(area);
        area->SetTableList(list, 20);
        QObject::connect(area, &TLumQBWorkArea::OnGetTableFields,
                         [this](const QString& table, QStringList& fields) {
                             // As the designer window does: a table the database cannot
                             // describe yields no fields.
                             QStringList names;
                             try {
                                 connection.GetFieldNames(table, names);
                             } catch (const std::exception&) {
                             }
                             fields << names;
                         });
        window.resize(671, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    TLumQBTable* add(const QString& name, QPoint at)
    {
        area->AddTables(at.x(), at.y(), name);
        return area->FindTable(name);
    }

    QPoint listPos(const QString& table) const
    {
        const auto items = list->findItems(table, Qt::MatchExactly);
        return items.isEmpty() ? QPoint() : list->visualItemRect(items.first()).center();
    }

    // Centre of a field's entry in a table window's list, in the list viewport's
    // coordinates; the list is scrolled to show it first, as a user would.
    static QPoint fieldPos(TLumQBTable* t, const QString& field)
    {
        const auto items = t->FieldList->findItems(field, Qt::MatchExactly);
        if (items.isEmpty())
            return QPoint();
        t->FieldList->scrollToItem(items.first());
        return t->FieldList->visualItemRect(items.first()).center();
    }

    // Press on from (a point of source), move past the threshold in steps, release over to
    // (a point of target): the same events a user's drag makes.
    static void drag(QWidget* source, QPoint from, QWidget* target, QPoint to)
    {
        const QPoint end = source->mapFromGlobal(target->mapToGlobal(to));
        QTest::mousePress(source, Qt::LeftButton, {}, from);
        const int steps = 4;
        for (int i = 1; i <= steps; ++i)
            QTest::mouseMove(source, from + (end - from) * i / steps);
        QTest::mouseRelease(source, Qt::LeftButton, {}, end);
    }

    QWidget window;
    TDbConnection connection;
    QListWidget* list = nullptr;
    TLumQBWorkArea* area = nullptr;
};

inline QString northwind()
{
    return QStringLiteral(QUILLORY_TESTDATA "/sqlite/Northwind_small.sqlite");
}

inline QString chinook()
{
    return QStringLiteral(QUILLORY_TESTDATA "/sqlite/Chinook_Sqlite.sqlite");
}
