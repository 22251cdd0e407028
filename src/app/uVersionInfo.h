#pragma once

#include <QMap>
#include <QString>

#include <optional>

// The program's version values (product name, version, copyright, comments ...), compiled
// in from the build instead of read from a version resource.

// Whether version values are present at all.
bool VersionInfoLoaded();
// The value of Key ("ProductName", "FileVersion", "LegalCopyright", "Comments",
// "CompanyName", "FileDescription", "InternalName", "OriginalFilename", "ProductVersion");
// empty text for any other key or when no values are loaded.
QString GetVersionString(const QString& Key);

// Tests replace the values; an empty map stands for a program without version data and
// std::nullopt restores the compiled-in values.
void SetVersionInfoForTests(std::optional<QMap<QString, QString>> values);
