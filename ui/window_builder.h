#pragma once

// Builds a window from its template: the window's caption, font and fixed size, and every
// control at its place, in template order, which is also the tab order.

#include <QDialog>
#include <vector>

#include "dialog_template.h"

// The property that holds a control's id.
inline constexpr char kControlIdProperty[] = "controlId";

// Creates the controls as children of window; returns them in template order.
std::vector<QWidget*> BuildWindow(QDialog& window, const DialogTemplate& dialog);
