// A scriptable stand-in for the agent's side of a channel, for the interop tests:
//   link_probe URL CHANNEL
// Prints "up" / "down" as the channel is joined or lost and "event <name> <json>" for each
// application event; broadcasts "<event> <json>" lines read from standard input.
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <string>

#include "link/RealtimeLink.h"
#include "platform/qt/QtLoop.h"
#include "platform/qt/QtWebSocket.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) return 2;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line reaches the test as it is printed
    zg::QtLoop loop;
    zg::RealtimeLink link(loop, zg::qtWebSocketFactory(), argv[1]);
    link.onUp = [](bool up) { std::puts(up ? "up" : "down"); };
    link.onMessage = [](const std::string& event, const zg::Payload& payload) {
        std::printf("event %s %s\n", event.c_str(), payload.dump().c_str());
    };

    // Raw reads: a buffered stream could hold lines the notifier never announces again.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        pending.append(chunk, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;
             pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            const auto space = line.find(' ');
            const auto payload = zg::Payload::parse(line.substr(space + 1), nullptr, false);
            if (space == std::string::npos || !payload.is_object() ||
                !link.send(line.substr(0, space), payload))
                std::printf("not sent: %s\n", line.c_str());
        }
    });

    link.start(argv[2]);
    return QCoreApplication::exec();
}
