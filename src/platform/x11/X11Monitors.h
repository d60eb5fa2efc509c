#pragma once

#include <vector>

#include "platform/Geometry.h"

struct _XDisplay;

namespace zg {

// Whether the server reports monitors (RandR 1.5 or later).
bool hasRandrMonitors(_XDisplay* dpy);

// The monitors of the default screen, the primary one first; the whole screen when the server
// reports none. Never empty.
std::vector<Rect> readMonitors(_XDisplay* dpy, bool hasMonitors);

}  // namespace zg
