#pragma once

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <atomic>
#include <vector>

#include "dialog_template.h"
#include "engine_input.h"
#include "job_phase.h"
#include "message_boxes.h"
#include "processing.h"
#include "ui_thread_bridge.h"
#include "url_opener.h"
#include "wave_job.h"
#include "wave_probe.h"
#include "window_link.h"

class BitmapButton;
class FileDialogs;
class Profile;
class QLabel;
class QMenu;
class SliderCtrl;
class WaveOutBackend;

// What the window needs from outside: the message boxes, the file dialogs, the profile
// and the sound output system.
struct UiServices {
    MessageBoxes& boxes;
    FileDialogs& files;
    Profile& profile;
    WaveOutBackend* audio = nullptr;
    UrlOpener* urls = nullptr;  // null: the desktop's
};

// The main window. It owns the state a running job shares with it and is the job's
// WindowLink; a job may call it from a worker thread, and each such call is carried out on
// the user-interface thread while the worker waits. Once the window closes, those calls
// return at once, and the window does not go away before every worker has ended.
class MainDialog : public QDialog, public WindowLink {
    Q_OBJECT

  public:
    explicit MainDialog(UiServices services, QWidget* parent = nullptr);
    ~MainDialog() override;

    // WindowLink
    WindowState& State() override { return m_state; }
    void ShowMessage(const char* text) override;
    void SetTrackbarPos(Trackbar trackbar, int pos) override;
    int GetTrackbarPos(Trackbar trackbar) override;
    void ShowMeter(int bitmapId) override;
    void ResetPlayButtons() override;

    // true copies the controls into the members and validates them; false copies the members
    // into the controls. False when a value failed its check.
    bool UpdateData(bool saveAndValidate = true);
    // Recomputes every derived parameter from the trackbar positions.
    void UpdateParameters();
    // An application message box with the program's display name as caption.
    int MessageBox(const QString& text, unsigned type = MB_OK);

    QWidget* GetDlgItem(int id) const;
    QString GetDlgItemText(int id);
    void SetDlgItemText(int id, const QString& text);
    // Every control in template order.
    const std::vector<QWidget*>& Controls() const { return m_controls; }
    // The window's own menu, on its context menu.
    QMenu* SystemMenu() const { return m_systemMenu; }
    // Shows a bitmap on one of the seven mode buttons.
    void ShowButtonFace(int buttonId, int bitmapId);
    // Resource number of the image on a mode button or in the meter; 0 for none.
    int ButtonFace(int buttonId) const;
    int MeterBitmap() const { return m_meterBitmapId; }
    const QString& StartDir() const { return m_strStartDir; }
    const UiServices& Services() const { return m_services; }
    WorkerThreads& Workers() { return m_bridge.Workers(); }
    JobPhase Phase() const { return m_phase.Phase(); }

    void done(int result) override;

    // Trackbar handlers.
    void OnReleasedCapturePan();
    void OnReleasedCaptureLow();
    void OnReleasedCaptureHigh();
    void OnReleasedCaptureLeft();
    void OnReleasedCaptureRight();
    void OnReleasedCaptureOutputLevel();
    void OnReleasedCapturePlayPos();
    void OnReleasedCaptureLoop();
    void OnHScroll();
    void OnVScroll();
    // Keys that reach the window itself rather than one of its controls.
    void OnKeyDown(int nChar);
    void OnChar(int nChar);
    // Commands of the window's own menu.
    void OnSysCommand(int nID);

    // Commands.
    void OnSelectInput();
    // What OnSelectInput does once its dialog returned path; also the program's FILE argument.
    void SelectInputFile(const QString& path);
    // Files dropped onto the window: the first is chosen as the input, as the input dialog
    // would choose it.
    void OnDropFiles(const QStringList& paths);
    void OnSelectOutput();
    void OnOutputPathChange();
    void OnWriteFile();
    void OnPlayMode2();
    void OnPlayMode1();
    void OnPlayOriginal();
    void OnLow();
    void OnHigh();
    void OnLeft();
    void OnRight();
    void OnCheckUpgrades();
    void OnManual();
    virtual void OnAbout();
    // Moves the pan, cut-off and level trackbars to the settings suggested for the input.
    void OnSuggestSettings();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    struct ModeButton {
        BitmapButton* button;
        QPixmap* bitmap;
        int idleFace;
    };

    void CreateControls(const DialogTemplate& dialog);
    void BindControls();
    void AttachTrackbarTips();
    void MakeInputPathReadable();
    void ConnectMessageMap();
    void ConnectTrackbar(SliderCtrl* slider, void (MainDialog::*onRelease)());
    bool DoDataExchange(bool saveAndValidate);
    bool ExchangePanValue(bool saveAndValidate);
    void OnInitDialog();
    void AppendAboutEntry();
    void AppendSuggestEntry();
    void ShowIdleFaceOfCurrentMode();
    void ShowAllIdleFaces();
    void PumpMessages();
    void ShowFace(BitmapButton* button, QPixmap& bitmap, int bitmapId);
    SliderCtrl* SliderFor(Trackbar trackbar) const;
    bool KeyReachedWindowItself(const QKeyEvent& event) const;
    // Stops every job and waits for its worker, carrying out what the workers ask meanwhile.
    void ShutDownJobs();

    // Play commands.
    void OnPlayCommand(PlayMode mode);
    bool AnotherModeIsCurrent(PlayMode mode) const;
    void SetModeFlags(PlayMode mode);
    void ClearModeFlags();
    void ShowStopFace(PlayMode mode);
    void StartPlayback(PlayMode mode);
    void PlayThreadProc();
    void OnPlayFinished(bool playedSomething);
    void OnPlaybackEnded(bool playedSomething);

    // File commands.
    JobResult RunWriteCommand();
    bool AnyModeFlagSet() const;
    QString ProfileFolder() const;
    UrlOpener& Urls();

    UiServices m_services;
    WindowState m_state;
    EngineInput m_input;       // what the engine reads for m_szInputPath; changed only while idle
    WaveLength m_inputLength;  // of m_input's sample data, for the position tooltips
    JobPhaseState m_phase;
    DesktopUrlOpener m_desktopUrls;
    UiThreadBridge m_bridge{*this};

    QPixmap m_bmpMeter;
    QPixmap m_bmpLow;
    QPixmap m_bmpLeft;
    QPixmap m_bmpRight;
    QPixmap m_bmpHigh;
    QPixmap m_bmpPlayMode2;
    QPixmap m_bmpPlayMode1;
    QPixmap m_bmpPlayOriginal;
    QString m_strStartDir;
    QIcon m_hIcon;
    int m_meterBitmapId = 0;

    std::vector<QWidget*> m_controls;
    QMenu* m_systemMenu = nullptr;

    BitmapButton* m_btnPlayOriginal = nullptr;
    BitmapButton* m_btnPlayMode1 = nullptr;
    BitmapButton* m_btnPlayMode2 = nullptr;
    BitmapButton* m_btnRight = nullptr;
    BitmapButton* m_btnHigh = nullptr;
    BitmapButton* m_btnLeft = nullptr;
    BitmapButton* m_btnLow = nullptr;
    SliderCtrl* m_sliderLoopStart = nullptr;
    SliderCtrl* m_sliderLoopEnd = nullptr;
    QLabel* m_staticMeter = nullptr;
    SliderCtrl* m_sliderOutputLevel = nullptr;
    SliderCtrl* m_sliderLeft = nullptr;
    SliderCtrl* m_sliderRight = nullptr;
    SliderCtrl* m_sliderPlayPos = nullptr;
    SliderCtrl* m_sliderHigh = nullptr;
    SliderCtrl* m_sliderLow = nullptr;
    SliderCtrl* m_sliderPan = nullptr;

    // The mode buttons in the order their idle faces are restored.
    std::vector<ModeButton> m_modeButtons;
};
