// Choosing the input and output files, and writing the processed copy.

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <limits>
#include <thread>

#include "current_directory.h"
#include "engine_input.h"
#include "file_dialogs.h"
#include "main_dialog.h"
#include "parameters.h"
#include "profile.h"
#include "resource_ids.h"
#include "slider_ctrl.h"
#include "wave_job.h"
#include "wave_probe.h"

namespace {

const QString kProfileSection = QStringLiteral("Default");
const QString kProfileEntry = QStringLiteral("Path");

const QString kMsgStopFirst = QStringLiteral("Please stop playing audio first!");
const QString kMsgSelectBoth =
    QStringLiteral("You need to select an input file and output file first!");
const QString kMsgOverwrite =
    QStringLiteral("This command will overwrite the output file. Are you sure?");
const QString kMsgCreate = QStringLiteral("Do you wish to create a new file?");
const QString kMsgDone = QStringLiteral("Done processing file!");
const QString kMsgPathTooLong = QStringLiteral("The file path is too long.");
const QString kMsgDecoding = QStringLiteral("Decoding the input file...");

constexpr int kProgressDelayMs = 500;  // shorter decodings show no dialog
constexpr int kProgressPollMs = 20;
constexpr int kProgressSteps = 1000;

// Copies a path into a path member; false (member untouched) when it does not fit.
bool StorePath(const QString& path, char (&member)[kPathChars]) {
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= static_cast<qsizetype>(kPathChars)) {
        return false;
    }
    std::memcpy(member, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    member[bytes.size()] = '\0';
    return true;
}

// Prepares the chosen input for the engine on a worker thread. A decoding that lasts longer
// than half a second shows a progress dialog with Cancel; until then the window takes no
// input, so that nothing starts meanwhile. Nothing when the user cancelled.
std::optional<EngineInput> PrepareWithProgress(const QString& path, QWidget* parent) {
    const std::string name = QFile::encodeName(path).toStdString();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec) || EngineTakesAsIs(name)) {
        return PrepareEngineInput(name, {});  // nothing to decode: no thread, no dialog
    }
    std::atomic<int> done{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    EngineInput input;
    std::thread worker([&] {
        input = PrepareEngineInput(name, [&](double fraction) {
            done = static_cast<int>(fraction * kProgressSteps);
            return !cancel;
        });
        finished = true;
    });
    QProgressDialog progress(kMsgDecoding, QStringLiteral("Cancel"), 0, kProgressSteps, parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(std::numeric_limits<int>::max());  // shown here, not by itself
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished || (!progress.isVisible() && clock.elapsed() >= kProgressDelayMs)) {
            loop.quit();
            return;
        }
        progress.setValue(done);
        cancel = progress.wasCanceled();
    });
    poll.start(kProgressPollMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished) {
        progress.show();
        loop.exec();
    }
    worker.join();
    if (input.Status() == InputStatus::Cancelled) {
        return std::nullopt;
    }
    return input;
}

}  // namespace

QString MainDialog::ProfileFolder() const {
    return m_services.profile.GetString(kProfileSection, kProfileEntry, QDir::homePath());
}

bool MainDialog::AnyModeFlagSet() const {
    for (const ModeFlag& entry : kPlayModes) {
        if ((m_state.*entry.flag) != 0) {
            return true;
        }
    }
    return false;
}

void MainDialog::OnSelectInput() {
    if (!m_phase.Idle() || AnyModeFlagSet()) {
        MessageBox(kMsgStopFirst);
        return;
    }
    SetCurrentDirectory(ProfileFolder());
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.directory = CurrentDirectory();
    request.filter = AudioFilesFilter();
    request.initialName.clear();  // a "*.wav" name would hide every other kind
    request.otherFilters = {QStringLiteral("Wave Files (*.wav)"), QStringLiteral("All Files (*)")};
    if (const std::optional<QString> chosen = m_services.files.Choose(request)) {
        SelectInputFile(*chosen);
        return;
    }
    m_services.profile.WriteString(kProfileSection, kProfileEntry, CurrentDirectory());
}

// Local files among what is dragged or dropped, in their order.
static QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    return paths;
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainDialog::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    OnDropFiles(paths);
}

void MainDialog::OnDropFiles(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    if (!m_phase.Idle() || AnyModeFlagSet()) {
        MessageBox(kMsgStopFirst);
        return;
    }
    SelectInputFile(paths.first());
}

void MainDialog::SelectInputFile(const QString& path) {
    // The decoding happens now, so that play starts at once later; a cancelled decoding is
    // a cancelled choice.
    std::optional<EngineInput> input = PrepareWithProgress(path, this);
    if (input && !StorePath(path, m_state.m_szInputPath)) {
        MessageBox(kMsgPathTooLong);
    } else if (input) {
        m_input = std::move(*input);
        m_inputLength = ProbeWaveLength(m_input.EnginePath());
        SetDlgItemText(IDC_INPUT_PATH, path);
        m_state.m_bInputSelected = true;
        m_sliderLoopStart->setRange(0, 100);
        m_sliderLoopStart->SetPos(0);
        m_sliderLoopEnd->setRange(0, 100);
        m_sliderLoopEnd->SetPos(100);
        // A confirmed choice makes the chosen file's folder current.
        SetCurrentDirectory(QFileInfo(path).absolutePath());
    }
    m_services.profile.WriteString(kProfileSection, kProfileEntry, CurrentDirectory());
}

void MainDialog::OnSelectOutput() {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.directory = CurrentDirectory();
    request.otherFilters = {QStringLiteral("FLAC Files (*.flac)")};
    const std::optional<QString> chosen = m_services.files.Choose(request);
    if (!chosen) {
        return;
    }
    if (!StorePath(*chosen, m_state.m_szOutputPath)) {
        MessageBox(kMsgPathTooLong);
        return;
    }
    SetDlgItemText(IDC_OUTPUT_PATH, *chosen);
    m_state.m_bOutputSelected = true;
}

// Refreshes the bound members from their controls; the typed path is read only when the
// write command runs.
void MainDialog::OnOutputPathChange() {
    UpdateData(true);
}

void MainDialog::OnWriteFile() {
    if (!m_state.m_bInputSelected || !m_state.m_bOutputSelected) {
        MessageBox(kMsgSelectBoth);
        return;
    }
    // One job at a time: a write never runs beside a playback, nor beside another write
    // started from a message box's own event loop.
    if (!m_phase.BeginWrite()) {
        MessageBox(kMsgStopFirst);
        return;
    }
    const JobResult result = RunWriteCommand();
    m_phase.EndWrite();
    if (result == JobResult::Done) {
        MessageBox(kMsgDone, MB_ICONINFORMATION);
    }
}

// The write command once the window is in its writing phase; Done only when the copy was
// written.
JobResult MainDialog::RunWriteCommand() {
    UpdateData(true);
    const QString typed = GetDlgItemText(IDC_OUTPUT_PATH);
    if (!StorePath(typed, m_state.m_szOutputPath)) {
        MessageBox(kMsgPathTooLong);
        return JobResult::Failed;
    }
    if (std::strcmp(m_state.m_szOutputPath, m_state.m_szInputPath) == 0 ||
        SameFile(m_state.m_szInputPath, m_state.m_szOutputPath)) {
        MessageBox(QString::fromUtf8(kMsgSameFile));
        return JobResult::Failed;
    }
    const bool exists = QFileInfo::exists(QFile::decodeName(m_state.m_szOutputPath));
    if (MessageBox(exists ? kMsgOverwrite : kMsgCreate, MB_YESNO) != IDYES) {
        return JobResult::Failed;
    }
    m_state.m_bStopRequest = 0;
    ApplyPanGains(m_state);
    SetModeFlags(PlayMode::Mode2);

    JobContext context{*this, nullptr};
    const JobResult result =
        WriteOutputFile(context, m_input, m_state.m_szInputPath, m_state.m_szOutputPath);
    m_state.m_bPlayMode2 = 0;
    return result;
}
