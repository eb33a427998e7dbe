#include "main_window_ui.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <utility>

#include "bitmap_button.h"
#include "dialog_units.h"
#include "group_frame.h"
#include "trackbar_slider.h"

namespace {

// A template caption in the language the program speaks; the template holds the source text.
QString Caption(const char* text) {
    return QCoreApplication::translate("Zerbex", text);
}

QWidget* CreateEdit(const ControlTemplate& control, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame((control.style & kBorder) != 0);
    if (control.style & kNumber) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    if (control.style & kDisabled) {
        edit->setReadOnly(true);
    }
    return edit;
}

QWidget* CreateButton(const ControlTemplate& control, QWidget* parent) {
    const QString caption = Caption(control.caption);
    QPushButton* button = (control.style & kBitmap) ? new BitmapButton(caption, parent)
                                                    : new QPushButton(caption, parent);
    button->setAutoDefault(true);
    button->setDefault((control.style & kDefault) != 0);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QWidget* CreateStatic(const ControlTemplate& control, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if ((control.style & kBitmap) == 0) {
        label->setText(Caption(control.caption));
        label->setWordWrap((control.style & kNoWordWrap) == 0);
    }
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QWidget* CreateGroupBox(const ControlTemplate& control, QWidget* parent) {
    auto* box = new GroupFrame(Caption(control.caption), parent);
    // A frame drawn around its neighbours, which stay on top of it and take the mouse.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

QWidget* CreateTrackbar(const ControlTemplate& control, QWidget* parent) {
    const bool vertical = (control.style & kVertical) != 0;
    auto* slider = new TrackbarSlider(vertical ? Qt::Vertical : Qt::Horizontal, parent);
    slider->setAccessibleName(QString::fromUtf8(control.caption));
    slider->setFocusPolicy(Qt::StrongFocus);
    slider->setTickInterval(1);
    if (control.style & kTicksBoth) {
        slider->setTickPosition(QSlider::TicksBothSides);
    } else if (control.style & kTicksAbove) {
        slider->setTickPosition(QSlider::TicksAbove);  // on the left of a vertical one
    } else {
        slider->setTickPosition(QSlider::NoTicks);
    }
    if (vertical) {
        // The smallest position at the top, and the arrow keys move the thumb the way they
        // point.
        slider->setInvertedAppearance(true);
        slider->setInvertedControls(true);
    }
    return slider;
}

QWidget* CreateControl(const ControlTemplate& control, QWidget* parent) {
    switch (control.kind) {
        case ControlKind::Edit:
            return CreateEdit(control, parent);
        case ControlKind::PushButton:
            return CreateButton(control, parent);
        case ControlKind::GroupBox:
            return CreateGroupBox(control, parent);
        case ControlKind::Static:
            return CreateStatic(control, parent);
        case ControlKind::Trackbar:
            return CreateTrackbar(control, parent);
    }
    return new QWidget(parent);
}

void SetTabOrder(const DialogTemplate& dialog, const std::vector<QWidget*>& controls) {
    QWidget* previous = nullptr;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (!IsTabStop(dialog.controls[i].kind)) {
            continue;
        }
        if (previous) {
            QWidget::setTabOrder(previous, controls[i]);
        }
        previous = controls[i];
    }
}

// Stores widget in the member that the table gives for id, if any.
template <typename Widget, std::size_t n>
void Fill(const std::pair<ControlId, Widget**> (&members)[n], ControlId id, QWidget* widget) {
    for (const auto& [memberId, member] : members) {
        if (memberId == id) {
            *member = qobject_cast<Widget*>(widget);
            Q_ASSERT(*member != nullptr);
        }
    }
}

}  // namespace

void MainWindowUi::SetUp(QDialog& window, const DialogTemplate& dialog) {
    window.setWindowTitle(Caption(dialog.caption));
    // A top-level window with a taskbar button, a title and a close box; it cannot be
    // maximised or resized.
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window.setFont(DialogFont(dialog.fontPointSize));
    const DialogBaseUnits units = DialogBaseUnits::FromFont(window.font());
    window.setFixedSize(units.MapSize(dialog.size));

    for (const ControlTemplate& control : dialog.controls) {
        QWidget* widget = CreateControl(control, &window);
        widget->setObjectName(QString::fromUtf8(control.name));
        widget->setGeometry(units.MapRect(control.rect));
        widget->setEnabled((control.style & kDisabled) == 0);
        if (control.style & kHidden) {
            widget->hide();
        }
        controls.push_back(widget);
        Keep(control.id, widget);
    }
    // Group boxes only frame their neighbours; keep them underneath.
    for (QWidget* widget : controls) {
        if (qobject_cast<QGroupBox*>(widget)) {
            widget->lower();
        }
    }
    SetTabOrder(dialog, controls);
}

void MainWindowUi::Keep(ControlId id, QWidget* widget) {
    using Id = ControlId;
    const std::pair<Id, QLineEdit**> edits[] = {{Id::InputPath, &inputPathEdit},
                                                {Id::OutputPath, &outputPathEdit},
                                                {Id::PanValue, &panValueEdit}};
    const std::pair<Id, QPushButton**> buttons[] = {{Id::SelectInput, &selectInputButton},
                                                    {Id::SelectOutput, &selectOutputButton},
                                                    {Id::WriteFile, &writeFileButton},
                                                    {Id::About, &aboutButton},
                                                    {Id::CheckUpgrades, &checkUpgradesButton},
                                                    {Id::Manual, &manualButton},
                                                    {Id::Exit, &exitButton}};
    const std::pair<Id, BitmapButton**> faces[] = {{Id::Low, &lowButton},
                                                   {Id::High, &highButton},
                                                   {Id::Left, &leftButton},
                                                   {Id::Right, &rightButton},
                                                   {Id::PlayMode2, &playMode2Button},
                                                   {Id::PlayMode1, &playMode1Button},
                                                   {Id::PlayOriginal, &playOriginalButton}};
    const std::pair<Id, TrackbarSlider**> sliders[] = {
        {Id::LoopStart, &loopStartSlider},    {Id::PlayPos, &playPosSlider},
        {Id::LoopEnd, &loopEndSlider},        {Id::LowSlider, &lowSlider},
        {Id::HighSlider, &highSlider},        {Id::LeftSlider, &leftSlider},
        {Id::RightSlider, &rightSlider},      {Id::Pan, &panSlider},
        {Id::OutputLevel, &outputLevelSlider}};
    const std::pair<Id, QLabel**> labels[] = {{Id::Meter, &meter}};
    Fill(edits, id, widget);
    Fill(buttons, id, widget);
    Fill(faces, id, widget);
    Fill(sliders, id, widget);
    Fill(labels, id, widget);
}

TrackbarSlider* MainWindowUi::Slider(Knob knob) const {
    switch (knob) {
        case Knob::Pan:
            return panSlider;
        case Knob::Low:
            return lowSlider;
        case Knob::High:
            return highSlider;
        case Knob::Left:
            return leftSlider;
        case Knob::Right:
            return rightSlider;
        case Knob::OutputLevel:
            return outputLevelSlider;
        case Knob::LoopStart:
            return loopStartSlider;
        case Knob::LoopEnd:
            return loopEndSlider;
        case Knob::PlayPos:
            return playPosSlider;
    }
    return nullptr;
}
