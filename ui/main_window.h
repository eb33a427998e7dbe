#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>

#include "container/wave_layout.h"
#include "jobs/device_choice.h"
#include "jobs/input_file.h"
#include "jobs/job_runner.h"
#include "jobs/waveform_scan.h"
#include "render/job_observer.h"
#include "settings/presets.h"
#include "ui/job_phase.h"
#include "ui/main_window_ui.h"
#include "ui/ui_thread_bridge.h"
#include "ui/url_opener.h"

class AudioDevices;
class AudioOut;
class FileDialogs;
class JobProgress;
class MessageBoxes;
class Profile;
class QActionGroup;
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

// The main window. It runs one job at a time on a worker thread and shares the controls with
// it; what the job tells is carried out on the window's thread while the job waits. Closing
// the window stops the job, and the window does not go away before its workers have ended.
class MainWindow : public QDialog, private JobObserver {
    Q_OBJECT

  public:
    explicit MainWindow(UiServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Chooses path as the input, as the input dialog would: the program's FILE argument.
    void SelectInputFile(const QString& path);
    // Files dropped onto the window: the first is chosen as the input.
    void DropFiles(const QStringList& paths);

    const MainWindowUi& Ui() const { return m_ui; }
    const PlayControls& Controls() const { return m_controls; }
    JobPhase Phase() const { return m_phase.Phase(); }
    // No job runs, and the end of the last one has been handled.
    bool Idle() const;
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
    const std::string& ChosenDevice() const { return m_device.Chosen(); }

    void done(int result) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // One slot for each control's command.
    void ChooseInput();
    void ChooseOutput();
    void WriteOutput();
    void ShowAbout();
    void OpenUpgradePage();
    void OpenManual();
    void SuggestSettings();
    void SavePresetCommand();
    void ApplyPreset(const Preset& preset);
    void DeletePresetCommand(const std::string& name);
    // Runs a change of the presets file off the window's thread; its error text.
    std::optional<std::string> ChangePresets(
        const std::function<std::optional<std::string>()>& change);
    void ChooseDevice(const std::string& device);

    // Set-up.
    void SetUpTrackbars();
    void MakeInputPathReadable();
    void ConnectControls();
    void CreateWindowMenu();
    void CreatePresetMenus();
    void FillPresetMenus(const PresetList& list);
    void CreateSoundMenu();
    void FillSoundMenu();
    // chosen: checked though the choice names it otherwise (the default device by its name).
    void AddDeviceEntry(const QString& text, const std::string& device, bool chosen = false);
    static QString DeviceGoneText(const std::string& device);
    // Beside the profile.
    std::filesystem::path PresetsFile() const;
    Positions SliderPositions() const;
    void ShowStartPositions();

    // Trackbars. ReadTrackbars copies every position into the shared state, in the dialog
    // order, and is the output path box's slot too; WriteTrackbars goes the other way.
    void ReadTrackbars();
    bool ReadPanValue();
    void WriteTrackbars();
    void TrackbarReleased(Knob knob);
    void HorizontalTrackbarMoved();
    void OutputLevelMoved();
    void ApplyPan();
    void ApplyAllTrackbars();
    void MoveKey(int pos);
    void ShowPanValue();
    // The key, tempo and focus values beside their trackbars.
    void ShowValues();
    // Key and tempo back at their start-up positions, heard at once.
    void ResetKeyAndTempo();

    // The waveform: its envelope computed as the input is decoded, clicks that move the
    // playback, drags that set a loop to the frame.
    void ConnectWaveform();
    // A new song's waveform, or the same song's measured again for new cut-offs.
    void StartWaveform(bool newSong = true);
    void ShowEnvelope(const EnvelopeBatch& batch);
    void SeekToFrame(std::int64_t frame);
    void SetLoopFrames(std::int64_t start, std::int64_t end);
    // A loop trackbar moved: the loop is in steps again.
    void LoopTrackbarMoved();
    void ShowLoopOnWaveform();
    // The frame a step of the position trackbars stands for, as their tooltips tell it;
    // negative while the input's length is unknown.
    std::int64_t FrameOfStep(int step) const;
    int StepOfFrame(std::int64_t frame) const;

    // Keys that reach the window itself rather than one of its controls.
    bool KeyReachedWindowItself(const QKeyEvent& event) const;

    // Play commands.
    void PlayCommand(PlayMode mode);
    void StartPlayback(PlayMode mode);
    // Points the sound output at the chosen device, or says that it is gone.
    void UseChosenDevice();
    PlayResult PlayInput();
    void PlaybackEnded(PlayResult result);
    void ShowStopFace(PlayMode mode);
    void ShowAllIdleFaces();
    void ResetPlayButtons();
    void ShowMeter(int bitmapId);

    // File commands. The file dialogs open in the profile's folder from now on, unless it has
    // gone.
    void FollowProfileFolder();
    // The "Write the vocals too" and "Match loudness" check boxes as the profile keeps them,
    // and kept on each change.
    void KeepWriteChecks();
    void KeepCheck(QCheckBox* box, const QString& entry, const char* notKeptText);
    void RememberFolder();
    JobResult RunWrite();
    // Runs job on a worker, the window waiting with a progress dialog after half a second;
    // its Cancel sets stop.
    void RunWithProgress(const QString& label, const std::function<void()>& job);
    void RunWithProgress(const QString& label, const std::function<void()>& job, Shared<int>& stop);
    // Waits for the input's decoding to end, as a job does; false when the user cancelled.
    bool AwaitDecoding();
    // The decoding's progress in the window's title while it runs.
    void ShowDecoding();
    void Tell(const QString& text);
    UrlOpener& Urls();

    // JobObserver: called from a job's thread and carried out on the window's, the job
    // waiting; the level and the progress come too often for that, and the window shows the
    // latest of them as soon as it can.
    void Message(const JobMessage& message) override;
    // The message text, or the window's own in its language where there is none.
    static QString WindowText(const JobMessage& message);
    void Position(int step) override;
    void HeardFrame(std::int64_t frame) override;
    void Loop(int start, int end) override;
    void Level(int segments) override;
    void Progress(double done) override;
    void PlayedOut() override;
    void QueueLatest();
    void ShowLatest();

    // Stops the job and waits for its worker, carrying out what the worker asks meanwhile.
    void ShutDown();

    UiServices m_services;
    MainWindowUi m_ui;
    QMenu* m_windowMenu = nullptr;
    QMenu* m_presetsMenu = nullptr;             // apply
    QMenu* m_deletePresetMenu = nullptr;        // the user's own
    std::vector<std::string> m_presetProblems;  // as last told
    QMenu* m_soundMenu = nullptr;
    QActionGroup* m_deviceEntries = nullptr;  // one checked: the chosen device
    DeviceChoice m_device;                    // read from the profile at the start
    DesktopUrlOpener m_desktopUrls;

    // What the job shares: the processing parameters and the requests, read without locks.
    PlayControls m_controls;
    // The trackbars as last read, and the pan value the hidden box shows.
    Positions m_positions;
    // The mode of the last play button pressed: a write and a suggestion follow it, the stereo
    // mode as itself and every other mode as mode 2.
    PlayMode m_chosenMode = PlayMode::Mode2;
    float m_panValue = 0.0f;

    JobRunner m_runner;
    JobPhaseState m_phase;
    JobProgress* m_progress = nullptr;  // while the window waits for a job
    int m_meterImage = 0;
    // What the job told last and the window has not shown yet; negative: nothing.
    std::atomic<int> m_latestLevel{-1};
    std::atomic<double> m_latestDone{-1.0};
    std::atomic<std::int64_t> m_latestHeard{-1};
    std::atomic<bool> m_latestQueued{false};

    // The input as chosen and what the jobs read for it; changed only while idle.
    QString m_inputPath;
    InputFile m_input;
    QString m_title;  // the window's own, without the decoding's progress
    QTimer* m_decodingTimer = nullptr;
    bool m_inputSelected = false;
    bool m_outputSelected = false;
    // The input the output box's name was chosen or typed for; empty: before any input.
    QString m_outputFor;
    QString m_folder;  // where the file dialogs open

    WaveformScan m_scan;
    int m_waveformSong = 0;  // counts the songs scanned

    UiThreadBridge m_bridge{*this};
};
