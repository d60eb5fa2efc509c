#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace zg {

// SIGINT, SIGTERM and SIGHUP as calls on the main thread's event loop, so that Ctrl-C, a kill or
// the end of a session stop the agent the way "Quit" does: buttons let go and the phones told.
// The signals are read from a signalfd; no work runs inside a signal handler.
class StopSignals final {
public:
    // Holds the three signals back from the calling thread and from every thread it starts
    // afterwards, for the signalfd to take them: call it first thing in main().
    static void block();

    // `onStop` runs for each of the signals that arrives, one held back before included. Should
    // no signalfd be had, the signals are let through again and stop the process as before.
    explicit StopSignals(std::function<void(int signal)> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void(int)> onStop_;
};

}  // namespace zg
