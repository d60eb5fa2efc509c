// GoogleTest and Qt first: neither can take the macros Xlib defines (None, Bool, KeyPress).
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <functional>
#include <iostream>

#include "AgentProcess.h"
#include "Processes.h"
#include "XvfbServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace zg::test {
namespace {

// A private X server with a system tray (Debian's trayer), a private session bus, and a
// configuration folder of the agent's own, empty as on a first run.
class TrayAgent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
        dpy = XOpenDisplay(server.name().c_str());
        ASSERT_NE(dpy, nullptr);
        env.insert("DISPLAY", QString::fromStdString(server.name()));
        env.insert("XDG_CONFIG_HOME", home.path());
        env.insert("DBUS_SESSION_BUS_ADDRESS", startBus(bus));
        launch(tray, "trayer",
               {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                "--transparent", "false"},
               env);
        const Atom selection = XInternAtom(dpy, "_NET_SYSTEM_TRAY_S0", False);
        ASSERT_TRUE(spinUntil([&] { return XGetSelectionOwner(dpy, selection) != 0; }))
            << "the tray host did not start";
    }

    void TearDown() override {
        if (HasFailure()) std::cerr << "agent's log:\n" << agent.readAllStandardError().data();
        for (QProcess* process : {&agent, &tray, &bus}) process->kill(), process->waitForFinished();
        if (dpy) XCloseDisplay(dpy);
    }

    // The agent binary, plain so that a plain client can listen; a second one hands over.
    void start(QProcess& process) {
        launch(process, ZG_AGENT_BINARY, {"--listen", "127.0.0.1:0", "--plain"}, env);
    }
    // The link the agent prints once it has joined its channel.
    QString readLink() { return test::readLink(agent); }
    // Whether the X server has the left button down.
    bool held() {
        Window root, child;
        int rootX, rootY, x, y;
        unsigned mask = 0;
        XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &x, &y, &mask);
        return (mask & Button1Mask) != 0;
    }
    // The first viewable window, depth first, for which `match` holds; 0 when there is none.
    Window shown(const std::function<bool(Window, const XWindowAttributes&)>& match,
                 Window parent = 0) {
        Window root, up, *children = nullptr, found = 0;
        unsigned count = 0;
        if (!XQueryTree(dpy, parent ? parent : DefaultRootWindow(dpy), &root, &up, &children,
                        &count))
            return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            const bool viewable = XGetWindowAttributes(dpy, children[i], &a) &&
                                  a.map_state == IsViewable && match(children[i], a);
            found = viewable ? children[i] : shown(match, children[i]);
        }
        if (children) XFree(children);
        return found;
    }
    // The agent's icon in the tray, or else its pairing window (no popup of its own).
    Window agentWindow(bool icon) {
        return shown([this, icon](Window w, const XWindowAttributes& a) {
            XClassHint hint{};
            if (!XGetClassHint(dpy, w, &hint)) return false;
            const bool ours = std::string(hint.res_name) == "zephyrglint" &&
                              (icon ? a.width < 64 : a.width >= 64 && !a.override_redirect);
            XFree(hint.res_name);
            XFree(hint.res_class);
            return ours;
        });
    }
    // What zbarimg reads off the window's picture.
    std::string scan(Window window) {
        XWindowAttributes a;
        XGetWindowAttributes(dpy, window, &a);
        XImage* image = XGetImage(dpy, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
        if (!image) return "";
        const QString shot = home.filePath("pairing.png");
        QImage(reinterpret_cast<uchar*>(image->data), image->width, image->height,
               image->bytes_per_line, QImage::Format_RGB32)
            .save(shot);
        XDestroyImage(image);
        QProcess reader;
        reader.start("zbarimg", {"--quiet", "--raw", shot});
        reader.waitForFinished(10000);
        return reader.readAllStandardOutput().trimmed().toStdString();
    }

    XvfbServer server;
    Display* dpy = nullptr;
    QTemporaryDir home;  // $XDG_CONFIG_HOME
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess bus, tray, agent;
};

TEST_F(TrayAgent,
       AFirstRunShowsAScannableCodeThatClosingHidesASecondStartShowsAndQuitSaysFarewell) {
    start(agent);
    Window window = 0;
    ASSERT_TRUE(spinUntil([&] { return (window = agentWindow(false)) != 0; }, 20));
    ASSERT_TRUE(spinUntil([&] { return agent.canReadLine(); }));
    const std::string link = agent.readLine().trimmed().toStdString();
    EXPECT_TRUE(link.starts_with("http://127.0.0.1:")) << link;
    EXPECT_TRUE(spinUntil([&] { return scan(window) == link; })) << "no scannable " << link;
    QFile entry(home.filePath("autostart/zephyrglint.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("--tray\n"));

    // A phone that cannot seal, to hear the farewell: answered openly once heard, only then is
    // the farewell said openly too.
    Phone phone(QString::fromStdString(link), "phone-1");

    // Closing the window, as a window manager asks, only hides it.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.format = 32;
    close.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    close.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    XSendEvent(dpy, window, False, NoEventMask, &close);
    XSync(dpy, False);
    EXPECT_TRUE(spinUntil([&] { return !agentWindow(false); }));
    QProcess second;  // handed over to the agent still running
    start(second);
    EXPECT_EQ(exitCode(second, 10), 0);
    EXPECT_TRUE(spinUntil([&] { return agentWindow(false) != 0; }));

    Window icon = 0;
    ASSERT_TRUE(spinUntil([&] { return (icon = agentWindow(true)) != 0; })) << "no tray icon";
    Window child;
    int x = 0, y = 0;
    XTranslateCoordinates(dpy, icon, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
    XTestFakeMotionEvent(dpy, -1, x + 8, y + 8, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    // The menu opens with nothing selected; upwards from there is its last item, "Quit".
    ASSERT_TRUE(spinUntil([&] {
        return shown([](Window, auto& a) { return a.override_redirect && a.height > 100; });
    })) << "the tray menu did not open";
    for (KeySym key : {XK_Up, XK_Return}) {
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, key), True, CurrentTime);
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, key), False, CurrentTime);
    }
    XSync(dpy, False);
    EXPECT_TRUE(phone.heardFarewell());
    EXPECT_EQ(exitCode(agent, 5), 0);
}

// A logout, a kill or Ctrl-C stops the agent as Quit does, even while a phone holds a button.
TEST_F(TrayAgent, StopSignalsLetGoOfAHeldButtonSayFarewellAndExitCleanly) {
    for (const int signal : {SIGTERM, SIGINT}) {
        start(agent);
        Phone phone(readLink(), "phone-1");
        phone.command("down");
        ASSERT_TRUE(spinUntil([&] { return held(); })) << "the phone's press did not arrive";

        ::kill(pid_t(agent.processId()), signal);
        EXPECT_TRUE(phone.heardFarewell()) << strsignal(signal);
        EXPECT_EQ(exitCode(agent, 5), 0) << strsignal(signal);
        EXPECT_FALSE(held()) << strsignal(signal);
    }
}

// A phone that leaves mid-drag lets go of the button, though another phone stays. (One that
// goes silent does the same when it expires, 45 s later: the unit tests show that.)
TEST_F(TrayAgent, APhoneLeavingMidDragLetsGoWhileAnotherStays) {
    start(agent);
    const QString link = readLink();
    Phone dragging(link, "phone-1"), staying(link, "phone-2");
    dragging.command("down");
    ASSERT_TRUE(spinUntil([&] { return held(); })) << "the phone's press did not arrive";
    dragging.client.broadcast(dragging.topic, "bye", {{"from", dragging.id}});
    EXPECT_TRUE(spinUntil([&] { return !held(); }));
}

// The display going away ends the agent as Quit does: a farewell, and no failure to restart on.
TEST_F(TrayAgent, TheDisplayGoingAwaySaysFarewellAndExitsCleanly) {
    start(agent);
    Phone phone(readLink(), "phone-1");
    XCloseDisplay(std::exchange(dpy, nullptr));  // Xlib would end this process too
    server.stop();
    EXPECT_TRUE(phone.heardFarewell());
    EXPECT_EQ(exitCode(agent, 5), 0);
    EXPECT_TRUE(agent.readAllStandardError().contains("zephyrglint: the display went away"));
}

// Without a display it can reach (none, a Wayland session it cannot drive, a display that is
// gone) Qt draws off screen; phones are still answered, and told why there is no screen.
TEST_F(TrayAgent, WithoutADisplayItCanUsePhonesAreAnsweredAndItStopsCleanly) {
    const std::pair<const char*, const char*> displays[] = {
        {"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", "wayland-absent"}, {"DISPLAY", ":987"}};
    for (const auto& [variable, value] : displays) {
        SCOPED_TRACE(std::string(variable) + "=" + (value ? value : ""));
        env.remove("DISPLAY");
        if (value) env.insert(variable, value);
        start(agent);
        Phone phone(readLink(), "phone-1");
        phone.command("screen", {{"on", true}});
        EXPECT_TRUE(spinUntil([&] {
            return !phone.client.events("state").back()["screenError"].toString().isEmpty();
        }));
        agent.terminate();
        EXPECT_EQ(exitCode(agent, 5), 0);
        env.remove(variable);
    }
}

}  // namespace
}  // namespace zg::test
