#include "platform/qt/DisplayLoss.h"

#include <xcb/xcb.h>
#include <QGuiApplication>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace zg {
namespace {

// Read by every thread that warns.
std::atomic<DisplayLoss*> armed = nullptr;

}  // namespace

DisplayLoss::DisplayLoss(std::function<void()> farewell, Seconds grace, int code)
    : farewell_(std::move(farewell)), grace_(grace), code_(code) {
    static const bool registered = std::atexit(atExit) == 0;
    if (registered) armed = this;
    previousHandler_ = qInstallMessageHandler(onMessage);
}

DisplayLoss::~DisplayLoss() {
    qInstallMessageHandler(previousHandler_);
    DisplayLoss* self = this;
    armed.compare_exchange_strong(self, nullptr);
}

bool DisplayLoss::broken() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && x11->connection() && xcb_connection_has_error(x11->connection()) != 0;
}

void DisplayLoss::atExit() {
    DisplayLoss* loss = armed;
    // Only the main thread may reach the agent; the X11 seams never exit on other threads.
    if (!loss || loss->mainThread_ != std::this_thread::get_id() || !broken()) return;
    loss->farewellAndExit();
}

void DisplayLoss::onMessage(QtMsgType type, const QMessageLogContext& context,
                            const QString& text) {
    DisplayLoss* loss = armed;
    if (loss && loss->previousHandler_) loss->previousHandler_(type, context, text);
    if (!loss || type != QtWarningMsg || !text.startsWith("The Wayland connection")) return;
    // Every thread that meets the break warns, then ends the process: none may return.
    if (loss->mainThread_ == std::this_thread::get_id()) loss->farewellAndExit();
    // The main thread says the goodbye, unless it meets the break first and says it then.
    if (!loss->posted_.exchange(true)) {
        QMetaObject::invokeMethod(
            qApp, [loss] { loss->farewellAndExit(); }, Qt::QueuedConnection);
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(4 * loss->grace_ + 1));
    _exit(loss->code_);
}

void DisplayLoss::farewellAndExit() {
    // Whatever the farewell waits on, the process still ends.
    std::thread([code = code_, limit = 4 * grace_ + 1] {
        std::this_thread::sleep_for(std::chrono::duration<double>(limit));
        _exit(code);
    }).detach();
    farewell_();
    std::this_thread::sleep_for(std::chrono::duration<double>(grace_));
    std::fflush(nullptr);
    _exit(code_);
}

}  // namespace zg
