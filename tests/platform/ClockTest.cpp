#include "platform/Clock.h"

#include <gtest/gtest.h>

using namespace tarvo::platform;

TEST(Clock, FakeClockMovesOnlyWhenTold) {
    FakeClock c(1000, 1'700'000'000);
    EXPECT_EQ(c.SteadyMs(), 1000u);
    for (int i = 0; i < 9; ++i) c.AdvanceMs(100);
    EXPECT_EQ(c.SteadyMs(), 1900u);
    EXPECT_EQ(c.UnixSeconds(), 1'700'000'000);  // 900 ms: not a whole second yet
    c.AdvanceMs(100);
    EXPECT_EQ(c.UnixSeconds(), 1'700'000'001);
    c.SetUnixSeconds(-5);
    EXPECT_EQ(c.UnixSeconds(), -5);
    EXPECT_EQ(c.SteadyMs(), 2000u);  // setting the wall clock leaves steady time alone
}

TEST(Clock, SteadyClockNeverGoesBack) {
    SteadyClock c;
    const auto a = c.SteadyMs();
    EXPECT_GE(c.SteadyMs(), a);
    EXPECT_GT(c.UnixSeconds(), 1'600'000'000);
}
