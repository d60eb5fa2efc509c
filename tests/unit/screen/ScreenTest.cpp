#include <gtest/gtest.h>

#include <cmath>

#include "ManualLoop.h"
#include "link/Payload.h"
#include "platform/x11/X11ScreenAccess.h"
#include "screen/CapturePlan.h"
#include "screen/ScreenStreamer.h"

namespace zg::test {
namespace {

TEST(CapturePlan, ScalesToThePhoneCapturesOnlyWhatLiesOnTheDisplayAndHidesTheAgentsWindows) {
    const auto sized = [](double k, const CaptureRequest& request) {
        const CapturePlan p = planCapture({0, 0}, {-5000, -5000, 10000, 10000}, k, request);
        return std::tuple(p.scale, p.pixelWidth, p.pixelHeight);
    };
    EXPECT_EQ(sized(2, {390, 600, 1, 2}), std::tuple(2.0, 780, 1200));
    EXPECT_EQ(sized(2, {390, 600, 8, 3}), std::tuple(2.0, 98, 150));  // 97.5 rounds up
    EXPECT_EQ(sized(2, {390, 844, 1, 3}), std::tuple(1280.0 / 844, 591, 1280));
    EXPECT_EQ(sized(2, {844, 390, 1, 3, 0.6, 0.5}), std::tuple(640.0 / 844, 640, 296));

    const auto placed = [](Point pointer, double zoom) {
        const CapturePlan p = planCapture(pointer, {1000, 0, 1920, 1080}, 1, {390, 600, zoom, 2});
        return std::tuple(p.sourceRect, p.drawRect, p.pixelWidth, p.pixelHeight);
    };
    EXPECT_EQ(placed({1960, 540}, 1),
              std::tuple(Rect{765, 240, 390, 600}, Rect{0, 0, 390, 600}, 390, 600));
    EXPECT_EQ(placed({1000, 540}, 1),  // the left half black
              std::tuple(Rect{0, 240, 195, 600}, Rect{195, 0, 195, 600}, 390, 600));
    EXPECT_EQ(placed({1960, 540}, 0.125),  // the whole display, framed
              std::tuple(Rect{0, 0, 1920, 1080}, Rect{150, 465, 480, 270}, 780, 1200));
    EXPECT_EQ(placed({805.5, 540}, 1), std::tuple(Rect{}, Rect{}, 390, 600));  // half a point

    // The agent's own windows in whole picture pixels inside the picture. 390 x 600 points at
    // 2 pixels a point around (500, 400): the region starts at (305, 100).
    const CapturePlan plan = planCapture({500, 400}, {0, 0, 1280, 800}, 2, {390, 600, 1, 2});
    EXPECT_EQ(hiddenInPicture(plan, {{500.3, 300, 100, 50},  // rounded outwards
                                     {300, 500, 200, 500},   // clipped at left and bottom
                                     {0, 500, 100, 100},     // left of the picture
                                     {400, 0, 100, 50}}),    // above it
              (std::vector<Rect>{{390, 400, 201, 100}, {0, 800, 390, 400}}));
}

struct Streamer : testing::Test {
    ManualLoop loop;
    X11ScreenAccess access;           // nothing to ask for
    std::string picture = "picture";  // the JPEG the next capture yields
    std::vector<CaptureRequest> requests;
    std::vector<Payload> frames;
    std::unique_ptr<ScreenStreamer> streamer = std::make_unique<ScreenStreamer>(
        loop, access,
        [this](const CaptureRequest& r) { return requests.push_back(r), std::optional(picture); },
        [this](int64_t n, double zoom, std::string_view jpeg) {
            const size_t chars = (jpeg.size() + 2) / 3 * 4;  // as Base64 would carry it
            if (chars <= ScreenStreamer::kMaxImageChars)
                frames.push_back({{"n", n}, {"z", zoom}, {"jpeg", jpeg}});
            return chars;
        });

    Streamer() { streamer->start(390, 600, 1, 2); }
    // Runs the capture in flight and brings its result back; false when there was none.
    bool finish() { return loop.runBackground() && (loop.runPosted(), true); }
    // One timer period and the capture it started, if any.
    bool tick(bool changed = false) {
        if (changed) picture += '.';
        loop.advance(ScreenStreamer::kTickInterval);
        return finish();
    }
    // Captures `count` pictures of `bytes` bytes, each unlike the last, acknowledging all.
    void capture(size_t bytes, int count) {
        for (int i = 0; i < count; ++i) {
            picture.assign(bytes, static_cast<char>('a' + i % 2));
            ASSERT_TRUE(tick());
            streamer->ack(INT64_MAX);
        }
    }
};

TEST_F(Streamer, AnUnchangedPictureGoesOutEveryThreeSecondsAndAtOnceAfterAClampedRestart) {
    std::vector<Seconds> sentAt;
    while (loop.now() < 7) {
        ASSERT_TRUE(tick());
        streamer->ack(frames.size());
        if (frames.size() > sentAt.size()) sentAt.push_back(loop.now());
    }
    ASSERT_EQ(sentAt.size(), 3u);
    for (size_t i : {1, 2}) EXPECT_NEAR(sentAt[i] - sentAt[i - 1], 3.0 + 0.035, 0.035);
    streamer->stop();
    streamer->start(10000, std::nan(""), 20, 5);  // nonsense falls back, each value is clamped
    ASSERT_TRUE(tick());
    EXPECT_EQ(frames.back(), (Payload{{"n", 4}, {"z", 8.0}, {"jpeg", "picture"}}));
    const CaptureRequest& r = requests.back();
    EXPECT_EQ((std::vector{r.w, r.h, r.zoom, r.dpr}), (std::vector<double>{4000, 600, 8, 3}));
}

TEST_F(Streamer, AtMostThreeUnacknowledgedUntilOneAndAHalfSecondsPass) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(tick(true));
    streamer->ack(0);
    EXPECT_FALSE(tick(true));
    streamer->ack(1);
    EXPECT_TRUE(tick(true));
    streamer->ack(100);  // as far as frame 4
    streamer->ack(2);    // late and stale
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(tick(true));
    const Seconds seventh = loop.now();
    while (!tick(true)) ASSERT_LT(loop.now(), seventh + 2);
    EXPECT_NEAR(loop.now() - seventh, 1.5 + 0.035, 0.035);
    EXPECT_TRUE(tick(true) && tick(true));  // all taken as seen: a whole window again
    EXPECT_FALSE(tick(true));
    EXPECT_EQ(frames.size(), 10u);
}

TEST_F(Streamer, CaptureInFlightIsDroppedAfterStopOrDestructionAndKeepsItsZoomAfterARestart) {
    loop.advance(ScreenStreamer::kTickInterval);
    streamer->stop();
    EXPECT_TRUE(finish());
    streamer->start(390, 600, 1, 2);
    loop.advance(ScreenStreamer::kTickInterval);
    streamer->start(390, 600, 2, 2);  // while the zoom-1 capture runs
    finish();
    ASSERT_TRUE(tick(true));
    ASSERT_EQ(frames.size(), 2u);  // none from the stopped capture; each with its own zoom
    EXPECT_EQ(std::pair(frames[0]["z"], frames[1]["z"]), std::pair(Payload(1.0), Payload(2.0)));

    picture += '.';
    loop.advance(ScreenStreamer::kTickInterval);
    streamer.reset();
    EXPECT_TRUE(finish());
    EXPECT_EQ(frames.size(), 2u);
}

TEST_F(Streamer, QualityThenPixelsGiveWayForLargeFramesSoBusyScreensStillGetSomeAndBothReturn) {
    capture(150000, 1);   // 200000 characters: the most one frame carries
    capture(150001, 11);  // 200004 (Base64 comes in fours): dropped
    const CaptureRequest smallest = requests.back();
    capture(1000, 18);
    EXPECT_EQ(frames.size(), 19u);
    EXPECT_EQ(std::pair(smallest.quality, smallest.pixelScale),
              std::pair(ScreenStreamer::kQualityFloor, ScreenStreamer::kPixelFloor));
    EXPECT_NEAR(requests.back().quality, ScreenStreamer::kQualityTop, 1e-9);
    EXPECT_EQ(requests.back().pixelScale, 1);
    for (size_t i = 1; i < requests.size(); ++i) {  // pixels change only at either quality end
        const double q = requests[i].quality, before = requests[i - 1].pixelScale;
        EXPECT_TRUE(requests[i].pixelScale == before || q == 0.25 || q > 0.7 - 1e-9) << i;
    }
}

}  // namespace
}  // namespace zg::test
