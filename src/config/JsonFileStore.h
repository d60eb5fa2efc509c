#pragma once

#include "config/SettingsStore.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zg {

// The settings file of this user: $XDG_CONFIG_HOME/zephyrglint/settings.json, or under
// ~/.config when XDG_CONFIG_HOME is unset, empty or relative.
std::filesystem::path settingsPath();
// The same from given values of XDG_CONFIG_HOME and HOME (empty when unset).
std::filesystem::path settingsPath(std::string_view xdgConfigHome, std::string_view home);

// Settings kept as a JSON object in a file that people may also edit by hand.
// - Reads are served from memory until the file's identity, size or times change, so an edit
//   from outside is seen on the next read.
// - Writes are atomic (temporary file, fsync, rename, fsync of the directory) and made only
//   readable by the user, since the pairing code grants control of the computer.
// - A file that is not a JSON object, nests deeper than any settings would or is larger than
//   maxFileSize reads as empty and is renamed to "<name>.corrupt-<local time>" before the
//   next write, so its bytes are kept.
// - A file that exists but cannot be read (permissions, I/O error) also reads as empty but is
//   never replaced: the failure may pass, and the user's settings must survive it.
// - A failed write leaves the old file as it was; the values saved stay in effect in memory
//   until the file changes, so the running agent keeps the pairing code it just drew.
//   problem() then says where and why; before any save, it says whether the file can be read
//   and its directory written to.
class JsonFileStore final : public SettingsStore {
public:
    static constexpr off_t maxFileSize = 1 << 20;

    explicit JsonFileStore(std::filesystem::path file);

    const nlohmann::json& load() override;
    void save(const nlohmann::json& settings) override;
    std::optional<StoreProblem> problem() override;

private:
    enum class State { unknown, absent, good, corrupt, unreadable };

    // What tells one version of the file from another without reading it; `error` is the
    // errno of a failed stat, when there is no file to describe.
    struct Stamp {
        int error = 0;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};

        bool operator==(const Stamp& other) const;
    };

    static Stamp stampOf(const struct stat& st);

    void refresh();
    void read();
    bool moveAside();
    std::optional<StoreProblem> unreadable() const;

    std::filesystem::path path_;
    State state_ = State::unknown;
    std::string unreadable_;  // why, in the unreadable state
    bool saved_ = false;      // whether a save was tried
    std::optional<StoreProblem> problem_;
    Stamp stamp_;
    nlohmann::json settings_ = nlohmann::json::object();
};

}  // namespace zg
