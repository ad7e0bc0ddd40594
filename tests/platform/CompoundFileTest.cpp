#include "platform/CompoundFile.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvo::platform {
namespace {

TEST(CompoundStorage, NamesFollowTheFormat) {
    const std::pair<std::string, bool> cases[] = {
        {"DL1ABC-5", true},
        {"[ alle ]", true},
        {std::string(31, 'A'), true},
        {std::string(32, 'A'), false},
        {"\xC3\x84" + std::string(30, 'A'), true},  // 31 UTF-16 units in 32 bytes
        {"", false},
        {"a/b", false},
        {"a\\b", false},
        {"a:b", false},
        {"a!b", false},
        {"a\x01", false},
        {"\xC3", false},  // not UTF-8
    };
    for (const auto& [name, valid] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CompoundStorage::ValidName(name), valid);
        CompoundStorage s;
        EXPECT_EQ(s.SetStream(name, "x"), valid);
        EXPECT_EQ(s.CreateStorage(name) != nullptr, valid);
    }
}

TEST(CompoundStorage, NamesAreUniqueWithoutCase) {
    CompoundStorage s;
    s.SetStream("Name", "1");
    s.SetStream("NAME", "2");
    EXPECT_EQ(s.Names(), std::vector<std::string>{"NAME"});
    EXPECT_EQ(*s.Stream("name"), "2");
    // A storage of the same name replaces the stream.
    s.CreateStorage("name")->SetStream("N", "x");
    EXPECT_FALSE(s.Stream("NAME"));
    EXPECT_TRUE(s.Storage("Name"));
    EXPECT_TRUE(s.Remove("NaMe"));
    EXPECT_TRUE(s.Empty());
}

TEST(CompoundFile, WritesAndReadsBackATree) {
    CompoundStorage root;
    CompoundStorage* a = root.CreateStorage("DL1ABC");
    a->SetStream("N", "Anna");
    a->SetStream("E", "");
    a->SetStream("C", std::string(9000, 'c'));  // past the small-stream size
    a->CreateStorage("inner")->SetStream("deep", "d");
    root.CreateStorage("\xC3\x84rger");
    root.SetStream("top", std::string(4096, 't'));
    const std::string bytes = WriteCompound(root);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.substr(0, 8), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");

    const CompoundRead whole = ReadCompound(bytes, 1 << 20);
    ASSERT_TRUE(whole.readable);
    EXPECT_EQ(whole.skipped, 0u);
    EXPECT_EQ(whole.truncated, 0u);
    EXPECT_EQ(whole.root.Names(), (std::vector<std::string>{"DL1ABC", "top", "\xC3\x84rger"}));
    const CompoundStorage* ra = whole.root.Storage("DL1ABC");
    ASSERT_TRUE(ra);
    EXPECT_EQ(*ra->Stream("N"), "Anna");
    EXPECT_EQ(*ra->Stream("E"), "");
    EXPECT_EQ(*ra->Stream("C"), std::string(9000, 'c'));
    EXPECT_EQ(*ra->Storage("inner")->Stream("deep"), "d");
    EXPECT_TRUE(whole.root.Storage("\xC3\x84rger")->Empty());

    // Reading with a limit cuts the longer streams and says how many.
    const CompoundRead cut = ReadCompound(bytes, 100);
    EXPECT_EQ(cut.truncated, 2u);
    EXPECT_EQ(cut.root.Storage("DL1ABC")->Stream("C")->size(), 100u);
}

TEST(CompoundFile, OtherBytesAreNoCompoundFile) {
    const std::string good = [] {
        CompoundStorage root;
        root.CreateStorage("A")->SetStream("N", "x");
        return WriteCompound(root);
    }();
    for (const std::string& bytes :
         {std::string(), std::string("plain text"), std::string(4096, '\0'), good.substr(0, 512)}) {
        const CompoundRead r = ReadCompound(bytes, 1000);
        EXPECT_FALSE(r.readable && !r.root.Empty()) << bytes.size();
    }
}

}  // namespace
}  // namespace tarvo::platform
