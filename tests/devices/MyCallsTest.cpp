#include "devices/MyCallsU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "core/GlobalU.h"
#include "core/PublisherU.h"

using tarvo::core::TSubscriberAdapter;
using tarvo::devices::EvaluateMyCallEdit;
using tarvo::devices::kMyCallsKey;
using tarvo::devices::TMyCall;
using tarvo::devices::TMyCalls;
using tarvo::platform::FileRegistry;
using tarvo::platform::Hive;
using tarvo::platform::RegValue;

namespace {

std::uint16_t Mask(std::initializer_list<int> ssids) {
    std::uint16_t m = 0;
    for (int s : ssids) m = static_cast<std::uint16_t>(m | (1u << s));
    return m;
}

std::string Key(const std::string& call) {
    return std::string(kMyCallsKey) + "\\" + call;
}

class MyCallsTest : public ::testing::Test {
  protected:
    std::vector<std::string> Calls() {
        std::vector<std::string> out;
        for (const auto& e : calls.Snapshot()) out.push_back(e->Call() + " " + e->SSIDText());
        return out;
    }
    FileRegistry registry;
    TMyCalls calls{registry};
};

using Lines = std::vector<std::string>;

}  // namespace

TEST(MyCallTest, SSIDTextAndRufzeichen) {
    struct Case {
        std::uint32_t stored;
        const char* text;
        std::vector<int> ssids;
    };
    const Case cases[] = {
        {5, "0, 2", {0, 2}},
        {Mask({0, 1, 2, 3, 5, 7, 8}), "0..3, 5, 7..8", {0, 1, 2, 3, 5, 7, 8}},
        {0xFFFF, "0..15", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
        {Mask({15}), "15", {15}},
        {Mask({1, 3, 5}), "1, 3, 5", {1, 3, 5}},
        {0xFFFF0000u | Mask({4}), "4", {4}},  // bits above 15 are not SSIDs
        {0, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto mask = static_cast<std::uint16_t>(c.stored & 0xFFFF);
        EXPECT_EQ(tarvo::devices::SSIDText(mask), c.text);
        EXPECT_EQ(tarvo::devices::SSIDsFromMask(c.stored), c.ssids);
    }

    TMyCall call(" dl1abc ", 5);
    EXPECT_EQ(call.Call(), "DL1ABC");
    ASSERT_EQ(call.SSIDAnzahl(), 2);
    EXPECT_EQ(call.Rufzeichen(0), "DL1ABC");
    EXPECT_EQ(call.Rufzeichen(1), "DL1ABC-2");
    EXPECT_THROW(call.Rufzeichen(2), tarvo::core::TarvoAssertion);
    EXPECT_THROW(call.Rufzeichen(-1), tarvo::core::TarvoAssertion);
}

TEST(MyCallEditRulesTest, OkButtonTable) {
    const std::uint16_t zero = Mask({0});
    struct Case {
        const char* field;
        std::uint16_t ticked;
        bool ok;
        bool boxes;
        const char* call;  // result when ok
        std::uint16_t mask;
    };
    const Case cases[] = {
        {"DL1ABC", Mask({0, 3}), true, true, "DL1ABC", Mask({0, 3})},
        {" DL1ABC ", zero, true, true, "DL1ABC", zero},
        {"dl1abc", zero, true, true, "DL1ABC", zero},
        {"DL1ABC", 0, false, true, "", 0},  // no box ticked
        {"DL1ABC-7", zero, true, false, "DL1ABC", Mask({7})},
        {"DL1ABC-15", zero, true, false, "DL1ABC", Mask({15})},
        {"DL1ABC-0", Mask({3}), true, false, "DL1ABC", zero},
        {"DL1ABC-16", zero, false, false, "", 0},
        {"DL1ABC-x", zero, false, false, "", 0},
        {"DL1ABC-", zero, false, false, "", 0},
        {"DL1ABC--1", zero, false, false, "", 0},
        {"DL1ABC-+5", zero, false, false, "", 0},
        {"DL1ABC-005", zero, false, false, "", 0},
        {"A-1-2", zero, false, false, "", 0},
        {"A-1", zero, true, false, "A", Mask({1})},
        {"-7", zero, false, false, "", 0},
        {"-15", zero, false, false, "", 0},  // no callsign before the SSID
        {"-x", zero, false, false, "", 0},
        {"AB", zero, false, true, "", 0},  // too short
        {"ABC", zero, true, true, "ABC", zero},
        {" AB ", zero, false, true, "", 0},  // short once trimmed
        {"DL/ABC", zero, false, true, "", 0},
        {"DL1 ABC", zero, false, true, "", 0},
        {"DL1ABC -5", zero, false, false, "", 0},
        {"DL\xC3\x9C"
         "ABC",
         zero, false, true, "", 0},  // non-ASCII letter
        {"\xC4\xB1"
         "BC",
         zero, false, true, "", 0},  // dotless i upper-cases to I elsewhere
        {"ABCDEFGHI", zero, true, true, "ABCDEFGHI", zero},
        {"ABCDEFGHIJ", zero, false, true, "", 0},  // longer than the list can read back
        {"", zero, false, true, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        const auto state = EvaluateMyCallEdit(c.field, c.ticked);
        EXPECT_EQ(state.okEnabled, c.ok);
        EXPECT_EQ(state.ssidBoxesEnabled, c.boxes);
        if (c.ok) {
            EXPECT_EQ(state.result.Call(), c.call);
            EXPECT_EQ(state.result.SSIDMask(), c.mask);
        }
    }
}

TEST_F(MyCallsTest, StoreAndCreateRoundTrip) {
    EXPECT_TRUE(calls.AcceptEdit({TMyCall("DL1ABC", Mask({0, 2})), TMyCall("db0xyz", Mask({15})),
                                  TMyCall("2E0AAA", 0xFFFF)}));
    EXPECT_EQ(registry.ReadDWord(Hive::CurrentUser, Key("DL1ABC"), "SSIDs"), 5u);
    EXPECT_EQ(registry.ReadDWord(Hive::CurrentUser, Key("DB0XYZ"), "SSIDs"), 0x8000u);

    TMyCalls loaded(registry);
    loaded.Create();
    std::vector<std::string> got;
    for (const auto& e : loaded.Snapshot()) got.push_back(e->Call() + " " + e->SSIDText());
    // In the registry's order of subkeys.
    EXPECT_EQ(got, (Lines{"2E0AAA 0..15", "DB0XYZ 15", "DL1ABC 0, 2"}));

    // A shorter list leaves nothing of the longer one behind.
    EXPECT_TRUE(calls.AcceptEdit({TMyCall("DL1ABC", 1)}));
    loaded.Create();
    ASSERT_EQ(loaded.Count(), 1u);
    EXPECT_EQ(loaded.Items(0)->Call(), "DL1ABC");
    EXPECT_EQ(loaded.Items(1), nullptr);
}

TEST_F(MyCallsTest, HostileSettingsAreSkippedOrClamped) {
    const auto hive = Hive::CurrentUser;
    registry.WriteDWord(hive, Key("dl1abc"), "SSIDs", 0xFFFF0005u);  // high bits dropped
    registry.CreateKey(hive, Key("DL2NONE"));                        // no value: SSID 0
    registry.WriteText(hive, Key("DL3TEXT"), "SSIDs", "5");          // wrong type: SSID 0
    registry.WriteDWord(hive, Key("DL4HIGH"), "SSIDs", 0x10000u);    // no SSID left: SSID 0
    registry.WriteDWord(hive, Key("DL/BAD"), "SSIDs", 1);
    registry.WriteDWord(hive, Key("DL BAD"), "SSIDs", 1);
    registry.WriteDWord(hive, Key("TOOLONGCALL"), "SSIDs", 1);
    registry.WriteDWord(hive,
                        Key("DL\xC3\x9C"
                            "X"),
                        "SSIDs", 1);
    registry.WriteDWord(hive, Key("DL5SUB") + "\\deeper", "SSIDs", 2);  // ignored below
    calls.Create();
    EXPECT_EQ(Calls(), (Lines{"DL1ABC 0, 2", "DL2NONE 0", "DL3TEXT 0", "DL4HIGH 0", "DL5SUB 0"}));
}

TEST_F(MyCallsTest, TooManyStoredEntriesAreBounded) {
    for (std::size_t i = 0; i < tarvo::devices::kMaxMyCalls + 20; ++i)
        registry.WriteDWord(Hive::CurrentUser, Key("C" + std::to_string(i)), "SSIDs", 1);
    calls.Create();
    EXPECT_EQ(calls.Count(), tarvo::devices::kMaxMyCalls);
}

TEST_F(MyCallsTest, SameCallsignIsMergedWithoutCase) {
    EXPECT_TRUE(calls.Add(TMyCall("DL1ABC", Mask({1}))));
    EXPECT_TRUE(calls.Add(TMyCall("DB0XYZ", Mask({0}))));
    EXPECT_TRUE(calls.Add(TMyCall("dl1abc ", Mask({3, 4}))));
    EXPECT_FALSE(calls.Add(TMyCall("DL/ABC", 1)));
    EXPECT_EQ(Calls(), (Lines{"DL1ABC 1, 3..4", "DB0XYZ 0"}));

    calls.AcceptEdit({TMyCall("DL1ABC-1", 1), TMyCall("DL1ABC", Mask({2})), TMyCall("dl1abc", 1)});
    EXPECT_EQ(Calls(), (Lines{"DL1ABC 0, 2"}));
    TMyCalls loaded(registry);
    loaded.Create();
    ASSERT_EQ(loaded.Count(), 1u);
    EXPECT_EQ(loaded.Items(0)->SSIDMask(), Mask({0, 2}));
}

TEST_F(MyCallsTest, EntriesHeldByReadersSurviveReplacement) {
    calls.Add(TMyCall("DL1ABC", 1));
    auto held = calls.Items(0);
    calls.Add(TMyCall("DL1ABC", 2));  // merged into a new entry
    calls.Clear();
    EXPECT_EQ(held->Call(), "DL1ABC");
    EXPECT_EQ(held->SSIDMask(), 1);
}

// Subscribers hear of an update only when the lock is free, so one that reads
// the list (here from another thread, as a device would) does not deadlock.
TEST_F(MyCallsTest, NotifiesAfterTheLockIsReleased) {
    int notified = 0;
    std::size_t seen = 0;
    auto subscriber = std::make_shared<TSubscriberAdapter>([&](const void* sender) {
        EXPECT_EQ(sender, nullptr);
        ++notified;
        std::thread reader([&] {
            calls.Lock();
            seen = calls.Count();
            calls.Unlock();
        });
        reader.join();
        calls.BeginUpdate();  // and may write itself
        calls.Add(TMyCall("DL9SUB", 1));
        calls.Unlock();  // a plain unlock announces nothing
    });
    calls.Subscribe(subscriber);

    calls.Lock();
    calls.BeginUpdate();  // nested under a reader's lock
    calls.Add(TMyCall("DL1ABC", 1));
    calls.EndUpdate();
    EXPECT_EQ(notified, 0);  // the outer level still holds the lock
    calls.Unlock();
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(seen, 1u);
    EXPECT_EQ(calls.Count(), 2u);

    EXPECT_TRUE(calls.AcceptEdit({TMyCall("DB0XYZ", 1)}));
    EXPECT_EQ(notified, 2);

    calls.ReleaseList();
    calls.NotifyAll();
    EXPECT_EQ(notified, 2);
}

TEST_F(MyCallsTest, ReadersAndWriterOnSeveralThreads) {
    std::atomic<bool> stop{false};
    std::atomic<int> notified{0};
    auto subscriber = std::make_shared<TSubscriberAdapter>([&](const void*) {
        ++notified;
        calls.Lock();
        for (std::size_t i = 0; i < calls.Count(); ++i) (void)calls.Items(i)->Rufzeichen(0);
        calls.Unlock();
    });
    calls.Subscribe(subscriber);
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t)
        readers.emplace_back([&] {
            while (!stop)
                for (const auto& e : calls.Snapshot()) EXPECT_GE(e->SSIDAnzahl(), 1);
        });
    for (int i = 0; i < 200; ++i)
        calls.AcceptEdit({TMyCall("DL" + std::to_string(i % 10) + "ABC", 1), TMyCall("DB0XYZ", 2)});
    stop = true;
    for (auto& t : readers) t.join();
    EXPECT_EQ(notified, 200);
}
