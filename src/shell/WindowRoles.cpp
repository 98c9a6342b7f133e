#include "shell/WindowRoles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

QAccessibleInterface* WindowInterface(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    if (className == QLatin1String("TMainForm")) return new QAccessibleWidget(widget, QAccessible::Window);
    if (className == QLatin1String("TConnectionForm") || className == QLatin1String("TAboutForm") ||
        className == QLatin1String("THelpForm"))
        return new QAccessibleWidget(widget, QAccessible::Dialog);
    return nullptr;
}

}  // namespace

void InstallWindowRoles() {
    static const bool installed = [] {
        QAccessible::installFactory(WindowInterface);
        return true;
    }();
    (void)installed;
}
