#include "ManualLoop.h"

#include <algorithm>

namespace zg::test {

std::shared_ptr<ManualLoop::Entry> ManualLoop::schedule(Seconds delay, Seconds interval,
                                                        Task routine) {
    const Seconds due = now_ + std::max(delay, 0.0);
    return timers_.emplace_back(
        std::make_shared<Entry>(Entry{due, interval, order_++, std::move(routine)}));
}

ScheduledHandle ManualLoop::handle(Seconds delay, Seconds interval, Task routine) {
    struct Handle : Scheduled {
        std::shared_ptr<Entry> entry;
        explicit Handle(std::shared_ptr<Entry> e) : entry(std::move(e)) {}
        ~Handle() override { cancel(); }
        void cancel() override { entry->cancelled = true; }
    };
    return std::make_unique<Handle>(schedule(delay, interval, std::move(routine)));
}

void ManualLoop::runPosted() {
    while (!posted_.empty()) {
        Task next = std::move(posted_.front());
        posted_.pop_front();
        next();
    }
}

void ManualLoop::advance(Seconds span) {
    const Seconds target = now_ + std::max(span, 0.0);
    runPosted();
    for (;;) {
        std::erase_if(timers_, [](const auto& e) { return e->cancelled; });
        if (timers_.empty()) break;
        const auto next = std::ranges::min(
            timers_, {}, [](const auto& e) { return std::pair(e->due, e->order); });
        if (next->due > target) break;
        now_ = next->due;
        next->cancelled = next->interval == 0;  // a one-shot is done once it runs
        next->due += next->interval;
        next->order = order_++;
        Task routine = next->routine;  // the routine may cancel or replace its own entry
        routine();
        runPosted();
    }
    now_ = target;
}

bool ManualLoop::runBackground() {
    if (background_.empty()) return false;
    Task next = std::move(background_.front());
    background_.pop_front();
    next();
    return true;
}

}  // namespace zg::test
