#pragma once

#include "uDialogs.h"

// The dialog seam's real handler: Qt message boxes, input box, file dialogs and a
// user/password box, owned by the active window. The program installs one at start.
class WidgetDialogs : public dialogs::Handler
{
public:
    dialogs::Answer answer(const dialogs::Request& request) override;
};

// Installs a process-wide WidgetDialogs unless a handler is already installed.
void installWidgetDialogs();
