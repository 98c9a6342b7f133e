#include "platform/ActivationToken.h"

#include <poll.h>
#include <wayland-client.h>

#include <QDeadlineTimer>
#include <cerrno>
#include <cstring>

#include "xdg-activation-v1-client-protocol.h"

namespace platform {

namespace {

constexpr int MaxTokenLength = 255;

struct TTokenRequest {
    xdg_activation_v1* Activation = nullptr;
    QString Token;
    bool Done = false;
};

void RegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* request = static_cast<TTokenRequest*>(data);
    if (!request->Activation && std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        request->Activation = static_cast<xdg_activation_v1*>(
            wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}

void RegistryGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener RegistryListener = {RegistryGlobal, RegistryGlobalRemove};

void TokenDone(void* data, xdg_activation_token_v1*, const char* token) {
    auto* request = static_cast<TTokenRequest*>(data);
    request->Token = QString::fromUtf8(token);
    request->Done = true;
}

const xdg_activation_token_v1_listener TokenListener = {TokenDone};

void SyncDone(void* data, wl_callback*, uint32_t) {
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener SyncListener = {SyncDone};

// wl_display_roundtrip, but one that gives up at the deadline instead of waiting for a
// compositor that hangs.
bool RoundTrip(wl_display* display, const QDeadlineTimer& deadline) {
    bool synced = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &SyncListener, &synced);
    bool ok = true;
    while (!synced && ok) {
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            ok = false;
            break;
        }
        pollfd descriptor{wl_display_get_fd(display), POLLIN, 0};
        const int remaining = static_cast<int>(deadline.remainingTime());
        const int ready = remaining > 0 ? poll(&descriptor, 1, remaining) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(display);
            ok = ready < 0 && errno == EINTR && !deadline.hasExpired();
            continue;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) ok = false;
    }
    wl_callback_destroy(callback);
    return synced;
}

}  // namespace

bool IsUsableActivationToken(const QString& token) {
    if (token.isEmpty() || token.size() > MaxTokenLength) return false;
    for (const QChar c : token)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) return false;
    return true;
}

QString RequestActivationToken(const QString& appId, int timeoutMs) {
    // Without the variable the library would try "wayland-0", which may be another session's.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return {};
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return {};
    const QDeadlineTimer deadline(timeoutMs);
    TTokenRequest request;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &RegistryListener, &request);
    if (RoundTrip(display, deadline) && request.Activation) {
        xdg_activation_token_v1* token = xdg_activation_v1_get_activation_token(request.Activation);
        xdg_activation_token_v1_add_listener(token, &TokenListener, &request);
        if (!appId.isEmpty()) xdg_activation_token_v1_set_app_id(token, appId.toUtf8().constData());
        xdg_activation_token_v1_commit(token);
        while (!request.Done && !deadline.hasExpired() && RoundTrip(display, deadline)) {
        }
        xdg_activation_token_v1_destroy(token);
    }
    if (request.Activation) xdg_activation_v1_destroy(request.Activation);
    wl_registry_destroy(registry);
    wl_display_flush(display);
    wl_display_disconnect(display);
    return IsUsableActivationToken(request.Token) ? request.Token : QString();
}

QString ActivationTokenForAnotherInstance(const QString& appId, int timeoutMs) {
    const QString given = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (IsUsableActivationToken(given)) return given;
    return RequestActivationToken(appId, timeoutMs);
}

}  // namespace platform
