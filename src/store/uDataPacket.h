#pragma once

#include "uStoreError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVarLengthArray>
#include <QVariant>

#include <functional>
#include <optional>

// Reader and writer of XML data packets, the form in which the favourites tables live
// on disk. The writer produces the packet text byte for byte in the form the files have
// always had (UTF-8); the reader accepts that form, the same packet with white space
// between tags, and Windows-1252 bytes where the text is not valid UTF-8. Every failure
// is an EStoreError whose message says what is wrong and where.
namespace datapacket {

enum class FieldType
{
    I4,
    String,
    DateTime
};

struct Column
{
    QString name;
    FieldType type = FieldType::String;
    int width = 0; // text columns: the listed width in characters
    bool required = false;
};

// One cell per column, in column order: an int, a QString or a QDateTime; an invalid
// QVariant is a null value.
using Row = QList<QVariant>;

// One row in its written form: the <ROW .../> text and, per column, the UTF-8 length of
// its text value (0 for other values and nulls), which the header's WIDTH depends on;
// no lengths at all when every text is within its column's listed width, as nearly
// every row's is. Kept by callers that write the same rows again, so that a change
// re-encodes only the rows it touched.
struct EncodedRow
{
    QByteArray bytes;
    QList<int> textLengths;

    bool isEmpty() const { return bytes.isEmpty(); }
    // The bytes are a file's own, as read (not copied): see readStoredRows.
    bool isBorrowed() const { return !bytes.isEmpty() && bytes.capacity() == 0; }
};

// Reading the values of a row in the writer's own form (EncodedRow::bytes), which needs
// no checks: the raw value of the attribute name (entities unresolved), nullopt when the
// row leaves it out (a null); and every attribute in its order.
std::optional<QByteArrayView> writtenValue(QByteArrayView row, QByteArrayView name);
void forEachWrittenValue(QByteArrayView row, const std::function<void(QByteArrayView name, QByteArrayView raw)>& take);
QString decodeWrittenText(QByteArrayView raw);
// The same into a text kept for the next one: no allocation per value.
void decodeWrittenText(QByteArrayView raw, QString& into);
QDateTime decodeWrittenDateTime(QByteArrayView raw);
int decodeWrittenInt(QByteArrayView raw);

// A text value kept in the form a packet writer writes it (UTF-8, with the writer's
// entities) and decoded only when asked for: a store reads every value at start and looks
// at few of them in a run. One read from a file refers to the file's bytes, which its
// reader keeps alive; one given as text holds its own.
class StoredText
{
public:
    StoredText() = default;
    explicit StoredText(const QString& text);
    // A value as a file holds it (entities unresolved), already checked to decode; written
    // tells whether these are the very bytes the writer writes for it, and utf8Length is
    // then the length of its text in UTF-8.
    static StoredText fromFile(QByteArrayView raw, bool written, int utf8Length);

    QString text() const;
    // The value as it stands in a file; the writer's own form when written() is true.
    QByteArrayView bytes() const { return m_bytes; }
    bool written() const { return m_written; }
    int utf8Length() const { return m_length; }

private:
    QByteArray m_bytes;
    int m_length = 0;
    bool m_written = true;
};

// A date-time value kept as the file holds it and decoded when asked for; lifetime as
// StoredText. Empty is null.
class StoredDateTime
{
public:
    StoredDateTime() = default;
    explicit StoredDateTime(const QDateTime& value); // an invalid date-time is null
    // A value as a file holds it, already checked to be a valid date-time.
    static StoredDateTime fromFile(QByteArrayView raw);

    bool isNull() const { return m_bytes.isEmpty(); }
    QDateTime value() const; // invalid when null
    QByteArrayView bytes() const { return m_bytes; }
    bool written() const; // the bytes are the writer's own form

private:
    QByteArray m_bytes;
};

// Builds a packet row by row. Values are given in column order, one call per column.
// A text longer than its column's width is written whole, and the written WIDTH then
// becomes the longest value's length in UTF-8 bytes, so that nothing reading the file
// by its declared width cuts it.
class PacketWriter
{
public:
    explicit PacketWriter(QList<Column> columns);

    void beginRow();
    void intValue(int value);
    void stringValue(const QString& value);
    void dateTimeValue(const QDateTime& value); // an invalid date-time is written as null
    // Stored values go out as they are kept when they are in the written form already.
    void textValue(const StoredText& value);
    void dateTimeValue(const StoredDateTime& value); // null as null
    void nullValue();
    // An attribute that no column names, carried over from a file read earlier; given
    // after the last column's value, it is written after the known ones.
    void extraValue(const QByteArray& name, const QString& value);
    void endRow();
    // Ends the row as endRow does and hands out its written form instead of keeping it.
    EncodedRow takeRow();
    // Adds a row written earlier for the same columns.
    void appendRow(const EncodedRow& row);

    // The whole packet text. The writer can be used for one packet only.
    QByteArray finish();
    // The same, handed to write in pieces in their order (the rows as they are kept, so
    // that a large packet is never copied whole); stops at the first piece write refuses.
    // True when every piece was taken.
    bool finish(const std::function<bool(QByteArrayView)>& write);

private:
    void next(FieldType type, bool null);

    QList<Column> m_columns;
    QList<QByteArray> m_prefixes; // ' name="' of each column
    QList<int> m_longest;
    EncodedRow m_row;        // the row being written
    QList<QByteArray> m_rows; // the rows written so far (shared, not copied)
    qsizetype m_rowBytes = 0;
    int m_column = -1; // -1 outside a row
};

QByteArray writePacket(const QList<Column>& columns, const QList<Row>& rows);

// The encoded forms of single values, as they appear inside an attribute.
QByteArray encodeText(const QString& text);
QByteArray encodeDateTime(const QDateTime& value);

// A packet as it stands in the file, with its recorded changes applied: rows that a
// later version superseded or that were deleted are left out. Types and values are
// the file's text (entities resolved), not yet decoded.
struct Field
{
    QString name;
    QString type;   // the fieldtype attribute as written
    int width = -1; // -1 when the field has no WIDTH
    bool required = false;
};

// A ROW attribute that no FIELD names (a hand edit, another program's addition). It is
// kept with its row so that writing the table back loses nothing of the file.
struct Extra
{
    QByteArray name; // as written in the file
    QString value;   // entities resolved
};
using Extras = QList<Extra>;

struct PacketRow
{
    int number = 0;                       // 1-based position of the ROW element in the file
    QList<std::optional<QString>> values; // one per field; nullopt = attribute absent
    Extras extras;                        // attributes no field names, in file order
};

struct Packet
{
    QList<Field> fields;
    QList<PacketRow> rows;
};

Packet parsePacket(const QByteArray& data);

// Reads a packet into rows of the given columns: the file's fields must be exactly these
// columns (names compared without regard to case, the same types); values are decoded
// by type. A missing attribute is a null value, a required column's too: one odd row
// must not cost the whole table. Attributes that no field names go to extras, one entry
// per row, when extras is given.
QList<Row> readPacket(const QByteArray& data, const QList<Column>& columns, QList<Extras>* extras = nullptr);
// The same rows handed to take one at a time, in file order, with their extras (both
// may be moved from); nothing is kept. Raises as readPacket, possibly after some rows.
using RowTaker = std::function<void(Row& row, Extras& extras)>;
void readPacketRows(const QByteArray& data, const QList<Column>& columns, const RowTaker& take);

// One value of a row read in stored form: a null, an int, a text or a date-time by its
// column's type.
struct StoredValue
{
    bool null = true;
    int number = 0;
    StoredText text;
    StoredDateTime dateTime;
};

struct StoredRow
{
    int number = 0;                         // 1-based position of the ROW element in the file
    QVarLengthArray<StoredValue, 8> values; // one per column, in column order
    Extras extras;                          // as in PacketRow
    // The row in the writer's form: the file's own bytes when they are that already (a
    // file this program wrote: borrowed, no encoding), otherwise encoded anew.
    EncodedRow written;
};

// Reads as readPacketRows does, but keeps the values in their stored form: ints decoded,
// texts and date-times checked and kept as the file's bytes. The texts, date-times and
// borrowed rows refer to data, which the caller keeps alive as long as any of them.
using StoredRowTaker = std::function<void(StoredRow& row)>;
void readStoredRows(const QByteArray& data, const QList<Column>& columns, const StoredRowTaker& take);

// Bytes to text: UTF-8, with every byte that is not part of a valid UTF-8 sequence
// taken as Windows-1252.
QString decodeText(const char* data, qsizetype size);

} // namespace datapacket
