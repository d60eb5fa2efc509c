// The agent: keeps this computer on the relay channel of its pairing code and prints the
// phone link that leads a phone there.
#include <QApplication>
#include <QHostAddress>
#include <QPalette>
#include <QStyleFactory>
#include <cstdio>
#include <iostream>

#include <unistd.h>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "config/JsonFileStore.h"
#include "platform/HostName.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/qt/LanAddress.h"
#include "platform/qt/LogindWake.h"
#include "platform/qt/QtHaloWindow.h"
#include "platform/qt/QtLoop.h"
#include "platform/qt/QtPairWindow.h"
#include "platform/qt/QtTray.h"
#include "platform/qt/QtWebSocket.h"
#include "platform/qt/SingleInstance.h"
#include "platform/x11/X11Capture.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11ScreenAccess.h"
#include "relay/EmbeddedRelay.h"
#include "ui/QrCode.h"

namespace {

constexpr const char* kBuiltInRelayUrl = ZG_RELAY_URL;
constexpr const char* kBuiltInPhoneUrl = ZG_PHONE_URL;

void logLine(const std::string& line) {
    std::cerr << "zephyrglint: " << line << std::endl;
}

QHostAddress listenHost(const zg::ListenAddress& listen) {
    return listen.host.empty() ? QHostAddress(QHostAddress::Any)
                               : QHostAddress(QString::fromStdString(listen.host));
}

bool isWildcard(const QHostAddress& host) {
    return host == QHostAddress(QHostAddress::Any) || host == QHostAddress(QHostAddress::AnyIPv4) ||
           host == QHostAddress(QHostAddress::AnyIPv6);
}

// "host:port" for a URL, with brackets around an IPv6 host.
QString authority(const QString& host, quint16 port) {
    const bool v6 = host.contains(':');
    return QString("%1%2%3:%4").arg(v6 ? "[" : "", host, v6 ? "]" : "").arg(port);
}

// How this machine's own link reaches the embedded relay: over loopback when it listens
// everywhere.
std::string embeddedRelayUrl(const zg::ListenAddress& listen, quint16 port) {
    const QHostAddress host = listenHost(listen);
    const QString name = isWildcard(host) ? "127.0.0.1" : host.toString();
    return ("ws://" + authority(name, port) + "/realtime/v1/websocket?vsn=1.0.0").toStdString();
}

// Where a phone finds the page the embedded relay serves.
std::string embeddedPhoneUrl(const zg::ListenAddress& listen, quint16 port) {
    const QHostAddress host = listenHost(listen);
    const QString name = isWildcard(host) ? zg::lanAddress() : host.toString();
    return ("http://" + authority(name, port) + "/remote").toStdString();
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The same dark look as the pairing window for the menus, whatever the desktop's theme.
void useDarkLook(QApplication& app) {
    app.setStyle(QStyleFactory::create("Fusion"));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(20, 20, 20));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(40, 40, 40));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(70, 110, 200));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(30, 30, 30));
    dark.setColor(QPalette::ToolTipText, Qt::white);
    dark.setColor(QPalette::Disabled, QPalette::Text, Qt::gray);
    dark.setColor(QPalette::Disabled, QPalette::WindowText, Qt::gray);
    app.setPalette(dark);
}

// The link as a QR code people can scan from the terminal.
void printTerminalCode(const std::string& link) {
    if (const auto code = zg::QrCode::encode(link)) {
        std::cout << zg::terminalPicture(*code, ::isatty(STDOUT_FILENO)) << std::flush;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const zg::ParsedOptions parsed = zg::parseAgentOptions(args);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "zephyrglint: " << *error << "\nTry 'zephyrglint --help'.\n";
        return 2;
    }
    const auto& options = std::get<zg::AgentOptions>(parsed);
    if (options.help) {
        std::cout << zg::agentUsage("zephyrglint");
        return 0;
    }

    // Without a display the agent still serves phones: Qt draws off screen and the terminal
    // shows the link.
    const bool display = hasDisplay();
    if (!display && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    useDarkLook(app);
    if (display && zg::SingleInstance::handedOver()) {
        logLine("already running on this display: its pairing window is shown");
        return 0;
    }

    std::string relayUrl = options.relayUrl.value_or(kBuiltInRelayUrl);
    std::string phoneUrl = kBuiltInPhoneUrl;
    zg::EmbeddedRelay relay;
    if (relayUrl.empty()) {
        if (!relay.start(listenHost(options.listen), options.listen.port)) {
            logLine("cannot start the embedded relay on " +
                    zg::formatListenAddress(options.listen) + ": " +
                    relay.errorString().toStdString());
            return 1;
        }
        relayUrl = embeddedRelayUrl(options.listen, relay.port());
        if (phoneUrl.empty()) phoneUrl = embeddedPhoneUrl(options.listen, relay.port());
        logLine("embedded relay listening on port " + std::to_string(relay.port()));
    } else if (phoneUrl.empty()) {
        logLine("no phone page is known for this relay: store \"phoneUrl\" in " +
                zg::settingsPath().string());
    }

    zg::QtLoop loop;
    std::string desktopError;
    const auto desktop = zg::openX11Desktop(loop, nullptr, desktopError);
    if (!desktop) logLine(desktopError);
    // Shared with the streamer's background task, which may still run when main returns.
    std::shared_ptr<zg::X11Capture> capture;
    if (desktop) {
        std::string captureError;
        capture = zg::X11Capture::open(nullptr, captureError);
        if (!capture) logLine("no screen pictures: " + captureError);
    }
    zg::X11ScreenAccess screenAccess;

    // The tray's actions reach the agent, which is made after its face.
    std::unique_ptr<zg::AppDelegate> agent;
    const auto withAgent = [&agent](auto action) {
        return [&agent, action] {
            if (agent) action(*agent);
        };
    };
    zg::QtPairWindow window;
    std::unique_ptr<zg::QtTray> tray;
    if (display) {
        tray = std::make_unique<zg::QtTray>(zg::TrayActions{
            .show = withAgent([](zg::AppDelegate& a) { a.showPairing(); }),
            .newCode = withAgent([](zg::AppDelegate& a) { a.newCode(); }),
            .toggleRing = withAgent([](zg::AppDelegate& a) { a.toggleRing(); }),
            .toggleLogin = withAgent([](zg::AppDelegate& a) { a.toggleLogin(); }),
            .quit = withAgent([](zg::AppDelegate& a) { a.quit(); }),
            .setSpeed =
                [&agent](double speed) {
                    if (agent) agent->setSpeed(speed);
                },
            .ticks = [&agent] { return agent ? agent->ticks() : zg::MenuTicks{}; }});
    }
    std::unique_ptr<zg::QtHaloWindow> halo;
    if (desktop) {
        halo = std::make_unique<zg::QtHaloWindow>([&desktop] { return desktop->compositing(); });
    }
    zg::XdgAutostart login(zg::XdgAutostart::userEntry(),
                           QCoreApplication::applicationFilePath().toStdString());

    zg::JsonFileStore store(zg::settingsPath());
    agent = std::make_unique<zg::AppDelegate>(
        loop, store, phoneUrl,
        zg::Platform{.sockets = zg::qtWebSocketFactory(),
                     .relayUrl = relayUrl,
                     .pointer = desktop ? &desktop->pointer() : nullptr,
                     .keyboard = desktop ? &desktop->keyboard() : nullptr,
                     .screenAccess = &screenAccess,
                     .capture = capture ? zg::ScreenStreamer::Capture(
                                              [capture](const zg::CaptureRequest& request) {
                                                  return capture->capture(request);
                                              })
                                        : nullptr,
                     .hostName = zg::hostName(),
                     .permissions = desktop ? &desktop->permissions() : nullptr},
        zg::Face{.window = &window,
                 .item = tray.get(),
                 .halo = halo.get(),
                 .login = &login,
                 // X needs no permission beyond the XTEST extension, which no setting grants.
                 .openPermissionSettings = nullptr,
                 .terminate = [] { QCoreApplication::exit(0); }});
    agent->log = logLine;
    zg::LogindWake wake(withAgent([](zg::AppDelegate& a) { a.wake(); }));
    zg::SingleInstance instance(withAgent([](zg::AppDelegate& a) { a.showPairing(); }));
    agent->launch(options.tray || !display);

    const std::string link = agent->config().link();
    std::cout << link << std::endl;
    if (options.terminalCode || !tray || !zg::QtTray::available()) {
        if (display && !options.terminalCode) logLine("no system tray: scan the code below");
        printTerminalCode(link);
    }
    const int status = QApplication::exec();
    // The agent goes first: it holds the face and the settings store made after its pointer.
    agent.reset();
    return status;
}
