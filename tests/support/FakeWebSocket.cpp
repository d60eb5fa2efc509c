#include "FakeWebSocket.h"

#include <nlohmann/json.hpp>

namespace zg::test {

// The client socket handed to the code under test.
class FakeSocket : public WebSocket {
public:
    explicit FakeSocket(std::shared_ptr<FakeConnection> c) : connection_(std::move(c)) {}

    void open(Opened opened) override { connection_->opened_ = std::move(opened); }
    void receive(Received done) override {
        connection_->waiting_.push_back(std::move(done));
        connection_->pump();
    }
    void sendText(const std::string& text) override { connection_->sent_.push_back(text); }
    void close(int code) override { connection_->closeCode_ = code; }

private:
    std::shared_ptr<FakeConnection> connection_;
};

void FakeConnection::open() {
    if (opened_) loop_.post([opened = opened_] { opened(); });
}

void FakeConnection::acceptJoin() {
    auto reply = nlohmann::json::parse(sent_.back());
    reply["event"] = "phx_reply";
    reply["payload"] = {{"status", "ok"}, {"response", nlohmann::json::object()}};
    deliver(reply.dump());
}

void FakeConnection::push(std::optional<WebSocketMessage> message) {
    inbox_.push_back(std::move(message));
    pump();
}

void FakeConnection::pump() {
    while (!waiting_.empty() && !inbox_.empty()) {
        auto done = std::move(waiting_.front());
        waiting_.pop_front();
        auto message = inbox_.front();
        if (message) inbox_.pop_front();  // a failure stays for every later receive
        loop_.post([done = std::move(done), message = std::move(message)] { done(message); });
    }
}

WebSocketFactory FakeWebSocketFactory::factory() {
    return [this](const std::string&) {
        connections_.push_back(std::make_shared<FakeConnection>(loop_));
        return std::make_unique<FakeSocket>(connections_.back());
    };
}

}  // namespace zg::test
