#include "platform/pipewire/PipeWireScreen.h"

#include <pipewire/pipewire.h>
#include <spa/utils/result.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/pipewire/StreamBuffer.h"
#include "platform/pipewire/StreamParams.h"

namespace zg {

struct PipeWireScreen::CoreListener {
    spa_hook hook{};
};

struct PipeWireScreen::Stream {
    PipeWireScreen* owner = nullptr;
    size_t index = 0;
    ScreenStream info;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    VideoFormat format;                   // PipeWire thread only
    std::shared_ptr<StoredFrame> spare;   // PipeWire thread only: the next picture goes here
    std::shared_ptr<StoredFrame> latest;  // under owner->mutex_
};

// PipeWire's C callbacks, on its thread.
struct PipeWireScreen::Callbacks {
    static void coreError(void* data, uint32_t id, int, int res, const char* message) {
        if (id != PW_ID_CORE) return;  // a stream's own errors come as its state
        static_cast<PipeWireScreen*>(data)->lost(
            res == -EPIPE ? std::string("The connection to PipeWire was closed.")
                          : "PipeWire failed: " + std::string(message ? message : "") + ".");
    }

    static void stateChanged(void* data, pw_stream_state, pw_stream_state state,
                             const char* error) {
        auto* s = static_cast<Stream*>(data);
        if (state == PW_STREAM_STATE_ERROR) {
            s->owner->lost("The screen stream of node " + std::to_string(s->info.nodeId) +
                           " failed: " + std::string(error ? error : "no reason given") + ".");
        } else if (state == PW_STREAM_STATE_UNCONNECTED) {
            s->owner->lost("The screen stream of node " + std::to_string(s->info.nodeId) +
                           " was disconnected.");
        }
    }

    static void paramChanged(void* data, uint32_t id, const spa_pod* param) {
        if (id != SPA_PARAM_Format) return;
        auto* s = static_cast<Stream*>(data);
        const auto format = agreedFormat(param);
        if (!format) return;
        s->format = *format;
        uint8_t memory[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory, sizeof memory);
        std::vector<const spa_pod*> params = bufferParams(builder);
        pw_stream_update_params(s->stream, params.data(), uint32_t(params.size()));
    }

    static void process(void* data) {
        auto* s = static_cast<Stream*>(data);
        // Every buffer in order: a newer one may carry only the cursor, an older the picture.
        while (pw_buffer* buffer = pw_stream_dequeue_buffer(s->stream)) {
            if (buffer->buffer) s->owner->read(*s, *buffer->buffer);
            pw_stream_queue_buffer(s->stream, buffer);
        }
    }

    static const pw_core_events& coreEvents() {
        static const pw_core_events events = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.error = coreError;
            return e;
        }();
        return events;
    }

    static const pw_stream_events& streamEvents() {
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = stateChanged;
            e.param_changed = paramChanged;
            e.process = process;
            return e;
        }();
        return events;
    }
};

std::unique_ptr<PipeWireScreen> PipeWireScreen::open(int fd, std::vector<ScreenStream> streams,
                                                     std::string& error) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });
    std::unique_ptr<PipeWireScreen> screen(new PipeWireScreen);
    if (!screen->connect(fd, std::move(streams), error)) return nullptr;
    return screen;
}

PipeWireScreen::PipeWireScreen() : coreListener_(std::make_unique<CoreListener>()) {}

PipeWireScreen::~PipeWireScreen() {
    // With the thread stopped nothing calls back; listeners go first all the same, so that
    // tearing down reports no loss.
    if (started_) pw_thread_loop_stop(loop_);
    for (const auto& stream : streams_) {
        if (!stream->stream) continue;
        spa_hook_remove(&stream->listener);
        pw_stream_destroy(stream->stream);
    }
    if (core_) {
        spa_hook_remove(&coreListener_->hook);
        pw_core_disconnect(core_);
    }
    if (context_) pw_context_destroy(context_);
    if (loop_) pw_thread_loop_destroy(loop_);
}

bool PipeWireScreen::connect(int fd, std::vector<ScreenStream> streams, std::string& error) {
    if (streams.empty()) {
        if (fd >= 0) ::close(fd);
        error = "The screen cast has no monitor to show.";
        return false;
    }
    loop_ = pw_thread_loop_new("zg-screen", nullptr);
    context_ = loop_ ? pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0) : nullptr;
    if (!context_) {
        if (fd >= 0) ::close(fd);
        error = "PipeWire could not be set up.";
        return false;
    }
    // PipeWire closes the descriptor from here on, also when connecting fails.
    core_ = fd >= 0 ? pw_context_connect_fd(context_, fd, nullptr, 0)
                    : pw_context_connect(context_, nullptr, 0);
    if (!core_) {
        error = "Could not connect to PipeWire: " + std::string(std::strerror(errno)) + ".";
        return false;
    }
    pw_core_add_listener(core_, &coreListener_->hook, &Callbacks::coreEvents(), this);

    for (const ScreenStream& info : streams) {
        auto stream = std::make_unique<Stream>();
        stream->owner = this;
        stream->index = streams_.size();
        stream->info = info;
        // Not moved on to another video node when this one goes: that would show a camera.
        pw_properties* props =
            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                              PW_KEY_NODE_DONT_RECONNECT, "true", nullptr);
        stream->stream = pw_stream_new(core_, "zephyrglint-screen", props);
        if (!stream->stream) {
            error = "Could not make a PipeWire stream: " + std::string(std::strerror(errno)) + ".";
            return false;
        }
        pw_stream_add_listener(stream->stream, &stream->listener, &Callbacks::streamEvents(),
                               stream.get());
        uint8_t memory[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory, sizeof memory);
        const spa_pod* offer = formatOffer(builder);
        const int result = pw_stream_connect(
            stream->stream, PW_DIRECTION_INPUT, info.nodeId,
            pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &offer, 1);
        streams_.push_back(std::move(stream));
        if (result < 0) {
            error = "Could not connect to the screen stream of node " +
                    std::to_string(info.nodeId) + ": " + spa_strerror(result) + ".";
            return false;
        }
    }
    return true;
}

void PipeWireScreen::start() {
    if (started_) return;
    started_ = pw_thread_loop_start(loop_) == 0;
    if (!started_) lost("PipeWire's thread could not be started.");
}

void PipeWireScreen::lost(std::string why) {
    if (lostReported_) return;
    lostReported_ = true;
    if (onLost) onLost(std::move(why));
}

void PipeWireScreen::read(Stream& stream, const spa_buffer& buffer) {
    // The whole picture is copied from every buffer that has one: buffers come only when the
    // screen changes, the copy hands the buffer back at once, and capture() scales from the
    // copy at its own pace. The picture capture() may still hold is never written: a spare
    // it let go of is reused, otherwise a new one is made.
    if (stream.spare && stream.spare.use_count() == 1) {
        // Pairs with the release in capture()'s letting go: its reads came before our writes.
        std::atomic_thread_fence(std::memory_order_acquire);
    } else {
        stream.spare = std::make_shared<StoredFrame>();
    }
    const BufferReading reading =
        readBuffer(buffer, stream.format, stream.info.logical, *stream.spare);
    std::lock_guard lock(mutex_);
    if (reading.picture) std::swap(stream.latest, stream.spare);
    if (reading.cursor == BufferReading::Cursor::here) {
        cursor_ = reading.cursorAt;
        cursorStream_ = stream.index;
    }
}

std::optional<Point> PipeWireScreen::cursor() const {
    std::lock_guard lock(mutex_);
    return cursor_;
}

std::optional<std::string> PipeWireScreen::capture(const CaptureRequest& request,
                                                   CaptureSteps* steps) {
    const auto start = std::chrono::steady_clock::now();
    std::shared_ptr<const StoredFrame> frame;
    Rect display;
    Point at;
    {
        std::lock_guard lock(mutex_);
        const Stream& stream = *streams_[cursorStream_];
        display = stream.info.logical;
        // Until the cursor is known, the middle of the first monitor.
        at = cursor_.value_or(Point{display.x + display.width / 2, display.y + display.height / 2});
        frame = stream.latest;
    }
    // Before the first picture the scale is unknown; the black picture is then at 1.
    const double scale = frame ? displayScale(frame->width, display) : 1.0;
    const CapturePlan plan = planCapture(at, display, scale, request);
    const PixmanImage source = frame ? visiblePart(*frame, plan, display) : nullptr;
    return canvas_.render(plan, source.get(), request, start, steps);
}

}  // namespace zg
