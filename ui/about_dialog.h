#pragma once

#include <QDialog>

// The About box: the application icon, the program's name and an OK button.
class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
