#pragma once

#include <nlohmann/json.hpp>

namespace zg {

// Where the agent's settings persist: one JSON object of named values.
// Threading: main thread only. Failures are never reported; the store does its best and the
// agent carries on.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The current settings, always an object (empty when nothing is stored or the stored data
    // cannot be used). The reference stays valid until the next call on the store.
    virtual const nlohmann::json& load() = 0;

    // Replaces every stored setting with `settings`, an object.
    virtual void save(const nlohmann::json& settings) = 0;
};

}  // namespace zg
