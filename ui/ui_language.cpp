#include "ui/ui_language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>
#include <memory>

bool SpeaksTemplateLanguage(const QStringList& uiLanguages) {
    // C, POSIX, C.UTF-8, C-..., zh, zh-..., zh_...
    static const QRegularExpression kTemplateLanguage(
        QStringLiteral("^(c|posix|zh)$|^(c[.-]|zh[-_])"));
    return uiLanguages.isEmpty() ||
           kTemplateLanguage.match(uiLanguages.first().toLower()).hasMatch();
}

bool InstallUiLanguage(QCoreApplication& app, const QStringList& uiLanguages) {
    const bool wantsEnglish = !SpeaksTemplateLanguage(uiLanguages);
    auto translator = std::make_unique<QTranslator>(&app);
    const bool english = wantsEnglish && translator->load(QStringLiteral(":/i18n/zerbex2_en.qm"));
    if (english) {
        QCoreApplication::installTranslator(translator.release());  // the application owns it
    }
    // The default locale also picks the button faces drawn with words on them (the
    // resources' language variants).
    QLocale::setDefault(english ? QLocale(QLocale::English, QLocale::UnitedKingdom)
                                : QLocale(QLocale::Chinese, QLocale::China));
    return english == wantsEnglish;
}

QString Tr(const char* text) {
    return QCoreApplication::translate("Zerbex", text);
}
