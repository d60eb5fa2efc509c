#include "DesktopStack.h"

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QUuid>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "Spin.h"

namespace zg::test {
namespace {

const QString scripts = ZG_WAYLAND_SCRIPTS;
const QString python = "/usr/bin/python3";  // the one with gi, whatever PATH holds
const QString waylandDisplay = "zg-test";
const QString backendName = "org.freedesktop.impl.portal.desktop.zgtest";
const QString portalName = "org.freedesktop.portal.Desktop";

}  // namespace

DesktopStack::DesktopStack(Portal portal) : portal_(portal) {}

DesktopStack::~DesktopStack() {
    stop();
}

QDBusConnection DesktopStack::bus() const {
    return QDBusConnection(busName_);
}

bool DesktopStack::fail(const QString& message) {
    error_ = message;
    return false;
}

QProcess& DesktopStack::launch(const QString& name, const QString& program,
                               const QStringList& arguments) {
    const size_t index = parts_.size();
    parts_.push_back({name, std::make_unique<QProcess>(), {}});
    QProcess& process = *parts_.back().process;
    // A group of its own, so that stopping it stops what it started (the bus's activated
    // services); and dying with the test.
    process.setChildProcessModifier([] {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    process.setProcessEnvironment(env_);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&process, &QProcess::readyRead,
                     [this, index] { parts_[index].output += parts_[index].process->readAll(); });
    process.start(program, arguments);
    return process;
}

// Runs the event loop until `ready` holds; fails naming `what` when it does not in time, or
// when a part exits meanwhile.
bool DesktopStack::waitFor(const QString& what, const std::function<bool()>& ready,
                           double seconds) {
    const Part* ended = nullptr;
    const bool done = spinUntil(
        [&] {
            for (const Part& part : parts_)
                if (part.process->state() == QProcess::NotRunning) ended = &part;
            return ended || ready();
        },
        seconds);
    if (ended) {
        const Part& part = *ended;
        return fail(QString("%1 exited (%2) while waiting for %3: %4")
                        .arg(part.name, part.process->errorString(), what,
                             QString::fromLocal8Bit(part.output + part.process->readAll())));
    }
    return done || fail(QString("timed out waiting for %1").arg(what));
}

bool DesktopStack::hasName(const QString& name) const {
    return bus().isConnected() && bus().interface()->isServiceRegistered(name).value();
}

bool DesktopStack::start() {
    QElapsedTimer clock;
    clock.start();
    if (!runtime_.isValid()) return fail("no runtime folder: " + runtime_.errorString());
    const QDir runtime(runtime_.path());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // All of it before the bus starts: the bus hands its own environment to the services it
    // activates (a GTK client activates the portal as it starts).
    env_ = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_SOCKET", "DBUS_SESSION_BUS_PID"})
        env_.remove(name);
    env_.insert("XDG_RUNTIME_DIR", runtime.path());
    env_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime.filePath("bus"));
    env_.insert("WAYLAND_DISPLAY", waylandDisplay);
    env_.insert("XDG_SESSION_TYPE", "wayland");
    env_.insert("XDG_CURRENT_DESKTOP", "zgtest");  // picks the test backend's .portal
    env_.insert("XDG_DESKTOP_PORTAL_DIR", scripts + "/portals");
    env_.insert("GDK_BACKEND", "wayland");
    env_.insert("GTK_A11Y", "none");  // GTK 4 would activate an accessibility bus
    env_.insert("GSETTINGS_BACKEND", "memory");
    // Nothing kept between runs, nor read from this machine's user (the permission store keeps
    // the portal's grants under the data folder).
    for (const auto& [variable, folder] : {std::pair{"XDG_CONFIG_HOME", "config"},
                                           {"XDG_DATA_HOME", "data"},
                                           {"XDG_CACHE_HOME", "cache"},
                                           {"XDG_STATE_HOME", "state"}}) {
        runtime.mkdir(folder);
        env_.insert(variable, runtime.filePath(folder));
    }
    if (portal_ == Portal::Fake) env_.insert("ZG_FAKE_PORTAL_LOG", runtime.filePath("fake.jsonl"));

    launch("dbus-daemon", "dbus-daemon",
           {"--session", "--nofork", "--nopidfile", "--address",
            env_.value("DBUS_SESSION_BUS_ADDRESS")});
    busName_ = "zg-desktop-" + QUuid::createUuid().toString(QUuid::Id128);
    if (!waitFor("the session bus", [&] {
            if (!QFile::exists(runtime.filePath("bus"))) return false;
            const QString address = env_.value("DBUS_SESSION_BUS_ADDRESS");
            if (QDBusConnection::connectToBus(address, busName_).isConnected()) return true;
            QDBusConnection::disconnectFromBus(busName_);  // or the failed one is kept
            return false;
        }))
        return false;

    launch("pipewire", "pipewire", {});
    // WirePlumber started before PipeWire listens exits at once.
    if (!waitFor("PipeWire's socket",
                 [&] { return QFile::exists(runtime.filePath("pipewire-0")); }))
        return false;
    launch("wireplumber", "wireplumber", {});
    launch("mutter", "mutter",
           {"--headless", "--wayland", "--no-x11", "--virtual-monitor", "1280x800",
            "--wayland-display", waylandDisplay});
    if (!waitFor("mutter's RemoteDesktop and ScreenCast on the bus", [&] {
            return hasName("org.gnome.Mutter.RemoteDesktop") &&
                   hasName("org.gnome.Mutter.ScreenCast") &&
                   QFile::exists(runtime.filePath(waylandDisplay));
        }))
        return false;
    launch("seat devices", python, {scripts + "/seat_devices.py"});
    const size_t seat = parts_.size() - 1;
    if (!waitFor("a pointer and a keyboard on the seat",
                 [&] { return parts_[seat].output.contains("ready\n"); }))
        return false;
    // Until WirePlumber is a client of PipeWire, nothing grants the portal's clients a stream.
    if (!waitFor("WirePlumber on PipeWire", [&] {
            QProcess dump;
            dump.setProcessEnvironment(env_);
            dump.start("pw-dump", {});
            dump.waitForFinished(2000);
            return dump.readAllStandardOutput().contains("\"application.name\": \"WirePlumber\"");
        }))
        return false;

    // Owned by the process started here, not by one the bus activated.
    const auto owns = [this](const QString& name, QProcess& process) {
        return hasName(name) && bus().interface()->servicePid(name).value() == process.processId();
    };
    if (portal_ == Portal::Real) {
        QProcess& backend = launch("test backend", python, {scripts + "/portal_backend.py"});
        if (!waitFor("the test backend on the bus", [&] { return owns(backendName, backend); }))
            return false;
        QProcess& frontend = launch("xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal",
                                    {"--replace", "--verbose"});
        if (!waitFor("the portal on the bus", [&] { return owns(portalName, frontend); }))
            return false;
    } else if (portal_ == Portal::Fake) {
        QProcess& fake = launch("fake portal", python, {scripts + "/fake_portal.py"});
        if (!waitFor("the fake portal on the bus", [&] { return owns(portalName, fake); }))
            return false;
    }
    startSeconds_ = double(clock.elapsed()) / 1000;
    return true;
}

void DesktopStack::stop() {
    if (!busName_.isEmpty()) QDBusConnection::disconnectFromBus(std::exchange(busName_, {}));
    // The document portal, which the frontend activates, FUSE-mounts a folder in the runtime
    // folder: until unmounted, the runtime folder cannot be removed.
    const QString doc = runtime_.path() + "/doc";
    QFile mounts("/proc/self/mountinfo");
    if (mounts.open(QIODevice::ReadOnly) && mounts.readAll().contains(doc.toLocal8Bit() + " "))
        QProcess::execute("fusermount3", {"-uz", doc});
    // In reverse order, each part before what it uses: mutter lingers when PipeWire or the bus
    // goes first.
    for (auto part = parts_.rbegin(); part != parts_.rend(); ++part) {
        const pid_t group = pid_t(part->process->processId());
        if (group > 0) {
            ::kill(-group, SIGTERM);
            if (!part->process->waitForFinished(3000)) part->process->kill();
            // What it left in its group (the bus's activated services) goes too.
            ::kill(-group, SIGKILL);
        }
        part->process->waitForFinished(1000);
        part->output += part->process->readAll();
    }
    if (QDir(runtime_.path()).exists() && !runtime_.remove())
        std::cerr << "DesktopStack: could not remove " << runtime_.path().toStdString() << "\n";
}

QDBusMessage DesktopStack::callBackend(const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(backendName, "/org/zephyrglint/TestBackend",
                                                       "org.zephyrglint.TestBackend", method);
    call.setArguments(arguments);
    return bus().call(call, QDBus::Block, 10000);
}

bool DesktopStack::setAnswer(Answer answer) {
    const uint response = answer == Answer::Grant ? 0 : 1;
    return callBackend("SetAnswer", {response}).type() == QDBusMessage::ReplyMessage;
}

int DesktopStack::revoke() {
    const QDBusMessage reply = callBackend("Revoke", {});
    return reply.type() == QDBusMessage::ReplyMessage ? int(reply.arguments().value(0).toUInt())
                                                      : -1;
}

void DesktopStack::killCompositor() {
    for (Part& part : parts_) {
        if (part.name != "mutter") continue;
        part.process->kill();
        part.process->waitForFinished(3000);
    }
}

QList<QJsonObject> DesktopStack::fakePortalCalls() const {
    QList<QJsonObject> calls;
    QFile log(env_.value("ZG_FAKE_PORTAL_LOG"));
    if (!log.open(QIODevice::ReadOnly)) return calls;
    for (const QByteArray& line : log.readAll().split('\n'))
        if (!line.isEmpty()) calls.append(QJsonDocument::fromJson(line).object());
    return calls;
}

QString DesktopStack::logs() {
    QString all;
    for (Part& part : parts_) {
        part.output += part.process->readAll();
        all += QString("--- %1:\n%2\n").arg(part.name, QString::fromLocal8Bit(part.output));
    }
    return all;
}

}  // namespace zg::test
