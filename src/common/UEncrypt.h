#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// Scrambling of the passwords that are stored on disk (connection strings in the
// favourites store and the parameter file, the SQL Server dialog's password). This is
// obfuscation with a key derived from the length alone, not encryption. The unit has no
// state; every function takes and returns values.

// The two constants of the key byte. Every scrambled text ever written depends on them:
// never change them.
inline constexpr quint8 kScrambleMultiplier = 0xA7; // M
inline constexpr quint8 kScrambleOffset = 0x5D;     // C

// The key byte for a byte string of the given length: (isqrt(length * M) + C) mod 256.
quint8 ScrambleKey(qsizetype length);

// The "Password" and "Pwd" values of a connection string scrambled / restored: every
// value the database layer would read under those keys (ScanConnectionItems: blanks,
// any case, repeats, quoted values whole inside their quotes); all other text stays as
// it is. Restoring gives back the original string. Never throws.
QString EncryptConnectionString(const QString& connectionString);
QString DecryptConnectionString(const QString& connectionString);

// One password: the UTF-8 bytes scrambled and written as upper-case hexadecimal, and back.
// DecryptPassword cannot tell whether its input was ever scrambled.
QString EncryptPassword(const QString& password);
QString DecryptPassword(const QString& scrambled);

// The reversed bytes, each XORed with the key of the length; its own inverse.
QByteArray XorReverse(const QByteArray& bytes);
// Two upper-case hexadecimal digits per byte, high nibble first.
QString HexEncode(const QByteArray& bytes);
// Pairs of digits to bytes; a last unpaired character is ignored. Never fails: a
// character that is no upper-case hexadecimal digit counts as its HexDigitValue.
QByteArray HexDecode(const QString& text);
QString ByteToHex(quint8 value);
// "0".."9" give 0..9, "A".."F" 10..15, ":".."@" 3..9, everything else 0.
int HexDigitValue(QChar c);
quint8 HexPairToByte(QChar high, QChar low);
