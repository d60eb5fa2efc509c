#include "platform/x11/X11Monitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace zg {

// Asking Xlib rather than libXrandr whether RandR is there spares libXrandr's per-display
// record, which it never frees when the answer is no.
bool hasRandrMonitors(Display* dpy) {
    int opcode = 0, event = 0, error = 0, major = 0, minor = 0;
    return XQueryExtension(dpy, "RANDR", &opcode, &event, &error) &&
           XRRQueryVersion(dpy, &major, &minor) && (major > 1 || (major == 1 && minor >= 5));
}

std::vector<Rect> readMonitors(Display* dpy, bool hasMonitors) {
    const int screen = DefaultScreen(dpy);
    std::vector<Rect> rects;
    if (hasMonitors) {
        int count = 0;
        if (XRRMonitorInfo* monitors = XRRGetMonitors(dpy, RootWindow(dpy, screen), True, &count)) {
            for (int i = 0; i < count; ++i) {
                const XRRMonitorInfo& m = monitors[i];
                const Rect rect{double(m.x), double(m.y), double(m.width), double(m.height)};
                if (rect.empty()) continue;
                // The primary monitor is where a pointer on no monitor counts as being.
                if (m.primary) {
                    rects.insert(rects.begin(), rect);
                } else {
                    rects.push_back(rect);
                }
            }
            XRRFreeMonitors(monitors);
        }
    }
    if (rects.empty()) {
        rects.push_back(
            {0, 0, double(DisplayWidth(dpy, screen)), double(DisplayHeight(dpy, screen))});
    }
    return rects;
}

}  // namespace zg
