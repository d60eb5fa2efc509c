#pragma once

#include <string>

namespace zg {

// Whether the agent starts when the user logs in.
// Threading: main thread only.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    virtual bool enabled() const = 0;
    // Registers or unregisters the agent; false when that failed, and `error` says why.
    virtual bool setEnabled(bool on, std::string& error) = 0;
};

}  // namespace zg
