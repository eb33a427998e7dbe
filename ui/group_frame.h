#pragma once

#include <QGroupBox>

// A group box drawn as an etched frame whose top line runs through the middle of its title,
// so that controls placed just below the title sit inside the frame.
class GroupFrame : public QGroupBox {
    Q_OBJECT

  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
