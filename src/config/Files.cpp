#include "config/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
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

// Creates `dir` and its missing parents for the user alone; existing ones are left as they are.
// On failure `failed` is the one that could not be made.
bool makeDirectories(const fs::path& dir, fs::path& failed) {
    struct stat st;
    if (dir.empty() || ::stat(dir.c_str(), &st) == 0) {
        if (dir.empty() || S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
    } else if (errno == ENOENT) {
        const fs::path parent = dir.parent_path();
        if (parent != dir && !makeDirectories(parent, failed)) return false;
        if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return true;
    }
    failed = dir;
    return false;
}

}  // namespace

Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

bool Descriptor::close() {
    return ::close(std::exchange(fd_, -1)) == 0;
}

bool replaceFile(const fs::path& path, std::string_view text, FileError& error) {
    const fs::path dir = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    const auto failed = [&error](const fs::path& at, int code) {
        error = {at, code};
        return false;
    };
    if (fs::path at; !makeDirectories(dir, at)) return failed(at, errno);
    std::string temp = path.string() + ".tmp-XXXXXX";
    Descriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return failed(dir, errno);
    errno = 0;
    if (!writeAll(fd.get(), text) || ::fsync(fd.get()) != 0 || !fd.close() ||
        ::rename(temp.c_str(), path.c_str()) != 0) {
        const int code = errno ? errno : ENOSPC;  // a write of nothing stands for a full disk
        ::unlink(temp.c_str());
        return failed(path, code);
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
