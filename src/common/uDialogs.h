#pragma once

#include <QList>
#include <QString>

// The dialog seam: every message box, Yes/No question, input box, login prompt and
// file dialog of the program goes through these functions, which hand the request to
// the installed handler. The program installs the widget handler (uDialogsWidgets);
// tests install a ScriptedDialogs (uDialogScript) that answers from a queue and records
// what was shown. With no handler installed a request throws std::logic_error, so a
// missing installation is found at once instead of blocking on an invisible box.
namespace dialogs {

enum class Kind { Question, Information, Error, Input, Login, OpenFile, SaveFile, QuestionWithCancel };

struct Request
{
    Kind kind = Kind::Information;
    QString caption;
    QString text;   // message, or the prompt of an input box
    QString value;  // input box: the proposed text; file dialogs: the start folder or file
    QString filter; // file dialogs: "Description (*.a *.b);;All Files (*)"
    QString user;   // login prompt: the proposed user name
};

struct Answer
{
    bool accepted = false; // Yes, OK, or a file chosen
    QString value;         // input text, chosen file, or login user name
    QString secondValue;   // login password, or the file dialog's chosen filter
    bool cancelled = false; // Yes/No/Cancel: Cancel (or the box closed)
};

class Handler
{
public:
    virtual ~Handler() = default;
    virtual Answer answer(const Request& request) = 0;
};

// Not owned; pass nullptr to remove. Returns the handler that was installed before.
Handler* setHandler(Handler* handler);
Handler* handler();

bool askYesNo(const QString& text, const QString& caption);
enum class Choice { Yes, No, Cancel };
// Yes, No or Cancel; closing the box is Cancel.
Choice askYesNoCancel(const QString& text, const QString& caption);
void showInfo(const QString& text, const QString& caption);
void showError(const QString& text, const QString& caption);
// True when OK was pressed; value holds the proposed text on entry and the typed one on exit.
bool inputQuery(const QString& caption, const QString& prompt, QString& value);
// True when OK was pressed; user and password hold the proposals on entry.
bool loginPrompt(const QString& caption, QString& user, QString& password);
// Empty text when cancelled. selectedFilter, when given, receives the filter in use.
QString openFileName(const QString& caption, const QString& startPath, const QString& filter,
                     QString* selectedFilter = nullptr);
QString saveFileName(const QString& caption, const QString& startPath, const QString& filter,
                     QString* selectedFilter = nullptr);

} // namespace dialogs
