#include "app/Messages.h"

namespace zg {
namespace {

#if defined(__APPLE__)
constexpr const char* kOs = "mac";
#else
constexpr const char* kOs = "linux";
#endif

const Payload* find(const Payload& payload, std::string_view key) {
    if (!payload.is_object()) return nullptr;
    const auto it = payload.find(key);
    return it == payload.end() ? nullptr : &*it;
}

}  // namespace

std::optional<std::string> readString(const Payload& payload, std::string_view key) {
    const Payload* value = find(payload, key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::optional<double> readNumber(const Payload& payload, std::string_view key) {
    const Payload* value = find(payload, key);
    if (!value || !value->is_number()) return std::nullopt;
    return value->get<double>();
}

std::optional<bool> readBool(const Payload& payload, std::string_view key) {
    const Payload* value = find(payload, key);
    if (!value || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

std::optional<std::vector<std::string>> readStringList(const Payload& payload,
                                                       std::string_view key) {
    const Payload* value = find(payload, key);
    if (!value || !value->is_array()) return std::nullopt;
    std::vector<std::string> list;
    list.reserve(value->size());
    for (const Payload& element : *value) {
        if (!element.is_string()) return std::nullopt;
        list.push_back(element.get<std::string>());
    }
    return list;
}

Payload statePayload(const HostState& state) {
    Payload payload = {{"kind", "host"},
                       {"from", state.hostId},
                       {"name", state.name},
                       {"drag", state.drag},
                       {"os", kOs}};
    if (state.screenError) payload["screenError"] = *state.screenError;
    if (state.typeError) payload["typeError"] = *state.typeError;
    return payload;
}

Payload farewellPayload(const std::string& hostId, const std::string& name) {
    return {{"kind", "host"}, {"from", hostId}, {"name", name}, {"gone", true}};
}

}  // namespace zg
