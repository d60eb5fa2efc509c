#include "platform/qt/LogindWake.h"

#include <QDBusConnection>
#include <QFileInfo>

namespace zg {

namespace {

// Asking Qt for a bus that is not there fills the log with its complaints.
bool systemBusMayExist() {
    return !qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS") ||
           QFileInfo::exists("/run/dbus/system_bus_socket") ||
           QFileInfo::exists("/var/run/dbus/system_bus_socket");
}

}  // namespace

LogindWake::LogindWake(std::function<void()> onWake)
    : LogindWake(systemBusMayExist() ? QDBusConnection::systemBus() : QDBusConnection(QString()),
                 std::move(onWake)) {}

LogindWake::LogindWake(const QDBusConnection& bus, std::function<void()> onWake)
    : onWake_(std::move(onWake)) {
    QDBusConnection connection = bus;
    listening_ = connection.isConnected() &&
                 connection.connect("org.freedesktop.login1", "/org/freedesktop/login1",
                                    "org.freedesktop.login1.Manager", "PrepareForSleep", this,
                                    SLOT(prepareForSleep(bool)));
}

void LogindWake::prepareForSleep(bool sleeping) {
    // logind says false once the machine is back.
    if (!sleeping && onWake_) onWake_();
}

}  // namespace zg
