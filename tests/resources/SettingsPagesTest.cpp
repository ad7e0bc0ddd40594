#include <gtest/gtest.h>

#include "channels/EinstellungenModellU.h"
#include "platform/Registry.h"
#include "resources/KlaengeU.h"
#include "resources/TexteU.h"
#include "tests/support/FakeSoundOutput.h"

namespace tarvo::channels {
namespace {

using resources::TSoundSetting;
constexpr auto kHive = platform::Hive::CurrentUser;

TEST(TextMemo, LineBreaksBothWays) {
    struct Case {
        const char* stored;
        const char* memo;
    };
    const Case cases[] = {{"a\rb\r", "a\r\nb\r\n"}, {"", ""}, {"x", "x"}, {"\r\r", "\r\n\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.memo);
        EXPECT_EQ(TextForMemo(c.stored), c.memo);
        EXPECT_EQ(TextFromMemo(c.memo), c.stored);
    }
    EXPECT_EQ(TextFromMemo("a\nb"), "a\rb");
    EXPECT_EQ(TextForMemo("a\r\nb"), "a\r\nb");
}

TEST(TextePage, WritesOnlyTheKindsShown) {
    platform::FileRegistry registry;
    resources::TTexte texte(registry, core::TStationenQuelle());
    TTextePage page(texte);
    EXPECT_EQ(page.Show(0), "\r\nHallo %n...\r\n");
    page.Edit(0, "Moin %n\n");
    page.Show(4);
    page.Apply();
    EXPECT_EQ(texte.ReadGeneral(0), "Moin %n\r");
    EXPECT_EQ(registry.ReadText(kHive, resources::GeneralTextKey(4), "Text"), "");
    EXPECT_FALSE(registry.KeyExists(kHive, resources::GeneralTextKey(1)));
}

TEST(KlaengePage, SchemeLoadedIntoThePageIsWrittenOnApply) {
    platform::FileRegistry registry;
    auto sink = std::make_shared<test::FakeSoundOutput::Shared>();
    resources::TKlaenge klaenge(registry, core::TStationenQuelle(),
                                std::make_unique<test::FakeSoundOutput>(sink));
    klaenge.SaveGeneral(2, {resources::kSignalTones, "", 1});
    TKlaengePage page(klaenge);
    EXPECT_EQ(page.Show(5), (TSoundSetting{resources::kSignalNone, "", 1}));
    page.LoadScheme("[Tarvo Sound Scheme]\r\n03=1,bell.wav\r\n07=2,\r\n", "/s");
    EXPECT_EQ(klaenge.LoadGeneral(3), TSoundSetting{});
    page.Apply();
    EXPECT_EQ(klaenge.LoadGeneral(3), (TSoundSetting{resources::kSignalWave, "/s/bell.wav", 1}));
    EXPECT_EQ(klaenge.LoadGeneral(7), (TSoundSetting{resources::kSignalTones, "", 1}));
    EXPECT_EQ(klaenge.LoadGeneral(5), (TSoundSetting{resources::kSignalNone, "", 1}));
    EXPECT_FALSE(registry.KeyExists(kHive, resources::GeneralSoundKey(9)));

    const std::string scheme = page.SchemeText("/s");
    const resources::TSoundScheme read = resources::ParseSoundScheme(scheme, "/s");
    EXPECT_EQ(read.size(), static_cast<std::size_t>(resources::kSoundEventCount));
    EXPECT_EQ(read.at(2).signal, resources::kSignalTones);
    EXPECT_EQ(read.at(3), (resources::TSchemeEntry{resources::kSignalWave, "/s/bell.wav"}));
    EXPECT_NE(scheme.find("03=1,bell.wav"), std::string::npos);
}

}  // namespace
}  // namespace tarvo::channels
