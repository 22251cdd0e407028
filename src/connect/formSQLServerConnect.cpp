#include "formSQLServerConnect.h"

#include "UEncrypt.h"
#include "formDataLink.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uError.h"
#include "uParameters.h"
#include "utils.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedLayout>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

const QString kServerNameKey = QStringLiteral("ServerName");
const QString kDatabaseKey = QStringLiteral("DBname");
const QString kUserNameKey = QStringLiteral("UserName");
const QString kPasswordKey = QStringLiteral("Vicinity");
const QString kNTAccountKey = QStringLiteral("isNTAccount");

} // namespace

TfrmSQLServerConnect::TfrmSQLServerConnect(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmSQLServerConnect"));
    setWindowTitle(QStringLiteral("SQL Connect Dialog"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    Label1 = Make<QLabel>(this, "Label1", QStringLiteral("SQL server:"));
    cboServersList = Make<TDropDownComboBox>(this, "cboServersList");
    cboServersList->setEditable(true);
    cboServersList->setInsertPolicy(QComboBox::NoInsert);
    cboServersList->setToolTip(QStringLiteral("SQL Servers list"));
    cboServersList->setMinimumWidth(204);
    Label2 = Make<QLabel>(this, "Label2", QStringLiteral("Database:"));
    cboDatabaseList = Make<TDropDownComboBox>(this, "cboDatabaseList");
    cboDatabaseList->setEditable(true);
    cboDatabaseList->setInsertPolicy(QComboBox::NoInsert);
    cboDatabaseList->setToolTip(QStringLiteral("Selct database from list"));
    cboDatabaseList->setMinimumWidth(202);
    GroupBox1 = Make<QGroupBox>(this, "GroupBox1", QStringLiteral("Authorization:"));
    lblUserName = Make<QLabel>(GroupBox1, "lblUserName", QStringLiteral("User name:"));
    lblPWD = Make<QLabel>(GroupBox1, "lblPWD", QStringLiteral("Password:"));
    txtPassword = Make<QLineEdit>(GroupBox1, "txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    txtPassword->setMinimumWidth(194);
    txtUserName = Make<QLineEdit>(GroupBox1, "txtUserName");
    txtUserName->setMinimumWidth(194);
    btnOk = Make<QPushButton>(this, "btnOk", QStringLiteral("Ok"));
    btnCancel = Make<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"));
    barStatus = Make<QStatusBar>(this, "barStatus");
    barStatus->setSizeGripEnabled(false);
    m_statusPanel = Make<QLabel>(barStatus, "barStatusPanel0");
    barStatus->addWidget(m_statusPanel, 1);
    edServersList = Make<QLineEdit>(this, "edServersList");
    edServersList->setMinimumWidth(129);
    DBList = Make<TDbQuery>(this, "DBList");
    btnTest = Make<QPushButton>(this, "btnTest", QStringLiteral("Test"));
    btnTest->setToolTip(QStringLiteral("Test connection"));
    grpSecurity = Make<TRadioGroup>(GroupBox1, "grpSecurity");
    grpSecurity->AddItems({QStringLiteral("With Windows authentication using network ID"),
                           QStringLiteral("With SQL Server user ID and password")},
                          QStringLiteral("grpSecurityItem"));
    for (QPushButton* button : {btnOk, btnTest, btnCancel}) {
        button->setMinimumSize(70, 25);
        button->setAutoDefault(false);
    }

    // Server box (only one of the two is shown), authorization, database, buttons, status.
    auto* serverBox = new QStackedLayout;
    serverBox->setStackingMode(QStackedLayout::StackOne);
    auto* edRow = new QHBoxLayout;
    edRow->setContentsMargins(0, 0, 0, 0);
    auto* edHolder = new QWidget(this);
    edHolder->setLayout(edRow);
    edRow->addWidget(edServersList);
    edRow->addStretch();
    serverBox->addWidget(edHolder);
    serverBox->addWidget(cboServersList);
    auto* top = new QGridLayout;
    top->setHorizontalSpacing(8);
    top->addWidget(Label1, 0, 0);
    top->addLayout(serverBox, 0, 1);
    top->setColumnStretch(1, 1);

    auto* logins = new QGridLayout;
    logins->setHorizontalSpacing(8);
    logins->addWidget(lblUserName, 0, 0);
    logins->addWidget(txtUserName, 0, 1);
    logins->addWidget(lblPWD, 1, 0);
    logins->addWidget(txtPassword, 1, 1);
    logins->setColumnStretch(1, 1);
    auto* groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->setContentsMargins(8, 6, 8, 8);
    groupLayout->addWidget(grpSecurity);
    groupLayout->addLayout(logins);

    auto* database = new QGridLayout;
    database->setHorizontalSpacing(8);
    database->addWidget(Label2, 0, 0);
    database->addWidget(cboDatabaseList, 0, 1);
    database->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnTest);
    buttons->addWidget(btnCancel);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(8, 5, 12, 6);
    body->setSpacing(8);
    body->addLayout(top);
    body->addWidget(GroupBox1);
    body->addLayout(database);
    body->addSpacing(8);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body);
    layout->addWidget(barStatus);

    setTabOrder(edServersList, cboServersList);
    setTabOrder(cboServersList, grpSecurity->Item(0));
    setTabOrder(grpSecurity->Item(0), grpSecurity->Item(1));
    setTabOrder(grpSecurity->Item(1), txtUserName);
    setTabOrder(txtUserName, txtPassword);
    setTabOrder(txtPassword, cboDatabaseList);
    setTabOrder(cboDatabaseList, btnOk);
    setTabOrder(btnOk, btnTest);
    setTabOrder(btnTest, btnCancel);

    connect(edServersList, &QLineEdit::textChanged, this, &TfrmSQLServerConnect::edServersListChange);
    connect(cboServersList, &QComboBox::editTextChanged, this, &TfrmSQLServerConnect::cboServersListChange);
    connect(cboServersList, &TDropDownComboBox::DropDown, this,
            &TfrmSQLServerConnect::cboServersListDropDown);
    connect(cboDatabaseList, &QComboBox::editTextChanged, this, &TfrmSQLServerConnect::cboDatabaseListChange);
    connect(cboDatabaseList, &TDropDownComboBox::DropDown, this,
            &TfrmSQLServerConnect::cboDatabaseListDropDown);
    connect(txtUserName, &QLineEdit::textChanged, this, &TfrmSQLServerConnect::txtUserNameChange);
    connect(txtPassword, &QLineEdit::textChanged, this, &TfrmSQLServerConnect::txtPasswordChange);
    connect(grpSecurity, &TRadioGroup::Changed, this, &TfrmSQLServerConnect::grpSecurityClick);
    connect(btnOk, &QPushButton::clicked, this, &TfrmSQLServerConnect::btnOkClick);
    connect(btnTest, &QPushButton::clicked, this, &TfrmSQLServerConnect::btnTestClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmSQLServerConnect::btnCancelClick);

    SetNTAccount(true);

    CreateServerEnumerator();
    serverBox->setCurrentWidget(m_haveServerEnumerator ? static_cast<QWidget*>(cboServersList) : edHolder);
    edServersList->setVisible(!m_haveServerEnumerator);
    cboServersList->setVisible(m_haveServerEnumerator);

    // The form sees F5 and F9 before the control that has the focus.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    setFixedSize(sizeHint().expandedTo(QSize(328, 256)));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmSQLServerConnect::~TfrmSQLServerConnect() = default;

QString TfrmSQLServerConnect::WindowsAuthenticationString(const QString& database, const QString& server)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                          "Initial Catalog=") +
           QuoteConnectionValue(database) + QStringLiteral(";Data Source=") + QuoteConnectionValue(server);
}

QString TfrmSQLServerConnect::SqlLoginString(const QString& password, const QString& user,
                                             const QString& database, const QString& server)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Password=") + QuoteConnectionValue(password) +
           QStringLiteral(";Persist Security Info=True") + QStringLiteral(";User ID=") +
           QuoteConnectionValue(user) + QStringLiteral(";Initial Catalog=") + QuoteConnectionValue(database) +
           QStringLiteral(";Data Source=") + QuoteConnectionValue(server);
}

void TfrmSQLServerConnect::SetServerName(const QString& value)
{
    m_serverName = value;
    edServersList->setText(value);
    cboServersList->setEditText(value);
}

void TfrmSQLServerConnect::SetDatabaseName(const QString& value)
{
    cboDatabaseList->setEditText(value);
}

void TfrmSQLServerConnect::SetUserName(const QString& value)
{
    m_userName = value;
    txtUserName->setText(value);
}

void TfrmSQLServerConnect::SetPassword(const QString& value)
{
    m_password = value;
    txtPassword->setText(value);
}

void TfrmSQLServerConnect::SetNTAccount(bool value)
{
    grpSecurity->SetItemIndex(value ? 0 : 1);
    m_ntAccount = value;
    grpSecurityClick();
}

QRadioButton* TfrmSQLServerConnect::SecurityItem(int index) const
{
    return grpSecurity->Item(index);
}

bool TfrmSQLServerConnect::RunDialog()
{
    LoadSettings();
    return exec() == QDialog::Accepted;
}

void TfrmSQLServerConnect::CreateServerEnumerator()
{
    // No facility lists the SQL Servers of the network here: the name is typed.
    m_haveServerEnumerator = false;
}

void TfrmSQLServerConnect::ListServers(QComboBox* list)
{
    if (!m_haveServerEnumerator)
        return;
    list->clear();
}

void TfrmSQLServerConnect::ListDatabases(QComboBox* list)
{
    if (!m_connection)
        return;
    if (!m_connection->Connected())
        BuildConnection();
    if (!m_connection->Connected())
        return;
    try {
        const TBusyCursor busy;
        DBList->Close();
        DBList->SetSQL({QStringLiteral("exec sp_databases")});
        DBList->SetConnection(m_connection);
        DBList->Open();
        QStringList names;
        for (DBList->First(); !DBList->Eof(); DBList->Next())
            names.append(DBList->AsString(0));
        list->clear();
        list->addItems(names);
        list->setCurrentIndex(-1);
        list->clearEditText();
    } catch (const EQuilloryError& e) {
        ShowMessage(QStringLiteral("Couldn't get database list\n") + e.message());
    }
}

void TfrmSQLServerConnect::BuildConnection()
{
    if (m_serverName.trimmed().isEmpty())
        LoadSettings();
    m_connectionString = m_ntAccount ? WindowsAuthenticationString(m_databaseName, m_serverName)
                                     : SqlLoginString(m_password, m_userName, m_databaseName, m_serverName);
    if (!m_connection)
        return;
    try {
        m_connection->Close();
        m_connection->SetLoginPrompt(false);
        m_connection->SetConnectionString(m_connectionString);
        m_connection->Open();
    } catch (const EQuilloryError& e) {
        ShowMessage(QStringLiteral("Wrong connection parameters\n") + e.message());
    }
}

void TfrmSQLServerConnect::LoadSettings()
{
    m_serverName = ReadParameter(kServerNameKey, QString());
    m_databaseName = ReadParameter(kDatabaseKey, QString());
    m_userName = ReadParameter(kUserNameKey, QString());
    m_password = DecryptPassword(ReadParameter(kPasswordKey, QString()));
    m_ntAccount = ReadParameter(kNTAccountKey, QStringLiteral("-1")) == QLatin1String("-1");
    // Copies: each property write below also updates the fields through the change handlers.
    const QString server = m_serverName;
    const QString database = m_databaseName;
    const QString user = m_userName;
    const QString password = m_password;
    SetNTAccount(m_ntAccount);
    SetUserName(user);
    SetServerName(server);
    SetPassword(password);
    SetDatabaseName(database);
}

void TfrmSQLServerConnect::SaveSettings()
{
    WriteParameter(kNTAccountKey, m_ntAccount ? QStringLiteral("-1") : QStringLiteral("0"));
    WriteParameter(kServerNameKey, m_serverName);
    WriteParameter(kDatabaseKey, m_databaseName);
    WriteParameter(kUserNameKey, m_userName);
    WriteParameter(kPasswordKey, EncryptPassword(m_password));
}

void TfrmSQLServerConnect::cboServersListChange()
{
    m_serverName = cboServersList->currentText();
}

void TfrmSQLServerConnect::edServersListChange()
{
    m_serverName = edServersList->text();
}

void TfrmSQLServerConnect::cboDatabaseListChange()
{
    m_databaseName = cboDatabaseList->currentText();
}

void TfrmSQLServerConnect::txtUserNameChange()
{
    m_userName = txtUserName->text();
}

void TfrmSQLServerConnect::txtPasswordChange()
{
    m_password = txtPassword->text();
}

void TfrmSQLServerConnect::cboServersListDropDown()
{
    if (cboServersList->count() > 0)
        return;
    m_statusPanel->setText(QStringLiteral("Get available SQL servers list..."));
    barStatus->repaint();
    ListServers(cboServersList);
    m_statusPanel->clear();
    barStatus->repaint();
    cboDatabaseList->clearEditText();
    m_databaseName.clear();
}

void TfrmSQLServerConnect::cboDatabaseListDropDown()
{
    ListDatabases(cboDatabaseList);
}

bool TfrmSQLServerConnect::FormKeyDown(int key)
{
    if (key != Qt::Key_F5 && key != Qt::Key_F9)
        return false;
    cboServersListDropDown();
    ListDatabases(cboDatabaseList);
    return true;
}

bool TfrmSQLServerConnect::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F5 || key->key() == Qt::Key_F9) {
            FormKeyDown(key->key());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSQLServerConnect::grpSecurityClick()
{
    m_ntAccount = grpSecurity->ItemIndex() == 0;
    for (QWidget* w : std::initializer_list<QWidget*>{txtUserName, txtPassword, lblUserName, lblPWD})
        w->setEnabled(!m_ntAccount);
}

void TfrmSQLServerConnect::btnOkClick()
{
    if (cboDatabaseList->currentText().isEmpty()) {
        ShowMessage(QStringLiteral("No database selected"));
        return;
    }
    BuildConnection();
    if (m_connection && m_connection->Connected()) {
        SaveSettings();
        accept();
    }
}

void TfrmSQLServerConnect::btnTestClick()
{
    BuildConnection();
    if (m_connection && m_connection->Connected())
        ShowInfo(QStringLiteral("Test successfully completed!"), QStringLiteral("Information"));
}

void TfrmSQLServerConnect::btnCancelClick()
{
    reject();
}
