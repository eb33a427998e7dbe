// Choosing the input and output files, and writing the processed copy.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include "settings/job_messages.h"
#include "ui/file_dialogs.h"
#include "ui/job_progress.h"
#include "ui/main_window.h"
#include "ui/profile.h"
#include "ui/resource_ids.h"
#include "ui/trackbar_slider.h"
#include "ui/ui_language.h"

namespace {

const QString kProfileSection = QStringLiteral("Default");
const QString kProfileEntry = QStringLiteral("Path");
const QString kWriteSection = QStringLiteral("Write");

const QString kMsgStopFirst = QStringLiteral("Please stop playing audio first!");
// The window's title while the input is decoded: its own, and how far the decoding is.
constexpr char kDecodingTitle[] = QT_TRANSLATE_NOOP("Zerbex", "%1（正在解码输入文件：%2%）");

constexpr qsizetype kMaxPathBytes = 609;

}  // namespace

void MainWindow::KeepCheck(QCheckBox* box, const QString& entry, const char* notKeptText) {
    box->setChecked(m_services.profile.GetString(kWriteSection, entry, QStringLiteral("0")) ==
                    QStringLiteral("1"));
    connect(box, &QCheckBox::toggled, this, [this, entry, notKeptText](bool on) {
        KeepInProfile(kWriteSection, entry, on ? QStringLiteral("1") : QStringLiteral("0"),
                      notKeptText);
    });
}

void MainWindow::FollowProfileFolder() {
    const QString folder =
        m_services.profile.GetString(kProfileSection, kProfileEntry, QDir::homePath());
    if (QFileInfo(folder).isDir()) {
        m_folder = folder;
    }
}

void MainWindow::RememberFolder() {
    m_services.profile.WriteString(kProfileSection, kProfileEntry, m_folder);
}

void MainWindow::ChooseInput() {
    if (m_host.Phase() != JobPhase::Idle) {
        Tell(kMsgStopFirst);
        return;
    }
    FollowProfileFolder();
    const FileDialogRequest request{
        .kind = FileDialogRequest::Kind::Open,
        .directory = m_folder,
        .initialName = {},  // a "*.wav" name would hide every other kind
        .filter = AudioFilesFilter(),
        .otherFilters = {QStringLiteral("Wave Files (*.wav)"), QStringLiteral("All Files (*)")}};
    if (const std::optional<QString> chosen = m_services.files.Choose(request)) {
        SelectInputFile(*chosen);
        return;
    }
    RememberFolder();
}

// The decoding starts now, on the input's own thread: the window stays usable, and a playback
// plays what is decoded while the rest follows.
void MainWindow::SelectInputFile(const QString& path) {
    if (RefusedPath(path)) {
        RememberFolder();
        return;
    }
    m_scan.Stop();
    const bool another = m_host.HasInput() && path != m_host.InputPath();
    m_host.OpenInput(path);
    m_ui.inputPathEdit->setText(path);
    // An output chosen or typed for the last input is not this one's: a write would land
    // beside the wrong song. This input's own name is proposed in its place.
    if (another && (m_outputSelected || !m_ui.outputPathEdit->text().isEmpty()) &&
        m_outputFor != path) {
        m_ui.outputPathEdit->setText(
            QDir(QFileInfo(path).absolutePath()).filePath(ProposedOutputName(path)));
    }
    m_outputFor = path;
    // The loop spans the whole data again.
    m_ui.Slider(Knob::LoopStart)->SetUp(RowOf(Knob::LoopStart));
    m_ui.Slider(Knob::LoopEnd)->SetUp(RowOf(Knob::LoopEnd));
    StartWaveform();
    // A confirmed choice makes the chosen file's folder the dialogs'.
    m_folder = QFileInfo(path).absolutePath();
    ShowDecoding();
    RememberFolder();
}

void MainWindow::ShowDecoding() {
    const InputFile& input = m_host.Input();
    if (!input.Decoding()) {
        m_decodingTimer->stop();
        setWindowTitle(m_title);
        return;
    }
    const auto percent = static_cast<int>(input.DecodingProgress() * 100);
    setWindowTitle(Tr(kDecodingTitle).arg(m_title).arg(percent));
    if (!m_decodingTimer->isActive()) {
        m_decodingTimer->start();
    }
}

// A write or an analysis reads the whole copy, so it waits for the decoder as for a job of
// its own; Cancel leaves the decoding running.
bool MainWindow::AwaitDecoding() {
    if (!m_host.Input().Decoding()) {
        return true;
    }
    std::stop_source cancel;
    bool ended = false;
    RunWithProgress(
        QStringLiteral("Decoding the input file..."),
        [&] { ended = m_host.AwaitDecoding(cancel.get_token()); }, cancel);
    return ended;
}

// Until the user has chosen an output, the dialog proposes NAME-karaoke.EXT beside the input.
void MainWindow::ChooseOutput() {
    const QStringList filters = OutputFilters();
    FileDialogRequest request{.kind = FileDialogRequest::Kind::Save,
                              .directory = m_folder,
                              .filter = filters.front(),
                              .otherFilters = filters.mid(1)};
    const QString& input = m_host.InputPath();
    if (!m_outputSelected && m_host.HasInput()) {
        const QString proposed = ProposedOutputName(input);
        request.directory = QFileInfo(input).absolutePath();
        request.initialName = proposed;
        request.selectedFilter = OutputFilterFor(QFileInfo(proposed).suffix());
    }
    const std::optional<QString> chosen = m_services.files.Choose(request);
    if (!chosen || RefusedPath(*chosen)) {
        return;
    }
    m_ui.outputPathEdit->setText(*chosen);
    m_outputSelected = true;
    m_outputFor = input;
}

void MainWindow::WriteOutput() {
    if (!m_host.HasInput() || !m_outputSelected) {
        Tell(QStringLiteral("You need to select an input file and output file first!"));
        return;
    }
    // One job at a time: a write never runs beside a playback, nor beside another write
    // started from a message box's own event loop.
    if (!m_host.BeginWrite()) {
        Tell(kMsgStopFirst);
        return;
    }
    const JobResult result = RunWrite();
    m_host.EndWrite();
    ShowMeter(IDB_METER_DARK);  // as after a playback
    if (result == JobResult::Done) {
        QString done = QStringLiteral("Done processing file!");
        // An input cut short was written as far as it decoded: the user hears of it here.
        if (const std::optional<JobMessage> warning = m_host.Input().Warning()) {
            done += QStringLiteral("\n\n%1: %2")
                        .arg(QFileInfo(m_host.InputPath()).fileName(),
                             QString::fromStdString(MessageText(*warning)));
        }
        m_services.boxes.Tell(done, MessageIcon::Information);
    }
}

// The write command once the window is in its writing phase; Done only when the copy was
// written.
JobResult MainWindow::RunWrite() {
    PublishPositions();
    // The path as typed, whichever file the output dialog chose.
    const QString output = m_ui.outputPathEdit->text();
    const QString& input = m_host.InputPath();
    if (RefusedPath(output)) {
        return JobResult::Failed;
    }
    // No file is written under a name whose format it would not have.
    if (OutputFormatFor(FsPath(output)) == nullptr) {
        Tell(output + QStringLiteral(": ") +
             QString::fromStdString(MessageText(CannotWriteMessage(FsPath(output)))));
        return JobResult::Refused;
    }
    if (output == input || SameFile(FsPath(input), FsPath(output))) {
        TellJob({JobError::SameFile});
        return JobResult::Failed;
    }
    const QString question =
        QFileInfo::exists(output)
            ? QStringLiteral("This command will overwrite the output file. Are you sure?")
            : QStringLiteral("Do you wish to create a new file?");
    if (!Confirm(question)) {
        return JobResult::Failed;
    }
    if (!AwaitDecoding()) {
        return JobResult::Stopped;
    }
    if (const std::optional<JobMessage> refusal = m_host.Input().Refusal()) {
        TellJob(*refusal);
        return JobResult::Refused;
    }
    PlayControls& controls = m_host.Controls();
    controls.stop = std::stop_source();
    Apply({Knob::Pan, Knob::Focus});
    const bool stereo = m_host.ChosenMode() == PlayMode::Stereo;
    ProcessingParameters params = controls.settings.Read();
    params.mode = stereo ? PlayMode::Stereo : PlayMode::Mode2;
    WriteRequest request;
    request.input = FsPath(input);
    request.reads = m_host.Input().Decoded() ? m_host.Input().Reads() : std::filesystem::path();
    request.output = FsPath(output);
    request.params = &params;
    request.keyTempo = {Pos(Knob::Key), Pos(Knob::Tempo)};
    request.stems = m_ui.writeVocalsCheck->isChecked();
    request.loudness = WriteLoudness();
    request.loopEnd = controls.play.Read().loopEnd;
    request.stop = controls.stop.get_token();
    JobResult result = JobResult::Failed;
    RunWithProgress(
        stereo ? QStringLiteral("Writing the output file in the stereo mode...")
               : QStringLiteral("Writing the output file in mode 2..."),
        [&] { result = m_host.Write(request); }, controls.stop);
    return result;
}

// Paths are held to a fixed length; a longer one is refused with a message.
bool MainWindow::RefusedPath(const QString& path) {
    if (QFile::encodeName(path).size() <= kMaxPathBytes) {
        return false;
    }
    Tell(QStringLiteral("The file path is too long."));
    return true;
}

bool MainWindow::RunWithProgress(const QString& label, const std::function<void()>& job,
                                 std::stop_source& stop) {
    JobProgress progress(*this, label, stop);
    m_progress = &progress;
    const bool ran = progress.Run(m_host.Workers(), job);
    m_progress = nullptr;
    return ran;
}

// The check box's choice: the input's loudness or none.
Loudness MainWindow::WriteLoudness() const {
    return m_ui.matchLoudnessCheck->isChecked() ? Loudness{Loudness::Kind::Match, 0} : Loudness{};
}
