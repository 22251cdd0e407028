// How long the designer takes to bring its statement up to date after one change, on a
// diagram of 30 tables of 50 fields with 40 links, measured through the real window
// (grid edit -> change notification -> statement generated -> memo), beside the time of
// one empty turn of the event loop (what "instantaneous" is measured against) and the
// bare generation without widgets.
#include "LumQBGrid.h"
#include "LumQBSQL.h"
#include "LumQBTable.h"
#include "LumQBWorkArea.h"
#include "formQueryBuilder.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uDialogScript.h"
#include "benchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kTables = 30;
constexpr int kFields = 50;
constexpr int kLinks = 40;
constexpr int kTickedPerTable = 10;
constexpr int kRuns = 7;
constexpr int kChangesPerRun = 200;

using bench::median;

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ScriptedDialogs dialogs; // any box would be a failure of the set-up, not a wait

    QTemporaryDir dir;
    // An empty file is an empty SQLite database; the layer opens files, it does not create them.
    QFile(dir.filePath("wide.sqlite")).open(QIODevice::WriteOnly);
    TDbConnection connection;
    connection.SetConnectionString("Provider=SQLite;Data Source=" + dir.filePath("wide.sqlite"));
    connection.Open();
    for (int t = 0; t < kTables; ++t) {
        QStringList columns;
        for (int f = 0; f < kFields; ++f)
            columns << QStringLiteral("Field%1 INTEGER").arg(f);
        TDbQuery q;
        q.SetConnection(&connection);
        q.SetSQL({QStringLiteral("CREATE TABLE Table%1 (%2)").arg(t).arg(columns.join(", "))});
        q.Open();
    }

    TfrmQueryBuilder form(nullptr);
    form.SetConnection(&connection);
    form.show();
    TLumQBWorkArea* area = form.workarea;
    for (int t = 0; t < kTables; ++t)
        area->AddTables(20 + (t % 6) * 150, 20 + (t / 6) * 170, QStringLiteral("Table%1").arg(t));
    // A chain through all tables, then links back across it.
    for (int l = 0; l < kLinks; ++l) {
        const int a = l < kTables - 1 ? l : (l - kTables + 1) * 2;
        const int b = l < kTables - 1 ? l + 1 : a + 5;
        area->AddLink(area->Tables(a), area->Tables(b), 1 + l % kFields, 1 + (l + 7) % kFields);
    }
    for (int t = 0; t < kTables; ++t)
        for (int f = 0; f < kTickedPerTable; ++f)
            area->Document()->SetFieldTicked(area->Tables(t)->Data(), 1 + f * 5, true);
    TLumQBGrid* grid = form.LumQBGrid;
    for (int r = 0; r < 5; ++r)
        grid->SetSortType(r * 40, QStringLiteral("Descending"));
    grid->SetCriteria(3, QStringLiteral("> 100"));
    app.processEvents();
    const int rows = grid->Data().RowCount();
    const int lines = int(form.SQLLines().size());
    const int chars = int(form.SQLCommand->toPlainText().size());

    std::vector<double> change, generate, turn;
    for (int run = 0; run < kRuns; ++run) {
        // One change: an Output tick toggled in the grid, as a click does; the window
        // regenerates its statement into the memo before the call returns.
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < kChangesPerRun; ++i)
            grid->ToggleOutput((i * 37) % rows);
        change.push_back(double(t.nsecsElapsed()) / kChangesPerRun / 1000.0);

        t.restart();
        for (int i = 0; i < kChangesPerRun; ++i)
            (void)GetSQL(area->Diagram(), &area->GridData(), {});
        generate.push_back(double(t.nsecsElapsed()) / kChangesPerRun / 1000.0);

        QEventLoop loop;
        t.restart();
        for (int i = 0; i < kChangesPerRun; ++i) {
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
            loop.exec();
        }
        turn.push_back(double(t.nsecsElapsed()) / kChangesPerRun / 1000.0);
    }

    std::printf("diagram: %d tables x %d fields, %d links, %d grid rows; statement %d lines, %d characters\n",
                kTables, kFields, area->LinkCount(), rows, lines, chars);
    std::printf("one change through the window (grid edit -> statement -> memo): %8.1f us (median of %d runs)\n",
                median(change), kRuns);
    std::printf("the statement alone (GetSQL, no widgets):                        %8.1f us\n", median(generate));
    std::printf("one empty event-loop turn (zero timer):                          %8.1f us\n", median(turn));
    std::printf("ratio change / empty turn: %.1f\n", median(change) / median(turn));
    return dialogs.shown().isEmpty() ? 0 : 1;
}
