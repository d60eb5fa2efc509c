#pragma once

#include <pixman.h>
#include <spa/buffer/buffer.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Geometry.h"
#include "platform/canvas/PixelScaling.h"
#include "screen/CapturePlan.h"

// Reading a screen stream's buffers into a picture of our own, without PipeWire itself: pure
// functions on SPA's plain structures, so that they are tested on buffers made up in memory.
namespace zg {

// A stream's latest picture, copied out of its buffer: rows packed, 4 bytes a pixel.
struct StoredFrame {
    std::vector<uint8_t> bytes;
    int width = 0;
    int height = 0;
    pixman_format_code_t format = PIXMAN_x8r8g8b8;
};

// The negotiated video format: an spa_video_format and the buffers' size in pixels.
struct VideoFormat {
    uint32_t format = 0;
    int width = 0;
    int height = 0;
};

// What a buffer told about the picture and the cursor.
struct BufferReading {
    enum class Cursor { unknown, here, away };
    bool picture = false;             // `into` now holds the buffer's picture
    Cursor cursor = Cursor::unknown;  // away: the cursor is off this stream's picture
    Point cursorAt;                   // when here: global logical points
};

// How pixman reads one of the formats we accept (BGRx, BGRA, RGBx, RGBA; alpha is ignored, a
// screen is opaque); nothing for any other.
std::optional<pixman_format_code_t> pixmanFormat(uint32_t spaVideoFormat);

// Display pixels per logical point of a monitor `logical` shown `pictureWidth` pixels wide.
double displayScale(int pictureWidth, const Rect& logical);

// Reads `buffer` of a stream in `format` that shows the monitor `logical`. The picture, the
// buffer's crop region of it, is copied into `into` unless the buffer carries only cursor
// news (no data, a corrupted chunk or header) or cannot be read safely (stride, size or offset
// outside the mapped memory, an unknown format): then `into` is left as it was. The cursor
// position, in buffer pixels from the picture's corner, comes back in global logical points.
BufferReading readBuffer(const spa_buffer& buffer, const VideoFormat& format, const Rect& logical,
                         StoredFrame& into);

// The part of `frame` that `plan` shows, as pixman reads it, sharing the frame's memory;
// nullptr when the plan shows none of it. `logical` is the frame's monitor.
PixmanImage visiblePart(const StoredFrame& frame, const CapturePlan& plan, const Rect& logical);

}  // namespace zg
