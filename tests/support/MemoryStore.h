#pragma once

#include "config/SettingsStore.h"

namespace zg::test {

// Settings kept in memory, counting the writes; `failure` stands for storage they never reach.
struct MemoryStore : SettingsStore {
    nlohmann::json settings = nlohmann::json::object();
    int saves = 0;
    std::optional<StoreProblem> failure;

    std::optional<StoreProblem> problem() override { return failure; }
    const nlohmann::json& load() override { return settings; }
    void save(const nlohmann::json& s) override { settings = s, ++saves; }
};

}  // namespace zg::test
