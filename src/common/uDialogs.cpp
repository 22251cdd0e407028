#include "uDialogs.h"

#include <stdexcept>

namespace dialogs {
namespace {
Handler* g_handler = nullptr;

Answer ask(Request request)
{
    if (!g_handler)
        throw std::logic_error("No dialog handler installed for: " + request.caption.toStdString() + " / " +
                               request.text.toStdString());
    return g_handler->answer(request);
}

QString fileName(Kind kind, const QString& caption, const QString& startPath, const QString& filter,
                 QString* selectedFilter)
{
    Request r;
    r.kind = kind;
    r.caption = caption;
    r.value = startPath;
    r.filter = filter;
    if (selectedFilter)
        r.user = *selectedFilter; // the filter to preselect travels in the spare field
    const Answer a = ask(r);
    if (!a.accepted)
        return {};
    if (selectedFilter)
        *selectedFilter = a.secondValue;
    return a.value;
}
} // namespace

Handler* setHandler(Handler* handler)
{
    Handler* old = g_handler;
    g_handler = handler;
    return old;
}

Handler* handler() { return g_handler; }

bool askYesNo(const QString& text, const QString& caption)
{
    return ask({Kind::Question, caption, text, {}, {}, {}}).accepted;
}

Choice askYesNoCancel(const QString& text, const QString& caption)
{
    const Answer a = ask({Kind::QuestionWithCancel, caption, text, {}, {}, {}});
    return a.accepted ? Choice::Yes : a.cancelled ? Choice::Cancel : Choice::No;
}

void showInfo(const QString& text, const QString& caption)
{
    ask({Kind::Information, caption, text, {}, {}, {}});
}

void showError(const QString& text, const QString& caption)
{
    ask({Kind::Error, caption, text, {}, {}, {}});
}

bool inputQuery(const QString& caption, const QString& prompt, QString& value)
{
    const Answer a = ask({Kind::Input, caption, prompt, value, {}, {}});
    if (a.accepted)
        value = a.value;
    return a.accepted;
}

bool loginPrompt(const QString& caption, QString& user, QString& password)
{
    const Answer a = ask({Kind::Login, caption, {}, password, {}, user});
    if (a.accepted) {
        user = a.value;
        password = a.secondValue;
    }
    return a.accepted;
}

QString openFileName(const QString& caption, const QString& startPath, const QString& filter,
                     QString* selectedFilter)
{
    return fileName(Kind::OpenFile, caption, startPath, filter, selectedFilter);
}

QString saveFileName(const QString& caption, const QString& startPath, const QString& filter,
                     QString* selectedFilter)
{
    return fileName(Kind::SaveFile, caption, startPath, filter, selectedFilter);
}

} // namespace dialogs
