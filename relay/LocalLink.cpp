#include "relay/LocalLink.h"

#include <QMetaObject>

#include <functional>
#include <mutex>

#include "platform/WebSocketInbox.h"
#include "relay/Log.h"
#include "relay/RelayServer.h"

namespace zg::relay {

namespace {

class LocalSocket;

}  // namespace

// Each end calls into the other only as a task queued to it, under the mutex and only while that
// end exists: a task is never posted to an end being destroyed, and one posted before is dropped
// with the end.
struct LocalPipe {
    std::mutex mutex;
    LocalSocket* socket = nullptr;          // on the agent's thread
    LocalConnection* connection = nullptr;  // on the relay's thread, once made
    RelayServer* server = nullptr;          // read on the agent's thread; null once the relay ends

    template <typename End>
    void post(End* LocalPipe::*end, std::function<void(End&)> task) {
        const std::lock_guard lock(mutex);
        if (End* target = this->*end) {
            QMetaObject::invokeMethod(
                target, [target, task = std::move(task)] { task(*target); }, Qt::QueuedConnection);
        }
    }

    template <typename End>
    void detach(End* LocalPipe::*end) {
        const std::lock_guard lock(mutex);
        this->*end = nullptr;
    }
};

namespace {

class LocalSocket final : public QObject, public WebSocket {
public:
    explicit LocalSocket(std::shared_ptr<LocalPipe> pipe) : pipe_(std::move(pipe)) {
        const std::lock_guard lock(pipe_->mutex);
        pipe_->socket = this;
    }

    ~LocalSocket() override {
        pipe_->detach(&LocalPipe::socket);
        pipe_->post<LocalConnection>(&LocalPipe::connection,
                                     [](LocalConnection& end) { end.peerClosed(1001); });
    }

    void open(Opened opened) override {
        opened_ = std::move(opened);
        RelayServer* server = pipe_->server;
        if (!server) return hangUp();
        // The server is alive: it outlives every call of this thread until hangUp().
        QMetaObject::invokeMethod(
            server, [server, pipe = pipe_] { server->adoptLocal(pipe); }, Qt::QueuedConnection);
    }

    void receive(Received done) override { inbox_.receive(std::move(done)); }

    void sendText(const std::string& text) override {
        pipe_->post<LocalConnection>(&LocalPipe::connection,
                                     [message = QByteArray::fromStdString(text)](
                                         LocalConnection& end) { end.take(message); });
    }

    void close(int code) override {
        pipe_->post<LocalConnection>(&LocalPipe::connection,
                                     [code](LocalConnection& end) { end.peerClosed(code); });
        hangUp();
    }

    void opened() {
        if (opened_) opened_();
    }
    void arrive(std::string text) { inbox_.arrive({std::move(text), false}); }
    void hangUp() { inbox_.fail(); }

private:
    std::shared_ptr<LocalPipe> pipe_;
    Opened opened_;
    WebSocketInbox inbox_{[this](Task task) {
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    }};
};

}  // namespace

LocalConnection::LocalConnection(std::shared_ptr<LocalPipe> pipe, quint64 id,
                                 const RelayLimits& limits)
    : Connection(QString("#%1 this computer's agent").arg(id), limits), pipe_(std::move(pipe)) {
    const std::lock_guard lock(pipe_->mutex);
    pipe_->connection = this;
}

LocalConnection::~LocalConnection() {
    pipe_->detach(&LocalPipe::connection);
    pipe_->post<LocalSocket>(&LocalPipe::socket, [](LocalSocket& end) { end.hangUp(); });
}

void LocalConnection::opened() {
    pipe_->post<LocalSocket>(&LocalPipe::socket, [](LocalSocket& end) { end.opened(); });
}

void LocalConnection::send(const QString& frame) {
    if (closing_) return;
    pipe_->post<LocalSocket>(&LocalPipe::socket,
                             [text = frame.toStdString()](LocalSocket& end) { end.arrive(text); });
}

void LocalConnection::close(QWebSocketProtocol::CloseCode code, const QString& reason) {
    if (closing_) return;
    closing_ = true;
    log(QString("%1 closing with %2: %3").arg(name()).arg(code).arg(reason));
    pipe_->post<LocalSocket>(&LocalPipe::socket, [](LocalSocket& end) { end.hangUp(); });
    // Not from inside the caller, which may still be handling this connection's message.
    QMetaObject::invokeMethod(
        this, [this] { emit finished(this); }, Qt::QueuedConnection);
}

void LocalConnection::take(const QByteArray& message) {
    if (closing_) return;
    if (quint64(message.size()) > limits_.maxMessageBytes) {
        return close(QWebSocketProtocol::CloseCodeTooMuchData, "message too big");
    }
    emit messageReceived(this, message);
}

void LocalConnection::peerClosed(int code) {
    if (closing_) return;
    closing_ = true;
    log(QString("%1 closed: %2").arg(name()).arg(code));
    emit finished(this);
}

std::pair<std::unique_ptr<WebSocket>, std::shared_ptr<LocalPipe>> openLocalLink(
    RelayServer* server) {
    auto pipe = std::make_shared<LocalPipe>();
    pipe->server = server;
    return {std::make_unique<LocalSocket>(pipe), pipe};
}

void hangUp(LocalPipe& pipe) {
    pipe.server = nullptr;
    LocalSocket* socket = nullptr;
    {
        const std::lock_guard lock(pipe.mutex);
        socket = pipe.socket;
    }
    // This thread is the socket's, so it cannot go away meanwhile.
    if (socket) socket->hangUp();
}

}  // namespace zg::relay
