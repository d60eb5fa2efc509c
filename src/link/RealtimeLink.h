#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/Payload.h"
#include "platform/Loop.h"
#include "platform/WebSocket.h"

namespace zg {

// Keeps the agent on its relay channel: one WebSocket at a time, the channel join,
// heartbeats with a silence watchdog, and reconnection with a growing delay.
// Threading: main thread only. The callbacks run synchronously inside the link's own
// processing and may call start, stop or send; the interrupted processing then ends without
// touching the new connection.
class RealtimeLink {
public:
    static constexpr Seconds kHeartbeatInterval = 25.0;
    static constexpr Seconds kSilenceLimit = 60.0;
    static constexpr Seconds kBackoffBase = 0.5;
    static constexpr int64_t kBackoffExponentCap = 5;
    static constexpr Seconds kBackoffCeiling = 10.0;
    static constexpr int kCloseCode = 1001;  // going away
    // Phones send commands; pictures only go out. The largest command is a "text" of 4000
    // characters, each of which may be a cluster of code points (a family emoji is 25 bytes):
    // 4000 of 45 bytes each still fit, sealed and Base64-encoded. A larger message is refused
    // unread, so a stream of huge ones costs no parsing.
    static constexpr std::size_t kMaxIncomingBytes = 256 * 1024;
    static constexpr Seconds kRefusalLogPeriod = 60;

    RealtimeLink(Loop& loop, WebSocketFactory factory, std::string url);
    ~RealtimeLink();
    RealtimeLink(const RealtimeLink&) = delete;
    RealtimeLink& operator=(const RealtimeLink&) = delete;

    // Called for each application event received on the channel.
    std::function<void(std::string event, Payload payload)> onMessage;
    // Told true at each accepted join, false when a joined channel is lost or stopped.
    std::function<void(bool up)> onUp;
    // Lines for the user's log, at most one a kRefusalLogPeriod; may be absent.
    std::function<void(const std::string& line)> log;

    // Drops any current connection and connects to the channel `name` at once.
    void start(const std::string& name);
    // Closes the connection; no reconnect follows.
    void stop();
    // Broadcasts one event when joined; false (nothing sent, nothing queued) otherwise.
    bool send(const std::string& event, Payload payload);
    bool joined() const { return joined_; }

private:
    void connect(int64_t g);
    void opened(const WebSocket* socket, int64_t g);
    void receive(int64_t g);
    void received(int64_t g, std::optional<WebSocketMessage> message);
    void tick();
    void drop(int64_t g);
    void closeSocket();
    void setDown();
    std::string nextRef();
    void raw(const Payload& frame);

    Loop& loop_;
    WebSocketFactory factory_;
    const std::string url_;
    bool joined_ = false;
    std::unique_ptr<WebSocket> socket_;
    std::string topic_;
    int64_t ref_ = 0;
    std::string joinRef_;
    int64_t gen_ = 0;  // names the current connection; stale work compares and gives up
    int64_t retry_ = 0;
    ScheduledHandle heartbeat_;
    Seconds lastRx_;
    Seconds lastRefusalLog_ = -kRefusalLogPeriod;
    Lifetime lifetime_;  // reconnects and socket callbacks do nothing once the link is gone
};

}  // namespace zg
