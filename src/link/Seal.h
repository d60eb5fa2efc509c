#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "link/Payload.h"

namespace zg {

// The sealed channel. Every message between a phone and the agent travels as one broadcast of
// kSealedEvent whose payload is {"s": Base64 of nonce, tag and ciphertext}: the relay sees one
// event name and opaque bytes. NaCl secretbox (XSalsa20-Poly1305) with a key per direction,
// derived from the pairing secret, and a fresh random nonce per message. The plaintext is a
// JSON header line, {"e": event, "p": payload, "id": sender, "c": counter} with "run": the
// agent's host id on the phones' messages, then any attachment bytes (a frame's picture).
namespace seal {

constexpr const char* kSealedEvent = "sealed";
constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kNonceBytes = 24;
using Key = std::array<unsigned char, kKeyBytes>;

enum class Direction { PhoneToAgent, AgentToPhone };

// The first 32 bytes of SHA-512 over the direction's label, a zero byte and the secret's
// bytes; nothing when `secret` is not the Base64url of 32 bytes.
std::optional<Key> directionKey(std::string_view secret, Direction direction);
constexpr std::size_t kTagBytes = 16;
// Seals `message` in place under `key`: it holds a nonce of kNonceBytes, kTagBytes of room for
// the tag, then the plaintext, which becomes the ciphertext. In place, since a frame's plaintext
// is the picture itself.
void box(const Key& key, std::string& message);
// The plaintext, when `sealed` is intact and was sealed under `key`.
std::optional<std::string> unbox(const Key& key, std::string_view sealed);
// Standard Base64, as the sealed payload carries the bytes.
std::string toBase64(std::string_view bytes);
std::optional<std::string> fromBase64(std::string_view text);

}  // namespace seal

// One message as it was before sealing.
struct Unsealed {
    std::string event;
    Payload payload;
    std::string attachment;
};

// One end of the sealed channel for one secret: the agent's for one run, or a phone's.
// Threading: main thread only.
class Sealer {
public:
    enum class Side { Agent, Phone };
    // Senders whose counters are remembered; beyond that the longest silent is forgotten.
    static constexpr std::size_t kMaxSenders = 64;

    // `secret` is the pairing secret as stored; `id` names this end: the agent's run, or the
    // phone. An invalid secret opens nothing and seals nothing.
    Sealer(std::string_view secret, std::string id, Side side = Side::Agent);

    // The payload of a kSealedEvent broadcast carrying `event`, `payload` and `attachment`; a
    // phone names the agent's run it speaks to, when it knows one.
    Payload seal(const std::string& event, const Payload& payload, std::string_view attachment = {},
                 const std::string& run = {});
    // A message from the other side when it opens with that side's key and carries a counter
    // above every earlier one from its sender; at the agent, it must also name this run (only
    // a "hello" may come before the phone knows it). Otherwise nothing, and `why` says what
    // was wrong.
    std::optional<Unsealed> open(const Payload& sealed, std::string& why);

private:
    Side side_;
    std::optional<seal::Key> sealKey_, openKey_;
    std::string id_;
    std::uint64_t counter_ = 0;
    // Per phone: the highest counter accepted, and when (in messages opened) it was.
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> senders_;
    std::uint64_t opened_ = 0;
};

}  // namespace zg
