#include "platform/SocketLayer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

namespace {

void (*PipeDisposition())(int) {
    struct sigaction current {};
    ::sigaction(SIGPIPE, nullptr, &current);
    return current.sa_handler;
}

}  // namespace

TEST(SocketLayer, AWriteToAClosedPeerDoesNotEndTheProgramUntilStopped) {
    ASSERT_EQ(PipeDisposition(), SIG_DFL);
    ASSERT_EQ(platform::StartSocketLayer(), 0);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    EXPECT_EQ(::write(ends[1], "x", 1), -1);  // EPIPE instead of death
    ::close(ends[1]);
    platform::StopSocketLayer();
    EXPECT_EQ(PipeDisposition(), SIG_DFL);
    platform::StopSocketLayer();  // a second stop changes nothing
    EXPECT_EQ(PipeDisposition(), SIG_DFL);
}
