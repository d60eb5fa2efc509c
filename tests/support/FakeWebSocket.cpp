#include "FakeWebSocket.h"

#include <nlohmann/json.hpp>

namespace zg::test {

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

void FakeWebSocket::receive(Received done) {
    connection_->waiting_.push_back(std::move(done));
    connection_->pump();
}

WebSocketFactory FakeWebSocketFactory::factory() {
    return [this](const std::string& url) {
        connections_.push_back(std::make_shared<FakeConnection>(loop_, url));
        return std::make_unique<FakeWebSocket>(connections_.back());
    };
}

}  // namespace zg::test
