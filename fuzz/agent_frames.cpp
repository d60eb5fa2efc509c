// The agent reading what the relay sends it: any bytes classify without throwing, and any JSON
// it takes in is written back exactly as nlohmann::json writes it.
#include "FuzzInput.h"
#include "link/RelayFrames.h"

using zg::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = zg::fuzz::text(data, size);
    const zg::Incoming incoming = zg::classifyFrame(bytes, "realtime:23456789ABCDEFGH", "1");
    if (incoming.kind == zg::Incoming::Kind::Event) {
        require(incoming.payload.is_object(), "an event's payload is an object");
    }
    const zg::Payload value = zg::Payload::parse(bytes, nullptr, /*allow_exceptions=*/false);
    if (!value.is_discarded()) {
        require(zg::encodeFrame(value) ==
                    value.dump(-1, ' ', false, zg::Payload::error_handler_t::replace),
                "a frame is written as nlohmann::json writes it");
    }
    return 0;
}
