#pragma once

// What the Access reader process sends to the program on its standard output, and what
// its exit code means. Shared by the reader (no Qt) and the Access backend, so plain C++.
//
// The answer is a sequence of frames: one kind byte, the payload's length (4 bytes,
// little-endian), the payload. All numbers are little-endian.
//   'N' a user table's name: u32 length + UTF-8 bytes; one frame a table, in the file's order
//   'H' a table's columns: u8 text kind (1 = Windows-1252 bytes, 0 = UTF-16 / compressed),
//       u32 count, then per column: u8 kind (TAccessColumnKind), u32 size, u8 precision,
//       u8 scale, u32 name length + the name (UTF-8)
//   'R' one row: per column one value, a tag (TAccessValueTag) then its bytes
//   'E' the list or the table was sent whole
//   'Z' (serve mode) the request is done: u8 result, 0 or one of TAccessReaderExit
// The program trusts none of it: every length is checked against the frame.
//
// In serve mode the reader opens the file, answers with the table list, and then takes
// requests on its standard input, one after another, until it closes: u8 kind
// (RequestColumns, RequestTable), u32 name length, the table's name as listed.
namespace accessreader {

enum TAccessFrame : char
{
    FrameTable = 'N',
    FrameHead = 'H',
    FrameRow = 'R',
    FrameEnd = 'E',
    FrameResult = 'Z',
};

enum TAccessRequest : char
{
    RequestColumns = 'c',
    RequestTable = 't',
};

// The column kinds, independent of the reading library's numbering.
enum TAccessColumnKind : unsigned char
{
    KindBool = 1,
    KindByte,
    KindInt,
    KindLong,
    KindMoney,
    KindFloat,
    KindDouble,
    KindDateTime,
    KindBinary,
    KindText,
    KindOle,
    KindMemo,
    KindGuid,
    KindNumeric,
    KindComplex,
    KindOther,
};

enum TAccessValueTag : unsigned char
{
    ValueNull = 0,
    ValueInt = 1,      // i64
    ValueDouble = 2,   // f64
    ValueDate = 3,     // f64: days since 1899-12-30, as stored
    ValueRawText = 4,  // u32 length + bytes in the file's text encoding
    ValueUtf8 = 5,     // u32 length + UTF-8 bytes
    ValueBlob = 6,     // u32 length + bytes
    ValueUnreadable = 7,
};

// The modes, as the first argument: serve FILE (above), or one request and exit:
// list FILE | columns FILE TABLE | table FILE TABLE.
// Exit codes besides 0; any other code or a signal is a failure of the reader itself.
enum TAccessReaderExit
{
    ExitUsage = 2,
    ExitNoMemory = 3,      // an allocation failed under the memory limit
    ExitOutputGone = 4,    // the program stopped reading
    ExitNotAccess = 10,    // the file could not be opened as an Access database
    ExitNoCatalog = 11,    // its table list could not be read
    ExitNoSuchTable = 12,
    ExitBadTable = 13,     // the table's definition could not be read
};

// A row larger than this gives its long values as unreadable: the program keeps every
// row in memory, and one value must not take it over its limits.
constexpr unsigned kMaxRowBytes = 64u << 20;
// The largest frame the program takes (a row at the limit plus its tags).
constexpr unsigned kMaxFrameBytes = kMaxRowBytes + (1u << 20);

} // namespace accessreader
