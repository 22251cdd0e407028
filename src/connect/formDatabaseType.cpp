#include "formDatabaseType.h"

#include "AdoConEd.h"
#include "formDataLink.h"
#include "formODBCConnect.h"
#include "formSQLServerConnect.h"
#include "uDbConnection.h"
#include "uDialogs.h"
#include "uError.h"
#include "uErrorBox.h"
#include "uParameters.h"
#include "uWidgets.h"

#include <QFileInfo>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

TfrmDatabaseType::TfrmDatabaseType(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmDatabaseType"));
    setWindowTitle(QStringLiteral("Select Database Type"));
    // A tool window: small caption bar with a close box only.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    grpDatabaseType = Make<TRadioGroup>(this, "grpDatabaseType");
    QFont bold = grpDatabaseType->font();
    bold.setBold(true);
    bold.setPixelSize(16);
    grpDatabaseType->setFont(bold);
    grpDatabaseType->AddItems({QStringLiteral("Microsoft Access"), QStringLiteral("Microsoft SQL Server"),
                               QStringLiteral("ODBC Datasource"), QStringLiteral("Other (ADO)"),
                               QStringLiteral("SQLite Database")},
                              QStringLiteral("grpDatabaseTypeItem"));
    // A change of selection runs the choice, and so does a click on the item already
    // chosen: after a file that was no database it is the way to try another.
    connect(grpDatabaseType, &TRadioGroup::Changed, this, &TfrmDatabaseType::grpDatabaseTypeClick);
    for (int i = 0; i <= SQLiteDatabase; ++i) {
        QRadioButton* item = grpDatabaseType->Item(i);
        connect(item, &QRadioButton::pressed, this, [this, item] { m_pressedChosen = item->isChecked(); });
        connect(item, &QRadioButton::clicked, this, [this] {
            if (std::exchange(m_pressedChosen, false))
                grpDatabaseTypeClick();
        });
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grpDatabaseType);
    // Wide enough for the caption too, which a window manager would otherwise cut.
    setFixedSize(layout->sizeHint().expandedTo(QSize(std::max(219, CaptionFitWidth(windowTitle())), 106)));
}

int TfrmDatabaseType::ItemIndex() const
{
    return grpDatabaseType->ItemIndex();
}

QRadioButton* TfrmDatabaseType::ItemButton(int index) const
{
    return grpDatabaseType->Item(index);
}

void TfrmDatabaseType::grpDatabaseTypeClick()
{
    if (!Connection)
        return;
    try {
        Connection->Close();
        Connection->SetConnectionString(QString());
        switch (ItemIndex()) {
        case MicrosoftAccess:
            ConnectAccess();
            break;
        case MicrosoftSQLServer:
            ConnectSQLServer();
            break;
        case OdbcDatasource:
            ConnectODBC();
            break;
        case OtherAdo:
            ConnectOther();
            break;
        case SQLiteDatabase:
            ConnectSQLite();
            break;
        default:
            break;
        }
        if (Connection->Connected())
            accept();
    } catch (const EQuilloryError& e) {
        ShowException(e);
    }
}

void TfrmDatabaseType::ConnectAccess()
{
    const QString startFolder = ReadParameter(QLatin1String(kAccessDirectoryKey), QStringLiteral("."));
    QString filter = QStringLiteral("MS Access (*.MD*)");
    const QString file = dialogs::openFileName(QLatin1String(kAccessDialogTitle), startFolder,
                                               QLatin1String(kAccessFilter), &filter);
    if (file.isEmpty())
        return;
    const QFileInfo info(file);
    const QString path = QuoteConnectionValue(info.absoluteFilePath());
    Connection->SetConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
                                    QStringLiteral(";Persist Security Info=False"));
    try {
        OpenConnection(*Connection);
    } catch (const EQuilloryError&) {
        Connection->Close();
        Connection->SetConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=") +
                                        path + QStringLiteral(";Persist Security Info=False"));
        OpenConnection(*Connection);
    }
    if (Connection->Connected()) {
        QString folder = info.absolutePath();
        if (!folder.endsWith(u'/'))
            folder += u'/';
        WriteParameter(QLatin1String(kAccessDirectoryKey), folder);
    }
}

void TfrmDatabaseType::ConnectSQLServer()
{
    TfrmSQLServerConnect dialog(this);
    dialog.SetConnection(Connection);
    dialog.RunDialog();
}

void TfrmDatabaseType::ConnectODBC()
{
    QString name;
    {
        TfrmODBCConnect dialog(this);
        if (dialog.exec() == QDialog::Accepted)
            name = dialog.GetSelectedSource();
    }
    if (name.isEmpty())
        return;
    Connection->SetConnectionString(
        QStringLiteral("Provider=MSDASQL.1;Persist Security Info=False;Data Source=") +
        QuoteConnectionValue(name));
    try {
        OpenConnection(*Connection);
    } catch (const EQuilloryError& e) {
        ShowMessage(QStringLiteral("Failed to open ") + name + QStringLiteral(" : ") + e.message());
    }
}

void TfrmDatabaseType::ConnectOther()
{
    Connection->Close();
    Connection->SetConnectionString(QString());
    if (RunConnectionEditor(Connection))
        OpenConnection(*Connection);
}

void TfrmDatabaseType::ConnectSQLite()
{
    const QString startFolder = ReadParameter(QLatin1String(kSQLiteDirectoryKey), QStringLiteral("."));
    QString filter = QStringLiteral("SQLite Database (*.sqlite *.sqlite3 *.db *.db3)");
    const QString file = dialogs::openFileName(QLatin1String(kSQLiteDialogTitle), startFolder,
                                               QLatin1String(kSQLiteFilter), &filter);
    if (file.isEmpty())
        return;
    const QFileInfo info(file);
    Connection->SetConnectionString(QStringLiteral("Provider=SQLite;Data Source=") +
                                    QuoteConnectionValue(info.absoluteFilePath()));
    OpenConnection(*Connection);
    if (Connection->Connected()) {
        QString folder = info.absolutePath();
        if (!folder.endsWith(u'/'))
            folder += u'/';
        WriteParameter(QLatin1String(kSQLiteDirectoryKey), folder);
    }
}
