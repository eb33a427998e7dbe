// The About box, the manual and the maker's upgrade page.

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "about_dialog.h"
#include "current_directory.h"
#include "main_dialog.h"
#include "manual_path.h"
#include "url_opener.h"

namespace {

const QString kUpgradePage = QStringLiteral("https://www.hollenby.com/zerbex2/upgrade.html");
const QString kReaderDownloadPage = QStringLiteral("https://get.adobe.com/reader/");
const QString kMsgNoReader = QStringLiteral(
    "Error: You need to install Acrobat Reader to view manual!\n Zerbex will attempt to "
    "connect to the Adobe webpage.");

}  // namespace

UrlOpener& MainDialog::Urls() {
    return m_services.urls ? *m_services.urls : m_desktopUrls;
}

void MainDialog::OnAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::OnCheckUpgrades() {
    Urls().Open(QUrl(kUpgradePage));
}

void MainDialog::OnManual() {
    SetCurrentDirectory(m_strStartDir);
    // Found from the program's own folder, wherever the user started it from.
    const QString manual = FindManual(QCoreApplication::applicationDirPath());
    if (!QFile::exists(manual) || !Urls().Open(QUrl::fromLocalFile(manual))) {
        MessageBox(kMsgNoReader);
        Urls().Open(QUrl(kReaderDownloadPage));
    }
    SetCurrentDirectory(ProfileFolder());
}
