#include "ui_language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

bool SpeaksTemplateLanguage(const QStringList& uiLanguages) {
    // C, POSIX, C.UTF-8, C-..., zh, zh-..., zh_...
    static const QRegularExpression kTemplateLanguage(
        QStringLiteral("^(c|posix|zh)$|^(c[.-]|zh[-_])"));
    return uiLanguages.isEmpty() ||
           kTemplateLanguage.match(uiLanguages.first().toLower()).hasMatch();
}

bool InstallUiLanguage(QCoreApplication& app, const QStringList& uiLanguages) {
    // The default locale also picks the button faces drawn with words on them (the
    // resources' language variants).
    if (SpeaksTemplateLanguage(uiLanguages)) {
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
        return true;
    }
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/i18n/zerbex2_en.qm"))) {
        delete translator;
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
        return false;
    }
    QCoreApplication::installTranslator(translator);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    return true;
}
