#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace tarvo::platform;
using namespace std::chrono_literals;

TEST(ChildProcess, ReadsLinesThenTheEnd) {
    std::string error;
    auto child = ChildProcess::Start("/bin/sh", {"-c", "printf 'one\\ntwo\\r\\nthree'"}, &error);
    ASSERT_TRUE(child) << error;
    EXPECT_EQ(child->ReadLine(5s), "one");
    EXPECT_EQ(child->ReadLine(5s), "two");
    EXPECT_EQ(child->ReadLine(5s), std::nullopt);  // no line break before the end
    child->Stop();
    EXPECT_FALSE(child->Running());
}

// A helper that ignores SIGTERM must not hold up the end of the program.
TEST(ChildProcess, StopKillsWhatIgnoresTerm) {
    std::string error;
    auto child =
        ChildProcess::Start("/bin/sh", {"-c", "trap '' TERM; echo ready; sleep 30"}, &error);
    ASSERT_TRUE(child) << error;
    ASSERT_EQ(child->ReadLine(5s), "ready");
    EXPECT_EQ(child->ReadLine(50ms), std::nullopt);  // nothing more in time
    const auto start = std::chrono::steady_clock::now();
    child->Stop(300ms);
    EXPECT_FALSE(child->Running());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(ChildProcess, OverlongLineIsRefused) {
    std::string error;
    auto child = ChildProcess::Start(
        "/bin/sh", {"-c", "head -c 100000 /dev/zero | tr '\\0' x; sleep 30"}, &error);
    ASSERT_TRUE(child) << error;
    EXPECT_EQ(child->ReadLine(5s), std::nullopt);
}
