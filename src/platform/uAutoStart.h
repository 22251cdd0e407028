#pragma once

#include "uPlatformError.h"

#include <QString>

// Start at log-on through XDG autostart desktop entries. The "value" of the Windows
// program's Run key is the entry's Exec= line holding the executable's full path: for
// the current user $XDG_CONFIG_HOME/autostart/<name>.desktop, for all users the first of
// $XDG_CONFIG_DIRS + /autostart/<name>.desktop. Errors are EPlatformError.
namespace platform {

// The entry's file; empty when the folder cannot be known (no home folder).
QString AutoStartFile(bool forMe, const QString& valueName);

// The program that the entry starts, or empty text when the file is missing, has no
// Exec= line, or is switched off (Hidden=true, X-GNOME-Autostart-enabled=false).
// Raises EPlatformError when the file exists but cannot be read.
QString ReadAutoStart(const QString& file);

// Writes the entry (atomically) so that it starts executablePath. Raises
// EPlatformError "Failed to set data for '<valueName>'" when it cannot be written.
void WriteAutoStart(const QString& file, const QString& executablePath, const QString& valueName);

// Removes the entry; a missing file is not an error. Raises the same error as
// WriteAutoStart when an existing entry cannot be removed.
void DeleteAutoStart(const QString& file, const QString& valueName);

// Exec= quoting of the desktop entry rules: a program path with blanks or other
// reserved characters is quoted, '%' doubled, and the result escaped as a string value.
QString ExecLineFor(const QString& program);
// The program (first argument) of an Exec= value; the inverse of ExecLineFor.
QString ProgramOfExecLine(const QString& value);

} // namespace platform
