#include "platform/portal/PortalSession.h"

#include <fcntl.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>

namespace zg {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kMotion = QStringLiteral("NotifyPointerMotionAbsolute");

// What the portal's device and source types and cursor modes mean.
constexpr uint kKeyboard = 1, kPointer = 2;
constexpr uint kMonitor = 1;
constexpr uint kCursorEmbedded = 2, kCursorMetadata = 4;
// The user dismissed the dialog; other failures answer 2.
constexpr uint kCancelled = 1;
// From this version on, a grant can be kept for later starts; "2" keeps it until revoked.
constexpr uint kPersistingVersion = 2;
constexpr uint kPersistUntilRevoked = 2;

// Two integers in a struct, as the portal gives positions and sizes; nothing when absent.
std::optional<std::pair<int, int>> pair(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) return std::nullopt;
    const auto argument = value.value<QDBusArgument>();
    int first = 0, second = 0;
    argument.beginStructure();
    argument >> first >> second;
    argument.endStructure();
    return std::pair{first, second};
}

// The monitors of Start's results: node ids with their position and size on the desktop.
std::vector<ScreenStream> readStreams(const QVariant& value) {
    std::vector<ScreenStream> streams;
    if (!value.canConvert<QDBusArgument>()) return streams;
    const auto argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        uint node = 0;
        QVariantMap properties;
        argument.beginStructure();
        argument >> node >> properties;
        argument.endStructure();
        const auto position = pair(properties.value("position")).value_or(std::pair{0, 0});
        const auto size = pair(properties.value("size"));
        // Without a size, positions on the monitor could not be given: it is left out.
        if (!size || size->first <= 0 || size->second <= 0) continue;
        streams.push_back({node, Rect{double(position.first), double(position.second),
                                      double(size->first), double(size->second)}});
    }
    argument.endArray();
    return streams;
}

std::string dbusError(const QDBusError& error) {
    return error.message().isEmpty() ? error.name().toStdString() : error.message().toStdString();
}

}  // namespace

PortalSession::PortalSession(QDBusConnection bus) : bus_(std::move(bus)) {}

PortalSession::~PortalSession() {
    closeSession();
}

void PortalSession::ask(const std::string& restoreToken) {
    if (state_ == State::Asking || state_ == State::Granted) return;
    closeSession();
    enter(State::Asking);
    if (!bus_.isConnected()) return enter(State::Unavailable, "there is no session bus");
    readVersions(restoreToken);
}

void PortalSession::readVersions(const std::string& restoreToken) {
    // Both versions at once; the session starts when both have answered.
    const auto get = [this](const QString& interface, const QString& property) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            kService, kPath, "org.freedesktop.DBus.Properties", "Get");
        message << interface << property;
        return new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    };
    auto* version = get(kRemoteDesktop, "version");
    auto* modes = get(kScreenCast, "AvailableCursorModes");
    auto answered = std::make_shared<int>(0);
    const auto read = [this, version, modes, answered, restoreToken] {
        if (++*answered < 2) return;
        const QDBusPendingReply<QDBusVariant> versionReply = *version;
        const QDBusPendingReply<QDBusVariant> modesReply = *modes;
        version->deleteLater();
        modes->deleteLater();
        if (state_ != State::Asking) return;
        if (versionReply.isError()) {
            return enter(State::Unavailable, "this desktop offers no remote-desktop portal (" +
                                                 dbusError(versionReply.error()) + ")");
        }
        if (modesReply.isError()) {
            return enter(State::Unavailable, "this desktop offers no screen-cast portal (" +
                                                 dbusError(modesReply.error()) + ")");
        }
        remoteDesktopVersion_ = versionReply.value().variant().toUInt();
        // Metadata keeps the cursor out of the pictures, as X screenshots leave it out.
        const uint available = modesReply.value().variant().toUInt();
        cursorMode_ = available & kCursorMetadata ? kCursorMetadata : kCursorEmbedded;
        createSession(restoreToken);
    };
    connect(version, &QDBusPendingCallWatcher::finished, this, read);
    connect(modes, &QDBusPendingCallWatcher::finished, this, read);
}

void PortalSession::createSession(const std::string& restoreToken) {
    const QString token = QStringLiteral("zephyrglint%1").arg(++tokens_);
    request(kRemoteDesktop, "CreateSession", {}, {{"session_handle_token", token}},
            [this, restoreToken](const QVariantMap& results) {
                session_ = results.value("session_handle").toString();
                if (session_.isEmpty()) {
                    return enter(State::Unavailable, "the portal made no session");
                }
                bus_.connect(kService, session_, kSession, "Closed", this, SLOT(onClosed()));
                selectDevices(restoreToken);
            });
}

void PortalSession::selectDevices(const std::string& restoreToken) {
    QVariantMap options{{"types", kKeyboard | kPointer}};
    if (remoteDesktopVersion_ >= kPersistingVersion) {
        options.insert("persist_mode", kPersistUntilRevoked);
        if (!restoreToken.empty()) {
            options.insert("restore_token", QString::fromStdString(restoreToken));
        }
    }
    request(kRemoteDesktop, "SelectDevices", {QVariant::fromValue(QDBusObjectPath(session_))},
            options, [this](const QVariantMap&) { selectSources(); });
}

void PortalSession::selectSources() {
    request(kScreenCast, "SelectSources", {QVariant::fromValue(QDBusObjectPath(session_))},
            {{"types", kMonitor}, {"multiple", true}, {"cursor_mode", cursorMode_}},
            [this](const QVariantMap&) { start(); });
}

void PortalSession::start() {
    request(kRemoteDesktop, "Start", {QVariant::fromValue(QDBusObjectPath(session_)), QString()},
            {}, [this](const QVariantMap& results) {
                devices_ = results.value("devices").toUInt();
                streams_ = readStreams(results.value("streams"));
                if (const QString token = results.value("restore_token").toString();
                    !token.isEmpty() && onRestoreToken) {
                    onRestoreToken(token.toStdString());
                }
                openPipeWire();
            });
}

void PortalSession::openPipeWire() {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPath, kScreenCast, "OpenPipeWireRemote");
    message << QVariant::fromValue(QDBusObjectPath(session_)) << QVariantMap();
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
        call->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
        if (state_ != State::Asking) return;
        enter(State::Granted);
        // Input works without pictures; the screen then says it cannot be captured.
        if (reply.isError() || !reply.value().isValid() || !onPipeWire) return;
        const int fd = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
        if (fd >= 0) onPipeWire(fd);
    });
}

void PortalSession::request(const QString& interface, const QString& method, QVariantList arguments,
                            QVariantMap options, Step next) {
    // The answer comes as a signal on a Request object whose path the token decides. Listening
    // there before calling means no answer can come before anyone hears it.
    const QString token = QStringLiteral("zephyrglint%1").arg(++tokens_);
    QString sender = bus_.baseService().mid(1);
    sender.replace('.', '_');
    pendingPath_ =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    pendingStep_ = std::move(next);
    bus_.connect(kService, pendingPath_, kRequest, "Response", this,
                 SLOT(onResponse(uint, QVariantMap)));
    options.insert("handle_token", token);
    arguments.append(options);
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(arguments);
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call, method] {
        call->deleteLater();
        if (!call->isError() || state_ != State::Asking) return;
        // No answer will come on the Request: stop listening for it.
        bus_.disconnect(kService, pendingPath_, kRequest, "Response", this,
                        SLOT(onResponse(uint, QVariantMap)));
        pendingStep_ = nullptr;
        enter(State::Unavailable,
              "the portal refused " + method.toStdString() + " (" + dbusError(call->error()) + ")");
    });
}

void PortalSession::onResponse(uint response, const QVariantMap& results) {
    bus_.disconnect(kService, pendingPath_, kRequest, "Response", this,
                    SLOT(onResponse(uint, QVariantMap)));
    Step step = std::exchange(pendingStep_, nullptr);
    if (state_ != State::Asking || !step) return;
    if (response != 0) {
        closeSession();
        return enter(State::Refused, response == kCancelled ? "" : "the desktop gave no access");
    }
    step(results);
}

void PortalSession::onClosed() {
    // The desktop ended the session: the user stopped sharing, or the grant was revoked.
    const bool granted = state_ == State::Granted;
    forgetSession();
    enter(granted ? State::Ended : State::Refused,
          granted ? "the desktop stopped sharing" : "the desktop gave no access");
}

void PortalSession::closeSession() {
    if (session_.isEmpty()) return;
    bus_.disconnect(kService, session_, kSession, "Closed", this, SLOT(onClosed()));
    bus_.asyncCall(QDBusMessage::createMethodCall(kService, session_, kSession, "Close"));
    forgetSession();
}

void PortalSession::forgetSession() {
    session_.clear();
    outbox_.clear();
    streams_.clear();
    devices_ = 0;
}

void PortalSession::enter(State state, std::string why) {
    state_ = state;
    why_ = std::move(why);
    if (onStateChanged) onStateChanged();
}

void PortalSession::notify(const QString& method, QVariantList arguments, bool keyboard) {
    if (state_ != State::Granted || !(devices_ & (keyboard ? kKeyboard : kPointer))) return;
    arguments.prepend(QVariantMap());
    arguments.prepend(QVariant::fromValue(QDBusObjectPath(session_)));
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kRemoteDesktop, method);
    message.setArguments(arguments);
    // A move still waiting to go is overtaken by this one: only where the pointer ends counts.
    if (method == kMotion && !outbox_.empty() && outbox_.back().member() == kMotion) {
        outbox_.back() = message;
    } else {
        outbox_.push_back(message);
    }
    if (!inFlight_) sendNext();
}

void PortalSession::sendNext() {
    // The portal handles each call on a thread of its own, so calls sent together can reach
    // the desktop in any order (a key's release before its press): each waits for the last.
    if (outbox_.empty()) return;
    inFlight_ = true;
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(outbox_.front()), this);
    outbox_.pop_front();
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
        call->deleteLater();
        inFlight_ = false;
        sendNext();
    });
}

void PortalSession::motionAbsolute(uint32_t node, double x, double y) {
    notify(kMotion, {uint(node), x, y}, false);
}

void PortalSession::button(int evdevCode, bool down) {
    notify("NotifyPointerButton", {evdevCode, uint(down)}, false);
}

void PortalSession::axisDiscrete(bool horizontal, int notches) {
    notify("NotifyPointerAxisDiscrete", {uint(horizontal), notches}, false);
}

void PortalSession::keycode(int evdevCode, bool down) {
    notify("NotifyKeyboardKeycode", {evdevCode, uint(down)}, true);
}

void PortalSession::keysym(uint32_t keysym, bool down) {
    notify("NotifyKeyboardKeysym", {int(keysym), uint(down)}, true);
}

}  // namespace zg
