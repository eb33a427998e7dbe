// The main window as built from its template: controls, layout and images.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QtMath>
#include <algorithm>
#include <utility>
#include <vector>

#include "res/resources.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bitmap_button.h"
#include "ui/dialog_template.h"
#include "ui/dialog_units.h"
#include "ui/resource_ids.h"
#include "ui/trackbar_slider.h"
#include "ui/waveform_view.h"

namespace {

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
    WindowFixture f;
    MainWindow& dialog = *f.window;
    const MainWindowUi& ui = f.Ui();
};

bool BuiltAs(QWidget* widget, ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
            return qobject_cast<QLineEdit*>(widget);
        case ControlKind::PushButton:
            return qobject_cast<QPushButton*>(widget);
        case ControlKind::GroupBox:
            return qobject_cast<QGroupBox*>(widget);
        case ControlKind::Static:
            return qobject_cast<QLabel*>(widget);
        case ControlKind::Trackbar:
            return qobject_cast<TrackbarSlider*>(widget);
        case ControlKind::CheckBox:
            return qobject_cast<QCheckBox*>(widget);
    }
    return false;
}

// Edits and trackbars show the program's values, an image lamp its picture.
bool KeepsItsCaption(const ControlTemplate& row) {
    return row.kind == ControlKind::PushButton || row.kind == ControlKind::GroupBox ||
           row.kind == ControlKind::CheckBox ||
           (row.kind == ControlKind::Static && !(row.style & kBitmap));
}

// Each template row becomes one control of its kind, caption and styles, named as the row says.
TEST_F(MainWindowTemplate, EveryTemplateRowBecomesItsControl) {
    const auto& rows = MainDialogTemplate().controls;
    const auto& controls = ui.controls;
    ASSERT_EQ(controls.size(), rows.size());
    QSet<QString> names;
    int defaults = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ControlTemplate& row = rows[i];
        QWidget* control = controls[i];
        SCOPED_TRACE(testing::Message() << "row " << i + 1 << " " << row.name);
        EXPECT_TRUE(BuiltAs(control, row.kind));
        EXPECT_EQ(qobject_cast<BitmapButton*>(control) != nullptr,
                  row.kind == ControlKind::PushButton && (row.style & kBitmap));
        if (KeepsItsCaption(row)) {
            EXPECT_EQ(Caption(control), QString::fromUtf8(row.caption));
        }
        EXPECT_EQ(control->objectName(), QString::fromUtf8(row.name));
        // The named controls, and only those, are kept in typed members.
        EXPECT_EQ(row.keep != nullptr, !control->objectName().isEmpty());
        if (row.keep != nullptr) {
            EXPECT_FALSE(names.contains(control->objectName())) << "the name is taken twice";
            names.insert(control->objectName());
            EXPECT_EQ(dialog.findChild<QWidget*>(control->objectName()), control);
        }
        EXPECT_EQ(control->isHidden(), (row.style & kHidden) != 0);
        // The input path box is read-only instead of disabled, so that its path stays legible.
        if (control != ui.inputPathEdit) {
            EXPECT_EQ(control->isEnabled(), (row.style & kDisabled) == 0);
        }
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            EXPECT_EQ(button->isDefault(), (row.style & kDefault) != 0);
            defaults += button->isDefault() ? 1 : 0;
        }
        if (auto* slider = qobject_cast<TrackbarSlider*>(control)) {
            const bool vertical = (row.style & kVertical) != 0;
            EXPECT_EQ(slider->orientation(), vertical ? Qt::Vertical : Qt::Horizontal);
            EXPECT_EQ(slider->invertedAppearance(), vertical);  // 0 at the top, by "+"
            EXPECT_EQ(slider->tickPosition() != QSlider::NoTicks,
                      (row.style & (kTicksAbove | kTicksBoth)) != 0);
        }
    }
    EXPECT_EQ(defaults, 1);
}

TEST_F(MainWindowTemplate, WindowIsFixedSizeWithItsCaptionAndNoMaximiseBox) {
    const DialogTemplate& window = MainDialogTemplate();
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(window.caption));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    // The dialog units keep their proportions, the window grown by the waveform and the values.
    const int height = window.size.height() + MainWindowUi::kWaveformRoom + MainWindowUi::kValueRow;
    EXPECT_NEAR(double(dialog.width()) / dialog.height(), double(window.size.width()) / height,
                0.02);
    EXPECT_FALSE(dialog.windowIcon().isNull());
}

TEST_F(MainWindowTemplate, InputPathIsReadOnlyInTheNormalTextColour) {
    const QLineEdit* input = ui.inputPathEdit;
    const QLineEdit* output = ui.outputPathEdit;
    EXPECT_TRUE(input->isReadOnly());
    EXPECT_EQ(input->palette().color(input->foregroundRole()),
              output->palette().color(output->foregroundRole()));
    EXPECT_NE(input->palette().color(QPalette::Base), output->palette().color(QPalette::Base));
    EXPECT_FALSE(output->isReadOnly());
}

TEST_F(MainWindowTemplate, TabOrderFollowsTemplateOrderOverTabStops) {
    std::vector<QWidget*> stops;
    for (QWidget* control : ui.controls) {
        const bool tabStop = qobject_cast<QLineEdit*>(control) ||
                             qobject_cast<QAbstractButton*>(control) ||
                             qobject_cast<TrackbarSlider*>(control);
        EXPECT_EQ(tabStop, (control->focusPolicy() & Qt::TabFocus) != 0)
            << control->objectName().toStdString();
        if (tabStop) {
            // The waveform comes just before the first playback trackbar.
            if (control == ui.Slider(Knob::LoopStart)) {
                stops.push_back(ui.waveform);
            }
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

// A frame holds its neighbours whole or keeps clear of them; other controls never overlap.
TEST_F(MainWindowTemplate, VisibleControlsStayInsideTheWindowAndNeverOverlapOrStraddleAFrame) {
    std::vector<QWidget*> visible;
    for (QWidget* control : ui.controls) {
        if (!control->isHidden()) {
            EXPECT_TRUE(dialog.rect().contains(control->geometry()))
                << control->objectName().toStdString();
            visible.push_back(control);
        }
    }
    for (std::size_t i = 0; i < visible.size(); ++i) {
        for (std::size_t j = i + 1; j < visible.size(); ++j) {
            const QRect a = visible[i]->geometry();
            const QRect b = visible[j]->geometry();
            const bool nested = (qobject_cast<QGroupBox*>(visible[i]) && a.contains(b)) ||
                                (qobject_cast<QGroupBox*>(visible[j]) && b.contains(a));
            EXPECT_TRUE(nested || !a.intersects(b))
                << visible[i]->objectName().toStdString() << " ("
                << Caption(visible[i]).toStdString() << ") / "
                << visible[j]->objectName().toStdString();
        }
    }
}

TEST_F(MainWindowTemplate, EveryCaptionFitsItsControl) {
    for (QWidget* control : ui.controls) {
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

struct BitmapSizes {
    std::vector<int> ids;
    QSize size;  // in the window's units
};

const BitmapSizes kBitmapSizes[] = {
    {{144, 145, 146, 147, 148, 149, 152, 153}, QSize(48, 33)},
    {{154, 155, 156, 157, 158}, QSize(85, 27)},
    {{134, 140, 139, 138, 137, 136, 135, 142, 132}, QSize(11, 142)},
};

// Screens' pixel ratios and the drawn scale each gets: a screen between two scales takes
// the finer one, a screen finer than every scale the finest.
const std::pair<qreal, qreal> kScreenScales[] = {{1.0, 1.0},   {1.25, 1.25}, {1.5, 1.5},
                                                 {1.75, 1.75}, {2.0, 2.0},   {1.1, 1.25},
                                                 {1.6, 1.75},  {3.0, 2.0}};

TEST(Images, EveryBitmapLoadsAtItsSizeForEveryScreenScale) {
    EnsureApplication();
    for (const auto& [ratio, scale] : kScreenScales) {
        for (const BitmapSizes& group : kBitmapSizes) {
            const QSize pixels(qCeil(group.size.width() * scale),
                               qCeil(group.size.height() * scale));
            for (const int id : group.ids) {
                const QPixmap image = LoadBitmapResource(id, ratio);
                EXPECT_EQ(image.size(), pixels) << id << " at " << ratio;
                EXPECT_EQ(image.devicePixelRatio(), scale) << id << " at " << ratio;
                // The same picture at every scale: its colour on average stays.
                EXPECT_NEAR(MeanHue(image.toImage()) / (pixels.width() * pixels.height()),
                            MeanHue(LoadBitmapResource(id).toImage()) /
                                (group.size.width() * group.size.height()),
                            0.02)
                    << id << " at " << ratio;
            }
        }
    }
    EXPECT_TRUE(LoadBitmapResource(999).isNull());
    const QIcon icon = LoadAppIcon();
    EXPECT_FALSE(icon.pixmap(16, 16).isNull());
    EXPECT_FALSE(icon.pixmap(32, 32).isNull());
}

// Run also on screens scaled by 1.25 to 2 (QT_SCALE_FACTOR): a face shown on the screen is
// the image drawn for its pixels, copied as it is, not a smaller one scaled up.
TEST(Images, ButtonFacesShowTheImageDrawnForTheScreensPixels) {
    EnsureApplication();
    for (const int id : {144, 147, 153, 155, 157}) {
        BitmapButton button(QStringLiteral("&1"), nullptr);
        const QPixmap source = LoadBitmapResource(id, button.devicePixelRatioF());
        const QSize size = source.deviceIndependentSize().toSize();
        button.resize(size);
        button.SetImage(id);
        const QImage shown = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage drawn = source.toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.devicePixelRatio(), button.devicePixelRatioF());
        // Inside the frame and the rounded corners every pixel is the drawn image's.
        const int inset = qCeil(4 * shown.devicePixelRatio());
        int differing = 0;
        for (int y = inset; y < std::min(shown.height(), drawn.height()) - inset; ++y) {
            for (int x = inset; x < std::min(shown.width(), drawn.width()) - inset; ++x) {
                differing += shown.pixel(x, y) != drawn.pixel(x, y);
            }
        }
        EXPECT_EQ(differing, 0) << id << " at " << shown.devicePixelRatio();
    }
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

// Halves round away from zero, as the dialog manager's integer arithmetic does.
TEST(DialogUnits, HalvesRoundAwayFromZero) {
    const DialogBaseUnits units{6, 12};  // 1.5 pixels a unit each way
    const std::pair<int, int> cases[] = {{0, 0}, {1, 2}, {2, 3}, {3, 5}, {-1, -2}, {-3, -5}};
    for (const auto& [du, pixels] : cases) {
        EXPECT_EQ(units.MapX(du), pixels) << du;
        EXPECT_EQ(units.MapY(du), pixels) << du;
    }
}

}  // namespace
