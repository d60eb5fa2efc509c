// A scriptable stand-in for the agent's side of a channel, for tests that need the real link:
//   link_probe URL CHANNEL
// Prints "up" / "down" when the channel is joined or lost and "event <name> <json>" for each
// application event; answers an event "ping" with "pong" carrying the same payload; and
// broadcasts "<event> <json>" lines read from standard input.
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <iostream>
#include <string>

#include "link/RealtimeLink.h"
#include "platform/qt/QtLoop.h"
#include "platform/qt/QtWebSocket.h"

namespace {

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void sendLine(zg::RealtimeLink& link, const std::string& line) {
    const auto space = line.find(' ');
    const std::string event = line.substr(0, space);
    zg::Payload payload = zg::Payload::object();
    if (space != std::string::npos) {
        payload = zg::Payload::parse(line.substr(space + 1), nullptr, false);
    }
    if (event.empty() || !payload.is_object()) {
        say("bad input: " + line);
        return;
    }
    say(link.send(event, payload) ? "sent " + event : "not joined");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::cerr << "usage: link_probe URL CHANNEL\n";
        return 2;
    }
    zg::QtLoop loop;
    zg::RealtimeLink link(loop, zg::qtWebSocketFactory(), argv[1]);
    link.onUp = [](bool up) { say(up ? "up" : "down"); };
    link.onMessage = [&link](const std::string& event, const zg::Payload& payload) {
        say("event " + event + " " + payload.dump());
        if (event == "ping") link.send("pong", payload);
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
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            sendLine(link, pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    });

    link.start(argv[2]);
    return QCoreApplication::exec();
}
