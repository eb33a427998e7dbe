#pragma once

#include <QString>

// The PDF manual for a program in programDir: beside it in manual/ (the build tree), else in
// the documentation folder of the tree it is installed in. When neither exists, the path
// beside the program, which then fails to open.
QString FindManual(const QString& programDir);
