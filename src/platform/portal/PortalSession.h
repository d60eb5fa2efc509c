#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/ScreenStream.h"
#include "platform/portal/RemoteInput.h"

namespace zg {

// One remote-desktop session with the desktop portal: the keyboard and pointer together with
// a screen cast of every monitor, which the user grants in one dialog. Once granted, input
// calls go to the desktop and the monitors' pictures come through a PipeWire remote.
// Threading: main thread only.
class PortalSession final : public QObject, public RemoteInput {
    Q_OBJECT

public:
    enum class State {
        Idle,         // not asked yet
        Unavailable,  // this desktop has no usable portal; why() says what is missing
        Asking,       // the dialog is up, or about to be
        Granted,
        Refused,  // the user said no in the dialog
        Ended,    // the desktop ended a granted session; why() says how
    };

    explicit PortalSession(QDBusConnection bus);
    // Closes the session, which the desktop then stops showing as shared.
    ~PortalSession() override;
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

    // Asks for access. With `restoreToken` from an earlier grant, a portal that keeps grants
    // may give it again without a dialog. Does nothing while asking or granted.
    void ask(const std::string& restoreToken);

    State state() const { return state_; }
    const std::string& why() const { return why_; }
    // The monitors shown; empty unless granted.
    const std::vector<ScreenStream>& streams() const { return streams_; }

    // Told every change of state().
    std::function<void()> onStateChanged;
    // Granted with a screen cast: the PipeWire remote's descriptor, which the callee owns.
    std::function<void(int pipewireFd)> onPipeWire;
    // A grant the portal will restore on a later start, without asking.
    std::function<void(const std::string& token)> onRestoreToken;

    void motionAbsolute(uint32_t node, double x, double y) override;
    void button(int evdevCode, bool down) override;
    void axisDiscrete(bool horizontal, int notches) override;
    void keycode(int evdevCode, bool down) override;
    void keysym(uint32_t keysym, bool down) override;

private slots:
    void onResponse(uint response, const QVariantMap& results);
    void onClosed();

private:
    using Step = std::function<void(const QVariantMap& results)>;

    void readVersions(const std::string& restoreToken);
    void createSession(const std::string& restoreToken);
    void selectDevices(const std::string& restoreToken);
    void selectSources();
    void start();
    void openPipeWire();
    // Calls a portal method that answers through a Request object, then `next` with its
    // results; any answer but success refuses access.
    void request(const QString& interface, const QString& method, QVariantList arguments,
                 QVariantMap options, Step next);
    void notify(const QString& method, QVariantList arguments, bool keyboard);
    void sendNext();
    void closeSession();
    // What belonged to the session, gone with it.
    void forgetSession();
    void enter(State state, std::string why = {});

    QDBusConnection bus_;
    State state_ = State::Idle;
    std::string why_;
    uint remoteDesktopVersion_ = 0;
    uint cursorMode_ = 0;
    QString session_;      // the session's object path; empty when there is none
    QString pendingPath_;  // the Request whose Response comes next
    Step pendingStep_;
    uint devices_ = 0;  // what the user granted: 1 keyboard, 2 pointer
    std::vector<ScreenStream> streams_;
    unsigned tokens_ = 0;
    std::deque<QDBusMessage> outbox_;  // input calls not sent yet, in order
    bool inFlight_ = false;            // an input call awaits its reply
};

}  // namespace zg
