#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zg {

// One message received on a WebSocket; text and binary messages carry their bytes alike.
struct WebSocketMessage {
    std::string data;
    bool binary = false;
};

// One client WebSocket connection.
// Threading: called on the main thread only; every callback runs on the main thread, posted
// after the current work (never from inside the call that asked for it).
class WebSocket {
public:
    using Opened = std::function<void()>;
    // A message, or nothing when the socket failed or closed.
    using Received = std::function<void(std::optional<WebSocketMessage>)>;

    virtual ~WebSocket() = default;

    // Starts the opening handshake; `opened` runs once when it completes. A failed handshake
    // is reported through the outstanding receive instead.
    virtual void open(Opened opened) = 0;

    // Asks for the next message; `done` runs exactly once. One receive is outstanding at a time.
    virtual void receive(Received done) = 0;

    // Sends one text message; failures are not reported.
    virtual void sendText(const std::string& text) = 0;

    // Closes the connection with `code` and no reason. The socket may be destroyed right after.
    virtual void close(int code) = 0;
};

// Makes a fresh, not yet opened socket for a URL.
using WebSocketFactory = std::function<std::unique_ptr<WebSocket>(const std::string& url)>;

}  // namespace zg
