#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

namespace zg::test {

// A headless GNOME desktop on a private session bus, for process tests: PipeWire and
// WirePlumber, mutter on a 1280x800 virtual monitor, and optionally a desktop portal in front of
// it. Needs no systemd, logind, seat or GPU; runs as root. Everything it starts is stopped, and
// its runtime folder removed, when it stops or is destroyed.
class DesktopStack {
public:
    enum class Portal {
        None,  // no portal started: one a client asks for is what the bus activates
        Real,  // xdg-desktop-portal with the test backend (portal_backend.py) behind it
        Fake,  // fake_portal.py in the portal's place: scripted answers, every call logged
    };
    // What the test backend answers the user was asked.
    enum class Answer { Grant, Refuse };

    explicit DesktopStack(Portal portal = Portal::Real);
    ~DesktopStack();
    DesktopStack(const DesktopStack&) = delete;
    DesktopStack& operator=(const DesktopStack&) = delete;

    // Starts it all and waits until each part is ready; false, with error() naming the part
    // that did not start, otherwise.
    bool start();
    void stop();
    QString error() const { return error_; }
    // Seconds start() took.
    double startSeconds() const { return startSeconds_; }

    // What a client of this desktop (the agent, the GTK probe) must run with.
    QProcessEnvironment environment() const { return env_; }
    // This process's own connection to the private bus.
    QDBusConnection bus() const;

    // The response the test backend gives to Starts from now on (Refuse: 1, as a user's Cancel).
    bool setAnswer(Answer answer);
    // The test backend stops the sessions it holds, as when the user ends the sharing; the
    // frontend then closes the client's sessions. How many it stopped; -1 when it could not.
    int revoke();

    // Ends the compositor as a crash would, leaving the rest running.
    void killCompositor();

    // Fake portal: every call it had, in order, one object each ({"method", "session", "options"}
    // and, for Start, "results").
    QList<QJsonObject> fakePortalCalls() const;

    // What each part printed, for a failing test's report.
    QString logs();

private:
    struct Part {
        QString name;
        std::unique_ptr<QProcess> process;
        QByteArray output;
    };
    QProcess& launch(const QString& name, const QString& program, const QStringList& arguments);
    bool fail(const QString& message);
    bool waitFor(const QString& what, const std::function<bool()>& ready, double seconds = 20);
    bool hasName(const QString& name) const;
    QDBusMessage callBackend(const QString& method, const QVariantList& arguments);

    Portal portal_;
    QTemporaryDir runtime_;
    QProcessEnvironment env_;
    QString busName_;  // of this process's connection
    std::vector<Part> parts_;
    QString error_;
    double startSeconds_ = 0;
};

}  // namespace zg::test
