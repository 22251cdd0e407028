#pragma once

#include "uError.h"

#include <QString>

#include <exception>
#include <utility>

// The application's error box: what the user sees of an error that no command handled.

// The silent abort: ends a command without any message.
class EAbort : public EQuilloryError
{
public:
    EAbort();
};

// The message as the error box shows it: a "." is added when its last character sorts
// after "." in character order (so "Disk full" and "Why?" get one; "Done." and "Stop!" do not).
QString ErrorBoxText(const QString& message);
// The error box: the text above, the application's title as caption, an error icon, OK.
void ShowErrorBox(const QString& message);
// Shows the error's message (an EAbort shows nothing).
void ShowException(const std::exception& error);
// The text an exception carries: message() of the program's own errors, what() of others.
QString ExceptionMessage(const std::exception& error);

// Runs a command; an error it raises ends the command and goes to the error box.
template <typename Command> void RunCommand(Command&& command)
{
    try {
        std::forward<Command>(command)();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}
