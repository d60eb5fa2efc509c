#include "QtLoop.h"

#include <QMetaObject>
#include <QTimer>
#include <cmath>

namespace zg {
namespace {

// Qt's coarse timers may fire up to 5% early; every delay here is a lower bound.
int toMilliseconds(Seconds s) {
    return static_cast<int>(std::ceil(std::max(s, 0.0) * 1000.0));
}

// Owns one QTimer; stopping it guarantees no further timeout, even one already due.
class TimerHandle : public Scheduled {
public:
    TimerHandle(Seconds interval, bool repeat, Task routine) : timer_(new QTimer) {
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setSingleShot(!repeat);
        timer_->setInterval(toMilliseconds(interval));
        QObject::connect(timer_, &QTimer::timeout, [routine = std::move(routine)] { routine(); });
        timer_->start();
    }
    ~TimerHandle() override { cancel(); }

    void cancel() override {
        if (!timer_) return;
        timer_->stop();
        // The handle may be dropped from inside the timer's own routine.
        timer_->deleteLater();
        timer_ = nullptr;
    }

private:
    QTimer* timer_;
};

}  // namespace

QtLoop::QtLoop() {
    clock_.start();
    background_.setMaxThreadCount(1);
    background_.setExpiryTimeout(-1);
    background_.setObjectName("background");
}
QtLoop::~QtLoop() = default;

Seconds QtLoop::now() const {
    return static_cast<Seconds>(clock_.nsecsElapsed()) / 1e9;
}

ScheduledHandle QtLoop::every(Seconds interval, Task routine) {
    return std::make_unique<TimerHandle>(interval, true, std::move(routine));
}

ScheduledHandle QtLoop::later(Seconds delay, Task routine) {
    return std::make_unique<TimerHandle>(delay, false, std::move(routine));
}

void QtLoop::after(Seconds delay, Task routine) {
    QTimer::singleShot(toMilliseconds(delay), Qt::PreciseTimer, &context_, std::move(routine));
}

void QtLoop::post(Task routine) {
    QMetaObject::invokeMethod(&context_, std::move(routine), Qt::QueuedConnection);
}

void QtLoop::background(Task routine) {
    background_.start(std::move(routine));
}

}  // namespace zg
