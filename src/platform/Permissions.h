#pragma once

namespace zg {

// What the desktop allows this process to do, for the status line to explain what is missing.
// Threading: main thread only. The answer may change while the agent runs (a user can grant
// it later), so callers ask again rather than keep it.
class Permissions {
public:
    virtual ~Permissions() = default;

    // True when pointer and keyboard events posted by this process reach the desktop.
    virtual bool inputTrusted() = 0;
};

}  // namespace zg
