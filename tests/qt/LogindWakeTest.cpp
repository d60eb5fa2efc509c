#include "platform/qt/LogindWake.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QProcess>

#include <sys/prctl.h>

#include <csignal>

#include "Spin.h"

namespace zg::test {
namespace {

// A private message bus; one connection plays logind on it.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (spinUntil([this] { return daemon_.canReadLine(); })) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
};

TEST(LogindWake, ReportsTheReturnFromSleepOnly) {
    PrivateBus bus;
    QDBusConnection logind = bus.connect("logind");
    ASSERT_TRUE(logind.isConnected()) << "no dbus-daemon";
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));

    int wakes = 0;
    LogindWake wake(bus.connect("agent"), [&] { ++wakes; });
    ASSERT_TRUE(wake.listening());
    for (bool sleeping : {true, false}) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        signal << sleeping;
        logind.send(signal);
    }
    EXPECT_TRUE(spinUntil([&] { return wakes == 1; }));
    spinUntil([] { return false; }, 0.1);
    EXPECT_EQ(wakes, 1);
}

}  // namespace
}  // namespace zg::test
