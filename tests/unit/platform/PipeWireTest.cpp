#include <gtest/gtest.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>
#include <sys/socket.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <fcntl.h>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/canvas/FrameCanvas.h"
#include "platform/pipewire/PipeWireScreen.h"
#include "platform/pipewire/StreamBuffer.h"

namespace zg::test {
namespace {

using Rgb = std::array<uint8_t, 3>;
constexpr Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255},
    magenta{255, 0, 255};

// A buffer as a producer hands it over, in memory of our own: one plane of pixels in a
// given format and stride, and whichever metadata a case adds.
struct FakeBuffer {
    std::vector<uint8_t> memory;
    spa_chunk chunk{};
    spa_data data{};
    spa_meta_header header{};
    spa_meta_region crop{};
    std::vector<uint8_t> cursor;  // spa_meta_cursor, then its bitmap
    std::vector<spa_meta> metas;
    spa_buffer buffer{};

    // `rows` of colours, written in `format`'s byte order with `stride` bytes a row; alpha and
    // padding bytes are 0, as a compositor may leave them.
    FakeBuffer(uint32_t format, const std::vector<std::vector<Rgb>>& rows, int stride) {
        memory.assign(size_t(stride) * rows.size(), 0);
        for (size_t y = 0; y < rows.size(); ++y) {
            for (size_t x = 0; x < rows[y].size(); ++x) {
                const Rgb& c = rows[y][x];
                const bool bgr = format == SPA_VIDEO_FORMAT_BGRx || format == SPA_VIDEO_FORMAT_BGRA;
                uint8_t* p = memory.data() + y * size_t(stride) + x * 4;
                p[0] = bgr ? c[2] : c[0];
                p[1] = c[1];
                p[2] = bgr ? c[0] : c[2];
            }
        }
        chunk = {0, uint32_t(memory.size()), stride, 0};
        data.type = SPA_DATA_MemPtr;
        data.maxsize = uint32_t(memory.size());
        data.data = memory.data();
        data.chunk = &chunk;
    }
    FakeBuffer& withCrop(int x, int y, int width, int height) {
        crop.region = {{x, y}, {uint32_t(width), uint32_t(height)}};
        return *this;
    }
    // A cursor at `x`, `y` buffer pixels; `bitmap` pixels a side (0: an empty bitmap, no
    // visible sprite; -1: no bitmap news).
    FakeBuffer& withCursor(int x, int y, int bitmap = -1, uint32_t id = 1) {
        spa_meta_cursor meta{};
        meta.id = id;
        meta.position = {x, y};
        cursor.resize(sizeof meta + sizeof(spa_meta_bitmap) + 64);
        if (bitmap >= 0) {
            meta.bitmap_offset = sizeof meta;
            spa_meta_bitmap image{};
            image.format = bitmap ? SPA_VIDEO_FORMAT_ARGB : 0;
            image.size = {uint32_t(bitmap), uint32_t(bitmap)};
            std::memcpy(cursor.data() + sizeof meta, &image, sizeof image);
        }
        std::memcpy(cursor.data(), &meta, sizeof meta);
        return *this;
    }
    const spa_buffer& get() {
        metas = {{SPA_META_Header, sizeof header, &header}};
        if (crop.region.size.width) metas.push_back({SPA_META_VideoCrop, sizeof crop, &crop});
        if (!cursor.empty())
            metas.push_back({SPA_META_Cursor, uint32_t(cursor.size()), cursor.data()});
        buffer = {uint32_t(metas.size()), 1, metas.data(), &data};
        return buffer;
    }
};

// Reads `buffer` of a stream showing `logical`, then paints the picture of the `w` x `h`
// points around `pointer` at `dpr` pixels a point, as capture() would; the canvas's colours.
std::vector<Rgb> painted(const StoredFrame& frame, Rect logical, Point pointer, double w, double h,
                         double dpr) {
    const CapturePlan plan = planCapture(pointer, logical, displayScale(frame.width, logical),
                                         {.w = w, .h = h, .zoom = 1, .dpr = dpr});
    FrameCanvas canvas;
    canvas.paint(plan, visiblePart(frame, plan, logical).get(), {});
    std::vector<Rgb> out;
    for (uint32_t word : canvas.pixels())
        out.push_back({uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)});
    return out;
}

TEST(StreamBuffer, FourFormatsAnyStrideAndTheCropRegionGiveTheSameColours) {
    const std::vector<std::vector<Rgb>> quadrants = {{red, green}, {blue, white}};
    // The same quadrants inside a frame of magenta, for the crop region to cut out.
    const std::vector<std::vector<Rgb>> framed = {{magenta, magenta, magenta, magenta},
                                                  {magenta, red, green, magenta},
                                                  {magenta, blue, white, magenta}};
    for (uint32_t format : {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                            SPA_VIDEO_FORMAT_RGBA}) {
        for (int padding : {0, 12}) {
            for (bool cropped : {false, true}) {
                SCOPED_TRACE(testing::Message() << "format " << format << ", padding " << padding
                                                << (cropped ? ", cropped" : ""));
                const auto& rows = cropped ? framed : quadrants;
                const int width = int(rows[0].size()), height = int(rows.size());
                FakeBuffer buffer(format, rows, width * 4 + padding);
                if (cropped) buffer.withCrop(1, 1, 2, 2);
                StoredFrame frame;
                const BufferReading reading =
                    readBuffer(buffer.get(), {format, width, height}, {0, 0, 2, 2}, frame);
                ASSERT_TRUE(reading.picture);
                EXPECT_EQ(std::tuple(frame.width, frame.height), std::tuple(2, 2));
                EXPECT_EQ(painted(frame, {0, 0, 2, 2}, {1, 1}, 2, 2, 1),
                          (std::vector<Rgb>{red, green, blue, white}));
            }
        }
    }
}

TEST(StreamBuffer, HiDpiPicturesAreCutAndCursorsPlacedInLogicalPoints) {
    // A monitor of 2 x 2 points at (100, 50), 4 x 4 pixels: each quadrant is 2 x 2 pixels.
    const Rect logical{100, 50, 2, 2};
    FakeBuffer buffer(SPA_VIDEO_FORMAT_BGRx,
                      {{red, red, green, green},
                       {red, red, green, green},
                       {blue, blue, white, white},
                       {blue, blue, white, white}},
                      16);
    buffer.withCursor(3, 1, 24);
    StoredFrame frame;
    const BufferReading reading =
        readBuffer(buffer.get(), {SPA_VIDEO_FORMAT_BGRx, 4, 4}, logical, frame);
    ASSERT_TRUE(reading.picture);
    EXPECT_EQ(reading.cursor, BufferReading::Cursor::here);
    EXPECT_EQ(reading.cursorAt, (Point{101.5, 50.5}));
    // The whole monitor at its own density, then one point around its top-left quarter.
    EXPECT_EQ(painted(frame, logical, {101, 51}, 2, 2, 2),
              (std::vector<Rgb>{red, red, green, green, red, red, green, green, blue, blue, white,
                                white, blue, blue, white, white}));
    EXPECT_EQ(painted(frame, logical, {100.5, 50.5}, 1, 1, 2), (std::vector<Rgb>(4, red)));
    EXPECT_EQ(painted(frame, logical, {101.5, 51.5}, 1, 1, 2), (std::vector<Rgb>(4, white)));
}

TEST(StreamBuffer, CursorOnlyBuffersMoveTheCursorAndKeepThePicture) {
    const VideoFormat format{SPA_VIDEO_FORMAT_BGRx, 2, 2};
    const Rect logical{1280, 0, 1, 1};  // a second monitor at 2 pixels a point
    StoredFrame frame;
    FakeBuffer first(SPA_VIDEO_FORMAT_BGRx, {{red, green}, {red, green}}, 8);
    ASSERT_TRUE(readBuffer(first.get(), format, logical, frame).picture);

    const std::vector<std::pair<const char*, void (*)(FakeBuffer&)>> cursorOnly = {
        {"empty chunk", [](FakeBuffer& b) { b.chunk.size = 0; }},
        {"corrupted chunk", [](FakeBuffer& b) { b.chunk.flags = SPA_CHUNK_FLAG_CORRUPTED; }},
        {"corrupted header",
         [](FakeBuffer& b) { b.header.flags = SPA_META_HEADER_FLAG_CORRUPTED; }},
        {"no data", [](FakeBuffer& b) { b.data.data = nullptr; }},
    };
    for (const auto& [name, mark] : cursorOnly) {
        SCOPED_TRACE(name);
        FakeBuffer next(SPA_VIDEO_FORMAT_BGRx, {{blue, blue}, {blue, blue}}, 8);
        next.withCursor(1, 0);
        mark(next);
        const BufferReading reading = readBuffer(next.get(), format, logical, frame);
        EXPECT_FALSE(reading.picture);
        EXPECT_EQ(reading.cursor, BufferReading::Cursor::here);
        EXPECT_EQ(reading.cursorAt, (Point{1280.5, 0}));
        EXPECT_EQ(painted(frame, logical, {1280.5, 0.5}, 1, 1, 2),
                  (std::vector<Rgb>{red, green, red, green}));
    }
}

TEST(StreamBuffer, TheCursorIsElsewhereWhenItLiesOffThePictureWhateverItsBitmap) {
    const std::vector<std::tuple<const char*, int, int, int, uint32_t, BufferReading::Cursor>>
        cases = {
            {"new bitmap", 1, 1, 24, 1, BufferReading::Cursor::here},
            {"no sprite", 0, 0, 0, 1, BufferReading::Cursor::here},
            {"off the picture", 2, 0, -1, 1, BufferReading::Cursor::away},
            {"no news", 1, 1, -1, 0, BufferReading::Cursor::unknown},
        };
    for (const auto& [name, x, y, bitmap, id, expected] : cases) {
        SCOPED_TRACE(name);
        FakeBuffer buffer(SPA_VIDEO_FORMAT_BGRx, {{red, red}, {red, red}}, 8);
        buffer.withCursor(x, y, bitmap, id);
        StoredFrame frame;
        EXPECT_EQ(
            readBuffer(buffer.get(), {SPA_VIDEO_FORMAT_BGRx, 2, 2}, {0, 0, 2, 2}, frame).cursor,
            expected);
    }
}

TEST(StreamBuffer, BuffersThatCannotBeReadSafelyAreRefusedAndThePictureKept) {
    const std::vector<std::pair<const char*, void (*)(FakeBuffer&, VideoFormat&)>> cases = {
        {"shorter than stride x height",
         [](FakeBuffer& b, VideoFormat&) { b.chunk.size = b.data.maxsize = 2 * 12 - 1; }},
        {"chunk past the memory", [](FakeBuffer& b, VideoFormat&) { b.chunk.offset = 4; }},
        {"offset past the memory",
         [](FakeBuffer& b, VideoFormat&) { b.chunk.offset = b.data.maxsize + 1; }},
        {"stride under a row", [](FakeBuffer& b, VideoFormat&) { b.chunk.stride = 4; }},
        {"negative stride", [](FakeBuffer& b, VideoFormat&) { b.chunk.stride = -12; }},
        {"format taller than the buffer", [](FakeBuffer&, VideoFormat& f) { f.height = 3; }},
        {"unknown format", [](FakeBuffer&, VideoFormat& f) { f.format = SPA_VIDEO_FORMAT_NV12; }},
        {"crop off the picture", [](FakeBuffer& b, VideoFormat&) { b.withCrop(5, 0, 2, 2); }},
    };
    for (const auto& [name, spoil] : cases) {
        SCOPED_TRACE(name);
        StoredFrame frame;
        VideoFormat format{SPA_VIDEO_FORMAT_BGRx, 2, 2};
        FakeBuffer good(SPA_VIDEO_FORMAT_BGRx, {{red, red}, {red, red}}, 12);
        ASSERT_TRUE(readBuffer(good.get(), format, {0, 0, 2, 2}, frame).picture);
        FakeBuffer bad(SPA_VIDEO_FORMAT_BGRx, {{blue, blue}, {blue, blue}}, 12);
        spoil(bad, format);
        EXPECT_FALSE(readBuffer(bad.get(), format, {0, 0, 2, 2}, frame).picture);
        EXPECT_EQ(painted(frame, {0, 0, 2, 2}, {1, 1}, 2, 2, 1), (std::vector<Rgb>(4, red)));
    }
}

// Without a picture yet, a black one of the plan's size; a remote that goes away is reported.
TEST(PipeWireScreen, PicturesAreBlackBeforeAnyFrameAndALostRemoteIsReported) {
    std::string error;
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    EXPECT_FALSE(PipeWireScreen::open(ends[0], {}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(fcntl(ends[0], F_GETFD), -1) << "the descriptor is closed even so";

    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    auto screen =
        PipeWireScreen::open(ends[0], {{42, {0, 0, 1280, 800}}, {43, {1280, 0, 800, 600}}}, error);
    ASSERT_TRUE(screen) << error;
    EXPECT_FALSE(screen->cursor());
    const auto jpeg = screen->capture({.w = 300, .h = 200, .zoom = 1, .dpr = 1});
    ASSERT_TRUE(jpeg);
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colours = 0;
    std::vector<uint8_t> rgb(300 * 200 * 3);
    ASSERT_EQ(tjDecompressHeader3(decoder, reinterpret_cast<const uint8_t*>(jpeg->data()),
                                  jpeg->size(), &width, &height, &subsampling, &colours),
              0);
    EXPECT_EQ(std::tuple(width, height), std::tuple(300, 200));
    ASSERT_EQ(tjDecompress2(decoder, reinterpret_cast<const uint8_t*>(jpeg->data()), jpeg->size(),
                            rgb.data(), 300, 0, 200, TJPF_RGB, 0),
              0);
    tjDestroy(decoder);
    EXPECT_LE(*std::max_element(rgb.begin(), rgb.end()), 2);

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<std::string> why;
    screen->onLost = [&](std::string text) {
        std::lock_guard lock(mutex);
        why = std::move(text);
        changed.notify_all();
    };
    close(ends[1]);  // the compositor's end goes away
    screen->start();
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return why.has_value(); }));
    EXPECT_FALSE(why.value_or("").empty());
}

}  // namespace
}  // namespace zg::test
