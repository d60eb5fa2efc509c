// The agent opening sealed messages, by the input's first byte:
//   0  the rest as the JSON payload of a "sealed" event: refused, since nothing sealed it;
//   1  the rest as sealed bytes, in Base64: refused, since they are forged;
//   2  the rest as plaintexts separated by zero bytes (a JSON header line, then an attachment),
//      each sealed with the phones' key: opened or refused with a reason, and what opens, a
//      phone's own Sealer seals again and another agent opens as it was.
#include "FuzzInput.h"
#include "link/Seal.h"

using zg::fuzz::require;
using zg::seal::kNonceBytes;
using zg::seal::kTagBytes;

namespace {

const std::string secret(43, 'A');  // 32 zero bytes in Base64url
const std::string run = "0a1b2c3d";
const zg::seal::Key phoneKey = *zg::seal::directionKey(secret, zg::seal::Direction::PhoneToAgent);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view rest = zg::fuzz::text(data + 1, size - 1);
    zg::Sealer agent(secret, run), otherAgent(secret, run);
    zg::Sealer phone(secret, "fuzz-phone", zg::Sealer::Side::Phone);
    std::string why;
    if (data[0] % 3 == 0) {
        require(!agent.open(zg::Payload::parse(rest, nullptr, false), why), "plain text refused");
    } else if (data[0] % 3 == 1) {
        require(!agent.open({{"s", zg::seal::toBase64(rest)}}, why), "forged bytes refused");
    } else {
        for (const std::string_view plaintext : zg::fuzz::split(rest, '\0')) {
            std::string message(kNonceBytes + kTagBytes, '\0');
            message += plaintext;
            zg::seal::box(phoneKey, message);
            why.clear();
            const auto opened = agent.open({{"s", zg::seal::toBase64(message)}}, why);
            if (!opened) {
                require(!why.empty(), "a refusal says why");
                continue;
            }
            const auto again = otherAgent.open(
                phone.seal(opened->event, opened->payload, opened->attachment, run), why);
            require(again && again->event == opened->event && again->payload == opened->payload &&
                        again->attachment == opened->attachment,
                    "what a phone seals opens as it was");
        }
    }
    return 0;
}
