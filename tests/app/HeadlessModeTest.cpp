// The choice of the headless mode, against real sockets standing in for display servers.

#include "app/Display.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

UniqueFd listenOn(const QByteArray& name) {
    const UnixSocketPath address(name);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const bool listening = address.valid() &&
                           ::bind(fd.get(), address.get(), address.length()) == 0 &&
                           ::listen(fd.get(), 1) == 0;
    return listening ? std::move(fd) : UniqueFd();
}

// The case, LUMIVEX_HEADLESS, QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY ("LIVE": one the
// test serves), and whether the mode is headless.
const std::tuple<const char*, const char*, const char*, const char*, const char*, bool> kCases[] = {
    {"asked for", "1", "", "LIVE", "", true},
    {"no display at all", "", "", "", "", true},
    {"an X display no one serves", "", "", ":DEAD", "", true},
    {"a Wayland socket no one serves", "", "", "", "wayland-dead", true},
    {"a live X display", "", "", "LIVE", "", false},
    {"a live Wayland socket", "", "", "", "LIVE", false},
    {"an X display on another host", "", "", "remote.example:0", "", false},
    {"Qt's offscreen platform", "", "offscreen", "", "", false},
    {"the xcb platform without X", "", "xcb", ":DEAD", "", true},
};

TEST(HeadlessMode, FollowsTheVariablesAndWhatAnswers) {
    QTemporaryDir runtime;
    // Display numbers far above any real server's; the live one is served, the dead one not.
    const QByteArray live = QByteArray::number(900 + ::getpid() % 50);
    const QByteArray dead = QByteArray::number(950 + ::getpid() % 50);
    const UniqueFd x11 = listenOn("@/tmp/.X11-unix/X" + live);
    const UniqueFd wayland = listenOn(QFile::encodeName(runtime.filePath("wayland-live")));
    ASSERT_TRUE(x11 && wayland);

    auto value = [&](const char* text, const QByteArray& liveValue) {
        QByteArray v(text);
        return v == "LIVE" ? liveValue : v.replace("DEAD", dead);
    };
    const ScopedEnv runtimeDir("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    for (const auto& [name, headless, platform, display, wayland, expected] : kCases) {
        const ScopedEnv vars[] = {
            {"LUMIVEX_HEADLESS", headless},
            {"QT_QPA_PLATFORM", platform},
            {"DISPLAY", value(display, ":" + live)},
            {"WAYLAND_DISPLAY", value(wayland, "wayland-live")},
        };
        EXPECT_EQ(headlessMode(), expected) << name;
    }
}

} // namespace
