// The agent acting on phones' messages, one {"event", "payload"} envelope a line, with a pointer
// and keyboard that only record, on virtual time. Whatever the phones said, once they have all
// gone quiet no button stays held and no screen stream runs.
#include "FuzzInput.h"
#include "ManualLoop.h"
#include "RecordingDevices.h"
#include "app/Dispatcher.h"
#include "app/Messages.h"

using zg::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zg::test::ManualLoop loop;
    zg::test::RecordingDevices devices;
    zg::Input input(loop, devices, devices);
    zg::Dispatcher dispatcher(loop, &input, "fuzz");
    bool streaming = false;
    dispatcher.pairingShown = true;
    dispatcher.screenStart = [&](double, double, double, double) { streaming = true; };
    dispatcher.screenStop = [&] { streaming = false; };
    const zg::ScheduledHandle housekeeping = loop.every(5, [&] { dispatcher.expire(); });

    for (const std::string_view line : zg::fuzz::split(zg::fuzz::text(data, size), '\n')) {
        const zg::Payload envelope = zg::Payload::parse(line, nullptr, /*allow_exceptions=*/false);
        const auto payload = envelope.find("payload");
        dispatcher.onMessage(zg::readString(envelope, "event").value_or(""),
                             payload != envelope.end() ? *payload : zg::Payload());
        devices.events.clear();
        loop.advance(0.2);
    }
    loop.advance(zg::Dispatcher::kPhoneExpiry + 10);
    require(dispatcher.phones().empty() && !input.dragging() && !streaming,
            "silent phones leave nothing held or streaming");
    return 0;
}
