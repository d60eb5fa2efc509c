#pragma once

#include "platform/ScreenAccess.h"

namespace zg {

// An X server shows its screen to every client it accepts, so there is nothing to ask for.
class X11ScreenAccess : public ScreenAccess {
public:
    bool available() override { return true; }
    bool permitted() override { return true; }
    void requestPermission() override {}
    std::string unavailableText() const override { return "Show screen needs an X display."; }
    std::string notPermittedText() const override {
        return "This X server does not let ZephyrGlint see the screen.";
    }
};

}  // namespace zg
