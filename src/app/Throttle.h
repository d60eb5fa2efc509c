#pragma once

#include <limits>
#include <utility>

#include "platform/Loop.h"

namespace zg {

// Runs an action at once when it last ran at least `gap` ago, otherwise once when the gap is
// up: a burst of requests costs one run per gap, and the last request is never lost.
class Throttle {
public:
    Throttle(Loop& loop, Seconds gap, Task action)
        : loop_(loop), gap_(gap), action_(std::move(action)) {}

    void request() {
        if (waiting_) return;
        const Seconds wait = last_ + gap_ - loop_.now();
        if (wait > 0) {
            waiting_ = loop_.later(wait, [this] { run(); });
        } else {
            run();
        }
    }
    // Runs now; a run still waiting is then no longer needed.
    void run() {
        waiting_.reset();
        last_ = loop_.now();
        action_();
    }
    void cancel() { waiting_.reset(); }

private:
    Loop& loop_;
    const Seconds gap_;
    const Task action_;
    Seconds last_ = -std::numeric_limits<Seconds>::infinity();
    ScheduledHandle waiting_;  // cancelled with the throttle
};

}  // namespace zg
