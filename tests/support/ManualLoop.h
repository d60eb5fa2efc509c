#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/Loop.h"

namespace zg::test {

// A Loop on virtual time: nothing happens until the test advances the clock or drains posts.
class ManualLoop : public Loop {
public:
    Seconds now() const override { return now_; }
    ScheduledHandle every(Seconds t, Task routine) override { return handle(t, t, routine); }
    ScheduledHandle later(Seconds t, Task routine) override { return handle(t, 0, routine); }
    void after(Seconds delay, Task routine) override { schedule(delay, 0, std::move(routine)); }
    void post(Task routine) override { posted_.push_back(std::move(routine)); }
    void background(Task routine) override { background_.push_back(std::move(routine)); }

    // Runs posted work in order, including work posted meanwhile.
    void runPosted();
    // Runs posted work and every timer due within `span`, each at its own time.
    void advance(Seconds span);
    // Runs the oldest background task on the calling thread; false when there is none.
    bool runBackground();

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
    std::deque<Task> posted_, background_;
};

}  // namespace zg::test
