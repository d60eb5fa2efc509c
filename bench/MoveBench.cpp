// The agent's cost from a received relay frame to the posted X event for "move" commands:
// classify and parse the frame, open its seal, dispatch, accelerate and clamp, post through XTest,
// all in this process on a private Xvfb. Compared with a bare XTest motion and a bare JSON parse
// measured in the same run. Wall time, since the X server's share counts too. Reports, never
// asserts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeWebSocket.h"
#include "ManualLoop.h"
#include "RecordingDevices.h"
#include "XvfbServer.h"
#include "app/Dispatcher.h"
#include "app/PhoneChannel.h"
#include "input/Input.h"
#include "link/RealtimeLink.h"
#include "link/RelayFrames.h"
#include "link/Seal.h"
#include "platform/x11/X11Desktop.h"

// Last: Xlib's macros (None, Bool, Status) would otherwise reach the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

constexpr int kMoves = 20000;
constexpr int kWarmUp = 1000;  // not counted: first touches of caches and the server
const std::string kChannel = "zephyrglint-23456789ABCDEFGH";

struct Timing {
    double p50 = 0, p99 = 0;  // microseconds per call
    double perSecond = 0;     // sustained, `finish` included
};

// Times `one` for each of kMoves calls after the warm-up; `finish` waits for what the calls
// left in flight.
Timing measure(const std::function<void(int)>& one, const std::function<void()>& finish = {}) {
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < kWarmUp; ++i) one(i);
    if (finish) finish();
    std::vector<double> us(kMoves);
    const auto start = Clock::now();
    for (int i = 0; i < kMoves; ++i) {
        const auto t = Clock::now();
        one(i);
        us[i] = std::chrono::duration<double, std::micro>(Clock::now() - t).count();
    }
    if (finish) finish();
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(us.begin(), us.end());
    return {us[kMoves / 2], us[kMoves * 99 / 100], kMoves / total};
}

const std::string kSecret = "bjXM5QmXk1pFhrsKxQy0bS8uMQVeQ4JPQ7wW9ZC3kLc";

// A "move" as a phone sends it, sealed, to this agent; left and right in turn, so that the
// pointer stays clear of the edges.
std::string moveFrame(zg::Sealer& phone, const std::string& hostId, int i) {
    const zg::Payload move{{"to", hostId},
                           {"from", "phone-7f3a"},
                           {"do", "move"},
                           {"dx", i % 2 ? 5 : -5},
                           {"dy", -2.5}};
    return zg::encodeFrame(zg::broadcastFrame("realtime:" + kChannel, "", "",
                                              zg::seal::kSealedEvent,
                                              phone.seal("cmd", move, {}, hostId)));
}

}  // namespace

int main() {
    zg::test::ManualLoop loop;
    zg::test::XvfbServer server;
    std::string error = "Xvfb did not start";
    std::unique_ptr<zg::X11Desktop> desktop;
    if (!server.name().empty()) desktop = zg::openX11Desktop(loop, server.name().c_str(), error);
    zg::test::RecordingDevices fake;
    if (!desktop) {
        std::printf("move: no X server (%s): posting to a recording fake instead\n", error.c_str());
    }
    zg::Pointer& pointer = desktop ? desktop->pointer() : static_cast<zg::Pointer&>(fake);
    zg::Keyboard& keyboard = desktop ? desktop->keyboard() : static_cast<zg::Keyboard&>(fake);
    zg::Input input(loop, pointer, keyboard);
    zg::Dispatcher dispatcher(loop, &input, "bench");

    zg::test::FakeWebSocketFactory sockets(loop);
    zg::RealtimeLink link(loop, sockets.factory(), "ws://bench");
    zg::PhoneChannel channel(
        loop, [](const std::string&, zg::Payload) {}, kSecret, dispatcher.hostId(), false);
    channel.onMessage = [&](const std::string& event, const zg::Payload& payload) {
        dispatcher.onMessage(event, payload);
    };
    link.onMessage = [&](const std::string& event, const zg::Payload& payload) {
        channel.receive(event, payload);
    };
    link.start(kChannel);
    zg::test::FakeConnection& socket = sockets.last();
    socket.open();
    loop.runPosted();
    socket.acceptJoin();
    loop.runPosted();

    zg::Sealer phone(kSecret, "phone-7f3a", zg::Sealer::Side::Phone);
    std::vector<std::string> frames;
    for (int i = 0; i < kWarmUp + kMoves; ++i)
        frames.push_back(moveFrame(phone, dispatcher.hostId(), i));

    double checksum = 0;
    const Timing parse = measure([&](int i) { checksum += zg::Payload::parse(frames[i]).size(); });
    const Timing agent = measure([&](int i) {
        socket.deliver(frames[i]);
        loop.runPosted();
        fake.events.clear();
    });

    std::printf(
        "move: %.1f us p50, %.1f us p99 per frame from socket to posted event (goal p99 <= "
        "100 us); %.0f moves/s sustained (goal >= 20000)\n",
        agent.p50, agent.p99, agent.perSecond);
    std::printf("move: %.1fx a bare JSON parse of the frame (%.2f us p50)\n", agent.p50 / parse.p50,
                parse.p50);

    if (desktop) {
        // The floor: one XTest motion and a flush on a connection of its own.
        Display* dpy = XOpenDisplay(server.name().c_str());
        if (!dpy) return 0;
        const Timing bare = measure(
            [&](int i) {
                XTestFakeMotionEvent(dpy, DefaultScreen(dpy), 600 + i % 2 * 8, 400, CurrentTime);
                XFlush(dpy);
            },
            [&] { XSync(dpy, False); });
        XCloseDisplay(dpy);
        std::printf(
            "move: %.1fx a bare XTest motion at p50 (%.1f us), %.1fx at p99 (%.1f us); "
            "bare motions %.0f/s\n",
            agent.p50 / bare.p50, bare.p50, agent.p99 / bare.p99, bare.p99, bare.perSecond);
    }
    std::printf("move: checksum %.0f\n", checksum);
    return 0;
}
