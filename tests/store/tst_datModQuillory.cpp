#include "datModQuillory.h"

#include "UEncrypt.h"
#include "testSupport.h"
#include "uClock.h"
#include "uDataPacket.h"
#include "uDialogScript.h"
#include "uFailingDevice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

using Table = TdmQuillory::Table;

namespace {

QDateTime g_now;

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList names(const QList<FolderRecord>& list)
{
    QStringList out;
    for (const auto& r : list)
        out << r.Name();
    return out;
}

QStringList names(const QList<QueryRecord>& list)
{
    QStringList out;
    for (const auto& r : list)
        out << r.Name();
    return out;
}

bool privateToOwner(const QString& path)
{
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return QFileInfo::exists(path) && !(QFile::permissions(path) & others);
}

// A table's file as encoding every record afresh writes it.
template <typename Record> QByteArray fullRewrite(const QList<datapacket::Column>& columns, const QList<Record>& records)
{
    datapacket::PacketWriter w(columns);
    for (const Record& r : records)
        w.appendRow(TdmQuillory::encodeRecord(r));
    return w.finish();
}

const QByteArray kEmptyFolders = datapacket::writePacket(TdmQuillory::folderColumns(), {});
const QByteArray kEmptyQueries = datapacket::writePacket(TdmQuillory::queryColumns(), {});

} // namespace

class tst_datModQuillory : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void firstStartCreatesBothFilesEmpty();
    void changesReachDiskAtOnceAndReadBackIdentical();
    void addFolderRefusesAnExactNameInUse();
    void namesOfBlanksAloneAreRefused_data();
    void namesOfBlanksAloneAreRefused();
    void longTextsAreStoredWhole();
    void idsAreOneMoreThanTheLargest();
    void tablesAreInLocaleNameOrder();
    void lookupsLeaveTheFoundQueryCurrent();
    void updateQueryStringStampsTheDates();
    void diagramIsKeptOnlyWhenGiven();
    void deleteFolderTakesItsQueriesAlong();
    void deleteQueryReportsAMissingQuery();
    void unreadableFileIsKeptAndItsTableRefused_data();
    void unreadableFileIsKeptAndItsTableRefused();
    void oddRowsLoadAndAreWrittenBackWhole_data();
    void oddRowsLoadAndAreWrittenBackWhole();
    void fieldNamedInAnotherCaseKeepsItsValues();
    void failedWriteUndoesTheChange();
    void writeFailingHalfwayKeepsTheOldFile();
    void unwritableFolderIsReportedAtStart();
    void queriesFileIsReadableByItsOwnerOnly();
    void orderlyExitWritesBothFiles();
    void exitWritesNothingWhenTheFilesHoldTheData();
    void changesWriteTheBytesOfAFullRewrite();
    void rowsInTheWrittenFormAreTakenAsTheyStand_data();
    void rowsInTheWrittenFormAreTakenAsTheyStand();
    void killedProgramLosesNothing();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }
};

void tst_datModQuillory::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    quillory::setClockForTests([] { return g_now; });
}

void tst_datModQuillory::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    g_now = at(2004, 4, 7, 14, 5, 9, 120);
}

void tst_datModQuillory::cleanupTestCase()
{
    quillory::setClockForTests({});
}

void tst_datModQuillory::firstStartCreatesBothFilesEmpty()
{
    TdmQuillory store(m_dir->path());
    QVERIFY(store.startupErrors().isEmpty());
    QVERIFY(store.folders().isEmpty());
    QVERIFY(store.queries().isEmpty());
    QCOMPARE(readAll(path("folders.xml")), kEmptyFolders);
    QCOMPARE(readAll(path("queries.xml")), kEmptyQueries);
    QVERIFY(privateToOwner(path("queries.xml")));
    QVERIFY(!QDir(m_dir->path()).entryList(QDir::Files).join(' ').contains("folders.xml."));
}

void tst_datModQuillory::changesReachDiskAtOnceAndReadBackIdentical()
{
    TdmQuillory store(m_dir->path());
    store.AddFolder(QStringLiteral("Rep & \"orts\""));
    const QString clear =
        QStringLiteral("Provider=SQLOLEDB;Password=secret;User ID=sa;Data Source=srv\\inst");
    store.AddQuery(1, QStringLiteral("Sales"), QStringLiteral("SELECT *\r\nFROM t\r\n"), clear);

    // The first store is still alive: what a second one reads came from the disk.
    TdmQuillory reader(m_dir->path());
    QVERIFY(reader.startupErrors().isEmpty());
    QCOMPARE(reader.folders().size(), 1);
    const FolderRecord& f = reader.folders()[0];
    QCOMPARE(f.ID, 1);
    QCOMPARE(f.Name(), QStringLiteral("Rep & \"orts\""));
    QCOMPARE(f.ModifiedDate(), g_now);
    QCOMPARE(f.ParentID, 0);
    QVERIFY(!f.ParentIDNull);

    QCOMPARE(reader.queries().size(), 1);
    const QueryRecord& q = reader.queries()[0];
    QCOMPARE(q.ID, 1);
    QCOMPARE(q.Name(), QStringLiteral("Sales"));
    QCOMPARE(q.parentID, 1);
    QCOMPARE(q.QueryString(), QStringLiteral("SELECT *\r\nFROM t\r\n"));
    QCOMPARE(q.ModifiedDate(), g_now);
    QCOMPARE(q.LastUsedDate(), g_now);
    QVERIFY(q.DiagramDesignNull());
    // Only the scrambled form is stored; reading it gives the clear one back.
    QCOMPARE(q.ConnectString(), EncryptConnectionString(clear));
    QVERIFY(!q.ConnectString().contains("secret"));
    QVERIFY(!readAll(path("queries.xml")).contains("secret"));
    QCOMPARE(reader.GetConnectString(1), clear);
    QVERIFY(readAll(path("queries.xml")).contains("QueryString=\"SELECT *&#013;&#010;FROM t&#013;&#010;\""));
}

void tst_datModQuillory::namesOfBlanksAloneAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << "   ";
    QTest::newRow("tab and blank") << "\t ";
    QTest::newRow("line break") << "\r\n";
}

void tst_datModQuillory::namesOfBlanksAloneAreRefused()
{
    QFETCH(QString, name);
    TdmQuillory store(m_dir->path());
    store.AddFolder(QStringLiteral("Sales"));
    const QByteArray folders = readAll(path("folders.xml"));
    const QByteArray queries = readAll(path("queries.xml"));
    // Like an empty name: an entry without a label would stand in the tray menu.
    QVERIFY(expectError<EStoreError>([&] { store.AddFolder(name); }, "Field 'Name' must have a value"));
    QVERIFY(expectError<EStoreError>([&] { store.AddQuery(1, name, "SELECT 1", "x"); },
                                     "Field 'Name' must have a value"));
    QCOMPARE(readAll(path("folders.xml")), folders);
    QCOMPARE(readAll(path("queries.xml")), queries);
    store.AddFolder(QStringLiteral(" Spaced "));
    QCOMPARE(store.folders().size(), 2); // blanks around a name are no matter
}

void tst_datModQuillory::addFolderRefusesAnExactNameInUse()
{
    TdmQuillory store(m_dir->path());
    store.AddFolder(QStringLiteral("Sales"));
    const QByteArray before = readAll(path("folders.xml"));
    QCOMPARE(errorMessage<EStoreError>([&] { store.AddFolder(QStringLiteral("Sales")); }),
             QStringLiteral("That foldername is in use"));
    QCOMPARE(errorMessage<EStoreError>([&] { store.AddFolder(QString()); }),
             QStringLiteral("Field 'Name' must have a value"));
    QCOMPARE(errorMessage<EStoreError>([&] { store.AddQuery(1, QString(), "SELECT 1", "x"); }),
             QStringLiteral("Field 'Name' must have a value"));
    QCOMPARE(readAll(path("folders.xml")), before);
    QVERIFY(store.queries().isEmpty());

    store.AddFolder(QStringLiteral("sales"));
    QCOMPARE(store.folders().size(), 2);
    // SQL text and connection string may be empty.
    store.AddQuery(1, QStringLiteral("Blank"), QString(), QString());
    QCOMPARE(TdmQuillory(m_dir->path()).GetQueryString(1), QString(""));
}

void tst_datModQuillory::longTextsAreStoredWhole()
{
    const QString name1 = QString(40, u'F') + "-one!";
    const QString name2 = QString(40, u'F') + "-two!";
    const QString sql = QStringLiteral("SELECT ") + QString(693, u'x');
    {
        TdmQuillory store(m_dir->path());
        store.AddFolder(name1);
        store.AddFolder(name2);
        QCOMPARE(errorMessage<EStoreError>([&] { store.AddFolder(name1); }),
                 QStringLiteral("That foldername is in use"));
        store.AddQuery(0, QStringLiteral("Long"), sql, QStringLiteral("Provider=x"));
    }
    TdmQuillory store(m_dir->path());
    QCOMPARE(names(store.folders()), QStringList({name1, name2}));
    QCOMPARE(store.GetQueryString(1), sql);
    QVERIFY(readAll(path("queries.xml"))
                .contains("attrname=\"QueryString\" fieldtype=\"string\" required=\"true\" "
                          "WIDTH=\"700\""));
}

void tst_datModQuillory::idsAreOneMoreThanTheLargest()
{
    ScriptedDialogs dialogs;
    const auto folder = [](int id, const QString& name) {
        return datapacket::Row{id, name, at(2004, 1, 1), 0};
    };
    writeFile(path("folders.xml"), datapacket::writePacket(TdmQuillory::folderColumns(),
                                                           {folder(5, "e"), folder(1, "a"), folder(2, "b")}));
    TdmQuillory store(m_dir->path());
    QCOMPARE(store.MaxID(Table::cdsFolder), 5);
    QCOMPARE(store.MaxID(Table::cdsQuery), 0);
    store.DeleteFolder(2);
    store.AddFolder(QStringLiteral("f"));
    QCOMPARE(store.folders().last().ID, 6); // 2 is below the largest: not given out again
    store.DeleteFolder(6);
    store.AddFolder(QStringLiteral("g"));
    QCOMPARE(store.folders().last().ID, 6); // the largest is given out again
    QCOMPARE(dialogs.texts(), QStringList({"Folder deleted", "Folder deleted"}));
}

void tst_datModQuillory::tablesAreInLocaleNameOrder()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    {
        TdmQuillory store(m_dir->path());
        for (const char* name : {"b", "C", "a", "B", "\u00c4rger"})
            store.AddFolder(QString::fromUtf8(name));
        for (const char* name : {"zeta", "Alpha", "alpha"})
            store.AddQuery(0, QString::fromUtf8(name), QString(), QString());
        // Locale order, not byte order (which would put "B" and "C" first).
        QCOMPARE(names(store.folders()), QStringList({"a", QStringLiteral("\u00c4rger"), "b", "B", "C"}));
        QCOMPARE(names(store.queries()), QStringList({"alpha", "Alpha", "zeta"}));
    }
    // The file holds them in stored order; reading orders them again.
    writeFile(path("folders.xml"),
              datapacket::writePacket(TdmQuillory::folderColumns(), {{1, "C", at(2004, 1, 1), 0},
                                                                     {2, "a", at(2004, 1, 1), 0},
                                                                     {3, "B", at(2004, 1, 1), 0},
                                                                     {4, "b", at(2004, 1, 1), 0}}));
    TdmQuillory store(m_dir->path());
    QCOMPARE(names(store.folders()), QStringList({"a", "b", "B", "C"}));
    QLocale::setDefault(previous);
}

void tst_datModQuillory::lookupsLeaveTheFoundQueryCurrent()
{
    TdmQuillory store(m_dir->path());
    store.AddQuery(3, QStringLiteral("Sales"), QStringLiteral("SELECT 1"), QStringLiteral("a"));
    store.AddQuery(4, QStringLiteral("Costs"), QStringLiteral("SELECT 2"), QStringLiteral("b"));
    store.AddQuery(0, QStringLiteral("Top"), QStringLiteral("SELECT 3"), QStringLiteral("c"));

    QCOMPARE(store.GetQueryName(1), QStringLiteral("Sales"));
    QVERIFY(store.currentQuery());
    QCOMPARE(store.currentQuery()->parentID, 3);

    QVERIFY(store.QueryNameExists(4, QStringLiteral("Costs")));
    QCOMPARE(store.currentQuery()->ID, 2);
    QVERIFY(store.QueryNameExists(0, QStringLiteral("Top")));
    QCOMPARE(store.currentQuery()->ID, 3);
    QVERIFY(!store.QueryNameExists(3, QStringLiteral("Costs")));
    QVERIFY(!store.QueryNameExists(4, QStringLiteral("costs")));
    QVERIFY(!store.QueryNameExists(4, QStringLiteral("Cost")));

    QCOMPARE(store.GetQueryString(2), QStringLiteral("SELECT 2"));
    QCOMPARE(store.GetConnectString(2), QStringLiteral("b"));
    QCOMPARE(store.GetQueryName(99), QString());
    QCOMPARE(store.GetQueryString(99), QString());
    QCOMPARE(store.GetConnectString(99), QString());
    QCOMPARE(errorMessage<EStoreError>([&] { store.UpdateQueryString(0, "x"); }),
             QStringLiteral("Query no longer found"));
}

void tst_datModQuillory::updateQueryStringStampsTheDates()
{
    TdmQuillory store(m_dir->path());
    store.AddQuery(2, QStringLiteral("Sales"), QStringLiteral("SELECT 1"),
                   QStringLiteral("Provider=a;Pwd=p"));
    const QueryRecord added = store.queries()[0];
    g_now = at(2005, 6, 1);
    store.UpdateQueryString(1, QStringLiteral("SELECT 2\r\n"));

    const TdmQuillory reread(m_dir->path());
    const QueryRecord& q = reread.queries()[0];
    QCOMPARE(q.QueryString(), QStringLiteral("SELECT 2\r\n"));
    QCOMPARE(q.LastUsedDate(), at(2005, 6, 1));
    QCOMPARE(q.ModifiedDate(), at(2005, 6, 1));
    QCOMPARE(q.Name(), added.Name());
    QCOMPARE(q.ConnectString(), added.ConnectString());
    QCOMPARE(q.parentID, 2);
    QCOMPARE(q.ID, 1);
}

void tst_datModQuillory::diagramIsKeptOnlyWhenGiven()
{
    const QString diagram = QStringLiteral("{\"version\":1,\"tables\":[") + QString(2100, u' ') + "]}";
    {
        TdmQuillory store(m_dir->path());
        store.AddQuery(0, QStringLiteral("Plain"), QStringLiteral("SELECT 1"), QStringLiteral("x"));
        const QByteArray plain = readAll(path("queries.xml"));
        QVERIFY(!plain.contains("DiagramDesign=")); // no diagram: written as before
        store.AddQuery(0, QStringLiteral("Drawn"), QStringLiteral("SELECT 2"), QStringLiteral("x"), diagram);
        // The SQL alone leaves the diagram as it is; with a diagram given, it replaces it.
        store.UpdateQueryString(2, QStringLiteral("SELECT 3"));
        store.UpdateQueryString(1, QStringLiteral("SELECT 1"), QStringLiteral("x"), QStringLiteral("{}"));
        store.UpdateQueryString(1, QStringLiteral("SELECT 1"), QStringLiteral("x"), QString());
    }
    const TdmQuillory store(m_dir->path());
    QCOMPARE(store.queries()[0].Name(), QStringLiteral("Drawn"));
    QCOMPARE(store.queries()[0].DiagramDesign(), diagram);
    QVERIFY(!store.queries()[0].DiagramDesignNull());
    QVERIFY(store.queries()[1].DiagramDesignNull());
    // The column's listed width grows to hold the longest text whole.
    QVERIFY(readAll(path("queries.xml"))
                .contains(QByteArray("attrname=\"DiagramDesign\" fieldtype=\"string\" WIDTH=\"") +
                          QByteArray::number(diagram.size()) + '"'));
}

void tst_datModQuillory::deleteFolderTakesItsQueriesAlong()
{
    ScriptedDialogs dialogs;
    TdmQuillory store(m_dir->path());
    store.AddFolder(QStringLiteral("A"));
    store.AddFolder(QStringLiteral("B"));
    store.AddQuery(1, QStringLiteral("a1"), "SELECT 1", "x");
    store.AddQuery(2, QStringLiteral("b1"), "SELECT 1", "x");
    store.AddQuery(1, QStringLiteral("a2"), "SELECT 1", "x");
    store.AddQuery(0, QStringLiteral("top"), "SELECT 1", "x");

    store.DeleteFolder(1);
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().kind, dialogs::Kind::Information);
    QCOMPARE(dialogs.last().text, QStringLiteral("Folder deleted"));
    QCOMPARE(dialogs.last().caption, QStringLiteral("Quillory"));

    TdmQuillory reader(m_dir->path());
    QCOMPARE(names(reader.folders()), QStringList({"B"}));
    QCOMPARE(names(reader.queries()), QStringList({"b1", "top"}));
    QVERIFY(!readAll(path("queries.xml")).contains("a1"));
}

void tst_datModQuillory::deleteQueryReportsAMissingQuery()
{
    ScriptedDialogs dialogs;
    TdmQuillory store(m_dir->path());
    store.AddQuery(0, QStringLiteral("q1"), "SELECT 1", "x");
    store.AddQuery(0, QStringLiteral("q2"), "SELECT 1", "x");
    store.DeleteQuery(1);
    QVERIFY(dialogs.shown().isEmpty());
    QCOMPARE(names(TdmQuillory(m_dir->path()).queries()), QStringList({"q2"}));
    store.DeleteQuery(1);
    QCOMPARE(dialogs.texts(), QStringList({"Failed to remove query"}));
    QCOMPARE(dialogs.last().caption, QStringLiteral("Quillory"));
}

void tst_datModQuillory::unreadableFileIsKeptAndItsTableRefused_data()
{
    QTest::addColumn<bool>("foldersBroken");
    QTest::addColumn<QByteArray>("garbage");
    QTest::addColumn<QString>("cause");
    // A file cut short, as a crash of an older version could leave it.
    QTest::newRow("folders.xml") << true << kEmptyFolders.left(100) << "The file ends";
    QTest::newRow("queries.xml") << false << kEmptyFolders.left(100) << "The file ends";
    QTest::newRow("folders.xml of plain text") << true << QByteArray("ID;Name\n1;Reports\n")
                                               << "The file is not a data packet";
    // The folder table's columns in queries.xml.
    QTest::newRow("queries.xml of another table") << false << kEmptyFolders
                                                  << "The field \"ConnectString\" is missing";
    QTest::newRow("folders.xml with an undecodable value")
        << true
        << datapacket::writePacket(TdmQuillory::folderColumns(), {{1, "a", at(2004, 4, 7), 0}})
               .replace("ID=\"1\"", "ID=\"1x\"")
        << "Row 1: \"1x\" is not a valid i4 value";
    QTest::newRow("queries.xml with an undecodable unknown value")
        << false
        << datapacket::writePacket(TdmQuillory::queryColumns(), {{1, "a", at(2004, 4, 7), "x", "y"}})
               .replace("<ROW ", "<ROW Colour=\"a&nbsp;b\" ")
        << "Row 1: the value \"Colour\" cannot be decoded";
    // A header of 100,000 fields (4 MB) is read in one linear pass and reported.
    QByteArray fields;
    for (int i = 0; i < 100000; ++i)
        fields += "<FIELD attrname=\"Field" + QByteArray::number(i) + "\" fieldtype=\"string\" WIDTH=\"1\"/>";
    QTest::newRow("folders.xml with 100,000 fields")
        << true
        << "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + fields +
               "</FIELDS><PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>"
        << "The file has a field \"Field0\"";
}

void tst_datModQuillory::unreadableFileIsKeptAndItsTableRefused()
{
    QFETCH(bool, foldersBroken);
    QFETCH(QByteArray, garbage);
    QFETCH(QString, cause);
    ScriptedDialogs dialogs;
    const QString broken = path(foldersBroken ? "folders.xml" : "queries.xml");
    {
        TdmQuillory seed(m_dir->path());
        seed.AddFolder(QStringLiteral("Kept"));
        seed.AddQuery(1, QStringLiteral("Kept query"), "SELECT 1", "x");
    }
    writeFile(broken, garbage);

    {
        TdmQuillory store(m_dir->path());
        QCOMPARE(store.startupErrors().size(), 1);
        QVERIFY2(store.startupErrors()[0].startsWith(
                     QStringLiteral("Cannot read \"%1\": %2").arg(broken, cause)),
                 qPrintable(store.startupErrors()[0]));
        const QString refusal = QStringLiteral("Changes to \"%1\" are refused").arg(broken);
        QVERIFY(store.isLocked(foldersBroken ? Table::cdsFolder : Table::cdsQuery));
        QVERIFY(!store.isLocked(foldersBroken ? Table::cdsQuery : Table::cdsFolder));

        store.DeleteFolder(1);
        QVERIFY2(dialogs.last().text.startsWith("Failed to remove folder " + refusal),
                 qPrintable(dialogs.last().text));
        if (foldersBroken) {
            QVERIFY(store.folders().isEmpty());
            QVERIFY(errorMessage<EStoreError>([&] { store.AddFolder("New"); }).startsWith(refusal));
            // The other table goes on working.
            store.AddQuery(0, QStringLiteral("Another"), "SELECT 2", "y");
            QCOMPARE(store.queries().size(), 2);
        } else {
            QVERIFY(store.queries().isEmpty());
            QVERIFY(errorMessage<EStoreError>([&] {
                        store.AddQuery(1, "New", "SELECT 1", "x");
                    }).startsWith(refusal));
            QVERIFY(errorMessage<EStoreError>([&] {
                        store.UpdateQueryString(1, "SELECT 2");
                    }).startsWith(refusal));
            store.DeleteQuery(1);
            QVERIFY(dialogs.last().text.startsWith("Failed to remove query\n" + refusal));
            store.AddFolder(QStringLiteral("Another"));
            QCOMPARE(store.folders().size(), 2);
        }
        QCOMPARE(readAll(broken), garbage);
        store.writeAll();
    }
    QCOMPARE(readAll(broken), garbage);
    QVERIFY(TdmQuillory::shutdownErrors().isEmpty());
}

// Field names are matched without regard to case, in the field list and in the rows: a
// file that spells a field otherwise than its rows do still gives the rows' values, and
// the file written after a change reads back to the same records. (The rows' values were
// once kept aside as unknown, and came back as the field's values after the next write.)
void tst_datModQuillory::fieldNamedInAnotherCaseKeepsItsValues()
{
    QByteArray file = QByteArray(kEmptyQueries).replace("attrname=\"QueryString\"", "attrname=\"QueRyString\"");
    QVERIFY(file.contains("QueRyString"));
    file.replace("<ROWDATA></ROWDATA>",
                 "<ROWDATA><ROW ID=\"1\" Name=\"Old\" ModifiedDate=\"20040101\" ConnectString=\"x\" "
                 "QueryString=\"SELECT 1\"/><ROW ID=\"2\" Name=\"Other\" ModifiedDate=\"20040101\" "
                 "ConnectString=\"x\" queryString=\"SELECT 3\"/></ROWDATA>");
    writeFile(path("queries.xml"), file);
    {
        TdmQuillory store(m_dir->path());
        QVERIFY2(store.startupErrors().isEmpty(), qPrintable(store.startupErrors().join('\n')));
        QCOMPARE(store.GetQueryString(1), QStringLiteral("SELECT 1"));
        QCOMPARE(store.GetQueryString(2), QStringLiteral("SELECT 3"));
        store.UpdateQueryString(1, QStringLiteral("SELECT 2"));
    }
    TdmQuillory again(m_dir->path());
    QVERIFY(again.startupErrors().isEmpty());
    QCOMPARE(again.GetQueryString(1), QStringLiteral("SELECT 2"));
    QCOMPARE(again.GetQueryString(2), QStringLiteral("SELECT 3"));

    // Both spellings in one row are two values for one field: the file is refused, unchanged.
    QByteArray twice = file;
    twice.replace("queryString=\"SELECT 3\"", "queryString=\"SELECT 3\" QueRyString=\"SELECT 4\"");
    writeFile(path("queries.xml"), twice);
    {
        TdmQuillory store(m_dir->path());
        QVERIFY(!store.startupErrors().isEmpty());
        QVERIFY2(store.startupErrors().join('\n').contains("two values"), qPrintable(store.startupErrors().join('\n')));
    }
    QCOMPARE(readAll(path("queries.xml")), twice);
}

void tst_datModQuillory::oddRowsLoadAndAreWrittenBackWhole_data()
{
    // One odd row among good ones, as a hand edit or another program leaves it; after a
    // change the file holds every row as it was, besides the change itself.
    QTest::addColumn<bool>("folders");
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QByteArray>("written"); // the odd row in the file written after the change
    const QByteArray sales = "<ROW ID=\"2\" Name=\"Sales\" ModifiedDate=\"20040101\" ParentID=\"0\"/>";
    QTest::newRow("folder without ModifiedDate")
        << true << "<ROW ID=\"1\" Name=\"Reports\" ParentID=\"0\"/>" + sales
        << QStringList{"Reports", "Sales"} << QByteArray("<ROW ID=\"1\" Name=\"Reports\" ParentID=\"0\"/>");
    QTest::newRow("folder without Name or ID")
        << true << "<ROW ModifiedDate=\"20040101\"/>" + sales << QStringList{"", "Sales"}
        << QByteArray("<ROW ModifiedDate=\"20040101\"/>");
    QTest::newRow("folder with unknown attributes")
        << true
        << "<ROW Colour=\"red &amp; &quot;blue&quot;&#013;&#010;\" ID=\"1\" Name=\"Reports\" "
           "ModifiedDate=\"20040101\" Icon=\"\" ParentID=\"0\"/>" +
               sales
        << QStringList{"Reports", "Sales"}
        << QByteArray("<ROW ID=\"1\" Name=\"Reports\" ModifiedDate=\"20040101\" ParentID=\"0\" "
                      "Colour=\"red &amp; &quot;blue&quot;&#013;&#010;\" Icon=\"\"/>");
    // The odd query is the one changed: its unknown attribute survives its own update.
    QTest::newRow("changed query without ModifiedDate, with an unknown attribute")
        << false
        << QByteArray("<ROW ID=\"1\" Name=\"Old\" ConnectString=\"x\" QueryString=\"SELECT 1\" "
                      "Owner=\"ann\" parentID=\"0\"/>"
                      "<ROW ID=\"2\" Name=\"Other\" ModifiedDate=\"20040101\" ConnectString=\"x\" "
                      "QueryString=\"SELECT 3\"/>")
        << QStringList{"Old", "Other"}
        << QByteArray("<ROW ID=\"1\" Name=\"Old\" ModifiedDate=\"20040407T14:05:09120\" "
                      "ConnectString=\"x\" QueryString=\"SELECT 2\" LastUsedDate=\"20040407T14:05:09120\" "
                      "parentID=\"0\" Owner=\"ann\"/>");
    QTest::newRow("query without its required texts")
        << false
        << QByteArray("<ROW ID=\"3\" Name=\"Bare\" ModifiedDate=\"20040101\"/>"
                      "<ROW ID=\"1\" Name=\"Old\" ModifiedDate=\"20040101\" ConnectString=\"x\" "
                      "QueryString=\"SELECT 1\"/>")
        << QStringList{"Bare", "Old"} << QByteArray("<ROW ID=\"3\" Name=\"Bare\" ModifiedDate=\"20040101\"/>");
}

void tst_datModQuillory::oddRowsLoadAndAreWrittenBackWhole()
{
    QFETCH(bool, folders);
    QFETCH(QByteArray, rows);
    QFETCH(QStringList, loaded);
    QFETCH(QByteArray, written);
    const QByteArray empty = folders ? kEmptyFolders : kEmptyQueries;
    const QString file = path(folders ? "folders.xml" : "queries.xml");
    writeFile(file, QByteArray(empty).replace("<ROWDATA></ROWDATA>", "<ROWDATA>" + rows + "</ROWDATA>"));

    TdmQuillory store(m_dir->path());
    QVERIFY2(store.startupErrors().isEmpty(), qPrintable(store.startupErrors().join('\n')));
    if (folders) {
        QCOMPARE(names(store.folders()), loaded);
        store.AddFolder(QStringLiteral("Zeta"));
    } else {
        QCOMPARE(names(store.queries()), loaded);
        QCOMPARE(store.GetQueryString(3), QString());
        store.UpdateQueryString(1, QStringLiteral("SELECT 2"));
    }
    const QByteArray after = readAll(file);
    QVERIFY2(after.contains(written), after.constData());
    for (const QByteArray& row : rows.split('>'))
        if (!row.isEmpty() && !row.contains("ID=\"1\"") && !row.contains("Colour"))
            QVERIFY2(after.contains(row + '>'), row.constData());

    // And the written file reads back to the same table.
    TdmQuillory again(m_dir->path());
    QVERIFY(again.startupErrors().isEmpty());
    QCOMPARE(folders ? names(again.folders()) : names(again.queries()),
             folders ? loaded + QStringList{"Zeta"} : loaded);
}

void tst_datModQuillory::failedWriteUndoesTheChange()
{
    ScriptedDialogs dialogs;
    QDir(m_dir->path()).mkdir("app");
    TdmQuillory store(path("app"));
    store.AddFolder(QStringLiteral("A"));
    store.AddQuery(1, QStringLiteral("q"), "SELECT 1", "x");
    // The folder goes away under the running program: no write can succeed now.
    QVERIFY(QDir(m_dir->path()).rename("app", "gone"));

    QVERIFY(errorMessage<EStoreError>([&] {
                store.AddFolder("B");
            }).startsWith(QStringLiteral("Cannot write \"%1\"").arg(store.fileName(Table::cdsFolder))));
    QVERIFY(errorMessage<EStoreError>([&] {
                store.AddQuery(1, "r", "SELECT 1", "x");
            }).startsWith("Cannot write"));
    QVERIFY(errorMessage<EStoreError>([&] {
                store.UpdateQueryString(1, "SELECT 2");
            }).startsWith("Cannot write"));
    store.DeleteFolder(1);
    QVERIFY(dialogs.last().text.startsWith("Failed to remove folder Cannot write"));
    store.DeleteQuery(1);
    QVERIFY(dialogs.last().text.startsWith("Failed to remove query\nCannot write"));

    // Memory still matches what the disk last held.
    QCOMPARE(names(store.folders()), QStringList({"A"}));
    QCOMPARE(names(store.queries()), QStringList({"q"}));
    QCOMPARE(store.GetQueryString(1), QStringLiteral("SELECT 1"));
    QVERIFY(!errorMessage<EStoreError>([&] { store.writeAll(); }).isEmpty());
}

// The disk fills up in the middle of a favourites file: the change is refused with the
// system's reason, the file on disk is the old one whole, and no temporary file is left.
void tst_datModQuillory::writeFailingHalfwayKeepsTheOldFile()
{
    TdmQuillory store(m_dir->path());
    store.AddFolder(QStringLiteral("A"));
    for (int i = 0; i < 20; ++i)
        store.AddQuery(1, QStringLiteral("q%1").arg(i), "SELECT '" + QString(200, u'x') + "'", "x");
    const QByteArray before = readAll(path("queries.xml"));
    const QString big = "SELECT '" + QString(5000, u'y') + "'";
    {
        // The new file would be some 5000 bytes longer than the old one; it stops 100 in.
        FileSizeLimit limit(before.size() + 100);
        const QString message = errorMessage<EStoreError>([&] { store.AddQuery(1, "big", big, "x"); });
        QVERIFY2(
            message.startsWith(QStringLiteral("Cannot write \"%1\": ").arg(store.fileName(Table::cdsQuery))),
            qPrintable(message));
    }
    QCOMPARE(readAll(path("queries.xml")), before);
    QCOMPARE(store.queries().size(), 20);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({"folders.xml", "queries.xml"}));

    store.AddQuery(1, "big", big, "x"); // room again: the same change goes through
    QCOMPARE(TdmQuillory(m_dir->path()).queries().size(), 21);
}

void tst_datModQuillory::unwritableFolderIsReportedAtStart()
{
    const QString missing = path("no/such/folder");
    {
        TdmQuillory store(missing);
        QCOMPARE(store.startupErrors().size(), 2);
        QVERIFY(store.startupErrors()[0].startsWith(
            QStringLiteral("Cannot write \"%1/folders.xml\"").arg(missing)));
        QVERIFY(store.startupErrors()[1].startsWith(
            QStringLiteral("Cannot write \"%1/queries.xml\"").arg(missing)));
        QVERIFY(!store.isLocked(Table::cdsFolder));
        QVERIFY(errorMessage<EStoreError>([&] { store.AddFolder("A"); }).startsWith("Cannot write"));
        QVERIFY(store.folders().isEmpty());
    }
    QCOMPARE(TdmQuillory::shutdownErrors().size(), 1);
    QVERIFY(TdmQuillory::shutdownErrors()[0].contains("folders.xml"));
    QVERIFY(TdmQuillory::shutdownErrors()[0].contains("queries.xml"));
}

void tst_datModQuillory::queriesFileIsReadableByItsOwnerOnly()
{
    // A file that came with open permissions is made private as soon as it is read, and
    // stays so through every write.
    writeFile(path("queries.xml"), kEmptyQueries);
    QFile::setPermissions(path("queries.xml"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ReadGroup | QFileDevice::ReadOther);
    TdmQuillory store(m_dir->path());
    QVERIFY(privateToOwner(path("queries.xml")));
    store.AddQuery(0, QStringLiteral("q"), "SELECT 1", "Password=p");
    QVERIFY(privateToOwner(path("queries.xml")));
}

void tst_datModQuillory::orderlyExitWritesBothFiles()
{
    {
        TdmQuillory store(m_dir->path());
        store.AddFolder(QStringLiteral("A"));
        QFile::remove(path("folders.xml"));
        QFile::remove(path("queries.xml"));
        store.writeAll();
        QCOMPARE(names(TdmQuillory(m_dir->path()).folders()), QStringList({"A"}));
        QFile::remove(path("folders.xml"));
        QFile::remove(path("queries.xml"));
        store.AddQuery(1, QStringLiteral("q"), "SELECT 1", "x");
    }
    QVERIFY(TdmQuillory::shutdownErrors().isEmpty());
    TdmQuillory store(m_dir->path());
    QCOMPARE(names(store.folders()), QStringList({"A"}));
    QCOMPARE(names(store.queries()), QStringList({"q"}));
}

// Starting and stopping without a change leaves both files untouched, and so does an exit
// after changes that were written when made.
void tst_datModQuillory::exitWritesNothingWhenTheFilesHoldTheData()
{
    { TdmQuillory(m_dir->path()).AddFolder(QStringLiteral("A")); }
    // A write replaces the file (a new inode) and stamps it: both must stay as they are.
    const auto identity = [&] {
        QStringList ids;
        for (const char* name : {"folders.xml", "queries.xml"}) {
            struct stat st = {};
            ::stat(QFile::encodeName(path(name)).constData(), &st);
            ids << QStringLiteral("%1@%2.%3").arg(st.st_ino).arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec);
        }
        return ids;
    };
    QStringList before = identity();
    {
        TdmQuillory store(m_dir->path());
        store.writeAll(); // the session's end: the files hold it all already
    }
    QCOMPARE(identity(), before);
    QVERIFY(TdmQuillory::shutdownErrors().isEmpty());
    {
        TdmQuillory store(m_dir->path());
        store.AddQuery(1, QStringLiteral("q"), "SELECT 1", "x");
        QVERIFY(identity() != before);
        before = identity();
    }
    QCOMPARE(identity(), before);
    QCOMPARE(names(TdmQuillory(m_dir->path()).queries()), QStringList({"q"}));
}

// A change encodes only the records it touched; what reaches the disk must still be,
// byte for byte, what encoding every record afresh gives, WIDTH of the header included.
void tst_datModQuillory::changesWriteTheBytesOfAFullRewrite()
{
    ScriptedDialogs dialogs;
    QRandomGenerator random(20261211);
    const auto text = [&](int longest) {
        QString s;
        const int n = 1 + int(random.bounded(longest));
        for (int i = 0; i < n; ++i)
            s += QChar(u"abc <&\"é\n€"[random.bounded(10)]);
        return s;
    };
    TdmQuillory store(m_dir->path());
    for (int step = 0; step < 120; ++step) {
        const auto& queries = store.queries();
        const auto& folders = store.folders();
        switch (random.bounded(5)) {
        case 0:
            store.AddFolder(text(60) + QString::number(step));
            break;
        case 1:
        case 2:
            store.AddQuery(folders.isEmpty() ? 0 : folders.at(random.bounded(folders.size())).ID, text(70),
                           text(600), QStringLiteral("Data Source=x;Password=") + text(8), text(30));
            break;
        case 3:
            if (!queries.isEmpty())
                store.UpdateQueryString(queries.at(random.bounded(queries.size())).ID, text(700));
            break;
        case 4:
            if (!queries.isEmpty() && random.bounded(2))
                store.DeleteQuery(queries.at(random.bounded(queries.size())).ID);
            else if (!folders.isEmpty())
                store.DeleteFolder(folders.at(random.bounded(folders.size())).ID);
            break;
        }
        // Every record of the written files read back and encoded afresh: rows taken
        // over from the file as they stood and rows kept from earlier writes alike.
        const TdmQuillory reread(m_dir->path(), TdmQuillory::Mode::ReadOnly);
        QVERIFY(reread.startupErrors().isEmpty());
        QCOMPARE(readAll(path("folders.xml")), fullRewrite(TdmQuillory::folderColumns(), reread.folders()));
        QVERIFY2(readAll(path("queries.xml")) == fullRewrite(TdmQuillory::queryColumns(), reread.queries()),
                 qPrintable(QStringLiteral("step %1").arg(step)));
    }
}

void tst_datModQuillory::rowsInTheWrittenFormAreTakenAsTheyStand_data()
{
    QTest::addColumn<QByteArray>("row");
    QTest::addColumn<bool>("taken");      // the file's row is written again as it stands
    QTest::addColumn<QByteArray>("encoded"); // the row as the writer writes its values
    const QByteArray written = "<ROW ID=\"7\" Name=\"Caf\xC3\xA9 &amp; &apos;bar&apos;\" ModifiedDate=\"20040101\" "
                               "ConnectString=\"x&#092;y\" QueryString=\"SELECT &quot;\xE2\x82\xAC&quot;&#013;&#010;&#009;&lt;&gt;\" "
                               "LastUsedDate=\"20050601T14:05:09120\" parentID=\"-3\"/>";
    const auto variant = [&](const char* name, const QByteArray& from, const QByteArray& to) {
        QTest::newRow(name) << QByteArray(written).replace(from, to) << false << written;
    };
    QTest::newRow("as written") << written << true << written;
    QTest::newRow("nulls left out") << QByteArray("<ROW Name=\"n\" ConnectString=\"\" QueryString=\"q\"/>") << true
                                    << QByteArray("<ROW Name=\"n\" ConnectString=\"\" QueryString=\"q\"/>");
    QTest::newRow("unknown attribute last")
        << QByteArray(written).replace("/>", " Owner=\"ann &amp; bob\"/>") << true
        << QByteArray(written).replace("/>", " Owner=\"ann &amp; bob\"/>");
    variant("another character reference", "&#010;", "&#10;");
    variant("a hexadecimal reference", "&#009;", "&#x9;");
    variant("a character not escaped", "&lt;", "<");
    variant("an apostrophe not escaped", "&apos;bar&apos;", "'bar'");
    variant("a tab not escaped", "&#009;", "\t");
    variant("a Windows-1252 byte", "\xE2\x82\xAC", "\x80");
    variant("attributes in another order", " ModifiedDate=\"20040101\" ConnectString=\"x&#092;y\"",
            " ConnectString=\"x&#092;y\" ModifiedDate=\"20040101\"");
    variant("two spaces", " Name=", "  Name=");
    variant("single quotes", "ConnectString=\"x&#092;y\"", "ConnectString='x&#092;y'");
    variant("a field named in another case", "parentID=", "ParentID=");
    variant("a number with a leading zero", "ID=\"7\"", "ID=\"07\"");
    variant("a number spelt with a reference", "ID=\"7\"", "ID=\"&#055;\"");
    variant("midnight written out", "\"20040101\"", "\"20040101T00:00:00000\"");
    variant("a closing tag", "/>", "></ROW>");
    variant("a space before the end", "/>", " />");
    // An unknown attribute is written back after the columns, where the writer puts it.
    QTest::newRow("an unknown attribute first")
        << QByteArray(written).replace("<ROW ID=", "<ROW Owner=\"ann\" ID=") << false
        << QByteArray(written).replace("/>", " Owner=\"ann\"/>");
    QTest::newRow("an unknown attribute among the columns")
        << QByteArray(written).replace(" ModifiedDate=", " Owner=\"ann\" ModifiedDate=") << false
        << QByteArray(written).replace("/>", " Owner=\"ann\"/>");
}

// A row of a file this program wrote is written again as it stands, with no encoding;
// any other row is encoded afresh, and either way the bytes are the writer's.
void tst_datModQuillory::rowsInTheWrittenFormAreTakenAsTheyStand()
{
    QFETCH(QByteArray, row);
    QFETCH(bool, taken);
    QFETCH(QByteArray, encoded);
    const QByteArray reference = "<ROW ID=\"1\" Name=\"zzz\" ConnectString=\"c\" QueryString=\"s\"/>";
    writeFile(path("queries.xml"),
              QByteArray(kEmptyQueries).replace("<ROWDATA></ROWDATA>", "<ROWDATA>" + row + reference + "</ROWDATA>"));
    {
        TdmQuillory store(m_dir->path());
        QVERIFY2(store.startupErrors().isEmpty(), qPrintable(store.startupErrors().join('\n')));
        const QueryRecord& q = store.queries().at(0);
        QCOMPARE(q.row.isBorrowed(), taken);
        QCOMPARE(q.row.bytes, encoded);
        // Decoding its values and encoding them again gives the same row.
        const datapacket::EncodedRow afresh = TdmQuillory::encodeRecord(q);
        QCOMPARE(afresh.bytes, encoded);
        QCOMPARE(q.row.textLengths, afresh.textLengths);
        // A change to the other record writes this one as the writer writes it.
        store.UpdateQueryString(1, QStringLiteral("s"));
    }
    QVERIFY2(readAll(path("queries.xml")).contains("<ROWDATA>" + encoded + "<ROW ID=\"1\""),
             readAll(path("queries.xml")).constData());
}

void tst_datModQuillory::killedProgramLosesNothing()
{
    QProcess helper;
    helper.start(QStringLiteral(QUILLORY_BIN_DIR "/storeKillHelper"), {m_dir->path()});
    QVERIFY2(helper.waitForStarted(), qPrintable(helper.errorString()));
    QVERIFY(helper.waitForReadyRead(30000));
    QCOMPARE(helper.readLine().trimmed(), QByteArray("ready"));
    helper.kill(); // SIGKILL: no destructor, no exit handler runs
    QVERIFY(helper.waitForFinished(30000));
    QCOMPARE(helper.exitStatus(), QProcess::CrashExit);

    TdmQuillory store(m_dir->path());
    QVERIFY(store.startupErrors().isEmpty());
    QCOMPARE(names(store.folders()), QStringList({"Killed"}));
    QCOMPARE(names(store.queries()), QStringList({"Survivor"}));
    QCOMPARE(store.queries()[0].parentID, store.folders()[0].ID);
    QCOMPARE(store.GetConnectString(1), QStringLiteral("Provider=SQLite;Data Source=x.db;Password=pw"));
    QVERIFY(!readAll(path("queries.xml")).contains("Password=pw"));
}

QTEST_GUILESS_MAIN(tst_datModQuillory)
#include "tst_datModQuillory.moc"
