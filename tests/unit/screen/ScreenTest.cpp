#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "ManualLoop.h"
#include "platform/x11/X11ScreenAccess.h"
#include "screen/Base64.h"
#include "screen/CapturePlan.h"
#include "screen/ScreenStreamer.h"

namespace zg::test {
namespace {

TEST(Base64, EncodesTheStandardVectorsAndBothHighSymbols) {
    EXPECT_EQ(base64("") + base64("f") + base64("fo") + base64("foo") + base64("\xfb\xef\xff") +
                  base64(std::string("\0\x80", 2)),
              "Zg==Zm8=Zm9v++//AIA=");
}

TEST(CapturePlan, ScalesToThePhoneCappedByTheDisplayAndTheLongestSide) {
    struct Case {
        CaptureRequest request;
        double k, s;
        int width, height;
    };
    for (const Case& c : std::vector<Case>{
             {{390, 600, 1, 2}, 2, 2, 780, 1200},
             {{390, 600, 0.5, 2}, 2, 1, 780, 1200},
             {{390, 600, 1, 2}, 1, 1, 390, 600},
             {{390, 600, 8, 3}, 2, 2, 98, 150},  // 97.5 rounds up
             {{390, 844, 1, 3}, 2, 1280.0 / 844, 591, 1280},
             {{390, 600, 1, 2, 0.6, 0.8}, 2, 1.6, 624, 960},             // fewer pixels asked for
             {{844, 390, 1, 3, 0.6, 0.5}, 2, 640.0 / 844, 640, 296}}) {  // after the caps
        SCOPED_TRACE(testing::Message() << c.request.w << " " << c.request.zoom);
        const CapturePlan plan = planCapture({0, 0}, {-5000, -5000, 10000, 10000}, c.k, c.request);
        EXPECT_NEAR(plan.scale, c.s, 1e-12);
        EXPECT_EQ(plan.pixelWidth, c.width);
        EXPECT_EQ(plan.pixelHeight, c.height);
    }
}

TEST(CapturePlan, CapturesOnlyWhatLiesOnTheDisplayAndKeepsThePictureSize) {
    struct Case {
        Point pointer;
        double zoom;
        Rect source;  // also V, the display being at (1000, 0); empty when nothing is captured
        Rect draw;
    };
    const Rect display{1000, 0, 1920, 1080};
    for (const Case& c : std::vector<Case>{
             {{1960, 540}, 1, {765, 240, 390, 600}, {0, 0, 390, 600}},
             {{1000, 540}, 1, {0, 240, 195, 600}, {195, 0, 195, 600}},        // left half black
             {{1960, 0}, 1, {765, 0, 390, 300}, {0, 300, 390, 300}},          // top half black
             {{1960, 540}, 0.125, {0, 0, 1920, 1080}, {150, 465, 480, 270}},  // display framed
             {{806, 540}, 1, {0, 240, 1, 600}, {389, 0, 1, 600}},             // one point is enough
             {{805.5, 540}, 1, {}, {}},                                       // half a point
             {{1960, 1379.5}, 1, {}, {}}}) {
        SCOPED_TRACE(testing::Message() << c.pointer.x << "," << c.pointer.y);
        const CapturePlan plan = planCapture(c.pointer, display, 1, {390, 600, c.zoom, 2});
        Rect visible = c.source;
        if (!visible.empty()) visible.x += display.x;
        EXPECT_EQ(plan.visible, visible);
        EXPECT_EQ(plan.sourceRect, c.source);
        EXPECT_EQ(plan.drawRect, c.draw);
        EXPECT_EQ(plan.captureWidth, int(c.draw.width));
        EXPECT_EQ(plan.captureHeight, int(c.draw.height));
        EXPECT_EQ(plan.pixelWidth * plan.pixelHeight, c.zoom == 1 ? 390 * 600 : 780 * 1200);
    }
}

TEST(CapturePlan, TheAgentsOwnWindowsMapToWholePicturePixelsInsideThePicture) {
    // 390 x 600 points at 2 pixels a point around (500, 400): the region starts at (305, 100).
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
    int problems = 0;
    std::unique_ptr<ScreenStreamer> streamer = std::make_unique<ScreenStreamer>(
        loop, access,
        [this](const CaptureRequest& r) { return requests.push_back(r), std::optional(picture); },
        [this](const std::string& event, Payload p) {
            frames.push_back(event == "frame" ? p : Payload());
        });

    Streamer() {
        streamer->onError = [this](auto) { ++problems; };
        streamer->start(390, 600, 1, 2);
    }
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
            streamer->ack(std::numeric_limits<int64_t>::max());
        }
    }
};

TEST_F(Streamer, StartFallsBackOnNonsenseAndClampsEachValue) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const std::vector<double> rows[] = {{0, 0, 0, 0, 40, 40, 1, 2},
                                        {inf, nan, inf, nan, 390, 600, 1, 2},
                                        {10000, -inf, 20, 5, 4000, 600, 8, 3},
                                        {-5, 4001, 0.05, 0.5, 40, 4000, 0.1, 1}};
    for (const std::vector<double>& row : rows) {
        streamer->start(row[0], row[1], row[2], row[3]);
        ASSERT_TRUE(tick());
        const CaptureRequest& r = requests.back();
        EXPECT_EQ((std::vector{r.w, r.h, r.zoom, r.dpr}), std::vector(row.begin() + 4, row.end()));
    }
}

TEST_F(Streamer, AnUnchangedPictureGoesOutEveryThreeSecondsOrAtOnceAfterAStart) {
    std::vector<Seconds> sentAt;
    while (loop.now() < 7) {
        ASSERT_TRUE(tick());
        streamer->ack(frames.size());
        if (frames.size() > sentAt.size()) sentAt.push_back(loop.now());
    }
    ASSERT_EQ(sentAt.size(), 3u);
    for (size_t i : {1, 2}) EXPECT_NEAR(sentAt[i] - sentAt[i - 1], 3.0 + 0.035, 0.035);
    streamer->stop();
    streamer->start(390, 600, 2, 2);
    ASSERT_TRUE(tick());
    EXPECT_EQ(frames.back(), (Payload{{"n", 4}, {"z", 2.0}, {"img", "cGljdHVyZQ=="}}));
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
    EXPECT_EQ(problems, 0);  // nothing to tell, so nothing is sent for it
}

TEST_F(Streamer, CaptureInFlightIsDroppedAfterStopOrDestructionAndKeepsItsZoomAfterARestart) {
    loop.advance(2 * ScreenStreamer::kTickInterval);
    streamer->stop();
    EXPECT_TRUE(finish());
    EXPECT_FALSE(finish());  // one capture at a time
    EXPECT_TRUE(frames.empty());
    streamer->start(390, 600, 1, 2);
    loop.advance(ScreenStreamer::kTickInterval);
    streamer->start(390, 600, 2, 2);
    finish();
    ASSERT_TRUE(tick(true));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0]["z"], 1.0);
    EXPECT_EQ(frames[1]["z"], 2.0);

    picture += '.';  // a new picture, which only the streamer's destruction can hold back
    loop.advance(ScreenStreamer::kTickInterval);
    streamer.reset();
    EXPECT_EQ(loop.pendingTimers(), 0u);
    EXPECT_TRUE(finish());
    EXPECT_EQ(frames.size(), 2u);
}

// Busy content can exceed the limit even at the lowest quality; pixels then give way so that
// frames keep coming, and come back once pictures are small at the top quality.
TEST_F(Streamer, QualityThenPixelsStepDownForLargeFramesAndBackUpForSmallOnes) {
    capture(150000, 1);   // 200000 characters: sent, nothing changes
    capture(150001, 11);  // 200004 (Base64 comes in fours): dropped
    capture(1000, 18);
    EXPECT_EQ(frames.size(), 19u);
    const std::vector<double> quality{0.6,  0.6,  0.45, 0.3, 0.25, 0.25, 0.25, 0.25, 0.25, 0.25,
                                      0.25, 0.25, 0.25, 0.3, 0.35, 0.4,  0.45, 0.5,  0.55, 0.6,
                                      0.65, 0.7,  0.7,  0.7, 0.7,  0.7,  0.7,  0.7,  0.7,  0.7};
    // The pixels give way by 0.8 a step to the floor, wait there while the quality climbs back,
    // then return by the same steps.
    std::vector<double> pixels{1, 1, 1, 1, 1, 0.8, 0.64, 0.512, 0.4096, 0.32768, 0.262144};
    pixels.resize(22, 0.25);
    pixels.insert(pixels.end(), {0.3125, 0.390625, 0.48828125, 0.6103515625, 0.762939453125});
    pixels.insert(pixels.end(), {0.95367431640625, 1, 1});
    std::vector<double> askedQuality, askedPixels;
    for (const CaptureRequest& r : requests) {
        askedQuality.push_back(r.quality);
        askedPixels.push_back(r.pixelScale);
    }
    using testing::DoubleNear, testing::Pointwise;
    EXPECT_THAT(askedQuality, Pointwise(DoubleNear(1e-9), quality));
    EXPECT_THAT(askedPixels, Pointwise(DoubleNear(1e-9), pixels));
}

}  // namespace
}  // namespace zg::test
