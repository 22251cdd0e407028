#include "datModQuillory.h"
#include "uDataPacket.h"

#include <QFile>
#include <QtTest>

using namespace datapacket;

namespace {

const QByteArray kHeader = "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">";
const QByteArray kFolderMeta =
    "<METADATA><FIELDS><FIELD attrname=\"ID\" fieldtype=\"i4\" required=\"true\"/><FIELD attrname=\"Name\" "
    "fieldtype=\"string\" required=\"true\" WIDTH=\"40\"/><FIELD attrname=\"ModifiedDate\" "
    "fieldtype=\"dateTime\" "
    "required=\"true\"/><FIELD attrname=\"ParentID\" fieldtype=\"i4\"/></FIELDS><PARAMS/></METADATA>";
const QByteArray kQueryMeta =
    "<METADATA><FIELDS><FIELD attrname=\"ID\" fieldtype=\"i4\" required=\"true\"/><FIELD attrname=\"Name\" "
    "fieldtype=\"string\" required=\"true\" WIDTH=\"40\"/><FIELD attrname=\"ModifiedDate\" "
    "fieldtype=\"dateTime\" "
    "required=\"true\"/><FIELD attrname=\"ConnectString\" fieldtype=\"string\" required=\"true\" "
    "WIDTH=\"500\"/><FIELD attrname=\"QueryString\" fieldtype=\"string\" required=\"true\" "
    "WIDTH=\"500\"/><FIELD "
    "attrname=\"DiagramDesign\" fieldtype=\"string\" WIDTH=\"2000\"/><FIELD attrname=\"LastUsedDate\" "
    "fieldtype=\"dateTime\"/><FIELD attrname=\"parentID\" fieldtype=\"i4\"/></FIELDS><PARAMS/></METADATA>";
const QByteArray kOneFolderRow = "<ROWDATA><ROW ID=\"1\" Name=\"Reports\" "
                                 "ModifiedDate=\"20040407T14:05:09120\" ParentID=\"0\"/></ROWDATA>";
const QByteArray kOneFolder = kHeader + kFolderMeta + kOneFolderRow + "</DATAPACKET>";

const QList<Column>& folderColumns()
{
    return TdmQuillory::folderColumns();
}
const QList<Column>& queryColumns()
{
    return TdmQuillory::queryColumns();
}

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

Row folderRow(int id, const QString& name, const QDateTime& modified, const QVariant& parent = 0)
{
    return {id, name, modified, parent};
}

QByteArray folderPacket(const QByteArray& rows)
{
    return kHeader + kFolderMeta + "<ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

// A row read in stored form, decoded.
Row decoded(const StoredRow& row, const QList<Column>& columns)
{
    Row out(columns.size());
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const StoredValue& v = row.values[c];
        if (v.null)
            continue;
        switch (columns[c].type) {
        case FieldType::I4:
            out[c] = v.number;
            break;
        case FieldType::String:
            out[c] = v.text.text();
            break;
        case FieldType::DateTime:
            out[c] = v.dateTime.value();
            break;
        }
    }
    return out;
}

// The packet read both ways, the whole read and the stored one the favourites store
// uses, which must agree in their rows and their errors; each stored row's written form
// must read back to the same row on its own.
QList<Row> readBoth(const QByteArray& data, const QList<Column>& columns)
{
    QString packetError, storedError;
    QList<Row> rows, stored, rewritten;
    try {
        rows = readPacket(data, columns);
    } catch (const EStoreError& e) {
        packetError = e.message();
    }
    try {
        readStoredRows(data, columns, [&](StoredRow& row) {
            stored.append(decoded(row, columns));
            PacketWriter alone(columns);
            alone.appendRow(row.written);
            rewritten += readPacket(alone.finish(), columns);
        });
    } catch (const EStoreError& e) {
        storedError = e.message();
    }
    if (packetError != storedError)
        throw EStoreError(QStringLiteral("the readers disagree: \"%1\", stored \"%2\"").arg(packetError, storedError));
    if (!packetError.isEmpty())
        throw EStoreError(packetError);
    if (stored != rows || rewritten != rows)
        throw EStoreError(QStringLiteral("the stored read gives other rows"));
    return rows;
}

QString readError(const QByteArray& data, const QList<Column>& columns)
{
    try {
        readBoth(data, columns);
    } catch (const EStoreError& e) {
        return e.message();
    }
    return QStringLiteral("<accepted>");
}

} // namespace

class tst_uDataPacket : public QObject
{
    Q_OBJECT
private slots:
    void writerProducesTheExactText();
    void textValuesAreEscapedAndReadBack_data();
    void textValuesAreEscapedAndReadBack();
    void dateTimesTakeTheirTwoForms_data();
    void dateTimesTakeTheirTwoForms();
    void wallClockTimeInADaylightSavingGapSurvives();
    void nullsAreLeftOutAndReadBackAsNull();
    void longTextsAreWrittenWholeAndWidthWidened();
    void readerAcceptsOtherLayouts_data();
    void readerAcceptsOtherLayouts();
    void fieldNamesMatchWithoutRegardToCase();
    void windows1252BytesAreRead();
    void missingAndUnknownValuesAreRead();
    void badFilesAreRejectedWithAClearMessage_data();
    void badFilesAreRejectedWithAClearMessage();
    void recordedChangesOfARealPacketAreApplied();
    void recordedChangesAreAppliedToATable();
    void doubtfulRecordedChangesAreRejected_data();
    void doubtfulRecordedChangesAreRejected();
};

void tst_uDataPacket::writerProducesTheExactText()
{
    const QByteArray one =
        writePacket(folderColumns(), {folderRow(1, "Reports", at(2004, 4, 7, 14, 5, 9, 120))});
    QCOMPARE(one, kOneFolder);
    QCOMPARE(writePacket(folderColumns(), {}), kHeader + kFolderMeta + "<ROWDATA></ROWDATA></DATAPACKET>");
    QCOMPARE(writePacket(queryColumns(), {}), kHeader + kQueryMeta + "<ROWDATA></ROWDATA></DATAPACKET>");

    const QList<Row> back = readBoth(one, folderColumns());
    QCOMPARE(back.size(), 1);
    QCOMPARE(back[0], folderRow(1, "Reports", at(2004, 4, 7, 14, 5, 9, 120)));
    QVERIFY(readBoth(writePacket(queryColumns(), {}), queryColumns()).isEmpty());
}

void tst_uDataPacket::textValuesAreEscapedAndReadBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("markup and quotes")
        << "Tom's \"A&B\" <x>" << QByteArray("Tom&apos;s &quot;A&amp;B&quot; &lt;x&gt;");
    QTest::newRow("backslashes") << "Data Source=C:\\data\\shop.mdb"
                                 << QByteArray("Data Source=C:&#092;data&#092;shop.mdb");
    QTest::newRow("two SQL lines with CR LF") << "SELECT *\r\nFROM t\r\n"
                                              << QByteArray("SELECT *&#013;&#010;FROM t&#013;&#010;");
    QTest::newRow("tab and other control bytes")
        << QStringLiteral("a\tb\x01\x1f") << QByteArray("a&#009;b\x01\x1f");
    QTest::newRow("non-ASCII as UTF-8") << QStringLiteral("Caf\u00e9 \u20ac \U0001F600")
                                        << QByteArray("Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    QTest::newRow("empty") << QString("") << QByteArray("");
}

void tst_uDataPacket::textValuesAreEscapedAndReadBack()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, written);
    const QByteArray packet = writePacket(folderColumns(), {folderRow(7, text, at(2020, 1, 2, 3, 4, 5))});
    QVERIFY2(packet.contains(" Name=\"" + written + "\" "), packet.constData());
    const QList<Row> back = readBoth(packet, folderColumns());
    QCOMPARE(back.at(0).at(1).toString(), text);
}

void tst_uDataPacket::dateTimesTakeTheirTwoForms_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("midnight") << at(2004, 4, 7) << QByteArray("20040407");
    QTest::newRow("afternoon") << at(2004, 4, 7, 14, 5, 9, 120) << QByteArray("20040407T14:05:09120");
    QTest::newRow("one millisecond past midnight")
        << at(1999, 12, 31, 0, 0, 0, 1) << QByteArray("19991231T00:00:00001");
    QTest::newRow("last millisecond")
        << at(2024, 2, 29, 23, 59, 59, 999) << QByteArray("20240229T23:59:59999");
}

void tst_uDataPacket::dateTimesTakeTheirTwoForms()
{
    QFETCH(QDateTime, value);
    QFETCH(QByteArray, written);
    const QByteArray packet = writePacket(folderColumns(), {folderRow(1, "x", value)});
    QVERIFY2(packet.contains("ModifiedDate=\"" + written + "\""), packet.constData());
    QCOMPARE(readBoth(packet, folderColumns()).at(0).at(2).toDateTime(), value);
}

void tst_uDataPacket::wallClockTimeInADaylightSavingGapSurvives()
{
    // The test runs with TZ=Europe/Berlin, where 2024-03-31 02:30 does not exist.
    QVERIFY(!at(2024, 3, 31, 2, 30).isValid());
    const QByteArray data = folderPacket("<ROW ID=\"1\" Name=\"a\" ModifiedDate=\"20240331T02:30:00000\"/>");
    const QList<Row> rows = readBoth(data, folderColumns());
    QVERIFY(rows[0][2].toDateTime().isValid());
    QCOMPARE(writePacket(folderColumns(), rows), data);
}

void tst_uDataPacket::nullsAreLeftOutAndReadBackAsNull()
{
    const Row row = {3,          "Sales",    at(2004, 4, 7, 1), "Provider=x",
                     "SELECT 1", QVariant(), QVariant(),        QVariant()};
    const QByteArray packet = writePacket(queryColumns(), {row});
    QVERIFY(packet.contains("<ROW ID=\"3\" Name=\"Sales\" ModifiedDate=\"20040407T01:00:00000\" "
                            "ConnectString=\"Provider=x\" QueryString=\"SELECT 1\"/>"));
    const Row back = readBoth(packet, queryColumns()).at(0);
    QCOMPARE(back.mid(0, 5), row.mid(0, 5));
    QVERIFY(!back[5].isValid());
    QVERIFY(!back[6].isValid());
    QVERIFY(!back[7].isValid());
}

void tst_uDataPacket::longTextsAreWrittenWholeAndWidthWidened()
{
    const QString name45 = QString(40, u'n') + "12345";
    const QString sql700 = QString(700, u's');
    const QString connect = QString(499, u'c') + "&"; // 504 bytes written, but 500 long
    const Row row = {1, name45, at(2004, 4, 7), connect, sql700, QVariant(), QVariant(), 0};
    const QByteArray packet = writePacket(queryColumns(), {row});
    QVERIFY(packet.contains("attrname=\"Name\" fieldtype=\"string\" required=\"true\" WIDTH=\"45\""));
    QVERIFY(
        packet.contains("attrname=\"ConnectString\" fieldtype=\"string\" required=\"true\" WIDTH=\"500\""));
    QVERIFY(packet.contains("attrname=\"QueryString\" fieldtype=\"string\" required=\"true\" WIDTH=\"700\""));
    QVERIFY(packet.contains("attrname=\"DiagramDesign\" fieldtype=\"string\" WIDTH=\"2000\""));
    const Row back = readBoth(packet, queryColumns()).at(0);
    QCOMPARE(back[1].toString(), name45);
    QCOMPARE(back[3].toString(), connect);
    QCOMPARE(back[4].toString(), sql700);

    // Widths count bytes, as the files always did: 30 two-byte letters need 60.
    const QByteArray wide =
        writePacket(folderColumns(), {folderRow(1, QString(30, QChar(0xe9)), at(2004, 4, 7))});
    QVERIFY(wide.contains("attrname=\"Name\" fieldtype=\"string\" required=\"true\" WIDTH=\"60\""));
}

void tst_uDataPacket::readerAcceptsOtherLayouts_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("single line") << kOneFolder;
    QTest::newRow("indented with LF") << QByteArray(
        "<?xml version=\"1.0\" standalone=\"yes\"?>\n<DATAPACKET Version=\"2.0\">\n  <METADATA>\n    "
        "<FIELDS>\n"
        "      <FIELD attrname=\"ID\" fieldtype=\"i4\" required=\"true\"/>\n"
        "      <FIELD attrname=\"Name\" fieldtype=\"string\" required=\"true\" WIDTH=\"40\"/>\n"
        "      <FIELD attrname=\"ModifiedDate\" fieldtype=\"dateTime\" required=\"true\"/>\n"
        "      <FIELD attrname=\"ParentID\" fieldtype=\"i4\"/>\n    </FIELDS>\n    <PARAMS/>\n  </METADATA>\n"
        "  <ROWDATA>\n    <ROW ID=\"1\" Name=\"Reports\" ModifiedDate=\"20040407T14:05:09120\" "
        "ParentID=\"0\"/>\n"
        "  </ROWDATA>\n</DATAPACKET>\n");
    QByteArray crlf = kOneFolder;
    crlf.replace("><", ">\r\n\t<");
    QTest::newRow("CR LF and tabs between every tag") << crlf;
    QTest::newRow("byte-order mark, comment, end tags, other quotes and PARAMS") << QByteArray(
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- saved elsewhere -->"
        "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
        "<FIELD attrname='ID' fieldtype='i4' required='true'></FIELD>"
        "<FIELD attrname=\"Name\" fieldtype=\"string\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"ModifiedDate\" fieldtype=\"dateTime\"/>"
        "<FIELD attrname=\"ParentID\" fieldtype=\"i4\"/></FIELDS>"
        "<PARAMS LCID=\"1033\" DEFAULT_ORDER=\"2\"></PARAMS></METADATA><ROWDATA>"
        "<ROW ParentID = \"0\" Name=\"Reports\" ID=\"1\" ModifiedDate=\"20040407T14:05:09120\"></ROW>"
        "</ROWDATA></DATAPACKET>");
}

void tst_uDataPacket::readerAcceptsOtherLayouts()
{
    QFETCH(QByteArray, data);
    const QList<Row> rows = readBoth(data, folderColumns());
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0], folderRow(1, "Reports", at(2004, 4, 7, 14, 5, 9, 120)));
}

void tst_uDataPacket::fieldNamesMatchWithoutRegardToCase()
{
    QByteArray data = folderPacket("<ROW id=\"4\" NAME=\"x\" ModifiedDate=\"20040407\" parentid=\"2\"/>");
    data.replace("attrname=\"ID\"", "attrname=\"id\"")
        .replace("attrname=\"Name\"", "attrname=\"NAME\"")
        .replace("attrname=\"ParentID\"", "attrname=\"parentid\"");
    QCOMPARE(readBoth(data, folderColumns()), QList<Row>({folderRow(4, "x", at(2004, 4, 7), 2)}));
}

void tst_uDataPacket::windows1252BytesAreRead()
{
    // An older file in the Windows code page, beside bytes that are valid UTF-8.
    const QByteArray data = folderPacket("<ROW ID=\"1\" Name=\"Caf\xe9 \x80\x93\" ModifiedDate=\"20040407\"/>"
                                         "<ROW ID=\"2\" Name=\"Caf\xc3\xa9\" ModifiedDate=\"20040407\"/>"
                                         "<ROW ID=\"3\" Name=\"\xc3\xa9t\xe9\" ModifiedDate=\"20040407\"/>");
    const QList<Row> rows = readBoth(data, folderColumns());
    QCOMPARE(rows[0][1].toString(), QStringLiteral("Caf\u00e9 \u20ac\u201c"));
    QCOMPARE(rows[1][1].toString(), QStringLiteral("Caf\u00e9"));
    QCOMPARE(rows[2][1].toString(), QStringLiteral("\u00e9t\u00e9"));
    QVERIFY(
        writePacket(folderColumns(), {rows[0]}).contains("Name=\"Caf\xc3\xa9 \xe2\x82\xac\xe2\x80\x9c\""));
}

void tst_uDataPacket::missingAndUnknownValuesAreRead()
{
    // A required value left out is a null like any other; an attribute that no field
    // names is handed back with its row, in file order, entities resolved.
    const QByteArray data = folderPacket("<ROW ID=\"1\" Name=\"Reports\" ParentID=\"0\"/>"
                                         "<ROW Colour=\"red &amp; &#092;\" ID=\"2\" Name=\"Sales\" "
                                         "ModifiedDate=\"20040407\" Size=\"\"/>");
    QList<Extras> extras;
    const QList<Row> rows = readPacket(data, folderColumns(), &extras);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0][0], QVariant(1));
    QVERIFY(!rows[0][2].isValid());
    QCOMPARE(rows[1][2], QVariant(at(2004, 4, 7)));
    QVERIFY(!rows[1][3].isValid());
    QCOMPARE(extras.size(), 2);
    QVERIFY(extras[0].isEmpty());
    QCOMPARE(extras[1].size(), 2);
    QCOMPARE(extras[1][0].name, QByteArray("Colour"));
    QCOMPARE(extras[1][0].value, QStringLiteral("red & \\"));
    QCOMPARE(extras[1][1].name, QByteArray("Size"));
    QCOMPARE(extras[1][1].value, QString());

    // The writer puts them after the known columns, encoded like any text.
    PacketWriter w(folderColumns());
    w.beginRow();
    w.intValue(2);
    w.stringValue("Sales");
    w.dateTimeValue(at(2004, 4, 7));
    w.nullValue();
    for (const Extra& e : extras[1])
        w.extraValue(e.name, e.value);
    w.endRow();
    QCOMPARE(w.finish(), folderPacket("<ROW ID=\"2\" Name=\"Sales\" ModifiedDate=\"20040407\" "
                                      "Colour=\"red &amp; &#092;\" Size=\"\"/>"));
}

void tst_uDataPacket::badFilesAreRejectedWithAClearMessage_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("message");
    const QByteArray row = "<ROW ID=\"1\" Name=\"a\" ModifiedDate=\"20040407\"/>";
    QTest::newRow("empty file") << QByteArray() << "it does not begin with an XML header";
    QTest::newRow("plain text") << QByteArray("ID;Name\n1;Reports\n")
                                << "it does not begin with an XML header";
    QTest::newRow("other XML") << QByteArray("<?xml version=\"1.0\"?><html/>")
                               << "<html> stands where <DATAPACKET> belongs";
    QTest::newRow("cut short") << kOneFolder.left(kOneFolder.size() - 30) << "The file ends";
    QTest::newRow("field missing")
        << QByteArray(kOneFolder).replace("<FIELD attrname=\"ParentID\" fieldtype=\"i4\"/>", "")
        << "The field \"ParentID\" is missing from the file";
    QTest::newRow("field too many") << QByteArray(kOneFolder)
                                           .replace("</FIELDS>",
                                                    "<FIELD attrname=\"Colour\" fieldtype=\"i4\"/></FIELDS>")
                                    << "a field \"Colour\" that the table does not have";
    QTest::newRow("field of another type")
        << QByteArray(kOneFolder).replace("\"ID\" fieldtype=\"i4\"", "\"ID\" fieldtype=\"string\"")
        << "The field \"ID\" has the type \"string\" in the file, where \"i4\" belongs";
    QTest::newRow("nested fields")
        << QByteArray(kOneFolder)
               .replace("<FIELD attrname=\"ParentID\" fieldtype=\"i4\"/>",
                        "<FIELD attrname=\"ParentID\" fieldtype=\"nested\"><FIELDS/></FIELD>")
        << "holds nested fields";
    QTest::newRow("integer with letters")
        << folderPacket("<ROW ID=\"1x\" Name=\"a\" ModifiedDate=\"20040407\"/>")
        << "Row 1: \"1x\" is not a valid i4 value for the field \"ID\"";
    QTest::newRow("integer too large")
        << folderPacket(row + "<ROW ID=\"2147483648\" Name=\"a\" ModifiedDate=\"20040407\"/>")
        << "Row 2: \"2147483648\" is not a valid i4 value";
    QTest::newRow("no such day")
        << folderPacket("<ROW ID=\"1\" Name=\"a\" ModifiedDate=\"20040230\"/>")
        << "\"20040230\" is not a valid dateTime value for the field \"ModifiedDate\"";
    QTest::newRow("hour 24") << folderPacket(
                                    "<ROW ID=\"1\" Name=\"a\" ModifiedDate=\"20040407T24:00:00000\"/>")
                             << "\"20040407T24:00:00000\" is not a valid dateTime value";
    QTest::newRow("ISO date") << folderPacket("<ROW ID=\"1\" Name=\"a\" ModifiedDate=\"2004-04-07\"/>")
                              << "\"2004-04-07\" is not a valid dateTime value";
    QTest::newRow("unknown entity") << folderPacket(
                                           "<ROW ID=\"1\" Name=\"a&nbsp;b\" ModifiedDate=\"20040407\"/>")
                                    << "the entity \"&nbsp;\" is unknown";
    QTest::newRow("bare ampersand") << folderPacket(
                                           "<ROW ID=\"1\" Name=\"A & B\" ModifiedDate=\"20040407\"/>")
                                    << "an \"&\" that starts no entity";
    QTest::newRow("value without field, twice")
        << folderPacket("<ROW ID=\"1\" Name=\"a\" Colour=\"3\" Colour=\"4\" ModifiedDate=\"20040407\"/>")
        << "Row 1 has two values \"Colour\"";
    QTest::newRow("value without field, undecodable")
        << folderPacket("<ROW ID=\"1\" Name=\"a\" Colour=\"a&nbsp;b\" ModifiedDate=\"20040407\"/>")
        << "Row 1: the value \"Colour\" cannot be decoded: the entity \"&nbsp;\" is unknown";
    QTest::newRow("value twice") << folderPacket(
                                        "<ROW ID=\"1\" Name=\"a\" Name=\"b\" ModifiedDate=\"20040407\"/>")
                                 << "Row 1 has two values for the field \"Name\"";
    QTest::newRow("text between tags") << folderPacket(row + "stray" + row) << "Unexpected text between tags";
    QTest::newRow("text after the packet") << kOneFolder + "<ROW/>"
                                           << "Unexpected text after </DATAPACKET>";
    QTest::newRow("unknown RowState")
        << folderPacket("<ROW RowState=\"256\" ID=\"1\" Name=\"a\" ModifiedDate=\"20040407\"/>")
        << "Row 1 has a RowState this reader does not know";
}

void tst_uDataPacket::badFilesAreRejectedWithAClearMessage()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    const QString error = readError(data, folderColumns());
    QVERIFY2(error.contains(message), qPrintable(error));
}

void tst_uDataPacket::recordedChangesOfARealPacketAreApplied()
{
    QFile file(QStringLiteral(QUILLORY_TESTDATA "/packets/dmvc_samplecds_rowstate.xml"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();

    // Five rows: record 1 inserted and changed twice, records 2 and 3 inserted. What
    // stands in the end is the last version of record 1 and the other two.
    const Packet packet = parsePacket(data);
    QCOMPARE(packet.fields.size(), 5);
    QCOMPARE(packet.fields[3].name, QStringLiteral("born_date"));
    QCOMPARE(packet.fields[3].type, QStringLiteral("date"));
    QCOMPARE(packet.fields[1].width, 100);
    QCOMPARE(packet.rows.size(), 3);
    const QStringList expected[] = {{"1", "Daniele", "Teti", "19791104", "TRUE"},
                                    {"2", "Pater", "Parker", "19780101", "TRUE"},
                                    {"3", "Sue", "Storm", "19820805", "FALSE"}};
    for (int r = 0; r < 3; ++r) {
        QStringList values;
        for (const auto& v : packet.rows[r].values)
            values << v.value_or(QStringLiteral("<null>"));
        QCOMPARE(values, expected[r]);
    }

    // It is not a favourites table, and says so.
    const QString error = readError(data, folderColumns());
    QVERIFY2(error.contains("a field \"first_name\" that the table does not have"), qPrintable(error));
}

void tst_uDataPacket::recordedChangesAreAppliedToATable()
{
    QByteArray data =
        folderPacket("<ROW RowState=\"5\" ID=\"1\" Name=\"Old\" ModifiedDate=\"20040407\" ParentID=\"0\"/>"
                     "<ROW RowState=\"4\" ID=\"2\" Name=\"Other\" ModifiedDate=\"20040408\"/>"
                     "<ROW RowState=\"12\" ID=\"1\" Name=\"New\" ModifiedDate=\"20040409\" ParentID=\"0\"/>");
    const QList<Row> wanted = {folderRow(2, "Other", at(2004, 4, 8), QVariant()), folderRow(1, "New", at(2004, 4, 9))};
    // Without a change log, a state only drops a row (deleted, unused) or keeps it.
    QCOMPARE(readBoth(QByteArray(data).replace("RowState=\"5\"", "RowState=\"2\""), folderColumns()), wanted);
    data.replace("<PARAMS/>", "<PARAMS CHANGE_LOG=\"1 0 4 2 0 4 3 1 8\"/>");
    QCOMPARE(readBoth(data, folderColumns()), wanted);
}

void tst_uDataPacket::doubtfulRecordedChangesAreRejected_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QByteArray>("changeLog");
    QTest::addColumn<QString>("message");
    const QByteArray rows =
        "<ROW RowState=\"5\" ID=\"1\" Name=\"Old\" ModifiedDate=\"20040407\" ParentID=\"0\"/>"
        "<ROW RowState=\"4\" ID=\"2\" Name=\"Other\" ModifiedDate=\"20040408\"/>"
        "<ROW RowState=\"12\" ID=\"1\" Name=\"New\" ModifiedDate=\"20040409\" ParentID=\"0\"/>";
    QTest::newRow("no change log") << rows << QByteArray() << "has no CHANGE_LOG to pair their versions";
    QTest::newRow("log pairs other rows")
        << rows << QByteArray("1 0 4 2 0 4 3 2 8") << "does not agree with the RowState of its rows";
    QTest::newRow("log names a missing row")
        << rows << QByteArray("1 0 4 2 0 4 9 1 8") << "names rows it does not hold";
    QTest::newRow("log cut short") << rows << QByteArray("1 0 4 2 0")
                                   << "CHANGE_LOG of the packet is malformed";
    // A later version without a value its earlier one has: null, or unchanged? Not guessed.
    QTest::newRow("later version leaves a value out")
        << QByteArray("<ROW RowState=\"5\" ID=\"1\" Name=\"Old\" ModifiedDate=\"20040407\" ParentID=\"3\"/>"
                      "<ROW RowState=\"12\" ID=\"1\" Name=\"New\" ModifiedDate=\"20040409\"/>")
        << QByteArray("1 0 4 2 1 8") << "leaves out its field \"ParentID\"";
}

void tst_uDataPacket::doubtfulRecordedChangesAreRejected()
{
    QFETCH(QByteArray, rows);
    QFETCH(QByteArray, changeLog);
    QFETCH(QString, message);
    QByteArray data = folderPacket(rows);
    if (!changeLog.isEmpty())
        data.replace("<PARAMS/>", "<PARAMS CHANGE_LOG=\"" + changeLog + "\"/>");
    const QString error = readError(data, folderColumns());
    QVERIFY2(error.contains(message), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_uDataPacket)
#include "tst_uDataPacket.moc"
