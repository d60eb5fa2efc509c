// The agent's composition root: reads the options, starts the relay (the embedded one unless
// another is named), opens the desktop and the face, and hands them to the agent.
#include <QApplication>
#include <QDBusConnection>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <malloc.h>
#include <unistd.h>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "config/JsonFileStore.h"
#include "main/RelayEndpoints.h"
#include "platform/HostName.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/portal/PortalDesktop.h"
#include "platform/qt/DarkLook.h"
#include "platform/qt/DisplayLoss.h"
#include "platform/qt/LogindWake.h"
#include "platform/qt/QtLoop.h"
#include "platform/qt/QtPairWindow.h"
#include "platform/qt/QtRingWindow.h"
#include "platform/qt/QtTray.h"
#include "platform/qt/QtWebSocket.h"
#include "platform/qt/SingleInstance.h"
#include "platform/qt/StopSignals.h"
#include "platform/x11/X11Capture.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11ScreenAccess.h"
#include "relay/EmbeddedRelay.h"
#include "ui/QrCode.h"
#include "version/Version.h"

namespace {

void logLine(const std::string& line) {
    std::cerr << "zephyrglint: " << line << std::endl;
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Where Qt puts the agent's windows: on the display the agent drives, X's for the X11 layer
// (also under XWayland: the ring must be placed around the pointer) and Wayland's for the
// portal, with X as the second choice. Where none can start, Qt draws off screen rather than
// abort: the agent still serves phones, and the terminal shows the link.
const char* qtPlatforms(zg::DesktopLayer layer) {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && layer == zg::DesktopLayer::Portal) {
        return "wayland;xcb;offscreen";
    }
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) return "xcb;offscreen";
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return "wayland;offscreen";
    return "offscreen";
}

// The relay the agent joins and the page that leads phones there.
struct Relay {
    zg::EmbeddedRelay embedded;
    std::string url;
    std::string phoneUrl = ZG_PHONE_URL;

    // The embedded relay is reached in process: streaming through a socket of its own cost the
    // agent a third of its work per frame.
    zg::WebSocketFactory sockets() {
        return [this, network = zg::qtWebSocketFactory()](const std::string& url) {
            auto local = embedded.connectLocally();
            return local ? std::move(local) : network(url);
        };
    }
};

// Starts the embedded relay unless a relay was named at build time or on the command line;
// false (said in the log) when it cannot listen.
bool startRelay(const zg::AgentOptions& options, Relay& relay) {
    relay.url = options.relayUrl.value_or(ZG_RELAY_URL);
    if (!relay.url.empty()) return true;
    if (std::string error;
        !relay.embedded.start(zg::listenHost(options.listen), options.listen.port, error)) {
        logLine("cannot start the embedded relay on " + zg::formatListenAddress(options.listen) +
                ": " + error +
                " (another address: --listen HOST:PORT; another relay: --relay URL)");
        return false;
    }
    const quint16 port = relay.embedded.port();
    relay.url = zg::embeddedRelayUrl(options.listen, port);
    if (relay.phoneUrl.empty()) relay.phoneUrl = zg::embeddedPhoneUrl(options.listen, port);
    logLine("embedded relay listening on port " + std::to_string(port));
    return true;
}

// The portal in a Wayland session: there X reaches only the programs that run under XWayland.
zg::DesktopLayer chooseLayer(zg::DesktopLayer asked) {
    if (asked != zg::DesktopLayer::Automatic) return asked;
    return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? zg::DesktopLayer::X11
                                                          : zg::DesktopLayer::Portal;
}

// The desktop phones drive and see, when there is one: an X display, or a desktop portal.
struct Desktop {
    std::unique_ptr<zg::X11Desktop> x11;
    // Shared with the streamer's background task, which may still run when main returns.
    std::shared_ptr<zg::X11Capture> capture;
    zg::X11ScreenAccess screenAccess;
    std::unique_ptr<zg::PortalDesktop> portal;

    Desktop(zg::Loop& loop, zg::DesktopLayer layer) {
        if (layer == zg::DesktopLayer::Portal) {
            logLine("driving the desktop through the desktop portal");
            portal = std::make_unique<zg::PortalDesktop>(loop, QDBusConnection::sessionBus());
            portal->log = logLine;
            return;
        }
        std::string error;
        x11 = zg::openX11Desktop(loop, nullptr, error);
        if (!x11) {
            logLine(error +
                    " (start it in a desktop session; make run starts a private display "
                    "where there is none)");
            return;
        }
        capture = zg::X11Capture::open(nullptr, error);
        if (!capture) logLine("no screen pictures: " + error);
    }

    zg::Platform platform(Relay& relay) {
        if (portal) {
            return {.sockets = relay.sockets(),
                    .relayUrl = relay.url,
                    .pointer = &portal->pointer(),
                    .keyboard = &portal->keyboard(),
                    .screenAccess = portal.get(),
                    .capture = portal->capture(),
                    .hostName = zg::hostName(),
                    .permissions = portal.get()};
        }
        zg::ScreenStreamer::Capture pictures;
        if (capture) {
            pictures = [capture = capture](const zg::CaptureRequest& request) {
                return capture->capture(request);
            };
        }
        return {.sockets = relay.sockets(),
                .relayUrl = relay.url,
                .pointer = x11 ? &x11->pointer() : nullptr,
                .keyboard = x11 ? &x11->keyboard() : nullptr,
                .screenAccess = &screenAccess,
                .capture = std::move(pictures),
                .hostName = zg::hostName(),
                .permissions = x11 ? &x11->permissions() : nullptr};
    }
};

// The agent's windows, tray item, ring and login item; without a display only the window,
// which then draws off screen.
struct Face {
    zg::QtPairWindow window;
    std::unique_ptr<zg::QtTray> tray;
    std::unique_ptr<zg::QtRingWindow> ring;
    zg::XdgAutostart login{zg::XdgAutostart::userEntry(),
                           QCoreApplication::applicationFilePath().toStdString()};

    // Asks the desktop for access again; absent where nothing can be asked.
    std::function<void()> askPermission;

    Face(bool display, Desktop& desktop) {
        if (display) tray = std::make_unique<zg::QtTray>();
        // A Wayland window cannot be put at a place of its choosing, so the ring is X's only.
        if (zg::X11Desktop* x11 = desktop.x11.get()) {
            ring = std::make_unique<zg::QtRingWindow>([x11] { return x11->compositing(); });
        }
        if (zg::PortalDesktop* portal = desktop.portal.get()) {
            askPermission = [portal] { portal->ask(); };
        }
    }

    zg::Face parts() {
        return {.window = &window,
                .item = tray.get(),
                .ring = ring.get(),
                .login = &login,
                .askPermission = askPermission,
                .terminate = [] { QCoreApplication::exit(0); }};
    }
};

// The link as a QR code people can scan from the terminal.
void printTerminalCode(const std::string& link) {
    if (const auto code = zg::QrCode::encode(link)) {
        std::cout << zg::terminalPicture(*code, ::isatty(STDOUT_FILENO)) << std::flush;
    }
}

int run(const zg::AgentOptions& options, int argc, char** argv) {
    const bool display = hasDisplay();
    const zg::DesktopLayer layer = chooseLayer(options.desktop);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qtPlatforms(layer));
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    zg::useDarkLook(app);
    if (display && zg::SingleInstance::handedOver()) {
        logLine("already running on this display: its pairing window is shown");
        return 0;
    }

    // Which display Qt took says where the windows are, when one is missing.
    logLine(std::string("version ") + zg::kVersion + ", windows on Qt's " +
            QGuiApplication::platformName().toStdString() + " platform");
    Relay relay;
    if (!startRelay(options, relay)) return 1;
    zg::QtLoop loop;
    Desktop desktop(loop, layer);
    Face face(display, desktop);
    zg::JsonFileStore store(zg::settingsPath());
    // Made last, so that it goes first: it points at everything above.
    zg::Platform platform = desktop.platform(relay);
    platform.plainPhones = options.plain;
    zg::AppDelegate agent(loop, store, relay.phoneUrl, std::move(platform), face.parts());
    agent.log = logLine;
    zg::LogindWake wake([&agent] { agent.wake(); });
    zg::StopSignals stop([&agent, stopping = false](int signal) mutable {
        // A second signal does not wait for the farewell.
        if (std::exchange(stopping, true)) return QCoreApplication::exit(0);
        logLine(std::string("stopping on ") + strsignal(signal));
        agent.quit();
    });
    zg::SingleInstance instance([&agent] { agent.showPairing(); });
    // The display going away ends the session, so the agent ends as Quit ends it, as far as
    // Qt's exit lets it (see DisplayLoss). With 0, as after Quit or a logout's SIGTERM: a
    // service manager that restarts failures would otherwise start it again into no session.
    // Offscreen, Qt answers too, with no display.
    if (auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
        x11 && x11->display()) {
        zg::X11Display::survive(x11->display());
    }
    zg::DisplayLoss displayLoss(
        [&agent] {
            logLine("the display went away: saying goodbye to the phones and stopping");
            agent.quit();
        },
        zg::AppDelegate::kQuitDelay, 0);
    agent.launch(options.tray || !display);
    if (desktop.portal) {
        desktop.portal->loadToken = [&agent] { return agent.config().portalToken(); };
        desktop.portal->storeToken = [&agent](const std::string& token) {
            agent.config().setPortalToken(token);
        };
        desktop.portal->onAccessChanged = [&agent] { agent.permissionsChanged(); };
        desktop.portal->ask();
    }

    // Without a page to open (an outside relay, and none stored), the code alone is no link.
    if (agent.config().phoneUrl().empty()) {
        logLine(
            "no phone page is known for this relay, so there is no link to show: store the "
            "page's address as \"phoneUrl\" in " +
            zg::settingsPath().string() + " and start again");
    } else {
        const std::string link = agent.config().link();
        std::cout << link << std::endl;
        if (options.terminalCode || !face.tray || !zg::QtTray::available()) {
            if (display && !options.terminalCode) logLine("no system tray: scan the code below");
            printTerminalCode(link);
        }
    }
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that none of them takes these signals past the event loop.
    zg::StopSignals::block();
    // Each frame takes buffers of a few hundred kilobytes to a few megabytes on three threads.
    // glibc's own thresholds move with the order such buffers happen to be freed in, and could
    // leave every frame giving them back to the kernel and faulting them in anew (a thousand
    // page faults a frame, measured); kept in the heap, a frame costs the same every time.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    std::string error;
    const std::optional<zg::AgentOptions> options =
        zg::parseAgentOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "zephyrglint: " << error << "\nTry 'zephyrglint --help'.\n";
        return 2;
    }
    if (options->help) {
        std::cout << zg::agentUsage("zephyrglint");
        return 0;
    }
    if (options->version) {
        std::cout << "zephyrglint " << zg::kVersion << "\n";
        return 0;
    }
    return run(*options, argc, argv);
}
