#pragma once

#include <QRect>
#include <span>

class QWidget;
struct MainWindowUi;

// The main window as a table of controls in template order, which is also the tab order.
// Positions and sizes are in dialog units.

enum class ControlKind { Edit, PushButton, GroupBox, Static, Trackbar, CheckBox };

// Styles a control may carry; several are combined in one value.
enum ControlStyle : unsigned {
    kHidden = 1u << 0,
    kDisabled = 1u << 1,
    kBorder = 1u << 2,
    kDefault = 1u << 6,  // the default push button
    kBitmap = 1u << 7,   // shows an image instead of its caption
    kNoWordWrap = 1u << 8,
    kVertical = 1u << 9,
    kTicksAbove = 1u << 10,  // horizontal trackbar, tick marks above (vertical: on the left)
    kTicksBoth = 1u << 11,
};

struct ControlTemplate {
    const char* name;  // the widget's object name; empty for the unnamed ones
    ControlKind kind;
    QRect rect;  // dialog units
    unsigned style;
    // Stores the control in its typed member of MainWindowUi; null for the unnamed ones.
    void (*keep)(MainWindowUi& ui, QWidget* control);
    const char* caption;
};

struct DialogTemplate {
    const char* caption;
    QSize size;  // dialog units
    int fontPointSize;
    std::span<const ControlTemplate> controls;
};

const DialogTemplate& MainDialogTemplate();

// Trackbars carry a template text that they never display.
inline constexpr char kTrackbarText[] = "滑块1";
