#pragma once

#include <string>
#include <string_view>

#include "link/Payload.h"

namespace zg {

// The channel frames the agent exchanges with the relay: Phoenix Channels 1.0.0 JSON objects.
// References ("ref", "join_ref") always travel as strings of decimal digits.

// "realtime:" followed by the channel name.
std::string channelTopic(std::string_view name);

// Join request for `topic`; its "ref" and "join_ref" are both `ref`.
Payload joinFrame(const std::string& topic, const std::string& ref);

// Keep-alive on the "phoenix" topic; carries no "join_ref".
Payload heartbeatFrame(const std::string& ref);

// The envelope an application event travels in, in both directions.
Payload broadcastEnvelope(const std::string& event, Payload payload);

// One application event broadcast on `topic` under the join `joinRef`.
Payload broadcastFrame(const std::string& topic, const std::string& ref, const std::string& joinRef,
                       const std::string& event, Payload payload);

// Compact UTF-8 JSON text of a frame. Never throws: bytes that are not UTF-8 are replaced.
std::string encodeFrame(const Payload& frame);

// What one received message means to a link joined (or joining) `topic` with `joinRef`.
struct Incoming {
    enum class Kind { Ignored, JoinAccepted, JoinRefused, Event, ChannelFailed };
    Kind kind = Kind::Ignored;
    std::string event;  // Event only: the application event name
    Payload payload;    // Event only: always an object
};

// Classifies a received text or binary message. Never throws; anything it does not
// recognise is Ignored. An empty `joinRef` (no join sent yet) matches no reply.
Incoming classifyFrame(std::string_view bytes, std::string_view topic, std::string_view joinRef);

}  // namespace zg
