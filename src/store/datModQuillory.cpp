#include "datModQuillory.h"

#include "UEncrypt.h"
#include "uClock.h"
#include "uDataPacket.h"
#include "uDialogs.h"
#include "uPageMemory.h"
#include "uWriteWhole.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

using datapacket::Column;
using datapacket::FieldType;

TdmQuillory* dmQuillory = nullptr;

namespace {

QStringList& lastShutdownErrors()
{
    static QStringList errors;
    return errors;
}

QString caption()
{
    return QCoreApplication::applicationName();
}

void nameInto(const datapacket::EncodedRow& row, QString& into);

// Writes the packet under a temporary name and renames it over the old file, so the
// file on disk is always either the old or the new text, never a torn one. The pieces
// go out through one small buffer: the packet is never copied whole into fresh memory,
// which in a large store cost more than the write itself.
void replaceFile(const QString& path, datapacket::PacketWriter& packet, bool ownerOnly)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw EStoreError(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    if (ownerOnly && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw EStoreError(QStringLiteral("Cannot make \"%1\" private: %2").arg(path, file.errorString()));
    constexpr qsizetype kBuffer = 256 * 1024;
    QByteArray buffer;
    buffer.reserve(kBuffer);
    const auto flush = [&] {
        const bool ok = platform::WriteWhole(file, buffer);
        buffer.clear(); // keeps its capacity
        return ok;
    };
    const bool written = packet.finish([&](QByteArrayView piece) {
        if (buffer.size() + piece.size() > kBuffer && !flush())
            return false;
        if (piece.size() >= kBuffer)
            return platform::WriteWhole(file, piece);
        buffer.append(piece);
        return true;
    });
    if (!written || !flush() || !file.commit())
        throw EStoreError(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
}

} // namespace

const QList<Column>& TdmQuillory::folderColumns()
{
    static const QList<Column> columns = {
        {QStringLiteral("ID"), FieldType::I4, 0, true},
        {QStringLiteral("Name"), FieldType::String, 40, true},
        {QStringLiteral("ModifiedDate"), FieldType::DateTime, 0, true},
        {QStringLiteral("ParentID"), FieldType::I4, 0, false},
    };
    return columns;
}

const QList<Column>& TdmQuillory::queryColumns()
{
    static const QList<Column> columns = {
        {QStringLiteral("ID"), FieldType::I4, 0, true},
        {QStringLiteral("Name"), FieldType::String, 40, true},
        {QStringLiteral("ModifiedDate"), FieldType::DateTime, 0, true},
        {QStringLiteral("ConnectString"), FieldType::String, 500, true},
        {QStringLiteral("QueryString"), FieldType::String, 500, true},
        {QStringLiteral("DiagramDesign"), FieldType::String, 2000, false},
        {QStringLiteral("LastUsedDate"), FieldType::DateTime, 0, false},
        {QStringLiteral("parentID"), FieldType::I4, 0, false},
    };
    return columns;
}

TdmQuillory::TdmQuillory(const QString& folder, QObject* parent) : TdmQuillory(folder, Mode::ReadWrite, parent) {}

TdmQuillory::TdmQuillory(const QString& folder, Mode mode, QObject* parent)
    : QObject(parent), m_folder(QDir(folder).absolutePath()), m_collator(QLocale()),
      m_readOnly(mode == Mode::ReadOnly)
{
    m_collator.setCaseSensitivity(Qt::CaseSensitive);
    DataModuleCreate();
}

TdmQuillory::~TdmQuillory()
{
    DataModuleDestroy();
    if (dmQuillory == this)
        dmQuillory = nullptr;
}

QString TdmQuillory::fileName(Table table) const
{
    return QDir(m_folder).filePath(table == Table::cdsFolder ? QStringLiteral("folders.xml")
                                                             : QStringLiteral("queries.xml"));
}

QStringList TdmQuillory::shutdownErrors()
{
    return lastShutdownErrors();
}

bool TdmQuillory::isLocked(Table table) const
{
    return !(table == Table::cdsFolder ? m_folderLock : m_queryLock).isEmpty();
}

void TdmQuillory::DataModuleCreate()
{
    // Each table on its own: a problem with one file does not keep the other from loading.
    prepareTable(Table::cdsFolder);
    prepareTable(Table::cdsQuery);
}

void TdmQuillory::prepareTable(Table table)
{
    const QString path = fileName(table);
    if (!QFileInfo::exists(path)) {
        if (m_readOnly)
            return;
        try {
            saveTable(table);
        } catch (const EStoreError& e) {
            // The table stays empty and usable; each change will try the write again.
            m_startupErrors << e.message();
        }
        return;
    }
    try {
        loadTable(table);
        // queries.xml holds scrambled passwords: a file that came with open permissions is
        // made private at once, not only by the next write (changes no byte or file time).
        if (table == Table::cdsQuery && !m_readOnly)
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    } catch (const EStoreError& e) {
        const QString error = QStringLiteral("Cannot read \"%1\": %2").arg(path, e.message());
        m_startupErrors << error;
        (table == Table::cdsFolder ? m_folderLock : m_queryLock) = error;
        if (table == Table::cdsFolder)
            m_folders.clear();
        else
            m_queries.clear();
    }
}

void TdmQuillory::DataModuleDestroy()
{
    lastShutdownErrors().clear();
    if (m_readOnly)
        return;
    try {
        writeAll();
    } catch (const EStoreError& e) {
        lastShutdownErrors() << e.message();
    } catch (const std::exception& e) {
        lastShutdownErrors() << QString::fromUtf8(e.what());
    }
}

void TdmQuillory::writeAll()
{
    if (m_readOnly)
        return;
    QStringList errors;
    for (const Table table : {Table::cdsFolder, Table::cdsQuery}) {
        // Writing the same bytes again would only cost time and wear; a file removed or
        // replaced behind the store's back is written again.
        if (isLocked(table) || fileIsAsLeft(table))
            continue;
        try {
            saveTable(table);
        } catch (const EStoreError& e) {
            errors << e.message();
        }
    }
    if (!errors.isEmpty())
        throw EStoreError(errors.join(u'\n'));
}

void TdmQuillory::rememberFile(Table table)
{
    const QFileInfo info(fileName(table));
    m_stamps[int(table)] = {info.size(), info.lastModified()};
}

bool TdmQuillory::fileIsAsLeft(Table table) const
{
    const FileStamp& stamp = m_stamps[int(table)];
    if (stamp.size < 0)
        return false;
    const QFileInfo info(fileName(table));
    return info.exists() && info.size() == stamp.size && info.lastModified() == stamp.modified;
}

void TdmQuillory::loadTable(Table table)
{
    const QString path = fileName(table);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EStoreError(file.errorString());
    // Read into pages made resident in one go: a page fault here costs about as much as
    // reading the page, and a large store is read at every start. The records keep the
    // bytes: their long texts and dates stay in the file's form until asked for.
    const qint64 size = file.size();
    const std::size_t capacity = std::size_t(std::max<qint64>(size, 0)) + 1;
    std::shared_ptr<const char> source(
        static_cast<char*>(platform::AllocatePages(capacity, capacity >= platform::kLargePageBytes)),
        [capacity](const char* p) { platform::FreePages(const_cast<char*>(p), capacity); });
    char* const block = const_cast<char*>(source.get());
    platform::PreparePages(block, capacity);
    qint64 length = 0;
    for (qint64 n; length < qint64(capacity) && (n = file.read(block + length, qint64(capacity) - length)) > 0;)
        length += n;
    if (file.error() != QFileDevice::NoError)
        throw EStoreError(file.errorString());
    QByteArray bytes = QByteArray::fromRawData(block, length);
    if (length == qint64(capacity)) {
        // It grew since its size was taken: the records keep a copy of the whole instead.
        auto whole = std::make_shared<const QByteArray>(bytes + file.readAll());
        bytes = QByteArray::fromRawData(whole->constData(), whole->size());
        source = std::shared_ptr<const char>(whole, whole->constData());
    }
    file.close();
    rememberFile(table);

    const bool folders = table == Table::cdsFolder;
    // Records are made as the rows are read, so the file's rows are never held in a
    // second form; then put in name order.
    QList<FolderRecord> folderRecords;
    QList<QueryRecord> queryRecords;
    if (folders) {
        datapacket::readStoredRows(bytes, folderColumns(), [&](datapacket::StoredRow& row) {
            const auto& v = row.values;
            FolderRecord r;
            r.IDNull = v[0].null;
            r.ID = v[0].number;
            r.ParentIDNull = v[3].null;
            r.ParentID = v[3].number;
            r.row = std::move(row.written);
            if (r.row.isBorrowed())
                r.source = source;
            folderRecords.append(std::move(r));
        });
    } else {
        queryRecords.reserve(bytes.size() / 256);
        datapacket::readStoredRows(bytes, queryColumns(), [&](datapacket::StoredRow& row) {
            const auto& v = row.values;
            QueryRecord r;
            r.IDNull = v[0].null;
            r.ID = v[0].number;
            r.parentIDNull = v[7].null;
            r.parentID = v[7].number;
            r.row = std::move(row.written);
            if (r.row.isBorrowed())
                r.source = source;
            queryRecords.append(std::move(r));
        });
    }

    // A file this program wrote is in name order already, which one pass confirms.
    // Otherwise sort by precomputed collation keys: comparing keys is far cheaper than
    // collating the names again for every comparison.
    const auto sortByName = [this](auto& records, auto& into) {
        bool inOrder = true;
        QString name, previous;
        for (qsizetype i = 0; inOrder && i < records.size(); ++i) {
            nameInto(records[i].row, name);
            inOrder = i == 0 || !nameLess(name, previous);
            std::swap(name, previous);
        }
        if (inOrder) {
            into = std::move(records);
            return;
        }
        std::vector<QCollatorSortKey> keys;
        keys.reserve(records.size());
        for (const auto& r : std::as_const(records))
            keys.push_back(m_collator.sortKey(r.Name()));
        std::vector<qsizetype> order(records.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](qsizetype a, qsizetype b) { return keys[a].compare(keys[b]) < 0; });
        into.clear();
        into.reserve(records.size());
        for (const qsizetype i : order)
            into.append(std::move(records[i]));
    };
    if (folders) {
        sortByName(folderRecords, m_folders);
    } else {
        sortByName(queryRecords, m_queries);
        m_current = -1;
    }
}

// ---------------------------------------------------------------- records

namespace {

// A record's values in full, to make its row from.
struct FolderValues
{
    int ID = 0;
    bool IDNull = false;
    QString Name;
    bool NameNull = false;
    QDateTime ModifiedDate; // invalid = null
    int ParentID = 0;
    bool ParentIDNull = false;
    datapacket::Extras extras;
};

struct QueryValues
{
    int ID = 0;
    bool IDNull = false;
    QString Name;
    bool NameNull = false;
    QDateTime ModifiedDate;
    QString ConnectString;
    bool ConnectStringNull = false;
    QString QueryString;
    bool QueryStringNull = false;
    QString DiagramDesign;
    bool DiagramDesignNull = true;
    QDateTime LastUsedDate;
    int parentID = 0;
    bool parentIDNull = false;
    datapacket::Extras extras;
};

std::optional<QByteArrayView> valueOf(const datapacket::EncodedRow& row, const char* name)
{
    return datapacket::writtenValue(row.bytes, QByteArrayView(name));
}

// A record's name into a text kept from the one before: a pass over every name at start
// allocates nothing per record.
void nameInto(const datapacket::EncodedRow& row, QString& into)
{
    const auto raw = valueOf(row, "Name");
    if (raw)
        datapacket::decodeWrittenText(*raw, into);
    else
        into.resize(0);
}

QString textOf(const datapacket::EncodedRow& row, const char* name)
{
    const auto raw = valueOf(row, name);
    return raw ? datapacket::decodeWrittenText(*raw) : QString();
}

QDateTime dateTimeOf(const datapacket::EncodedRow& row, const char* name)
{
    const auto raw = valueOf(row, name);
    return raw ? datapacket::decodeWrittenDateTime(*raw) : QDateTime();
}

datapacket::Extras extrasOf(const datapacket::EncodedRow& row, const QList<Column>& columns)
{
    datapacket::Extras extras;
    datapacket::forEachWrittenValue(row.bytes, [&](QByteArrayView name, QByteArrayView raw) {
        const bool column = std::any_of(columns.begin(), columns.end(),
                                        [&](const Column& c) { return QLatin1String(name) == c.name; });
        if (!column)
            extras.append({name.toByteArray(), datapacket::decodeWrittenText(raw)});
    });
    return extras;
}

void writeInt(datapacket::PacketWriter& w, int value, bool null)
{
    if (null)
        w.nullValue();
    else
        w.intValue(value);
}

void writeText(datapacket::PacketWriter& w, const QString& value, bool null)
{
    if (null)
        w.nullValue();
    else
        w.stringValue(value);
}

void writeExtras(datapacket::PacketWriter& w, const datapacket::Extras& extras)
{
    for (const datapacket::Extra& e : extras)
        w.extraValue(e.name, e.value);
}

FolderValues valuesOf(const FolderRecord& r)
{
    return {r.ID, r.IDNull, r.Name(), r.NameNull(), r.ModifiedDate(), r.ParentID, r.ParentIDNull, r.extras()};
}

QueryValues valuesOf(const QueryRecord& r)
{
    return {r.ID,
            r.IDNull,
            r.Name(),
            r.NameNull(),
            r.ModifiedDate(),
            r.ConnectString(),
            r.ConnectStringNull(),
            r.QueryString(),
            r.QueryStringNull(),
            r.DiagramDesign(),
            r.DiagramDesignNull(),
            r.LastUsedDate(),
            r.parentID,
            r.parentIDNull,
            r.extras()};
}

datapacket::EncodedRow encodeValues(const FolderValues& v)
{
    datapacket::PacketWriter w(TdmQuillory::folderColumns());
    w.beginRow();
    writeInt(w, v.ID, v.IDNull);
    writeText(w, v.Name, v.NameNull);
    w.dateTimeValue(v.ModifiedDate);
    writeInt(w, v.ParentID, v.ParentIDNull);
    writeExtras(w, v.extras);
    return w.takeRow();
}

datapacket::EncodedRow encodeValues(const QueryValues& v)
{
    datapacket::PacketWriter w(TdmQuillory::queryColumns());
    w.beginRow();
    writeInt(w, v.ID, v.IDNull);
    writeText(w, v.Name, v.NameNull);
    w.dateTimeValue(v.ModifiedDate);
    writeText(w, v.ConnectString, v.ConnectStringNull);
    writeText(w, v.QueryString, v.QueryStringNull);
    writeText(w, v.DiagramDesign, v.DiagramDesignNull);
    w.dateTimeValue(v.LastUsedDate);
    writeInt(w, v.parentID, v.parentIDNull);
    writeExtras(w, v.extras);
    return w.takeRow();
}

FolderRecord recordOf(const FolderValues& v)
{
    FolderRecord r;
    r.ID = v.ID;
    r.IDNull = v.IDNull;
    r.ParentID = v.ParentID;
    r.ParentIDNull = v.ParentIDNull;
    r.row = encodeValues(v);
    return r;
}

QueryRecord recordOf(const QueryValues& v)
{
    QueryRecord r;
    r.ID = v.ID;
    r.IDNull = v.IDNull;
    r.parentID = v.parentID;
    r.parentIDNull = v.parentIDNull;
    r.row = encodeValues(v);
    return r;
}

} // namespace

QString FolderRecord::Name() const
{
    return textOf(row, "Name");
}

bool FolderRecord::NameNull() const
{
    return !valueOf(row, "Name");
}

QDateTime FolderRecord::ModifiedDate() const
{
    return dateTimeOf(row, "ModifiedDate");
}

datapacket::Extras FolderRecord::extras() const
{
    return extrasOf(row, TdmQuillory::folderColumns());
}

QString QueryRecord::Name() const
{
    return textOf(row, "Name");
}

bool QueryRecord::NameNull() const
{
    return !valueOf(row, "Name");
}

QDateTime QueryRecord::ModifiedDate() const
{
    return dateTimeOf(row, "ModifiedDate");
}

QString QueryRecord::ConnectString() const
{
    return textOf(row, "ConnectString");
}

bool QueryRecord::ConnectStringNull() const
{
    return !valueOf(row, "ConnectString");
}

QString QueryRecord::QueryString() const
{
    return textOf(row, "QueryString");
}

bool QueryRecord::QueryStringNull() const
{
    return !valueOf(row, "QueryString");
}

QString QueryRecord::DiagramDesign() const
{
    return textOf(row, "DiagramDesign");
}

bool QueryRecord::DiagramDesignNull() const
{
    return !valueOf(row, "DiagramDesign");
}

QDateTime QueryRecord::LastUsedDate() const
{
    return dateTimeOf(row, "LastUsedDate");
}

datapacket::Extras QueryRecord::extras() const
{
    return extrasOf(row, TdmQuillory::queryColumns());
}

datapacket::EncodedRow TdmQuillory::encodeRecord(const FolderRecord& record)
{
    return encodeValues(valuesOf(record));
}

datapacket::EncodedRow TdmQuillory::encodeRecord(const QueryRecord& record)
{
    return encodeValues(valuesOf(record));
}

template <typename Record> void TdmQuillory::encodeTable(datapacket::PacketWriter& w, const QList<Record>& records)
{
    for (const Record& r : records)
        w.appendRow(r.row);
}

void TdmQuillory::saveTable(Table table)
{
    if (m_readOnly)
        throw EStoreError(QStringLiteral("The favourites are open for reading only."));
    const bool folders = table == Table::cdsFolder;
    datapacket::PacketWriter w(folders ? folderColumns() : queryColumns());
    if (folders)
        encodeTable(w, m_folders);
    else
        encodeTable(w, m_queries);
    // queries.xml holds scrambled passwords: it is for its owner's eyes only.
    replaceFile(fileName(table), w, !folders);
    rememberFile(table);
}

void TdmQuillory::refuseIfLocked(Table table) const
{
    if (!isLocked(table))
        return;
    throw EStoreError(
        QStringLiteral("Changes to \"%1\" are refused because the file could not be read at start. "
                       "Repair or remove the file, then start the program again.")
            .arg(fileName(table)));
}

// Before a record is posted (its ModifiedDate is then set by the caller).
void TdmQuillory::cdsFolderBeforePost(const QString& name) const
{
    // A name of blanks alone would give an entry without a label in the tray menu.
    if (name.trimmed().isEmpty())
        throw EStoreError(QStringLiteral("Field 'Name' must have a value"));
}

void TdmQuillory::cdsQueryBeforePost(const QString& name) const
{
    if (name.trimmed().isEmpty())
        throw EStoreError(QStringLiteral("Field 'Name' must have a value"));
}

bool TdmQuillory::nameLess(const QString& a, const QString& b) const
{
    return m_collator.compare(a, b) < 0;
}

template <typename Record>
qsizetype TdmQuillory::insertSorted(QList<Record>& list, const Record& record) const
{
    // After any equal names, so records of the same name keep the order they came in.
    const QString name = record.Name();
    const auto at = std::upper_bound(list.begin(), list.end(), record, [&](const Record&, const Record& element) {
        return nameLess(name, element.Name());
    });
    const qsizetype index = at - list.begin();
    // Appended and rotated into place: the list keeps its room at the end, where an
    // insert near the front would make Qt move the whole table to new memory.
    list.append(record);
    std::rotate(list.begin() + index, list.end() - 1, list.end());
    return index;
}

int TdmQuillory::MaxID(Table table) const
{
    int most = 0;
    if (table == Table::cdsFolder) {
        for (const FolderRecord& r : m_folders)
            most = std::max(most, r.ID);
    } else {
        for (const QueryRecord& r : m_queries)
            most = std::max(most, r.ID);
    }
    return most;
}

void TdmQuillory::AddFolder(const QString& name)
{
    refuseIfLocked(Table::cdsFolder);
    for (const FolderRecord& r : std::as_const(m_folders))
        if (r.Name() == name)
            throw EStoreError(QStringLiteral("That foldername is in use"));
    const int id = MaxID(Table::cdsFolder);
    if (id == INT_MAX)
        throw EStoreError(QStringLiteral("No folder ID is left to give out"));

    cdsFolderBeforePost(name);
    FolderValues values;
    values.ID = id + 1;
    values.Name = name;
    values.ModifiedDate = quillory::now();
    values.ParentID = 0;

    // Undone by position, not by a copy of the table: a copy costs as much as the write.
    const qsizetype index = insertSorted(m_folders, recordOf(values));
    try {
        saveTable(Table::cdsFolder);
    } catch (...) {
        m_folders.removeAt(index);
        throw;
    }
}

void TdmQuillory::AddQuery(int parentID, const QString& name, const QString& queryString,
                           const QString& connectString, const QString& diagramDesign)
{
    refuseIfLocked(Table::cdsQuery);
    const int id = MaxID(Table::cdsQuery);
    if (id == INT_MAX)
        throw EStoreError(QStringLiteral("No query ID is left to give out"));

    cdsQueryBeforePost(name);
    const QDateTime now = quillory::now();
    QueryValues values;
    values.ID = id + 1;
    values.Name = name;
    values.ModifiedDate = now;
    values.parentID = parentID;
    values.ConnectString = EncryptConnectionString(connectString);
    values.QueryString = queryString;
    values.DiagramDesign = diagramDesign;
    values.DiagramDesignNull = diagramDesign.isEmpty();
    values.LastUsedDate = now;

    const qsizetype index = insertSorted(m_queries, recordOf(values));
    try {
        saveTable(Table::cdsQuery);
    } catch (...) {
        m_queries.removeAt(index);
        m_current = -1;
        throw;
    }
    m_current = index;
}

qsizetype TdmQuillory::findQuery(int queryID)
{
    for (qsizetype i = 0; i < m_queries.size(); ++i) {
        if (m_queries[i].ID == queryID) {
            m_current = i;
            return i;
        }
    }
    return -1;
}

void TdmQuillory::UpdateQueryString(int queryID, const QString& queryString)
{
    updateQuery(queryID, queryString, nullptr);
}

void TdmQuillory::UpdateQueryString(int queryID, const QString& queryString, const QString& connectString)
{
    updateQuery(queryID, queryString, &connectString);
}

void TdmQuillory::UpdateQueryString(int queryID, const QString& queryString, const QString& connectString,
                                    const QString& diagramDesign)
{
    updateQuery(queryID, queryString, &connectString, &diagramDesign);
}

void TdmQuillory::updateQuery(int queryID, const QString& queryString, const QString* connectString,
                              const QString* diagramDesign)
{
    refuseIfLocked(Table::cdsQuery);
    const qsizetype i = findQuery(queryID);
    if (i < 0)
        throw EStoreError(QStringLiteral("Query no longer found"));

    QueryValues values = valuesOf(m_queries[i]);
    cdsQueryBeforePost(values.Name);
    const QDateTime now = quillory::now();
    values.ModifiedDate = now;
    values.QueryString = queryString;
    values.QueryStringNull = false;
    if (connectString) {
        values.ConnectString = EncryptConnectionString(*connectString);
        values.ConnectStringNull = false;
    }
    if (diagramDesign) {
        values.DiagramDesign = *diagramDesign;
        values.DiagramDesignNull = diagramDesign->isEmpty();
    }
    values.LastUsedDate = now;
    QueryRecord record = recordOf(values);
    std::swap(m_queries[i], record); // record now holds the one before
    try {
        saveTable(Table::cdsQuery);
    } catch (...) {
        m_queries[i] = std::move(record);
        throw;
    }
}

bool TdmQuillory::QueryNameExists(int parentID, const QString& name)
{
    for (qsizetype i = 0; i < m_queries.size(); ++i) {
        if (m_queries[i].parentID == parentID && m_queries[i].Name() == name) {
            m_current = i;
            return true;
        }
    }
    return false;
}

QString TdmQuillory::GetConnectString(int queryID)
{
    const qsizetype i = findQuery(queryID);
    return i < 0 ? QString() : DecryptConnectionString(m_queries[i].ConnectString());
}

QString TdmQuillory::GetQueryString(int queryID)
{
    const qsizetype i = findQuery(queryID);
    return i < 0 ? QString() : m_queries[i].QueryString();
}

QString TdmQuillory::GetQueryName(int queryID)
{
    const qsizetype i = findQuery(queryID);
    return i < 0 ? QString() : m_queries[i].Name();
}

const QueryRecord* TdmQuillory::currentQuery() const
{
    return m_current >= 0 && m_current < m_queries.size() ? &m_queries[m_current] : nullptr;
}

void TdmQuillory::DeleteFolder(int folderID)
{
    try {
        refuseIfLocked(Table::cdsQuery);
        refuseIfLocked(Table::cdsFolder);
        const QList<QueryRecord> queriesBefore = m_queries;
        const QList<FolderRecord> foldersBefore = m_folders;
        const bool queriesChanged =
            m_queries.removeIf([folderID](const QueryRecord& r) { return r.parentID == folderID; }) > 0;
        const bool foldersChanged =
            m_folders.removeIf([folderID](const FolderRecord& r) { return r.ID == folderID; }) > 0;
        m_current = -1;
        // Query table first: should the folder file then fail, the folder stays, empty.
        if (queriesChanged) {
            try {
                saveTable(Table::cdsQuery);
            } catch (...) {
                m_queries = queriesBefore;
                m_folders = foldersBefore;
                throw;
            }
                }
        if (foldersChanged) {
            try {
                saveTable(Table::cdsFolder);
            } catch (...) {
                m_folders = foldersBefore;
                throw;
            }
                }
    } catch (const std::exception& e) {
        dialogs::showInfo(QStringLiteral("Failed to remove folder ") + QString::fromUtf8(e.what()),
                          caption());
        return;
    }
    dialogs::showInfo(QStringLiteral("Folder deleted"), caption());
}

void TdmQuillory::DeleteQuery(int queryID)
{
    try {
        refuseIfLocked(Table::cdsQuery);
        const qsizetype i = findQuery(queryID);
        if (i < 0) {
            dialogs::showInfo(QStringLiteral("Failed to remove query"), caption());
            return;
        }
        const QueryRecord removed = m_queries.takeAt(i);
        m_current = i < m_queries.size() ? i : -1;
        try {
            saveTable(Table::cdsQuery);
        } catch (...) {
            m_queries.insert(i, removed);
            throw;
        }
        } catch (const std::exception& e) {
        dialogs::showInfo(QStringLiteral("Failed to remove query\n") + QString::fromUtf8(e.what()),
                          caption());
    }
}
