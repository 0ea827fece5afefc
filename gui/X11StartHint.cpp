#include "gui/X11StartHint.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// WM_HINTS (ICCCM 4.1.2.4): flags, input, initial_state, and six more fields.
constexpr std::size_t kHintFields = 9;
constexpr std::size_t kInitialState = 2;
constexpr quint32 kStateHint = 1U << 1;
constexpr quint32 kNormalState = 1;

} // namespace

void startNormalWhenShown(const QWidget& window) {
    // Other platforms (offscreen among them) may still answer the X11 interface, without a
    // connection behind it.
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !window.windowHandle())
        return;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, kHintFields);
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || reply->format != 32)
        return;
    std::array<quint32, kHintFields> hints{};
    const auto length = std::min<std::size_t>(kHintFields, reply->value_len);
    std::memcpy(hints.data(), xcb_get_property_value(reply.get()), length * sizeof(quint32));
    if (length <= kInitialState || (hints[0] & kStateHint) == 0 ||
        hints[kInitialState] == kNormalState)
        return;
    hints[kInitialState] = kNormalState;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
                        32, static_cast<quint32>(length), hints.data());
    xcb_flush(connection);
}
