#pragma once

#include "config/SettingsStore.h"

namespace zg::test {

// Settings kept in memory, counting the writes.
struct MemoryStore : SettingsStore {
    nlohmann::json settings = nlohmann::json::object();
    int saves = 0;

    const nlohmann::json& load() override { return settings; }
    void save(const nlohmann::json& s) override { settings = s, ++saves; }
};

}  // namespace zg::test
