// GoogleTest first: it cannot take the macros Xlib defines (None, Bool).
#include "X11Fixture.h"

#include <X11/Xlib.h>

#include <climits>
#include <cmath>

#include "platform/x11/X11Pointer.h"

namespace zg::test {
namespace {

using PointerTest = X11Fixture;

Point serverPointer(Display* dpy) {
    Window root, child;
    int x = 0, y = 0, wx, wy;
    unsigned mask;
    XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &x, &y, &wx, &wy, &mask);
    return {double(x), double(y)};
}

TEST_F(PointerTest, MovesWhereAskedAndIgnoresPointsItCannotPost) {
    X11Pointer pointer(*display);
    pointer.moveTo({100, 200}, false, 0);
    display->sync();
    EXPECT_EQ(serverPointer(recorder->display()), (Point{100, 200}));
    EXPECT_EQ(pointer.location(), (Point{100, 200}));

    pointer.moveTo({NAN, 5}, false, 0);
    pointer.moveTo({INFINITY, 5}, true, 1);
    display->sync();
    EXPECT_EQ(pointer.location(), (Point{100, 200}));
    pointer.moveTo({1e12, -1e12}, false, 0);  // the server keeps the pointer on the screen
    display->sync();
    EXPECT_EQ(pointer.location(), (Point{1279, 0}));
}

TEST_F(PointerTest, ButtonsArriveAsOneAndThreeWhereAskedAndNoneStaysHeld) {
    auto pointer = std::make_unique<X11Pointer>(*display);
    pointer->button(MouseButton::Left, true, {30, 40}, 1);
    pointer->button(MouseButton::Left, false, {30, 40}, 1);
    pointer->button(MouseButton::Right, true, {50, 60}, 1);
    pointer->button(MouseButton::Right, false, {50, 60}, 1);
    pointer->button(MouseButton::Left, true, {50, 60}, 1);
    pointer.reset();  // lets go of the left button
    recorder->drain();
    const auto presses = recorder->of(ButtonPress), releases = recorder->of(ButtonRelease);
    ASSERT_EQ(presses.size(), 3u);
    ASSERT_EQ(releases.size(), 3u);
    EXPECT_EQ(presses[0].button, 1u);
    EXPECT_EQ(releases[0].button, 1u);
    EXPECT_EQ(presses[1].button, 3u);
    EXPECT_EQ(releases[1].button, 3u);
    EXPECT_EQ((Point{double(presses[0].x), double(presses[0].y)}), (Point{30, 40}));
    EXPECT_EQ((Point{double(presses[1].x), double(presses[1].y)}), (Point{50, 60}));
}

TEST_F(PointerTest, ScrollPostsWholeNotchesAndKeepsTheRest) {
    X11Pointer pointer(*display);
    constexpr int step = X11Pointer::kScrollPixelsPerStep;
    pointer.scroll(step - 1);   // nothing yet
    pointer.scroll(step - 1);   // one notch up, step - 2 kept
    pointer.scroll(2);          // one more
    pointer.scroll(-3 * step);  // three down
    display->sync();
    recorder->drain();
    std::vector<unsigned> buttons;
    for (const auto& e : recorder->of(ButtonPress)) buttons.push_back(e.button);
    EXPECT_EQ(buttons, (std::vector<unsigned>{4, 4, 5, 5, 5}));

    // An absurd distance posts a bounded number of notches and leaves nothing for later.
    recorder->events.clear();
    pointer.scroll(INT_MAX);
    pointer.scroll(INT_MIN);
    pointer.scroll(step - 1);
    display->sync();
    recorder->drain();
    EXPECT_EQ(recorder->of(ButtonPress).size(), 2u * X11Pointer::kMaxScrollSteps);
}

}  // namespace
}  // namespace zg::test
