#include "ui_test_support.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "resource_ids.h"

void EnsureApplication() {
    if (QApplication::instance()) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

int RecordingBoxes::Show(const MessageBoxRequest& request) {
    const std::size_t index = shown.size();
    shown.push_back(request);
    if (whileOpen) {
        const auto hook = whileOpen;  // the hook may replace itself
        hook(request);
    }
    if (index < answers.size()) {
        return answers[index];
    }
    return (request.type & MB_YESNO) ? IDYES : IDOK;
}

std::optional<QString> ScriptedFileDialogs::Choose(const FileDialogRequest& request) {
    const std::size_t index = requests.size();
    requests.push_back(request);
    return index < answers.size() ? answers[index] : std::nullopt;
}

namespace {

QString MakeProfileDir() {
    QTemporaryDir dir;
    dir.setAutoRemove(false);
    return dir.path();
}

}  // namespace

DialogFixture::DialogFixture()
    : profileDir((EnsureApplication(), MakeProfileDir())),
      profile(QDir(profileDir).filePath("zerbex2.ini")) {
    dialog = std::make_unique<MainDialog>(UiServices{boxes, files, profile, nullptr});
}

DialogFixture::~DialogFixture() {
    dialog.reset();
    QDir(profileDir).removeRecursively();
}

std::vector<QString> DialogFixture::Texts() const {
    std::vector<QString> texts;
    for (const MessageBoxRequest& request : boxes.shown) {
        texts.push_back(request.text);
    }
    return texts;
}
