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
// file or data source name), database, user and password, within the items of the string
// it started from, so that building never loses a setting.
struct TDataLinkProperties
{
    QString provider;
    QString dataSource;
    QString database;
    QString userName;
    QString password;
    // Every item of the string read, in order.
    QList<QPair<QString, QString>> items;

    // Reads the items the dialog shows: "Provider", "Data Source", "Initial Catalog" or
    // "Database", "User ID" / "UID" / "User", "Password" / "PWD" (a later item wins).
    static TDataLinkProperties FromConnectionString(const QString& text);
    // The items with the fields' values put in place under the keys they were read with;
    // a field without an item is added ("Provider", "Data Source", "Initial Catalog",
    // "User ID", "Password", in that order), an empty one is removed. Values go through
    // QuoteConnectionValue.
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
    QPushButton* btnHelp;

    // The help topic of this dialog (Help and F1).
    static constexpr int kHelpContext = 31;

public slots:
    void cboProviderChange();
    void btnBrowseFileClick();
    void btnTestClick();
    void btnHelpClick();

private:
    QList<QPair<QString, QString>> m_items;
};
