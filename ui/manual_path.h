#pragma once

#include <QString>

// The PDF manual for a program in programDir: beside it in manual/ (the build tree), else in
// the documentation folder of the tree it is installed in. When neither exists, the path
// beside the program, which then fails to open.
// name: the manual's file, the one for the window's language.
QString FindManual(const QString& programDir,
                   const QString& name = QStringLiteral("zerbex2manual.pdf"));
