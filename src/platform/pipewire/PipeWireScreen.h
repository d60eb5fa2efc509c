#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/ScreenStream.h"
#include "platform/canvas/FrameCanvas.h"
#include "screen/CapturePlan.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct spa_buffer;

namespace zg {

// The screen through PipeWire: one video stream per monitor, the latest picture of each copied
// out of its buffer as it arrives, and the cursor from the streams' metadata; pictures around
// the cursor are made from those copies, as X11Capture makes them from the X server's pixels.
// Threading: PipeWire calls back on a thread of its own (pw_thread_loop); cursor() may be
// called from any thread, capture() from one thread at a time.
class PipeWireScreen {
public:
    // Connects to PipeWire through `fd` (the portal's OpenPipeWireRemote fd, taken over and
    // closed by this object; -1: the default daemon, for tests) and consumes `streams`; nullptr
    // with `error` (a sentence) when that fails.
    static std::unique_ptr<PipeWireScreen> open(int fd, std::vector<ScreenStream> streams,
                                                std::string& error);
    ~PipeWireScreen();  // stops the thread loop, disconnects
    // Lets PipeWire's thread run: frames, cursor news and losses arrive from then on. Until
    // then nothing calls back, so onLost can be set safely between open() and start().
    void start();
    PipeWireScreen(const PipeWireScreen&) = delete;
    PipeWireScreen& operator=(const PipeWireScreen&) = delete;

    // Where the cursor is in global logical points, from the metadata of the stream that has
    // it; nothing until known.
    std::optional<Point> cursor() const;
    // The picture `request` describes around the cursor (its hidden rectangles black), from the
    // latest picture of the monitor under it; black where no picture has come yet; nothing
    // when it cannot be encoded.
    std::optional<std::string> capture(const CaptureRequest& request,
                                       CaptureSteps* steps = nullptr);

    // Set before start(); called on the PipeWire thread when a stream fails or the remote goes
    // away (e.g. the compositor ended the session): the caller posts it to its main thread.
    // Called once at most.
    std::function<void(std::string why)> onLost;

private:
    struct Stream;
    struct Callbacks;

    PipeWireScreen();
    bool connect(int fd, std::vector<ScreenStream> streams, std::string& error);
    void lost(std::string why);
    void read(Stream& stream, const spa_buffer& buffer);

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    struct CoreListener;
    std::unique_ptr<CoreListener> coreListener_;
    std::vector<std::unique_ptr<Stream>> streams_;
    bool started_ = false;
    bool lostReported_ = false;  // PipeWire thread only

    mutable std::mutex mutex_;  // guards what follows, and each stream's latest picture
    std::optional<Point> cursor_;
    size_t cursorStream_ = 0;  // the stream that last had the cursor

    FrameCanvas canvas_;  // capture()'s thread only
};

}  // namespace zg
