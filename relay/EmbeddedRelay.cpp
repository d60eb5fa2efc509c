#include "relay/EmbeddedRelay.h"

#include <QThread>

#include <future>

#include "relay/LocalLink.h"
#include "relay/RelayServer.h"

namespace zg {

// Creates the server inside the thread, since QHttpServer's sockets must belong to the thread
// whose event loop drives them, and destroys it there when the loop ends.
class EmbeddedRelay::Thread final : public QThread {
public:
    struct Outcome {
        quint16 port = 0;
        std::string error;
    };

    Thread(RelayLimits limits, QHostAddress address, quint16 port)
        : limits_(limits), address_(std::move(address)), port_(port) {
        setObjectName("relay");
    }

    std::future<Outcome> outcome() { return outcome_.get_future(); }
    // Set before the outcome is, and valid until the thread ends.
    RelayServer* server() const { return server_; }

protected:
    void run() override {
        RelayServer server(limits_);
        server_ = &server;
        std::string error;
        const bool listening = server.listen(address_, port_, error);
        outcome_.set_value({server.serverPort(), std::move(error)});
        // A quit() that comes before exec() makes it return at once.
        if (listening) exec();
    }

private:
    RelayLimits limits_;
    QHostAddress address_;
    quint16 port_;
    std::promise<Outcome> outcome_;
    RelayServer* server_ = nullptr;
};

EmbeddedRelay::EmbeddedRelay(RelayLimits limits) : limits_(limits) {}

EmbeddedRelay::~EmbeddedRelay() {
    stop();
}

bool EmbeddedRelay::start(const QHostAddress& address, quint16 port, std::string& error) {
    if (thread_) {
        error = "the relay is already running";
        return false;
    }
    thread_ = std::make_unique<Thread>(limits_, address, port);
    std::future<Thread::Outcome> outcome = thread_->outcome();
    thread_->start();
    const Thread::Outcome result = outcome.get();
    if (result.port == 0) {
        error = result.error;
        stop();
        return false;
    }
    port_ = result.port;
    return true;
}

void EmbeddedRelay::stop() {
    if (!thread_) return;
    thread_->quit();
    thread_->wait();
    thread_.reset();
    port_ = 0;
    for (const std::weak_ptr<relay::LocalPipe>& weak : localPipes_) {
        if (const auto pipe = weak.lock()) relay::hangUp(*pipe);
    }
    localPipes_.clear();
}

std::unique_ptr<WebSocket> EmbeddedRelay::connectLocally() {
    if (!thread_) return nullptr;
    std::erase_if(localPipes_, [](const auto& weak) { return weak.expired(); });
    auto [socket, pipe] = relay::openLocalLink(thread_->server());
    localPipes_.push_back(pipe);
    return std::move(socket);
}

}  // namespace zg
