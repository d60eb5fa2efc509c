#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QUrl>
#include <QUrlQuery>
#include <optional>

#include "RelayClient.h"
#include "Spin.h"

namespace zg::test {

// A phone on the channel of the agent that printed `link`, which has said hello and been
// answered (openly: the agent runs plain). Holds on to the agent's host id, for commands.
struct Phone {
    RelayClient client;
    QString topic, id, host;
    Phone(const QString& link, QString name) : client(QUrl(link).port()), id(std::move(name)) {
        topic = "realtime:zephyrglint-" + QUrlQuery(QUrl(link)).queryItemValue("k");
        EXPECT_EQ(status(client.join(topic, {{"self", false}})), "ok");
        // Said again until answered: the agent may not have joined its channel yet.
        EXPECT_TRUE(spinUntil([&] {
            client.broadcast(topic, "hello", {{"from", id}});
            return spinUntil([&] { return !client.events("state").isEmpty(); }, 0.5);
        }));
        host = client.events("state").value(0)["from"].toString();
    }
    void command(const char* what, QJsonObject payload = {}) {
        payload.insert("do", what);
        payload.insert("to", host);
        payload.insert("from", id);
        client.broadcast(topic, "cmd", payload);
    }
    bool heardFarewell() {
        return spinUntil([&] { return client.events("state").back()["gone"] == true; });
    }
    // The problem the latest state report gives for the screen; empty when there is none.
    QString screenError() const {
        return client.events("state").isEmpty()
                   ? QString()
                   : client.events("state").back()["screenError"].toString();
    }
};

// The link `agent` prints once it has joined its channel.
inline QString readLink(QProcess& agent) {
    EXPECT_TRUE(spinUntil([&] { return agent.canReadLine(); }, 20));
    return QString::fromUtf8(agent.readLine().trimmed());
}

// The exit code once `process` has ended by itself; nothing if it runs on.
inline std::optional<int> exitCode(QProcess& process, double seconds) {
    if (!spinUntil([&] { return process.state() == QProcess::NotRunning; }, seconds))
        return std::nullopt;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

}  // namespace zg::test
