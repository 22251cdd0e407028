#pragma once

#include <QStringList>

#include <optional>

// The headless mode: --list, --run, --help, --version. Decided from the arguments before
// any widget code runs, so that it needs no display.
bool IsCommandLineRun(int argc, char** argv);

// Runs the command line; returns the exit status: 0 done, 1 a connection, query or write
// error, 2 a usage error or an unknown query name. Needs a QCoreApplication.
int RunCommandLine(const QStringList& arguments);

// A saved query's name as --list writes it and --run matches it: the folder path and the
// query name joined by "/", each "/" inside a name doubled.
QString EscapeMenuName(const QString& name);
