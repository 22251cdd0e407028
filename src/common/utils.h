#pragma once

#include "uError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <Qt>

// Small routines shared by several windows. All are free functions; the only state is
// the cursor stack. Failures are reported as EUtilsError carrying the message text.

class EUtilsError : public EQuilloryError
{
public:
    using EQuilloryError::EQuilloryError;
};

// Yes/No question through the dialog seam (text and caption cut to 255 characters); the
// screen cursor is the same afterwards as before. True for Yes.
bool AskYesNo(const QString& text, const QString& caption);
// Information box with OK through the dialog seam; text and caption cut to 255 characters.
void ShowInfo(const QString& text, const QString& caption);

// The screen cursor is the application's override cursor; none means each widget's own.
// Up to 50 saved cursors. PushCursor saves the current one and shows cursor, PopCursor
// shows the last saved one again. Overflow and underflow throw EUtilsError
// ("Overflow on cursor stack" / "Underflow on cursor stack") and leave the cursor alone.
// Without a QGuiApplication only the bookkeeping happens.
inline constexpr int kCursorStackSize = 50;
void PushCursor(Qt::CursorShape cursor);
void PopCursor();
int CursorStackCount();

// Opens "file", "file|parameters" or "file|parameters|folder" (see ShellExecuteFile).
// Returns the shell's result when it is above 32 (success) or below 0; on failure shows
// what went wrong with ShowInfo and returns 0.
int ShellOpen(const QString& command);
// Opens a document or starts a program; the result is above 32 on success, otherwise an
// error code (2 file not found, 3 path not found, 11 not runnable, 31 no application for
// the type). showCommand is kept for the callers' sake; windows open as the desktop decides.
inline constexpr int kShowNormal = 1;
int ShellExecuteFile(const QString& file, const QString& parameters, const QString& folder,
                     int showCommand = kShowNormal);
// The text ShellOpen shows for a failed result.
QString ShellErrorText(int result, const QString& command);
// The same failure in plain words for the line under it ("No application is set up to
// open .csv files."); empty when there is nothing to add.
QString ShellPlainCause(int result, const QString& file);

// The value of the last argument of the form name=value (name compared ignoring the case
// of ASCII letters), at most 1000 characters; empty when there is none. The first form
// reads this process's command line.
QString GetCommandLineValue(const QString& name);
QString GetCommandLineValue(const QString& name, const QStringList& arguments);
// The name the current user logged on with.
QString GetLoggedOnUserName();

QString StripAmpersands(const QString& text);
// Replaces every occurrence of find in text, searching again from the start after each
// replacement; an empty find puts replaceBy in front once. Throws EUtilsError("Avoid
// infinite fill"), leaving text as it was, when replaceBy contains find.
void ReplaceAll(QString& text, const QString& find, const QString& replaceBy);
// The last n characters; empty for n <= 0, the whole text when n reaches its length.
QString RightChars(const QString& text, qsizetype n);
// text without any blank (character 32); other white space stays.
QString RemoveSpaces(const QString& text);
// The lines of a text as a list of lines reads it: CR LF, LF or CR ends a line, and a
// break at the very end starts no further line (so "" gives no lines, "a\n" one).
QStringList TextLines(QStringView text);

// Text files of the Windows program were written in its ANSI code page, ours in UTF-8:
// valid UTF-8 sequences are read as UTF-8, every other byte as Windows-1252. A leading
// UTF-8 byte order mark is dropped.
QString DecodeUtf8OrWindows1252(const QByteArray& bytes);
// The same decoding appended to out, without the byte order mark rule; fast on long
// ASCII runs, which the favourites reader relies on.
void AppendUtf8OrWindows1252(QString& out, const char* data, qsizetype size);
// True when every byte is part of a valid UTF-8 sequence, as the decoder above takes it.
bool IsValidUtf8(const char* data, qsizetype size);
// Bytes that are Windows-1252 text through and through (older Access files keep theirs so).
QString DecodeWindows1252(const char* data, qsizetype size);
