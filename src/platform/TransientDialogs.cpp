#include "platform/TransientDialogs.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

class TTransientDialogs : public QObject {
public:
    explicit TTransientDialogs(QWidget* Main) : QObject(Main), FMain(Main) {}

protected:
    // The show event comes before the window reaches the compositor, so the parent is known
    // when the compositor first sees the dialog.
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() != QEvent::Show || !FMain) return false;
        auto* Dialog = qobject_cast<QWidget*>(Watched);
        if (!Dialog || Dialog == FMain || !Dialog->isWindow() || Dialog->windowType() != Qt::Dialog)
            return false;
        QWindow* Handle = Dialog->windowHandle();
        QWindow* Main = FMain->windowHandle();
        if (Handle && Main && !Handle->transientParent() && Handle != Main) Handle->setTransientParent(Main);
        return false;
    }

private:
    QPointer<QWidget> FMain;
};

}  // namespace

void KeepDialogsAboveMainWindow(QWidget* MainWindow) {
    if (!MainWindow || !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return;
    qApp->installEventFilter(new TTransientDialogs(MainWindow));
}
