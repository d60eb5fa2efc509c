// show_content: covers the screen of $DISPLAY with busy content (text over noise) for as long
// as its standard input stays open, so that a node benchmark can give the agent a screen whose
// picture changes wherever the pointer goes.
#include <X11/Xlib.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "ScreenContent.h"

int main() {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return std::fputs("show_content: cannot open $DISPLAY\n", stderr), 1;
    zg::bench::showContent(dpy, zg::bench::Content::Busy);
    std::puts("shown");
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
    }
    XCloseDisplay(dpy);
}
