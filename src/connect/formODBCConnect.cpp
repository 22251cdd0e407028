#include "formODBCConnect.h"

#include "uDbOdbcLibrary.h"
#include "uWidgets.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace odbcsources {

QString SystemFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("ODBCSYSINI");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // The driver manager knows the folder it was built with; ask it.
    QProcess odbcinst;
    odbcinst.start(QStringLiteral("odbcinst"), {QStringLiteral("-j")}, QIODevice::ReadOnly);
    if (odbcinst.waitForFinished(5000) && odbcinst.exitStatus() == QProcess::NormalExit) {
        const QStringList lines = QString::fromLocal8Bit(odbcinst.readAllStandardOutput()).split(u'\n');
        for (const QString& line : lines) {
            if (!line.startsWith(QLatin1String("SYSTEM DATA SOURCES")))
                continue;
            const qsizetype colon = line.indexOf(u':');
            if (colon < 0)
                break;
            const QString file = line.mid(colon + 1).trimmed();
            if (!file.isEmpty())
                return QFileInfo(file).path();
        }
    } else {
        odbcinst.kill();
        odbcinst.waitForFinished(1000);
    }
    return QStringLiteral("/etc");
}

QString IniFile(const QString& folder)
{
    for (const char* name : {"ODBC.INI", "odbc.ini"}) {
        const QString path = QDir(folder).filePath(QLatin1String(name));
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QStringList SectionEntryNames(const QString& iniFile, const QString& section)
{
    QStringList names;
    QFile file(iniFile);
    if (iniFile.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return names;
    bool inSection = false;
    while (!file.atEnd()) {
        const QString line = QString::fromLocal8Bit(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        const QString name = (equals < 0 ? line : line.left(equals)).trimmed();
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

QStringList DriverManagerSources()
{
    QStringList names;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return names;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLCHAR name[SQL_MAX_DSN_LENGTH * 4 + 1];
    SQLCHAR description[1024];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSources(env, direction, name, sizeof name, &nameLength, description,
                                        sizeof description, &descriptionLength))) {
        names.append(QString::fromLocal8Bit(reinterpret_cast<const char*>(name)));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return names;
}

QStringList DataSourceNames()
{
    QStringList names;
    const auto add = [&names](const QString& name) {
        // The driver manager reads the same file and would report the section itself.
        if (name.compare(QLatin1String(kSection), Qt::CaseInsensitive) == 0)
            return;
        for (const QString& known : std::as_const(names))
            if (known.compare(name, Qt::CaseInsensitive) == 0)
                return;
        names.append(name);
    };
    for (const QString& name : SectionEntryNames(IniFile(SystemFolder()), QLatin1String(kSection)))
        add(name);
    for (const QString& name : DriverManagerSources())
        add(name);
    return names;
}

QStringList SourceFiles()
{
    QString system;
    QString user;
    QProcess odbcinst;
    odbcinst.start(QStringLiteral("odbcinst"), {QStringLiteral("-j")}, QIODevice::ReadOnly);
    if (odbcinst.waitForFinished(5000) && odbcinst.exitStatus() == QProcess::NormalExit) {
        const QStringList lines = QString::fromLocal8Bit(odbcinst.readAllStandardOutput()).split(u'\n');
        for (const QString& line : lines) {
            const qsizetype colon = line.indexOf(u':');
            if (line.startsWith(QLatin1String("SYSTEM DATA SOURCES")))
                system = line.mid(colon + 1).trimmed();
            else if (line.startsWith(QLatin1String("USER DATA SOURCES")))
                user = line.mid(colon + 1).trimmed();
        }
    } else {
        odbcinst.kill();
        odbcinst.waitForFinished(1000);
    }
    if (system.isEmpty())
        system = QDir(SystemFolder()).filePath(QStringLiteral("odbc.ini"));
    if (user.isEmpty()) {
        user = qEnvironmentVariable("ODBCINI");
        if (user.isEmpty())
            user = QDir::home().filePath(QStringLiteral(".odbc.ini"));
    }
    QStringList files{system, user};
    // The Windows-style ODBC.INI beside the system file is read as well.
    const QString legacy = IniFile(SystemFolder());
    if (!legacy.isEmpty() && QFileInfo(legacy) != QFileInfo(system))
        files.prepend(legacy);
    return files;
}

} // namespace odbcsources

namespace {

// Sorted without regard to letter case, whatever order the names come in.
class SourceItem : public QListWidgetItem
{
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override
    {
        const int c = text().compare(other.text(), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : text() < other.text();
    }
};

} // namespace

TfrmODBCConnect::TfrmODBCConnect(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmODBCConnect"));
    setWindowTitle(QStringLiteral("Existing ODBC Data Sources"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));

    lbxODBCSources = Make<QListWidget>(this, "lbxODBCSources");
    lbxODBCSources->setSortingEnabled(true);
    lbxODBCSources->setSelectionMode(QAbstractItemView::SingleSelection);

    btnConnect = Make<QPushButton>(this, "btnConnect", QStringLiteral("Connect"));
    btnCancel = Make<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"));
    for (QPushButton* button : {btnConnect, btnCancel}) {
        button->setAutoDefault(false);
        button->setMinimumSize(75, 25);
    }
    connect(btnConnect, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnConnect);
    buttons->addWidget(btnCancel);
    lblNoSources = Make<QLabel>(this, "lblNoSources");
    lblNoSources->setWordWrap(true);
    lblNoSources->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblNoSources->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 16, 8);
    layout->setSpacing(11);
    layout->addWidget(lbxODBCSources, 1);
    layout->addWidget(lblNoSources);
    layout->addLayout(buttons);
    resize(sizeHint().expandedTo(QSize(307, 293)));

    FormCreate();
}

void TfrmODBCConnect::FormCreate()
{
    lbxODBCSources->clear();
    for (const QString& name : odbcsources::DataSourceNames())
        lbxODBCSources->addItem(new SourceItem(name));
    lbxODBCSources->setCurrentItem(nullptr);
    lbxODBCSources->clearSelection();
    // An empty list alone would leave the user guessing where sources are declared.
    if (lbxODBCSources->count() == 0) {
        lblNoSources->setText(QStringLiteral("No ODBC data sources were found. These files were read:\n") +
                              odbcsources::SourceFiles().join(u'\n'));
        lblNoSources->show();
    } else {
        lblNoSources->hide();
    }
}

QString TfrmODBCConnect::GetSelectedSource() const
{
    const QList<QListWidgetItem*> selected = lbxODBCSources->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}
