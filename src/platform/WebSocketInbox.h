#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <utility>

#include "platform/Loop.h"
#include "platform/WebSocket.h"

namespace zg {

// The messages a WebSocket received before they were asked for, and the one receive waiting for
// the next: what each implementation of the seam keeps the same way.
class WebSocketInbox {
public:
    // `post` runs a callback after the current work, and never once the socket is gone.
    explicit WebSocketInbox(std::function<void(Task)> post) : post_(std::move(post)) {}

    void receive(WebSocket::Received done) {
        pending_ = std::move(done);
        deliver();
    }

    void arrive(WebSocketMessage message) {
        inbox_.push_back(std::move(message));
        deliver();
    }

    // The socket has failed or closed: once the messages before are taken, receives get nothing.
    void fail() {
        failed_ = true;
        deliver();
    }

private:
    void deliver() {
        if (!pending_ || (inbox_.empty() && !failed_)) return;
        std::optional<WebSocketMessage> message;
        if (!inbox_.empty()) {
            message = std::move(inbox_.front());
            inbox_.pop_front();
        }
        post_([done = std::exchange(pending_, nullptr), message = std::move(message)] {
            done(message);
        });
    }

    std::function<void(Task)> post_;
    WebSocket::Received pending_;
    std::deque<WebSocketMessage> inbox_;
    bool failed_ = false;
};

}  // namespace zg
