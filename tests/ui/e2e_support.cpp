#include "tests/ui/e2e_support.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdlib>

#include "tests/test_support/alsa_capture.h"

namespace fs = std::filesystem;

std::uintmax_t SizeOf(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec || size < 44 ? 0 : size - 44;
}

void UseAlsaConfig(const TempDir& dir, const std::string& name, const std::string& text) {
    const fs::path config = dir / name;
    WriteFile(config, Bytes(text.begin(), text.end()));
    ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
}

fs::path UseCaptureDevice(const TempDir& dir) {
    fs::path capture = dir / "capture.wav";
    UseAlsaConfig(dir, "asound.conf", PacedFileDevice("!default", capture, kBytesPerSecond));
    return capture;
}

RealWindow::RealWindow(const TempDir& dir, MessageBoxes* boxes)
    : profile(QString::fromStdString((dir / "zerbex2.ini").string())),
      audio(sound),
      window(UiServices{boxes != nullptr ? *boxes : qtBoxes, files, profile, &audio, nullptr,
                        &sound}) {
    window.show();
}

MessageBoxWatch::MessageBoxWatch() {
    QObject::connect(&m_poll, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts.push_back(box->text());
            box->done(QMessageBox::Ok);
        }
    });
    m_poll.start(50);
}
