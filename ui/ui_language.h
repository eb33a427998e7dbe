#pragma once

#include <QStringList>

class QCoreApplication;

// Whether the window speaks its template's own Chinese: when a Chinese language comes first
// in the user's list of languages, or the list names only the C or POSIX locale (or none).
// Any other language gets the English captions.
bool SpeaksTemplateLanguage(const QStringList& uiLanguages);

// Loads the captions for the user's languages (QLocale::system().uiLanguages(), which follows
// LANGUAGE, LC_ALL, LC_MESSAGES and LANG) into app. False when the English captions were
// asked for and could not be loaded; the window then keeps its Chinese ones.
bool InstallUiLanguage(QCoreApplication& app, const QStringList& uiLanguages);

// A caption or message in the language the program speaks; text is its source (Chinese)
// text, marked with QT_TRANSLATE_NOOP("Zerbex", ...) where it is written.
QString Tr(const char* text);
