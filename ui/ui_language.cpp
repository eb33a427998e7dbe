#include "ui_language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

bool SpeaksTemplateLanguage(const QStringList& uiLanguages) {
    if (uiLanguages.isEmpty()) {
        return true;
    }
    const QString first = uiLanguages.first().toLower();
    if (first == QLatin1String("c") || first == QLatin1String("posix") ||
        first.startsWith(QLatin1String("c.")) || first.startsWith(QLatin1String("c-"))) {
        return true;
    }
    return first == QLatin1String("zh") || first.startsWith(QLatin1String("zh-")) ||
           first.startsWith(QLatin1String("zh_"));
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
