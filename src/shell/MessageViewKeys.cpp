#include "shell/MessageViewKeys.h"

#include <QShortcut>
#include <functional>

#include "htmlview/HtmlView.h"
#include "htmlview/ZoomSteps.h"
#include "shell/FindBar.h"

namespace {

void Key(QWidget* window, const QKeySequence& keys, std::function<void()> action) {
    auto* shortcut = new QShortcut(keys, window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, action);
    // Ctrl+Shift+= may reach both plus keys at once; either way one of them zooms.
    QObject::connect(shortcut, &QShortcut::activatedAmbiguously, window, std::move(action));
}

}  // namespace

void MessageViewKeys(QWidget* window, THtmlView* view, TFindBar* findBar) {
    Key(window, QKeySequence(Qt::CTRL | Qt::Key_F), [findBar] { findBar->Open(); });
    Key(window, QKeySequence(Qt::Key_F3), [findBar] { findBar->Step(true); });
    Key(window, QKeySequence(Qt::SHIFT | Qt::Key_F3), [findBar] { findBar->Step(false); });
    const auto zoomIn = [view] { view->SetZoom(ZoomStep(view->Zoom(), 1)); };
    // Plus is Shift+= on most layouts: both reach the same step.
    Key(window, QKeySequence(Qt::CTRL | Qt::Key_Plus), zoomIn);
    Key(window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Plus), zoomIn);
    Key(window, QKeySequence(Qt::CTRL | Qt::Key_Equal), zoomIn);
    Key(window, QKeySequence(Qt::CTRL | Qt::Key_Minus),
        [view] { view->SetZoom(ZoomStep(view->Zoom(), -1)); });
    Key(window, QKeySequence(Qt::CTRL | Qt::Key_0), [view] { view->SetZoom(1.0); });
}
