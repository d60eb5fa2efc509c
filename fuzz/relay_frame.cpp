// The relay reading one message from a peer as a frame. Whatever it accepts, it must write back
// exactly as Qt would write it, and its replies must be frames again.
#include <QJsonDocument>

#include "FuzzInput.h"
#include "relay/Protocol.h"

using zg::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QString why;
    // A copy, as the relay's own is: Qt's messages end in a zero byte.
    const QByteArray message(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto frame = zg::relay::parseFrame(message, why);
    if (!frame) {
        require(!why.isEmpty(), "a refused frame says why");
        return 0;
    }
    const QString sent = zg::relay::broadcastFrame(frame->topic, frame->payload);
    const QJsonObject expected{{"topic", frame->topic},
                               {"event", "broadcast"},
                               {"payload", frame->payload},
                               {"ref", QJsonValue::Null}};
    require(sent == QString::fromUtf8(QJsonDocument(expected).toJson(QJsonDocument::Compact)),
            "a broadcast is written as Qt writes it");
    for (const QString& reply : {sent, zg::relay::okReply(frame->topic, frame->ref, frame->payload),
                                 zg::relay::errorReply(frame->topic, frame->ref, frame->event),
                                 zg::relay::closeFrame(frame->topic, frame->ref)}) {
        require(zg::relay::parseFrame(reply.toUtf8(), why).has_value(), "a reply is a frame");
    }
    return 0;
}
