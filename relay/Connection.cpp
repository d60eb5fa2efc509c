#include "relay/Connection.h"

#include "relay/Log.h"

namespace zg::relay {

using namespace std::chrono_literals;

Connection::Connection(QString name, const RelayLimits& limits)
    : limits_(limits),
      name_(std::move(name)),
      rate_(limits.messagesPerSecond, limits.messageBurst, Clock::now()),
      logBudget_(5, 20, Clock::now()),
      lastMessage_(Clock::now()) {}

Connection::Admission Connection::admit() {
    const auto now = Clock::now();
    lastMessage_ = now;
    if (rate_.take(now)) return Admission::accept;
    if (now - dropWindowStart_ >= 1s) {
        dropWindowStart_ = now;
        dropsInWindow_ = 0;
        logRefusal(QString("over %1 messages/s, dropping frames").arg(limits_.messagesPerSecond));
    }
    return ++dropsInWindow_ > limits_.messagesPerSecond ? Admission::abuse : Admission::drop;
}

void Connection::logRefusal(const QString& what) {
    if (logBudget_.take(Clock::now())) log(name_ + ": " + what);
}

}  // namespace zg::relay
