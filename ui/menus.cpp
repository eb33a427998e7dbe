#include "ui/menus.h"

#include <QAction>
#include <QMenu>

QString MenuText(const std::string& name) {
    return QString::fromStdString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void ClearMenu(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        menu->removeAction(action);
        action->deleteLater();
    }
}
