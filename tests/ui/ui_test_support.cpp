#include "tests/ui/ui_test_support.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTranslator>

#include "render/render_pool.h"
#include "tests/test_support/write_helpers.h"
#include "ui/ui_language.h"

namespace fs = std::filesystem;

void EnsureApplication() {
    if (QApplication::instance()) {
        return;
    }
    // As the program's main allows its write jobs' pools.
    static const ThreadAllowance threads(RenderPool::CoreCount());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

bool SpeakEnglish(bool english) {
    EnsureApplication();
    for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    return InstallUiLanguage(*QCoreApplication::instance(),
                             {english ? QStringLiteral("en-GB") : QStringLiteral("zh-CN")});
}

bool RecordingBoxes::Show(const MessageBoxRequest& request) {
    shown.push_back(request);
    threads.push_back(QThread::currentThread());
    if (whileOpen) {
        const auto hook = whileOpen;  // the hook may replace itself
        hook(request);
    }
    if (!request.question) {
        return true;
    }
    const std::size_t index = m_questions++;
    return index >= answers.size() || answers[index];
}

std::optional<QString> RecordingBoxes::AskText(const QString& label) {
    textLabels.push_back(label);
    const std::size_t index = textLabels.size() - 1;
    return index < textAnswers.size() ? textAnswers[index] : std::nullopt;
}

std::vector<QString> RecordingBoxes::Texts() const {
    std::vector<QString> texts;
    for (const MessageBoxRequest& request : shown) {
        texts.push_back(request.text);
    }
    return texts;
}

std::optional<QString> ScriptedFileDialogs::Choose(const FileDialogRequest& request) {
    const std::size_t index = requests.size();
    requests.push_back(request);
    return index < answers.size() ? answers[index] : std::nullopt;
}

bool RecordingUrls::Open(const QUrl& url) {
    opened.push_back(url);
    return url.isLocalFile() ? manualOpens : true;
}

WindowFixture::WindowFixture(std::chrono::microseconds perBlock)
    : profile((EnsureApplication(), QDir(profileDir.path()).filePath("zerbex2.ini"))),
      audio(perBlock),
      window(std::make_unique<MainWindow>(
          UiServices{boxes, files, profile, &audio, &urls, &devices})) {}

void WindowFixture::Reopen() {
    window.reset();
    window =
        std::make_unique<MainWindow>(UiServices{boxes, files, profile, &audio, &urls, &devices});
}

WindowFixture::~WindowFixture() {
    window.reset();
}

fs::path WindowFixture::Make(const std::string& name, const Bytes& bytes) {
    fs::path path = dir / name;
    WriteFile(path, bytes);
    return path;
}

void WindowFixture::ChooseInput(const fs::path& path) {
    files.answers.resize(files.requests.size());
    files.answers.push_back(Q(path));
    Ui().selectInputButton->click();
}

void WindowFixture::ChooseOutput(const fs::path& path) {
    files.answers.resize(files.requests.size());
    files.answers.push_back(Q(path));
    Ui().selectOutputButton->click();
}

QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

Bytes ModeTwoWrite(const Bytes& input, const Positions& positions) {
    ProcessingParameters params;
    SetParameters(params, positions);
    return ExpectedWrite(input, params);
}
