#pragma once

#include <QString>

struct UiServices;

// Runs the main window over services until it closes, with input (when not empty) chosen as
// if in the input dialog.
void RunMainWindow(const UiServices& services, const QString& input = {});

// The same over the desktop's message boxes and file dialogs, the user's profile and the
// sound device the user chose on the window menu (the system's default until then).
void RunProgram(const QString& input = {});
