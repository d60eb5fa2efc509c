#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Loop.h"
#include "platform/WebSocket.h"

namespace zg::test {

// The test's end of one scripted socket; it outlives the socket. Callbacks go through the loop.
class FakeConnection {
public:
    explicit FakeConnection(Loop& loop) : loop_(loop) {}

    void open();  // the handshake completes
    void deliver(const std::string& text) { push(WebSocketMessage{text, false}); }
    void deliverBinary(const std::string& bytes) { push(WebSocketMessage{bytes, true}); }
    void fail() { push(std::nullopt); }  // the pending receive, and every later one, fails
    void acceptJoin();                   // replies "ok" to the join sent last

    const std::vector<std::string>& sent() const { return sent_; }
    std::optional<int> closeCode() const { return closeCode_; }

private:
    friend class FakeSocket;
    void push(std::optional<WebSocketMessage> message);
    void pump();  // answers waiting receives from the inbox

    Loop& loop_;
    WebSocket::Opened opened_;
    std::deque<WebSocket::Received> waiting_;
    std::deque<std::optional<WebSocketMessage>> inbox_;
    std::vector<std::string> sent_;
    std::optional<int> closeCode_;
};

// Makes fake sockets and keeps the test's end of each, in creation order.
class FakeWebSocketFactory {
public:
    explicit FakeWebSocketFactory(Loop& loop) : loop_(loop) {}

    WebSocketFactory factory();
    size_t count() const { return connections_.size(); }
    FakeConnection& last() { return *connections_.back(); }

private:
    Loop& loop_;
    std::vector<std::shared_ptr<FakeConnection>> connections_;
};

}  // namespace zg::test
