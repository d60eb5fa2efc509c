#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
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
    void runPosted() {
        while (!posted_.empty()) pop(posted_)();
    }
    // Runs the oldest background task on the calling thread; false when there is none.
    bool runBackground() { return !background_.empty() && (pop(background_)(), true); }
    // Runs posted work and every timer due within `span`, each at its own time.
    void advance(Seconds span) {
        const Seconds target = now_ + std::max(span, 0.0);
        for (runPosted();; runPosted()) {
            std::erase_if(timers_, [](const auto& e) { return e->cancelled; });
            const auto next = std::ranges::min_element(
                timers_, {}, [](const auto& e) { return std::pair(e->due, e->order); });
            if (next == timers_.end() || (*next)->due > target) break;
            Entry& entry = **next;
            now_ = entry.due;
            entry.cancelled = entry.interval == 0;  // a one-shot is done once it runs
            entry.due += entry.interval;
            entry.order = order_++;
            Task routine = entry.routine;  // the routine may cancel or replace its own entry
            routine();
        }
        now_ = target;
    }

private:
    struct Entry {
        Seconds due, interval;  // interval 0: one-shot
        uint64_t order;
        Task routine;
        bool cancelled = false;
    };
    struct Handle : Scheduled {  // cancels its entry when it goes
        std::shared_ptr<Entry> entry;
        explicit Handle(std::shared_ptr<Entry> e) : entry(std::move(e)) {}
        ~Handle() override { cancel(); }
        void cancel() override { entry->cancelled = true; }
    };

    static Task pop(std::deque<Task>& tasks) {
        Task next = std::move(tasks.front());
        tasks.pop_front();
        return next;
    }
    std::shared_ptr<Entry> schedule(Seconds delay, Seconds interval, Task routine) {
        Entry entry{now_ + std::max(delay, 0.0), interval, order_++, std::move(routine)};
        return timers_.emplace_back(std::make_shared<Entry>(std::move(entry)));
    }
    ScheduledHandle handle(Seconds delay, Seconds interval, Task routine) {
        return std::make_unique<Handle>(schedule(delay, interval, std::move(routine)));
    }

    Seconds now_ = 0;
    uint64_t order_ = 0;
    std::vector<std::shared_ptr<Entry>> timers_;
    std::deque<Task> posted_, background_;
};

}  // namespace zg::test
