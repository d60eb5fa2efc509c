#pragma once

#include <chrono>
#include <cstdint>

namespace zg {

// What the relay grants each peer. Every refusal is answered on the wire (an error reply or a
// close code) and logged.
struct RelayLimits {
    // A larger incoming message closes its socket with 1009.
    std::uint64_t maxMessageBytes = 1 << 20;
    // Token bucket per connection. A phone sends ~30 moves/s plus acks and an agent ~15 frames/s
    // plus state, so both stay far below. A frame over the rate is dropped with an error reply;
    // more drops than messagesPerSecond within one second close the socket with 1008.
    double messagesPerSecond = 200;
    double messageBurst = 400;
    int maxChannelsPerConnection = 16;
    // Further WebSocket connections are closed with 1013.
    int maxConnections = 256;
    // Bytes queued for one receiver but not yet taken by its TCP stack. A receiver past this is
    // disconnected (close 1008) rather than having messages dropped: a gap in the stream would
    // silently break the application's own sequencing, while a reconnecting client rejoins and
    // starts from a fresh state.
    std::int64_t maxBacklogBytes = 8 << 20;
    // A connection that sends nothing for this long is closed with 1008; clients heartbeat every
    // 25 s or so.
    std::chrono::milliseconds idleTimeout{60'000};
    // TCP connections, pages and WebSockets together, in all and from one address: one host
    // cannot lock the others out. Further ones are answered 503 and closed.
    int maxSockets = 512;
    int maxSocketsPerAddress = 32;
    // A request head must arrive whole, within this size and time, or is refused (431, 408).
    // Requests with a body are refused before it is read (413).
    int maxRequestHeadBytes = 16 << 10;
    std::chrono::milliseconds requestHeadTimeout{5'000};
    // A page request is answered and its connection closed; a client that has not taken the
    // answer by then is cut off.
    std::chrono::milliseconds answerTimeout{30'000};
    // Longest topic accepted in a join, in UTF-16 code units.
    int maxTopicLength = 256;
};

}  // namespace zg
