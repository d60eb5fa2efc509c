#include "link/RelayFrames.h"

#include "link/JsonText.h"

namespace zg {
namespace {

// The string under `key`, or empty text when it is missing or not a string.
std::string_view text(const Payload& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return {};
    return it->get_ref<const std::string&>();
}

// The object under `key`, or null when it is missing or not an object.
Payload* member(Payload& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_object() ? &*it : nullptr;
}

// A frame's Base64 picture is a plain string of 100 kB or more; escaping it byte by byte was a
// fifth of the agent's work while streaming.
void appendString(std::string& out, const std::string& s) {
    if (plainJsonText(s)) {
        out += '"';
        out += s;
        out += '"';
    } else {
        out += Payload(s).dump(-1, ' ', false, Payload::error_handler_t::replace);
    }
}

// Compact JSON exactly as Payload::dump writes it.
void appendJson(std::string& out, const Payload& value) {
    if (value.is_object()) {
        out += '{';
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it != value.begin()) out += ',';
            appendString(out, it.key());
            out += ':';
            appendJson(out, *it);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it != value.begin()) out += ',';
            appendJson(out, *it);
        }
        out += ']';
    } else if (value.is_string()) {
        appendString(out, value.get_ref<const std::string&>());
    } else {
        out += value.dump();
    }
}

}  // namespace

std::string channelTopic(std::string_view name) {
    return "realtime:" + std::string(name);
}

Payload joinFrame(const std::string& topic, const std::string& ref) {
    return {{"topic", topic},
            {"event", "phx_join"},
            {"ref", ref},
            {"join_ref", ref},
            {"payload",
             {{"config",
               {{"broadcast", {{"self", false}, {"ack", false}}},
                {"presence", {{"key", ""}}},
                {"private", false}}}}}};
}

Payload heartbeatFrame(const std::string& ref) {
    return {
        {"topic", "phoenix"}, {"event", "heartbeat"}, {"payload", Payload::object()}, {"ref", ref}};
}

Payload broadcastEnvelope(const std::string& event, Payload payload) {
    return {{"type", "broadcast"}, {"event", event}, {"payload", std::move(payload)}};
}

Payload broadcastFrame(const std::string& topic, const std::string& ref, const std::string& joinRef,
                       const std::string& event, Payload payload) {
    return {{"topic", topic},
            {"event", "broadcast"},
            {"ref", ref},
            {"join_ref", joinRef},
            {"payload", broadcastEnvelope(event, std::move(payload))}};
}

std::string encodeFrame(const Payload& frame) {
    std::string out;
    appendJson(out, frame);
    return out;
}

Incoming classifyFrame(std::string_view bytes, std::string_view topic, std::string_view joinRef) {
    Payload frame = Payload::parse(bytes, nullptr, /*allow_exceptions=*/false);
    if (!frame.is_object()) return {};
    const std::string_view event = text(frame, "event");
    Payload* payload = member(frame, "payload");

    if (event == "phx_reply" && !joinRef.empty() && text(frame, "ref") == joinRef) {
        const bool ok = payload && text(*payload, "status") == "ok";
        return {ok ? Incoming::Kind::JoinAccepted : Incoming::Kind::JoinRefused, {}, {}};
    }
    if (text(frame, "topic") != topic) return {};
    if (event == "broadcast" && payload) {
        Payload* data = member(*payload, "payload");
        return {Incoming::Kind::Event, std::string(text(*payload, "event")),
                data ? std::move(*data) : Payload::object()};
    }
    if (event == "phx_error" || event == "phx_close")
        return {Incoming::Kind::ChannelFailed, {}, {}};
    return {};
}

}  // namespace zg
