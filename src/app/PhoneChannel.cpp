#include "app/PhoneChannel.h"

#include "link/Base64.h"
#include "screen/FramePayload.h"

namespace zg {

PhoneChannel::PhoneChannel(Loop& loop, Broadcast broadcast, std::string_view secret,
                           std::string hostId, bool plain)
    : loop_(loop),
      broadcast_(std::move(broadcast)),
      hostId_(std::move(hostId)),
      plain_(plain),
      sealer_(secret, hostId_) {}

void PhoneChannel::send(const std::string& event, const Payload& payload) {
    broadcast_(seal::kSealedEvent, sealer_.seal(event, payload));
    if (speakOpenly()) broadcast_(event, payload);
}

std::size_t PhoneChannel::sendFrame(std::int64_t n, double zoom, std::string_view jpeg,
                                    std::size_t limit) {
    // The picture travels as bytes after the header, Base64-encoded once with it.
    Payload sealed = sealer_.seal("frame", {{"n", n}, {"z", zoom}}, jpeg);
    const auto text = sealed.find("s");  // absent only without a usable secret
    std::size_t chars = text != sealed.end() ? text->get_ref<const std::string&>().size() : 0;
    Payload open;
    const bool openly = speakOpenly();
    if (openly) {
        open = framePayload(n, zoom, base64(jpeg));
        chars = std::max(chars, open["img"].get_ref<const std::string&>().size());
    }
    if (chars > limit) return chars;
    broadcast_(seal::kSealedEvent, std::move(sealed));
    if (openly) broadcast_("frame", std::move(open));
    return chars;
}

void PhoneChannel::receive(const std::string& event, const Payload& payload) {
    if (event != seal::kSealedEvent) {
        if (plain_) {
            plainHeard_ = loop_.now();
            if (onMessage) onMessage(event, payload);
        } else {
            refuse("an unsealed \"" + event.substr(0, 32) +
                   "\" was refused: only phones that opened this computer's link are heard "
                   "(--plain lets others in)");
        }
        return;
    }
    std::string why;
    if (const auto message = sealer_.open(payload, why)) {
        if (onMessage) onMessage(message->event, message->payload);
    } else {
        refuse(why);
    }
}

void PhoneChannel::rekey(std::string_view secret) {
    sealer_ = Sealer(secret, hostId_);
}

void PhoneChannel::refuse(const std::string& why) {
    if (loop_.now() - lastRefusalLog_ < kRefusalLogPeriod) return;
    lastRefusalLog_ = loop_.now();
    if (log) log(why);
}

}  // namespace zg
