#include <gtest/gtest.h>

#include <vector>

#include "screen/CapturePlan.h"

namespace zg {
namespace {

TEST(CapturePlan, ScalesToThePhoneCappedByTheDisplayAndTheLongestSide) {
    struct Case {
        CaptureRequest request;
        double k, s;
        int width, height;
    };
    for (const Case& c : std::vector<Case>{
             {{390, 600, 1, 2}, 2, 2, 780, 1200},
             {{390, 600, 2, 2}, 2, 2, 390, 600},
             {{390, 600, 0.5, 2}, 2, 1, 780, 1200},
             {{390, 600, 0.1, 2}, 2, 0.2, 780, 1200},
             {{390, 600, 1, 2}, 1, 1, 390, 600},
             {{390, 600, 8, 3}, 2, 2, 98, 150},  // 97.5 rounds up
             {{390, 844, 1, 3}, 2, 1280.0 / 844, 591, 1280},
             {{4000, 4000, 1, 3}, 2, 0.32, 1280, 1280},
             {{390, 600, 1, 2, 0.6, 0.8}, 2, 1.6, 624, 960},        // fewer pixels asked for
             {{4000, 4000, 1, 3, 0.6, 0.5}, 2, 0.16, 640, 640}}) {  // after the caps
        const CapturePlan plan = planCapture({0, 0}, {-5000, -5000, 10000, 10000}, c.k, c.request);
        EXPECT_NEAR(plan.scale, c.s, 1e-12) << c.request.w << " " << c.request.zoom;
        EXPECT_EQ(plan.pixelWidth, c.width) << c.request.w << " " << c.request.zoom;
        EXPECT_EQ(plan.pixelHeight, c.height) << c.request.w << " " << c.request.zoom;
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
             {{805, 540}, 1, {}, {}},                                         // touching the edge
             {{805.5, 540}, 1, {}, {}},                                       // half a point
             {{1960, 1379.5}, 1, {}, {}},
             {{9000, 9000}, 1, {}, {}}}) {
        SCOPED_TRACE(testing::Message() << c.pointer.x << "," << c.pointer.y);
        const CaptureRequest request{390, 600, c.zoom, 2};
        const CapturePlan plan = planCapture(c.pointer, display, 1, request);
        Rect visible = c.source;
        if (!visible.empty()) visible.x += display.x;
        EXPECT_EQ(plan.empty(), visible.empty());
        EXPECT_EQ(plan.visible, visible);
        EXPECT_EQ(plan.sourceRect, c.source);
        EXPECT_EQ(plan.drawRect, c.draw);
        EXPECT_EQ(plan.captureWidth, int(c.draw.width));
        EXPECT_EQ(plan.captureHeight, int(c.draw.height));
        const CapturePlan centred = planCapture({1960, 540}, display, 1, request);
        EXPECT_EQ(plan.pixelWidth, centred.pixelWidth);
        EXPECT_EQ(plan.pixelHeight, centred.pixelHeight);
    }
}

TEST(CapturePlan, TheAgentsOwnWindowsMapToWholePicturePixelsInsideThePicture) {
    // 390 x 600 points at 2 pixels a point around (500, 400): the region starts at (305, 100).
    const CapturePlan plan = planCapture({500, 400}, {0, 0, 1280, 800}, 2, {390, 600, 1, 2});
    EXPECT_EQ(hiddenInPicture(plan, {{500.2, 300, 100, 50},  // rounded outwards
                                     {300, 500, 200, 500},   // clipped at left and bottom
                                     {0, 0, 100, 100}}),     // off the picture
              (std::vector<Rect>{{390, 400, 201, 100}, {0, 800, 390, 400}}));
}

}  // namespace
}  // namespace zg
