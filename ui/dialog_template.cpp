#include "dialog_template.h"

#include "resource_ids.h"

namespace {

using K = ControlKind;

// A few positions are nudged so that every caption fits with the CJK fonts of a Linux
// desktop and no two controls overlap: the play-position label takes two lines, the loop-start
// trackbar ends where the play-position trackbar begins, the pan trackbar starts below its scale
// labels and the output level marks sit left of its trackbar.
constexpr ControlTemplate kMainControls[] = {
    {IDC_INPUT_PATH,
     "IDC_INPUT_PATH",
     K::Edit,
     kDisabled | kBorder | kAutoHScroll,
     {7, 7, 307, 12},
     ""},
    {IDC_SELECT_INPUT, "IDC_SELECT_INPUT", K::PushButton, 0, {323, 7, 59, 12}, QT_TRANSLATE_NOOP("Zerbex", "选择和输入文件")},
    {IDC_OUTPUT_PATH, "IDC_OUTPUT_PATH", K::Edit, kBorder | kAutoHScroll, {7, 22, 307, 12}, ""},
    {IDC_SELECT_OUTPUT, "IDC_SELECT_OUTPUT", K::PushButton, 0, {323, 22, 59, 12}, QT_TRANSLATE_NOOP("Zerbex", "选择输出文件")},
    {IDC_STATIC, "IDC_STATIC", K::GroupBox, 0, {33, 39, 375, 61}, QT_TRANSLATE_NOOP("Zerbex", "发挥节能与控制")},
    {IDC_STATIC, "IDC_STATIC", K::Static, 0, {46, 47, 40, 9}, QT_TRANSLATE_NOOP("Zerbex", "循环开始：")},
    {IDC_LOOP_START,
     "IDC_LOOP_START",
     K::Trackbar,
     kNoTicks | kTransparent,
     {86, 47, 313, 11},
     kTrackbarText},
    {IDC_STATIC, "IDC_STATIC", K::Static, 0, {46, 59, 40, 18}, QT_TRANSLATE_NOOP("Zerbex", "发挥定位及作用：")},
    {IDC_PLAY_POS, "IDC_PLAY_POS", K::Trackbar, kTicksBoth, {86, 58, 313, 19}, kTrackbarText},
    {IDC_STATIC, "IDC_STATIC", K::Static, 0, {46, 84, 40, 9}, QT_TRANSLATE_NOOP("Zerbex", "循环结束：")},
    {IDC_LOOP_END, "IDC_LOOP_END", K::Trackbar, kThumbUp, {86, 82, 313, 12}, kTrackbarText},
    {IDC_STATIC, "IDC_STATIC", K::GroupBox, 0, {34, 102, 216, 106}, QT_TRANSLATE_NOOP("Zerbex", "调整过滤器和频道自上而下")},
    {IDC_LOW, "IDC_LOW", K::PushButton, kBitmap | kGroup, {40, 118, 27, 14}, QT_TRANSLATE_NOOP("Zerbex", "低")},
    {IDC_LOW_SLIDER, "IDC_LOW_SLIDER", K::Trackbar, kTicksAbove, {69, 113, 178, 19}, kTrackbarText},
    {IDC_HIGH, "IDC_HIGH", K::PushButton, kBitmap, {40, 141, 27, 14}, QT_TRANSLATE_NOOP("Zerbex", "&高")},
    {IDC_HIGH_SLIDER,
     "IDC_HIGH_SLIDER",
     K::Trackbar,
     kTicksAbove,
     {69, 136, 178, 19},
     kTrackbarText},
    {IDC_LEFT, "IDC_LEFT", K::PushButton, kBitmap, {40, 164, 27, 14}, QT_TRANSLATE_NOOP("Zerbex", "左边")},
    {IDC_LEFT_SLIDER,
     "IDC_LEFT_SLIDER",
     K::Trackbar,
     kTicksAbove,
     {69, 159, 178, 19},
     kTrackbarText},
    {IDC_RIGHT, "IDC_RIGHT", K::PushButton, kBitmap, {40, 187, 27, 14}, QT_TRANSLATE_NOOP("Zerbex", "右边")},
    {IDC_RIGHT_SLIDER,
     "IDC_RIGHT_SLIDER",
     K::Trackbar,
     kTicksAbove,
     {69, 182, 178, 19},
     kTrackbarText},
    {IDC_STATIC, "IDC_STATIC", K::GroupBox, 0, {33, 215, 345, 40}, QT_TRANSLATE_NOOP("Zerbex", "调整声相位置")},
    {IDC_PLAY_MODE2,
     "IDC_PLAY_MODE2",
     K::PushButton,
     kBitmap | kDefault,
     {102, 223, 57, 14},
     QT_TRANSLATE_NOOP("Zerbex", "发挥Zerbex &2")},
    {IDC_PLAY_MODE1, "IDC_PLAY_MODE1", K::PushButton, kBitmap, {102, 239, 57, 14}, QT_TRANSLATE_NOOP("Zerbex", "发挥Zerbex &1")},
    {IDC_PLAY_ORIGINAL, "IDC_PLAY_ORIGINAL", K::PushButton, kBitmap, {43, 231, 57, 14}, QT_TRANSLATE_NOOP("Zerbex", "发挥原件")},
    {IDC_PAN, "IDC_PAN", K::Trackbar, kTicksAbove, {169, 234, 208, 19}, kTrackbarText},
    {IDC_STATIC, "IDC_STATIC", K::Static, kNoWordWrap, {176, 225, 17, 9}, QT_TRANSLATE_NOOP("Zerbex", "左边")},
    {IDC_STATIC, "IDC_STATIC", K::Static, kNoWordWrap, {261, 225, 30, 9}, QT_TRANSLATE_NOOP("Zerbex", "中心")},
    {IDC_STATIC, "IDC_STATIC", K::Static, kNoWordWrap, {352, 225, 17, 9}, QT_TRANSLATE_NOOP("Zerbex", "右：")},
    {IDC_STATIC, "IDC_STATIC", K::Static, kHidden, {387, 224, 23, 9}, QT_TRANSLATE_NOOP("Zerbex", "潘：")},
    {IDC_PAN_VALUE,
     "IDC_PAN_VALUE",
     K::Edit,
     kHidden | kDisabled | kBorder | kNumber | kAutoHScroll,
     {387, 238, 30, 12},
     ""},
    {IDC_OUTPUT_LEVEL,
     "IDC_OUTPUT_LEVEL",
     K::Trackbar,
     kVertical | kTicksAbove,
     {339, 118, 22, 83},
     kTrackbarText},
    {IDC_STATIC, "IDC_STATIC", K::Static, 0, {330, 121, 9, 9}, "+"},
    {IDC_STATIC, "IDC_STATIC", K::Static, 0, {330, 190, 9, 9}, "0"},
    {IDC_WRITE_FILE, "IDC_WRITE_FILE", K::PushButton, 0, {385, 22, 50, 12}, QT_TRANSLATE_NOOP("Zerbex", "写文件")},
    {IDC_ABOUT, "IDC_ABOUT", K::PushButton, 0, {249, 266, 50, 14}, QT_TRANSLATE_NOOP("Zerbex", "关于Zerbex")},
    {IDC_CHECK_UPGRADES,
     "IDC_CHECK_UPGRADES",
     K::PushButton,
     0,
     {304, 266, 50, 14},
     QT_TRANSLATE_NOOP("Zerbex", "检查的Hollenby")},
    {IDCANCEL, "IDCANCEL", K::PushButton, 0, {359, 266, 50, 14}, QT_TRANSLATE_NOOP("Zerbex", "退出")},
    {IDC_STATIC, "IDC_STATIC", K::GroupBox, 0, {320, 103, 88, 106}, QT_TRANSLATE_NOOP("Zerbex", "调节输出")},
    {IDC_CLIP_LAMP, "IDC_CLIP_LAMP", K::Static, kBitmap | kRealSizeImage, {383, 113, 15, 13}, ""},
    {IDC_MANUAL, "IDC_MANUAL", K::PushButton, 0, {194, 266, 50, 14}, QT_TRANSLATE_NOOP("Zerbex", "读取和手册")},
};

static_assert(std::size(kMainControls) == 40);

}  // namespace

const DialogTemplate& MainDialogTemplate() {
    static const DialogTemplate kMain{QT_TRANSLATE_NOOP("Zerbex", "Zerbex 2声乐消除工作站"), QSize(441, 287), 9, kMainControls};
    return kMain;
}
