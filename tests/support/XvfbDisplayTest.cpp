#include "support/XvfbDisplay.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines a macro Bool.
#include <X11/Xlib.h>

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

bool CanConnect(const std::string& name) {
    Display* connection = XOpenDisplay(name.c_str());
    if (!connection) return false;
    XCloseDisplay(connection);
    return true;
}

TEST(XvfbDisplay, ServesItsDisplayAndRestoresTheOldOneWhenStopped) {
    ScopedEnv noDisplay("DISPLAY", ":4711");
    pid_t server = -1;
    {
        XvfbDisplay display;
        ASSERT_TRUE(display.Running()) << display.Error();
        server = display.Process();
        EXPECT_EQ(std::string(std::getenv("DISPLAY")), display.Name());
        EXPECT_TRUE(CanConnect(display.Name()));
    }
    EXPECT_EQ(std::string(std::getenv("DISPLAY")), ":4711");
    // The server is gone and reaped. Its display number is free again, and a test running
    // beside this one may already have a new server there, so the name proves nothing.
    EXPECT_EQ(::kill(server, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(XvfbDisplay, TwoServersGetDifferentDisplays) {
    XvfbDisplay first;
    XvfbDisplay second;
    ASSERT_TRUE(first.Running()) << first.Error();
    ASSERT_TRUE(second.Running()) << second.Error();
    EXPECT_NE(first.Name(), second.Name());
    EXPECT_TRUE(CanConnect(first.Name()));
    EXPECT_TRUE(CanConnect(second.Name()));
}

TEST(XvfbDisplay, SharedDisplayIsStartedOnceAndReused) {
    XvfbDisplay& display = SharedXvfbDisplay();
    ASSERT_TRUE(display.Running()) << display.Error();
    EXPECT_EQ(&SharedXvfbDisplay(), &display);
    EXPECT_TRUE(CanConnect(display.Name()));
}

}  // namespace
