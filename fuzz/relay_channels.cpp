// The relay's channels: three peers send messages, a line each (a digit and a frame: "1{...}"
// is peer 1's), or hang up ("x1"). Limits are small so that refusals, drops and abuse all happen.
// Peers that end are freed at once, so a channel still holding one is a use after free.
#include <array>
#include <memory>

#include "FuzzInput.h"
#include "relay/Channels.h"
#include "relay/Connection.h"
#include "relay/Protocol.h"

using zg::fuzz::require;
using zg::relay::Connection;

namespace {

struct Peer : Connection {
    explicit Peer(const zg::RelayLimits& limits) : Connection("peer", limits) {}
    void send(const QString& frame) override {
        QString why;
        require(zg::relay::parseFrame(frame.toUtf8(), why).has_value(), "the relay sends frames");
    }
    void close(QWebSocketProtocol::CloseCode, const QString&) override { closing_ = true; }
    bool closed() const { return closing_; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const zg::RelayLimits limits{.messagesPerSecond = 4,
                                 .messageBurst = 12,
                                 .maxChannelsPerConnection = 3,
                                 .maxTopicLength = 40};
    zg::relay::Channels channels(limits);
    std::array<std::unique_ptr<Peer>, 3> peers;
    for (auto& peer : peers) peer = std::make_unique<Peer>(limits);
    // As the server does when a connection finishes; a new peer takes its place.
    const auto hangUp = [&](std::unique_ptr<Peer>& peer) {
        channels.remove(peer.get());
        peer = std::make_unique<Peer>(limits);
    };
    for (const std::string_view line : zg::fuzz::split(zg::fuzz::text(data, size), '\n')) {
        if (line.size() < 2) continue;
        const bool hangsUp = line[0] == 'x';
        std::unique_ptr<Peer>& peer = peers[static_cast<unsigned char>(line[hangsUp]) % 3];
        if (hangsUp) {
            hangUp(peer);
            continue;
        }
        channels.handle(peer.get(), QByteArray(line.data() + 1, qsizetype(line.size() - 1)));
        if (peer->closed()) hangUp(peer);
    }
    for (auto& peer : peers) channels.remove(peer.get());
    return 0;
}
