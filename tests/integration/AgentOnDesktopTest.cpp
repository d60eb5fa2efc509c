// GoogleTest and Qt first: neither can take the macros Xlib defines (None, Bool, KeyPress).
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "AgentProcess.h"
#include "RelayClient.h"
#include "Spin.h"

#include "Picture.h"
#include "Recorder.h"
#include "XvfbServer.h"
#include "screen/CapturePlan.h"

#include <X11/keysym.h>

// Failures show JSON values as JSON.
static void PrintTo(const QJsonValue& value, std::ostream* out) {
    *out << QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}

namespace zg::test {
namespace {

const QString kCode = "23456789ABCDEFGH";
const QString kTopic = "realtime:zephyrglint-" + kCode;
constexpr double kSpeed = 1.5;
constexpr double kWidth = 1280, kHeight = 800;  // XvfbServer's screen

// Where the agent's acceleration puts the pointer: a factor growing with the length of the
// phone's delta, times the speed; whole pixels moved, fractions kept for the next move.
struct PointerModel {
    double x = 0, y = 0;
    double fx = 0, fy = 0;

    void move(double dx, double dy) {
        const double a = 1.4 + std::min(std::hypot(dx, dy) / 14.0, 2.2);
        fx += dx * a * kSpeed;
        fy += dy * a * kSpeed;
        const double ix = std::trunc(fx), iy = std::trunc(fy);
        fx -= ix;
        fy -= iy;
        x = std::clamp(x + ix, 0.0, kWidth - 1);
        y = std::clamp(y + iy, 0.0, kHeight - 1);
    }
};

struct PointerState {
    int x = 0, y = 0;
    unsigned mask = 0;
};

std::vector<unsigned> buttons(const std::vector<Received>& events) {
    std::vector<unsigned> out;
    for (const auto& e : events) out.push_back(e.button);
    return out;
}

std::vector<KeySym> keysyms(const std::vector<Received>& events) {
    std::vector<KeySym> out;
    for (const auto& e : events) out.push_back(e.keysym);
    return out;
}

// A private X server with a recording window, the agent on it, and a scripted phone that has
// said hello and knows the agent's host id.
class AgentOnDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
        recorder = std::make_unique<Recorder>(server.name());
        ASSERT_NE(recorder->display(), nullptr);
        agent = std::make_unique<AgentProcess>(
            server.name(), QJsonObject{{"code", kCode}, {"speed", kSpeed}}, QStringList{"--tray"});
        const quint16 port = agent->waitJoined(kTopic);
        ASSERT_NE(port, 0) << "the agent did not join its channel";
        EXPECT_EQ(agent->link(),
                  QString("http://127.0.0.1:%1/remote?k=%2").arg(port).arg(kCode).toStdString());

        phone = std::make_unique<RelayClient>(port);
        ASSERT_EQ(status(phone->join(kTopic, {{"self", false}})), "ok");
        broadcast("hello", {{"from", "phone-1"}, {"device", "Test phone"}});
        const QJsonObject state = stateAfter(0);
        EXPECT_EQ(state["kind"], "host");
        EXPECT_EQ(state["os"], "linux");
        EXPECT_EQ(state["drag"], false);
        hostId = state["from"].toString();
        ASSERT_EQ(hostId.size(), 8) << "no state with a host id after hello";
    }

    void TearDown() override {
        if (HasFailure() && agent) std::cerr << "agent's log:\n" << agent->log();
    }

    void broadcast(const QString& event, const QJsonObject& payload) {
        phone->send({{"topic", kTopic},
                     {"event", "broadcast"},
                     {"ref", "9"},
                     {"payload",
                      QJsonObject{{"type", "broadcast"}, {"event", event}, {"payload", payload}}}});
    }

    void command(QJsonObject payload) {
        payload["to"] = hostId;
        payload["from"] = "phone-1";
        broadcast("cmd", payload);
    }

    // The payloads of the `event` broadcasts received since the phone had `mark` messages.
    QList<QJsonObject> since(qsizetype mark, const QString& event) const {
        QList<QJsonObject> out;
        const QList<QJsonObject>& messages = phone->received();
        for (qsizetype i = mark; i < messages.size(); ++i) {
            if (messages[i]["payload"]["event"] == event) {
                out.push_back(messages[i]["payload"]["payload"].toObject());
            }
        }
        return out;
    }

    // The first of them; empty if none arrives in time.
    QJsonObject firstAfter(qsizetype mark, const QString& event) {
        QList<QJsonObject> found;
        spinUntil([&] { return !(found = since(mark, event)).isEmpty(); });
        return found.isEmpty() ? QJsonObject{} : found.front();
    }
    QJsonObject stateAfter(qsizetype mark) { return firstAfter(mark, "state"); }
    QJsonObject frameAfter(qsizetype mark) { return firstAfter(mark, "frame"); }

    // A "cmd" whose answer is a state report; returns that report.
    QJsonObject commandWithState(const QString& what) {
        const qsizetype mark = phone->received().size();
        command({{"do", what}});
        return stateAfter(mark);
    }

    PointerState pointer() const {
        Display* dpy = recorder->display();
        Window root, child;
        int wx, wy;
        PointerState p;
        XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &p.x, &p.y, &wx, &wy, &p.mask);
        return p;
    }

    // Waits until the pointer is where `expected` says; false (with a note of where it is
    // instead) if it does not get there in time.
    bool pointerReaches(const PointerModel& expected) {
        if (spinUntil([&] { return pointer().x == expected.x && pointer().y == expected.y; })) {
            return true;
        }
        ADD_FAILURE() << "pointer at " << pointer().x << "," << pointer().y << ", expected "
                      << expected.x << "," << expected.y;
        return false;
    }

    // Waits until the recorder has seen `count` events of `type` in all.
    bool recorded(int type, size_t count) {
        return spinUntil([&] {
            recorder->drain();
            return recorder->of(type).size() >= count;
        });
    }

    XvfbServer server;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<AgentProcess> agent;
    std::unique_ptr<RelayClient> phone;
    QString hostId;
};

TEST_F(AgentOnDesktop, PhonePointerGesturesMoveClickDragAndScrollOnTheDesktop) {
    Display* dpy = recorder->display();
    XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, 640, 400);
    XSync(dpy, False);
    PointerModel expected{640, 400};

    // Moves scale with speed and acceleration; sub-pixel moves add up; the edge holds.
    command({{"do", "move"}, {"dx", 10}, {"dy", -4}});
    expected.move(10, -4);
    ASSERT_TRUE(pointerReaches(expected));
    for (const auto& [dx, dy] : {std::pair{0.2, 0.1}, {0.2, 0.1}, {-7.5, 12.0}, {400.0, 0.0}}) {
        command({{"do", "move"}, {"dx", dx}, {"dy", dy}});
        expected.move(dx, dy);
    }
    ASSERT_TRUE(pointerReaches(expected));
    ASSERT_EQ(expected.x, kWidth - 1);

    EXPECT_EQ(commandWithState("click").value("drag"), false);
    command({{"do", "rclick"}});
    ASSERT_TRUE(recorded(ButtonRelease, 2));

    // A drag: the button stays down through the move and comes up where the move ended.
    const PointerModel edge = expected;  // where the clicks and the press happen
    EXPECT_EQ(commandWithState("down").value("drag"), true);
    command({{"do", "move"}, {"dx", -20}, {"dy", -10}});
    expected.move(-20, -10);
    ASSERT_TRUE(pointerReaches(expected));
    EXPECT_TRUE(pointer().mask & Button1Mask);
    EXPECT_EQ(commandWithState("up").value("drag"), false);
    ASSERT_TRUE(recorded(ButtonRelease, 3));
    EXPECT_FALSE(pointer().mask & Button1Mask);

    // 50 and -30 on the phone are -110 and +66 px: two notches down, then one up.
    command({{"do", "scroll"}, {"dy", 50}});
    command({{"do", "scroll"}, {"dy", -30}});
    ASSERT_TRUE(recorded(ButtonRelease, 6));

    const auto presses = recorder->of(ButtonPress), releases = recorder->of(ButtonRelease);
    EXPECT_EQ(buttons(presses), (std::vector<unsigned>{1, 3, 1, 5, 5, 4}));
    EXPECT_EQ(buttons(releases), buttons(presses));
    ASSERT_EQ(presses.size(), 6u);
    for (const Received& press : {presses[0], presses[1], presses[2]}) {
        EXPECT_EQ(press.x, edge.x);
        EXPECT_EQ(press.y, edge.y);
    }
    EXPECT_EQ(releases[2].x, expected.x);
    EXPECT_EQ(releases[2].y, expected.y);
    EXPECT_TRUE(releases[2].state & Button1Mask);
}

TEST_F(AgentOnDesktop, PhoneTextAndKeysArriveAsTheirKeysyms) {
    command({{"do", "text"}, {"t", "Hi \xc5\xbe"}});  // ž has no key in Xvfb's layout
    command({{"do", "key"}, {"k", "a"}, {"mods", QJsonArray{"ctrl"}}});
    command({{"do", "key"}, {"k", "Enter"}});
    ASSERT_TRUE(recorded(KeyRelease, 8));

    const auto presses = recorder->of(KeyPress);
    EXPECT_EQ(keysyms(presses), (std::vector<KeySym>{XK_Shift_L, XK_H, XK_i, XK_space, 0x100017e,
                                                     XK_Control_L, XK_a, XK_Return}));
    ASSERT_EQ(presses.size(), 8u);
    EXPECT_EQ(presses[6].state, unsigned(ControlMask));
    EXPECT_EQ(presses[7].state, 0u);
    EXPECT_FALSE(recorder->anyKeyDown());
}

TEST_F(AgentOnDesktop, PhoneSeesTheScreenAroundThePointer) {
    Display* dpy = recorder->display();
    showQuadrants(dpy);
    XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, 640, 400);
    XSync(dpy, False);
    const auto picture = [](const QJsonObject& frame) {
        return decodeJpeg(QByteArray::fromBase64(frame["img"].toString().toLatin1()).toStdString());
    };

    qsizetype mark = phone->received().size();
    command({{"do", "screen"}, {"on", true}, {"w", 200}, {"h", 200}, {"zoom", 1}, {"dpr", 1}});
    QJsonObject frame = frameAfter(mark);
    ASSERT_EQ(frame["n"], 1) << "no first frame";
    EXPECT_TRUE(showsQuadrants(picture(frame)));

    // Acknowledged, the stream follows the pointer: on the left edge, the half off the screen
    // is black.
    command({{"do", "ack"}, {"n", 1}});
    XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, 0, 400);
    XSync(dpy, False);
    Picture shown;
    ASSERT_TRUE(spinUntil([&] {
        mark = phone->received().size();
        frame = frameAfter(mark);
        shown = picture(frame);
        return shows(shown, 50, 100, kBlack) && shows(shown, 150, 50, kRed);
    })) << "the picture did not follow the pointer";
    EXPECT_TRUE(shows(shown, 50, 150, kBlack));
    EXPECT_TRUE(shows(shown, 150, 150, kBlue));
}

TEST_F(AgentOnDesktop, FramesFollowThePlanAtEachZoomAndAtMostThreeGoUnacknowledged) {
    Display* dpy = recorder->display();
    showQuadrants(dpy);
    const auto warp = [dpy](int x, int y) {
        XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
        XSync(dpy, False);
    };
    warp(320, 200);  // the middle of the red quarter
    for (const double zoom : {0.5, 1.0, 2.0}) {
        SCOPED_TRACE("zoom " + std::to_string(zoom));
        const CapturePlan plan = planCapture({320, 200}, {0, 0, kWidth, kHeight}, 1,
                                             {.w = 300, .h = 200, .zoom = zoom, .dpr = 2});
        const qsizetype mark = phone->received().size();
        command(
            {{"do", "screen"}, {"on", true}, {"w", 300}, {"h", 200}, {"zoom", zoom}, {"dpr", 2}});
        const QJsonObject frame = frameAfter(mark);
        ASSERT_FALSE(frame.isEmpty()) << "no frame";
        EXPECT_EQ(frame["z"], zoom);
        const Picture shown =
            decodeJpeg(QByteArray::fromBase64(frame["img"].toString().toLatin1()).toStdString());
        EXPECT_EQ(shown.width, plan.pixelWidth);
        EXPECT_EQ(shown.height, plan.pixelHeight);
        EXPECT_TRUE(shows(shown, shown.width / 2, shown.height / 2, kRed));
        command({{"do", "ack"}, {"n", frame["n"]}});
    }

    // A picture that changes all the time, where the colours meet, so that no frame is held
    // back as unchanged.
    QTimer jiggle;
    int step = 0;
    QObject::connect(&jiggle, &QTimer::timeout, [&] { warp(640 + (++step % 2), 400); });
    jiggle.start(10);
    const qsizetype mark = phone->received().size();
    command({{"do", "screen"}, {"on", true}, {"w", 300}, {"h", 200}, {"zoom", 1}, {"dpr", 2}});
    ASSERT_TRUE(spinUntil([&] { return since(mark, "frame").size() >= 3; }));
    spinUntil([] { return false; }, 1.0);  // well inside the 1.5 s the window waits
    ASSERT_EQ(since(mark, "frame").size(), 3);
    EXPECT_TRUE(spinUntil([&] { return since(mark, "frame").size() > 3; }, 3));
    const QList<QJsonObject> frames = since(mark, "frame");
    for (qsizetype i = 1; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i]["n"].toInteger(), frames[i - 1]["n"].toInteger() + 1);
    }
}

}  // namespace
}  // namespace zg::test
