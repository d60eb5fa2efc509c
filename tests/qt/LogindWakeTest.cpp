#include "platform/qt/LogindWake.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QProcess>

#include <sys/prctl.h>

#include <csignal>

#include "Spin.h"

namespace zg::test {
namespace {

TEST(LogindWake, ReportsTheReturnFromSleepOnly) {
    // A private message bus, on which one connection plays logind.
    QProcess bus;
    bus.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(spinUntil([&] { return bus.canReadLine(); })) << "no dbus-daemon";
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    QDBusConnection logind = QDBusConnection::connectToBus(address, "logind");
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));

    int wakes = 0;
    LogindWake wake(QDBusConnection::connectToBus(address, "agent"), [&] { ++wakes; });
    ASSERT_TRUE(wake.listening());
    for (bool sleeping : {true, false}) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        logind.send(signal << sleeping);
    }
    EXPECT_TRUE(spinUntil([&] { return wakes == 1; }));
    spinUntil([] { return false; }, 0.1);
    EXPECT_EQ(wakes, 1);
    bus.kill();
    bus.waitForFinished();
}

}  // namespace
}  // namespace zg::test
