#pragma once

#include <string>

namespace zg {

// What the desktop allows this process to do, for the status line to explain what is missing.
// Threading: main thread only. The answer may change while the agent runs (a user can grant
// it later), so callers ask again rather than keep it.
class Permissions {
public:
    virtual ~Permissions() = default;

    // True when pointer and keyboard events posted by this process reach the desktop.
    virtual bool inputTrusted() = 0;
    // The status line while they do not: what is missing, and what the user can do about it,
    // in this desktop's own words.
    virtual std::string untrustedText() const = 0;
};

}  // namespace zg
