// The main window as built from its template: controls, layout and images.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>

#include "bitmap_button.h"
#include "dialog_units.h"
#include "resource_ids.h"
#include "resources.h"
#include "slider_ctrl.h"
#include "ui_test_support.h"

namespace {

struct Expected {
    int id;
    const char* kind;  // Qt class
    const char* caption;
};

// Every control in template order, with the class it is built as and the text it carries.
const Expected kControls[] = {
    {IDC_INPUT_PATH, "QLineEdit", ""},
    {IDC_SELECT_INPUT, "QPushButton", "选择和输入文件"},
    {IDC_OUTPUT_PATH, "QLineEdit", ""},
    {IDC_SELECT_OUTPUT, "QPushButton", "选择输出文件"},
    {IDC_STATIC, "GroupFrame", "发挥节能与控制"},
    {IDC_STATIC, "QLabel", "循环开始："},
    {IDC_LOOP_START, "SliderCtrl", nullptr},
    {IDC_STATIC, "QLabel", "发挥定位及作用："},
    {IDC_PLAY_POS, "SliderCtrl", nullptr},
    {IDC_STATIC, "QLabel", "循环结束："},
    {IDC_LOOP_END, "SliderCtrl", nullptr},
    {IDC_STATIC, "GroupFrame", "调整过滤器和频道自上而下"},
    {IDC_LOW, "BitmapButton", "低"},
    {IDC_LOW_SLIDER, "SliderCtrl", nullptr},
    {IDC_HIGH, "BitmapButton", "&高"},
    {IDC_HIGH_SLIDER, "SliderCtrl", nullptr},
    {IDC_LEFT, "BitmapButton", "左边"},
    {IDC_LEFT_SLIDER, "SliderCtrl", nullptr},
    {IDC_RIGHT, "BitmapButton", "右边"},
    {IDC_RIGHT_SLIDER, "SliderCtrl", nullptr},
    {IDC_STATIC, "GroupFrame", "调整声相位置"},
    {IDC_PLAY_MODE2, "BitmapButton", "发挥Zerbex &2"},
    {IDC_PLAY_MODE1, "BitmapButton", "发挥Zerbex &1"},
    {IDC_PLAY_ORIGINAL, "BitmapButton", "发挥原件"},
    {IDC_PAN, "SliderCtrl", nullptr},
    {IDC_STATIC, "QLabel", "左边"},
    {IDC_STATIC, "QLabel", "中心"},
    {IDC_STATIC, "QLabel", "右："},
    {IDC_STATIC, "QLabel", "潘："},
    {IDC_PAN_VALUE, "QLineEdit", nullptr},
    {IDC_OUTPUT_LEVEL, "SliderCtrl", nullptr},
    {IDC_STATIC, "QLabel", "+"},
    {IDC_STATIC, "QLabel", "0"},
    {IDC_WRITE_FILE, "QPushButton", "写文件"},
    {IDC_ABOUT, "QPushButton", "关于Zerbex"},
    {IDC_CHECK_UPGRADES, "QPushButton", "检查的Hollenby"},
    {IDCANCEL, "QPushButton", "退出"},
    {IDC_STATIC, "GroupFrame", "调节输出"},
    {IDC_CLIP_LAMP, "QLabel", ""},
    {IDC_MANUAL, "QPushButton", "读取和手册"},
};

QString Caption(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        return box->title();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    return {};
}

class MainWindowTemplate : public ::testing::Test {
  protected:
    DialogFixture f;
    MainDialog& dialog = *f.dialog;
};

TEST_F(MainWindowTemplate, HasEveryControlInTemplateOrderWithItsCaption) {
    const auto& controls = dialog.Controls();
    ASSERT_EQ(controls.size(), std::size(kControls));
    for (std::size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i + 1);
        EXPECT_EQ(controls[i]->property("controlId").toInt(), kControls[i].id);
        EXPECT_STREQ(controls[i]->metaObject()->className(), kControls[i].kind);
        if (kControls[i].caption) {
            EXPECT_EQ(Caption(controls[i]), QString::fromUtf8(kControls[i].caption));
        }
        if (kControls[i].id != IDC_STATIC) {
            EXPECT_EQ(dialog.GetDlgItem(kControls[i].id), controls[i]);
        }
    }
}

TEST_F(MainWindowTemplate, WindowIsFixedSizeWithItsCaptionAndNoMaximiseBox) {
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Zerbex 2声乐消除工作站"));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    // 441 x 287 dialog units keep their proportions.
    const double ratio = double(dialog.width()) / dialog.height();
    EXPECT_NEAR(ratio, 441.0 / 287.0, 0.02);
    EXPECT_FALSE(dialog.windowIcon().isNull());
}

TEST_F(MainWindowTemplate, StylesOfTheSpecialControls) {
    EXPECT_TRUE(dialog.GetDlgItem(IDC_PAN_VALUE)->isHidden());
    EXPECT_TRUE(dialog.Controls()[28]->isHidden());  // its label
    int hidden = 0;
    for (QWidget* control : dialog.Controls()) {
        hidden += control->isHidden() ? 1 : 0;
    }
    EXPECT_EQ(hidden, 2);
    EXPECT_FALSE(dialog.GetDlgItem(IDC_PAN_VALUE)->isEnabled());

    auto* input = qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_INPUT_PATH));
    auto* output = qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_OUTPUT_PATH));
    // Unchangeable, yet its path in the normal text colour.
    EXPECT_TRUE(input->isReadOnly());
    EXPECT_EQ(input->palette().color(input->foregroundRole()),
              output->palette().color(output->foregroundRole()));
    EXPECT_NE(input->palette().color(QPalette::Base), output->palette().color(QPalette::Base));
    EXPECT_FALSE(output->isReadOnly());
    EXPECT_TRUE(output->isEnabled());

    for (QWidget* control : dialog.Controls()) {
        auto* button = qobject_cast<QPushButton*>(control);
        if (button) {
            EXPECT_EQ(button->isDefault(), control == dialog.GetDlgItem(IDC_PLAY_MODE2));
        }
    }

    auto* output_level = qobject_cast<SliderCtrl*>(dialog.GetDlgItem(IDC_OUTPUT_LEVEL));
    EXPECT_EQ(output_level->orientation(), Qt::Vertical);
    EXPECT_TRUE(output_level->invertedAppearance());  // 0 at the top, by "+"
    EXPECT_EQ(output_level->tickPosition(), QSlider::TicksLeft);
    auto* play_pos = qobject_cast<SliderCtrl*>(dialog.GetDlgItem(IDC_PLAY_POS));
    EXPECT_EQ(play_pos->tickPosition(), QSlider::TicksBothSides);
    EXPECT_EQ(qobject_cast<SliderCtrl*>(dialog.GetDlgItem(IDC_LOOP_START))->tickPosition(),
              QSlider::NoTicks);
}

TEST_F(MainWindowTemplate, TabOrderFollowsTemplateOrderOverTabStops) {
    std::vector<QWidget*> stops;
    for (QWidget* control : dialog.Controls()) {
        const bool tabStop = qobject_cast<QLineEdit*>(control) ||
                             qobject_cast<QPushButton*>(control) ||
                             qobject_cast<SliderCtrl*>(control);
        EXPECT_EQ(tabStop, (control->focusPolicy() & Qt::TabFocus) != 0)
            << control->objectName().toStdString();
        if (tabStop) {
            stops.push_back(control);
        }
    }
    for (std::size_t i = 0; i + 1 < stops.size(); ++i) {
        QWidget* next = stops[i]->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus)) {
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next, stops[i + 1]) << stops[i]->objectName().toStdString();
    }
}

TEST_F(MainWindowTemplate, VisibleControlsStayInsideTheWindowAndDoNotOverlap) {
    const QRect client = dialog.rect();
    std::vector<QWidget*> visible;
    for (QWidget* control : dialog.Controls()) {
        if (!control->isHidden()) {
            EXPECT_TRUE(client.contains(control->geometry()))
                << control->objectName().toStdString();
            visible.push_back(control);
        }
    }
    for (std::size_t i = 0; i < visible.size(); ++i) {
        for (std::size_t j = i + 1; j < visible.size(); ++j) {
            const bool frame =
                qobject_cast<QGroupBox*>(visible[i]) || qobject_cast<QGroupBox*>(visible[j]);
            if (frame) {
                continue;
            }
            EXPECT_FALSE(visible[i]->geometry().intersects(visible[j]->geometry()))
                << "row " << i + 1 << " and row " << j + 1;
        }
    }
}

TEST_F(MainWindowTemplate, ControlsSitInsideOrOutsideEachFrameNeverAcrossIt) {
    for (QWidget* frame : dialog.Controls()) {
        if (!qobject_cast<QGroupBox*>(frame)) {
            continue;
        }
        for (QWidget* control : dialog.Controls()) {
            if (control == frame || control->isHidden()) {
                continue;
            }
            const QRect inner = frame->geometry();
            const QRect r = control->geometry();
            EXPECT_TRUE(inner.contains(r) || !inner.intersects(r))
                << Caption(frame).toStdString() << " / " << control->objectName().toStdString();
        }
    }
}

TEST_F(MainWindowTemplate, EveryCaptionFitsItsControl) {
    for (QWidget* control : dialog.Controls()) {
        if (control->isHidden() || qobject_cast<BitmapButton*>(control)) {
            continue;
        }
        const QFontMetrics metrics(control->font());
        QString text = Caption(control);
        text.remove(QLatin1Char('&'));
        if (text.isEmpty()) {
            continue;
        }
        const auto* label = qobject_cast<QLabel*>(control);
        const bool wraps = label && label->wordWrap();
        const QRect needed =
            metrics.boundingRect(QRect(0, 0, control->width(), 1000),
                                 wraps ? Qt::TextWordWrap : Qt::TextSingleLine, text);
        EXPECT_LE(needed.width(), control->width()) << text.toStdString();
        EXPECT_LE(needed.height(), control->height()) << text.toStdString();
    }
}

TEST(Images, EveryBitmapLoadsAtItsSize) {
    EnsureApplication();
    for (int id : {144, 145, 146, 147, 148, 149, 152, 153}) {
        EXPECT_EQ(LoadBitmapResource(id).size(), QSize(48, 33)) << id;
    }
    for (int id : {154, 155, 156, 157}) {
        EXPECT_EQ(LoadBitmapResource(id).size(), QSize(85, 27)) << id;
    }
    for (int id : kMeterBitmaps) {
        EXPECT_EQ(LoadBitmapResource(id).size(), QSize(11, 142)) << id;
    }
    EXPECT_TRUE(LoadBitmapResource(999).isNull());
    const QIcon icon = LoadAppIcon();
    EXPECT_FALSE(icon.pixmap(16, 16).isNull());
    EXPECT_FALSE(icon.pixmap(32, 32).isNull());
}

// The brightest segments of a meter image, counted from the bottom, and whether the top
// one is red.
struct MeterReading {
    int lit = 0;
    bool topRed = false;
};

MeterReading ReadMeter(const QImage& image) {
    MeterReading reading;
    // Lit runs along the middle column, from the bottom up.
    int runs = 0;
    int runStart = -1;
    int topRunMiddle = -1;
    const int x = image.width() / 2;
    for (int y = image.height() - 1; y >= -1; --y) {
        const bool lit = y >= 0 && image.pixelColor(x, y).value() > 150;
        if (lit && runStart < 0) {
            runStart = y;
            ++runs;
        } else if (!lit && runStart >= 0) {
            topRunMiddle = (runStart + y + 1) / 2;
            runStart = -1;
        }
    }
    reading.lit = runs;
    if (topRunMiddle >= 0) {
        const QColor top = image.pixelColor(x, topRunMiddle);
        reading.topRed = top.red() > 200 && top.green() < 120 && top.blue() < 120;
    }
    return reading;
}

TEST(Images, MeterLightsOneMoreSegmentPerImageWithTheTopOneRed) {
    EnsureApplication();
    for (int lit = 0; lit < 9; ++lit) {
        const MeterReading reading = ReadMeter(LoadBitmapResource(kMeterBitmaps[lit]).toImage());
        EXPECT_EQ(reading.lit, lit) << kMeterBitmaps[lit];
        EXPECT_EQ(reading.topRed, lit == 8) << kMeterBitmaps[lit];
    }
}

double MeanHue(const QImage& image) {
    double red = 0;
    double green = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red += c.redF();
            green += c.greenF();
        }
    }
    return red - green;
}

TEST(Images, PlayAndStopFacesDifferAtAGlance) {
    EnsureApplication();
    for (int id : {144, 145, 146, 147, 154, 156, 157}) {
        EXPECT_LT(MeanHue(LoadBitmapResource(id).toImage()), 0) << id << " should be green";
    }
    for (int id : {148, 149, 152, 153, 155}) {
        EXPECT_GT(MeanHue(LoadBitmapResource(id).toImage()), 0) << id << " should be red";
    }
}

}  // namespace

namespace {

TEST(DialogUnits, NeighboursThatTouchInDialogUnitsTouchInPixels) {
    EnsureApplication();
    const DialogBaseUnits units{7, 14};  // 1.75 pixels a unit each way
    EXPECT_EQ(units.MapSize(QSize(4, 8)), QSize(7, 14));
    for (int x = 0; x < 40; ++x) {
        const QRect left = units.MapRect(QRect(x, x, 3, 5));
        const QRect right = units.MapRect(QRect(x + 3, x + 5, 2, 2));
        EXPECT_EQ(left.right() + 1, right.left()) << x;
        EXPECT_EQ(left.bottom() + 1, right.top()) << x;
    }
    EXPECT_GT(DialogBaseUnits::FromFont(DialogFont(9)).cx, 0);
}

}  // namespace
