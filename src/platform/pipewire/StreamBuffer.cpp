#include "platform/pipewire/StreamBuffer.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace zg {
namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// The picture's area in buffer pixels: the crop region, clipped to the buffer, or all of it.
struct Area {
    int left = 0, top = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

Area pictureArea(const spa_buffer& buffer, const VideoFormat& format) {
    Area area{0, 0, format.width, format.height};
    const auto* crop = static_cast<const spa_meta_region*>(
        spa_buffer_find_meta_data(&buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
    if (!crop || !spa_meta_region_is_valid(crop)) return area;
    const spa_region& r = crop->region;
    const int64_t left = std::clamp<int64_t>(r.position.x, 0, format.width);
    const int64_t top = std::clamp<int64_t>(r.position.y, 0, format.height);
    const int64_t right =
        std::clamp<int64_t>(int64_t(r.position.x) + r.size.width, 0, format.width);
    const int64_t bottom =
        std::clamp<int64_t>(int64_t(r.position.y) + r.size.height, 0, format.height);
    return {int(left), int(top), int(right - left), int(bottom - top)};
}

// The cursor metadata, when the producer sent any news in it. Its bitmap is not read: an empty
// one only means no visible sprite (mutter sends one before the first motion), and the
// position is valid all the same. A position off the picture puts the cursor elsewhere.
void readCursor(const spa_buffer& buffer, const Area& area, const Rect& logical,
                BufferReading& reading) {
    const spa_meta* meta = spa_buffer_find_meta(&buffer, SPA_META_Cursor);
    if (!meta || !meta->data || meta->size < sizeof(spa_meta_cursor)) return;
    spa_meta_cursor cursor;
    std::memcpy(&cursor, meta->data, sizeof cursor);
    if (cursor.id == 0) return;  // no news
    const spa_point& at = cursor.position;
    if (area.empty() || at.x < 0 || at.y < 0 || at.x >= area.width || at.y >= area.height) {
        reading.cursor = BufferReading::Cursor::away;
        return;
    }
    const double scale = displayScale(area.width, logical);
    reading.cursor = BufferReading::Cursor::here;
    reading.cursorAt = {logical.x + at.x / scale, logical.y + at.y / scale};
}

// Whether the buffer carries a picture at all; cursor-only buffers do not.
const spa_data* pictureData(const spa_buffer& buffer) {
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
    if (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) return nullptr;
    if (buffer.n_datas < 1 || !buffer.datas) return nullptr;
    const spa_data& data = buffer.datas[0];
    if (!data.data || !data.chunk) return nullptr;
    if (data.chunk->size == 0 || (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) return nullptr;
    return &data;
}

}  // namespace

std::optional<pixman_format_code_t> pixmanFormat(uint32_t spaVideoFormat) {
    switch (spaVideoFormat) {
        case SPA_VIDEO_FORMAT_BGRx:
        case SPA_VIDEO_FORMAT_BGRA:
            return kLittleEndian ? PIXMAN_x8r8g8b8 : PIXMAN_b8g8r8x8;
        case SPA_VIDEO_FORMAT_RGBx:
        case SPA_VIDEO_FORMAT_RGBA:
            return kLittleEndian ? PIXMAN_x8b8g8r8 : PIXMAN_r8g8b8x8;
        default:
            return std::nullopt;
    }
}

double displayScale(int pictureWidth, const Rect& logical) {
    return pictureWidth > 0 && logical.width > 0 ? pictureWidth / logical.width : 1.0;
}

BufferReading readBuffer(const spa_buffer& buffer, const VideoFormat& format, const Rect& logical,
                         StoredFrame& into) {
    BufferReading reading;
    const Area area = pictureArea(buffer, format);
    readCursor(buffer, area, logical, reading);

    const spa_data* data = pictureData(buffer);
    const auto pixel = pixmanFormat(format.format);
    if (!data || !pixel || area.empty()) return reading;
    // Every row of the buffer must lie in the mapped memory before any is read.
    const spa_chunk& chunk = *data->chunk;
    const int64_t rowBytes = int64_t(format.width) * 4;
    const int64_t stride = chunk.stride == 0 ? rowBytes : chunk.stride;
    if (stride < rowBytes || chunk.offset > data->maxsize ||
        chunk.size > data->maxsize - chunk.offset || stride * format.height > chunk.size) {
        return reading;
    }

    const auto* first = static_cast<const uint8_t*>(data->data) + chunk.offset + area.top * stride +
                        int64_t(area.left) * 4;
    const size_t packed = size_t(area.width) * 4;
    into.bytes.resize(packed * size_t(area.height));
    for (int y = 0; y < area.height; ++y)
        std::memcpy(into.bytes.data() + packed * size_t(y), first + y * stride, packed);
    into.width = area.width;
    into.height = area.height;
    into.format = *pixel;
    reading.picture = true;
    return reading;
}

PixmanImage visiblePart(const StoredFrame& frame, const CapturePlan& plan, const Rect& logical) {
    if (plan.empty() || frame.width < 1 || frame.height < 1) return nullptr;
    // Whole frame pixels; the monitor's edges are whole pixels, so rounding stays on it.
    const double scale = displayScale(frame.width, logical);
    const Rect& source = plan.sourceRect;
    const long left = std::clamp(std::lround(source.x * scale), 0L, long(frame.width));
    const long top = std::clamp(std::lround(source.y * scale), 0L, long(frame.height));
    const long right = std::clamp(std::lround(source.right() * scale), 0L, long(frame.width));
    const long bottom = std::clamp(std::lround(source.bottom() * scale), 0L, long(frame.height));
    if (right <= left || bottom <= top) return nullptr;
    // pixman only reads a source image; it takes no const pointer all the same.
    auto* pixels = const_cast<uint8_t*>(frame.bytes.data()) +
                   (size_t(top) * size_t(frame.width) + size_t(left)) * 4;
    return PixmanImage(pixman_image_create_bits(frame.format, int(right - left), int(bottom - top),
                                                reinterpret_cast<uint32_t*>(pixels),
                                                frame.width * 4));
}

}  // namespace zg
