#pragma once

#include <string>

namespace zg {

// Whether this desktop lets the agent show the screen at all, and whether the user allows it.
// Threading: main thread only. Answers may change while the agent runs (a user can grant the
// permission later), so callers ask again at each use.
class ScreenAccess {
public:
    virtual ~ScreenAccess() = default;

    // True when the system offers screen capture to this program.
    virtual bool available() = 0;
    // True when the user allows this process to capture the screen; never prompts.
    virtual bool permitted() = 0;
    // Asks the system to prompt the user for the permission; the answer arrives later, if
    // ever, through permitted().
    virtual void requestPermission() = 0;

    // What the phone is told when the screen cannot be shown or is not allowed, in this
    // desktop's own words.
    virtual std::string unavailableText() const = 0;
    virtual std::string notPermittedText() const = 0;
};

}  // namespace zg
