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
    ScheduledHandle every(Seconds interval, Task routine) override;
    ScheduledHandle later(Seconds delay, Task routine) override;
    void after(Seconds delay, Task routine) override;
    void post(Task routine) override;
    void background(Task routine) override;

    // Runs posted work in order, including work posted meanwhile, until none is left.
    void runPosted();

    // Moves the clock forward by `span`, running posted work and every timer that falls due
    // on the way, each at its own due time, in time order (ties in scheduling order).
    void advance(Seconds span);

    // Runs the oldest background task on the calling thread; false when there is none.
    bool runBackground();
    size_t pendingTimers() const;

private:
    struct Entry {
        Seconds due = 0;
        Seconds interval = 0;  // 0 for one-shot work
        uint64_t order = 0;
        Task routine;
        bool cancelled = false;
    };
    class Handle;

    std::shared_ptr<Entry> schedule(Seconds delay, Seconds interval, Task routine);
    std::shared_ptr<Entry> nextDue(Seconds limit);

    Seconds now_ = 0;
    uint64_t order_ = 0;
    std::vector<std::shared_ptr<Entry>> timers_;
    std::mutex postedMutex_;
    std::deque<Task> posted_;
    std::deque<Task> background_;
};

}  // namespace zg::test
