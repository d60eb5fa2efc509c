#pragma once

#include <filesystem>
#include <string_view>
#include <utility>

namespace zg {

// A file descriptor closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();
    int get() const { return fd_; }
    // Closes now, reporting whether buffered data reached the file system.
    bool close();

private:
    int fd_;
};

// Which path a file operation failed on, and the errno that said why.
struct FileError {
    std::filesystem::path path;
    int code = 0;
};

// Replaces `path` with `text` all at once (temporary file, fsync, rename, fsync of the
// directory), creating missing directories for the user alone (0700, as XDG asks); the new
// file is readable by the user alone. On failure the old file is left as it was.
bool replaceFile(const std::filesystem::path& path, std::string_view text, FileError& error);

// The user's configuration directory: $XDG_CONFIG_HOME, or ~/.config when that is unset,
// empty or relative (as XDG asks).
std::filesystem::path configHome();
// The same from given values of XDG_CONFIG_HOME and HOME (empty when unset).
std::filesystem::path configHome(std::string_view xdgConfigHome, std::string_view home);

}  // namespace zg
