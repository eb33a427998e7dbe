#pragma once

#include <QString>

// The process's current directory. Setting a folder that is gone changes nothing and is
// not reported: no command stops for it.
QString CurrentDirectory();
void SetCurrentDirectory(const QString& dir);
