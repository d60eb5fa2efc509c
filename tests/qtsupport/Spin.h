#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace zg::test {

// Runs the event loop until `done` holds or `seconds` pass; true when `done` holds.
template <typename Pred>
bool spinUntil(Pred done, double seconds = 5) {
    const QDeadlineTimer deadline(static_cast<qint64>(seconds * 1000));
    QTimer wake;  // so that the wait returns to look at the deadline
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace zg::test
