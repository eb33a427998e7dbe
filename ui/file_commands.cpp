// Choosing the input and output files, and writing the processed copy.

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>

#include "render/render_pool.h"
#include "settings/job_messages.h"
#include "ui/file_dialogs.h"
#include "ui/job_progress.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/profile.h"
#include "ui/resource_ids.h"
#include "ui/trackbar_slider.h"

namespace fs = std::filesystem;

namespace {

const QString kProfileSection = QStringLiteral("Default");
const QString kProfileEntry = QStringLiteral("Path");
const QString kWriteSection = QStringLiteral("Write");
const QString kVocalsEntry = QStringLiteral("Vocals");
constexpr char kVocalsNotKeptText[] =
    QT_TRANSLATE_NOOP("Zerbex", "无法将“同时写人声”的选择保存到 %1。");
const QString kLoudnessEntry = QStringLiteral("Loudness");
constexpr char kLoudnessNotKeptText[] =
    QT_TRANSLATE_NOOP("Zerbex", "无法将“匹配响度”的选择保存到 %1。");

const QString kMsgStopFirst = QStringLiteral("Please stop playing audio first!");
const QString kMsgPathTooLong = QStringLiteral("The file path is too long.");
// The window's title while the input is decoded: its own, and how far the decoding is.
constexpr char kDecodingTitle[] = QT_TRANSLATE_NOOP("Zerbex", "%1（正在解码输入文件：%2%）");

// Paths are held to a fixed length; a longer one is refused with a message.
constexpr qsizetype kMaxPathBytes = 609;

bool TooLong(const QString& path) {
    return QFile::encodeName(path).size() > kMaxPathBytes;
}

fs::path FsPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Local files among what is dragged or dropped, in their order.
QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data != nullptr ? data->urls() : QList<QUrl>()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    return paths;
}

}  // namespace

void MainWindow::KeepWriteChecks() {
    KeepCheck(m_ui.writeVocalsCheck, kVocalsEntry, kVocalsNotKeptText);
    KeepCheck(m_ui.matchLoudnessCheck, kLoudnessEntry, kLoudnessNotKeptText);
    // A playback started from now on matches the loudness too.
    m_controls.matchLoudness = m_ui.matchLoudnessCheck->isChecked() ? 1 : 0;
    connect(m_ui.matchLoudnessCheck, &QCheckBox::toggled, this,
            [this](bool on) { m_controls.matchLoudness = on ? 1 : 0; });
}

void MainWindow::KeepCheck(QCheckBox* box, const QString& entry, const char* notKeptText) {
    box->setChecked(m_services.profile.GetString(kWriteSection, entry, QStringLiteral("0")) ==
                    QStringLiteral("1"));
    connect(box, &QCheckBox::toggled, this, [this, entry, notKeptText](bool on) {
        if (!m_services.profile.WriteString(kWriteSection, entry,
                                            on ? QStringLiteral("1") : QStringLiteral("0"))) {
            m_services.boxes.Tell(
                QCoreApplication::translate("Zerbex", notKeptText).arg(m_services.profile.Path()),
                MessageIcon::Warning);
        }
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
    if (!m_phase.Idle()) {
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

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        DropFiles(paths);
    }
}

void MainWindow::DropFiles(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    if (!m_phase.Idle()) {
        Tell(kMsgStopFirst);
        return;
    }
    SelectInputFile(paths.first());
}

// The decoding starts now, on the input's own thread: the window stays usable, and a playback
// plays what is decoded while the rest follows.
void MainWindow::SelectInputFile(const QString& path) {
    if (TooLong(path)) {
        Tell(kMsgPathTooLong);
        RememberFolder();
        return;
    }
    m_scan.Stop();
    m_input = InputFile();  // the decoding of the last input ends before the next one starts
    m_input = StartInput(FsPath(path), m_runner.Disk());
    const bool another = m_inputSelected && path != m_inputPath;
    m_inputPath = path;
    m_ui.inputPathEdit->setText(path);
    m_inputSelected = true;
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
    m_controls.loopStartFrame = -1;
    m_controls.loopEndFrame = -1;
    StartWaveform();
    // A confirmed choice makes the chosen file's folder the dialogs'.
    m_folder = QFileInfo(path).absolutePath();
    ShowDecoding();
    RememberFolder();
}

void MainWindow::ShowDecoding() {
    if (!m_input.Decoding()) {
        m_decodingTimer->stop();
        setWindowTitle(m_title);
        return;
    }
    const auto percent = static_cast<int>(m_input.DecodingProgress() * 100);
    setWindowTitle(QCoreApplication::translate("Zerbex", kDecodingTitle).arg(m_title).arg(percent));
    if (!m_decodingTimer->isActive()) {
        m_decodingTimer->start();
    }
}

// A write or an analysis reads the whole copy, so it waits for the decoder as for a job of
// its own; Cancel leaves the decoding running.
bool MainWindow::AwaitDecoding() {
    if (!m_input.Decoding()) {
        return true;
    }
    Shared<int> cancel{0};
    bool ended = false;
    RunWithProgress(
        QStringLiteral("Decoding the input file..."),
        [&] { ended = m_input.WaitForDecoding(&cancel, *this); }, cancel);
    return ended;
}

// Until the user has chosen an output, the dialog proposes NAME-karaoke.EXT beside the input.
void MainWindow::ChooseOutput() {
    const QStringList filters = OutputFilters();
    FileDialogRequest request{.kind = FileDialogRequest::Kind::Save,
                              .directory = m_folder,
                              .filter = filters.front(),
                              .otherFilters = filters.mid(1)};
    if (!m_outputSelected && m_inputSelected) {
        const QString proposed = ProposedOutputName(m_inputPath);
        request.directory = QFileInfo(m_inputPath).absolutePath();
        request.initialName = proposed;
        request.selectedFilter = OutputFilterFor(QFileInfo(proposed).suffix());
    }
    const std::optional<QString> chosen = m_services.files.Choose(request);
    if (!chosen) {
        return;
    }
    if (TooLong(*chosen)) {
        Tell(kMsgPathTooLong);
        return;
    }
    m_ui.outputPathEdit->setText(*chosen);
    m_outputSelected = true;
    m_outputFor = m_inputPath;
}

void MainWindow::WriteOutput() {
    if (!m_inputSelected || !m_outputSelected) {
        Tell(QStringLiteral("You need to select an input file and output file first!"));
        return;
    }
    // One job at a time: a write never runs beside a playback, nor beside another write
    // started from a message box's own event loop.
    if (!m_phase.BeginWrite()) {
        Tell(kMsgStopFirst);
        return;
    }
    const JobResult result = RunWrite();
    m_phase.EndWrite();
    // The meter goes dark as after a playback, a level the write told last dropped.
    m_latestLevel = -1;
    ShowMeter(IDB_METER_DARK);
    if (result == JobResult::Done) {
        QString done = QStringLiteral("Done processing file!");
        // An input cut short was written as far as it decoded: the user hears of it here.
        if (const std::optional<JobMessage> warning = m_input.Warning()) {
            done += QStringLiteral("\n\n%1: %2")
                        .arg(QFileInfo(m_inputPath).fileName(),
                             QString::fromStdString(MessageText(*warning)));
        }
        m_services.boxes.Tell(done, MessageIcon::Information);
    }
}

// The write command once the window is in its writing phase; Done only when the copy was
// written.
JobResult MainWindow::RunWrite() {
    ReadTrackbars();
    // The path as typed, whichever file the output dialog chose.
    const QString output = m_ui.outputPathEdit->text();
    if (TooLong(output)) {
        Tell(kMsgPathTooLong);
        return JobResult::Failed;
    }
    // No file is written under a name whose format it would not have.
    if (OutputFormatFor(FsPath(output)) == nullptr) {
        Tell(output + QStringLiteral(": ") +
             QString::fromStdString(MessageText(CannotWriteMessage(FsPath(output)))));
        return JobResult::Refused;
    }
    if (output == m_inputPath || SameFile(FsPath(m_inputPath), FsPath(output))) {
        Message({JobError::SameFile});
        return JobResult::Failed;
    }
    const QString question =
        QFileInfo::exists(output)
            ? QStringLiteral("This command will overwrite the output file. Are you sure?")
            : QStringLiteral("Do you wish to create a new file?");
    if (!m_services.boxes.AskYesNo(question)) {
        return JobResult::Failed;
    }
    if (!AwaitDecoding()) {
        return JobResult::Stopped;
    }
    if (const std::optional<JobMessage> refusal = m_input.Refusal()) {
        Message(*refusal);
        return JobResult::Refused;
    }
    m_controls.stop = 0;
    ApplyPan();
    const bool stereo = m_chosenMode == PlayMode::Stereo;
    m_controls.params.focus = FocusFor(m_positions.focus);
    m_controls.params.mode = stereo ? PlayMode::Stereo : PlayMode::Mode2;
    WriteRequest request;
    request.input = FsPath(m_inputPath);
    if (m_input.Decoded()) {
        request.reads = m_input.Reads();
    }
    request.output = FsPath(output);
    request.params = &m_controls.params;  // copied when the job starts
    request.keyTempo = {m_positions.key, m_positions.tempo};
    request.stems = m_ui.writeVocalsCheck->isChecked();
    if (m_ui.matchLoudnessCheck->isChecked()) {
        request.loudness = {Loudness::Kind::Match, 0};
    }
    request.loopEnd = m_controls.loopEnd;
    request.stop = &m_controls.stop;
    JobResult result = JobResult::Failed;
    RunWithProgress(stereo ? QStringLiteral("Writing the output file in the stereo mode...")
                           : QStringLiteral("Writing the output file in mode 2..."),
                    [&] {
                        RenderPool pool;
                        request.pool = &pool;
                        request.ioThreads = pool.HasSpareThread(1);
                        result = m_runner.Write(request, *this);
                    });
    m_controls.params.mode = PlayMode::Mode2;
    return result;
}

void MainWindow::RunWithProgress(const QString& label, const std::function<void()>& job) {
    RunWithProgress(label, job, m_controls.stop);
}

void MainWindow::RunWithProgress(const QString& label, const std::function<void()>& job,
                                 Shared<int>& stop) {
    JobProgress progress(*this, label, stop);
    m_progress = &progress;
    progress.Run(m_bridge.Workers(), job);
    m_progress = nullptr;
}
