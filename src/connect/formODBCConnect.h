#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

// The names of the ODBC data sources the user can pick from: the entry names of the section
// "ODBC 32 bit Data Sources" of "ODBC.INI" (or "odbc.ini") in the unixODBC system folder,
// in file order, followed by the user and system DSNs that unixODBC reports. Each name
// once (compared ignoring case). Nothing here raises: what cannot be read adds no names.
namespace odbcsources {
inline constexpr const char* kSection = "ODBC 32 bit Data Sources";
// $ODBCSYSINI when set, else the folder of the system data sources that `odbcinst -j`
// reports, else "/etc".
QString SystemFolder();
// The ODBC.INI file in folder ("ODBC.INI" preferred to "odbc.ini"); empty when neither exists.
QString IniFile(const QString& folder);
// The entry names (text before "=", trimmed) of one section of an INI file, in file order;
// the section name compares ignoring case. Empty when the file or section is missing.
QStringList SectionEntryNames(const QString& iniFile, const QString& section);
// The DSNs unixODBC reports (SQLDataSources, user and system).
QStringList DriverManagerSources();
// All of the above.
QStringList DataSourceNames();
// The files unixODBC reads data sources from: the system odbc.ini and the user's, as
// `odbcinst -j` reports them (they follow $ODBCSYSINI and $ODBCINI).
QStringList SourceFiles();
} // namespace odbcsources

// "Existing ODBC Data Sources": a sorted list of data source names and Connect / Cancel.
// It connects nothing itself; the caller reads GetSelectedSource after Accepted.
class TfrmODBCConnect : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmODBCConnect(QWidget* owner);

    // The selected name, or the empty string when no item is selected.
    QString GetSelectedSource() const;

    // Published components (objectName = the member's name).
    QListWidget* lbxODBCSources;
    QPushButton* btnConnect;
    QPushButton* btnCancel;
    // Shown instead of silence when no data source was found: which files were read.
    QLabel* lblNoSources;

public slots:
    void FormCreate();
};
