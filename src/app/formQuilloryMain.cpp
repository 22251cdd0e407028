#include "formQuilloryMain.h"

#include "datModQuillory.h"
#include "formQuilloryAbout.h"
#include "uAutoStart.h"
#include "uBuildMenu.h"
#include "uDialogs.h"
#include "uError.h"
#include "uErrorBox.h"
#include "uHelpViewer.h"
#include "uMenuSide.h"
#include "uNimTrayIcon.h"
#include "uSystemInfo.h"
#include "uWidgets.h"
#include "utils.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>

TfrmQuillorymain* frmQuillorymain = nullptr;

namespace {

TfrmQuillorymain::QueryWindowFactory& factorySlot()
{
    static TfrmQuillorymain::QueryWindowFactory factory;
    return factory;
}

// Menu commands run once the menu has closed (queued), each with its own error box.
template <typename Slot> void onTriggered(QAction* entry, TfrmQuillorymain* form, Slot slot)
{
    QObject::connect(entry, &QAction::triggered, form, slot, Qt::QueuedConnection);
}

} // namespace

void TfrmQuillorymain::setQueryWindowFactory(QueryWindowFactory factory)
{
    factorySlot() = std::move(factory);
}

const TfrmQuillorymain::QueryWindowFactory& TfrmQuillorymain::queryWindowFactory()
{
    return factorySlot();
}

QAction* TfrmQuillorymain::makeAction(const char* name, const QString& caption)
{
    auto* action = Make<QAction>(actMainList, name, caption);
    SetTag(action, 0);
    return action;
}

QAction* TfrmQuillorymain::menuEntry(QMenu* menu, const char* name, const QString& caption, QAction* action)
{
    auto* entry = Make<QAction>(menu, name, caption);
    SetTag(entry, 0);
    if (action) {
        entry->setEnabled(action->isEnabled());
        connect(action, &QAction::enabledChanged, entry, &QAction::setEnabled);
        connect(entry, &QAction::triggered, action, [action] { action->trigger(); });
    }
    menu->addAction(entry);
    return entry;
}

TfrmQuillorymain::TfrmQuillorymain(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmQuillorymain"));
    setWindowTitle(QCoreApplication::applicationName());

    // The commands.
    actMainList = Make<QObject>(this, "actMainList");
    actAbout = makeAction("actAbout", QStringLiteral("About"));
    actExit = makeAction("actExit", QStringLiteral("Exit"));
    actNewFolder = makeAction("actNewFolder", QStringLiteral("New Folder"));
    actNewQuery = makeAction("actNewQuery", QStringLiteral("New Query"));
    actReloadQuery = makeAction("actReloadQuery", QStringLiteral("Reload Query"));
    actDelete = makeAction("actDelete", QStringLiteral("Delete"));
    actHelp = makeAction("actHelp", QStringLiteral("Help"));
    actOrganize = makeAction("actOrganize", QStringLiteral("Organize"));
    actAutoStartMe = makeAction("actAutoStartMe", QStringLiteral("AutoStart for Me"));
    actAutoStartAllUsers = makeAction("actAutoStartAllUsers", QStringLiteral("AutoStart for All Users"));
    // An action without a handler shows disabled.
    actOrganize->setEnabled(false);

    onTriggered(actAbout, this, &TfrmQuillorymain::actAboutExecute);
    onTriggered(actExit, this, &TfrmQuillorymain::actExitExecute);
    onTriggered(actNewFolder, this, &TfrmQuillorymain::actNewFolderExecute);
    onTriggered(actHelp, this, &TfrmQuillorymain::actHelpExecute);
    onTriggered(actAutoStartMe, this, &TfrmQuillorymain::actAutoStartMeExecute);
    onTriggered(actAutoStartAllUsers, this, &TfrmQuillorymain::actAutoStartAllUsersExecute);

    // The tray menu's fixed part; BuildMenu appends the favourites after N1.
    mnuTray = Make<QMenu>(this, "mnuTray");
    SetTag(mnuTray->menuAction(), 0);
    TSubmenuSide::Install(mnuTray);

    mnuTrayQuillory = Named(mnuTray->addMenu(QStringLiteral("Quillory")), "mnuTrayQuillory");
    mnuTrayQuillory->setToolTipsVisible(true);
    SetTag(mnuTrayQuillory->menuAction(), 0);

    mnutrayAbout = menuEntry(mnuTrayQuillory, "mnutrayAbout", QStringLiteral("About"), actAbout);

    mnuTrayDeleteTop = Named(mnuTrayQuillory->addMenu(QStringLiteral("Delete")), "mnuTrayDeleteTop");
    SetTag(mnuTrayDeleteTop->menuAction(), 0);

    mnuTrayNewSubMenu =
        menuEntry(mnuTrayQuillory, "mnuTrayNewSubMenu", QStringLiteral("New Folder"), actNewFolder);
    mnuTrayOrganize = menuEntry(mnuTrayQuillory, "mnuTrayOrganize", QStringLiteral("Organize"), actOrganize);

    mnuTrayPreferences = Named(mnuTrayQuillory->addMenu(QStringLiteral("Preferences")), "mnuTrayPreferences");
    SetTag(mnuTrayPreferences->menuAction(), 0);
    mnuPreferencesAutoStartMe = menuEntry(mnuTrayPreferences, "mnuPreferencesAutoStartMe",
                                          QStringLiteral("AutoStart for Me"), actAutoStartMe);
    mnuPreferencesAutoStartAllUsers =
        menuEntry(mnuTrayPreferences, "mnuPreferencesAutoStartAllUsers",
                  QStringLiteral("AutoStart for All Users"), actAutoStartAllUsers);
    mnuPreferencesAutoStartMe->setCheckable(true);
    mnuPreferencesAutoStartAllUsers->setCheckable(true);
    // The check marks are read from the autostart entries each time the submenu opens.
    connect(mnuTrayPreferences, &QMenu::aboutToShow, this, &TfrmQuillorymain::mnuTrayPreferencesClick);

    mnuTrayHelp = menuEntry(mnuTrayQuillory, "mnuTrayHelp", QStringLiteral("Help"), actHelp);
    mnuTrayexit = menuEntry(mnuTrayQuillory, "mnuTrayexit", QStringLiteral("Unload Me"), actExit);
    const QString exitHint =
        QStringLiteral("This unloads Quillory from your system tray until you restart your PC again.");
    mnuTrayexit->setToolTip(exitHint);
    mnuTrayexit->setStatusTip(exitHint);

    N1 = Named(mnuTray->addSeparator(), "N1");
    SetTag(N1, 0);

    HelpRouter1 = new THelpRouter(this);

    NimTray1 = new TNimTray(this);
    NimTray1->setHint(QStringLiteral("Quillory"));
    NimTray1->setPopupMenu(mnuTray);
    NimTray1->Loaded();

    FormCreate();
}

TfrmQuillorymain::~TfrmQuillorymain()
{
    if (frmQuillorymain == this)
        frmQuillorymain = nullptr;
}

void TfrmQuillorymain::FormCreate()
{
    NewQueryFolderID = 0;
    RunCommand([this] { RebuildTrayMenu(); });
    const QString exe = platform::ExecutablePath();
    const QFileInfo exeInfo(exe);
    QDir::setCurrent(exeInfo.absolutePath()); // a failure changes nothing that matters
    HelpRouter1->setHelpFile(exeInfo.absolutePath() + u'/' + exeInfo.completeBaseName() +
                             QStringLiteral(".chm"));
}

void TfrmQuillorymain::RebuildTrayMenu()
{
    if (!dmQuillory)
        return;
    BuildMenu(
        mnuTray, *dmQuillory, {}, [this](QAction* s) { actReloadQueryExecute(s); },
        [this](QAction* s) { actNewQueryExecute(s); });
    const MenuHandler remove = [this](QAction* s) { actDeleteExecute(s); };
    mnuTrayDeleteTop->menuAction()->setEnabled(BuildMenuWhenShown(mnuTrayDeleteTop, *dmQuillory, remove, remove, {}));
}

void TfrmQuillorymain::OpenQueryWindow(int QueryID)
{
    const QueryWindowFactory& factory = queryWindowFactory();
    if (!factory)
        return; // none installed: the tray is tested on its own
    std::unique_ptr<QDialog> window;
    {
        // The wait cursor while the window is made, not while it is shown; an error goes
        // on to the error box.
        const TBusyCursor busy;
        QCoreApplication::processEvents();
        window = factory(this, NewQueryFolderID, QueryID);
    }
    if (window)
        window->exec();
}

bool TfrmQuillorymain::ShowHelp()
{
    return HelpRouter1->HelpContents();
}

bool TfrmQuillorymain::IsAutoStart(bool ForMe)
{
    const QString valueName = QLatin1String(kAutoStartValueName);
    return !platform::ReadAutoStart(platform::AutoStartFile(ForMe, valueName)).isEmpty();
}

void TfrmQuillorymain::SetAutoStart(bool ForMe, bool On)
{
    const QString valueName = QLatin1String(kAutoStartValueName);
    const QString file = platform::AutoStartFile(ForMe, valueName);
    if (On)
        platform::WriteAutoStart(file, platform::ExecutablePath(), valueName);
    else
        platform::DeleteAutoStart(file, valueName);
}

void TfrmQuillorymain::ToggleAutoStart(bool ForMe)
{
    const bool On = IsAutoStart(ForMe);
    if (AskYesNo(On ? QStringLiteral("Turn Autostart off ") : QStringLiteral("Turn Autostart on "),
                 QStringLiteral("Start up on login")))
        SetAutoStart(ForMe, !On);
}

void TfrmQuillorymain::actAboutExecute()
{
    RunCommand([this] {
        TAboutBox box(this, QString(), dmQuillory ? dmQuillory->folder() : QString());
        box.exec();
    });
}

void TfrmQuillorymain::actExitExecute()
{
    RunCommand([this] {
        if (AskYesNo(QStringLiteral("Unload Quillory \r\nfrom the system tray"),
                     QStringLiteral("Are you sure?"))) {
            close();
            emit exitRequested();
        }
    });
}

void TfrmQuillorymain::actNewFolderExecute()
{
    RunCommand([this] {
        QString name;
        if (!dialogs::inputQuery(QStringLiteral("Query Folder Name"),
                                 QStringLiteral("Please enter a folder name"), name))
            name.clear(); // Cancel gives the empty default
        if (name.isEmpty() || !dmQuillory)
            return;
        dmQuillory->AddFolder(name);
        RebuildTrayMenu();
    });
}

void TfrmQuillorymain::actNewQueryExecute(QAction* Sender)
{
    RunCommand([this, Sender] {
        NewQueryFolderID = ParentTag(Sender);
        OpenQueryWindow(0);
        RebuildTrayMenu();
    });
}

void TfrmQuillorymain::actReloadQueryExecute(QAction* Sender)
{
    RunCommand([this, Sender] { OpenQueryWindow(-Tag(Sender)); });
}

void TfrmQuillorymain::actDeleteExecute(QAction* Sender)
{
    RunCommand([this, Sender] {
        const int tag = Tag(Sender);
        const QString C = StripAmpersands(Sender->text());
        if (!AskYesNo(QStringLiteral("Are you sure"), QStringLiteral("Delete ") + C) || !dmQuillory)
            return;
        if (tag < 1)
            dmQuillory->DeleteQuery(-tag);
        else
            dmQuillory->DeleteFolder(tag);
        RebuildTrayMenu();
    });
}

void TfrmQuillorymain::actHelpExecute()
{
    RunCommand([this] { ShowHelp(); });
}

void TfrmQuillorymain::actAutoStartMeExecute()
{
    RunCommand([this] { ToggleAutoStart(true); });
}

void TfrmQuillorymain::actAutoStartAllUsersExecute()
{
    RunCommand([this] { ToggleAutoStart(false); });
}

void TfrmQuillorymain::mnuTrayPreferencesClick()
{
    const std::pair<QAction*, bool> entries[] = {{mnuPreferencesAutoStartMe, true},
                                                 {mnuPreferencesAutoStartAllUsers, false}};
    for (const auto& [entry, forMe] : entries) {
        try {
            entry->setChecked(IsAutoStart(forMe));
        } catch (const EQuilloryError&) {
            // Unreadable: the command stays disabled for the rest of the run.
            (forMe ? actAutoStartMe : actAutoStartAllUsers)->setEnabled(false);
        }
    }
}
