#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace zg {

// Why settings saved now would not last until the next start.
struct StoreProblem {
    std::string what;  // what could not be done, naming the path
    std::string why;   // in the system's words
    bool operator==(const StoreProblem&) const = default;
};

// Where the agent's settings persist: one JSON object of named values.
// Threading: main thread only. Failures never stop the store: it does its best, the agent
// carries on, and problem() tells the user.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Why the last save did not reach lasting storage; before any save, why one would not.
    virtual std::optional<StoreProblem> problem() { return std::nullopt; }

    // The current settings, always an object (empty when nothing is stored or the stored data
    // cannot be used). The reference stays valid until the next call on the store.
    virtual const nlohmann::json& load() = 0;

    // Replaces every stored setting with `settings`, an object.
    virtual void save(const nlohmann::json& settings) = 0;
};

}  // namespace zg
