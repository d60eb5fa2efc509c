#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>
#include <string>

namespace zg::test {

// The agent binary on an X display with a configuration folder of its own (settings as
// given; none at all for a first run); killed with the object, and with the test process if
// that dies first. Its embedded relay listens on a free loopback port. It sees no session
// bus unless `sessionBus` names one.
class AgentProcess {
public:
    AgentProcess(const std::string& display, const std::optional<QJsonObject>& settings,
                 const QStringList& arguments, const QString& sessionBus = {});
    ~AgentProcess();

    // The embedded relay's port once the agent has joined `topic`; 0 if that takes too long.
    quint16 waitJoined(const QString& topic);
    // The agent's exit code once it has ended by itself; nothing if it runs on.
    std::optional<int> waitExit(double seconds);

    // The phone link: the first line the agent printed.
    std::string link() const;
    std::string output() const { return output_.toStdString(); }
    std::string log() const { return log_.toStdString(); }
    // Where the agent keeps its configuration ($XDG_CONFIG_HOME).
    QString configHome() const { return home_.path(); }

private:
    QTemporaryDir home_;
    QProcess process_;
    QByteArray output_, log_;
};

}  // namespace zg::test
