#include "uDialogScript.h"

#include <QtGlobal>

ScriptedDialogs::ScriptedDialogs()
{
    m_previous = dialogs::setHandler(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    dialogs::setHandler(m_previous);
}

ScriptedDialogs& ScriptedDialogs::queue(const dialogs::Answer& answer)
{
    m_answers.enqueue(answer);
    return *this;
}

ScriptedDialogs& ScriptedDialogs::yes()
{
    return queue({true, {}, {}});
}
ScriptedDialogs& ScriptedDialogs::no()
{
    return queue({false, {}, {}});
}
ScriptedDialogs& ScriptedDialogs::cancel()
{
    return queue({false, {}, {}, true});
}
ScriptedDialogs& ScriptedDialogs::input(const QString& text)
{
    return queue({true, text, {}});
}
ScriptedDialogs& ScriptedDialogs::file(const QString& path, const QString& filter)
{
    return queue({true, path, filter});
}
ScriptedDialogs& ScriptedDialogs::login(const QString& user, const QString& password)
{
    return queue({true, user, password});
}

dialogs::Request ScriptedDialogs::last() const
{
    return m_shown.isEmpty() ? dialogs::Request{} : m_shown.last();
}

QStringList ScriptedDialogs::texts() const
{
    QStringList out;
    for (const auto& r : m_shown)
        out << r.text;
    return out;
}

void ScriptedDialogs::clear()
{
    m_shown.clear();
    m_answers.clear();
}

dialogs::Answer ScriptedDialogs::answer(const dialogs::Request& request)
{
    m_shown.append(request);
    if (request.kind == dialogs::Kind::Information || request.kind == dialogs::Kind::Error)
        return {true, {}, {}};
    if (m_answers.isEmpty())
        qFatal("Dialog shown with no scripted answer: caption \"%s\", text \"%s\"",
               qPrintable(request.caption), qPrintable(request.text));
    return m_answers.dequeue();
}
