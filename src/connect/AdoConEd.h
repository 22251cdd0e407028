#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TDbConnection;

// The generic connection-string editor: the user types or builds a provider connection
// string, or names a data link file (".udl"). Build opens the "Data Link Properties"
// dialog (TfrmDataLink); Browse a file dialog for ".udl" files.
class TConnEditForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kHelpContext = 27270;
    // The caption RunConnectionEditor gives the form.
    static constexpr const char* kCaption = "Connection string";

    explicit TConnEditForm(QWidget* owner);

    // Shows the dialog modally for text and returns the edited text: text unchanged on
    // Cancel; the typed string; or "FILE NAME=" + the data link file (a bare name is taken
    // from DataLinkFolder), the empty string when no file was named.
    QString ShowEditor(const QString& text);

    // Published components (objectName = the member's name).
    QPushButton* OkButton;
    QPushButton* CancelButton;
    QPushButton* HelpButton;
    QGroupBox* SourceofConnection;
    QRadioButton* UseDataLinkFile;
    QComboBox* DataLinkFile;
    QPushButton* Browse;
    QRadioButton* UseConnectionString;
    QLineEdit* ConnectionString;
    QPushButton* Build;

public slots:
    void SourceButtonClick();
    void BrowseClick();
    void BuildClick();
    void HelpButtonClick();

private:
    void UpdateEnabling();
    void FillDataLinkFiles();
};

// The folder of shared data link files: $XDG_DATA_HOME/Quillory/Data Links (default
// ~/.local/share/...); empty when there is no home folder.
QString DataLinkFolder();
// Names of the "*.udl" files (not folders) in DataLinkFolder, sorted ignoring case.
QStringList DataLinkFileNames();

// Lets the user edit the connection string of connection (which must be closed) and
// stores the result into it. True when the text changed. The form is created and
// destroyed here; errors of the Build and Browse buttons are shown inside it.
bool RunConnectionEditor(TDbConnection* connection);
