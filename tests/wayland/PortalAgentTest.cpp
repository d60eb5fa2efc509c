// The agent on a headless GNOME desktop without X: it drives and shows the desktop through the
// desktop portal, and says so when the user refuses or ends the sharing.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <csignal>
#include <iostream>

#include "AgentProcess.h"
#include "DesktopStack.h"
#include "GtkProbe.h"
#include "Processes.h"

namespace zg::test {
namespace {

// The agent's environment on `stack`, with its settings in `home`.
QProcessEnvironment agentEnvironment(const DesktopStack& stack, const QTemporaryDir& home) {
    QProcessEnvironment env = stack.environment();
    env.insert("XDG_CONFIG_HOME", home.path());
    // Under the sanitizers: the system libraries have no frame pointers, so only the full
    // unwinder sees that what Qt's Wayland plugin keeps until exit is its (lsan-suppressions).
    if (env.contains("LSAN_OPTIONS"))
        env.insert("LSAN_OPTIONS", env.value("LSAN_OPTIONS") + ":fast_unwind_on_malloc=0");
    return env;
}

// Whether `seen` is `expected` within what JPEG leaves of a flat colour.
bool isRoughly(const QColor& seen, const QColor& expected) {
    return seen.isValid() && std::abs(seen.red() - expected.red()) < 16 &&
           std::abs(seen.green() - expected.green()) < 16 &&
           std::abs(seen.blue() - expected.blue()) < 16;
}

class PortalAgent : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(stack.start()) << stack.error().toStdString() << "\n"
                                   << stack.logs().toStdString();
        env = agentEnvironment(stack, home);
    }
    void TearDown() override {
        if (HasFailure()) {
            std::cerr << "agent's log:\n"
                      << log.toStdString() << agent.readAllStandardError().toStdString()
                      << "--- desktop:\n"
                      << stack.logs().toStdString() << "--- probe:\n"
                      << probe.lines().join('\n').toStdString() << "\n";
        }
        agent.kill();
        agent.waitForFinished();
    }

    void start() {
        log.clear();
        launch(agent, ZG_AGENT_BINARY, {"--listen", "127.0.0.1:0", "--plain"}, env);
    }
    // Whether the agent's log has said `line` by now (waiting for it up to `seconds`).
    bool said(const QString& line, double seconds = 10) {
        return spinUntil(
            [&] {
                log += QString::fromUtf8(agent.readAllStandardError());
                return log.contains(line);
            },
            seconds);
    }
    // The colour `right` picture pixels right of the centre (the pointer) of the next frame the
    // phone gets, which it acknowledges.
    QColor besidePointerInNextFrame(Phone& phone, int right) {
        const qsizetype seen = phone.client.events("frame").size();
        if (!spinUntil([&] { return phone.client.events("frame").size() > seen; })) return {};
        const QJsonObject frame = phone.client.events("frame").back();
        phone.command("ack", {{"n", frame["n"]}});
        const QImage picture =
            QImage::fromData(QByteArray::fromBase64(frame["img"].toString().toLatin1()));
        return picture.isNull() ? QColor()
                                : picture.pixelColor(picture.rect().center() + QPoint(right, 0));
    }
    // Moves through the phone until the window has seen the pointer move, since the first
    // events after a session starts do not reach it.
    bool warmUp(Phone& phone) {
        return spinUntil(
            [&] {
                phone.command("move", {{"dx", 3}, {"dy", 0}});
                return !probe
                            .waitFor([](const QString& line) { return line.startsWith("motion"); },
                                     0.2)
                            .isEmpty();
            },
            10);
    }

    DesktopStack stack{DesktopStack::Portal::Real};
    GtkProbe probe;
    QTemporaryDir home;  // $XDG_CONFIG_HOME
    QProcessEnvironment env;
    QProcess agent;
    QString log;
};

TEST_F(PortalAgent, APhoneDrivesTheWindowsOfAWaylandDesktopAndSeesTheScreenAroundThePointer) {
    probe.start(stack.environment());
    ASSERT_TRUE(probe.waitReady()) << probe.errors().toStdString();
    start();
    Phone phone(readLink(agent), "phone-1");
    ASSERT_TRUE(said("access to this desktop given"));
    EXPECT_TRUE(log.contains("windows on Qt's wayland platform"));
    ASSERT_TRUE(warmUp(phone));

    const struct {
        const char* what;
        QJsonObject payload;
        QStringList
            lines;  // what the window reports, in order; a line ending in a space is a prefix
    } gestures[] = {
        {"click", {}, {"pressed 1 ", "released 1 "}},
        {"rclick", {}, {"pressed 3 ", "released 3 "}},
        {"down", {}, {"pressed 1 "}},
        {"move", {{"dx", -40}, {"dy", 25}}, {"motion "}},
        {"up", {}, {"released 1 "}},
        {"scroll", {{"dy", 200}}, {"scroll 0 "}},
        {"key",
         {{"k", "c"}, {"mods", QJsonArray{"ctrl", "shift"}}},
         {"key C SHIFT+CONTROL", "keyup C"}},
        {"key", {{"k", "Enter"}}, {"key Return NONE"}},
        // The desktop's layout is a US one, without "é": the compositor would drop it.
        // Each character is a press and a release: sent together, they would arrive shuffled.
        {"text",
         {{"t", "a?Bxyz\u00e9"}},
         {"char U+0061", "char U+003F", "char U+0042", "char U+0078", "char U+0079",
          "char U+007A"}},
    };
    for (const auto& gesture : gestures) {
        SCOPED_TRACE(gesture.what);
        const qsizetype from = probe.lines().size();
        phone.command(gesture.what, gesture.payload);
        qsizetype at = from;
        for (const QString& expected : gesture.lines) {
            const QString line = probe.waitFor(
                [&](const QString& line) {
                    return expected.endsWith(' ') ? line.startsWith(expected) : line == expected;
                },
                5, at);
            EXPECT_FALSE(line.isEmpty()) << "no \"" << expected.toStdString() << "\"";
            at = std::max(at, probe.lines().lastIndexOf(line) + 1);
        }
    }

    EXPECT_TRUE(spinUntil([&] {
        return phone.client.events("state").back()["typeError"] == "could not type: \u00e9";
    }));
    EXPECT_TRUE(
        said(QString::fromUtf8("could not type \"\u00e9\": this desktop's keyboard layout")));

    // The window is red on the left half and blue on the right: the picture follows the pointer
    // to either edge of the screen (one picture pixel a point, so 20 pixels in is 20 points in).
    phone.command("screen", {{"on", true}, {"w", 200}, {"h", 200}, {"zoom", 1}, {"dpr", 1}});
    phone.command("move", {{"dx", -3000}, {"dy", 0}});
    EXPECT_TRUE(spinUntil([&] { return isRoughly(besidePointerInNextFrame(phone, 20), Qt::red); }));
    phone.command("move", {{"dx", 3000}, {"dy", 0}});
    EXPECT_TRUE(
        spinUntil([&] { return isRoughly(besidePointerInNextFrame(phone, -20), Qt::blue); }));

    agent.terminate();
    EXPECT_TRUE(phone.heardFarewell());
    EXPECT_EQ(exitCode(agent, 5), 0);
}

TEST_F(PortalAgent, ARefusalOrAnEndedSharingIsSaidToTheUserAndToPhonesWithoutACrash) {
    ASSERT_TRUE(stack.setAnswer(DesktopStack::Answer::Refuse));
    start();
    Phone phone(readLink(agent), "phone-1");
    EXPECT_TRUE(said("Access to this desktop was refused: choose \"Ask for access again\""));
    phone.command("screen", {{"on", true}});
    EXPECT_TRUE(spinUntil([&] { return phone.screenError().contains("has not allowed access"); }));
    phone.command("click");
    agent.terminate();
    EXPECT_EQ(exitCode(agent, 5), 0);

    ASSERT_TRUE(stack.setAnswer(DesktopStack::Answer::Grant));
    start();
    Phone next(readLink(agent), "phone-2");
    ASSERT_TRUE(said("access to this desktop given"));
    ASSERT_EQ(stack.revoke(), 1);
    EXPECT_TRUE(said("Access to this desktop ended (the desktop stopped sharing)"));
    next.command("screen", {{"on", true}});
    EXPECT_TRUE(spinUntil([&] { return next.screenError().contains("has not allowed access"); }));
    agent.terminate();
    EXPECT_EQ(exitCode(agent, 5), 0);
}

// The compositor going away ends the session, and the agent with it, as Quit does: a farewell,
// and no failure for a service manager to restart it on.
TEST_F(PortalAgent, TheCompositorGoingAwaySaysFarewellAndExitsCleanly) {
    start();
    Phone phone(readLink(agent), "phone-1");
    stack.killCompositor();
    EXPECT_TRUE(phone.heardFarewell());
    EXPECT_EQ(exitCode(agent, 5), 0);
    EXPECT_TRUE(said("the display went away"));
}

// Where the portal keeps grants (version 2 on), the user is asked once: the token of the grant
// is stored with the settings and offered on the next start. Input calls wait for each other.
TEST(PortalGrant, IsStoredAndOfferedAgainOnTheNextStartAndInputCallsKeepTheirOrder) {
    DesktopStack stack(DesktopStack::Portal::Fake);
    ASSERT_TRUE(stack.start()) << stack.error().toStdString();
    QTemporaryDir home;
    const QProcessEnvironment env = agentEnvironment(stack, home);
    for (int run = 1; run <= 2; ++run) {
        QProcess agent;
        launch(agent, ZG_AGENT_BINARY, {"--listen", "127.0.0.1:0", "--plain"}, env);
        QByteArray log;
        ASSERT_TRUE(spinUntil([&] {
            log += agent.readAllStandardError();
            return log.contains("access to this desktop given");
        })) << log.toStdString();
        if (run == 1) {
            Phone phone(readLink(agent), "phone-1");
            phone.command("key", {{"k", "c"}, {"mods", QJsonArray{"ctrl", "shift"}}});
            phone.command("text", {{"t", "abc"}});
            EXPECT_TRUE(spinUntil([&] {
                return stack.fakePortalCalls().back()["arguments"] == QJsonArray{0x63, 0};
            }));
        }
        agent.terminate();
        EXPECT_EQ(exitCode(agent, 5), 0) << (log + agent.readAllStandardError()).toStdString();
    }
    QFile settings(home.filePath("zephyrglint/settings.json"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(settings.readAll())["portalToken"], "zg-token-2");
    QList<QJsonObject> selects;
    for (const QJsonObject& call : stack.fakePortalCalls()) {
        if (call["method"] == "SelectDevices") selects.append(call["options"].toObject());
        EXPECT_FALSE(call["overtaking"].toBool()) << QJsonDocument(call).toJson().toStdString();
    }
    ASSERT_EQ(selects.size(), 2);
    EXPECT_EQ(selects[0]["persist_mode"], 2);
    EXPECT_FALSE(selects[0].contains("restore_token"));
    EXPECT_EQ(selects[1]["restore_token"], "zg-token-1");
}

}  // namespace
}  // namespace zg::test
