// The portal layer on a headless GNOME desktop against the X11 layer on a private Xvfb of the
// same size, in the same run: the cost of a picture of the default view (capture and Base64),
// the copy of each changed screen out of PipeWire's buffer, the agent binary's CPU per
// streamed frame, and how long a phone's move takes to reach a window. Both screens show the
// same picture: this binary, run again with --show-busy, paints text over noise full screen on
// Wayland and saves it for X. A Wayland screen sends pictures only when it changes, so while
// the agent streams, each frame is followed by the pointer moving a point to and fro (through
// this process's own portal session, as XWarpPointer does on X) or by a square repainted in
// the view. Reports, never asserts; fails when the desktop cannot start.
#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QScreen>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <malloc.h>
#include <spa/param/video/raw.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "AgentStreaming.h"
#include "DesktopStack.h"
#include "GtkProbe.h"
#include "Spin.h"
#include "XvfbServer.h"
#include "link/Base64.h"
#include "platform/canvas/FrameCanvas.h"
#include "platform/pipewire/PipeWireScreen.h"
#include "platform/pipewire/StreamBuffer.h"
#include "platform/portal/PortalSession.h"
#include "platform/x11/X11Capture.h"
#include "screen/CapturePlan.h"

// Last: Xlib's macros (None, Bool, Status) would otherwise reach the headers above.
#include "ScreenContent.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

using Clock = std::chrono::steady_clock;
using zg::bench::Content;
using zg::test::spinUntil;

constexpr int kWidth = 1280, kHeight = 800;  // the virtual monitor's, and the Xvfb's
constexpr zg::Point kMiddle{kWidth / 2, kHeight / 2};
constexpr int kWarmUp = 10;
constexpr int kFrames = 200;
constexpr int kCopies = 200;
constexpr int kMoves = 200;
constexpr double kStreamingSeconds = 8;
constexpr double kGoalMs = 1.5;  // a default view's picture, capture to Base64
const zg::CaptureRequest kDefaultView{};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Spread {
    double p50 = 0, p90 = 0, p99 = 0;
    size_t count = 0;
};

Spread spread(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return {values[n / 2], values[n * 9 / 10], values[n * 99 / 100], n};
}

// ---- The busy screen on Wayland: this binary again, as a full-screen Qt window ----

// Text over noise as ScreenContent paints it on X, so that both layers encode the same kind
// of picture; and a square in the default view that each line on stdin turns black or white.
class BusyWindow : public QRasterWindow {
public:
    // `save`: where the picture goes, raw (4 bytes a pixel, as X takes it), before "ready".
    explicit BusyWindow(QString save) : save_(std::move(save)) {
        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(input, &QSocketNotifier::activated, this, [this] {
            char bytes[256];
            const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
            if (got <= 0) return QCoreApplication::quit();
            marks_ += int(std::count(bytes, bytes + got, '\n'));
            update(mark());
        });
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (picture_.size() != size()) picture_ = busyPicture(size());
        painter.drawImage(0, 0, picture_);
        painter.fillRect(mark(), marks_ % 2 ? Qt::black : Qt::white);
        if (!said_ && size() == screen()->size() && windowState() & Qt::WindowFullScreen) {
            said_ = true;
            QFile file(save_);
            if (file.open(QIODevice::WriteOnly))
                file.write(reinterpret_cast<const char*>(picture_.constBits()),
                           picture_.sizeInBytes());
            std::cout << "ready " << width() << " " << height() << std::endl;
        }
    }

private:
    QRect mark() const { return {width() / 2 + 40, height() / 2 + 40, 24, 24}; }

    static QImage busyPicture(QSize size) {
        QImage image(size, QImage::Format_RGB32);
        std::mt19937 random(7);  // the same screen in every run
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) row[x] = 0xffa0a0a0u + (random() & 0x3f3f3f);
        }
        QPainter painter(&image);
        painter.setPen(QColor(0x202020));
        QFont font("monospace");
        font.setPixelSize(11);
        painter.setFont(font);
        const QString words = "for (int i = 0; i < count; ++i) total += weights[i] * value(i); ";
        const QString line = words.repeated(size.width() / 6 / int(words.size()) + 2);
        for (int row = 0, y = 16; y < size.height(); ++row, y += 16)
            painter.drawText(6 * (row % 8) * 4, y, line.mid(row % 13));
        return image;
    }

    QString save_;
    QImage picture_;
    int marks_ = 0;
    bool said_ = false;
};

int showBusy(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    BusyWindow window(argc > 2 ? QString(argv[2]) : QString());
    window.showFullScreen();
    return QGuiApplication::exec();
}

// ---- Measuring ----

using CaptureFn =
    std::function<std::optional<std::string>(const zg::CaptureRequest&, zg::CaptureSteps*)>;

struct CaptureCost {
    Spread total, capture, grab, scale, encode, base64;
    double jpegBytes = 0;
};

// kFrames pictures of the default view from each of `captures`, taken in turn so that the
// load of the machine weighs on all alike: the capture (grab or copy out, scale, encode) and
// the Base64 of the JPEG that carries it.
std::optional<std::vector<CaptureCost>> measureCaptures(const std::vector<CaptureFn>& captures) {
    for (const CaptureFn& capture : captures)
        for (int i = 0; i < kWarmUp; ++i) capture(kDefaultView, nullptr);
    struct Samples {
        std::vector<double> total, whole, grab, scale, encode, base64;
        double bytes = 0;
    };
    std::vector<Samples> samples(captures.size());
    for (int i = 0; i < kFrames; ++i) {
        for (size_t c = 0; c < captures.size(); ++c) {
            Samples& s = samples[c];
            zg::CaptureSteps steps;
            const auto start = Clock::now();
            const auto jpeg = captures[c](kDefaultView, &steps);
            if (!jpeg) return std::nullopt;
            const auto encoded = Clock::now();
            const std::string text = zg::base64(*jpeg);
            const auto end = Clock::now();
            s.total.push_back(ms(end - start));
            s.whole.push_back(ms(encoded - start));
            s.grab.push_back(ms(steps.grab));
            s.scale.push_back(ms(steps.scale));
            s.encode.push_back(ms(steps.encode));
            s.base64.push_back(ms(end - encoded));
            s.bytes += double(jpeg->size());
        }
    }
    std::vector<CaptureCost> costs;
    for (const Samples& s : samples) {
        costs.push_back({spread(s.total), spread(s.whole), spread(s.grab), spread(s.scale),
                         spread(s.encode), spread(s.base64), s.bytes / kFrames});
    }
    return costs;
}

// What copying one changed 1280x800 screen out of a PipeWire buffer costs: readBuffer on
// buffers made up in memory, into a kept picture (the usual case) and into a new one (when a
// capture still holds the last). The source is one buffer, in cache as one the compositor has
// just drawn may be, or twelve in turn (48 MB, more than most caches), as one that is not.
struct CopyCost {
    Spread warm, cold, fresh;
};

CopyCost measureCopy() {
    constexpr size_t kBuffers = 12;
    constexpr size_t kBytes = size_t(kWidth) * kHeight * 4;
    std::vector<std::vector<uint8_t>> pixels(kBuffers, std::vector<uint8_t>(kBytes, 0x7f));
    std::vector<spa_chunk> chunks(kBuffers);
    std::vector<spa_data> datas(kBuffers);
    std::vector<spa_buffer> buffers(kBuffers);
    for (size_t i = 0; i < kBuffers; ++i) {
        chunks[i] = {0, uint32_t(kBytes), kWidth * 4, 0};
        datas[i] = {};
        datas[i].type = SPA_DATA_MemPtr;
        datas[i].maxsize = uint32_t(kBytes);
        datas[i].data = pixels[i].data();
        datas[i].chunk = &chunks[i];
        buffers[i] = {};
        buffers[i].n_datas = 1;
        buffers[i].datas = &datas[i];
    }
    const zg::VideoFormat format{SPA_VIDEO_FORMAT_BGRx, kWidth, kHeight};
    const zg::Rect logical{0, 0, kWidth, kHeight};
    zg::StoredFrame kept;
    std::vector<double> warm, cold, fresh;
    for (int i = 0; i < kCopies + kWarmUp; ++i) {
        const auto start = Clock::now();
        const bool copied = zg::readBuffer(buffers[0], format, logical, kept).picture;
        const auto warmEnd = Clock::now();
        zg::readBuffer(buffers[1 + size_t(i) % (kBuffers - 1)], format, logical, kept);
        const auto coldEnd = Clock::now();
        auto made = std::make_shared<zg::StoredFrame>();
        zg::readBuffer(buffers[1 + size_t(i + 5) % (kBuffers - 1)], format, logical, *made);
        const auto freshEnd = Clock::now();
        if (!copied) return {};
        if (i < kWarmUp) continue;
        warm.push_back(ms(warmEnd - start));
        cold.push_back(ms(coldEnd - warmEnd));
        fresh.push_back(ms(freshEnd - coldEnd));
    }
    return {spread(warm), spread(cold), spread(fresh)};
}

// Shows `pixels` (raw, 4 bytes a pixel) over the whole screen of `dpy`, as ScreenContent shows
// its own.
void showPixels(Display* dpy, QByteArray pixels) {
    const int screen = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, screen);
    const Pixmap pixmap = XCreatePixmap(dpy, root, kWidth, kHeight, DefaultDepth(dpy, screen));
    GC gc = XCreateGC(dpy, pixmap, 0, nullptr);
    XImage* image = XCreateImage(dpy, DefaultVisual(dpy, screen), 24, ZPixmap, 0, pixels.data(),
                                 kWidth, kHeight, 32, 0);
    XPutImage(dpy, pixmap, gc, image, 0, 0, 0, 0, kWidth, kHeight);
    image->data = nullptr;  // the array owns the pixels
    XDestroyImage(image);
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = pixmap;
    attributes.override_redirect = True;
    const Window window =
        XCreateWindow(dpy, root, 0, 0, kWidth, kHeight, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixmap | CWOverrideRedirect, &attributes);
    XMapRaised(dpy, window);
    XFreeGC(dpy, gc);
    XFreePixmap(dpy, pixmap);
    XSync(dpy, False);
}

// ---- The portal session of this process: input for nudges and moves, pictures to time ----

struct BenchSession {
    std::unique_ptr<zg::PortalSession> session;
    std::unique_ptr<zg::PipeWireScreen> screen;
    QString handle;  // the session's object path, for calls of our own
    uint32_t node = 0;
};

bool openSession(zg::test::DesktopStack& stack, BenchSession& out, std::string& error) {
    out.session = std::make_unique<zg::PortalSession>(stack.bus());
    int fd = -1;
    out.session->onPipeWire = [&](int pipewireFd) { fd = pipewireFd; };
    out.session->ask("");
    if (!spinUntil(
            [&] {
                return out.session->state() != zg::PortalSession::State::Asking &&
                       (out.session->state() != zg::PortalSession::State::Granted || fd >= 0);
            },
            20) ||
        out.session->state() != zg::PortalSession::State::Granted || fd < 0 ||
        out.session->streams().empty()) {
        error = "the portal gave this process no session: " + out.session->why();
        return false;
    }
    out.node = out.session->streams().front().nodeId;
    out.screen = zg::PipeWireScreen::open(fd, out.session->streams(), error);
    if (!out.screen) return false;
    out.screen->start();
    // The portal names a session after its token and its client's unique bus name; the
    // session's first token is its CreateSession's.
    QString sender = stack.bus().baseService().mid(1);
    sender.replace('.', '_');
    out.handle = "/org/freedesktop/portal/desktop/session/" + sender + "/zephyrglint1";
    return true;
}

// NotifyPointerMotionAbsolute through the frontend, waiting for its reply, as the agent does
// before its next input call; false with `error` when the portal refuses it.
bool notifyMotion(zg::test::DesktopStack& stack, const BenchSession& s, double x, double y,
                  std::string& error) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
        "org.freedesktop.portal.RemoteDesktop", "NotifyPointerMotionAbsolute");
    call << QVariant::fromValue(QDBusObjectPath(s.handle)) << QVariantMap() << uint(s.node) << x
         << y;
    const QDBusMessage reply = stack.bus().call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    error = reply.errorMessage().toStdString();
    return false;
}

// ---- Reporting ----

struct Row {
    std::string what;
    std::string wayland, x11, ratio;
};

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

std::string p50p90(const Spread& s) {
    return s.count ? format("%.2f/%.2f", s.p50, s.p90) : "-";
}

std::string ratio(double wayland, double x11) {
    return wayland > 0 && x11 > 0 ? format("%.2fx", wayland / x11) : "-";
}

int fail(const std::string& why) {
    std::fprintf(stderr, "portal: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--show-busy") return showBusy(argc, argv);
    // As the agent does: pictures of a few megabytes stay in the heap.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    QCoreApplication app(argc, argv);
    std::vector<Row> rows;
    std::vector<std::string> notes;
    std::string error;

    // ---- Wayland: the headless GNOME desktop ----
    zg::test::DesktopStack stack(zg::test::DesktopStack::Portal::Real);
    if (!stack.start()) {
        std::cerr << stack.logs().toStdString();
        return fail("the desktop did not start: " + stack.error().toStdString());
    }
    notes.push_back(format("the desktop started in %.1f s", stack.startSeconds()));
    QProcessEnvironment waylandEnv;
    for (const QString& name : stack.environment().keys())
        if (name != "DISPLAY") waylandEnv.insert(name, stack.environment().value(name));
    waylandEnv.insert("QT_QPA_PLATFORM", "wayland");

    // X's side, up and showing the same picture as Wayland's before anything is measured.
    zg::test::XvfbServer server;
    Display* dpy = server.name().empty() ? nullptr : XOpenDisplay(server.name().c_str());
    error = "Xvfb did not start";
    const auto x11 = dpy ? zg::X11Capture::open(server.name().c_str(), error) : nullptr;
    if (!x11) return fail("no X server: " + error);
    XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, int(kMiddle.x), int(kMiddle.y));
    XSync(dpy, False);

    BenchSession bench;
    if (!openSession(stack, bench, error)) return fail(error);
    if (!notifyMotion(stack, bench, kMiddle.x, kMiddle.y, error))
        return fail("NotifyPointerMotionAbsolute failed: " + error);

    QTemporaryDir scratch;
    const QString picture = scratch.filePath("busy.raw");
    QProcess busy;
    busy.setProcessEnvironment(waylandEnv);
    busy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    busy.start(QCoreApplication::applicationFilePath(), {"--show-busy", picture});
    if (!spinUntil([&] { return busy.canReadLine(); }, 20))
        return fail("the busy window did not come up");
    QFile pictureFile(picture);
    if (!pictureFile.open(QIODevice::ReadOnly) || pictureFile.size() != kWidth * kHeight * 4)
        return fail("the busy window did not save its picture");
    const QByteArray busyPixels = pictureFile.readAll();
    showPixels(dpy, busyPixels);
    // Its picture has come through once a capture of it is as large as busy content makes it.
    if (!spinUntil(
            [&] {
                const auto jpeg = bench.screen->capture(kDefaultView);
                const auto cursor = bench.screen->cursor();
                return jpeg && jpeg->size() > 40000 && cursor && *cursor == kMiddle;
            },
            20))
        return fail("no picture of the busy window came through PipeWire");
    spinUntil([] { return false; }, 1);  // the desktop settles

    const auto pipewireCapture = [&](const zg::CaptureRequest& r, zg::CaptureSteps* steps) {
        return bench.screen->capture(r, steps);
    };
    const auto x11Capture = [&](const zg::CaptureRequest& r, zg::CaptureSteps* steps) {
        return x11->capture(r, steps);
    };
    const auto captures = measureCaptures({pipewireCapture, x11Capture});
    if (!captures) return fail("a capture made no picture");
    const CaptureCost& waylandBusy = (*captures)[0];
    const CaptureCost& x11Busy = (*captures)[1];
    const CopyCost copy = measureCopy();
    bench.screen.reset();  // from here on, the agent's pictures only

    // The agent streams the busy screen; the screen changes after each frame, by the pointer
    // moving one point to and fro (cursor-only buffers) or by a square painted in the view
    // (a whole new buffer, which the agent copies).
    const zg::bench::AgentDesktop waylandAgent{waylandEnv, "access to this desktop given"};
    int step = 1;
    const auto pointerNudge = [&] {
        bench.session->motionAbsolute(bench.node, kMiddle.x + (step > 0 ? 1 : 0), kMiddle.y);
        step = -step;
    };
    const auto waylandPointerLoad =
        zg::bench::streamDefaultView(waylandAgent, pointerNudge, kStreamingSeconds, error);
    if (!waylandPointerLoad) notes.push_back("no Wayland streaming (pointer): " + error);
    const auto waylandIdle = zg::bench::idleCpuShare(waylandAgent, kStreamingSeconds / 2, error);
    if (!waylandIdle) notes.push_back("no Wayland idle figure: " + error);
    const auto paintNudge = [&] { busy.write("\n"); };
    const auto waylandPaintLoad =
        zg::bench::streamDefaultView(waylandAgent, paintNudge, kStreamingSeconds, error);
    if (!waylandPaintLoad) notes.push_back("no Wayland streaming (painting): " + error);
    busy.closeWriteChannel();
    if (!busy.waitForFinished(3000)) busy.kill();

    // The GTK window: flat halves, and each motion it gets.
    zg::test::GtkProbe probe;
    probe.start(stack.environment());
    if (!probe.waitReady())
        return fail("the GTK window did not come up: " + probe.errors().toStdString());
    qsizetype seenLines = probe.lines().size();
    const auto motionArrived = [&] {
        bool motion = false;
        for (; seenLines < probe.lines().size(); ++seenLines)
            motion = motion || probe.lines()[seenLines].startsWith("motion ");
        return motion;
    };
    // A portal call of our own, timed to its reply and to the window's motion line.
    std::vector<double> dbusMs, callToWindowMs;
    int dbusLost = 0;
    spinUntil(
        [&] {
            notifyMotion(stack, bench, kMiddle.x + 3, kMiddle.y, error);
            return spinUntil(motionArrived, 0.2);
        },
        10);
    for (int i = 0; i < kMoves * 2; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!notifyMotion(stack, bench, kMiddle.x + (i % 2 ? 8 : 0), kMiddle.y, error))
            return fail("NotifyPointerMotionAbsolute failed: " + error);
        dbusMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (spinUntil(motionArrived, 2)) {
            callToWindowMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        } else {
            ++dbusLost;
        }
    }
    int waylandLost = 0;
    const auto waylandMoves =
        zg::bench::timeMoves(waylandAgent, kMoves, motionArrived, waylandLost, error);
    if (!waylandMoves) notes.push_back("no Wayland moves: " + error);
    probe.stop();
    bench.session.reset();

    // ---- X11 ----
    // For comparison with capture_bench: X's own busy screen, text in its server font.
    zg::bench::showContent(dpy, Content::Busy);
    const auto x11Own = measureCaptures({x11Capture});
    if (!x11Own) return fail("X11Capture made no picture");

    QProcessEnvironment x11Env = QProcessEnvironment::systemEnvironment();
    x11Env.remove("WAYLAND_DISPLAY");
    x11Env.insert("DISPLAY", QString::fromStdString(server.name()));
    const zg::bench::AgentDesktop x11Agent{x11Env, {}};
    // The agent streams the same picture on X as on Wayland.
    showPixels(dpy, busyPixels);
    const auto warpNudge = [&] {
        XWarpPointer(dpy, None, None, 0, 0, 0, 0, step, 0);
        XFlush(dpy);
        step = -step;
    };
    const auto x11Load =
        zg::bench::streamDefaultView(x11Agent, warpNudge, kStreamingSeconds, error);
    if (!x11Load) notes.push_back("no X11 streaming: " + error);
    const auto x11Idle = zg::bench::idleCpuShare(x11Agent, kStreamingSeconds / 2, error);
    if (!x11Idle) notes.push_back("no X11 idle figure: " + error);

    // A window over the screen that hears every motion, as the GTK window does on Wayland.
    const Window catcher =
        XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, kWidth, kHeight, 0, 0, 0);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    XChangeWindowAttributes(dpy, catcher, CWOverrideRedirect, &attributes);
    XSelectInput(dpy, catcher, PointerMotionMask);
    XMapRaised(dpy, catcher);
    XSync(dpy, False);
    QSocketNotifier xEvents(ConnectionNumber(dpy), QSocketNotifier::Read);  // wakes the loop
    const auto xMotionArrived = [&] {
        bool motion = false;
        while (XPending(dpy)) {
            XEvent event;
            XNextEvent(dpy, &event);
            motion = motion || event.type == MotionNotify;
        }
        return motion;
    };
    std::vector<double> xtestMs, xtestToWindowMs;
    for (int i = 0; i < kMoves * 2; ++i) {
        QElapsedTimer clock;
        clock.start();
        XTestFakeMotionEvent(dpy, DefaultScreen(dpy), int(kMiddle.x) + (i % 2 ? 8 : 0),
                             int(kMiddle.y), CurrentTime);
        XSync(dpy, False);
        xtestMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (spinUntil(xMotionArrived, 2)) xtestToWindowMs.push_back(clock.nsecsElapsed() / 1e6);
    }
    int x11Lost = 0;
    const auto x11Moves = zg::bench::timeMoves(x11Agent, kMoves, xMotionArrived, x11Lost, error);
    if (!x11Moves) notes.push_back("no X11 moves: " + error);
    XCloseDisplay(dpy);

    // ---- The table ----
    rows.push_back({"capture + Base64, default view, ms p50/p90", p50p90(waylandBusy.total),
                    p50p90(x11Busy.total), ratio(waylandBusy.total.p50, x11Busy.total.p50)});
    rows.push_back({"  copy-out or grab (incl. planning)", p50p90(waylandBusy.grab),
                    p50p90(x11Busy.grab), ratio(waylandBusy.grab.p50, x11Busy.grab.p50)});
    rows.push_back({"  scale", p50p90(waylandBusy.scale), p50p90(x11Busy.scale),
                    ratio(waylandBusy.scale.p50, x11Busy.scale.p50)});
    rows.push_back({"  encode", p50p90(waylandBusy.encode), p50p90(x11Busy.encode),
                    ratio(waylandBusy.encode.p50, x11Busy.encode.p50)});
    rows.push_back({"  Base64", p50p90(waylandBusy.base64), p50p90(x11Busy.base64),
                    ratio(waylandBusy.base64.p50, x11Busy.base64.p50)});
    rows.push_back({"  JPEG kB", format("%.0f", waylandBusy.jpegBytes / 1000),
                    format("%.0f", x11Busy.jpegBytes / 1000), ""});
    rows.push_back(
        {"  same, X's own busy screen (capture_bench's)", "-", p50p90(x11Own->front().total), ""});
    rows.push_back({"copy of a changed 1280x800 screen, ms p50/p90", p50p90(copy.cold), "-", ""});
    rows.push_back({"  source in cache", p50p90(copy.warm), "-", ""});
    rows.push_back({"  source not, into a new picture", p50p90(copy.fresh), "-", ""});
    const auto load = [&](const std::optional<zg::bench::StreamingLoad>& l, const char* what) {
        return l ? format(what, l->cpuPerFrame, l->framesPerSecond, l->cpuShare * 100) : "-";
    };
    const char* loadFormat = "%.2f (%.0f/s, %.0f%%)";
    rows.push_back({"agent CPU ms/frame, pointer nudged (fps, core)",
                    load(waylandPointerLoad, loadFormat), load(x11Load, loadFormat),
                    waylandPointerLoad && x11Load
                        ? ratio(waylandPointerLoad->cpuPerFrame, x11Load->cpuPerFrame)
                        : "-"});
    rows.push_back({"agent CPU ms/frame, view repainted (fps, core)",
                    load(waylandPaintLoad, loadFormat), "(as above)",
                    waylandPaintLoad && x11Load
                        ? ratio(waylandPaintLoad->cpuPerFrame, x11Load->cpuPerFrame)
                        : "-"});
    rows.push_back({"agent idle with a phone, % of a core",
                    waylandIdle ? format("%.2f", *waylandIdle * 100) : "-",
                    x11Idle ? format("%.2f", *x11Idle * 100) : "-", ""});
    const auto p50p99 = [](const std::vector<double>& v) {
        const Spread s = spread(v);
        return s.count ? format("%.2f/%.2f", s.p50, s.p99) : "-";
    };
    const auto p50of = [](const std::vector<double>& v) { return spread(v).p50; };
    rows.push_back(
        {"move: phone send -> window motion, ms p50/p99",
         waylandMoves ? p50p99(*waylandMoves) : "-", x11Moves ? p50p99(*x11Moves) : "-",
         waylandMoves && x11Moves ? ratio(p50of(*waylandMoves), p50of(*x11Moves)) : "-"});
    rows.push_back({"move: input call round trip, ms p50/p99", p50p99(dbusMs), p50p99(xtestMs),
                    ratio(p50of(dbusMs), p50of(xtestMs))});
    rows.push_back({"move: input call -> window motion, ms p50/p99", p50p99(callToWindowMs),
                    p50p99(xtestToWindowMs), ratio(p50of(callToWindowMs), p50of(xtestToWindowMs))});

    std::printf(
        "portal: the portal layer (PipeWire, xdg-desktop-portal) on a headless GNOME desktop "
        "against X11 on Xvfb, both 1280x800 showing the same busy picture, in the same run; "
        "default view 390x600 at dpr 2, quality 0.6; %d pictures, %d moves each\n",
        kFrames, kMoves);
    std::printf("portal: %-48s %-22s %-22s %s\n", "", "Wayland (portal)", "X11 (Xvfb)",
                "Wayland/X11");
    for (const Row& row : rows)
        std::printf("portal: %-48s %-22s %-22s %s\n", row.what.c_str(), row.wayland.c_str(),
                    row.x11.c_str(), row.ratio.c_str());
    std::printf("portal: goal for capture + Base64 <= %.1f ms p50: Wayland %s, X11 %s\n", kGoalMs,
                waylandBusy.total.p50 <= kGoalMs ? "met" : "over",
                x11Busy.total.p50 <= kGoalMs ? "met" : "over");
    std::printf(
        "portal: input calls: the agent waits for each reply before its next call, so at most "
        "%.0f calls/s on Wayland (%.0f on X11 with a sync each)\n",
        1000 / p50of(dbusMs), 1000 / p50of(xtestMs));
    if (dbusLost || waylandLost || x11Lost)
        notes.push_back(
            format("moves that never reached the window: %.0f of our own portal "
                   "calls, %.0f of the phone's on Wayland, %.0f on X11",
                   dbusLost, waylandLost, x11Lost));
    for (const std::string& note : notes) std::printf("portal: %s\n", note.c_str());
    return 0;
}
