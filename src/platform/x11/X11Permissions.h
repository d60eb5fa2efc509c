#pragma once

#include "platform/Permissions.h"
#include "platform/x11/X11Display.h"

namespace zg {

// On X11 posting input needs nothing but the XTEST extension, which a server either has from
// its start or never has.
class X11Permissions : public Permissions {
public:
    explicit X11Permissions(X11Display& display) : display_(display) {}

    bool inputTrusted() override { return display_.hasXTest(); }
    std::string untrustedText() const override {
        return "This X server has no XTEST: phones cannot drive it";
    }

private:
    X11Display& display_;
};

}  // namespace zg
