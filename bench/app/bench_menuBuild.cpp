// Tray menus over a store of 10,000 queries in 100 folders: the build at start (both
// menus, as a rebuild after a change does), the first opening of one folder's submenu
// and of the Delete menu, and, as the reference, making every menu and entry of the
// whole tree bare.
//
//   bench_menuBuild [rounds]    (default 10; runs on the offscreen platform)

#include "datModQuillory.h"
#include "uBuildMenu.h"

#include "benchFavourites.h"
#include "benchSupport.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

constexpr int kFolders = 100;
constexpr int kQueries = 10000;

// The whole tree made directly, as building every entry up front would: 100 submenus
// holding "New Query" and 100 entries each, then the Delete menu's 100 submenus.
void bareMenus(QMenu* tray, QMenu* del)
{
    for (QMenu* root : {tray, del}) {
        qDeleteAll(root->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
        for (int f = 0; f < kFolders; ++f) {
            auto* sub = new QMenu(QStringLiteral("Folder"), root);
            root->addMenu(sub);
            if (root == tray)
                sub->addAction(new QAction(QStringLiteral("New Query"), sub));
            for (int q = 0; q < kQueries / kFolders; ++q) {
                auto* entry = new QAction(QStringLiteral("Query"), sub);
                QObject::connect(
                    entry, &QAction::triggered, entry, [] {}, Qt::QueuedConnection);
                sub->addAction(entry);
            }
        }
    }
}

double since(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QTemporaryDir dir;
    bench::writeFavourites(dir.path(), bench::makeFavourites(kFolders, kQueries));
    TdmQuillory store(dir.path());
    const MenuHandler handler = [](QAction*) {};

    std::vector<double> build, open, openDelete, change, bare;
    for (int i = 0; i < rounds; ++i) {
        QMenu tray, del, bareTray, bareDel;
        QElapsedTimer t;
        t.start();
        // As the program: the Delete menu makes its level when it is first shown.
        BuildMenu(&tray, store, {}, handler, handler);
        BuildMenuWhenShown(&del, store, handler, handler, {});
        build.push_back(since(t));
        QMenu* folder = tray.actions().at(1 + i % kFolders)->menu();
        t.restart();
        emit folder->aboutToShow();
        open.push_back(since(t));
        if (folder->actions().size() != 1 + kQueries / kFolders)
            qFatal("the submenu did not fill");
        t.restart();
        emit del.aboutToShow();
        openDelete.push_back(since(t));
        if (del.actions().size() != kFolders)
            qFatal("the Delete menu did not fill");
        // A query added to that folder, then both menus brought up to date, as after Save.
        store.AddQuery(MenuTag(folder), QStringLiteral("Added %1").arg(i), QStringLiteral("SELECT 1"),
                       QStringLiteral("x"));
        t.restart();
        BuildMenu(&tray, store, {}, handler, handler);
        BuildMenuWhenShown(&del, store, handler, handler, {});
        emit del.aboutToShow();
        change.push_back(since(t));
        t.restart();
        bareMenus(&bareTray, &bareDel);
        bare.push_back(since(t));
    }
    using bench::median;
    std::printf("tray menus, %d folders and %d queries, median of %d rounds:\n", kFolders, kQueries, rounds);
    std::printf("  build both menus at start                     %8.2f ms\n", median(build));
    std::printf("  first opening of one folder's submenu        %8.2f ms\n", median(open));
    std::printf("  first opening of the Delete menu             %8.2f ms\n", median(openDelete));
    std::printf("  both menus after one query was added (shown) %8.2f ms\n", median(change));
    std::printf("  the whole tree made bare, for reference      %8.2f ms\n", median(bare));
    return 0;
}
