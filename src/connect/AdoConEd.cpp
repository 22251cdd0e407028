#include "AdoConEd.h"

#include "uDbConnection.h"
#include "uXdgPaths.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

TConnEditForm::TConnEditForm(QWidget* owner) : QDialog(owner)
{
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    HelpButton = new QPushButton(QStringLiteral("&Help"), this);
    SourceofConnection = new QGroupBox(QStringLiteral(" Source of Connection "), this);
    UseDataLinkFile = new QRadioButton(QStringLiteral("Use Data &Link File"), SourceofConnection);
    DataLinkFile = new QComboBox(SourceofConnection);
    Browse = new QPushButton(QStringLiteral("&Browse..."), SourceofConnection);
    UseConnectionString = new QRadioButton(QStringLiteral("Use &Connection String"), SourceofConnection);
    ConnectionString = new QLineEdit(SourceofConnection);
    Build = new QPushButton(QStringLiteral("B&uild..."), SourceofConnection);
}

QString TConnEditForm::ShowEditor(const QString& text)
{
    ConnectionString->setText(text);
    if (exec() != QDialog::Accepted)
        return text;
    return ConnectionString->text();
}

void TConnEditForm::SourceButtonClick() {}
void TConnEditForm::BrowseClick() {}
void TConnEditForm::BuildClick() {}
void TConnEditForm::HelpButtonClick() {}
void TConnEditForm::UpdateEnabling() {}
void TConnEditForm::FillDataLinkFiles() {}

QString DataLinkFolder()
{
    const QString home = platform::XdgDataHome();
    return home.isEmpty() ? QString() : QDir(home).filePath(QStringLiteral("Quillory/Data Links"));
}

QStringList DataLinkFileNames()
{
    return {};
}

bool RunConnectionEditor(TDbConnection* connection)
{
    TConnEditForm form(nullptr);
    const QString before = connection->ConnectionString();
    const QString after = form.ShowEditor(before);
    if (after == before)
        return false;
    connection->SetConnectionString(after);
    return true;
}
