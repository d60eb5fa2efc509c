#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ManualLoop.h"
#include "screen/ScreenStreamer.h"

namespace zg::test {
namespace {

using Problems = std::vector<std::optional<std::string>>;
const std::string kUnavailable(ScreenStreamer::kUnavailable);
const std::string kNotPermitted(ScreenStreamer::kNotPermitted);

struct FakeAccess : ScreenAccess {
    bool isAvailable = true, isPermitted = true;
    int prompts = 0;
    bool available() override { return isAvailable; }
    bool permitted() override { return isPermitted; }
    void requestPermission() override { ++prompts; }
};

struct Streamer : testing::Test {
    ManualLoop loop;
    FakeAccess access;
    std::string picture = "picture";  // the JPEG the next capture yields
    std::vector<CaptureRequest> requests;
    std::vector<Payload> frames;
    Problems problems;
    std::unique_ptr<ScreenStreamer> streamer = std::make_unique<ScreenStreamer>(
        loop, access,
        [this](const CaptureRequest& request) {
            requests.push_back(request);
            return std::optional(picture);
        },
        [this](const std::string& event, Payload payload) {
            EXPECT_EQ(event, "frame");
            frames.push_back(std::move(payload));
        });

    Streamer() {
        streamer->onError = [this](auto problem) { problems.push_back(problem); };
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
    std::vector<double> asked(double CaptureRequest::*member) const {
        std::vector<double> values;
        for (const CaptureRequest& request : requests) values.push_back(request.*member);
        return values;
    }
};

TEST_F(Streamer, StartFallsBackOnNonsenseAndClampsEachValue) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    for (const auto& [given, used] :
         std::vector<std::pair<std::vector<double>, std::vector<double>>>{
             {{0, 0, 0, 0}, {40, 40, 1, 2}},
             {{inf, nan, inf, nan}, {390, 600, 1, 2}},
             {{10000, -inf, 20, 5}, {4000, 600, 8, 3}},
             {{-5, 4001, 0.05, 0.5}, {40, 4000, 0.1, 1}},
             {{500, 700, -1, -inf}, {500, 700, 1, 2}}}) {
        streamer->start(given[0], given[1], given[2], given[3]);
        ASSERT_TRUE(tick());
        const CaptureRequest& r = requests.back();
        EXPECT_EQ((std::vector{r.w, r.h, r.zoom, r.dpr}), used);
    }
    EXPECT_EQ(loop.pendingTimers(), 1u);
}

TEST_F(Streamer, FirstFrameAfterStartGoesOutUnchangedAndNumbersContinue) {
    picture = "abc";
    ASSERT_TRUE(tick());
    ASSERT_TRUE(tick());  // the same picture: held back
    streamer->stop();
    streamer->start(390, 600, 2, 2);
    ASSERT_TRUE(tick());
    EXPECT_EQ(frames, (std::vector<Payload>{{{"n", 1}, {"z", 1.0}, {"img", "YWJj"}},
                                            {{"n", 2}, {"z", 2.0}, {"img", "YWJj"}}}));
}

TEST_F(Streamer, UnchangedPictureGoesOutOnlyEveryThreeSeconds) {
    std::vector<Seconds> sentAt;
    while (loop.now() < 7) {
        ASSERT_TRUE(tick());
        streamer->ack(frames.size());
        if (frames.size() > sentAt.size()) sentAt.push_back(loop.now());
    }
    ASSERT_EQ(sentAt.size(), 3u);
    for (size_t i : {1, 2}) EXPECT_NEAR(sentAt[i] - sentAt[i - 1], 3.0 + 0.035, 0.035);
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
    finish();
    EXPECT_TRUE(frames.empty());
    streamer->start(390, 600, 1, 2);
    loop.advance(ScreenStreamer::kTickInterval);
    streamer->start(390, 600, 2, 2);
    finish();
    ASSERT_TRUE(tick(true));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0]["z"], 1.0);
    EXPECT_EQ(frames[1]["z"], 2.0);
    EXPECT_EQ(asked(&CaptureRequest::zoom), (std::vector{1.0, 1.0, 2.0}));

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
    EXPECT_EQ(frames[0]["img"].get<std::string>().size(), 200000u);
    const std::vector<double> quality{0.6,  0.6,  0.45, 0.3, 0.25, 0.25, 0.25, 0.25, 0.25, 0.25,
                                      0.25, 0.25, 0.25, 0.3, 0.35, 0.4,  0.45, 0.5,  0.55, 0.6,
                                      0.65, 0.7,  0.7,  0.7, 0.7,  0.7,  0.7,  0.7,  0.7,  0.7};
    // The pixels give way by 0.8 a step to the floor, wait there while the quality climbs back,
    // then return by the same steps.
    std::vector<double> pixels{1, 1, 1, 1, 1, 0.8, 0.64, 0.512, 0.4096, 0.32768, 0.262144};
    pixels.resize(22, 0.25);
    pixels.insert(pixels.end(), {0.3125, 0.390625, 0.48828125, 0.6103515625, 0.762939453125});
    pixels.insert(pixels.end(), {0.95367431640625, 1, 1});
    using testing::DoubleNear, testing::Pointwise;
    EXPECT_THAT(asked(&CaptureRequest::quality), Pointwise(DoubleNear(1e-9), quality));
    EXPECT_THAT(asked(&CaptureRequest::pixelScale), Pointwise(DoubleNear(1e-9), pixels));
}

TEST_F(Streamer, ProblemsAreToldOnceAndWithdrawnWhenGoneEvenAfterARestart) {
    access.isPermitted = false;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(tick());
    streamer->start(390, 600, 1, 2);  // asks and tells again
    EXPECT_FALSE(tick());
    streamer->start(390, 600, 1, 2);
    access.isPermitted = true;  // granted meanwhile: the phone must not keep the old text
    EXPECT_TRUE(tick());
    EXPECT_TRUE(tick(true));
    EXPECT_EQ(access.prompts, 2);

    access.isAvailable = false;  // never changes while running: streaming stops
    EXPECT_FALSE(tick());
    EXPECT_FALSE((access.isAvailable = true, tick()));
    EXPECT_EQ(problems, (Problems{kNotPermitted, kNotPermitted, std::nullopt, kUnavailable}));
}

TEST(FrameFingerprint, SamplesEverySeventhByteAndTheLength) {
    EXPECT_EQ(frameFingerprint("abc"), 0xaf63dc4c8601ec8fu);
    EXPECT_EQ(frameFingerprint(""), 0xcbf29ce484222325u);
}

}  // namespace
}  // namespace zg::test
