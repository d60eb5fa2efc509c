#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/Payload.h"
#include "link/Seal.h"
#include "platform/Loop.h"

namespace zg {

// The agent's side of the conversation with the phones. What it says goes out sealed, and
// only sealed messages from phones are taken, unless plain phones are allowed: then the agent
// also takes unsealed messages, and while a phone that sent one may still be listening, says
// everything in the open too. What is refused is logged at most once a minute.
// Threading: main thread only.
class PhoneChannel {
public:
    static constexpr Seconds kRefusalLogPeriod = 60;
    // How long after its last message a plain phone is still spoken to in the open: as long as
    // the agent keeps any phone.
    static constexpr Seconds kPlainPhoneListens = 45;

    using Broadcast = std::function<void(const std::string& event, Payload payload)>;

    // `broadcast` puts one event on the relay channel; `hostId` names this run of the agent.
    PhoneChannel(Loop& loop, Broadcast broadcast, std::string_view secret, std::string hostId,
                 bool plain);

    // A message a phone sent, as it was before sealing.
    std::function<void(const std::string& event, const Payload& payload)> onMessage;
    // Lines for the user's log; may be absent.
    std::function<void(const std::string& line)> log;

    bool plain() const { return plain_; }

    void send(const std::string& event, const Payload& payload);
    // Sends frame `n`, whose picture was captured at `zoom`, unless the largest message that
    // would carry it exceeds `limit` characters. Returns that message's size either way.
    std::size_t sendFrame(std::int64_t n, double zoom, std::string_view jpeg, std::size_t limit);
    // One application event from the relay channel.
    void receive(const std::string& event, const Payload& payload);
    // Seals with a new secret from now on, as after a new code; earlier phones are refused.
    void rekey(std::string_view secret);

private:
    void refuse(const std::string& why);
    bool speakOpenly() const { return loop_.now() - plainHeard_ <= kPlainPhoneListens; }

    Loop& loop_;
    Broadcast broadcast_;
    const std::string hostId_;
    const bool plain_;
    Sealer sealer_;
    Seconds lastRefusalLog_ = -kRefusalLogPeriod;
    Seconds plainHeard_ = -2 * kPlainPhoneListens;  // when a plain phone last spoke
};

}  // namespace zg
