#include "filesend/DateiSendenDlgLogikU.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/GlobalU.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace tarvo::filesend;
namespace fs = std::filesystem;
using tarvo::test::TempFolder;

std::vector<bool> Bits(const std::string& pattern) {
    std::vector<bool> out;
    for (char c : pattern) out.push_back(c == 'x');
    return out;
}

TEST(DateiSendenDlgLogik, PartSizeAndPartCount) {
    struct Case {
        std::int64_t size;
        int kib;
        std::string parts;
    } cases[] = {
        {0, 32, "1"},     {32 * 1024, 32, "1"}, {32 * 1024 + 1, 32, "2"}, {100000, 5, "20"},
        {100000, 4, "-"}, {100000, 10241, "-"}, {100000, 10240, "1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PartCountText(c.size, c.kib), c.parts) << c.size << " / " << c.kib;
    EXPECT_EQ(ClampPartSize(4), 5);
    EXPECT_EQ(ClampPartSize(0), 5);
    EXPECT_EQ(ClampPartSize(20000), 10240);
    EXPECT_EQ(ClampPartSize(32), 32);
    EXPECT_EQ(SizeText(0), "0 kB");
    EXPECT_EQ(SizeText(1), "1 kB");
    EXPECT_EQ(SizeText(1024), "1 kB");
    EXPECT_EQ(SizeText(1025), "2 kB");
}

TEST(DateiSendenDlgLogik, RemarkListsTheChosenPartsAsRuns) {
    struct Case {
        std::string chosen;  // 'x' = chosen
        std::string remark;
    } cases[] = {
        {"xxx.x...", "nur Teile 1..3, 5."},
        {"...x....", "nur Teil 4."},
        {"........", "keine Teile ausgew\xE4hlt"},
        {"x.x.xx.x", "nur Teile 1, 3, 5..6, 8."},
        {".......x", "nur Teil 8."},
    };
    for (const Case& c : cases) {
        TSendeDatei file;
        file.parts = 8;
        file.allParts = false;
        file.selected = Bits(c.chosen);
        EXPECT_EQ(PartRemark(file), c.remark) << c.chosen;
    }
    TSendeDatei all;
    all.parts = 8;
    EXPECT_EQ(PartRemark(all), "");
}

TEST(DateiSendenDlgLogik, SpaceChecksTheSelectedLinesUnlessAllAreChecked) {
    std::vector<bool> checks = Bits("x..x");
    ToggleChecks(checks, {0, 1});
    EXPECT_EQ(checks, Bits("xx.x"));
    ToggleChecks(checks, {0, 1});
    EXPECT_EQ(checks, Bits("...x"));
    ToggleChecks(checks, {3, 7, -1});  // lines that do not exist are ignored
    EXPECT_EQ(checks, Bits("...."));
}

TEST(DateiSendenDlgLogik, FilesKeepTheirPartsAcrossUpdatesAndPartSizes) {
    TempFolder dir("tarvo-sendlist");
    TempFolder::Write(dir / "bild.jpg", std::string(100 * 1024, 'x'));  // 4 parts of 32 KiB
    TempFolder::Write(dir / "Bild.jpg", std::string(10, 'y'));          // another file
    TSendeDateiListe list;
    list.Update({dir / "bild.jpg", dir / "Bild.jpg", dir / "fehlt.bin", dir / "bild.jpg"});
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items()[0].size, 100 * 1024);
    EXPECT_EQ(list.Items()[0].parts, 4);
    EXPECT_EQ(list.Items()[1].size, 10);
    EXPECT_EQ(list.Items()[2].size, 0);
    EXPECT_EQ(list.Items()[2].parts, 1);

    list.SetParts(0, Bits("x.x."));
    EXPECT_EQ(PartRemark(list.Items()[0]), "nur Teile 1, 3.");
    // The chooser starts from the choice; all checked means all parts.
    EXPECT_EQ(list.Checks(0), Bits("x.x."));
    list.SetParts(1, Bits("x"));
    EXPECT_TRUE(list.Items()[1].allParts);

    // Only the name that differs in case goes; the other keeps its choice.
    list.Update({dir / "bild.jpg", dir / "neu.txt"});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items()[0].name, dir / "bild.jpg");
    EXPECT_EQ(list.Items()[0].selected, Bits("x.x."));
    EXPECT_TRUE(list.Items()[1].allParts);

    // Smaller parts: the chosen ones stay, new ones are not chosen.
    list.SetPartSize(10);
    EXPECT_EQ(list.Items()[0].parts, 10);
    EXPECT_EQ(list.Items()[0].selected, Bits("x.x......."));
    list.SetPartSize(4);  // out of range: nothing changes
    EXPECT_EQ(list.PartSize(), 10);
    EXPECT_EQ(list.Items()[0].parts, 10);
    list.SetPartSize(40);
    EXPECT_EQ(list.Items()[0].parts, 3);
    EXPECT_EQ(list.Items()[0].selected, Bits("x.x"));
    EXPECT_EQ(PartRemark(list.Items()[0]), "nur Teile 1, 3.");

    std::vector<fs::path> names{"/a", "/b"};
    AddNames(names, {"/b", "/A", "/a", "/c"});
    EXPECT_EQ(names, (std::vector<fs::path>{"/a", "/b", "/A", "/c"}));
}

TEST(DateiSendenDlgLogik, DroppedFoldersSkipDotFoldersLinksAndSpecialFiles) {
    TempFolder dir("tarvo-drop");
    TempFolder outside("tarvo-drop-outside");
    TempFolder::Write(outside / "geheim.txt", "x");
    const fs::path top = dir / "Ordner";
    TempFolder::Write(top / "a.txt", "a");
    TempFolder::Write(top / "unter" / "b.txt", "b");
    TempFolder::Write(top / "unter" / "tief" / "c.txt", "c");
    TempFolder::Write(top / ".git" / "config", "x");
    TempFolder::Write(top / "unter" / ".versteckt" / "d.txt", "x");
    TempFolder::Write(top / ".datei", "e");  // a dot file is still a file
    fs::create_directory_symlink(top, top / "unter" / "schleife");
    fs::create_directory_symlink(outside.path(), top / "raus");
    fs::create_symlink(outside / "geheim.txt", top / "geheim.txt");
    TempFolder::Write(dir / "einzeln.bin", "z");

    bool truncated = true;
    const auto files = ExpandDropped({top, dir / "einzeln.bin"}, &truncated);
    EXPECT_FALSE(truncated);
    EXPECT_EQ(files,
              (std::vector<fs::path>{top / ".datei", top / "a.txt", top / "unter" / "b.txt",
                                     top / "unter" / "tief" / "c.txt", dir / "einzeln.bin"}));
}

TEST(DateiSendenDlgLogik, DroppedFilesAreBounded) {
    TempFolder dir("tarvo-drop-many");
    for (std::size_t i = 0; i < kMaxDroppedFiles + 5; ++i)
        TempFolder::Write(dir / ("f" + std::to_string(i)), "");
    bool truncated = false;
    EXPECT_EQ(ExpandDropped({dir.path()}, &truncated).size(), kMaxDroppedFiles);
    EXPECT_TRUE(truncated);
}

TEST(DateiSendenDlgLogik, TypedTextBecomesCrLinesWrappedOnRequest) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"eins", {"eins"}},
        {"eins\r\nzwei\rdrei\nvier\n", {"eins", "zwei", "drei", "vier"}},
        {"a\n\nb", {"a", "", "b"}},
        {"\n", {""}},
    };
    for (const Case& c : cases) EXPECT_EQ(tarvo::core::TextLines(c.text), c.lines) << c.text;

    const std::string longLine = std::string(50, 'a') + " " + std::string(40, 'b');
    EXPECT_EQ(TextToSend({"kurz", longLine}, false), "kurz\r" + longLine + "\r");
    EXPECT_EQ(TextToSend({"kurz", longLine}, true),
              "kurz\r" + std::string(50, 'a') + " \r" + std::string(40, 'b') + "\r");
}

TEST(DateiSendenDlgLogik, MailboxTextsAsCrLfLinesAndBack) {
    struct Case {
        std::string field, text;
    } cases[] = {
        {"", ""},
        {"sp dl1xyz", "sp dl1xyz\r"},
        {"sp dl1xyz\nTitel\n", "sp dl1xyz\r\nTitel\r\n"},
        {"s tarvo\nBei mir\n\n", "s tarvo\r\nBei mir\r\n\r\n"},
        {"eins\r\nzwei", "eins\r\nzwei\r"},
    };
    for (const Case& c : cases) EXPECT_EQ(MailboxText(c.field), c.text) << c.field;
    EXPECT_EQ(FieldText("s tarvo\r\nBei mir\r\n\r\n"), "s tarvo\nBei mir\n\n");
    EXPECT_EQ(FieldText("^Z\r\n"), "^Z\n");
    EXPECT_EQ(MailboxText(FieldText("***end\r\n")), "***end\r\n");
}

}  // namespace
