#pragma once

#include <optional>
#include <string>

namespace zg {

// Whether the agent starts when the user logs in.
// Threading: main thread only.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    virtual bool enabled() const = 0;
    // Registers or unregisters the agent; on failure, what went wrong.
    virtual std::optional<std::string> setEnabled(bool on) = 0;
};

}  // namespace zg
