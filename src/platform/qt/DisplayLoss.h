#pragma once

#include <QtGlobal>
#include <atomic>
#include <functional>
#include <thread>

#include "platform/Loop.h"

namespace zg {

// The agent's goodbye when its display goes away (the X server or the Wayland compositor died,
// the session ended).
//
// Qt's xcb platform plugin ends the process with exit(1) the moment it sees its connection
// break, from inside its own event processing; no event loop runs after that, and running one
// from an exit handler would enter the plugin, and exit(), again. So the goodbye is said from
// an exit handler, on the main thread: `farewell` sends it, `grace` lets the relay's thread pass
// it on, and the process ends with `code` through _exit, before static destructors run under
// threads that are still working. Other exits pass untouched.
//
// Qt's Wayland plugin _exits instead, where no exit handler runs, right after its warning that
// the connection broke; so that warning says the goodbye, in the same way. The plugin warns
// from its own threads too, each about to end the process: the main thread says the goodbye,
// and they wait for it.
// Threading: made, and destroyed before the objects `farewell` uses, on the main thread; at
// most one at a time.
class DisplayLoss {
public:
    DisplayLoss(std::function<void()> farewell, Seconds grace, int code);
    ~DisplayLoss();
    DisplayLoss(const DisplayLoss&) = delete;
    DisplayLoss& operator=(const DisplayLoss&) = delete;

    // Whether Qt's connection to the X display has broken; false without one.
    static bool broken();

private:
    static void atExit();
    static void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& text);
    // Says the goodbye and ends the process; on the main thread.
    void farewellAndExit();

    std::function<void()> farewell_;
    Seconds grace_;
    int code_;
    std::thread::id mainThread_ = std::this_thread::get_id();
    QtMessageHandler previousHandler_ = nullptr;
    std::atomic<bool> posted_ = false;  // the goodbye is on its way to the main thread
};

}  // namespace zg
