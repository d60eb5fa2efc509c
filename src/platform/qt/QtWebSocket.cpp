#include "QtWebSocket.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QWebSocket>
#include <utility>

#include "platform/Loop.h"
#include "platform/WebSocketInbox.h"

namespace zg {
namespace {

// The relay only forwards small messages; a larger one closes the connection instead of
// letting a hostile peer fill memory.
constexpr quint64 kMaxIncomingBytes = 4 << 20;

class QtWebSocket : public WebSocket {
public:
    explicit QtWebSocket(const std::string& url)
        : url_(QString::fromStdString(url)), socket_(new QWebSocket) {
        socket_->setMaxAllowedIncomingFrameSize(kMaxIncomingBytes);
        socket_->setMaxAllowedIncomingMessageSize(kMaxIncomingBytes);
        // Connected through `receiver_`, which goes first when this object is destroyed.
        QObject::connect(socket_, &QWebSocket::connected, &receiver_, [this] {
            if (opened_) post(opened_);
        });
        QObject::connect(socket_, &QWebSocket::textMessageReceived, &receiver_,
                         [this](const QString& text) {
                             inbox_.arrive({text.toStdString(), false});
                         });
        QObject::connect(socket_, &QWebSocket::binaryMessageReceived, &receiver_,
                         [this](const QByteArray& bytes) {
                             inbox_.arrive({bytes.toStdString(), true});
                         });
        QObject::connect(socket_, &QWebSocket::disconnected, &receiver_, [this] { inbox_.fail(); });
        QObject::connect(socket_, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error),
                         &receiver_, [this] { inbox_.fail(); });
    }

    ~QtWebSocket() override {
        // Deleted later: events already queued for the QWebSocket must still find it alive.
        socket_->deleteLater();
    }

    void open(Opened opened) override {
        opened_ = std::move(opened);
        socket_->open(url_);
    }

    void receive(Received done) override { inbox_.receive(std::move(done)); }

    void sendText(const std::string& text) override {
        socket_->sendTextMessage(QString::fromStdString(text));
    }

    void close(int code) override {
        socket_->close(static_cast<QWebSocketProtocol::CloseCode>(code));
    }

private:
    // Callbacks run after the current work, and never once this socket is gone.
    void post(Task task) {
        QMetaObject::invokeMethod(QCoreApplication::instance(),
                                  Task(lifetime_.guard(std::move(task))), Qt::QueuedConnection);
    }

    QUrl url_;
    QWebSocket* socket_;
    Opened opened_;
    Lifetime lifetime_;
    WebSocketInbox inbox_{[this](Task task) { post(std::move(task)); }};
    QObject receiver_;
};

}  // namespace

WebSocketFactory qtWebSocketFactory() {
    return [](const std::string& url) { return std::make_unique<QtWebSocket>(url); };
}

}  // namespace zg
