#include "AgentProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

#include <sys/prctl.h>

#include <csignal>

#include "Spin.h"

namespace zg::test {

AgentProcess::AgentProcess(const std::string& display, const std::optional<QJsonObject>& settings,
                           const QStringList& arguments, const QString& sessionBus) {
    if (settings) {
        QDir(home_.path()).mkpath("zephyrglint");
        QFile file(home_.filePath("zephyrglint/settings.json"));
        if (file.open(QIODevice::WriteOnly)) file.write(QJsonDocument(*settings).toJson());
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(display));
    env.insert("XDG_CONFIG_HOME", home_.path());
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    if (!sessionBus.isEmpty()) env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBus);
    process_.setProcessEnvironment(env);
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QObject::connect(&process_, &QProcess::readyReadStandardOutput,
                     [this] { output_ += process_.readAllStandardOutput(); });
    QObject::connect(&process_, &QProcess::readyReadStandardError,
                     [this] { log_ += process_.readAllStandardError(); });
    process_.start(ZG_AGENT_BINARY, QStringList{"--listen", "127.0.0.1:0"} + arguments);
}

AgentProcess::~AgentProcess() {
    process_.kill();
    process_.waitForFinished();
}

quint16 AgentProcess::waitJoined(const QString& topic) {
    if (!spinUntil([&] { return log_.contains("joined channel " + topic.toUtf8()); }, 20)) {
        return 0;
    }
    static const QRegularExpression port("embedded relay listening on port (\\d+)");
    return port.match(QString::fromUtf8(log_)).captured(1).toUShort();
}

std::optional<int> AgentProcess::waitExit(double seconds) {
    if (!spinUntil([this] { return process_.state() == QProcess::NotRunning; }, seconds)) {
        return std::nullopt;
    }
    if (process_.exitStatus() != QProcess::NormalExit) return -1;
    return process_.exitCode();
}

std::string AgentProcess::link() const {
    const qsizetype end = output_.indexOf('\n');
    return output_.left(end < 0 ? output_.size() : end).toStdString();
}

}  // namespace zg::test
