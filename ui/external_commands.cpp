// The About box, the manual, the maker's upgrade page and the suggested settings.

#include <QApplication>
#include <QFile>

#include "jobs/suggest.h"
#include "ui/about_dialog.h"
#include "ui/main_window.h"
#include "ui/manual_path.h"
#include "ui/trackbar_slider.h"

namespace {

const QString kUpgradePage = QStringLiteral("https://www.hollenby.com/zerbex2/upgrade.html");
const QString kReaderDownloadPage = QStringLiteral("https://get.adobe.com/reader/");
const char* const kMsgNoReader =
    "Error: You need to install Acrobat Reader to view manual!\n Zerbex will attempt to "
    "connect to the Adobe webpage.";

// Keeps what a job told, to be shown once the job has returned.
class HeldMessage : public JobObserver {
  public:
    void Message(const JobMessage& message) override { held = message; }
    std::optional<JobMessage> held;
};

}  // namespace

UrlOpener& MainWindow::Urls() {
    return m_services.urls ? *m_services.urls : m_desktopUrls;
}

void MainWindow::ShowAbout() {
    AboutDialog(this).exec();
}

void MainWindow::OpenUpgradePage() {
    Urls().Open(QUrl(kUpgradePage));
}

// Found from the program's own folder, wherever the user started it from.
void MainWindow::OpenManual() {
    // The manual that names the captions the window shows: its file name is translated too.
    const QString manual = FindManual(
        QCoreApplication::applicationDirPath(),
        QCoreApplication::translate("Zerbex", QT_TRANSLATE_NOOP("Zerbex", "zerbex2manual-zh.pdf")));
    if (!QFile::exists(manual) || !Urls().Open(QUrl::fromLocalFile(manual))) {
        // The English text names a viewer the user installs from the distribution; only the
        // template's own message goes on to the reader maker's page.
        const QString text = QCoreApplication::translate("Zerbex", kMsgNoReader);
        Tell(text);
        if (text == QLatin1String(kMsgNoReader)) {
            Urls().Open(QUrl(kReaderDownloadPage));
        }
    }
    FollowProfileFolder();
}

// Moves the pan, cut-off and level trackbars to the settings suggested for the input, read
// from a few excerpts of it: a fraction of a second whatever the song's length.
void MainWindow::SuggestSettings() {
    if (!m_inputSelected) {
        Tell(QStringLiteral("You need to select an input file first!"));
        return;
    }
    if (!AwaitDecoding()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    HeldMessage refusal;
    // After the stereo mode was played, the suggestion is the stereo mode's.
    const PlayMode mode = m_chosenMode;
    const std::optional<Positions> suggested = SuggestPositions(m_input.Reads(), refusal, mode);
    QApplication::restoreOverrideCursor();
    if (!suggested) {
        if (refusal.held) {
            Message(*refusal.held);
        }
        return;
    }
    // Through the trackbars, so that a playback hears the new settings from its next frame.
    for (const Knob knob : {Knob::Pan, Knob::Low, Knob::High, Knob::Left, Knob::Right}) {
        m_ui.Slider(knob)->setValue(PositionOf(*suggested, knob));
    }
    if (mode == PlayMode::Stereo) {
        m_ui.Slider(Knob::Focus)->setValue(suggested->focus);
    }
    ApplyAllTrackbars();
}
