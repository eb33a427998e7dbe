#include "ui/about_dialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "res/resources.h"
#include "ui/dialog_units.h"

namespace {

// Template positions in dialog units.
const QSize kBoxSize(238, 102);
const QRect kIconRect(11, 17, 20, 20);
const QRect kOkRect(92, 71, 50, 14);

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QCoreApplication::translate("Zerbex", "关于Zerbex"));
    setFont(DialogFont(9));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const DialogBaseUnits units = DialogBaseUnits::FromFont(font());
    setFixedSize(units.MapSize(kBoxSize));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setGeometry(units.MapRect(kIconRect));
    icon->setPixmap(LoadAppIcon().pixmap(icon->size()));

    auto* ok = new QPushButton(QCoreApplication::translate("Zerbex", "确定"), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setGeometry(units.MapRect(kOkRect));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
