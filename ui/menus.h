#pragma once

// What the window's menus that are filled as they open share.

#include <QString>
#include <string>

class QMenu;

// A name as a menu shows it: an ampersand is no shortcut mark.
QString MenuText(const std::string& name);
// Removes a menu's entries; one of them may be the entry being carried out.
void ClearMenu(QMenu* menu);
