#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <span>

#include "jobs/waveform_scan.h"
#include "settings/presets.h"
#include "ui/job_host.h"
#include "ui/main_window_ui.h"
#include "ui/message_boxes.h"
#include "ui/url_opener.h"

class FileDialogs;
class JobProgress;
class Profile;
class QActionGroup;
class QCheckBox;
class QMenu;
class QTimer;

// What the window needs from outside: the message boxes, the file dialogs, the profile, the
// sound output and the devices it may play on.
struct UiServices {
    MessageBoxes& boxes;
    FileDialogs& files;
    Profile& profile;
    AudioOut* audio = nullptr;              // null: there is no sound device
    UrlOpener* urls = nullptr;              // null: the desktop's
    const AudioDevices* devices = nullptr;  // null: the default device alone
};

// The main window: the template's controls, each trackbar bound to the value it sets, and the
// commands, which leave the jobs to the job host. Closing the window stops the job, and the
// window does not go away before its workers have ended.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    explicit MainWindow(UiServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Chooses path as the input, as the input dialog would: the program's FILE argument.
    void SelectInputFile(const QString& path);
    // Files dropped onto the window: the first is chosen as the input.
    void DropFiles(const QStringList& paths);

    const MainWindowUi& Ui() const { return m_ui; }
    const PlayControls& Controls() const { return m_host.Controls(); }
    JobPhase Phase() const { return m_host.Phase(); }
    // No job runs, and the end of the last one has been handled.
    bool Idle() const { return m_host.Idle(); }
    // Resource number of the level meter's image.
    int MeterImage() const { return m_meterImage; }
    // The window's own menu, on its context menu.
    QMenu* WindowMenu() const { return m_windowMenu; }
    // Reads the presets file again into the window menu's preset entries, first telling what
    // is damaged in it when that changed: before the menu shows.
    PresetList RefreshPresetMenus();
    // The window menu's choice of sound device, filled as it opens.
    QMenu* SoundMenu() const { return m_soundMenu; }
    // The device the next play opens, as chosen; empty for the system's default.
    const std::string& ChosenDevice() const { return m_host.ChosenDevice(); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Set-up.
    void SetUpTrackbars();
    void MakeInputPathReadable();
    void ConnectControls();
    void ConnectJobHost();
    void CreateWindowMenu();

    // What users rely on from the keyboard and the mouse beyond the controls' own handling.
    void ConnectShortcuts();
    void KeysShowTestBoxes(QKeyEvent* event);
    // Return and Enter press the focused button, else Play Zerbex 2; Escape closes the window.
    bool EnterOrEscape(QKeyEvent* event);
    // Play Zerbex 2 looks the default button unless another button has the focus.
    void DefaultButtonFollowsFocus(QWidget* now);
    void MoveKey(int pos);

    // The trackbars, each bound to what it sets. A job reads the positions the user last set,
    // and the values the named knobs give; moves made by the program reach it with the next
    // move or release by the user.
    int Pos(Knob knob) const;
    void PublishPositions();
    void Apply(std::span<const Knob> knobs);
    void Apply(std::initializer_list<Knob> knobs) { Apply({knobs.begin(), knobs.size()}); }
    void TrackbarReleased(Knob knob);
    // Positions from a preset or a suggestion, heard from the next piece on.
    void MoveTrackbars(const Positions& positions, std::initializer_list<Knob> knobs);
    // The key, tempo and focus values beside their trackbars.
    void ShowValues();

    // The waveform: its envelope computed as the input is decoded, clicks that move the
    // playback, drags that set a loop to the frame.
    void ConnectWaveform();
    // A new song's waveform, or the same song's measured again for new cut-offs.
    void StartWaveform(bool newSong = true);
    void ShowEnvelope(const EnvelopeBatch& batch);
    void SeekToFrame(qint64 frame);
    void SetLoopFrames(qint64 start, qint64 end);
    void ShowLoopOnWaveform();
    // The frame a step of the position trackbars stands for, as their tooltips tell it;
    // negative while the input's length is unknown.
    std::int64_t FrameOfStep(int step) const;
    int StepOfFrame(std::int64_t frame) const;

    // The play buttons' faces and the meter.
    void ShowPlaying(PlayMode mode);
    void ShowIdle();
    void ShowMeter(int bitmapId);

    // Files. The file dialogs open in the profile's folder from now on, unless it has gone.
    void ChooseInput();
    void ChooseOutput();
    void WriteOutput();
    JobResult RunWrite();
    bool RefusedPath(const QString& path);
    void FollowProfileFolder();
    void RememberFolder();
    // The check boxes as the profile keeps them, and kept on each change.
    void KeepCheck(QCheckBox* box, const QString& entry, const char* notKeptText);
    // Waits for the input's decoding to end, as a job does; false when the user cancelled.
    bool AwaitDecoding();
    // What a write or a preset saved now does to the loudness, as the check box says.
    Loudness WriteLoudness() const;
    // The decoding's progress in the window's title while it runs.
    void ShowDecoding();
    // Runs job on a worker, the window waiting with a progress dialog after half a second;
    // its Cancel sets stop. False, and job not run, when no worker could start.
    bool RunWithProgress(const QString& label, const std::function<void()>& job,
                         std::stop_source& stop);

    // The window menu's presets and sound output.
    void CreatePresetMenus();
    void FillPresetMenus(const PresetList& list);
    void SavePresetCommand();
    void ApplyPreset(const Preset& preset);
    void DeletePresetCommand(const std::string& name);
    // Runs a change of the presets file off the window's thread, warning of its error text.
    void ChangePresets(const std::function<std::optional<std::string>()>& change);
    std::filesystem::path PresetsFile() const;
    void CreateSoundMenu();
    void FillSoundMenu();
    // chosen: checked though the choice names it otherwise (the default device by its name).
    void AddDeviceEntry(const QString& text, const std::string& device, bool chosen = false);

    // The About box, the manual, the maker's page and the suggested settings.
    void ShowAbout();
    void OpenUpgradePage();
    void OpenManual();
    void SuggestSettings();
    UrlOpener& Urls() { return m_services.urls ? *m_services.urls : m_desktopUrls; }

    // Every message box of the window goes through these.
    void Tell(const QString& text) { m_services.boxes.Tell(text); }
    void Warn(const QString& text) { m_services.boxes.Tell(text, MessageIcon::Warning); }
    bool Confirm(const QString& question) { return m_services.boxes.AskYesNo(question); }
    void TellJob(const JobMessage& message);
    // Stores a choice in the profile, warning with notKeptText when it cannot.
    void KeepInProfile(const QString& section, const QString& entry, const QString& value,
                       const char* notKeptText);

    // Stops the job and waits for its worker, carrying out what the worker asks meanwhile.
    void ShutDown();

    UiServices m_services;
    MainWindowUi m_ui;
    JobHost m_host;
    QMenu* m_windowMenu = nullptr;
    QMenu* m_presetsMenu = nullptr;             // apply
    QMenu* m_deletePresetMenu = nullptr;        // the user's own
    std::vector<std::string> m_presetProblems;  // as last told
    QMenu* m_soundMenu = nullptr;
    QActionGroup* m_deviceEntries = nullptr;  // one checked: the chosen device
    DesktopUrlOpener m_desktopUrls;

    JobProgress* m_progress = nullptr;  // while the window waits for a job
    int m_meterImage = 0;

    QString m_title;  // the window's own, without the decoding's progress
    QTimer* m_decodingTimer = nullptr;
    bool m_outputSelected = false;
    // The input the output box's name was chosen or typed for; empty: before any input.
    QString m_outputFor;
    QString m_folder;  // where the file dialogs open

    WaveformScan m_scan;
    int m_waveformSong = 0;  // counts the songs scanned
};
