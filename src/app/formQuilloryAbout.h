#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The about box: product name, version, copyright and comments from the version values,
// and the build time read from the executable's modification time.
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    // executablePath: whose modification time is the build time (the running program's
    // by default); favouritesFolder: where the favourites are kept (no line when empty).
    explicit TAboutBox(QWidget* owner, const QString& executablePath = QString(),
                       const QString& favouritesFolder = QString());

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* lblProductName;
    QLabel* lblVersion;
    QLabel* lblCopyright;
    QLabel* lblComments;
    QLabel* lblAge;
    QLabel* lblFavourites;
    QPushButton* OKButton;

    // "dd-MMM-yyyy hh:nn" with the locale's short month name.
    static QString CompiledText(const QDateTime& modified);

private:
    void FormCreate(const QString& executablePath, const QString& favouritesFolder);
};
