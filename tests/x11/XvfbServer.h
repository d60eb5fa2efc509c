#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zg::test {

// A private X server on a display number it picks; stopped with the object or the process.
class XvfbServer {
public:
    explicit XvfbServer(const std::vector<std::string>& extraArguments = {});
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N" once the server accepts connections; empty when it did not start.
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

}  // namespace zg::test
