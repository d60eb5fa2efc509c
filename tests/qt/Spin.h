#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace zg::test {

// Runs the event loop until `done` holds or `seconds` pass; true when `done` holds.
template <typename Pred>
bool spinUntil(Pred done, double seconds = 5) {
    QDeadlineTimer deadline(static_cast<qint64>(seconds * 1000));
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return done();
}

}  // namespace zg::test
