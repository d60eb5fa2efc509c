// The headless desktop the agent's Wayland tests run on: that a portal client's input reaches a
// window through the real portal, that the user's refusal and revocation reach the client, and
// that the fake portal answers as the real one does.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QSize>

#include <iostream>

#include "DesktopStack.h"
#include "GtkProbe.h"
#include "Spin.h"

namespace zg::test {
namespace {

const QString portal = "org.freedesktop.portal.Desktop";
const QString portalPath = "/org/freedesktop/portal/desktop";
const QString remoteDesktop = "org.freedesktop.portal.RemoteDesktop";
const QString screenCast = "org.freedesktop.portal.ScreenCast";

// A client of the portal, as an application is: what answers later does so through a Request
// object's Response signal, on a path the client names with its handle token.
class PortalClient {
public:
    explicit PortalClient(const DesktopStack& stack) : stack_(stack) {}

    struct Response {
        uint code = ~0u;
        QVariantMap results;
    };
    Response request(const QString& interface, const QString& method, QVariantList arguments,
                     QVariantMap options = {}) {
        const QString token = QString("zg%1").arg(++tokens_);
        const QString sender = bus().baseService().mid(1).replace('.', '_');
        DBusSignals response(bus(), portal, portalPath + "/request/" + sender + "/" + token,
                             "org.freedesktop.portal.Request", "Response");
        options.insert("handle_token", token);
        const QDBusMessage reply = call(interface, method, arguments << options);
        if (reply.type() != QDBusMessage::ReplyMessage) return {};
        if (!response.wait()) {
            ADD_FAILURE() << method.toStdString() << ": no Response";
            return {};
        }
        const QVariantList answer = response.received().first().arguments();
        return {answer[0].toUInt(), qdbus_cast<QVariantMap>(answer[1])};
    }
    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& arguments, const QString& path = portalPath) {
        QDBusMessage call = QDBusMessage::createMethodCall(portal, path, interface, method);
        call.setArguments(arguments);
        const QDBusMessage reply = bus().call(call, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage && !quiet_)
            ADD_FAILURE() << method.toStdString() << ": " << reply.errorMessage().toStdString();
        return reply;
    }
    uint property(const QString& interface, const QString& name) {
        const QDBusMessage reply =
            call("org.freedesktop.DBus.Properties", "Get", {interface, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
    }
    // A remote desktop session with the monitor, started; empty when refused.
    QDBusObjectPath startSession(uint* response = nullptr, QVariantMap devices = {}) {
        const Response created = request(remoteDesktop, "CreateSession", {},
                                         {{"session_handle_token", QString("s%1").arg(tokens_)}});
        const QDBusObjectPath session(created.results.value("session_handle").toString());
        devices.insert("types", 3u);
        request(remoteDesktop, "SelectDevices", {QVariant::fromValue(session)}, devices);
        request(screenCast, "SelectSources", {QVariant::fromValue(session)},
                {{"types", 1u}, {"cursor_mode", 4u}});  // 4: the cursor as metadata
        started = request(remoteDesktop, "Start", {QVariant::fromValue(session), QString()});
        if (response) *response = started.code;
        return session;
    }
    // The streams the last Start gave: node, and the size of each.
    QList<std::pair<uint, QSize>> streams() const {
        QList<std::pair<uint, QSize>> out;
        const auto list = started.results.value("streams").value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            uint node = 0;
            QVariantMap properties;
            list.beginStructure();
            list >> node >> properties;
            list.endStructure();
            const auto size = properties.value("size").value<QDBusArgument>();
            int width = 0, height = 0;
            size.beginStructure();
            size >> width >> height;
            size.endStructure();
            out.append({node, QSize(width, height)});
        }
        list.endArray();
        return out;
    }
    // An input call on `session`, as RemoteDesktop's Notify methods take it.
    QDBusMessage notify(const QDBusObjectPath& session, const QString& method,
                        const QVariantList& arguments) {
        return call(remoteDesktop, method,
                    QVariantList{QVariant::fromValue(session), QVariantMap{}} + arguments);
    }
    void expectFailures(bool expected) { quiet_ = expected; }

    Response started;

private:
    QDBusConnection bus() const { return stack_.bus(); }  // once started

    const DesktopStack& stack_;
    int tokens_ = 0;
    bool quiet_ = false;
};

class RealPortal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(stack.start()) << stack.error().toStdString() << "\n"
                                   << stack.logs().toStdString();
        std::cout << "the desktop started in " << stack.startSeconds() << " s\n";
    }
    void TearDown() override {
        if (HasFailure())
            std::cerr << stack.logs().toStdString() << "--- probe:\n"
                      << probe.lines().join('\n').toStdString() << "\n"
                      << probe.errors().toStdString();
    }

    DesktopStack stack{DesktopStack::Portal::Real};
    GtkProbe probe;
    PortalClient client{stack};
};

TEST_F(RealPortal, EveryKindOfInputReachesTheWindow) {
    probe.start(stack.environment());
    ASSERT_TRUE(probe.waitReady()) << probe.errors().toStdString();
    uint response = ~0u;
    const QDBusObjectPath session = client.startSession(&response);
    ASSERT_EQ(response, 0u);
    EXPECT_EQ(client.started.results.value("devices").toUInt(), 3u);
    ASSERT_EQ(client.streams().size(), 1);
    const auto [node, size] = client.streams().first();
    EXPECT_EQ(size, QSize(1280, 800));
    EXPECT_TRUE(stack.logs().contains("RecordMonitor Meta-0 cursor-mode 2"));

    // Mutter drops or misplaces what comes right after Start: send until it arrives.
    int sent = 0;
    ASSERT_TRUE(spinUntil(
        [&] {
            ++sent;
            client.notify(session, "NotifyPointerMotionAbsolute", {node, 1000.5, 700.25});
            return !probe.waitForLine("motion 1000.5 700.25", 0.1).isEmpty();
        },
        10));
    std::cout << "the first motion arrived after " << sent << " sent\n";

    enum : int {
        BTN_LEFT = 0x110,
        BTN_RIGHT = 0x111,
        KEY_LEFTCTRL = 29,
        KEY_LEFTSHIFT = 42,
        KEY_C = 46,
        KEY_U = 22,
        KEY_E = 18,
        KEY_9 = 10,
        KEY_SPACE = 57,
    };
    using Calls = QList<std::pair<const char*, QVariantList>>;
    const auto keys = [](std::initializer_list<int> codes, uint state) {
        Calls calls;
        for (const int code : codes) calls.append({"NotifyKeyboardKeycode", {code, state}});
        return calls;
    };
    const auto tap = [&](std::initializer_list<int> codes) {
        return keys(codes, 1) + keys(codes, 0);
    };
    const struct {
        const char* what;
        Calls calls;
        QString expected;  // the probe's line, or its beginning when it ends with a space
    } inputs[] = {
        {"relative motion", {{"NotifyPointerMotion", {-500.5, -300.25}}}, "motion 500 400"},
        {"left press", {{"NotifyPointerButton", {BTN_LEFT, 1u}}}, "pressed 1 500 400"},
        {"left release", {{"NotifyPointerButton", {BTN_LEFT, 0u}}}, "released 1 500 400"},
        {"right press", {{"NotifyPointerButton", {BTN_RIGHT, 1u}}}, "pressed 3 500 400"},
        {"right release", {{"NotifyPointerButton", {BTN_RIGHT, 0u}}}, "released 3 500 400"},
        {"wheel step down", {{"NotifyPointerAxisDiscrete", {0u, 1}}}, "scroll 0 1"},
        {"smooth scroll", {{"NotifyPointerAxis", {0.0, 10.0}}}, "scroll 0 "},
        {"Ctrl down", keys({KEY_LEFTCTRL}, 1), "key Control_L NONE"},
        {"C with Ctrl", keys({KEY_C}, 1), "key c CONTROL"},
        {"C up", keys({KEY_C}, 0), "keyup c"},
        {"Ctrl up", keys({KEY_LEFTCTRL}, 0), "keyup Control_L"},
        {"keysym a", {{"NotifyKeyboardKeysym", {0x61, 1u}}}, "char U+0061"},
        {"keysym a up", {{"NotifyKeyboardKeysym", {0x61, 0u}}}, "keyup a"},
        // A character the layout lacks, by its code point (GTK's Ctrl+Shift+U).
        {"é by its code",
         keys({KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_U}, 1) +
             keys({KEY_U, KEY_LEFTSHIFT, KEY_LEFTCTRL}, 0) + tap({KEY_E}) + tap({KEY_9}) +
             tap({KEY_SPACE}),
         "char U+00E9"},
    };
    for (const auto& input : inputs) {
        const qsizetype from = probe.lines().size();
        for (const auto& [method, arguments] : input.calls)
            client.notify(session, method, arguments);
        const QString seen = probe.waitFor(
            [&](const QString& line) {
                return input.expected.endsWith(' ') ? line.startsWith(input.expected)
                                                    : line == input.expected;
            },
            5, from);
        EXPECT_FALSE(seen.isEmpty())
            << input.what << ": saw only " << probe.lines().mid(from).join(" | ").toStdString();
    }
}

TEST_F(RealPortal, ARefusalIsACancelAndARevocationClosesTheClientsSession) {
    ASSERT_TRUE(stack.setAnswer(DesktopStack::Answer::Refuse));
    uint response = ~0u;
    client.startSession(&response);
    EXPECT_EQ(response, 1u);

    ASSERT_TRUE(stack.setAnswer(DesktopStack::Answer::Grant));
    const QDBusObjectPath session = client.startSession(&response);
    ASSERT_EQ(response, 0u);
    DBusSignals closed(stack.bus(), portal, session.path(), "org.freedesktop.portal.Session",
                       "Closed");
    EXPECT_EQ(stack.revoke(), 1);  // the refused one is gone already
    EXPECT_TRUE(closed.wait());
    client.expectFailures(true);
    EXPECT_EQ(client.notify(session, "NotifyPointerMotion", {1.0, 1.0}).type(),
              QDBusMessage::ErrorMessage);

    // The document portal's FUSE mount in the runtime folder is undone too.
    const QString runtime = stack.runtimeDir();
    stack.stop();
    EXPECT_FALSE(QDir(runtime).exists());
}

// Twice in one process, as a test of the agent's restart would: the fake answers as the real
// portal does, hands out restore tokens, and logs each call with its options.
TEST(FakePortal, AnswersAsTheRealOneAndLogsEachCallTwiceInOneProcess) {
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        DesktopStack stack(DesktopStack::Portal::Fake);
        ASSERT_TRUE(stack.start()) << stack.error().toStdString();
        PortalClient client(stack);
        EXPECT_EQ(client.property(remoteDesktop, "version"), 2u);
        EXPECT_EQ(client.property(remoteDesktop, "AvailableDeviceTypes"), 3u);
        EXPECT_EQ(client.property(screenCast, "version"), 4u);
        EXPECT_EQ(client.property(screenCast, "AvailableCursorModes"), 7u);

        uint response = ~0u;
        const QDBusObjectPath first = client.startSession(&response, {{"persist_mode", 2u}});
        EXPECT_EQ(response, 0u);
        EXPECT_EQ(client.started.results.value("restore_token").toString(), "zg-token-1");
        EXPECT_EQ(client.streams().value(0), std::pair(42u, QSize(1280, 800)));
        const QDBusMessage remote = client.call(screenCast, "OpenPipeWireRemote",
                                                {QVariant::fromValue(first), QVariantMap{}});
        EXPECT_TRUE(remote.arguments().value(0).value<QDBusUnixFileDescriptor>().isValid());

        client.startSession(&response, {{"persist_mode", 2u}, {"restore_token", "zg-token-1"}});
        EXPECT_EQ(client.started.results.value("restore_token").toString(), "zg-token-2");
        client.startSession(&response);  // not asked to persist: no token
        EXPECT_FALSE(client.started.results.contains("restore_token"));

        QStringList selections;
        for (const QJsonObject& call : stack.fakePortalCalls())
            if (call["method"] == "SelectDevices")
                selections << call["options"]["restore_token"].toString();
        EXPECT_EQ(selections, QStringList({"", "zg-token-1", ""}));
    }
}

}  // namespace
}  // namespace zg::test
