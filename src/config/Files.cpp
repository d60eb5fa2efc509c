#include "config/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace zg {
namespace fs = std::filesystem;

namespace {

bool writeAll(int fd, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes a rename in `dir` durable; file systems that cannot sync directories are let be.
void syncDirectory(const fs::path& dir) {
    Descriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

bool Descriptor::close() {
    return ::close(std::exchange(fd_, -1)) == 0;
}

bool replaceFile(const fs::path& path, std::string_view text) {
    const fs::path dir = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    std::error_code error;
    fs::create_directories(dir, error);
    std::string temp = path.string() + ".tmp-XXXXXX";
    Descriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return false;
    if (!writeAll(fd.get(), text) || ::fsync(fd.get()) != 0 || !fd.close() ||
        ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    syncDirectory(dir);
    return true;
}

fs::path configHome(std::string_view xdgConfigHome, std::string_view home) {
    return !xdgConfigHome.empty() && xdgConfigHome.front() == '/' ? fs::path(xdgConfigHome)
                                                                  : fs::path(home) / ".config";
}

fs::path configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : "";
    }
    return configHome(xdg ? xdg : "", home ? home : "");
}

}  // namespace zg
