#pragma once

// Numbers of the main window's images, as the resources name them.

#include <QtGlobal>

// Level meter, from dark to all eight segments lit.
inline constexpr int IDB_METER_DARK = 134;
inline constexpr int kMeterBitmaps[9] = {134, 140, 139, 138, 137, 136, 135, 142, 132};

// Faces of the mode buttons.
inline constexpr int IDB_LOW_IDLE = 144;
inline constexpr int IDB_LEFT_IDLE = 145;
inline constexpr int IDB_RIGHT_IDLE = 146;
inline constexpr int IDB_HIGH_IDLE = 147;
inline constexpr int IDB_LOW_STOP = 148;
inline constexpr int IDB_LEFT_STOP = 149;
inline constexpr int IDB_RIGHT_STOP = 152;
inline constexpr int IDB_HIGH_STOP = 153;
inline constexpr int IDB_PLAY_MODE2_IDLE = 154;
inline constexpr int IDB_WIDE_STOP = 155;  // shared by the four wide play buttons
inline constexpr int IDB_PLAY_MODE1_IDLE = 156;
inline constexpr int IDB_PLAY_ORIGINAL_IDLE = 157;
inline constexpr int IDB_PLAY_STEREO_IDLE = 158;

// Text of the About entry in the window menu (the trailing blank belongs to it).
inline constexpr char kAboutMenuText[] = QT_TRANSLATE_NOOP("Zerbex", "关于Zerbex ... ");
