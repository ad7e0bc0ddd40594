#include "filesend/DateiSendenVorlagenU.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace tarvo;
using namespace tarvo::filesend;
using platform::Hive;

std::vector<std::string> Items(const TDateiSendenVorlagen& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.GetItem(i));
    return out;
}

std::unique_ptr<platform::FileRegistry> OpenRegistry(const std::filesystem::path& file) {
    std::error_code ec;
    auto registry = platform::FileRegistry::Open(file, ec);
    EXPECT_FALSE(ec) << ec.message();
    return registry;
}

TEST(DateiSendenVorlagen, FreshInstallShowsTheBuiltIns) {
    platform::FileRegistry registry;
    EXPECT_EQ(Items(TDateiSendenVorlagen::Vorher(registry)), BuiltInVorher());
    EXPECT_EQ(Items(TDateiSendenVorlagen::Nachher(registry)),
              (std::vector<std::string>{"***end\r\n", "NNNN\r\n", "/EX\r\n", "^Z\r\n"}));
    EXPECT_EQ(BuiltInVorher().size(), 3u);
    EXPECT_EQ(registry.ValueNames(Hive::CurrentUser, kVorlagenNachherKey),
              (std::vector<std::string>{"", "00", "01", "02", "03"}));
    EXPECT_EQ(registry.ReadText(Hive::CurrentUser, kVorlagenNachherKey, ""), "1");
}

TEST(DateiSendenVorlagen, DeletionSurvivesReopening) {
    test::TempFolder dir;
    const auto file = dir / "tarvo.reg";
    {
        auto registry = OpenRegistry(file);
        TDateiSendenVorlagen list = TDateiSendenVorlagen::Nachher(*registry);
        list.SetItem(1, "");  // "NNNN" goes
        list.Save();
    }
    auto registry = OpenRegistry(file);
    EXPECT_EQ(Items(TDateiSendenVorlagen::Nachher(*registry)),
              (std::vector<std::string>{"***end\r\n", "/EX\r\n", "^Z\r\n"}));
}

TEST(DateiSendenVorlagen, NewBuiltInsAreMergedOnceWithoutDuplicates) {
    platform::FileRegistry registry;
    const std::string key = "\\Software\\Morvane\\Tarvo\\Vorlagen\\Test";
    registry.WriteText(Hive::CurrentUser, key, "05", "mine\r\n");
    registry.WriteText(Hive::CurrentUser, key, "02", "/ex\r\n");
    registry.WriteText(Hive::CurrentUser, key, "09", "");
    registry.WriteDWord(Hive::CurrentUser, key, "10", 7);  // no text: not a template
    const std::vector<std::string> builtIns = {"/EX\r\n", "NNNN\r\n"};
    TDateiSendenVorlagen first(registry, key, 2, builtIns);
    // In the order the store keeps them; "/EX" is there already in other case.
    EXPECT_EQ(Items(first), (std::vector<std::string>{"mine\r\n", "/ex\r\n", "NNNN\r\n"}));
    EXPECT_EQ(registry.ValueNames(Hive::CurrentUser, key),
              (std::vector<std::string>{"", "00", "01", "02"}));

    first.SetItem(2, "");
    first.Save();
    TDateiSendenVorlagen again(registry, key, 2, builtIns);
    EXPECT_EQ(Items(again), (std::vector<std::string>{"mine\r\n", "/ex\r\n"}));
}

TEST(DateiSendenVorlagen, SavingRenumbersWithoutGaps) {
    platform::FileRegistry registry;
    TDateiSendenVorlagen list = TDateiSendenVorlagen::Nachher(registry);
    list.SetCount(6);
    list.SetItem(1, "");
    list.SetItem(5, "zuletzt\r\n");
    list.Save();
    EXPECT_EQ(registry.ValueNames(Hive::CurrentUser, kVorlagenNachherKey),
              (std::vector<std::string>{"", "00", "01", "02", "03"}));
    EXPECT_EQ(registry.ReadText(Hive::CurrentUser, kVorlagenNachherKey, "01"), "/EX\r\n");
    EXPECT_EQ(registry.ReadText(Hive::CurrentUser, kVorlagenNachherKey, "03"), "zuletzt\r\n");

    TDateiSendenVorlagen copy = TDateiSendenVorlagen::Vorher(registry);
    copy.Assign(list);
    EXPECT_EQ(copy.KeyPath(), kVorlagenNachherKey);
    EXPECT_EQ(Items(copy), Items(list));
}

TEST(DateiSendenVorlagen, MultiLineTemplatesKeepTheirLineEnds) {
    test::TempFolder dir;
    const auto file = dir / "tarvo.reg";
    const std::string typed = "sp dl1abc\nBetreff\r\nText\rEnde\n\n";
    const std::string kept = "sp dl1abc\r\nBetreff\r\nText\rEnde\r\n\r\n";
    {
        auto registry = OpenRegistry(file);
        TDateiSendenVorlagen list = TDateiSendenVorlagen::Vorher(*registry);
        list.SetCount(4);
        list.SetItem(3, typed);
        EXPECT_EQ(list.GetItem(3), kept);
        list.Save();
    }
    auto registry = OpenRegistry(file);
    EXPECT_EQ(TDateiSendenVorlagen::Vorher(*registry).GetItem(3), kept);
    EXPECT_THROW((void)TDateiSendenVorlagen::Vorher(*registry).GetItem(4), std::out_of_range);
}

TEST(DateiSendenVorlagen, Captions) {
    const TTextWidth tenPerChar = [](std::string_view s) {
        return static_cast<int>(s.size()) * 10;
    };
    struct Case {
        std::string text;
        int width;
        std::string caption;
    };
    const Case cases[] = {
        {BuiltInVorher()[0], 1000, "s rubrik@dl #10 Titel "},
        {"  a   b\r\n\r\nc", 1000, "a b c"},
        {"a!!!!!b!!\r!!!!", 1000, "a!!!b!! !!!"},
        {"a\tb\x01"
         "c\x7F",
         1000, "abc\x7F"},
        {"Bei mir l\xE4uft", 1000, "Bei mir l\xE4uft"},
        {"abcdefghij", 100, "abcdefghij"},
        {"abcdefghij", 60, "a...bj"},
        // Narrower than the dots: the loop ends with nothing left.
        {"abcdefghij", 0, "..."},
        {"abc", -50, "..."},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TemplateCaption(c.text, c.width, tenPerChar), c.caption);
    }
    platform::FileRegistry registry;
    EXPECT_EQ(TDateiSendenVorlagen::Nachher(registry).GetCaption(0, 1000, tenPerChar), "***end ");
}

}  // namespace
