#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>

namespace zg {

// Tells when the machine has woken from sleep, from logind on the system bus. Where there is
// no system bus or no logind it never does, and the relay link's own reconnection serves.
class LogindWake final : public QObject {
    Q_OBJECT
public:
    explicit LogindWake(std::function<void()> onWake);
    // The same on `bus`, which stands in for the system bus.
    LogindWake(const QDBusConnection& bus, std::function<void()> onWake);
    // Whether the system bus could be reached.
    bool listening() const { return listening_; }

private slots:
    void prepareForSleep(bool sleeping);

private:
    std::function<void()> onWake_;
    bool listening_ = false;
};

}  // namespace zg
