#include "devices/SsidIteratorU.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "devices/MyCallsU.h"
#include "platform/Registry.h"

using tarvo::devices::RufzeichenText;
using tarvo::devices::TMyCall;
using tarvo::devices::TMyCalls;
using tarvo::devices::TRufzeichen;
using tarvo::devices::TSsidIterator;

namespace {

using Calls = std::vector<std::string>;

std::uint16_t Mask(std::initializer_list<int> ssids) {
    std::uint16_t m = 0;
    for (int s : ssids) m = static_cast<std::uint16_t>(m | (1u << s));
    return m;
}

Calls Foreign(const std::string& call) {
    Calls out{call};
    for (int n = 1; n <= 15; ++n) out.push_back(call + "-" + std::to_string(n));
    return out;
}

// Every candidate from First on; afterwards the iterator must stay used up.
Calls Drain(TSsidIterator& it) {
    Calls out;
    for (bool more = it.First(); more && out.size() <= 16; more = it.Next())
        out.push_back(it.Current());
    EXPECT_TRUE(it.Eof());
    EXPECT_EQ(it.Current(), "NOCALL");
    EXPECT_FALSE(it.Next());
    EXPECT_EQ(it.Current(), "NOCALL");
    return out;
}

}  // namespace

TEST(RufzeichenTest, Split) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    struct Case {
        const char* text;
        const char* call;
        std::int32_t ssid;
    };
    const Case cases[] = {
        {"DL1XYZ-7", "DL1XYZ", 7},
        {"DL1XYZ", "DL1XYZ", -1},
        {"DL1XYZ-X", "DL1XYZ", -1},
        {"DL1XYZ-20", "DL1XYZ", 20},
        {"DL1XYZ-200", "DL1XYZ", 200},  // no 8-bit wrap to a usable SSID
        {"DL1XYZ-99999999999999999999", "DL1XYZ", kMax},
        {"DL1XYZ-0", "DL1XYZ", 0},
        {"DL1XYZ-", "DL1XYZ", -1},
        {"DL1XYZ-1-2", "DL1XYZ", -1},
        {"DL1XYZ--1", "DL1XYZ", -1},
        {"DL1XYZ-+1", "DL1XYZ", -1},
        {"DL1XYZ-7 ", "DL1XYZ", -1},  // nothing is trimmed
        {"dl1xyz-3", "dl1xyz", 3},    // nor upper-cased
        {"-5", "", 5},
        {"", "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TRufzeichen r(c.text);
        EXPECT_EQ(r.Call, c.call);
        EXPECT_EQ(r.SSID, c.ssid);
    }
}

TEST(RufzeichenTest, PrintsSsidZeroAsBareCallsign) {
    EXPECT_EQ(RufzeichenText("DL1XYZ", 0), "DL1XYZ");
    EXPECT_EQ(RufzeichenText("DL1XYZ", 5), "DL1XYZ-5");
    EXPECT_EQ(RufzeichenText("DL1XYZ", 15), "DL1XYZ-15");
}

class SsidIteratorTest : public ::testing::Test {
  protected:
    SsidIteratorTest() { EXPECT_TRUE(myCalls.Add(TMyCall("DL1XYZ", Mask({0, 3, 5})))); }

    tarvo::platform::FileRegistry registry;
    TMyCalls myCalls{registry};
};

TEST_F(SsidIteratorTest, Candidates) {
    struct Case {
        const char* text;
        Calls expected;
    };
    const Case cases[] = {
        {"DL1XYZ", {"DL1XYZ", "DL1XYZ-3", "DL1XYZ-5"}},
        {"dl1xyz", {"DL1XYZ", "DL1XYZ-3", "DL1XYZ-5"}},
        {"Dl1xYz-X", {"DL1XYZ", "DL1XYZ-3", "DL1XYZ-5"}},
        // A given SSID is used as it is, own callsign or not.
        {"DL1XYZ-7", {"DL1XYZ-7"}},
        {"dl1abc-7", {"DL1ABC-7"}},
        {"DL1ABC-0", {"DL1ABC"}},
        {"DL1ABC-15", {"DL1ABC-15"}},
        {"DL1ABC", Foreign("DL1ABC")},
        {"dl1abc-", Foreign("DL1ABC")},
        // Never a candidate outside 0..15, nor without a callsign.
        {"DL1ABC-16", {}},
        {"DL1XYZ-20", {}},
        {"DL1XYZ-200", {}},
        {"DL1XYZ-4294967299", {}},
        {"-3", {}},
        {"", {}},
    };
    const auto snapshot = myCalls.Snapshot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TSsidIterator fromList(c.text, &myCalls);
        EXPECT_EQ(fromList.Current(),
                  c.expected.empty() ? std::string("NOCALL") : c.expected.front());
        EXPECT_EQ(Drain(fromList), c.expected);
        // First starts over after the end.
        EXPECT_EQ(fromList.First(), !c.expected.empty());

        TSsidIterator fromSnapshot;
        EXPECT_EQ(fromSnapshot.Create(c.text, snapshot), !c.expected.empty());
        EXPECT_EQ(Drain(fromSnapshot), c.expected);
    }
}

TEST_F(SsidIteratorTest, WithoutOwnCallsignsEveryCallsignIsForeign) {
    TSsidIterator it("dl1xyz", static_cast<const TMyCalls*>(nullptr));
    EXPECT_EQ(Drain(it), Foreign("DL1XYZ"));
}

TEST_F(SsidIteratorTest, CreateReplacesTheCandidates) {
    TSsidIterator it("DL1ABC", &myCalls);
    ASSERT_TRUE(it.Next());
    EXPECT_EQ(it.Current(), "DL1ABC-1");

    EXPECT_FALSE(it.Create("DL1ABC-20", &myCalls));
    EXPECT_EQ(it.Current(), "NOCALL");
    EXPECT_TRUE(it.Eof());

    EXPECT_TRUE(it.Create("DL1XYZ", &myCalls));
    EXPECT_EQ(Drain(it), (Calls{"DL1XYZ", "DL1XYZ-3", "DL1XYZ-5"}));
}

TEST(SsidIteratorEmptyTest, StartsUsedUp) {
    TSsidIterator it;
    EXPECT_TRUE(it.Eof());
    EXPECT_EQ(it.Current(), "NOCALL");
    EXPECT_FALSE(it.Next());
}
