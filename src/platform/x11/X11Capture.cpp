#include "platform/x11/X11Capture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <pixman.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <tuple>

#include "platform/canvas/PixelScaling.h"
#include "platform/x11/X11Monitors.h"

namespace zg {
namespace {

// X draws in pixels: a point is a pixel.
constexpr double kDisplayScale = 1.0;

struct ImageDeleter {
    void operator()(XImage* image) const { XDestroyImage(image); }
};
using Image = std::unique_ptr<XImage, ImageDeleter>;

// How pixman reads the server's pixels; nothing for a layout it cannot read (then the
// picture stays black rather than showing wrong colours).
std::optional<pixman_format_code_t> pixmanFormat(const XImage& image, const Visual& visual) {
    constexpr int hostOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    if (image.byte_order != hostOrder) return std::nullopt;
    const auto masks = std::tuple{visual.red_mask, visual.green_mask, visual.blue_mask};
    using Masks = decltype(masks);
    if (image.bits_per_pixel == 32) {
        if (masks == Masks{0xff0000, 0xff00, 0xff}) return PIXMAN_x8r8g8b8;
        if (masks == Masks{0xff, 0xff00, 0xff0000}) return PIXMAN_x8b8g8r8;
        if (masks == Masks{0x3ff00000, 0xffc00, 0x3ff}) return PIXMAN_x2r10g10b10;
    } else if (image.bits_per_pixel == 16 && masks == Masks{0xf800, 0x7e0, 0x1f}) {
        return PIXMAN_r5g6b5;
    }
    return std::nullopt;
}

// The server's pixels as pixman reads them, sharing their memory; nullptr as above.
PixmanImage pixmanImage(XImage& image, const Visual& visual) {
    const auto format = pixmanFormat(image, visual);
    if (!format) return nullptr;
    return PixmanImage(pixman_image_create_bits(*format, image.width, image.height,
                                                reinterpret_cast<uint32_t*>(image.data),
                                                image.bytes_per_line));
}

}  // namespace

// One shared-memory segment attached to the server, grown when a grab needs more; the server
// writes grabbed pixels straight into it.
struct X11Capture::SharedImage {
    XShmSegmentInfo info{};
    size_t capacity = 0;
};

std::unique_ptr<X11Capture> X11Capture::open(const char* name, std::string& error) {
    auto display = X11Display::open(name, error);
    if (!display) return nullptr;
    return std::unique_ptr<X11Capture>(new X11Capture(std::move(display)));
}

X11Capture::X11Capture(std::unique_ptr<X11Display> display)
    : display_(std::move(display)), hasMonitors_(hasRandrMonitors(display_->get())) {
    if (XShmQueryExtension(display_->get())) shared_ = std::make_unique<SharedImage>();
}

X11Capture::~X11Capture() {
    releaseShared();
}

std::optional<std::string> X11Capture::capture(const CaptureRequest& request, CaptureSteps* steps) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const Point at = pointer();
    const Rect display = displayUnder(at);
    const CapturePlan plan = planCapture(at, display, kDisplayScale, request);
    const Image image(plan.empty() ? nullptr : grabVisible(plan, display));

    Display* dpy = display_->get();
    const PixmanImage source =
        image ? pixmanImage(*image, *DefaultVisual(dpy, DefaultScreen(dpy))) : nullptr;
    return canvas_.render(plan, source.get(), request, start, steps);
}

Point X11Capture::pointer() {
    Display* dpy = display_->get();
    Window root = None, child = None;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &x, &y, &mask)) {
        return {};  // the pointer is on another screen
    }
    return {double(rootX), double(rootY)};
}

Rect X11Capture::displayUnder(Point pointer) {
    const auto now = std::chrono::steady_clock::now();
    if (monitors_.empty() || now - monitorsRead_ >= kMonitorsMaxAge) {
        monitors_ = readMonitors(display_->get(), hasMonitors_);
        monitorsRead_ = std::chrono::steady_clock::now();  // when the answer came
    }
    const auto under = std::find_if(monitors_.begin(), monitors_.end(), [&](const Rect& r) {
        return pointer.x >= r.x && pointer.x < r.right() && pointer.y >= r.y &&
               pointer.y < r.bottom();
    });
    return under != monitors_.end() ? *under : monitors_.front();
}

XImage* X11Capture::grabVisible(const CapturePlan& plan, Rect display) {
    // The grab on whole root pixels. Monitors have whole-pixel edges, so rounding never
    // leaves the display.
    const Rect& source = plan.sourceRect;
    const int left = int(std::lround(display.x + source.x));
    const int top = int(std::lround(display.y + source.y));
    const int width = int(std::lround(display.x + source.right())) - left;
    const int height = int(std::lround(display.y + source.bottom())) - top;
    if (width < 1 || height < 1) return nullptr;
    XImage* image = grabShared(left, top, width, height);
    return image ? image : grab(left, top, width, height);
}

XImage* X11Capture::grabShared(int x, int y, int width, int height) {
    if (!shared_) return nullptr;
    Display* dpy = display_->get();
    const int screen = DefaultScreen(dpy);
    Image image(XShmCreateImage(dpy, DefaultVisual(dpy, screen), DefaultDepth(dpy, screen), ZPixmap,
                                nullptr, &shared_->info, width, height));
    if (!image || !reserveShared(size_t(image->bytes_per_line) * size_t(height))) return nullptr;
    image->data = shared_->info.shmaddr;
    // A failed grab (the area left the screen meanwhile) is no reason to give up shared memory.
    if (!XShmGetImage(dpy, DefaultRootWindow(dpy), image.get(), x, y, AllPlanes)) return nullptr;
    return image.release();
}

XImage* X11Capture::grab(int x, int y, int width, int height) {
    Display* dpy = display_->get();
    return XGetImage(dpy, DefaultRootWindow(dpy), x, y, unsigned(width), unsigned(height),
                     AllPlanes, ZPixmap);
}

// Makes the segment hold at least `bytes`. The first one covers the whole screen, so it grows
// only when the screen does. A server that refuses it (one on another machine shares no
// memory with us) is not asked again.
bool X11Capture::reserveShared(size_t bytes) {
    if (shared_->capacity >= bytes) return true;
    releaseShared();
    Display* dpy = display_->get();
    const int screen = DefaultScreen(dpy);
    bytes = std::max(bytes, size_t(DisplayWidth(dpy, screen)) * DisplayHeight(dpy, screen) * 4);
    XShmSegmentInfo& info = shared_->info;
    info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (info.shmid < 0) {
        shared_.reset();
        return false;
    }
    info.shmaddr = static_cast<char*>(shmat(info.shmid, nullptr, 0));
    info.readOnly = False;
    display_->sync();  // so that the check below sees only the attach's errors
    const bool attached =
        info.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(dpy, &info) && display_->sync();
    // Marked for removal now, so the segment goes once both sides have let go, even if we crash.
    shmctl(info.shmid, IPC_RMID, nullptr);
    if (!attached) {
        if (info.shmaddr != reinterpret_cast<char*>(-1)) shmdt(info.shmaddr);
        shared_.reset();
        return false;
    }
    shared_->capacity = bytes;
    return true;
}

void X11Capture::releaseShared() {
    if (!shared_ || shared_->capacity == 0) return;
    XShmDetach(display_->get(), &shared_->info);
    display_->sync();
    shmdt(shared_->info.shmaddr);
    shared_->capacity = 0;
}

}  // namespace zg
