#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "platform/WebSocketInbox.h"

namespace zg::test {

// The test's end of one scripted socket; it outlives the socket. Callbacks go through the loop.
class FakeConnection {
public:
    explicit FakeConnection(Loop& loop) : loop_(loop) {}

    void open() { loop_.post(opened_); }  // the handshake completes
    void deliver(const std::string& s, bool binary = false) { inbox_.arrive({s, binary}); }
    void fail() { inbox_.fail(); }  // the receives after the messages delivered before fail
    void acceptJoin() {             // replies "ok" to the join sent last
        const std::string ref = nlohmann::json::parse(sent_.back())["ref"];
        deliver(R"({"event":"phx_reply","ref":")" + ref + R"(","payload":{"status":"ok"}})");
    }

    const std::vector<std::string>& sent() const { return sent_; }
    std::optional<int> closeCode() const { return closeCode_; }

    // The client socket handed to the code under test.
    struct Socket : WebSocket {
        std::shared_ptr<FakeConnection> c;
        explicit Socket(std::shared_ptr<FakeConnection> connection) : c(std::move(connection)) {}
        void open(Opened opened) override { c->opened_ = std::move(opened); }
        void receive(Received done) override { c->inbox_.receive(std::move(done)); }
        void sendText(const std::string& text) override { c->sent_.push_back(text); }
        void close(int code) override { c->closeCode_ = code; }
    };

private:
    Loop& loop_;
    WebSocket::Opened opened_ = [] {};
    WebSocketInbox inbox_{[this](Task task) { loop_.post(std::move(task)); }};
    std::vector<std::string> sent_;
    std::optional<int> closeCode_;
};

// Makes fake sockets and keeps the test's end of each, in creation order.
struct FakeWebSocketFactory {
    explicit FakeWebSocketFactory(Loop& l) : loop(l) {}
    Loop& loop;
    std::vector<std::shared_ptr<FakeConnection>> connections;

    WebSocketFactory factory() {
        return [this](const std::string&) {
            return std::make_unique<FakeConnection::Socket>(
                connections.emplace_back(std::make_shared<FakeConnection>(loop)));
        };
    }
    size_t count() const { return connections.size(); }
    FakeConnection& last() { return *connections.back(); }
};

}  // namespace zg::test
