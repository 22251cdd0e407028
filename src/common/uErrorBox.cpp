#include "uErrorBox.h"

#include "uDialogs.h"

#include <QCoreApplication>

EAbort::EAbort() : EQuilloryError(QStringLiteral("Operation aborted")) {}

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

void ShowErrorBox(const QString& message)
{
    dialogs::showError(ErrorBoxText(message), QCoreApplication::applicationName());
}

QString ExceptionMessage(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const EQuilloryError*>(&error))
        return own->message();
    return QString::fromUtf8(error.what());
}

void ShowException(const std::exception& error)
{
    if (dynamic_cast<const EAbort*>(&error))
        return;
    ShowErrorBox(ExceptionMessage(error));
}
