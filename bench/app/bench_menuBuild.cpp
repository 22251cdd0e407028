// Tray menu build from a store of 10,000 queries in 500 folders (both menus, as a
// rebuild does), beside the bare cost of making the same Qt menus and entries.
//
//   bench_menuBuild [rounds]    (default 10; runs on the offscreen platform)

#include "datModQuillory.h"
#include "uBuildMenu.h"
#include "uDataPacket.h"
#include "benchSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kFolders = 500;
constexpr int kQueries = 10000;

void writeStore(const QString& folder)
{
    const QDateTime when(QDate(2024, 3, 1), QTime(9, 30));
    QList<datapacket::Row> folders, queries;
    for (int f = 1; f <= kFolders; ++f)
        folders.append({f, QStringLiteral("Folder %1").arg(f, 3, 10, QLatin1Char('0')), when, 0});
    for (int q = 1; q <= kQueries; ++q)
        queries.append({q, QStringLiteral("Query %1").arg(q, 5, 10, QLatin1Char('0')), when,
                        QStringLiteral("Provider=SQLite;Data Source=x.db"), QStringLiteral("SELECT 1\r\n"),
                        QVariant(), when, 1 + q % kFolders});
    QFile a(QDir(folder).filePath(QStringLiteral("folders.xml")));
    a.open(QIODevice::WriteOnly);
    a.write(datapacket::writePacket(TdmQuillory::folderColumns(), folders));
    QFile b(QDir(folder).filePath(QStringLiteral("queries.xml")));
    b.open(QIODevice::WriteOnly);
    b.write(datapacket::writePacket(TdmQuillory::queryColumns(), queries));
}

// The same menus made directly: 500 submenus holding "New Query" and 20 entries each,
// then the Delete menu's 500 submenus of 20 entries.
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

using bench::median;

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QTemporaryDir dir;
    writeStore(dir.path());
    TdmQuillory store(dir.path());
    const MenuHandler handler = [](QAction*) {};

    std::vector<double> ours, bare;
    QMenu tray, del, bareTray, bareDel;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        BuildMenu(&tray, store, {}, handler, handler);
        BuildMenu(&del, store, handler, handler, {});
        ours.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        bareMenus(&bareTray, &bareDel);
        bare.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("tray menu rebuild, %d folders and %d queries, median of %d rounds:\n", kFolders, kQueries,
                rounds);
    std::printf("  BuildMenu on both menus      %8.1f ms\n", median(ours));
    std::printf("  the same Qt menus made bare  %8.1f ms\n", median(bare));
    std::printf("  ratio                        %8.2f\n", median(ours) / median(bare));
    return 0;
}
