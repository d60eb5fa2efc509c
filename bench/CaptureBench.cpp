// The cost of a screen picture, step by step (grab, scale, encode, seal), for the default
// view and for pictures held to 1280 pixels, on a busy and a plain screen of a private Xvfb;
// the CPU per frame against ffmpeg grabbing and encoding the same region in the same run; the
// cost of sealing a pointer move; and the agent's CPU share while it streams to a phone at
// full pace. Reports, never asserts.
#include <QCoreApplication>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AgentStreaming.h"
#include "PeerBaseline.h"
#include "XvfbServer.h"
#include "link/Base64.h"
#include "link/Seal.h"
#include "platform/x11/X11Capture.h"
#include "screen/CapturePlan.h"

// Last: Xlib's macros (None, Bool, Status) would otherwise reach the headers above.
#include "ScreenContent.h"

namespace {

using Clock = std::chrono::steady_clock;
using zg::bench::Content;

constexpr int kScreenWidth = 2560, kScreenHeight = 1600;
constexpr zg::Point kMiddle{kScreenWidth / 2, kScreenHeight / 2};
constexpr int kWarmUp = 10;
constexpr int kFrames = 200;
constexpr double kStreamingSeconds = 10;

// A phone's view and the time a picture of it may take from the grab to the sealed message.
struct Case {
    const char* name;
    zg::CaptureRequest request;
    double goalMs;
};

const Case kCases[] = {
    {"default view", {.w = 390, .h = 600, .zoom = 1, .dpr = 2}, 1.5},
    // Regions 1600 and 2560 points wide, which the 1280-pixel cap shrinks.
    {"1280 cap x0.8", {.w = 800, .h = 500, .zoom = 0.5, .dpr = 2}, 5},
    {"1280 cap x0.5", {.w = 1280, .h = 800, .zoom = 0.5, .dpr = 2}, 5},
};

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Spread {
    double p50 = 0, p90 = 0;
};

Spread spread(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[values.size() * 9 / 10]};
}

struct Measured {
    // Wall milliseconds; `base64` is what the picture alone cost as text, as an open frame
    // carried it, and is not part of `total`.
    Spread grab, scale, encode, seal, total, base64;
    double cpuPerFrame = 0;  // milliseconds
    double jpegBytes = 0;
    std::optional<zg::bench::PeerCost> ffmpeg;
};

// A secret as the agent would draw one.
const std::string kSecret = "bjXM5QmXk1pFhrsKxQy0bS8uMQVeQ4JPQ7wW9ZC3kLc";

// kFrames pictures of `request` through the agent's own capture and sealing.
std::optional<Measured> measure(zg::X11Capture& capture, const zg::CaptureRequest& request) {
    for (int i = 0; i < kWarmUp; ++i) capture.capture(request);
    zg::Sealer agent(kSecret, "bench");
    std::vector<double> grab, scale, encode, seal, total, base64;
    double bytes = 0;
    const double cpuStart = cpuSeconds();
    for (int i = 0; i < kFrames; ++i) {
        zg::CaptureSteps steps;
        const auto start = Clock::now();
        const auto jpeg = capture.capture(request, &steps);
        if (!jpeg) return std::nullopt;
        const auto encoded = Clock::now();
        const std::string text = zg::base64(*jpeg);
        const auto opened = Clock::now();
        const zg::Payload sealed = agent.seal("frame", {{"n", i}, {"z", 1.0}}, *jpeg);
        const auto end = Clock::now();
        grab.push_back(ms(steps.grab));
        scale.push_back(ms(steps.scale));
        encode.push_back(ms(steps.encode));
        seal.push_back(ms(end - opened));
        total.push_back(ms(encoded - start) + ms(end - opened));
        base64.push_back(ms(opened - encoded));
        bytes += double(jpeg->size());
    }
    const double cpu = cpuSeconds() - cpuStart;
    return Measured{spread(grab),         spread(scale),   spread(encode),
                    spread(seal),         spread(total),   spread(base64),
                    cpu / kFrames * 1000, bytes / kFrames, std::nullopt};
}

// The plan the capture makes with the pointer in the middle of the screen.
zg::CapturePlan planInMiddle(const zg::CaptureRequest& request) {
    return zg::planCapture(kMiddle, {0, 0, kScreenWidth, kScreenHeight}, 1.0, request);
}

std::string size(double width, double height) {
    return std::to_string(int(std::lround(width))) + "x" + std::to_string(int(std::lround(height)));
}

void printStages(const std::vector<std::pair<Content, std::vector<Measured>>>& results) {
    std::printf(
        "capture: wall ms per frame, p50/p90 (grab includes finding the pointer; total runs "
        "from the grab to the sealed message; seal is the secretbox and the Base64 of the sealed "
        "bytes; what sealing adds is seal less the Base64 of the bare picture, which an open "
        "frame paid too, as a share of the total, goal <= 5 %%)\n");
    std::printf("capture: %-14s %-6s %-22s %-11s %-11s %-11s %-11s %-11s %-6s %-8s %s\n", "case",
                "screen", "picture <- grabbed", "grab", "scale", "encode", "seal", "total", "goal",
                "JPEG kB", "open Base64  sealing adds");
    for (const auto& [content, rows] : results) {
        for (size_t i = 0; i < rows.size(); ++i) {
            const Measured& m = rows[i];
            const zg::CapturePlan plan = planInMiddle(kCases[i].request);
            const std::string sizes = size(plan.pixelWidth, plan.pixelHeight) + " <- " +
                                      size(plan.sourceRect.width, plan.sourceRect.height);
            std::printf("capture: %-14s %-6s %-22s", kCases[i].name,
                        zg::bench::contentName(content), sizes.c_str());
            for (const Spread& s : {m.grab, m.scale, m.encode, m.seal, m.total}) {
                std::printf(" %5.2f/%-5.2f", s.p50, s.p90);
            }
            std::printf(" <=%-4.1f %-8.0f %-12.2f %.1f %%%s\n", kCases[i].goalMs,
                        m.jpegBytes / 1000, m.base64.p50,
                        (m.seal.p50 - m.base64.p50) / m.total.p50 * 100,
                        m.total.p50 <= kCases[i].goalMs ? "" : "  (over the goal)");
        }
    }
}

// A pointer move sealed by the phone and opened by the agent, against the default view's frame
// pipeline (which a move is far more frequent than).
void printMoveSealing(const Measured& defaultView) {
    constexpr int kMoves = 20000;
    zg::Sealer phone(kSecret, "phone-1", zg::Sealer::Side::Phone), agent(kSecret, "bench");
    std::vector<zg::Payload> sealed;
    const auto start = Clock::now();
    for (int i = 0; i < kMoves; ++i)
        sealed.push_back(phone.seal("cmd", {{"do", "move"}, {"dx", 3.5}, {"dy", -1}}, {}, "bench"));
    const auto middle = Clock::now();
    std::string why;
    int opened = 0;
    for (const zg::Payload& message : sealed) opened += agent.open(message, why).has_value();
    const double sealUs = ms(middle - start) * 1000 / kMoves;
    const double openUs = ms(Clock::now() - middle) * 1000 / kMoves;
    std::printf(
        "capture: a sealed pointer move: %.1f us to seal on the phone's side, %.1f us to open on "
        "the agent's (%d of %d opened); the opening is %.2f %% of the default view's frame "
        "pipeline\n",
        sealUs, openUs, opened, kMoves, openUs / 1000 / defaultView.total.p50 * 100);
}

void printPeerRatios(const std::vector<std::pair<Content, std::vector<Measured>>>& results) {
    std::printf(
        "capture: CPU ms per frame of this process against ffmpeg x11grab + MJPEG on the same "
        "region, 300 frames at full pace (goal: ours <= 0.35x ffmpeg's, start-up left out)\n");
    std::printf("capture: %-14s %-6s %8s %18s %18s %12s\n", "case", "screen", "ours",
                "ffmpeg all/300", "ffmpeg w/o start", "ours/ffmpeg");
    for (const auto& [content, rows] : results) {
        for (size_t i = 0; i < rows.size(); ++i) {
            const Measured& m = rows[i];
            std::printf("capture: %-14s %-6s %8.2f", kCases[i].name,
                        zg::bench::contentName(content), m.cpuPerFrame);
            if (m.ffmpeg) {
                std::printf(" %18.2f %18.2f %11.2fx\n", m.ffmpeg->perFrame, m.ffmpeg->marginal,
                            m.cpuPerFrame / m.ffmpeg->marginal);
            } else {
                std::printf(
                    "   no baseline: ffmpeg is missing (scripts/bench-deps.sh installs "
                    "it) or failed\n");
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    zg::test::XvfbServer server({"-screen", "0", "2560x1600x24"});
    Display* dpy = server.name().empty() ? nullptr : XOpenDisplay(server.name().c_str());
    std::string error = "Xvfb did not start";
    const auto capture = dpy ? zg::X11Capture::open(server.name().c_str(), error) : nullptr;
    if (!capture) {
        std::printf("capture: no X server (%s); skipped\n", error.c_str());
        return 0;
    }
    const auto pointTo = [&](zg::Point at) {
        XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, int(at.x), int(at.y));
        XSync(dpy, False);
    };

    std::vector<std::pair<Content, std::vector<Measured>>> results;
    for (const Content content : {Content::Busy, Content::Plain}) {
        zg::bench::showContent(dpy, content);
        pointTo(kMiddle);
        std::vector<Measured> rows;
        for (const Case& c : kCases) {
            auto measured = measure(*capture, c.request);
            if (!measured) {
                std::printf("capture: %s made no picture; stopped\n", c.name);
                return 1;
            }
            const zg::Rect region = planInMiddle(c.request).sourceRect;
            measured->ffmpeg = zg::bench::ffmpegCost(server.name(), int(region.x), int(region.y),
                                                     int(region.width), int(region.height));
            rows.push_back(*measured);
        }
        results.emplace_back(content, std::move(rows));
    }
    printStages(results);
    printPeerRatios(results);
    printMoveSealing(results.front().second.front());

    // A pixel to and fro after each frame, so that every frame differs from the one before
    // and none is held back as unchanged.
    zg::bench::showContent(dpy, Content::Busy);
    pointTo(kMiddle);
    int step = 1;
    const auto nudge = [&] {
        XWarpPointer(dpy, None, None, 0, 0, 0, 0, step, 0);
        XFlush(dpy);
        step = -step;
    };
    const auto load = zg::bench::streamDefaultView(server.name(), nudge, kStreamingSeconds, error);
    if (load) {
        std::printf(
            "capture: the agent streaming the default view of the busy screen to a phone that "
            "acknowledges every frame: %.1f frames/s, %.1f %% of one core (goal < 5 %%), "
            "%.2f ms CPU per frame, %.0f kB per sealed frame message\n",
            load->framesPerSecond, load->cpuShare * 100, load->cpuPerFrame,
            load->imageChars / 1000);
        if (const auto& ffmpeg = results.front().second.front().ffmpeg) {
            std::printf(
                "capture: the whole agent's CPU per streamed frame against ffmpeg's on the same "
                "region: %.2fx (%.2f against %.2f ms, goal <= 0.35x)\n",
                load->cpuPerFrame / ffmpeg->marginal, load->cpuPerFrame, ffmpeg->marginal);
        }
    } else {
        std::printf("capture: no streaming measurement: %s\n", error.c_str());
    }
    XCloseDisplay(dpy);
    return 0;
}
