#include "ui/main_window_ui.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "ui/bitmap_button.h"
#include "ui/dialog_units.h"
#include "ui/group_frame.h"
#include "ui/trackbar_slider.h"
#include "ui/ui_language.h"
#include "ui/waveform_view.h"

namespace {

QWidget* CreateEdit(const ControlTemplate& control, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame((control.style & kBorder) != 0);
    edit->setReadOnly((control.style & kDisabled) != 0);
    return edit;
}

QWidget* CreateButton(const ControlTemplate& control, QWidget* parent) {
    const QString caption = Tr(control.caption);
    QPushButton* button = (control.style & kBitmap) ? new BitmapButton(caption, parent)
                                                    : new QPushButton(caption, parent);
    button->setAutoDefault(true);
    button->setDefault((control.style & kDefault) != 0);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QWidget* CreateCheckBox(const ControlTemplate& control, QWidget* parent) {
    auto* box = new QCheckBox(Tr(control.caption), parent);
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

QWidget* CreateStatic(const ControlTemplate& control, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if ((control.style & kBitmap) == 0) {
        label->setText(Tr(control.caption));
        label->setWordWrap((control.style & kNoWordWrap) == 0);
    }
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QWidget* CreateGroupBox(const ControlTemplate& control, QWidget* parent) {
    auto* box = new GroupFrame(Tr(control.caption), parent);
    // A frame drawn around its neighbours, which stay on top of it and take the mouse.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    box->lower();  // beneath the controls made before it; those made later go on top anyway
    return box;
}

QWidget* CreateTrackbar(const ControlTemplate& control, QWidget* parent) {
    const bool vertical = (control.style & kVertical) != 0;
    auto* slider = new TrackbarSlider(vertical ? Qt::Vertical : Qt::Horizontal, parent);
    slider->setFocusPolicy(Qt::StrongFocus);
    slider->setTickInterval(1);
    // Ticks above are on the left of a vertical one.
    slider->setTickPosition((control.style & kTicksBoth)    ? QSlider::TicksBothSides
                            : (control.style & kTicksAbove) ? QSlider::TicksAbove
                                                            : QSlider::NoTicks);
    // A vertical one has its smallest position at the top, and the arrow keys move the thumb
    // the way they point.
    slider->setInvertedAppearance(vertical);
    slider->setInvertedControls(vertical);
    return slider;
}

// A caption as a screen reader says it: without its access-key mark and closing colon.
QString AccessibleCaption(const char* text) {
    static const QRegularExpression kClosingColons(QStringLiteral("[:\uFF1A]+\\z"));
    return Tr(text).remove(QLatin1Char('&')).remove(kClosingColons).trimmed();
}

// Each trackbar is named by the caption beside it; the output level's has none.
constexpr struct {
    Knob knob;
    const char* caption;
} kTrackbarCaptions[] = {
    {Knob::LoopStart, "循环开始："},
    {Knob::PlayPos, "发挥定位及作用："},
    {Knob::LoopEnd, "循环结束："},
    {Knob::Low, "低"},
    {Knob::High, "&高"},
    {Knob::Left, "左边"},
    {Knob::Right, "右边"},
    {Knob::Pan, "潘："},
    {Knob::OutputLevel, QT_TRANSLATE_NOOP("Zerbex", "输出电平")},
    {Knob::Key, "音调："},
    {Knob::Tempo, "速度："},
    {Knob::Focus, "焦点："},
};

// What the window adds to its template, in dialog units: the waveform spans the playback
// trackbars' width above them, everything from its top down moves down by its height, and a row
// below the key, tempo and focus trackbars holds their values.
constexpr int kWaveformTop = 38;
constexpr QRect kWaveformRect(86, kWaveformTop, 313, 44);

QRect Moved(const QRect& rect) {
    return rect.top() >= kWaveformTop ? rect.translated(0, MainWindowUi::kWaveformRoom) : rect;
}

// Right-aligned under the right end of its trackbar, height pixels high.
QLabel* CreateValueLabel(QWidget& window, const TrackbarSlider* slider, int height) {
    const QRect sliderRect = slider->geometry();
    auto* label = new QLabel(&window);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->setGeometry(sliderRect.left(), sliderRect.bottom() + 1, sliderRect.width(), 0);
    label->setFixedHeight(height);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

using Create = QWidget* (*)(const ControlTemplate& control, QWidget* parent);
// In the order of ControlKind.
constexpr Create kCreate[] = {CreateEdit,   CreateButton,   CreateGroupBox,
                              CreateStatic, CreateTrackbar, CreateCheckBox};

}  // namespace

void MainWindowUi::SetUp(QWidget& window, const DialogTemplate& dialog) {
    window.setWindowTitle(Tr(dialog.caption));
    // A top-level window with a taskbar button, a title and a close box; it cannot be
    // maximised or resized.
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window.setFont(DialogFont(dialog.fontPointSize));
    const DialogBaseUnits units = DialogBaseUnits::FromFont(window.font());
    window.setFixedSize(units.MapSize(dialog.size + QSize(0, kWaveformRoom + kValueRow)));

    // Made in template order, which Qt's focus chain, and with it the tab order, follows.
    for (const ControlTemplate& control : dialog.controls) {
        QWidget* widget = kCreate[static_cast<int>(control.kind)](control, &window);
        widget->setObjectName(QString::fromUtf8(control.name));
        widget->setGeometry(units.MapRect(Moved(control.rect)));
        widget->setEnabled((control.style & kDisabled) == 0);
        if (control.style & kHidden) {
            widget->hide();
        }
        controls.push_back(widget);
        if (control.keep != nullptr) {
            control.keep(*this, widget);
        }
    }
    AddBeyondTemplate(window, units);
    NameForScreenReaders();
}

void MainWindowUi::AddBeyondTemplate(QWidget& window, const DialogBaseUnits& units) {
    waveform = new WaveformView(&window);
    waveform->setObjectName(QStringLiteral("waveform"));
    waveform->setGeometry(units.MapRect(kWaveformRect));
    // In the tab order just before the first playback trackbar.
    TrackbarSlider* loopStart = Slider(Knob::LoopStart);
    QWidget* before = loopStart->previousInFocusChain();
    while (before != nullptr && before->focusPolicy() == Qt::NoFocus && before != loopStart) {
        before = before->previousInFocusChain();
    }
    if (before != nullptr && before != loopStart) {
        QWidget::setTabOrder(before, waveform);
    }
    QWidget::setTabOrder(waveform, loopStart);
    const int valueHeight = units.MapY(kValueRow);
    keyValue = CreateValueLabel(window, Slider(Knob::Key), valueHeight);
    tempoValue = CreateValueLabel(window, Slider(Knob::Tempo), valueHeight);
    focusValue = CreateValueLabel(window, Slider(Knob::Focus), valueHeight);
}

void MainWindowUi::NameForScreenReaders() {
    // The template has every one of them.
    for (const auto& [knob, caption] : kTrackbarCaptions) {
        Slider(knob)->setAccessibleName(AccessibleCaption(caption));
    }
    inputPathEdit->setAccessibleName(Tr(QT_TRANSLATE_NOOP("Zerbex", "输入文件")));
    outputPathEdit->setAccessibleName(Tr(QT_TRANSLATE_NOOP("Zerbex", "输出文件")));
}
