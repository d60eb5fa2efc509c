// GoogleTest and Qt first: neither can take the macros Xlib defines (None, Bool, KeyPress).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/prctl.h>

#include <csignal>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "RelayClient.h"
#include "Spin.h"
#include "XvfbServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace zg::test {
namespace {

const QString kCode = "23456789ABCDEFGH";
const QString kTopic = "realtime:zephyrglint-" + kCode;

// The first window below `parent` for which `match` holds, depth first.
Window findWindow(Display* dpy, Window parent, const std::function<bool(Window)>& match) {
    Window root, up, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, parent, &root, &up, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        found = match(children[i]) ? children[i] : findWindow(dpy, children[i], match);
    }
    if (children) XFree(children);
    return found;
}

bool viewable(Display* dpy, Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(dpy, window, &attributes) && attributes.map_state == IsViewable;
}

// What the screen shows of `window`.
QImage screenshot(Display* dpy, Window window) {
    XWindowAttributes attributes;
    XImage* image =
        XGetWindowAttributes(dpy, window, &attributes)
            ? XGetImage(dpy, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap)
            : nullptr;
    if (!image) return {};
    QImage picture(image->width, image->height, QImage::Format_RGB32);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) picture.setPixel(x, y, XGetPixel(image, x, y));
    }
    XDestroyImage(image);
    return picture;
}

// The agent binary on the X display with a configuration folder of its own (settings as given,
// none at all for a first run) and a free loopback port for its relay; killed with the object,
// and with the test process if that dies first. It sees no session bus unless one is named.
class AgentProcess {
public:
    AgentProcess(const std::string& display, const std::optional<QJsonObject>& settings,
                 const QStringList& arguments, const QString& sessionBus = {}) {
        if (settings) {
            QDir(home.path()).mkpath("zephyrglint");
            QFile file(home.filePath("zephyrglint/settings.json"));
            if (file.open(QIODevice::WriteOnly)) file.write(QJsonDocument(*settings).toJson());
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromStdString(display));
        env.insert("XDG_CONFIG_HOME", home.path());
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        if (!sessionBus.isEmpty()) env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBus);
        process_.setProcessEnvironment(env);
        process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        QObject::connect(&process_, &QProcess::readyReadStandardOutput,
                         [this] { output_ += process_.readAllStandardOutput(); });
        QObject::connect(&process_, &QProcess::readyReadStandardError,
                         [this] { log += process_.readAllStandardError(); });
        process_.start(ZG_AGENT_BINARY, QStringList{"--listen", "127.0.0.1:0"} + arguments);
    }
    ~AgentProcess() {
        process_.kill();
        process_.waitForFinished();
    }

    // The embedded relay's port once the agent has joined its channel; 0 if that takes too long.
    quint16 waitJoined() {
        if (!spinUntil([&] { return log.contains("joined channel realtime:"); }, 20)) return 0;
        static const QRegularExpression port("embedded relay listening on port (\\d+)");
        return port.match(QString::fromUtf8(log)).captured(1).toUShort();
    }
    // The exit code once the agent has ended by itself; nothing if it runs on.
    std::optional<int> waitExit(double seconds) {
        if (!spinUntil([this] { return process_.state() == QProcess::NotRunning; }, seconds)) {
            return std::nullopt;
        }
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    // The phone link: the first line the agent printed.
    std::string link() const { return output_.left(output_.indexOf('\n')).toStdString(); }

    QTemporaryDir home;  // $XDG_CONFIG_HOME
    QByteArray log;

private:
    QProcess process_;
    QByteArray output_;
};

// A private X server with a system tray (Debian's trayer) and the agent on it.
class TrayAgent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
        dpy = XOpenDisplay(server.name().c_str());
        ASSERT_NE(dpy, nullptr);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromStdString(server.name()));
        tray.setProcessEnvironment(env);
        tray.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request",
                              "--height", "24", "--transparent", "false"});
        const Atom selection = XInternAtom(dpy, "_NET_SYSTEM_TRAY_S0", False);
        ASSERT_TRUE(spinUntil([&] { return XGetSelectionOwner(dpy, selection) != 0; }))
            << "the tray host did not start";
    }

    void TearDown() override {
        if (HasFailure() && agent) std::cerr << "agent's log:\n" << agent->log.toStdString();
        tray.kill();
        tray.waitForFinished();
        if (dpy) XCloseDisplay(dpy);
    }

    quint16 start(const std::optional<QJsonObject>& settings, const QStringList& arguments,
                  const QString& sessionBus = {}) {
        agent = std::make_unique<AgentProcess>(server.name(), settings, arguments, sessionBus);
        return agent->waitJoined();
    }

    Window pairingWindow() {
        return findWindow(dpy, DefaultRootWindow(dpy), [this](Window w) {
            char* name = nullptr;
            const bool ours =
                XFetchName(dpy, w, &name) && name && name == std::string("ZephyrGlint");
            if (name) XFree(name);
            return ours;
        });
    }

    // The agent's icon, docked in the tray host.
    Window trayIcon() {
        return findWindow(dpy, DefaultRootWindow(dpy), [this](Window w) {
            XClassHint hint{};
            if (!XGetClassHint(dpy, w, &hint)) return false;
            const bool ours = std::string(hint.res_name) == "zephyrglint";
            XFree(hint.res_name);
            XFree(hint.res_class);
            XWindowAttributes attributes;
            return ours && XGetWindowAttributes(dpy, w, &attributes) && attributes.width < 64 &&
                   attributes.map_state == IsViewable;
        });
    }

    void tap(KeySym key) {
        const KeyCode code = XKeysymToKeycode(dpy, key);
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        XSync(dpy, False);
    }

    XvfbServer server;
    Display* dpy = nullptr;
    QProcess tray;
    std::unique_ptr<AgentProcess> agent;
};

TEST_F(TrayAgent, AFirstRunShowsAScannableCodeRegistersAtLoginAndClosingOnlyHides) {
    ASSERT_NE(start(std::nullopt, {}), 0) << "the agent did not join its channel";
    Window window = 0;
    ASSERT_TRUE(spinUntil([&] { return (window = pairingWindow()) && viewable(dpy, window); }));

    QTemporaryDir dir;
    const QString shot = dir.filePath("pairing.png");
    ASSERT_TRUE(screenshot(dpy, window).save(shot));
    QProcess reader;
    reader.start("zbarimg", {"--quiet", "--raw", shot});
    ASSERT_TRUE(reader.waitForFinished(10000));
    EXPECT_EQ(reader.readAllStandardOutput().trimmed().toStdString(), agent->link());

    QFile entry(agent->home.filePath("autostart/zephyrglint.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("--tray\n"));

    // Closing the window, as a window manager asks, only hides it.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    XSendEvent(dpy, window, False, NoEventMask, &close);
    XSync(dpy, False);
    EXPECT_TRUE(spinUntil([&] { return !viewable(dpy, window); }));
    EXPECT_EQ(agent->waitExit(0.5), std::nullopt);
}

TEST_F(TrayAgent, InTheTrayItShowsOnlyItsIconAndQuitFromTheMenuSaysFarewell) {
    const quint16 port = start(QJsonObject{{"code", kCode}}, {"--tray"});
    ASSERT_NE(port, 0);
    RelayClient phone(port);
    ASSERT_EQ(status(phone.join(kTopic, {{"self", false}})), "ok");

    Window icon = 0;
    ASSERT_TRUE(spinUntil([&] { return (icon = trayIcon()) != 0; })) << "no icon in the tray";
    const Window window = pairingWindow();
    EXPECT_FALSE(window && viewable(dpy, window));
    Window child;
    int x = 0, y = 0;
    XTranslateCoordinates(dpy, icon, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
    XTestFakeMotionEvent(dpy, -1, x + 8, y + 8, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XSync(dpy, False);
    // The menu opens with nothing selected; upwards from there is its last item, "Quit".
    ASSERT_TRUE(spinUntil([&] {
        return findWindow(dpy, DefaultRootWindow(dpy), [this](Window w) {
            XWindowAttributes attributes;
            return XGetWindowAttributes(dpy, w, &attributes) && attributes.override_redirect &&
                   attributes.map_state == IsViewable && attributes.height > 100;
        });
    })) << "the tray menu did not open";
    tap(XK_Up);
    tap(XK_Return);

    EXPECT_TRUE(spinUntil([&] {
        const auto states = phone.events("state");
        return !states.isEmpty() && states.back()["gone"] == true;
    })) << "no farewell";
    EXPECT_EQ(agent->waitExit(5), 0);
}

TEST_F(TrayAgent, ASecondStartBringsTheRunningAgentsWindowForward) {
    QProcess bus;
    bus.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(spinUntil([&] { return bus.canReadLine(); })) << "no session bus";
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();

    ASSERT_NE(start(QJsonObject{{"code", kCode}}, {"--tray"}, address), 0);
    AgentProcess second(server.name(), QJsonObject{{"code", kCode}}, {}, address);
    EXPECT_EQ(second.waitExit(10), 0);
    Window window = 0;
    EXPECT_TRUE(spinUntil([&] { return (window = pairingWindow()) && viewable(dpy, window); }));
    bus.kill();
    bus.waitForFinished();
}

}  // namespace
}  // namespace zg::test
