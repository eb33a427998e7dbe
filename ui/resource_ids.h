#pragma once

// Numbers of the main window's controls, commands and resources.

#include <QtGlobal>

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDM_ABOUTBOX = 0x0010;

inline constexpr int IDC_STATIC = -1;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_INPUT_PATH = 1002;
inline constexpr int IDC_SELECT_INPUT = 1003;
inline constexpr int IDC_WRITE_FILE = 1004;
inline constexpr int IDC_PLAY_MODE2 = 1005;
inline constexpr int IDC_CHECK_UPGRADES = 1006;
inline constexpr int IDC_OUTPUT_PATH = 1007;
inline constexpr int IDC_SELECT_OUTPUT = 1008;
inline constexpr int IDC_ABOUT = 1009;
inline constexpr int IDC_PAN = 1010;
inline constexpr int IDC_LOW = 1011;
inline constexpr int IDC_PAN_VALUE = 1012;
inline constexpr int IDC_LOW_SLIDER = 1013;
inline constexpr int IDC_HIGH_SLIDER = 1014;
inline constexpr int IDC_HIGH = 1015;
inline constexpr int IDC_PLAY_ORIGINAL = 1016;
inline constexpr int IDC_PLAY_MODE1 = 1017;
inline constexpr int IDC_PLAY_POS = 1018;
inline constexpr int IDC_LEFT = 1019;
inline constexpr int IDC_LEFT_SLIDER = 1020;
inline constexpr int IDC_RIGHT_SLIDER = 1021;
inline constexpr int IDC_RIGHT = 1022;
inline constexpr int IDC_OUTPUT_LEVEL = 1023;
inline constexpr int IDC_LOOP_END = 1024;
inline constexpr int IDC_LOOP_START = 1025;
inline constexpr int IDC_MANUAL = 1026;
inline constexpr int IDC_CLIP_LAMP = 1035;

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
inline constexpr int IDB_WIDE_STOP = 155;  // shared by the three wide play buttons
inline constexpr int IDB_PLAY_MODE1_IDLE = 156;
inline constexpr int IDB_PLAY_ORIGINAL_IDLE = 157;

// Text of the About entry in the window menu (the trailing blank belongs to it).
inline constexpr char kAboutMenuText[] = QT_TRANSLATE_NOOP("Zerbex", "关于Zerbex ... ");
