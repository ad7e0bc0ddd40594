#include "core/DebOutU.h"
#include "tests/support/CollectingDebugSink.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

using namespace tarvo::core;

TEST(DebOut, LineFormat) {
    EXPECT_EQ(FormatDebugLine("abc\n", 12345, "  main  "), "   12.345 [  main  ] abc\r");
    EXPECT_EQ(FormatDebugLine("", 1, "  main  "), "\r");
    EXPECT_EQ(FormatDebugLine("\r", 1, "  main  "), "\r");
    EXPECT_EQ(FormatDebugLine("done\r", 100007, "0000ABCD"), "  100.007 [0000ABCD] done\r");
}

TEST(DebOut, NothingIsFormattedWithoutASinkAndThreadsAreNamed) {
    InitDebugLog();
    EXPECT_FALSE(DebugAttached());
    DebOutFmt("%s", "never seen");
    auto sink = std::make_shared<tarvo::test::CollectingDebugSink>();
    SetDebugSink(sink);
    EXPECT_TRUE(DebugAttached());
    DebOutObj("TConfig", "Create", "begin...");
    DebOutFmt("%d%%", 50);
    const std::string remote = "%s%s%n";  // received text is data, never a format
    DebOut(remote);
    std::thread([] { DebOut("worker"); }).join();
    SetDebugSink(nullptr);
    DebOut("after");
    const auto lines = sink->Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("[  main  ] TConfig.Create: begin...\r"), std::string::npos);
    EXPECT_NE(lines[1].find("] 50%\r"), std::string::npos);
    EXPECT_NE(lines[2].find("] %s%s%n\r"), std::string::npos);
    EXPECT_EQ(lines[3].find("  main  "), std::string::npos);
}
