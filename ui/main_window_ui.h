#pragma once

// The main window's controls, built from its template: each at its place, with its caption
// in the language the program speaks, in template order, which is also the tab order.

#include <array>
#include <vector>

#include "trackbars/parameters.h"
#include "ui/dialog_template.h"

class BitmapButton;
struct DialogBaseUnits;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class TrackbarSlider;
class WaveformView;

struct MainWindowUi {
    QLineEdit* inputPathEdit = nullptr;
    QPushButton* selectInputButton = nullptr;
    QLineEdit* outputPathEdit = nullptr;
    QPushButton* selectOutputButton = nullptr;
    QPushButton* writeFileButton = nullptr;

    std::array<TrackbarSlider*, std::size(kKnobs)> sliders{};  // in the order of Knob

    BitmapButton* lowButton = nullptr;
    BitmapButton* highButton = nullptr;
    BitmapButton* leftButton = nullptr;
    BitmapButton* rightButton = nullptr;
    BitmapButton* playMode2Button = nullptr;
    BitmapButton* playMode1Button = nullptr;
    BitmapButton* playOriginalButton = nullptr;
    BitmapButton* playStereoButton = nullptr;
    QCheckBox* writeVocalsCheck = nullptr;    // a write writes the removed part too
    QCheckBox* matchLoudnessCheck = nullptr;  // a write matches the input's loudness
    QLabel* meter = nullptr;

    QPushButton* aboutButton = nullptr;
    QPushButton* checkUpgradesButton = nullptr;
    QPushButton* manualButton = nullptr;
    QPushButton* exitButton = nullptr;

    std::vector<QWidget*> controls;  // every control, in template order

    // Beyond the template: the waveform above the playback trackbars, which move down to make
    // room for it, and the values of the key, tempo and focus trackbars below them.
    WaveformView* waveform = nullptr;
    static constexpr int kWaveformRoom = 47;  // dialog units the template's lower part moves
    static constexpr int kValueRow = 10;      // and those the values take below the rest
    QLabel* keyValue = nullptr;
    QLabel* tempoValue = nullptr;
    QLabel* focusValue = nullptr;

    // Gives the window its caption, font and fixed size, and creates the controls as its
    // children.
    void SetUp(QWidget& window, const DialogTemplate& dialog);
    // The waveform and the value labels, and the waveform in the tab order.
    void AddBeyondTemplate(QWidget& window, const DialogBaseUnits& units);
    // Names the trackbars and path boxes in the language the program speaks.
    void NameForScreenReaders();
    TrackbarSlider* Slider(Knob knob) const { return sliders[static_cast<std::size_t>(knob)]; }
};
