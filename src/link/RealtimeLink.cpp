#include "link/RealtimeLink.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "link/RelayFrames.h"

namespace zg {

RealtimeLink::RealtimeLink(Loop& loop, WebSocketFactory factory, std::string url)
    : loop_(loop), factory_(std::move(factory)), url_(std::move(url)), lastRx_(loop.now()) {}

RealtimeLink::~RealtimeLink() {
    closeSocket();
}

void RealtimeLink::start(const std::string& name) {
    const int64_t g = gen_ + 1;
    stop();
    // onUp(false) inside stop() may itself have started or stopped the link: that call wins.
    if (g != gen_) return;
    topic_ = channelTopic(name);
    connect(g);
}

void RealtimeLink::stop() {
    ++gen_;
    heartbeat_.reset();
    closeSocket();
    setDown();
}

bool RealtimeLink::send(const std::string& event, Payload payload) {
    if (!joined_) return false;
    raw(broadcastFrame(topic_, nextRef(), joinRef_, event, std::move(payload)));
    return true;
}

void RealtimeLink::connect(int64_t g) {
    if (g != gen_) return;
    socket_ = factory_(url_);
    lastRx_ = loop_.now();  // the silence limit counts from the start of the attempt
    const WebSocket* socket = socket_.get();
    socket_->open(lifetime_.guard([this, socket, g] { opened(socket, g); }));
    receive(g);
    // Every change of generation resets this handle, so a tick always belongs to the current
    // connection; the handle also cancels the timer when the link is destroyed.
    heartbeat_ = loop_.every(kHeartbeatInterval, [this] { tick(); });
}

void RealtimeLink::opened(const WebSocket* socket, int64_t g) {
    // The address alone could be reused by a newer socket; the generation tells them apart.
    if (g != gen_ || socket != socket_.get()) return;
    joinRef_ = nextRef();
    raw(joinFrame(topic_, joinRef_));
}

void RealtimeLink::receive(int64_t g) {
    socket_->receive(lifetime_.guard(
        [this, g](std::optional<WebSocketMessage> message) { received(g, std::move(message)); }));
}

void RealtimeLink::received(int64_t g, std::optional<WebSocketMessage> message) {
    if (g != gen_) return;
    if (!message) {
        drop(g);
        return;
    }
    lastRx_ = loop_.now();
    if (message->data.size() > kMaxIncomingBytes) {
        if (log && loop_.now() - lastRefusalLog_ >= kRefusalLogPeriod) {
            lastRefusalLog_ = loop_.now();
            log("a message of " + std::to_string(message->data.size()) +
                " bytes was refused unread: phones send at most " +
                std::to_string(kMaxIncomingBytes));
        }
        receive(g);
        return;
    }
    Incoming in = classifyFrame(message->data, topic_, joinRef_);
    switch (in.kind) {
        case Incoming::Kind::JoinAccepted:
            joined_ = true;
            retry_ = 0;
            if (onUp) onUp(true);
            break;
        case Incoming::Kind::JoinRefused:
        case Incoming::Kind::ChannelFailed:
            drop(g);
            break;
        case Incoming::Kind::Event:
            if (onMessage) onMessage(std::move(in.event), std::move(in.payload));
            break;
        case Incoming::Kind::Ignored:
            break;
    }
    // A drop, or a callback that stopped or restarted the link, has ended this connection.
    if (g == gen_) receive(g);
}

void RealtimeLink::tick() {
    if (loop_.now() - lastRx_ > kSilenceLimit) {
        drop(gen_);
        return;
    }
    raw(heartbeatFrame(nextRef()));
}

void RealtimeLink::drop(int64_t g) {
    if (g != gen_) return;
    gen_ = g + 1;
    heartbeat_.reset();
    closeSocket();
    setDown();
    const Seconds delay = std::min(
        kBackoffBase * std::pow(2.0, std::min(retry_, kBackoffExponentCap)), kBackoffCeiling);
    ++retry_;
    loop_.after(delay, lifetime_.guard([this, g] { connect(g + 1); }));
}

void RealtimeLink::closeSocket() {
    if (!socket_) return;
    socket_->close(kCloseCode);
    socket_.reset();
}

void RealtimeLink::setDown() {
    if (!joined_) return;
    joined_ = false;
    if (onUp) onUp(false);
}

std::string RealtimeLink::nextRef() {
    return std::to_string(++ref_);
}

void RealtimeLink::raw(const Payload& frame) {
    if (socket_) socket_->sendText(encodeFrame(frame));
}

}  // namespace zg
