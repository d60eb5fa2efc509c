// GoogleTest and Qt first: neither can take the macros Xlib defines (None, Bool, KeyPress).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "Processes.h"
#include "RelayClient.h"
#include "XvfbServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace zg::test {
namespace {

const QJsonObject kSettings{{"code", "23456789ABCDEFGH"}};

// The agent binary on the X display with a configuration folder of its own (settings as given,
// none at all for a first run) and a free loopback port for its relay. It sees no session bus
// unless one is named.
class AgentProcess {
public:
    AgentProcess(const std::string& display, const std::optional<QJsonObject>& settings,
                 const QStringList& arguments, const QString& sessionBus = {}) {
        QFile file(home.filePath("zephyrglint/settings.json"));
        if (settings && QDir(home.path()).mkpath("zephyrglint") && file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(*settings).toJson());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromStdString(display));
        env.insert("XDG_CONFIG_HOME", home.path());
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        if (!sessionBus.isEmpty()) env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBus);
        QObject::connect(&process_, &QProcess::readyReadStandardError,
                         [this] { log += process_.readAllStandardError(); });
        launch(process_, ZG_AGENT_BINARY, QStringList{"--listen", "127.0.0.1:0"} + arguments, env);
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
    std::string link() { return process_.readLine().trimmed().toStdString(); }

    QTemporaryDir home;  // $XDG_CONFIG_HOME
    QByteArray log;

private:
    QProcess process_;
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
        launch(tray, "trayer",
               {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                "--transparent", "false"},
               env);
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
    Window pairingWindow() {
        return shown([this](Window w, auto&) {
            char* name = nullptr;
            const bool ours = XFetchName(dpy, w, &name) && name == std::string("ZephyrGlint");
            if (name) XFree(name);
            return ours;
        });
    }
    Window trayIcon() {
        return shown([this](Window w, const XWindowAttributes& a) {
            XClassHint hint{};
            if (!XGetClassHint(dpy, w, &hint)) return false;
            const bool ours = std::string(hint.res_name) == "zephyrglint" && a.width < 64;
            XFree(hint.res_name);
            XFree(hint.res_class);
            return ours;
        });
    }

    XvfbServer server;
    Display* dpy = nullptr;
    QProcess tray;
    std::unique_ptr<AgentProcess> agent;
};

TEST_F(TrayAgent, AFirstRunShowsAScannableCodeThatClosingHidesAndASecondStartBringsBack) {
    QProcess bus;
    const QString address = startBus(bus);
    ASSERT_FALSE(address.isEmpty()) << "no session bus";
    ASSERT_NE(start(std::nullopt, {}, address), 0) << "the agent did not join its channel";
    Window window = 0;
    ASSERT_TRUE(spinUntil([&] { return (window = pairingWindow()) != 0; }));

    XWindowAttributes a;
    XGetWindowAttributes(dpy, window, &a);
    XImage* image = XGetImage(dpy, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    QTemporaryDir dir;
    const QString shot = dir.filePath("pairing.png");
    ASSERT_TRUE(QImage(reinterpret_cast<uchar*>(image->data), image->width, image->height,
                       image->bytes_per_line, QImage::Format_RGB32)
                    .save(shot));
    XDestroyImage(image);
    QProcess reader;
    reader.start("zbarimg", {"--quiet", "--raw", shot});
    ASSERT_TRUE(reader.waitForFinished(10000));
    const std::string link = agent->link();
    EXPECT_TRUE(link.starts_with("http://127.0.0.1:")) << link;
    EXPECT_EQ(reader.readAllStandardOutput().trimmed().toStdString(), link);

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
    EXPECT_TRUE(spinUntil([&] { return !pairingWindow(); }));
    EXPECT_EQ(agent->waitExit(0.5), std::nullopt);

    AgentProcess second(server.name(), kSettings, {}, address);
    EXPECT_EQ(second.waitExit(10), 0);
    EXPECT_TRUE(spinUntil([&] { return pairingWindow() != 0; }));
    bus.kill();
}

TEST_F(TrayAgent, InTheTrayItShowsOnlyItsIconAndQuitFromTheMenuSaysFarewell) {
    const quint16 port = start(kSettings, {"--tray", "--plain"});  // so that the phone reads it
    ASSERT_NE(port, 0);
    RelayClient phone(port);
    const QString topic = "realtime:zephyrglint-" + kSettings["code"].toString();
    ASSERT_EQ(status(phone.join(topic, {{"self", false}})), "ok");
    phone.broadcast(topic, "hello", {{"from", "phone-1"}});
    // Answered openly once heard; only then is the farewell said openly too.
    ASSERT_TRUE(spinUntil([&] { return !phone.events("state").isEmpty(); }));

    Window icon = 0;
    ASSERT_TRUE(spinUntil([&] { return (icon = trayIcon()) != 0; })) << "no icon in the tray";
    EXPECT_EQ(pairingWindow(), 0u);
    Window child;
    int x = 0, y = 0;
    XTranslateCoordinates(dpy, icon, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
    XTestFakeMotionEvent(dpy, -1, x + 8, y + 8, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XSync(dpy, False);
    // The menu opens with nothing selected; upwards from there is its last item, "Quit".
    ASSERT_TRUE(spinUntil([&] {
        return shown([](Window, auto& a) { return a.override_redirect && a.height > 100; });
    })) << "the tray menu did not open";
    for (KeySym key : {XK_Up, XK_Return}) {
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, key), True, CurrentTime);
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, key), False, CurrentTime);
    }
    XSync(dpy, False);

    EXPECT_TRUE(spinUntil([&] {
        const auto states = phone.events("state");
        return !states.isEmpty() && states.back()["gone"] == true;
    })) << "no farewell";
    EXPECT_EQ(agent->waitExit(5), 0);
}

}  // namespace
}  // namespace zg::test
