#pragma once

#include "uWidgets.h"

#include <QDialog>
#include <QString>

#include <exception>

class QRadioButton;
class TDbConnection;

// "Select Database Type": the user picks what kind of database to connect to; the choice
// builds a connection string (alone or through the SQL Server, ODBC and connection-string
// dialogs) and opens Connection with it. The dialog closes by itself with Accepted as soon
// as a choice has left Connection open; any other close is Rejected.
//
// File paths and data source names go into the connection strings unchanged unless they
// need quotes to stay one value (QuoteConnectionValue: a ";" in a folder name, say).
//
// Errors of a choice are caught by the click dispatch and shown in the error box (ShowException); the
// dialog stays open with the item selected. Selecting the item that is already selected
// does nothing: to retry, the user selects another item and then the wanted one again.
class TfrmDatabaseType : public QDialog
{
    Q_OBJECT
public:
    // Items of grpDatabaseType, in their order.
    enum Item
    {
        MicrosoftAccess = 0,
        MicrosoftSQLServer = 1,
        OdbcDatasource = 2,
        OtherAdo = 3,
        SQLiteDatabase = 4
    };

    explicit TfrmDatabaseType(QWidget* owner);

    TDbConnection* Connection = nullptr; // not owned; set before exec()

    // The selected item, -1 while none is.
    int ItemIndex() const;
    QRadioButton* ItemButton(int index) const;

    // Published components (objectName = the member's name).
    TRadioGroup* grpDatabaseType;

    // The file dialog's texts, as the seam is asked.
    static constexpr const char* kAccessDialogTitle = "Select MS Access Database";
    static constexpr const char* kAccessFilter = "MS Access (*.MD*);;All Files (*.*)";
    static constexpr const char* kAccessDirectoryKey = "AccessDirectory";
    static constexpr const char* kSQLiteDialogTitle = "Select SQLite Database";
    static constexpr const char* kSQLiteFilter =
        "SQLite Database (*.sqlite *.sqlite3 *.db *.db3);;All Files (*.*)";
    static constexpr const char* kSQLiteDirectoryKey = "SQLiteDirectory";

public slots:
    void grpDatabaseTypeClick();

public:
    void ConnectAccess();
    void ConnectSQLServer();
    void ConnectODBC();
    void ConnectOther();
    // The folder of the last SQLite file that connected is remembered like Access's.
    void ConnectSQLite();

private:
    bool m_pressedChosen = false; // the item pressed was the one already chosen
};
