#include "ui/dialog_template.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <type_traits>

#include "ui/bitmap_button.h"
#include "ui/main_window_ui.h"
#include "ui/trackbar_slider.h"

namespace {

using K = ControlKind;
using Ui = MainWindowUi;

// Stores a control in the typed member of the window's controls that its row names, or as the
// trackbar of its knob.
template <auto member>
void Keep(MainWindowUi& ui, QWidget* control) {
    auto& kept = ui.*member;
    kept = qobject_cast<std::remove_reference_t<decltype(kept)>>(control);
    Q_ASSERT(kept != nullptr);
}

template <Knob knob>
void KeepSlider(MainWindowUi& ui, QWidget* control) {
    ui.sliders[static_cast<std::size_t>(knob)] = qobject_cast<TrackbarSlider*>(control);
    Q_ASSERT(ui.Slider(knob) != nullptr);
}

// The key and tempo trackbars are a row of their own below the template's controls, which keep
// their places; the window grows by that row. The focus trackbar shares it, the stereo mode's
// play button stands below the two removal buttons, and the check box for the vocals sits
// above the write command, the window growing to the right by the width of its caption; the
// one for the loudness below it, right of the playback group.
// A few positions are nudged so that every caption fits with the CJK fonts of a Linux
// desktop and no two controls overlap: the play-position label takes two lines, the loop-start
// trackbar ends where the play-position trackbar begins, the pan trackbar starts below its scale
// labels and the output level marks sit left of its trackbar.
// clang-format off
constexpr ControlTemplate kMainControls[] = {
    {"inputPathEdit",       K::Edit,       {7, 7, 307, 12},     kDisabled | kBorder, Keep<&Ui::inputPathEdit>,       ""},
    {"selectInputButton",   K::PushButton, {323, 7, 59, 12},    0,                                  Keep<&Ui::selectInputButton>,   QT_TRANSLATE_NOOP("Zerbex", "选择和输入文件")},
    {"outputPathEdit",      K::Edit,       {7, 22, 307, 12},    kBorder,             Keep<&Ui::outputPathEdit>,      ""},
    {"selectOutputButton",  K::PushButton, {323, 22, 59, 12},   0,                                  Keep<&Ui::selectOutputButton>,  QT_TRANSLATE_NOOP("Zerbex", "选择输出文件")},
    {"",                    K::GroupBox,   {33, 39, 375, 61},   0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "发挥节能与控制")},
    {"",                    K::Static,     {46, 47, 40, 9},     0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "循环开始：")},
    {"loopStartSlider",     K::Trackbar,   {86, 47, 313, 11},   0,            KeepSlider<Knob::LoopStart>,    kTrackbarText},
    {"",                    K::Static,     {46, 59, 40, 18},    0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "发挥定位及作用：")},
    {"playPosSlider",       K::Trackbar,   {86, 58, 313, 19},   kTicksBoth,                         KeepSlider<Knob::PlayPos>,      kTrackbarText},
    {"",                    K::Static,     {46, 84, 40, 9},     0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "循环结束：")},
    {"loopEndSlider",       K::Trackbar,   {86, 82, 313, 12},   0,                           KeepSlider<Knob::LoopEnd>,      kTrackbarText},
    {"",                    K::GroupBox,   {34, 102, 216, 106}, 0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "调整过滤器和频道自上而下")},
    {"lowButton",           K::PushButton, {40, 118, 27, 14},   kBitmap,                   Keep<&Ui::lowButton>,           QT_TRANSLATE_NOOP("Zerbex", "低")},
    {"lowSlider",           K::Trackbar,   {69, 113, 178, 19},  kTicksAbove,                        KeepSlider<Knob::Low>,          kTrackbarText},
    {"highButton",          K::PushButton, {40, 141, 27, 14},   kBitmap,                            Keep<&Ui::highButton>,          QT_TRANSLATE_NOOP("Zerbex", "&高")},
    {"highSlider",          K::Trackbar,   {69, 136, 178, 19},  kTicksAbove,                        KeepSlider<Knob::High>,         kTrackbarText},
    {"leftButton",          K::PushButton, {40, 164, 27, 14},   kBitmap,                            Keep<&Ui::leftButton>,          QT_TRANSLATE_NOOP("Zerbex", "左边")},
    {"leftSlider",          K::Trackbar,   {69, 159, 178, 19},  kTicksAbove,                        KeepSlider<Knob::Left>,         kTrackbarText},
    {"rightButton",         K::PushButton, {40, 187, 27, 14},   kBitmap,                            Keep<&Ui::rightButton>,         QT_TRANSLATE_NOOP("Zerbex", "右边")},
    {"rightSlider",         K::Trackbar,   {69, 182, 178, 19},  kTicksAbove,                        KeepSlider<Knob::Right>,        kTrackbarText},
    {"",                    K::GroupBox,   {33, 215, 345, 40},  0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "调整声相位置")},
    {"playMode2Button",     K::PushButton, {102, 223, 57, 14},  kBitmap | kDefault,                 Keep<&Ui::playMode2Button>,     QT_TRANSLATE_NOOP("Zerbex", "发挥Zerbex &2")},
    {"playMode1Button",     K::PushButton, {102, 239, 57, 14},  kBitmap,                            Keep<&Ui::playMode1Button>,     QT_TRANSLATE_NOOP("Zerbex", "发挥Zerbex &1")},
    {"playOriginalButton",  K::PushButton, {43, 231, 57, 14},   kBitmap,                            Keep<&Ui::playOriginalButton>,  QT_TRANSLATE_NOOP("Zerbex", "发挥原件")},
    {"panSlider",           K::Trackbar,   {169, 234, 208, 19}, kTicksAbove,                        KeepSlider<Knob::Pan>,          kTrackbarText},
    {"",                    K::Static,     {176, 225, 17, 9},   kNoWordWrap,                        nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "左边")},
    {"",                    K::Static,     {261, 225, 30, 9},   kNoWordWrap,                        nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "中心")},
    {"",                    K::Static,     {352, 225, 17, 9},   kNoWordWrap,                        nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "右：")},
    {"outputLevelSlider",   K::Trackbar,   {339, 118, 22, 83},  kVertical | kTicksAbove,            KeepSlider<Knob::OutputLevel>,  kTrackbarText},
    {"",                    K::Static,     {330, 121, 9, 9},    0,                                  nullptr,                        "+"},
    {"",                    K::Static,     {330, 190, 9, 9},    0,                                  nullptr,                        "0"},
    {"writeFileButton",     K::PushButton, {385, 22, 50, 12},   0,                                  Keep<&Ui::writeFileButton>,     QT_TRANSLATE_NOOP("Zerbex", "写文件")},
    {"aboutButton",         K::PushButton, {249, 266, 50, 14},  0,                                  Keep<&Ui::aboutButton>,         QT_TRANSLATE_NOOP("Zerbex", "关于Zerbex")},
    {"checkUpgradesButton", K::PushButton, {304, 266, 50, 14},  0,                                  Keep<&Ui::checkUpgradesButton>, QT_TRANSLATE_NOOP("Zerbex", "检查的Hollenby")},
    {"exitButton",          K::PushButton, {359, 266, 50, 14},  0,                                  Keep<&Ui::exitButton>,          QT_TRANSLATE_NOOP("Zerbex", "退出")},
    {"",                    K::GroupBox,   {320, 103, 88, 106}, 0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "调节输出")},
    {"meter",               K::Static,     {383, 113, 15, 13},  kBitmap,           Keep<&Ui::meter>,               ""},
    {"manualButton",        K::PushButton, {194, 266, 50, 14},  0,                                  Keep<&Ui::manualButton>,        QT_TRANSLATE_NOOP("Zerbex", "读取和手册")},
    {"",                    K::Static,     {34, 289, 30, 9},    0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "音调：")},
    {"keySlider",           K::Trackbar,   {64, 287, 100, 13},  0,                           KeepSlider<Knob::Key>,          kTrackbarText},
    {"",                    K::Static,     {170, 289, 30, 9},   0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "速度：")},
    {"tempoSlider",         K::Trackbar,   {200, 287, 90, 13},  0,                           KeepSlider<Knob::Tempo>,        kTrackbarText},
    {"",                    K::Static,     {296, 289, 30, 9},   0,                                  nullptr,                        QT_TRANSLATE_NOOP("Zerbex", "焦点：")},
    {"focusSlider",         K::Trackbar,   {326, 287, 83, 13},  0,                           KeepSlider<Knob::Focus>,        kTrackbarText},
    {"playStereoButton",    K::PushButton, {102, 266, 57, 14},  kBitmap,                            Keep<&Ui::playStereoButton>,    QT_TRANSLATE_NOOP("Zerbex", "发挥立体声 &3")},
    {"writeVocalsCheck",    K::CheckBox,   {385, 7, 96, 12},    0,                                  Keep<&Ui::writeVocalsCheck>,    QT_TRANSLATE_NOOP("Zerbex", "同时写人声")},
    {"matchLoudnessCheck",  K::CheckBox,   {412, 37, 72, 12},   0,                                  Keep<&Ui::matchLoudnessCheck>,  QT_TRANSLATE_NOOP("Zerbex", "匹配响度")},
};
// clang-format on

static_assert(std::size(kMainControls) == 47);

}  // namespace

const DialogTemplate& MainDialogTemplate() {
    static const DialogTemplate kMain{QT_TRANSLATE_NOOP("Zerbex", "Zerbex 2声乐消除工作站"),
                                      QSize(488, 306), 9, kMainControls};
    return kMain;
}
