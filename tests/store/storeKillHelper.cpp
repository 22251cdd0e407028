// Changes the store in the folder given as the argument, says "ready" and waits to be
// killed; the test then looks at what reached the disk.
#include "datModQuillory.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    TdmQuillory store(QString::fromLocal8Bit(argv[1]));
    if (!store.startupErrors().isEmpty())
        return 3;
    store.AddFolder(QStringLiteral("Killed"));
    store.AddQuery(store.MaxID(TdmQuillory::Table::cdsFolder), QStringLiteral("Survivor"),
                   QStringLiteral("SELECT 1\r\n"),
                   QStringLiteral("Provider=SQLite;Data Source=x.db;Password=pw"));
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (;;)
        QThread::sleep(60);
}
