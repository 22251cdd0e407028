#pragma once

#include <QString>

// The kinds of field a result column can have. Chosen from the backend's declared
// column type (for SQLite: the declared type of the column, or the storage class of an
// expression); readers use it to pick a value accessor and a text form.
enum class TDbFieldType
{
    Unknown,
    String,      // variable-length text
    FixedString, // fixed-width text (CHAR(n))
    WideString,  // national-character text (NCHAR, NVARCHAR)
    Memo,        // long text (PostgreSQL text, ODBC long varchar)
    Integer,     // any integer width, held as 64 bits
    Float,       // binary floating point, double precision
    Single,      // binary floating point, single precision (REAL, an Access Single): shown
                 // as the shortest text that reads back as the same single value
    Currency,    // money: exact, four decimal places
    BCD,         // exact decimal (NUMERIC, DECIMAL): kept as its decimal digits
    Boolean,
    Date,
    Time,
    DateTime,
    Blob // bytes
};

// A readable name of the kind ("Integer", "DateTime" ...), for messages and tests.
QString FieldTypeName(TDbFieldType type);

// Which engine a connection reaches. Callers use it only where engines differ in
// syntax (identifier quoting); everything else is engine-neutral.
enum class TDbEngine
{
    None, // not connected
    SQLite,
    PostgreSQL,
    Access,    // an Access file: tables read with libmdb, statements run by SQLite
    SQLServer, // through FreeTDS
    Odbc,      // any other ODBC data source or driver
    Other      // a backend registered by a test
};

// One column of a result set.
struct TDbField
{
    QString name;        // as the engine reports it
    QString displayName; // the title shown to users; the name unless a label was set
    TDbFieldType type = TDbFieldType::Unknown;
    QString declaredType; // the engine's own type name, e.g. "DATETIME", "numeric", "VARCHAR"
    int size = 0;         // declared width for text kinds, 0 when unknown or not applicable
};
