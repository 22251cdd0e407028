#pragma once

#include "uTokenList.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Per-user settings kept from one run to the next: named texts in a file of name=value
// lines (CR LF), one file per user plus an optional read-only default-user file beside
// the executable. A read looks in the user's file, then the default-user file, then
// takes the caller's default. Writes stay in memory until the end of the run.
//
// File names, for an executable /opt/q/Quillory (B = the path without extension):
//   default-user file  B + "_DefaultUser.INI"
//   user's file        "<config>/Vexlorin/" + F, F = file name of B + "_" + U + ".INI",
//                      U = "_user=" on the command line or the logon name, blanks and
//                      slashes removed; <config> is $XDG_CONFIG_HOME (default ~/.config).
//                      The file stays at B + "_" + U + ".INI" when the executable's
//                      folder is on a network filesystem or the config folder is unusable.
class TParameters
{
public:
    // Whether a folder lies on a fixed (local) disk; production passes platform::IsFixedDrive.
    using DriveIsFixed = std::function<bool(const QString& folder)>;

    // An in-memory set with no files: reads give defaults, writes are never saved.
    TParameters();
    // Loads the files for the user named by arguments (without the program) or logonName.
    // configHome stands for the application-data folder; empty means there is none.
    // An unreadable file gives an empty list; nothing here throws.
    TParameters(const QString& executablePath, const QStringList& arguments, const QString& configHome,
                DriveIsFixed driveIsFixed, const QString& logonName);

    QString ReadParameter(const QString& name, const QString& defaultValue) const;
    // A non-empty value replaces the first line of that name in place or is appended; an
    // empty value removes the line. Seen by later reads at once, saved by Save(). Any
    // value reads back exactly, line breaks included (they are escaped in the file).
    void WriteParameter(const QString& name, const QString& value);

    QString ParameterFileName(const QString& userName) const;
    void LoadUserParameters(const QString& userName);

    // Writes the user's file if a setting was written, sorted ignoring case, atomically
    // and readable by its owner only. Keeps an existing file that could not be read at
    // start. False when the file could not be written (the run's settings are lost).
    bool Save();

    QString UserParameterFileName() const { return m_userParameterFileName; }
    QString DefaultUserFileName() const { return m_defaultUserFileName; }
    bool ParametersChanged() const { return m_parametersChanged; }
    const QStringList& UserParameters() const { return m_userParameters; }
    const QStringList& DefaultUserParameters() const { return m_defaultUserParameters; }

private:
    QString m_base; // the executable's path without extension
    QString m_configHome;
    DriveIsFixed m_driveIsFixed;
    QString m_userParameterFileName;
    QString m_defaultUserFileName;
    TTokenList m_userParameters;
    TTokenList m_defaultUserParameters;
    bool m_parametersChanged = false;
    bool m_userFileUnreadable = false;
};

// The program-wide set. Until InitParameters runs it is an in-memory set with no files,
// so code under test can read and write parameters without touching the disk.

// Called by the program body at start, before the application object runs: loads the
// files of this process (its executable, command line, $XDG_CONFIG_HOME, logon name).
void InitParameters();
// Installs a set made elsewhere (tests); nullptr installs an empty in-memory set.
void InitParameters(std::unique_ptr<TParameters> parameters);
// Called by the program body once at an orderly end: writes the user's file if needed.
bool SaveParameters();
TParameters& Parameters();

QString ReadParameter(const QString& name, const QString& defaultValue = QString());
void WriteParameter(const QString& name, const QString& value);
