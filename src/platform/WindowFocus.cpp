#include "platform/WindowFocus.h"

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QWidget>

namespace platform {

void FocusTopLevel(QWidget* window) {
    if (!window || !window->isVisible()) return;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* connection = x11->connection();
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, static_cast<xcb_window_t>(window->winId()),
                        XCB_CURRENT_TIME);
    xcb_flush(connection);
}

}  // namespace platform
