#pragma once

#include <QProcess>

#include <sys/prctl.h>

#include <csignal>

#include "Spin.h"

namespace zg::test {

// Starts `program` so that it dies with the test process.
inline void launch(QProcess& process, const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(program, arguments);
}

// A private message bus in `bus`; its address, empty when it did not start.
inline QString startBus(QProcess& bus) {
    launch(bus, "dbus-daemon", {"--session", "--nofork", "--print-address"});
    return spinUntil([&] { return bus.canReadLine(); }) ? QString(bus.readLine()).trimmed()
                                                        : QString();
}

}  // namespace zg::test
