#include "ManualLoop.h"

#include <algorithm>

namespace zg::test {

class ManualLoop::Handle : public Scheduled {
public:
    explicit Handle(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
    ~Handle() override { cancel(); }
    void cancel() override { entry_->cancelled = true; }

private:
    std::shared_ptr<Entry> entry_;
};

std::shared_ptr<ManualLoop::Entry> ManualLoop::schedule(Seconds delay, Seconds interval,
                                                        Task routine) {
    auto entry = std::make_shared<Entry>();
    entry->due = now_ + std::max(delay, 0.0);
    entry->interval = interval;
    entry->order = order_++;
    entry->routine = std::move(routine);
    timers_.push_back(entry);
    return entry;
}

ScheduledHandle ManualLoop::every(Seconds interval, Task routine) {
    return std::make_unique<Handle>(schedule(interval, interval, std::move(routine)));
}

ScheduledHandle ManualLoop::later(Seconds delay, Task routine) {
    return std::make_unique<Handle>(schedule(delay, 0, std::move(routine)));
}

void ManualLoop::after(Seconds delay, Task routine) {
    schedule(delay, 0, std::move(routine));
}

void ManualLoop::post(Task routine) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(routine));
}

void ManualLoop::background(Task routine) {
    background_.push_back(std::move(routine));
}

void ManualLoop::runPosted() {
    for (;;) {
        Task next;
        {
            std::lock_guard lock(postedMutex_);
            if (posted_.empty()) return;
            next = std::move(posted_.front());
            posted_.pop_front();
        }
        next();
    }
}

std::shared_ptr<ManualLoop::Entry> ManualLoop::nextDue(Seconds limit) {
    std::erase_if(timers_, [](const auto& e) { return e->cancelled; });
    auto earliest =
        std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
            return a->due != b->due ? a->due < b->due : a->order < b->order;
        });
    if (earliest == timers_.end() || (*earliest)->due > limit) return nullptr;
    return *earliest;
}

void ManualLoop::advance(Seconds span) {
    const Seconds target = now_ + std::max(span, 0.0);
    runPosted();
    while (auto entry = nextDue(target)) {
        now_ = entry->due;
        if (entry->interval > 0) {
            entry->due += entry->interval;
            entry->order = order_++;
        } else {
            entry->cancelled = true;  // one-shot: done once it runs
        }
        Task routine = entry->routine;  // the routine may cancel or replace its own entry
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

size_t ManualLoop::pendingTimers() const {
    return std::count_if(timers_.begin(), timers_.end(),
                         [](const auto& e) { return !e->cancelled; });
}

}  // namespace zg::test
