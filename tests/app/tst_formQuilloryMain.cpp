#include "formQuilloryMain.h"

#include "appTestSupport.h"
#include "uAutoStart.h"
#include "uBuildMenu.h"
#include "uDialogScript.h"
#include "uNimTrayIcon.h"
#include "utils.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_formQuilloryMain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStartShowsTheFixedMenuAndOneNewQuery();
    void newFolderAsksForANameAndRebuilds_data();
    void newFolderAsksForANameAndRebuilds();
    void deleteConfirmsWithTheNameWithoutAmpersands_data();
    void deleteConfirmsWithTheNameWithoutAmpersands();
    void unloadMeEndsTheRunOnlyAfterYes_data();
    void unloadMeEndsTheRunOnlyAfterYes();
    void newQueryOpensTheWindowForItsFolderAndRebuilds();
    void savedQueryOpensByIdWithoutRebuild();
    void queryWindowErrorGoesToTheErrorBox();
    void withoutAQueryWindowNothingOpensOrShows();
    void autoStartForMeTogglesTheUsersEntry();
    void autoStartForAllUsersReportsAFailedWrite();
    void preferencesDisableAnUnreadableEntry();

private:
    void startForm();
    QAction* entry(QMenu* menu, const QString& caption);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TdmQuillory> m_store;
    std::unique_ptr<TfrmQuillorymain> m_form;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
};

void tst_formQuilloryMain::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
}

void tst_formQuilloryMain::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", m_dir->filePath(QStringLiteral("etc-xdg")).toUtf8());
    m_dialogs = std::make_unique<ScriptedDialogs>();
}

void tst_formQuilloryMain::cleanup()
{
    TfrmQuillorymain::setQueryWindowFactory({});
    m_form.reset();
    dmQuillory = nullptr;
    m_store.reset();
    m_dialogs.reset();
    m_dir.reset();
}

void tst_formQuilloryMain::startForm()
{
    m_store = std::make_unique<TdmQuillory>(m_dir->path());
    dmQuillory = m_store.get();
    m_form = std::make_unique<TfrmQuillorymain>();
    // The offscreen desktop has no tray: let the icon's one notice pass, then start clean.
    QCoreApplication::processEvents();
    m_dialogs->clear();
}

QAction* tst_formQuilloryMain::entry(QMenu* menu, const QString& caption)
{
    for (QAction* a : shown(menu)->actions())
        if (StripAmpersands(a->text()) == caption)
            return a;
    return nullptr;
}

static QStringList captions(QMenu* menu)
{
    QStringList list;
    for (QAction* a : shown(menu)->actions())
        list << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isEnabled() ? "" : " (disabled)"));
    return list;
}

void tst_formQuilloryMain::firstStartShowsTheFixedMenuAndOneNewQuery()
{
    startForm();
    QVERIFY(!m_form->isVisible());
    QCOMPARE(captions(m_form->mnuTray), (QStringList{"Quillory", "-", "New Query"}));
    QCOMPARE(captions(m_form->mnuTrayQuillory),
             (QStringList{"About", "Delete (disabled)", "New Folder", "Organize (disabled)", "Preferences",
                          "Help", "Unload Me"}));
    QCOMPARE(captions(m_form->mnuTrayPreferences),
             (QStringList{"AutoStart for Me", "AutoStart for All Users"}));
    QCOMPARE(m_form->mnuTrayexit->toolTip(),
             QStringLiteral("This unloads Quillory from your system tray until you restart your PC again."));
    QCOMPARE(m_form->NimTray1->Hint(), QStringLiteral("Quillory"));
    QCOMPARE(m_form->NimTray1->PopupMenu(), m_form->mnuTray);
    for (QAction* a : m_form->mnuTrayQuillory->actions())
        QCOMPARE(Tag(a), 0);
    QCOMPARE(Tag(m_form->mnuTray->actions().at(2)), NewQueryTag);
}

void tst_formQuilloryMain::newFolderAsksForANameAndRebuilds_data()
{
    QTest::addColumn<QString>("answer"); // "<cancel>" presses Cancel
    QTest::addColumn<QStringList>("menuAfter");
    QTest::addColumn<QString>("errorShown");
    QTest::newRow("new name") << "Reports" << QStringList{"Quillory", "-", "New Query", "Archive", "Reports"}
                              << "";
    QTest::newRow("name in use") << "Archive" << QStringList{"Quillory", "-", "New Query", "Archive"}
                                 << "That foldername is in use.";
    QTest::newRow("empty") << "" << QStringList{"Quillory", "-", "New Query", "Archive"} << "";
    QTest::newRow("cancel") << "<cancel>" << QStringList{"Quillory", "-", "New Query", "Archive"} << "";
}

void tst_formQuilloryMain::newFolderAsksForANameAndRebuilds()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, menuAfter);
    QFETCH(QString, errorShown);
    writeFavourites(m_dir->path(), {{1, QStringLiteral("Archive")}}, {});
    startForm();
    if (answer == QLatin1String("<cancel>"))
        m_dialogs->cancel();
    else
        m_dialogs->input(answer);

    m_form->mnuTrayNewSubMenu->trigger();
    QCoreApplication::processEvents();

    QCOMPARE(m_dialogs->pending(), 0);
    const dialogs::Request asked = m_dialogs->shown().first();
    QCOMPARE(asked.kind, dialogs::Kind::Input);
    QCOMPARE(asked.caption, QStringLiteral("Query Folder Name"));
    QCOMPARE(asked.text, QStringLiteral("Please enter a folder name"));
    QCOMPARE(asked.value, QString());
    QCOMPARE(captions(m_form->mnuTray), menuAfter);
    if (errorShown.isEmpty()) {
        QCOMPARE(m_dialogs->shown().size(), 1);
    } else {
        QCOMPARE(m_dialogs->last().kind, dialogs::Kind::Error);
        QCOMPARE(m_dialogs->last().text, errorShown);
        QCOMPARE(m_dialogs->last().caption, QStringLiteral("Quillory"));
    }
}

void tst_formQuilloryMain::deleteConfirmsWithTheNameWithoutAmpersands_data()
{
    QTest::addColumn<QStringList>("path"); // entries to follow in the Delete submenu
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("deleteMenuAfter");
    QTest::addColumn<QString>("messageAfter");
    QTest::newRow("empty folder, yes")
        << QStringList{"R&D"} << true << "Delete RD" << QStringList{"Reports"} << "Folder deleted";
    QTest::newRow("empty folder, no")
        << QStringList{"R&D"} << false << "Delete RD" << QStringList{"R&&D", "Reports"} << "";
    QTest::newRow("query in a folder, yes")
        << QStringList{"Reports", "Sales"} << true << "Delete Sales" << QStringList{"R&&D", "Reports"} << "";
}

void tst_formQuilloryMain::deleteConfirmsWithTheNameWithoutAmpersands()
{
    QFETCH(QStringList, path);
    QFETCH(bool, yes);
    QFETCH(QString, caption);
    QFETCH(QStringList, deleteMenuAfter);
    QFETCH(QString, messageAfter);
    writeFavourites(m_dir->path(), {{1, QStringLiteral("Reports")}, {2, QStringLiteral("R&D")}},
                    {{1, QStringLiteral("Sales"), 1}});
    startForm();
    QVERIFY(m_form->mnuTrayDeleteTop->menuAction()->isEnabled());

    QMenu* menu = m_form->mnuTrayDeleteTop;
    QAction* target = nullptr;
    for (const QString& step : path) {
        target = entry(menu, StripAmpersands(step));
        QVERIFY2(target, qPrintable(step));
        if (auto* sub = target->menu<QMenu*>())
            menu = sub;
    }
    yes ? m_dialogs->yes() : m_dialogs->no();
    target->trigger();
    QCoreApplication::processEvents();

    QCOMPARE(m_dialogs->shown().first().kind, dialogs::Kind::Question);
    QCOMPARE(m_dialogs->shown().first().text, QStringLiteral("Are you sure"));
    QCOMPARE(m_dialogs->shown().first().caption, caption);
    QCOMPARE(captions(m_form->mnuTrayDeleteTop), deleteMenuAfter);
    if (!messageAfter.isEmpty())
        QCOMPARE(m_dialogs->last().text, messageAfter);
    else
        QCOMPARE(m_dialogs->shown().size(), 1);
}

void tst_formQuilloryMain::unloadMeEndsTheRunOnlyAfterYes_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void tst_formQuilloryMain::unloadMeEndsTheRunOnlyAfterYes()
{
    QFETCH(bool, yes);
    startForm();
    QSignalSpy exits(m_form.get(), &TfrmQuillorymain::exitRequested);
    yes ? m_dialogs->yes() : m_dialogs->no();
    m_form->mnuTrayexit->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(m_dialogs->last().text, QStringLiteral("Unload Quillory \r\nfrom the system tray"));
    QCOMPARE(m_dialogs->last().caption, QStringLiteral("Are you sure?"));
    QCOMPARE(exits.size(), yes ? 1 : 0);
}

namespace {
// Stands in for the query window: records how it was opened and may save a query.
struct OpenedWindow
{
    int parentId = -1;
    int queryId = -1;
};
} // namespace

void tst_formQuilloryMain::newQueryOpensTheWindowForItsFolderAndRebuilds()
{
    writeFavourites(m_dir->path(), {{7, QStringLiteral("Reports")}}, {});
    startForm();
    QList<OpenedWindow> opened;
    TfrmQuillorymain::setQueryWindowFactory([&](QWidget* owner, int parentId, int queryId) {
        opened.append({parentId, queryId});
        auto window = std::make_unique<QDialog>(owner);
        // The window saves a query into its folder and closes.
        QTimer::singleShot(0, window.get(), [parentId, w = window.get()] {
            dmQuillory->AddQuery(parentId, QStringLiteral("Saved %1").arg(parentId), "SELECT 1", "");
            w->accept();
        });
        return window;
    });

    QMenu* reports = entry(m_form->mnuTray, QStringLiteral("Reports"))->menu<QMenu*>();
    entry(reports, QStringLiteral("New Query"))->trigger();
    QCoreApplication::processEvents();
    entry(m_form->mnuTray, QStringLiteral("New Query"))->trigger();
    QCoreApplication::processEvents();

    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened[0].parentId, 7);
    QCOMPARE(opened[0].queryId, 0);
    QCOMPARE(opened[1].parentId, 0);
    QCOMPARE(m_form->newQueryFolderID(), 0);
    // Rebuilt after each window: both saved queries are listed.
    reports = entry(m_form->mnuTray, QStringLiteral("Reports"))->menu<QMenu*>();
    QCOMPARE(captions(reports), (QStringList{"New Query", "Saved 7"}));
    QVERIFY(entry(m_form->mnuTray, QStringLiteral("Saved 0")));
    QCOMPARE(CursorStackCount(), 0);
}

void tst_formQuilloryMain::savedQueryOpensByIdWithoutRebuild()
{
    writeFavourites(m_dir->path(), {{7, QStringLiteral("Reports")}}, {{12, QStringLiteral("Sales"), 7}});
    startForm();
    QList<OpenedWindow> opened;
    TfrmQuillorymain::setQueryWindowFactory([&](QWidget* owner, int parentId, int queryId) {
        opened.append({parentId, queryId});
        auto window = std::make_unique<QDialog>(owner);
        QTimer::singleShot(0, window.get(), [w = window.get()] {
            dmQuillory->AddQuery(0, QStringLiteral("Saved as new"), "SELECT 1", "");
            w->accept();
        });
        return window;
    });
    QMenu* reports = entry(m_form->mnuTray, QStringLiteral("Reports"))->menu<QMenu*>();
    entry(reports, QStringLiteral("Sales"))->trigger();
    QCoreApplication::processEvents();

    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0].queryId, 12);
    QCOMPARE(opened[0].parentId, 0); // the folder of the last New Query, untouched
    QVERIFY2(!entry(m_form->mnuTray, QStringLiteral("Saved as new")), "not rebuilt after a saved query");
}

void tst_formQuilloryMain::queryWindowErrorGoesToTheErrorBox()
{
    startForm();
    TfrmQuillorymain::setQueryWindowFactory([](QWidget*, int, int) -> std::unique_ptr<QDialog> {
        throw EStoreError(QStringLiteral("Query no longer found"));
    });
    entry(m_form->mnuTray, QStringLiteral("New Query"))->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(m_dialogs->last().kind, dialogs::Kind::Error);
    QCOMPARE(m_dialogs->last().text, QStringLiteral("Query no longer found."));
    QCOMPARE(CursorStackCount(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void tst_formQuilloryMain::withoutAQueryWindowNothingOpensOrShows()
{
    writeFavourites(m_dir->path(), {}, {{3, QStringLiteral("Sales")}});
    startForm();
    entry(m_form->mnuTray, QStringLiteral("New Query"))->trigger();
    entry(m_form->mnuTray, QStringLiteral("Sales"))->trigger();
    QCoreApplication::processEvents();
    QVERIFY(m_dialogs->shown().isEmpty());
    QCOMPARE(CursorStackCount(), 0);
    QVERIFY(QApplication::topLevelWidgets().size() > 0);
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible() || qobject_cast<QMenu*>(w), qPrintable(w->objectName()));
}

void tst_formQuilloryMain::autoStartForMeTogglesTheUsersEntry()
{
    startForm();
    const QString file = m_dir->filePath(QStringLiteral("config/autostart/Quillory.desktop"));
    QAction* me = m_form->mnuPreferencesAutoStartMe;

    emit m_form->mnuTrayPreferences->aboutToShow();
    QVERIFY(!me->isChecked());

    m_dialogs->yes();
    me->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(m_dialogs->last().text, QStringLiteral("Turn Autostart on "));
    QCOMPARE(m_dialogs->last().caption, QStringLiteral("Start up on login"));
    QCOMPARE(platform::ReadAutoStart(file), QCoreApplication::applicationFilePath());
    emit m_form->mnuTrayPreferences->aboutToShow();
    QVERIFY(me->isChecked());

    // No leaves it as it is.
    m_dialogs->no();
    me->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(m_dialogs->last().text, QStringLiteral("Turn Autostart off "));
    QVERIFY(QFile::exists(file));

    m_dialogs->yes();
    me->trigger();
    QCoreApplication::processEvents();
    QVERIFY(!QFile::exists(file));
    emit m_form->mnuTrayPreferences->aboutToShow();
    QVERIFY(!me->isChecked());
    // The other entry was never touched.
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("etc-xdg/autostart/Quillory.desktop"))));
}

void tst_formQuilloryMain::autoStartForAllUsersReportsAFailedWrite()
{
    // The system-wide folder cannot be made: a file stands where it should be.
    QFile blocker(m_dir->filePath(QStringLiteral("etc-xdg")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    startForm();
    m_dialogs->yes();
    m_form->mnuPreferencesAutoStartAllUsers->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(m_dialogs->last().kind, dialogs::Kind::Error);
    // "'" sorts before ".", so the error box adds no full stop.
    QCOMPARE(m_dialogs->last().text, QStringLiteral("Failed to set data for 'Quillory'"));
}

void tst_formQuilloryMain::preferencesDisableAnUnreadableEntry()
{
    // An entry that cannot be read (a folder in its place) disables its command for good.
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("config/autostart/Quillory.desktop"))));
    startForm();
    emit m_form->mnuTrayPreferences->aboutToShow();
    QVERIFY(!m_form->mnuPreferencesAutoStartMe->isEnabled());
    QVERIFY(m_form->mnuPreferencesAutoStartAllUsers->isEnabled());
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("config/autostart/Quillory.desktop"))).removeRecursively());
    emit m_form->mnuTrayPreferences->aboutToShow();
    QVERIFY(!m_form->mnuPreferencesAutoStartMe->isEnabled());
    QVERIFY(m_dialogs->shown().isEmpty());
}

QTEST_MAIN(tst_formQuilloryMain)
#include "tst_formQuilloryMain.moc"
