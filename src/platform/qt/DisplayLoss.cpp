#include "platform/qt/DisplayLoss.h"

#include <xcb/xcb.h>
#include <QGuiApplication>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace zg {
namespace {

DisplayLoss* armed = nullptr;

}  // namespace

DisplayLoss::DisplayLoss(std::function<void()> farewell, Seconds grace, int code)
    : farewell_(std::move(farewell)), grace_(grace), code_(code) {
    static const bool registered = std::atexit(atExit) == 0;
    if (registered) armed = this;
}

DisplayLoss::~DisplayLoss() {
    if (armed == this) armed = nullptr;
}

bool DisplayLoss::broken() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && x11->connection() && xcb_connection_has_error(x11->connection()) != 0;
}

void DisplayLoss::atExit() {
    DisplayLoss* loss = std::exchange(armed, nullptr);
    // Only the main thread may reach the agent; the X11 seams never exit on other threads.
    if (!loss || loss->mainThread_ != std::this_thread::get_id() || !broken()) return;
    // Whatever the farewell waits on, the process still ends.
    std::thread([code = loss->code_, limit = 4 * loss->grace_ + 1] {
        std::this_thread::sleep_for(std::chrono::duration<double>(limit));
        _exit(code);
    }).detach();
    loss->farewell_();
    std::this_thread::sleep_for(std::chrono::duration<double>(loss->grace_));
    std::fflush(nullptr);
    _exit(loss->code_);
}

}  // namespace zg
