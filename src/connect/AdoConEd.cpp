#include "AdoConEd.h"

#include "formDataLink.h"
#include "formDatabaseType.h"
#include "uDbConnection.h"
#include "uDialogs.h"
#include "uError.h"
#include "uErrorBox.h"
#include "uWidgets.h"
#include "uXdgPaths.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

namespace {

bool hasFolderPart(const QString& path)
{
    return path.contains(u'/');
}

} // namespace

QString DataLinkFolder()
{
    const QString home = platform::XdgDataHome();
    return home.isEmpty() ? QString() : home + QStringLiteral("/Quillory/Data Links");
}

QStringList DataLinkFileNames()
{
    const QString folder = DataLinkFolder();
    if (folder.isEmpty())
        return {};
    QStringList names = QDir(folder).entryList({QStringLiteral("*.udl")}, QDir::Files | QDir::Hidden);
    names.sort(Qt::CaseInsensitive);
    return names;
}

TConnEditForm::TConnEditForm(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("ConnEditForm"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setProperty("HelpContext", kHelpContext);

    OkButton = Make<QPushButton>(this, "OkButton", QStringLiteral("OK"));
    OkButton->setDefault(true);
    CancelButton = Make<QPushButton>(this, "CancelButton", QStringLiteral("Cancel"));
    HelpButton = Make<QPushButton>(this, "HelpButton", QStringLiteral("&Help"));
    SourceofConnection =
        Make<QGroupBox>(this, "SourceofConnection", QStringLiteral(" Source of Connection "));
    UseDataLinkFile =
        Make<QRadioButton>(SourceofConnection, "UseDataLinkFile", QStringLiteral("Use Data &Link File"));
    DataLinkFile = Make<QComboBox>(SourceofConnection, "DataLinkFile");
    DataLinkFile->setEditable(true);
    DataLinkFile->setInsertPolicy(QComboBox::NoInsert);
    DataLinkFile->setMinimumWidth(332);
    Browse = Make<QPushButton>(SourceofConnection, "Browse", QStringLiteral("&Browse..."));
    UseConnectionString = Make<QRadioButton>(SourceofConnection, "UseConnectionString",
                                             QStringLiteral("Use &Connection String"));
    ConnectionString = Make<QLineEdit>(SourceofConnection, "ConnectionString");
    ConnectionString->setMinimumWidth(332);
    Build = Make<QPushButton>(SourceofConnection, "Build", QStringLiteral("B&uild..."));
    for (QPushButton* button : {OkButton, CancelButton, HelpButton, Browse, Build})
        button->setMinimumSize(75, 25);
    for (QPushButton* button : {CancelButton, HelpButton, Browse, Build})
        button->setAutoDefault(false);

    // Each radio button over its input, indented, with the input's button beside it.
    auto* group = new QGridLayout(SourceofConnection);
    group->setContentsMargins(10, 8, 14, 12);
    group->setHorizontalSpacing(10);
    group->setColumnMinimumWidth(0, 8);
    group->addWidget(UseDataLinkFile, 0, 0, 1, 2);
    group->addWidget(DataLinkFile, 1, 1);
    group->addWidget(Browse, 1, 2);
    group->addWidget(UseConnectionString, 2, 0, 1, 2);
    group->addWidget(ConnectionString, 3, 1);
    group->addWidget(Build, 3, 2);
    group->setColumnStretch(1, 1);
    group->setRowMinimumHeight(2, 28);
    group->setAlignment(UseConnectionString, Qt::AlignBottom);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    buttons->addWidget(HelpButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 4, 6, 8);
    layout->setSpacing(11);
    layout->addWidget(SourceofConnection);
    layout->addLayout(buttons);

    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpButton, &QPushButton::clicked, this, &TConnEditForm::HelpButtonClick);
    connect(UseDataLinkFile, &QRadioButton::clicked, this, &TConnEditForm::SourceButtonClick);
    connect(UseConnectionString, &QRadioButton::clicked, this, &TConnEditForm::SourceButtonClick);
    connect(Browse, &QPushButton::clicked, this, &TConnEditForm::BrowseClick);
    connect(Build, &QPushButton::clicked, this, &TConnEditForm::BuildClick);

    FillDataLinkFiles();
    UseConnectionString->setChecked(true);
    UpdateEnabling();

    resize(sizeHint().expandedTo(QSize(472, 185)));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TConnEditForm::FillDataLinkFiles()
{
    DataLinkFile->clear();
    DataLinkFile->addItems(DataLinkFileNames());
    DataLinkFile->setCurrentIndex(-1);
    DataLinkFile->clearEditText();
}

QString TConnEditForm::ShowEditor(const QString& text)
{
    ConnectionString->setText(text);
    UseConnectionString->setChecked(true);
    UpdateEnabling();
    if (exec() != QDialog::Accepted)
        return text;
    if (UseConnectionString->isChecked())
        return ConnectionString->text();
    const QString file = DataLinkFile->currentText();
    if (file.isEmpty())
        return QString();
    const QString path = hasFolderPart(file) ? file : DataLinkFolder() + u'/' + file;
    return QStringLiteral("FILE NAME=") + QuoteConnectionValue(path);
}

void TConnEditForm::SourceButtonClick()
{
    UpdateEnabling();
}

void TConnEditForm::UpdateEnabling()
{
    const bool useFile = UseDataLinkFile->isChecked();
    const bool useString = UseConnectionString->isChecked();
    DataLinkFile->setEnabled(useFile);
    Browse->setEnabled(useFile);
    ConnectionString->setEnabled(useString);
    Build->setEnabled(useString);
    // The enabled input has the window colour, the disabled one the button face.
    for (QWidget* input : std::initializer_list<QWidget*>{DataLinkFile, ConnectionString}) {
        QPalette palette = input->palette();
        palette.setColor(QPalette::Disabled, QPalette::Base,
                         palette.color(QPalette::Active, QPalette::Button));
        input->setPalette(palette);
    }
    if (useFile)
        DataLinkFile->setFocus();
    else if (useString)
        ConnectionString->setFocus();
}

void TConnEditForm::BrowseClick()
{
    try {
        const QString current = DataLinkFile->currentText();
        QString start = DataLinkFolder();
        if (hasFolderPart(current))
            start = QFileInfo(current).absolutePath();
        const QString file = dialogs::openFileName(QStringLiteral("Select Data Link File"), start,
                                                   QStringLiteral("Data Link Files (*.udl);;All Files (*)"));
        if (!file.isEmpty())
            DataLinkFile->setEditText(QFileInfo(file).absoluteFilePath());
    } catch (const EQuilloryError& e) {
        ShowException(e);
    }
}

void TConnEditForm::BuildClick()
{
    try {
        TfrmDataLink dataLink(this);
        QString text = ConnectionString->text();
        if (dataLink.Execute(text))
            ConnectionString->setText(text);
    } catch (const EQuilloryError& e) {
        ShowException(e);
    }
}

void TConnEditForm::HelpButtonClick()
{
    // The help window listens for these addresses.
    QDesktopServices::openUrl(QUrl(QStringLiteral("quillory-help:context/%1").arg(kHelpContext)));
}

bool RunConnectionEditor(TDbConnection* connection)
{
    TConnEditForm form(QApplication::activeWindow());
    form.setWindowTitle(QLatin1String(TConnEditForm::kCaption));
    const QString before = connection->ConnectionString();
    const QString after = form.ShowEditor(before);
    if (after == before)
        return false;
    connection->SetConnectionString(after);
    return true;
}
