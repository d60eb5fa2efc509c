#include "link/Seal.h"

#include "link/Base64.h"

#include <sodium.h>

#include <algorithm>
#include <cstdlib>

namespace zg {
namespace seal {
namespace {

constexpr int kBase64 = sodium_base64_VARIANT_ORIGINAL;

std::string_view label(Direction direction) {
    return direction == Direction::PhoneToAgent ? "zephyrglint phone to agent"
                                                : "zephyrglint agent to phone";
}

}  // namespace

std::string toBase64(std::string_view bytes) {
    return base64(bytes);  // sealed bytes are no secret: the fast encoder will do
}

std::optional<std::string> fromBase64(std::string_view text) {
    std::string bytes(text.size() / 4 * 3 + 3, '\0');
    std::size_t size = 0;
    if (!decodeBase64(text, kBase64, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(),
                      size)) {
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}

std::optional<Key> directionKey(std::string_view secret, Direction direction) {
    unsigned char bytes[32];
    std::size_t size = 0;
    if (!decodeBase64(secret, sodium_base64_VARIANT_URLSAFE_NO_PADDING, bytes, sizeof bytes,
                      size) ||
        size != sizeof bytes) {
        return std::nullopt;
    }
    std::string input(label(direction));
    input += '\0';
    input.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    unsigned char hash[crypto_hash_sha512_BYTES];
    crypto_hash_sha512(hash, reinterpret_cast<const unsigned char*>(input.data()), input.size());
    sodium_memzero(bytes, sizeof bytes);
    Key key;
    std::copy_n(hash, key.size(), key.begin());
    sodium_memzero(hash, sizeof hash);
    return key;
}

void box(const Key& key, std::string& message) {
    static_assert(kTagBytes == crypto_secretbox_MACBYTES);
    if (message.size() < kNonceBytes + kTagBytes) return;
    auto* bytes = reinterpret_cast<unsigned char*>(message.data());
    unsigned char* plaintext = bytes + kNonceBytes + kTagBytes;
    crypto_secretbox_easy(bytes + kNonceBytes, plaintext, message.size() - kNonceBytes - kTagBytes,
                          bytes, key.data());
}

std::optional<std::string> unbox(const Key& key, std::string_view sealed) {
    if (sealed.size() < kNonceBytes + kTagBytes) return std::nullopt;
    const auto* in = reinterpret_cast<const unsigned char*>(sealed.data());
    std::string plaintext(sealed.size() - kNonceBytes - kTagBytes, '\0');
    if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(plaintext.data()),
                                   in + kNonceBytes, sealed.size() - kNonceBytes, in,
                                   key.data()) != 0) {
        return std::nullopt;
    }
    return plaintext;
}

}  // namespace seal

Sealer::Sealer(std::string_view secret, std::string id, Side side)
    : side_(side),
      sealKey_(seal::directionKey(secret, side == Side::Agent ? seal::Direction::AgentToPhone
                                                              : seal::Direction::PhoneToAgent)),
      openKey_(seal::directionKey(secret, side == Side::Agent ? seal::Direction::PhoneToAgent
                                                              : seal::Direction::AgentToPhone)),
      id_(std::move(id)) {
    // Nonces must never repeat: without a working random source, stopping is the lesser harm.
    if (sodium_init() < 0) std::abort();
}

Payload Sealer::seal(const std::string& event, const Payload& payload, std::string_view attachment,
                     const std::string& run) {
    if (!sealKey_) return Payload::object();
    Payload header{{"e", event}, {"p", payload}, {"id", id_}, {"c", ++counter_}};
    if (!run.empty()) header["run"] = run;
    const std::string line = header.dump(-1, ' ', false, Payload::error_handler_t::replace);
    std::string message;
    message.reserve(seal::kNonceBytes + seal::kTagBytes + line.size() + 1 + attachment.size());
    message.resize(seal::kNonceBytes + seal::kTagBytes);
    randombytes_buf(message.data(), seal::kNonceBytes);
    message += line;
    message += '\n';
    message.append(attachment);
    seal::box(*sealKey_, message);
    return {{"s", seal::toBase64(message)}};
}

std::optional<Unsealed> Sealer::open(const Payload& sealed, std::string& why) {
    const auto text = sealed.is_object() ? sealed.find("s") : sealed.end();
    const auto bytes = text != sealed.end() && text->is_string()
                           ? seal::fromBase64(text->get_ref<const std::string&>())
                           : std::nullopt;
    const auto plaintext = bytes && openKey_ ? seal::unbox(*openKey_, *bytes) : std::nullopt;
    if (!plaintext) {
        why = "a sealed message did not open: wrong secret, damaged or forged";
        return std::nullopt;
    }
    const std::size_t end = std::min(plaintext->find('\n'), plaintext->size());
    const Payload header = Payload::parse(plaintext->substr(0, end), nullptr, false);
    const auto field = [&](const char* key) {
        return header.is_object() && header.contains(key) ? header[key] : Payload();
    };
    const Payload event = field("e"), id = field("id"), counter = field("c"), run = field("run");
    if (!event.is_string() || !id.is_string() || !counter.is_number_unsigned()) {
        why = "a sealed message had no event, sender or counter";
        return std::nullopt;
    }
    if (side_ == Side::Agent && run != id_ && !(event == "hello" && run.is_null())) {
        why = "a sealed message was meant for another run of the agent";
        return std::nullopt;
    }
    const std::uint64_t c = counter.get<std::uint64_t>();
    auto& [last, at] = senders_[id.get<std::string>()];
    if (at != 0 && c <= last) {
        why = "a sealed message was replayed";
        return std::nullopt;
    }
    last = c;
    at = ++opened_;
    if (senders_.size() > kMaxSenders) {
        senders_.erase(std::ranges::min_element(
            senders_, {}, [](const auto& sender) { return sender.second.second; }));
    }
    Unsealed message{event.get<std::string>(), field("p"),
                     plaintext->substr(end + (end < plaintext->size()))};
    if (!message.payload.is_object()) message.payload = Payload::object();
    return message;
}

}  // namespace zg
