#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QThreadPool>

#include "platform/Loop.h"

namespace zg {

// The Loop on Qt's event loop of the thread that creates it (the main thread).
class QtLoop : public Loop {
public:
    QtLoop();
    ~QtLoop() override;

    Seconds now() const override;
    ScheduledHandle every(Seconds interval, Task routine) override;
    ScheduledHandle later(Seconds delay, Task routine) override;
    void after(Seconds delay, Task routine) override;
    void post(Task routine) override;
    void background(Task routine) override;

private:
    QElapsedTimer clock_;
    QObject context_;  // lives on the main thread; queued work runs in its thread
    // One thread that stays: background work runs on warm caches, never moved between threads.
    QThreadPool background_;
};

}  // namespace zg
