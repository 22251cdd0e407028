#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class TNimTray;
class THelpRouter;

// The hidden main form: it owns the tray icon, the tray menu and the commands behind
// it. It is never shown. Commands report their errors in the error box; Unload Me
// (after Yes) emits exitRequested, on which the program body ends the run.
class TfrmQuillorymain : public QWidget
{
    Q_OBJECT
public:
    // Creates the query window for a command: owned by owner, its folder set to parentId,
    // the query queryId (0 = a new query) loaded. An error while loading is raised.
    using QueryWindowFactory =
        std::function<std::unique_ptr<QDialog>(QWidget* owner, int parentId, int queryId)>;

    static constexpr const char* kAutoStartValueName = "Quillory";

    explicit TfrmQuillorymain(QWidget* parent = nullptr);
    ~TfrmQuillorymain() override;

    // How New Query and saved queries open their window; none installed opens nothing.
    static void setQueryWindowFactory(QueryWindowFactory factory);
    static const QueryWindowFactory& queryWindowFactory();

    void RebuildTrayMenu();
    void OpenQueryWindow(int QueryID);
    bool ShowHelp();
    bool IsAutoStart(bool ForMe);
    void SetAutoStart(bool ForMe, bool On);
    void ToggleAutoStart(bool ForMe);

    int newQueryFolderID() const { return NewQueryFolderID; }

    // Published components (objectName = the member's name).
    QMenu* mnuTray;
    QMenu* mnuTrayQuillory;
    QAction* mnutrayAbout;
    QMenu* mnuTrayDeleteTop;
    QAction* mnuTrayNewSubMenu;
    QAction* mnuTrayOrganize;
    QMenu* mnuTrayPreferences;
    QAction* mnuPreferencesAutoStartMe;
    QAction* mnuPreferencesAutoStartAllUsers;
    QAction* mnuTrayHelp;
    QAction* mnuTrayexit;
    QAction* N1;
    QObject* actMainList;
    QAction* actAbout;
    QAction* actExit;
    QAction* actNewFolder;
    QAction* actNewQuery;
    QAction* actReloadQuery;
    QAction* actDelete;
    QAction* actHelp;
    QAction* actOrganize;
    QAction* actAutoStartMe;
    QAction* actAutoStartAllUsers;
    TNimTray* NimTray1;
    THelpRouter* HelpRouter1;

signals:
    void exitRequested();

public slots:
    void actAboutExecute();
    void actExitExecute();
    void actNewFolderExecute();
    void actNewQueryExecute(QAction* Sender);
    void actReloadQueryExecute(QAction* Sender);
    void actDeleteExecute(QAction* Sender);
    void actHelpExecute();
    void actAutoStartMeExecute();
    void actAutoStartAllUsersExecute();
    void mnuTrayPreferencesClick();

private:
    void FormCreate();
    QAction* makeAction(const char* name, const QString& caption);
    QAction* menuEntry(QMenu* menu, const char* name, const QString& caption, QAction* action);

    // The folder into which the next new query is saved.
    int NewQueryFolderID = 0;
};

// The program's one main form, set by the program body.
extern TfrmQuillorymain* frmQuillorymain;
