#pragma once

#include <functional>
#include <memory>

namespace zg {

// Seconds on a monotonic clock whose origin is the loop's own.
using Seconds = double;
using Task = std::function<void()>;

// A scheduled piece of work: a repeating timer or a cancellable delayed call.
// Destroying the handle cancels it, so an owner that holds its handles cannot be called
// back after it is gone.
class Scheduled {
public:
    virtual ~Scheduled() = default;
    // After cancel() returns the routine never runs again; cancelling twice, or after a
    // one-shot has run, does nothing.
    virtual void cancel() = 0;
};
using ScheduledHandle = std::unique_ptr<Scheduled>;

// The main-thread event loop every component schedules through.
// Threading: every member is called on the main thread except post(), which any thread may
// call. Every routine runs on the main thread, except the one given to background().
class Loop {
public:
    virtual ~Loop() = default;

    virtual Seconds now() const = 0;

    // Runs `routine` once per `interval`, the first time one interval from now.
    virtual ScheduledHandle every(Seconds interval, Task routine) = 0;

    // Runs `routine` once, no sooner than `delay` from now, unless cancelled first.
    virtual ScheduledHandle later(Seconds delay, Task routine) = 0;

    // Runs `routine` once, no sooner than `delay` from now. Cannot be cancelled: the routine
    // must check for itself whether its owner still wants it (see Lifetime).
    virtual void after(Seconds delay, Task routine) = 0;

    // Runs `routine` on the main thread after the current work, in the order posted.
    // Thread-safe.
    virtual void post(Task routine) = 0;

    // Runs `routine` off the main thread. Callers keep at most one running at a time and
    // hand results back with post().
    virtual void background(Task routine) = 0;
};

// A token an owner holds so that work it scheduled can tell whether the owner still exists.
// Checked only on the main thread, where owners are destroyed.
class Lifetime {
public:
    Lifetime() : token_(std::make_shared<char>()) {}
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    // Wraps `fn` so that it does nothing once this Lifetime is destroyed.
    template <typename Fn>
    auto guard(Fn fn) const {
        return [alive = std::weak_ptr<char>(token_), fn = std::move(fn)](auto&&... args) {
            if (!alive.expired()) fn(std::forward<decltype(args)>(args)...);
        };
    }

private:
    std::shared_ptr<char> token_;
};

}  // namespace zg
