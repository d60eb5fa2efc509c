#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Loop.h"
#include "platform/WebSocket.h"

namespace zg::test {

// The test's end of one scripted socket. It outlives the socket, so a test can still inspect
// a closed connection or complete its late receives. Every callback goes through the loop.
class FakeConnection {
public:
    FakeConnection(Loop& loop, std::string url) : loop_(loop), url_(std::move(url)) {}

    void open();  // the handshake completes
    void deliver(const std::string& text) { push(WebSocketMessage{text, false}); }
    void deliverBinary(const std::string& bytes) { push(WebSocketMessage{bytes, true}); }
    void fail() { push(std::nullopt); }  // the pending receive, and every later one, fails
    void acceptJoin();                   // replies "ok" to the join sent last, as the relay would

    const std::string& url() const { return url_; }
    const std::vector<std::string>& sent() const { return sent_; }
    std::optional<int> closeCode() const { return closeCode_; }
    // Receives asked for and not yet answered; a well-behaved client keeps this at most 1.
    size_t outstandingReceives() const { return waiting_.size(); }

private:
    friend class FakeWebSocket;
    void push(std::optional<WebSocketMessage> message);
    void pump();  // answers waiting receives from the inbox

    Loop& loop_;
    std::string url_;
    WebSocket::Opened opened_;
    std::deque<WebSocket::Received> waiting_;
    std::deque<std::optional<WebSocketMessage>> inbox_;  // nullopt: broken from here on
    std::vector<std::string> sent_;
    std::optional<int> closeCode_;
};

// The client socket handed to the code under test.
class FakeWebSocket : public WebSocket {
public:
    explicit FakeWebSocket(std::shared_ptr<FakeConnection> connection)
        : connection_(std::move(connection)) {}

    void open(Opened opened) override { connection_->opened_ = std::move(opened); }
    void receive(Received done) override;
    void sendText(const std::string& text) override { connection_->sent_.push_back(text); }
    void close(int code) override { connection_->closeCode_ = code; }

private:
    std::shared_ptr<FakeConnection> connection_;
};

// Makes fake sockets and keeps the test's end of each, in creation order.
class FakeWebSocketFactory {
public:
    explicit FakeWebSocketFactory(Loop& loop) : loop_(loop) {}

    WebSocketFactory factory();
    size_t count() const { return connections_.size(); }
    FakeConnection& at(size_t i) { return *connections_.at(i); }
    FakeConnection& last() { return *connections_.back(); }

private:
    Loop& loop_;
    std::vector<std::shared_ptr<FakeConnection>> connections_;
};

}  // namespace zg::test
