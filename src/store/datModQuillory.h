#pragma once

#include "uDataPacket.h"
#include "uStoreError.h"

#include <QCollator>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// One record of the folder table (cdsFolder). A record is its row in the form the file
// is written in (the file's own bytes for a row read in that form), with the numbers the
// menus and look-ups need beside it; the other values are decoded from the row when
// asked for.
// A null read from the file (a missing attribute, required column or not) reads as 0,
// empty text or an invalid date-time and stays null: the row leaves it out.
struct FolderRecord
{
    int ID = 0;
    bool IDNull = false;
    bool ParentIDNull = false;
    int ParentID = 0;
    datapacket::EncodedRow row;
    std::shared_ptr<const char> source; // the file's bytes, when row borrows them

    // Decoded each time: thousands of names held as text cost more at start than the
    // few that a menu shows or a look-up compares.
    QString Name() const;
    bool NameNull() const;
    QDateTime ModifiedDate() const;
    // The file's attributes that no column names, written back as read.
    datapacket::Extras extras() const;
};

// One record of the query table (cdsQuery), as FolderRecord.
struct QueryRecord
{
    int ID = 0;
    bool IDNull = false;
    bool parentIDNull = false;
    int parentID = 0;
    datapacket::EncodedRow row;
    std::shared_ptr<const char> source;

    QString Name() const;
    bool NameNull() const;
    QDateTime ModifiedDate() const;
    QString ConnectString() const; // passwords scrambled
    bool ConnectStringNull() const;
    QString QueryString() const;
    bool QueryStringNull() const;
    QString DiagramDesign() const;
    bool DiagramDesignNull() const;
    QDateTime LastUsedDate() const;
    datapacket::Extras extras() const;
};

// The favourites store: the folder and query tables, kept in "folders.xml" and
// "queries.xml" in the folder given at construction.
//
// Every change is written to its file at once, by writing a new file and renaming it
// over the old one, so a killed program loses nothing; on failure the change is undone
// in memory and the operation raises EStoreError. A file that cannot be read at start
// is never overwritten: its table starts empty and changes to it are refused with
// EStoreError. queries.xml holds scrambled passwords and is readable by its owner only.
// Texts are stored whole, whatever the listed column width.
//
// Operations raise EStoreError with the user-facing message, except DeleteFolder and
// DeleteQuery, which show their messages through the dialog seam (caption: the
// application name) and never raise. The constructor and destructor never raise
// either: their errors are collected in startupErrors() and shutdownErrors().
class TdmQuillory : public QObject
{
    Q_OBJECT
public:
    enum class Table
    {
        cdsFolder,
        cdsQuery
    };

    enum class Mode
    {
        ReadWrite,
        // Reads the files and never writes them: a missing file reads as an empty table,
        // every change is refused and nothing is written at destruction. For readers that
        // may run beside the tray copy, which owns the files.
        ReadOnly
    };

    explicit TdmQuillory(const QString& folder, QObject* parent = nullptr);
    TdmQuillory(const QString& folder, Mode mode, QObject* parent = nullptr);
    ~TdmQuillory() override;

    QString folder() const { return m_folder; }
    QString fileName(Table table) const;
    // Errors met while creating the store, each naming its file.
    QStringList startupErrors() const { return m_startupErrors; }
    // Errors of the writes made by the most recent destruction of a store.
    static QStringList shutdownErrors();
    // True when the table's file could not be read at start; its changes are refused.
    bool isLocked(Table table) const;

    void AddFolder(const QString& name);
    // connectString in clear; it is stored with its passwords scrambled.
    // diagramDesign: the designer's diagram kept with the query; empty stores none.
    void AddQuery(int parentID, const QString& name, const QString& queryString, const QString& connectString,
                  const QString& diagramDesign = QString());
    void UpdateQueryString(int queryID, const QString& queryString);
    // The same, and the connection string (in clear; stored scrambled) in the same write.
    void UpdateQueryString(int queryID, const QString& queryString, const QString& connectString);
    // The same, and the diagram (empty stores none).
    void UpdateQueryString(int queryID, const QString& queryString, const QString& connectString,
                           const QString& diagramDesign);
    bool QueryNameExists(int parentID, const QString& name);
    QString GetConnectString(int queryID); // passwords restored; empty when no query has the ID
    QString GetQueryString(int queryID);
    QString GetQueryName(int queryID);
    void DeleteFolder(int folderID);
    void DeleteQuery(int queryID);
    // The largest ID in the table, 0 when it is empty.
    int MaxID(Table table) const;

    // The tables in ascending Name order (case-sensitive, the locale's collation).
    const QList<FolderRecord>& folders() const { return m_folders; }
    const QList<QueryRecord>& queries() const { return m_queries; }
    // The query table's current record: the query found by the last look-up by ID,
    // QueryNameExists or AddQuery; nullptr when there is none. Valid until the next call.
    const QueryRecord* currentQuery() const;

    // Writes both files whole (the orderly exit); raises EStoreError naming every file
    // that could not be written. Files that could not be read at start are left alone, and
    // so is a file that still holds what this store last read or wrote there.
    void writeAll();

    static const QList<datapacket::Column>& folderColumns();
    static const QList<datapacket::Column>& queryColumns();
    // A record's row encoded afresh from its values (as decoded from its row).
    static datapacket::EncodedRow encodeRecord(const FolderRecord& record);
    static datapacket::EncodedRow encodeRecord(const QueryRecord& record);

private:
    void DataModuleCreate();
    void DataModuleDestroy();
    void cdsFolderBeforePost(const QString& name) const;
    void cdsQueryBeforePost(const QString& name) const;

    void prepareTable(Table table);
    void loadTable(Table table);
    void saveTable(Table table);
    template <typename Record> void encodeTable(datapacket::PacketWriter& w, const QList<Record>& records);
    void rememberFile(Table table);
    bool fileIsAsLeft(Table table) const;
    void refuseIfLocked(Table table) const;
    void updateQuery(int queryID, const QString& queryString, const QString* connectString,
                     const QString* diagramDesign = nullptr);
    qsizetype findQuery(int queryID);
    bool nameLess(const QString& a, const QString& b) const;
    template <typename Record> qsizetype insertSorted(QList<Record>& list, const Record& record) const;

    QString m_folder;
    QCollator m_collator;
    QList<FolderRecord> m_folders;
    QList<QueryRecord> m_queries;
    qsizetype m_current = -1;
    QString m_folderLock; // why folders.xml could not be read; empty when it was
    QString m_queryLock;
    QStringList m_startupErrors;
    // Each file's size and time as this store last read or wrote it (size -1: never).
    struct FileStamp
    {
        qint64 size = -1;
        QDateTime modified;
    };
    FileStamp m_stamps[2];
    bool m_readOnly = false;
};

// The program's one instance, set by the program body.
extern TdmQuillory* dmQuillory;
