#include "config/JsonFileStore.h"

#include "config/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace zg {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Settings are flat; deeper data is not ours, and copying or printing it would recurse once
// per level and could exhaust the stack.
constexpr int maxDepth = 64;

// Reads at most `limit` bytes, or nothing if there are more or reading fails.
std::optional<std::string> readAll(int fd, std::size_t limit, bool& tooLarge) {
    std::string data;
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return data;
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > limit) {
            tooLarge = true;
            return std::nullopt;
        }
    }
}

std::string localTimestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &local);
    return text;
}

bool taken(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

fs::path settingsPath(std::string_view xdgConfigHome, std::string_view home) {
    return configHome(xdgConfigHome, home) / "zephyrglint" / "settings.json";
}

fs::path settingsPath() {
    return configHome() / "zephyrglint" / "settings.json";
}

bool JsonFileStore::Stamp::operator==(const Stamp& other) const {
    return error == other.error && device == other.device && inode == other.inode &&
           size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && changed.tv_sec == other.changed.tv_sec &&
           changed.tv_nsec == other.changed.tv_nsec;
}

JsonFileStore::Stamp JsonFileStore::stampOf(const struct stat& st) {
    return {0, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

JsonFileStore::JsonFileStore(fs::path file) : path_(std::move(file)) {}

const json& JsonFileStore::load() {
    refresh();
    return settings_;
}

void JsonFileStore::refresh() {
    Stamp now;
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0) {
        now = stampOf(st);
    } else {
        now.error = errno;
    }
    if (state_ != State::unknown && now == stamp_) return;
    stamp_ = now;
    settings_ = json::object();
    if (now.error == 0) {
        read();
    } else {
        // A missing folder, or a file where one should be, leaves nothing to read: the save
        // says what is in the way.
        const bool absent = now.error == ENOENT || now.error == ENOTDIR;
        state_ = absent ? State::absent : State::unreadable;
        unreadable_ = std::strerror(now.error);
    }
}

void JsonFileStore::read() {
    Descriptor fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        state_ = errno == ENOENT ? State::absent : State::unreadable;
        unreadable_ = std::strerror(errno);
        return;
    }
    stamp_ = stampOf(st);
    // Not a file we could have written (a directory, a pipe): leave it to the user.
    if (!S_ISREG(st.st_mode)) {
        state_ = State::unreadable;
        unreadable_ = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        return;
    }
    bool tooLarge = st.st_size > maxFileSize;
    std::optional<std::string> text;
    if (!tooLarge) text = readAll(fd.get(), maxFileSize, tooLarge);
    if (!text) {
        state_ = tooLarge ? State::corrupt : State::unreadable;
        unreadable_ = std::strerror(errno);
        return;
    }
    bool tooDeep = false;
    json parsed = json::parse(
        *text,
        [&](int depth, json::parse_event_t, json&) {
            if (depth > maxDepth) tooDeep = true;
            return !tooDeep;
        },
        false);
    if (parsed.is_discarded() || !parsed.is_object() || tooDeep) {
        state_ = State::corrupt;
        return;
    }
    state_ = State::good;
    settings_ = std::move(parsed);
}

void JsonFileStore::save(const json& settings) {
    json next = settings;
    std::string text = next.dump(4, ' ', false, json::error_handler_t::replace) + "\n";
    refresh();
    saved_ = true;
    problem_ = unreadable();
    FileError error;
    if (!problem_ && state_ == State::corrupt && !moveAside()) {
        problem_ = {"cannot move " + path_.string() + " aside", std::strerror(errno)};
    } else if (!problem_ && !replaceFile(path_, text, error)) {
        problem_ = {"cannot write " + error.path.string(), std::strerror(error.code)};
    } else if (struct stat st; !problem_ && ::stat(path_.c_str(), &st) == 0) {
        stamp_ = stampOf(st);
        state_ = State::good;
    }
    settings_ = std::move(next);
}

std::optional<StoreProblem> JsonFileStore::problem() {
    if (saved_) return problem_;
    refresh();
    if (auto problem = unreadable()) return problem;
    // Where the next save would put its temporary file; a folder yet to be made is checked
    // when it is made.
    const fs::path dir = path_.parent_path().empty() ? fs::path(".") : path_.parent_path();
    if (::access(dir.c_str(), W_OK | X_OK) != 0 && errno != ENOENT) {
        return StoreProblem{"cannot write " + dir.string(), std::strerror(errno)};
    }
    return std::nullopt;
}

std::optional<StoreProblem> JsonFileStore::unreadable() const {
    // Never replaced: the failure may pass, and the user's settings must survive it.
    if (state_ != State::unreadable) return std::nullopt;
    return StoreProblem{"cannot read " + path_.string(), unreadable_};
}

bool JsonFileStore::moveAside() {
    const std::string base = path_.string() + ".corrupt-" + localTimestamp();
    std::string aside = base;
    for (int n = 2; taken(aside); ++n) aside = base + "-" + std::to_string(n);
    if (::rename(path_.c_str(), aside.c_str()) != 0) return false;
    // Until the fresh file is in place, the name holds nothing.
    stamp_ = Stamp{ENOENT};
    state_ = State::absent;
    return true;
}

}  // namespace zg
