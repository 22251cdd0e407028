#include "formSQLServerConnect.h"

#include "uDbConnection.h"
#include "uDbQuery.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

void TDropDownComboBox::showPopup()
{
    emit DropDown();
    QComboBox::showPopup();
}

TfrmSQLServerConnect::TfrmSQLServerConnect(QWidget* owner) : QDialog(owner) {}
TfrmSQLServerConnect::~TfrmSQLServerConnect() = default;
void TfrmSQLServerConnect::SetServerName(const QString& value)
{
    m_serverName = value;
}
void TfrmSQLServerConnect::SetDatabaseName(const QString& value)
{
    m_databaseName = value;
}
void TfrmSQLServerConnect::SetUserName(const QString& value)
{
    m_userName = value;
}
void TfrmSQLServerConnect::SetPassword(const QString& value)
{
    m_password = value;
}
void TfrmSQLServerConnect::SetNTAccount(bool value)
{
    m_ntAccount = value;
}
bool TfrmSQLServerConnect::RunDialog()
{
    return exec() == QDialog::Accepted;
}
QString TfrmSQLServerConnect::WindowsAuthenticationString(const QString&, const QString&)
{
    return {};
}
QString TfrmSQLServerConnect::SqlLoginString(const QString&, const QString&, const QString&, const QString&)
{
    return {};
}
QRadioButton* TfrmSQLServerConnect::SecurityItem(int) const
{
    return nullptr;
}
void TfrmSQLServerConnect::cboServersListChange() {}
void TfrmSQLServerConnect::cboServersListDropDown() {}
void TfrmSQLServerConnect::cboDatabaseListChange() {}
void TfrmSQLServerConnect::cboDatabaseListDropDown() {}
void TfrmSQLServerConnect::txtPasswordChange() {}
void TfrmSQLServerConnect::txtUserNameChange() {}
void TfrmSQLServerConnect::edServersListChange() {}
void TfrmSQLServerConnect::grpSecurityClick() {}
void TfrmSQLServerConnect::btnOkClick() {}
void TfrmSQLServerConnect::btnCancelClick()
{
    reject();
}
void TfrmSQLServerConnect::btnTestClick() {}
bool TfrmSQLServerConnect::FormKeyDown(int)
{
    return false;
}
bool TfrmSQLServerConnect::eventFilter(QObject* watched, QEvent* event)
{
    return QDialog::eventFilter(watched, event);
}
void TfrmSQLServerConnect::CreateServerEnumerator() {}
void TfrmSQLServerConnect::ListServers(QComboBox*) {}
void TfrmSQLServerConnect::ListDatabases(QComboBox*) {}
void TfrmSQLServerConnect::BuildConnection() {}
void TfrmSQLServerConnect::LoadSettings() {}
void TfrmSQLServerConnect::SaveSettings() {}
