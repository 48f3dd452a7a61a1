#include "support/XvfbDisplay.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines a macro Bool.
#include <X11/Xlib.h>

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
    std::string name;
    {
        XvfbDisplay display;
        ASSERT_TRUE(display.Running()) << display.Error();
        name = display.Name();
        EXPECT_EQ(std::string(std::getenv("DISPLAY")), name);
        EXPECT_TRUE(CanConnect(name));
    }
    EXPECT_EQ(std::string(std::getenv("DISPLAY")), ":4711");
    EXPECT_FALSE(CanConnect(name));
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
