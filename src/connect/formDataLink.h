#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// A value ready to stand in a connection string: unchanged unless it holds ";", starts
// with a quote, or starts or ends with a blank; then it is put in double quotes with inner ones doubled,
// the form the data-access layer reads back as the same value. Without this, a file or
// password holding ";" would be cut there and the rest read as further items.
QString QuoteConnectionValue(const QString& value);

// What the "Data Link Properties" dialog edits: the provider, its data source (server,
// file or data source name), database, user and password, plus every other item of the
// string it started from, kept as it was so that building never loses a setting.
struct TDataLinkProperties
{
    QString provider;
    QString dataSource;
    QString database;
    QString userName;
    QString password;
    QList<QPair<QString, QString>> otherItems;

    // Reads the items the dialog shows ("Provider", "Data Source", "Initial Catalog" or
    // "Database", "User ID" / "UID" / "User", "Password" / "PWD"); the rest go to otherItems.
    static TDataLinkProperties FromConnectionString(const QString& text);
    // "Provider=...;Data Source=...;Initial Catalog=...;User ID=...;Password=..." and then
    // the other items; empty values are left out; values through QuoteConnectionValue.
    QString ToConnectionString() const;
};

// Our "Data Link Properties" dialog: from an initial connection string, an interactive
// way to produce a complete provider connection string, password included. Test opens a
// connection with the composed string and says whether it worked.
class TfrmDataLink : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmDataLink(QWidget* owner);

    // The provider names of the data-access layer's provider table, offered in the list.
    static QStringList Providers();

    void SetConnectionString(const QString& text);
    QString ConnectionString() const;
    // Shows the dialog for text; on OK text becomes the composed string and true is
    // returned; on Cancel text stays.
    bool Execute(QString& text);

    // Published components (objectName = the member's name).
    QComboBox* cboProvider;
    QLabel* lblDataSource;
    QLineEdit* edDataSource;
    QPushButton* btnBrowseFile;
    QLineEdit* edDatabase;
    QLineEdit* edUserName;
    QLineEdit* edPassword;
    QPushButton* btnTest;
    QPushButton* btnOk;
    QPushButton* btnCancel;

public slots:
    void cboProviderChange();
    void btnBrowseFileClick();
    void btnTestClick();

private:
    QList<QPair<QString, QString>> m_otherItems;
};
