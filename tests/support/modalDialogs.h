#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <type_traits>

// Acts on the next modal dialog of type T once its exec() loop runs: dialogs open one
// another modally, and a test answers them the way a user would. The check is re-armed
// from the event loop until the dialog is up; no clock is involved. A dialog that never
// comes leaves the returned flag false (give it to the test to check). The dialog is
// cancelled after the action if it is still open (a failed check inside the action
// returns early), so that a failure never leaves the test waiting. Header only: the tests
// that use it link the widgets anyway.
template <typename T = QDialog>
std::shared_ptr<bool> onModal(std::function<void(std::type_identity_t<T>*)> action,
                              std::shared_ptr<bool> seen = std::make_shared<bool>(false), int tries = 20000)
{
    QTimer::singleShot(0, qApp, [action = std::move(action), seen, tries]() {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            *seen = true;
            QPointer<QWidget> guard(dialog);
            action(dialog);
            if (guard && guard->isVisible())
                static_cast<QDialog*>(guard.data())->reject();
            return;
        }
        if (tries > 0)
            onModal<T>(action, seen, tries - 1);
    });
    return seen;
}
