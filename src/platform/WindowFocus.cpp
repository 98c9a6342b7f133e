#include "platform/WindowFocus.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace platform {

namespace {

// How long the compositor has to hand the focus over before the window asks for attention.
constexpr int AttentionDelayMs = 1500;

QString& KeptToken() {
    static QString token;
    return token;
}

void FocusOnX11(QWidget* window) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* connection = x11->connection();
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, static_cast<xcb_window_t>(window->winId()),
                        XCB_CURRENT_TIME);
    xcb_flush(connection);
}

void FocusOnWayland(QWidget* window) {
    QWindow* handle = window->windowHandle();
    if (!handle) return;
    // Qt's Wayland platform activates with the token in XDG_ACTIVATION_TOKEN and consumes it.
    if (!KeptToken().isEmpty()) {
        qputenv("XDG_ACTIVATION_TOKEN", KeptToken().toUtf8());
        KeptToken().clear();
    }
    handle->requestActivate();
    QTimer::singleShot(AttentionDelayMs, window, [guard = QPointer<QWidget>(window)] {
        if (guard && guard->isVisible() && !guard->isActiveWindow()) QApplication::alert(guard);
    });
}

}  // namespace

bool ActivationTakesToken() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void KeepActivationToken(const QString& token) {
    if (!token.isEmpty()) KeptToken() = token;
}

void FocusTopLevel(QWidget* window) {
    if (!window || !window->isVisible()) return;
    if (ActivationTakesToken())
        FocusOnWayland(window);
    else
        FocusOnX11(window);
}

}  // namespace platform
