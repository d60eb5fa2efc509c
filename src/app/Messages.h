#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Payload.h"
#include "screen/FramePayload.h"  // "frame", built by the screen streamer

namespace zg {

// Readers for payloads received from phones. Each key has one expected JSON type; a value of
// any other type, a missing key, or a payload that is not an object reads as absent.

// A JSON string.
std::optional<std::string> readString(const Payload& payload, std::string_view key);
// Any JSON number, integral or not.
std::optional<double> readNumber(const Payload& payload, std::string_view key);
// JSON true or false.
std::optional<bool> readBool(const Payload& payload, std::string_view key);
// An array of strings only; one element of another type makes the whole list absent.
std::optional<std::vector<std::string>> readStringList(const Payload& payload,
                                                       std::string_view key);

// What this computer tells the phones about itself.
struct HostState {
    std::string hostId;
    std::string name;
    bool drag = false;                       // the left button is held by the phone
    std::optional<std::string> screenError;  // a screen problem the phone's user must act on
    std::optional<std::string> typeError;    // characters of the last text that were not typed
};

// The "state" report. It names the platform in "os" so the phone labels its keys to match.
Payload statePayload(const HostState& state);
// The "state" sent when the agent quits: identity and "gone" only.
Payload farewellPayload(const std::string& hostId, const std::string& name);

}  // namespace zg
