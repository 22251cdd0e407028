#pragma once

#include <QString>

// Opening a document with the desktop's default application, or starting a program,
// as the Windows shell did for the program. Results follow the shell's convention:
// above 32 is success, otherwise one of the error codes below.
namespace platform {

inline constexpr int kShellSuccess = 42;
inline constexpr int kShellFileNotFound = 2;
inline constexpr int kShellPathNotFound = 3;
inline constexpr int kShellBadExecutable = 11;
inline constexpr int kShellNoAssociation = 31;

// file: a document, folder, program or URL; a relative name is looked up in folder first,
// then in the current folder, and a bare program name on the PATH. A program is started
// with parameters split like a shell command line; a document, folder or URL goes to
// xdg-open, and parameters are ignored. folder, when given, is the working folder.
// Never waits for what it starts.
int ShellExecute(const QString& file, const QString& parameters, const QString& folder);

// The desktop entry (e.g. "org.gnome.TextEditor.desktop") that xdg-open would use for the
// file's type, looking at its parent types too (a CSV file opens in a text editor);
// empty when no application is registered or xdg-mime is missing.
QString DefaultApplicationFor(const QString& path);

} // namespace platform
