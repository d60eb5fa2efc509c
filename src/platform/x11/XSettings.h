#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/Loop.h"
#include "platform/x11/X11Display.h"

namespace zg {

// The integer setting `name` in XSETTINGS data (the settings manager's _XSETTINGS_SETTINGS
// property). The data is another client's, so every length in it is checked; nullopt when the
// setting is absent, is not an integer, or the data is malformed before it.
std::optional<int32_t> xsettingsInteger(std::span<const uint8_t> data, std::string_view name);

// The double-click time the desktop's settings manager announces; nullopt when no manager runs
// or it gives no usable value.
std::optional<Seconds> xsettingsDoubleClickTime(X11Display& display);

}  // namespace zg
