#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "ManualLoop.h"
#include "Recorder.h"
#include "XvfbServer.h"
#include "platform/x11/X11Display.h"

namespace zg::test {

// A private X server, the connection under test and a recording window on it.
class X11Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
        std::string error;
        display = X11Display::open(server.name().c_str(), error);
        ASSERT_TRUE(display) << error;
        recorder = std::make_unique<Recorder>(server.name());
        ASSERT_NE(recorder->display(), nullptr);
    }

    XvfbServer server;
    ManualLoop loop;
    std::unique_ptr<X11Display> display;
    std::unique_ptr<Recorder> recorder;
};

}  // namespace zg::test
