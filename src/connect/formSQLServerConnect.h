#pragma once

#include "uWidgets.h"

#include <QDialog>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class TDbConnection;
class TDbQuery;

// "SQL Connect Dialog": server, authentication and database for the SQL Server provider.
// It composes the connection string (BuildConnection), opens Connection with it and, on
// OK, remembers its five settings in the parameter file ("ServerName", "DBname",
// "UserName", "Vicinity" = the scrambled password, "isNTAccount").
//
// Connection errors are shown in message boxes ("Wrong connection parameters" ...); the
// dialog stays open. There is no server enumeration on this platform, so the server name
// is typed into edServersList; cboServersList stays hidden.
class TfrmSQLServerConnect : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmSQLServerConnect(QWidget* owner);
    ~TfrmSQLServerConnect() override;

    // Not owned; set before RunDialog.
    TDbConnection* Connection() const { return m_connection; }
    void SetConnection(TDbConnection* connection) { m_connection = connection; }
    QString ServerName() const { return m_serverName; }
    void SetServerName(const QString& value);
    QString DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString& value);
    QString UserName() const { return m_userName; }
    void SetUserName(const QString& value);
    QString Password() const { return m_password; }
    void SetPassword(const QString& value);
    bool NTAccount() const { return m_ntAccount; }
    void SetNTAccount(bool value);
    // The last string composed by BuildConnection.
    QString ConnectionString() const { return m_connectionString; }

    // LoadSettings, then modal; true when closed with OK (Connection is open then).
    bool RunDialog();

    // The two strings BuildConnection composes. Values go in unchanged unless they need
    // quotes to stay one value (QuoteConnectionValue: a ";" in a password, say).
    static QString WindowsAuthenticationString(const QString& database, const QString& server);
    static QString SqlLoginString(const QString& password, const QString& user, const QString& database,
                                  const QString& server);

    // Published components (objectName = the member's name).
    QLabel* Label1;
    TDropDownComboBox* cboServersList;
    QLabel* Label2;
    TDropDownComboBox* cboDatabaseList;
    QGroupBox* GroupBox1;
    QLabel* lblUserName;
    QLabel* lblPWD;
    QLineEdit* txtPassword;
    QLineEdit* txtUserName;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QStatusBar* barStatus;
    QLineEdit* edServersList;
    TDbQuery* DBList;
    QPushButton* btnTest;
    TRadioGroup* grpSecurity;

    QRadioButton* SecurityItem(int index) const;

public slots:
    void cboServersListChange();
    void cboServersListDropDown();
    void cboDatabaseListChange();
    void cboDatabaseListDropDown();
    void txtPasswordChange();
    void txtUserNameChange();
    void edServersListChange();
    void grpSecurityClick();
    void btnOkClick();
    void btnCancelClick();
    void btnTestClick();
    // F5 / F9: server list (when still empty), then the database list. True when handled.
    bool FormKeyDown(int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateServerEnumerator();
    void ListServers(QComboBox* list);
    void ListDatabases(QComboBox* list);
    void BuildConnection();
    void LoadSettings();
    void SaveSettings();

    TDbConnection* m_connection = nullptr;
    QString m_serverName;
    QString m_databaseName;
    QString m_userName;
    QString m_password;
    bool m_ntAccount = true;
    QString m_connectionString;
    // Whether a server enumeration facility exists; none on this platform.
    bool m_haveServerEnumerator = false;
    QLabel* m_statusPanel;
};
