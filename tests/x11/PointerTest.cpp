// GoogleTest first: it cannot take the macros Xlib defines (None, Bool).
#include "X11Fixture.h"

#include <X11/Xlib.h>

#include <array>
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
    // As button, x, y of each press, then of each release.
    std::vector<std::array<unsigned, 3>> seen;
    for (int type : {ButtonPress, ButtonRelease}) {
        for (const auto& e : recorder->of(type))
            seen.push_back({e.button, unsigned(e.x), unsigned(e.y)});
    }
    EXPECT_EQ(seen,
              (std::vector<std::array<unsigned, 3>>{
                  {1, 30, 40}, {3, 50, 60}, {1, 50, 60}, {1, 30, 40}, {3, 50, 60}, {1, 50, 60}}));
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
