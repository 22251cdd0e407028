#pragma once

#include "uDialogs.h"

#include <QList>
#include <QQueue>

// Test handler of the dialog seam. Installs itself while it lives (and restores the
// previous handler after). Information and error boxes are recorded and need no answer;
// every other request takes the next queued answer, and a request with none queued is
// a test failure (qFatal) rather than a silent default.
class ScriptedDialogs : public dialogs::Handler
{
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    ScriptedDialogs& yes();
    ScriptedDialogs& no();
    ScriptedDialogs& input(const QString& text); // OK with this text
    ScriptedDialogs& file(const QString& path, const QString& filter = {});
    ScriptedDialogs& login(const QString& user, const QString& password);
    ScriptedDialogs& cancel();
    ScriptedDialogs& queue(const dialogs::Answer& answer);

    int pending() const { return m_answers.size(); }
    const QList<dialogs::Request>& shown() const { return m_shown; }
    // The last request shown; a default Request when none was.
    dialogs::Request last() const;
    // Texts (or prompts) of every request shown, oldest first.
    QStringList texts() const;
    void clear();

    dialogs::Answer answer(const dialogs::Request& request) override;

private:
    dialogs::Handler* m_previous = nullptr;
    QQueue<dialogs::Answer> m_answers;
    QList<dialogs::Request> m_shown;
};
