// zephyrglint-relay: the relay on its own, for several agents and phones.

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "relay/ListenAddress.h"
#include "relay/Log.h"
#include "relay/RelayServer.h"
#include "version/Version.h"

namespace {

constexpr int usageError = 2;

int fail(const QString& message) {
    std::fprintf(stderr, "zephyrglint-relay: %s\nTry --help.\n", qPrintable(message));
    return usageError;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("zephyrglint-relay");
    QCoreApplication::setApplicationVersion(zg::kVersion);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Relays Phoenix Channels 1.0.0 broadcasts between the phones and agents that join the\n"
        "same channel (WebSocket at ws://HOST:PORT/realtime/v1/websocket), and serves the phone\n"
        "page at http://HOST:PORT/remote. Logs to stderr.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listen(
        "listen",
        "Where to listen: HOST:PORT with an IPv4 address or localhost, [IPV6]:PORT, or :PORT "
        "for every interface (IPv4 and IPv6). Port 0 picks a free port. The default, "
        "0.0.0.0:8787, is every IPv4 interface, so that phones on the network reach it.",
        "HOST:PORT", "0.0.0.0:8787");
    parser.addOption(listen);

    if (!parser.parse(QCoreApplication::arguments())) return fail(parser.errorText());
    if (parser.isSet("help")) parser.showHelp(0);
    if (parser.isSet("version")) parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument \"" + parser.positionalArguments().first() + "\"");

    std::string error;
    const std::optional<zg::ListenAddress> address =
        zg::parseListenAddress(parser.value(listen).toStdString(), error);
    if (!address) return fail("--listen " + QString::fromStdString(error));

    zg::RelayServer server;
    const QHostAddress host = address->host.empty()
                                  ? QHostAddress(QHostAddress::Any)
                                  : QHostAddress(QString::fromStdString(address->host));
    if (!server.listen(host, address->port, error)) {
        zg::relay::log(QString::fromStdString(error));
        return 1;
    }
    const std::string where = zg::formatListenAddress({address->host, server.serverPort()});
    zg::relay::log(QString("zephyrglint-relay %1 listening on %2")
                       .arg(zg::kVersion, QString::fromStdString(where)));
    return app.exec();
}
