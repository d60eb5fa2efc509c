#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Loop.h"

namespace zg::test {

// A Loop on virtual time: nothing happens until the test advances the clock or drains the
// posted work, so a 75-second timeout takes microseconds and every run is the same.
class ManualLoop : public Loop {
public:
    Seconds now() const override { return now_; }
    ScheduledHandle every(Seconds t, Task routine) override { return handle(t, t, routine); }
    ScheduledHandle later(Seconds t, Task routine) override { return handle(t, 0, routine); }
    void after(Seconds delay, Task routine) override { schedule(delay, 0, std::move(routine)); }
    void post(Task routine) override;
    void background(Task routine) override { background_.push_back(std::move(routine)); }

    // Runs posted work in order, including work posted meanwhile, until none is left.
    void runPosted();
    // Moves the clock forward by `span`, running posted work and every timer that falls due
    // on the way, each at its own due time (ties in scheduling order).
    void advance(Seconds span);
    // Runs the oldest background task on the calling thread; false when there is none.
    bool runBackground();
    size_t pendingTimers() const;

private:
    struct Entry {
        Seconds due = 0, interval = 0;  // interval 0: one-shot
        uint64_t order = 0;
        Task routine;
        bool cancelled = false;
    };
    std::shared_ptr<Entry> schedule(Seconds delay, Seconds interval, Task routine);
    ScheduledHandle handle(Seconds delay, Seconds interval, Task routine);

    Seconds now_ = 0;
    uint64_t order_ = 0;
    std::vector<std::shared_ptr<Entry>> timers_;
    std::mutex postedMutex_;
    std::deque<Task> posted_, background_;
};

}  // namespace zg::test
