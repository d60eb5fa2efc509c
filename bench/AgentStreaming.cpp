#include "AgentStreaming.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "RelayClient.h"
#include "Spin.h"
#include "link/Seal.h"

namespace zg::bench {
namespace {

const QString kCode = "23456789ABCDEFGH";
const QString kSecret = "bjXM5QmXk1pFhrsKxQy0bS8uMQVeQ4JPQ7wW9ZC3kLc";
const QString kTopic = "realtime:zephyrglint-" + kCode;
constexpr double kWarmUp = 3;  // seconds for the agent's start and its quality to settle

// User plus system CPU seconds of process `pid` so far, all its threads together.
double cpuSeconds(qint64 pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat{std::istreambuf_iterator<char>(file), {}};
    // The fields after the command name, which may hold spaces, start with field 3.
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) ticks += std::stol(field);  // utime, stime
    }
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

// The agent binary with settings of its own, in the tray so that no window of its own
// covers the screen it shows.
class Agent {
public:
    explicit Agent(const AgentDesktop& desktop) : readyLine_(desktop.readyLine) {
        QDir(home_.path()).mkpath("zephyrglint");
        QFile settings(home_.filePath("zephyrglint/settings.json"));
        if (settings.open(QIODevice::WriteOnly)) {
            settings.write(
                QJsonDocument(QJsonObject{{"code", kCode}, {"secret", kSecret}}).toJson());
        }
        settings.close();
        QProcessEnvironment env = desktop.environment;
        env.insert("XDG_CONFIG_HOME", home_.path());
        process_.setProcessEnvironment(env);
        process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(&process_, &QProcess::readyReadStandardError,
                         [this] { log_ += process_.readAllStandardError(); });
        process_.start(ZG_AGENT_BINARY, {"--tray", "--listen", "127.0.0.1:0"});
    }
    ~Agent() {
        process_.kill();
        process_.waitForFinished();
    }

    // The embedded relay's port once the agent has joined its channel and holds its desktop;
    // 0 if that takes too long.
    quint16 waitJoined() {
        const QByteArray joined = ("joined channel " + kTopic).toUtf8();
        if (!test::spinUntil(
                [&] {
                    return log_.contains(joined) &&
                           (readyLine_.isEmpty() || log_.contains(readyLine_));
                },
                20))
            return 0;
        static const QRegularExpression port("embedded relay listening on port (\\d+)");
        return port.match(QString::fromUtf8(log_)).captured(1).toUShort();
    }
    qint64 pid() const { return process_.processId(); }

private:
    QByteArray readyLine_;
    QTemporaryDir home_;
    QProcess process_;
    QByteArray log_;
};

// A phone on the agent's channel, sealing as the page does, that has said hello and learnt
// the agent's host id.
class Phone {
public:
    explicit Phone(quint16 port) : client_(port) {
        if (test::status(client_.join(kTopic, {{"self", false}})) != "ok") return;
        say("hello", {{"from", "phone-1"}, {"device", "Bench phone"}});
        test::spinUntil([this] {
            heard([this](const Unsealed& message) {
                if (message.event == "state") hostId_ = message.payload.value("from", "");
            });
            return ready();
        });
    }

    bool ready() const { return !hostId_.empty(); }

    void command(Payload payload) {
        payload["to"] = hostId_;
        payload["from"] = "phone-1";
        say("cmd", payload);
    }

    // Acknowledges the frames that arrived since the last call, running `each` with the size
    // of the message that carried each one.
    void takeFrames(const std::function<void(std::size_t chars)>& each) {
        heard([&](const Unsealed& message) {
            if (message.event != "frame") return;
            command({{"do", "ack"}, {"n", message.payload["n"]}});
            each(lastChars_);
        });
    }

private:
    void say(const std::string& event, const Payload& payload) {
        const Payload sealed = seal_.seal(event, payload, {}, event == "hello" ? "" : hostId_);
        client_.broadcast(
            kTopic, seal::kSealedEvent,
            QJsonDocument::fromJson(QByteArray::fromStdString(sealed.dump())).object());
    }
    // Opens what arrived since the last call.
    void heard(const std::function<void(const Unsealed&)>& each) {
        const QList<QJsonObject>& received = client_.received();
        std::string why;
        for (; seen_ < received.size(); ++seen_) {
            const QJsonObject envelope = received[seen_]["payload"].toObject();
            if (envelope["event"] != seal::kSealedEvent) continue;
            const std::string text = envelope["payload"]["s"].toString().toStdString();
            lastChars_ = text.size();
            if (const auto message = seal_.open({{"s", text}}, why)) each(*message);
        }
    }

    test::RelayClient client_;
    Sealer seal_{kSecret.toStdString(), "phone-1", Sealer::Side::Phone};
    std::string hostId_;
    qsizetype seen_ = 0;
    std::size_t lastChars_ = 0;
};

// A phone answered on the channel of `agent`, once it has joined; nothing, with `error` set,
// otherwise.
std::unique_ptr<Phone> pairedPhone(Agent& agent, std::string& error) {
    const quint16 port = agent.waitJoined();
    if (port == 0) {
        error = "the agent did not join its channel";
        return nullptr;
    }
    auto phone = std::make_unique<Phone>(port);
    if (!phone->ready()) {
        error = "the phone got no answer to its hello";
        return nullptr;
    }
    return phone;
}

}  // namespace

std::optional<StreamingLoad> streamDefaultView(const std::string& display,
                                               const std::function<void()>& nudge, double seconds,
                                               std::string& error) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(display));
    return streamDefaultView(AgentDesktop{env, {}}, nudge, seconds, error);
}

std::optional<StreamingLoad> streamDefaultView(const AgentDesktop& desktop,
                                               const std::function<void()>& nudge, double seconds,
                                               std::string& error) {
    Agent agent(desktop);
    const std::unique_ptr<Phone> paired = pairedPhone(agent, error);
    if (!paired) return std::nullopt;
    Phone& phone = *paired;
    phone.command(
        {{"do", "screen"}, {"on", true}, {"w", 390}, {"h", 600}, {"zoom", 1}, {"dpr", 2}});

    int frames = 0;
    double chars = 0;
    // Acknowledges and counts frames for `span` seconds; returns the seconds that passed.
    const auto streamFor = [&](double span) {
        frames = 0;
        chars = 0;
        QElapsedTimer clock;
        clock.start();
        test::spinUntil(
            [&] {
                phone.takeFrames([&](std::size_t size) {
                    ++frames;
                    chars += double(size);
                    nudge();
                });
                return clock.elapsed() >= span * 1000;
            },
            span + 1);
        return double(clock.elapsed()) / 1000;
    };
    streamFor(kWarmUp);
    const double cpuBefore = cpuSeconds(agent.pid());
    const double wall = streamFor(seconds);
    const double cpu = cpuSeconds(agent.pid()) - cpuBefore;
    if (frames == 0) {
        error = "no frame arrived";
        return std::nullopt;
    }
    return StreamingLoad{frames / wall, cpu / wall, cpu / frames * 1000, chars / frames};
}

std::optional<double> idleCpuShare(const AgentDesktop& desktop, double seconds,
                                   std::string& error) {
    Agent agent(desktop);
    // Held, as a phone that stays paired and does nothing.
    const std::unique_ptr<Phone> phone = pairedPhone(agent, error);
    if (!phone) return std::nullopt;
    test::spinUntil([] { return false; }, kWarmUp);
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds(agent.pid());
    test::spinUntil([] { return false; }, seconds);
    return (cpuSeconds(agent.pid()) - cpuBefore) / (double(clock.elapsed()) / 1000);
}

std::optional<std::vector<double>> timeMoves(const AgentDesktop& desktop, int count,
                                             const std::function<bool()>& arrived, int& lost,
                                             std::string& error) {
    Agent agent(desktop);
    const std::unique_ptr<Phone> paired = pairedPhone(agent, error);
    if (!paired) return std::nullopt;
    Phone& phone = *paired;
    int step = 4;
    const auto move = [&] {
        phone.command({{"do", "move"}, {"dx", step}, {"dy", 0}});
        step = -step;
    };
    if (!test::spinUntil(
            [&] {
                move();
                return test::spinUntil(arrived, 0.2);
            },
            10)) {
        error = "no move of the phone's arrived";
        return std::nullopt;
    }
    // What the warm-up left in flight arrives before the first timed move.
    test::spinUntil([] { return false; }, 0.3);
    arrived();
    lost = 0;
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        move();
        if (test::spinUntil(arrived, 2)) {
            ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        } else {
            ++lost;
        }
    }
    return ms;
}

}  // namespace zg::bench
