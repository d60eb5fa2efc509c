// The agent: keeps this computer on the relay channel of its pairing code and prints the
// phone link that leads a phone there.
#include <QCoreApplication>
#include <QHostAddress>
#include <cstdio>
#include <iostream>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "config/JsonFileStore.h"
#include "platform/HostName.h"
#include "platform/qt/LanAddress.h"
#include "platform/qt/QtLoop.h"
#include "platform/qt/QtWebSocket.h"
#include "platform/x11/X11Capture.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11ScreenAccess.h"
#include "relay/EmbeddedRelay.h"

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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
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

    zg::JsonFileStore store(zg::settingsPath());
    zg::AppDelegate agent(loop, store, phoneUrl,
                          {.sockets = zg::qtWebSocketFactory(),
                           .relayUrl = relayUrl,
                           .pointer = desktop ? &desktop->pointer() : nullptr,
                           .keyboard = desktop ? &desktop->keyboard() : nullptr,
                           .screenAccess = &screenAccess,
                           .capture = capture ? zg::ScreenStreamer::Capture(
                                                    [capture](const zg::CaptureRequest& request) {
                                                        return capture->capture(request);
                                                    })
                                              : nullptr,
                           .hostName = zg::hostName()});
    agent.log = logLine;
    agent.launch();

    std::cout << agent.config().link() << std::endl;
    return QCoreApplication::exec();
}
