// A private X display for tests that draw or open windows.
//
// XvfbDisplay starts its own Xvfb on a display number that the server picks itself (-displayfd,
// so parallel test programs never collide), points DISPLAY at it, and stops it again in its
// destructor. The server is also told to end when the test program dies, so a crashed test
// leaves no Xvfb behind.
//
// Test programs that link the target tarnwick_test_display share one server per program:
// SharedXvfbDisplay() starts it on first use and a GoogleTest global environment stops it after
// the last test, whether the tests passed or failed. Tests that need a display begin with
//
//     ASSERT_TRUE(SharedXvfbDisplay().Running()) << SharedXvfbDisplay().Error();
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

class XvfbDisplay {
public:
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool Running() const { return server > 0; }
    // ":N", the value DISPLAY holds while the server runs.
    const std::string& Name() const { return name; }
    // The server's process; -1 when none runs.
    pid_t Process() const { return server; }
    // Why the server did not start; empty when it runs.
    const std::string& Error() const { return error; }

private:
    void Start();
    void Stop();

    pid_t server = -1;
    std::string name;
    std::string error;
    std::optional<std::string> previousDisplay;
};

// The program's one display, started on first use and stopped after the last test.
XvfbDisplay& SharedXvfbDisplay();
