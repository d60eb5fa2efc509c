// The agent link's cost per received broadcast: classify, parse and hand to the application,
// against parsing the same frame with nothing else, measured in the same run. CPU time of
// this process only; reports, never asserts.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "FakeWebSocket.h"
#include "ManualLoop.h"
#include "link/RealtimeLink.h"

namespace {

constexpr int kMessages = 200000;
const std::string kChannel = "zephyrglint-23456789ABCDEFGH";

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A "move" command as a phone sends it, about 150 bytes on the wire.
std::string moveFrame(int i) {
    return R"({"topic":"realtime:)" + kChannel +
           R"(","event":"broadcast","ref":null,"payload":{"type":"broadcast","event":"cmd",)"
           R"("payload":{"to":"1a2b3c4d","from":"phone-7f3a","do":"move","dx":)" +
           std::to_string(i % 7) + R"(,"dy":-2.5}}})";
}

}  // namespace

int main() {
    std::vector<std::string> frames;
    frames.reserve(kMessages);
    for (int i = 0; i < kMessages; ++i) frames.push_back(moveFrame(i));

    double checksum = 0;
    double start = cpuSeconds();
    for (const std::string& frame : frames) {
        checksum += zg::Payload::parse(frame)["payload"]["payload"]["dx"].get<double>();
    }
    const double parseOnly = (cpuSeconds() - start) / kMessages;

    zg::test::ManualLoop loop;
    zg::test::FakeWebSocketFactory sockets(loop);
    zg::RealtimeLink link(loop, sockets.factory(), "ws://bench");
    link.onMessage = [&](const std::string&, const zg::Payload& payload) {
        checksum += payload["dx"].get<double>();
    };
    link.start(kChannel);
    zg::test::FakeConnection& socket = sockets.last();
    socket.open();
    loop.runPosted();
    socket.acceptJoin();
    loop.runPosted();

    start = cpuSeconds();
    for (const std::string& frame : frames) {
        socket.deliver(frame);
        loop.runPosted();
    }
    const double perMessage = (cpuSeconds() - start) / kMessages;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "link: %.2f us of CPU per received small broadcast (goal <= 20 us), "
        "%.2fx a bare JSON parse (%.2f us); peak memory %ld MiB; checksum %.0f\n",
        perMessage * 1e6, perMessage / parseOnly, parseOnly * 1e6, usage.ru_maxrss / 1024,
        checksum);
    return 0;
}
