#pragma once

#include <QApplication>
#include <QIcon>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

// The program body's pieces: the application object, the one-copy-per-folder lock, the
// signals that end the run in order, and the run itself.

// Shows any error that escapes an event handler in the error box instead of ending the
// program.
class TQuilloryApplication : public QApplication
{
    Q_OBJECT
public:
    TQuilloryApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Held while the program runs on the favourites in folder: a second copy on the same
// folder finds it taken and stops, so that no copy overwrites another's changes.
class TRunningLock
{
public:
    static constexpr const char* kLockFileName = ".Quillory.lock";
    static constexpr const char* kAlreadyRunning = "Quillory is already running.";

    explicit TRunningLock(const QString& folder);
    // True when another running copy holds the folder. A folder where no lock can be
    // made (not writable) is not held: nothing can be written there either.
    bool heldElsewhere() const { return m_heldElsewhere; }

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_heldElsewhere = false;
};

// Turns SIGTERM, SIGINT and SIGHUP into a call of onSignal on the event loop (the signal
// handler itself only writes a byte to a pipe).
class TQuitSignals : public QObject
{
    Q_OBJECT
public:
    explicit TQuitSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TQuitSignals() override;

private:
    std::function<void()> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};

// The program's icon, at the sizes trays and dialogs ask for.
QIcon ProgramIcon();

// The whole run: parameters, application, store, main form, message loop, orderly end.
int RunQuillory(int argc, char** argv);
