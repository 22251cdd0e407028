#include "formDataLink.h"

#include "uDbBackend.h"
#include "uDbConnection.h"
#include "uDbConnectionString.h"
#include "uDialogs.h"
#include "uError.h"
#include "uWidgets.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kCaption = QStringLiteral("Data Link Properties");

bool isOneOf(const QString& key, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

using dbproviders::SourceKind;
using dbproviders::sourceKind;

} // namespace

QString QuoteConnectionValue(const QString& value)
{
    const bool needsQuotes =
        value.contains(u';') || value != value.trimmed() || value.startsWith(u'"') || value.startsWith(u'\'');
    if (!needsQuotes)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

namespace {

// The items the dialog shows, by the keys that name them (the first is the one it writes).
enum Role
{
    RoleProvider,
    RoleDataSource,
    RoleDatabase,
    RoleUser,
    RolePassword,
    RoleCount,
    RoleNone = RoleCount
};

const std::initializer_list<const char*> kRoleKeys[RoleCount] = {{"Provider"},
                                                                 {"Data Source"},
                                                                 {"Initial Catalog", "Database"},
                                                                 {"User ID", "UID", "User"},
                                                                 {"Password", "PWD"}};

Role roleOf(const QString& key)
{
    for (int r = 0; r < RoleCount; ++r)
        if (isOneOf(key, kRoleKeys[r]))
            return Role(r);
    return RoleNone;
}

} // namespace

TDataLinkProperties TDataLinkProperties::FromConnectionString(const QString& text)
{
    TDataLinkProperties p;
    p.items = TDbConnectionString(text).Items();
    QString* fields[RoleCount] = {&p.provider, &p.dataSource, &p.database, &p.userName, &p.password};
    for (const auto& [key, value] : std::as_const(p.items)) {
        const Role role = roleOf(key);
        if (role != RoleNone)
            *fields[role] = value; // a later item wins, as for the data-access layer
    }
    return p;
}

QString TDataLinkProperties::ToConnectionString() const
{
    QList<QPair<QString, QString>> out = items;
    const QString values[RoleCount] = {provider.trimmed(), dataSource, database, userName, password};
    for (int r = 0; r < RoleCount; ++r) {
        // The last item of the role takes the value under its own key (a driver string keeps
        // "UID" or "Database"); earlier duplicates go; a new one is added at the end.
        qsizetype last = -1;
        for (qsizetype i = out.size() - 1; i >= 0; --i) {
            if (roleOf(out[i].first) != Role(r))
                continue;
            if (last < 0)
                last = i;
            else {
                out.removeAt(i);
                --last;
            }
        }
        if (values[r].isEmpty()) {
            if (last >= 0)
                out.removeAt(last);
        } else if (last >= 0) {
            out[last].second = values[r];
        } else {
            out.append({QLatin1String(*kRoleKeys[r].begin()), values[r]});
        }
    }
    QStringList parts;
    for (const auto& [key, value] : std::as_const(out))
        parts.append(key + u'=' + QuoteConnectionValue(value));
    return parts.join(u';');
}

TfrmDataLink::TfrmDataLink(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmDataLink"));
    setWindowTitle(kCaption);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    cboProvider = Make<QComboBox>(this, "cboProvider");
    cboProvider->setEditable(true);
    cboProvider->setInsertPolicy(QComboBox::NoInsert);
    cboProvider->addItems(Providers());
    cboProvider->setToolTip(
        QStringLiteral("The provider that serves the database; any provider name may be typed"));
    lblDataSource = Make<QLabel>(this, "lblDataSource", QStringLiteral("Data source:"));
    edDataSource = Make<QLineEdit>(this, "edDataSource");
    btnBrowseFile = Make<QPushButton>(this, "btnBrowseFile", QStringLiteral("..."));
    btnBrowseFile->setToolTip(QStringLiteral("Choose the database file"));
    btnBrowseFile->setFixedWidth(30);
    btnBrowseFile->setAutoDefault(false);
    edDatabase = Make<QLineEdit>(this, "edDatabase");
    edUserName = Make<QLineEdit>(this, "edUserName");
    edPassword = Make<QLineEdit>(this, "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    btnTest = Make<QPushButton>(this, "btnTest", QStringLiteral("&Test Connection"));
    btnTest->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(this);
    btnOk = Named(buttons->addButton(QDialogButtonBox::Ok), "btnOk");
    btnCancel = Named(buttons->addButton(QDialogButtonBox::Cancel), "btnCancel");
    btnHelp = Named(buttons->addButton(QDialogButtonBox::Help), "btnHelp");
    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, this, &TfrmDataLink::btnHelpClick);

    auto* sourceRow = new QHBoxLayout;
    sourceRow->setContentsMargins(0, 0, 0, 0);
    sourceRow->addWidget(edDataSource, 1);
    sourceRow->addWidget(btnBrowseFile);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Provider:"), cboProvider);
    form->addRow(lblDataSource, sourceRow);
    form->addRow(QStringLiteral("Initial &catalog:"), edDatabase);
    form->addRow(QStringLiteral("&User name:"), edUserName);
    form->addRow(QStringLiteral("Pass&word:"), edPassword);
    auto* testRow = new QHBoxLayout;
    testRow->addStretch();
    testRow->addWidget(btnTest);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(testRow);
    layout->addStretch();
    layout->addWidget(buttons);

    connect(cboProvider, &QComboBox::editTextChanged, this, &TfrmDataLink::cboProviderChange);
    connect(btnBrowseFile, &QPushButton::clicked, this, &TfrmDataLink::btnBrowseFileClick);
    connect(btnTest, &QPushButton::clicked, this, &TfrmDataLink::btnTestClick);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &TfrmDataLink::btnHelpClick);

    SetConnectionString(QString());
    resize(sizeHint().expandedTo(QSize(420, 0)));
}

QStringList TfrmDataLink::Providers()
{
    return dbproviders::builtInProviders();
}

void TfrmDataLink::SetConnectionString(const QString& text)
{
    const TDataLinkProperties p = TDataLinkProperties::FromConnectionString(text);
    cboProvider->setEditText(p.provider);
    if (p.provider.isEmpty() && text.trimmed().isEmpty())
        cboProvider->setCurrentIndex(0);
    edDataSource->setText(p.dataSource);
    edDatabase->setText(p.database);
    edUserName->setText(p.userName);
    edPassword->setText(p.password);
    m_items = p.items;
    cboProviderChange();
}

QString TfrmDataLink::ConnectionString() const
{
    TDataLinkProperties p;
    p.provider = cboProvider->currentText();
    p.dataSource = edDataSource->text();
    p.database = edDatabase->text();
    p.userName = edUserName->text();
    p.password = edPassword->text();
    p.items = m_items;
    return p.ToConnectionString();
}

bool TfrmDataLink::Execute(QString& text)
{
    if (!text.isEmpty())
        SetConnectionString(text);
    if (exec() != QDialog::Accepted)
        return false;
    text = ConnectionString();
    return true;
}

void TfrmDataLink::cboProviderChange()
{
    const SourceKind kind = sourceKind(cboProvider->currentText());
    switch (kind) {
    case SourceKind::File:
        lblDataSource->setText(QStringLiteral("Database &file:"));
        break;
    case SourceKind::Dsn:
        lblDataSource->setText(QStringLiteral("Data source &name:"));
        break;
    case SourceKind::Server:
        lblDataSource->setText(QStringLiteral("&Server:"));
        break;
    case SourceKind::Other:
        lblDataSource->setText(QStringLiteral("&Data source:"));
        break;
    }
    lblDataSource->setBuddy(edDataSource);
    btnBrowseFile->setEnabled(kind == SourceKind::File);
}

void TfrmDataLink::btnBrowseFileClick()
{
    const QString current = edDataSource->text();
    const QString file = dialogs::openFileName(
        QStringLiteral("Select Database File"),
        current.isEmpty() ? QString() : QFileInfo(current).absolutePath(),
        QStringLiteral("Database Files (*.mdb *.accdb *.db *.sqlite *.sqlite3);;All Files (*)"));
    if (!file.isEmpty())
        edDataSource->setText(QFileInfo(file).absoluteFilePath());
}

void TfrmDataLink::btnTestClick()
{
    TDbConnection connection;
    try {
        connection.SetConnectionString(ConnectionString());
        connection.Open();
        connection.Close();
        dialogs::showInfo(QStringLiteral("Test connection succeeded."), kCaption);
    } catch (const EQuilloryError& e) {
        dialogs::showInfo(QStringLiteral("Test connection failed:\n") + e.message(), kCaption);
    }
}

void TfrmDataLink::btnHelpClick()
{
    // The help window listens for these addresses.
    QDesktopServices::openUrl(QUrl(QStringLiteral("quillory-help:context/%1").arg(kHelpContext)));
}
