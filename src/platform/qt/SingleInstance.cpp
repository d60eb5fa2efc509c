#include "platform/qt/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace zg {

namespace {

const QString kInterface = "org.zephyrglint.Agent";
const QString kPath = "/";

// One name per X display, so that agents on other displays of the same session (a test's
// private Xvfb, say) are not mistaken for this one.
QString serviceName() {
    QString display = qEnvironmentVariable("DISPLAY");
    for (QChar& c : display) {
        if (!c.isLetterOrNumber()) c = '_';
    }
    return kInterface + ".d" + display;
}

}  // namespace

bool SingleInstance::handedOver() {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(serviceName())) return false;
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(serviceName(), kPath, kInterface, "Show"));
    return reply.type() == QDBusMessage::ReplyMessage;
}

SingleInstance::SingleInstance(std::function<void()> show) : show_(std::move(show)) {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
    bus.registerService(serviceName());
}

void SingleInstance::Show() {
    if (show_) show_();
}

}  // namespace zg
