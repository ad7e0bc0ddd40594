#include "resources/KlaengeU.h"

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "tests/support/CollectingDebugSink.h"
#include "tests/support/FakeModulConnection.h"
#include "tests/support/FakeSoundOutput.h"

namespace tarvo::resources {
namespace {

using test::FakeModulConnection;
using test::FakeSoundOutput;
using test::FakeStationenDatenbank;

struct KlaengeFixture : ::testing::Test {
    platform::FileRegistry registry;
    std::shared_ptr<FakeStationenDatenbank> stations = std::make_shared<FakeStationenDatenbank>();
    std::shared_ptr<FakeSoundOutput::Shared> sink = std::make_shared<FakeSoundOutput::Shared>();
    std::unique_ptr<TKlaenge> klaenge =
        std::make_unique<TKlaenge>(registry, stations, std::make_unique<FakeSoundOutput>(sink));
    std::shared_ptr<FakeModulConnection> v = std::make_shared<FakeModulConnection>();

    KlaengeFixture() { v->call = "DL1ABC-2"; }
    ~KlaengeFixture() override {
        test::Release(*sink);
        klaenge.reset();
    }
};

TEST_F(KlaengeFixture, ResolutionExactThenBaseThenGeneral) {
    struct Case {
        const char* entryKey;  // "" no station
        int event;
        TSoundSetting station;
        TSoundSetting expected;
    };
    const TSoundSetting general{kSignalWave, "/g.wav", 1};
    const Case cases[] = {
        {"", 4, {}, general},
        {"DL1ABC-2", 4, {}, general},
        {"DL1ABC-2", 4, {kSignalTones, "", 0}, {kSignalTones, "", 1}},
        {"DL1ABC", 4, {kSignalTones, "", 0}, {kSignalTones, "", 1}},
        {"DL1ABC-2", 4, {kSignalNone, "", 2}, {kSignalNone, "", 2}},
        {"DL1ABC-2", 4, {0, "/ignored.wav", 3}, {kSignalWave, "/g.wav", 3}},
        {"DL1ABC", 4, {kSignalWave, "/s.wav", 1}, {kSignalWave, "/s.wav", 1}},
        {"DL1ABC-2", 4, {9, "", -4}, general},
        // General-only events never look at the station.
        {"DL1ABC-2", 14, {kSignalTones, "", 1}, general},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entryKey) + " event " + std::to_string(c.event));
        auto db = std::make_shared<FakeStationenDatenbank>();
        klaenge.reset();
        klaenge = std::make_unique<TKlaenge>(registry, db, std::make_unique<FakeSoundOutput>(sink));
        klaenge->SaveGeneral(c.event, general);
        if (*c.entryKey)
            db->Add(c.entryKey)
                ->SetSound(c.event, c.station.signal, c.station.waveFile, c.station.announcement);
        EXPECT_EQ(klaenge->Resolve(c.event, v.get()).setting, c.expected);
    }
}

TEST_F(KlaengeFixture, GeneralSettingsReadBackAndOutOfRangeReadsZero) {
    klaenge->SaveGeneral(3, {kSignalWave, "/x y.wav", 1});
    const std::string key = GeneralSoundKey(3);
    EXPECT_EQ(key, "\\Software\\Morvane\\Tarvo\\Klaenge\\03");
    EXPECT_EQ(registry.ReadDWord(platform::Hive::CurrentUser, key, "Signal"), 3u);
    registry.WriteDWord(platform::Hive::CurrentUser, GeneralSoundKey(5), "Signal", 7);
    klaenge.reset();
    klaenge =
        std::make_unique<TKlaenge>(registry, stations, std::make_unique<FakeSoundOutput>(sink));
    EXPECT_EQ(klaenge->LoadGeneral(3), (TSoundSetting{kSignalWave, "/x y.wav", 1}));
    EXPECT_EQ(klaenge->LoadGeneral(5), TSoundSetting{});
    // Nothing stored: nothing sounds.
    EXPECT_FALSE(klaenge->Play(5, v));
    EXPECT_FALSE(klaenge->Play(6, nullptr));
}

TEST_F(KlaengeFixture, SkippableEventsDroppedWhileAnotherSounds) {
    for (int e : {1, 6, 7, 8, 10}) klaenge->SaveGeneral(e, {kSignalTones, "", 1});
    struct Case {
        int playing;
        int event;
        bool queued;
    };
    const Case cases[] = {
        {7, 6, true},   // a ring during a received-line tone
        {7, 8, false},  // a received line during a received-line tone
        {7, 10, true},  // not skippable
        {1, 6, false},  // a ring during a connection tone
        {1, 8, false}, {1, 10, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.playing) + " then " + std::to_string(c.event));
        {
            std::lock_guard lock(sink->mutex);
            sink->hold = true;
        }
        ASSERT_TRUE(klaenge->Play(c.playing, v));
        test::WaitUntilWriting(*sink);
        EXPECT_EQ(klaenge->PlayerState(), c.playing == 7 ? 1 : 2);
        EXPECT_EQ(klaenge->Play(c.event, v), c.queued);
        test::Release(*sink);
        klaenge->WaitIdle(std::chrono::seconds(30));
    }
}

TEST_F(KlaengeFixture, MissingWaveFileStillCountsAsQueuedAndPlaysNothing) {
    klaenge->SaveGeneral(11, {kSignalWave, "/nonexistent/x.wav", 1});
    EXPECT_TRUE(klaenge->Play(11, v));
    klaenge->WaitIdle(std::chrono::seconds(30));
    std::lock_guard lock(sink->mutex);
    EXPECT_EQ(sink->begins, 0);
}

TEST_F(KlaengeFixture, ToneSequencePlaysAsPcm) {
    klaenge->SaveGeneral(19, {kSignalTones, "", 1});
    EXPECT_TRUE(klaenge->Play(19, nullptr));
    klaenge->WaitIdle(std::chrono::seconds(30));
    std::lock_guard lock(sink->mutex);
    // 80 ms and 160 ms of tone.
    EXPECT_EQ(sink->samples.size(), static_cast<std::size_t>(platform::kToneRate * 240 / 1000));
    EXPECT_EQ(sink->ends, 1);
}

TEST_F(KlaengeFixture, NoDeviceIsSaidOnce) {
    auto log = std::make_shared<test::CollectingDebugSink>();
    core::SetDebugSink(log);
    {
        std::lock_guard lock(sink->mutex);
        sink->noDevice = true;
    }
    klaenge->SaveGeneral(10, {kSignalTones, "", 1});
    EXPECT_TRUE(klaenge->Play(10, v));
    EXPECT_TRUE(klaenge->Play(10, v));
    klaenge->WaitIdle(std::chrono::seconds(30));
    core::SetDebugSink(nullptr);
    int said = 0;
    for (const auto& line : log->Lines()) said += line.find("no sound device") != std::string::npos;
    EXPECT_EQ(said, 1);
}

TEST_F(KlaengeFixture, DestroyedWhileHeldInALongSound) {
    {
        std::lock_guard lock(sink->mutex);
        sink->hold = true;
    }
    klaenge->SaveGeneral(18, {kSignalTones, "", 1});
    EXPECT_TRUE(klaenge->Play(18, nullptr));
    EXPECT_TRUE(klaenge->Play(18, nullptr));
    test::WaitUntilWriting(*sink);
    // Returns although the output never lets go by itself.
    klaenge.reset();
}

TEST_F(KlaengeFixture, QueueIsBounded) {
    {
        std::lock_guard lock(sink->mutex);
        sink->hold = true;
    }
    klaenge->SaveGeneral(10, {kSignalTones, "", 1});
    ASSERT_TRUE(klaenge->Play(10, nullptr));
    test::WaitUntilWriting(*sink);
    for (std::size_t i = 0; i < TKlaenge::kQueueLimit; ++i) EXPECT_TRUE(klaenge->Play(10, nullptr));
    EXPECT_FALSE(klaenge->Play(10, nullptr));
}

TEST(SoundScheme, RoundTripKeepsEverySetting) {
    const std::filesystem::path folder = "/home/op/Sound";
    const TSoundScheme scheme = {
        {0, {kSignalNone, ""}},
        {4, {kSignalTones, ""}},
        {7, {kSignalWave, "/home/op/Sound/line.wav"}},
        {11, {kSignalWave, "/home/op/Sound/sub dir/\"ok\", fine.wav"}},
        {19, {kSignalWave, "/elsewhere/end.wav"}},
    };
    const std::string text = FormatSoundScheme(scheme, folder);
    EXPECT_NE(text.find("07=1,line.wav\r\n"), std::string::npos) << text;
    EXPECT_EQ(ParseSoundScheme(text, folder), scheme);
}

TEST(SoundScheme, ValuesAsWrittenByHand) {
    const std::string text =
        "; comment\n"
        "[Other]\n"
        "01=2,\n"
        "[tarvo sound scheme]\n"
        "00=\n"
        "02=2,\n"
        "03=1,bell.wav\n"
        "04=7,odd.wav\n"
        "05=plain.wav\n"
        " 06 = 1,spaced.wav \r\n"
        "20=2,\n"
        "xx=2,\n"
        "no equals sign\n";
    const TSoundScheme got = ParseSoundScheme(text, "/s");
    const TSoundScheme expected = {
        {0, {kSignalNone, ""}},
        {2, {kSignalTones, ""}},
        {3, {kSignalWave, "/s/bell.wav"}},
        {4, {kSignalNone, "/s/odd.wav"}},
        {5, {kSignalWave, "/s/plain.wav"}},
        {6, {kSignalWave, "/s/spaced.wav"}},
    };
    EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace tarvo::resources
