#include <QJsonArray>

#include "RelayClient.h"

namespace zg::test {
namespace {

const QString topic = "realtime:zephyrglint-ABCDEFGHJKMNPQRS";
const QJsonObject envelope{{"type", "broadcast"},
                           {"event", "cmd"},
                           {"payload", QJsonObject{{"do", "move"}, {"dx", 3.5}, {"dy", -2}}}};

class ChannelTest : public RelayTest {
protected:
    void SetUp() override { start(); }
};

TEST_F(ChannelTest, JoinAndHeartbeatRepliesHaveTheWireShape) {
    auto client = connect();
    // The official client's join: presence.enabled, postgres_changes and an access token.
    const QJsonObject config{{"broadcast", QJsonObject{{"self", false}, {"ack", false}}},
                             {"presence", QJsonObject{{"key", ""}, {"enabled", true}}},
                             {"postgres_changes", QJsonArray()},
                             {"private", false}};
    EXPECT_EQ(client->request(topic, "phx_join", {{"config", config}, {"access_token", "k"}}),
              reply(topic, "1", "ok", {{"postgres_changes", QJsonArray()}}));
    EXPECT_EQ(client->request("phoenix", "heartbeat", {}), reply("phoenix", "2", "ok", {}));
}

TEST_F(ChannelTest, BroadcastReachesEveryOtherMemberOfItsChannelOnly) {
    auto sender = connect(), second = connect(), third = connect(), elsewhere = connect();
    for (auto* client : {sender.get(), second.get(), third.get()}) client->join(topic);
    elsewhere->join(topic + "X");

    sender->send({{"topic", topic},
                  {"event", "broadcast"},
                  {"payload", envelope},
                  {"ref", "9"},
                  {"join_ref", "1"}});
    const QJsonObject expected{
        {"topic", topic}, {"event", "broadcast"}, {"payload", envelope}, {"ref", QJsonValue()}};
    for (auto* client : {second.get(), third.get()}) {
        EXPECT_EQ(client->waitFor([](auto& f) { return f["event"] == "broadcast"; }), expected);
    }
    for (auto* client : {sender.get(), elsewhere.get()}) {
        client->sync();
        EXPECT_EQ(client->count("broadcast"), 0);
    }
}

TEST_F(ChannelTest, SelfAndAckAreHonouredAndLeaveEndsDelivery) {
    auto sender = connect(), other = connect();
    sender->join(topic, {{"self", true}, {"ack", true}});
    other->join(topic);
    EXPECT_EQ(sender->request(topic, "broadcast", envelope), reply(topic, "2", "ok", {}));
    sender->waitFor([](auto& f) { return f["event"] == "broadcast"; });
    EXPECT_EQ(sender->count("broadcast"), 1);
    EXPECT_EQ(other->waitFor([](auto& f) { return f["event"] == "broadcast"; })["payload"],
              envelope);

    EXPECT_EQ(sender->request(topic, "phx_leave", {}), reply(topic, "3", "ok", {}));
    EXPECT_EQ(sender->waitFor([](auto& f) { return f["event"] == "phx_close"; })["topic"], topic);
    other->send({{"topic", topic}, {"event", "broadcast"}, {"payload", envelope}, {"ref", "5"}});
    other->sync();
    sender->sync();
    EXPECT_EQ(sender->count("broadcast"), 1);
}

TEST_F(ChannelTest, RefusalsAreErrorReplies) {
    auto client = connect();
    const auto refusal = [&](const QString& topic, const QString& event, QJsonObject payload) {
        return reason(client->request(topic, event, payload));
    };
    EXPECT_EQ(refusal(topic, "broadcast", envelope), "unmatched topic");
    EXPECT_EQ(refusal("room", "phx_join", {}), "topic must be realtime:<channel>");
    EXPECT_EQ(refusal("realtime:", "phx_join", {}), "topic must be realtime:<channel>");
    EXPECT_EQ(refusal(topic, "phx_join", {{"config", QJsonObject{{"private", true}}}}),
              "private channels are not supported");
    EXPECT_TRUE(client->isOpen());
}

TEST_F(ChannelTest, MalformedMessagesAreDroppedAndTheSocketKept) {
    auto client = connect();
    for (const char* message :
         {"not json", "[1,2]", R"({"topic":"phoenix","event":"heartbeat","payload":{}})",
          R"({"topic":1,"event":"heartbeat","payload":{},"ref":"1"})",
          R"({"topic":"phoenix","event":"heartbeat","payload":"x","ref":"1"})"}) {
        client->sendRaw(message);
    }
    // JSON in a binary message counts like text.
    client->sendRaw(R"({"topic":"phoenix","event":"heartbeat","payload":{},"ref":"7"})", true);
    EXPECT_EQ(status(client->waitFor([](auto& f) { return f["ref"] == "7"; })), "ok");
    EXPECT_EQ(client->received().size(), 1);
}

}  // namespace
}  // namespace zg::test
