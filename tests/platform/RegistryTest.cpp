#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "platform/RegistryFormat.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tarvo::platform::FileRegistry;
using tarvo::platform::Hive;
using tarvo::platform::RegValue;

namespace {

constexpr Hive CU = Hive::CurrentUser;
constexpr Hive LM = Hive::LocalMachine;
const char* const kRoot = "\\Software\\Morvane\\Tarvo";

class RegistryFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvo-reg-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = dir_ / "tarvo.reg";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::unique_ptr<FileRegistry> Open() {
        std::error_code ec;
        auto reg = FileRegistry::Open(file_, ec);
        EXPECT_FALSE(ec) << ec.message();
        return reg;
    }
    void WriteRaw(const std::string& bytes) { std::ofstream(file_, std::ios::binary) << bytes; }
    std::string ReadRaw(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    fs::path file_;
};

// UTF-8 (ASCII and Latin-1 only) to UTF-16LE with a byte-order mark, as the
// Windows registry editor exports.
std::string Utf16Export(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0xC0) c = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

}  // namespace

TEST_F(RegistryFile, TypedValuesSurviveAReopen) {
    const std::string multiLine = "line one\r\nline two \"quoted\" back\\slash";
    {
        auto reg = Open();
        EXPECT_TRUE(reg->WriteUtf8(CU, kRoot, "Font", "08x12"));
        EXPECT_TRUE(reg->WriteDWord(CU, kRoot, "Channels", 0xFFFFFFFFu));
        EXPECT_TRUE(reg->WriteBinary(LM, "\\Software\\Morvane\\Tarvo\\Geraete\\0", "Settings",
                                     {0, 1, 0xFF}));
        EXPECT_TRUE(reg->WriteBinary(CU, kRoot, "Empty", {}));
        EXPECT_TRUE(reg->WriteUtf8(CU, kRoot, "", "default value"));
        EXPECT_TRUE(reg->WriteUtf8(CU, kRoot, "Text", multiLine));
        EXPECT_TRUE(reg->WriteText(CU, kRoot, "Umlaut",
                                   "Gr\xFC\xDF"
                                   "e"));  // code page 1252
        EXPECT_TRUE(reg->SetValue(CU, kRoot, "Expand",
                                  RegValue{tarvo::platform::kRegExpandSz, "%HOME%", 0, {}}));
        EXPECT_TRUE(reg->SetValue(
            CU, kRoot, "Q", RegValue{tarvo::platform::kRegQword, "", 0, {1, 2, 3, 4, 5, 6, 7, 8}}));
        EXPECT_TRUE(reg->CreateKey(CU, "\\Software\\Morvane\\Tarvo\\EmptyKey"));
        EXPECT_FALSE(reg->Flush());
    }
    auto reg = Open();
    EXPECT_TRUE(reg->LoadProblems().empty());
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, "Font"), "08x12");
    EXPECT_EQ(reg->ReadDWord(CU, kRoot, "Channels"), 0xFFFFFFFFu);
    EXPECT_EQ(reg->ReadBinary(LM, "Software\\Morvane\\Tarvo\\Geraete\\0", "Settings"),
              (std::vector<std::uint8_t>{0, 1, 0xFF}));
    EXPECT_EQ(reg->ReadBinary(CU, kRoot, "Empty"), std::vector<std::uint8_t>{});
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, ""), "default value");
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, "Text"), multiLine);
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, "Umlaut"), "Grüße");
    EXPECT_EQ(reg->ReadText(CU, kRoot, "Umlaut"),
              "Gr\xFC\xDF"
              "e");
    EXPECT_EQ(reg->GetValue(CU, kRoot, "Expand")->text, "%HOME%");
    EXPECT_EQ(reg->GetValue(CU, kRoot, "Q")->bytes.size(), 8u);
    EXPECT_TRUE(reg->KeyExists(CU, "\\Software\\Morvane\\Tarvo\\EmptyKey"));
    // A value of another type is not read as an integer, nor a string as one.
    EXPECT_FALSE(reg->ReadDWord(CU, kRoot, "Font"));
    EXPECT_FALSE(reg->ReadUtf8(CU, kRoot, "Channels"));
}

TEST_F(RegistryFile, NamesCompareWithoutCaseAndKeepTheirFirstCase) {
    auto reg = Open();
    reg->WriteDWord(CU, "\\Software\\Morvane\\Tarvo\\Colors", "Rows", 1);
    reg->WriteDWord(CU, "\\SOFTWARE\\morvane\\TARVO\\colors", "ROWS", 2);
    EXPECT_EQ(reg->ReadDWord(CU, "software\\MORVANE\\tarvo\\COLORS", "rows"), 2u);
    EXPECT_EQ(reg->SubKeyNames(CU, "\\software\\morvane\\tarvo"),
              std::vector<std::string>{"Colors"});
    EXPECT_EQ(reg->ValueNames(CU, "\\Software\\Morvane\\Tarvo\\Colors"),
              std::vector<std::string>{"Rows"});
    reg->WriteUtf8(CU, kRoot, "Gerät", "x");
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, "GERÄT"), "x");
    // The two hives are separate.
    EXPECT_FALSE(reg->KeyExists(LM, "\\Software\\Morvane\\Tarvo\\Colors"));
}

TEST_F(RegistryFile, SubkeysOfDigitsListInNumericOrder) {
    auto reg = Open();
    const std::string devices = "\\Software\\Morvane\\Tarvo\\Geraete";
    for (int i : {12, 3, 0, 10, 1, 2, 11, 4, 5, 6, 7, 8, 9})
        reg->CreateKey(LM, devices + "\\" + std::to_string(i));
    reg->CreateKey(LM, devices + "\\beta");
    reg->CreateKey(LM, devices + "\\Alpha");
    const std::vector<std::string> expected = {"0", "1", "2",  "3",  "4",  "5",     "6",   "7",
                                               "8", "9", "10", "11", "12", "Alpha", "beta"};
    EXPECT_EQ(reg->SubKeyNames(LM, devices), expected);
    reg->Flush();
    EXPECT_EQ(Open()->SubKeyNames(LM, devices), expected);
}

TEST_F(RegistryFile, DeleteKeyRemovesTheWholeSubtree) {
    auto reg = Open();
    reg->WriteDWord(LM, "\\A\\B\\C", "x", 1);
    reg->WriteDWord(LM, "\\A\\D", "y", 2);
    EXPECT_TRUE(reg->DeleteKey(LM, "\\a\\b"));
    EXPECT_FALSE(reg->KeyExists(LM, "\\A\\B\\C"));
    EXPECT_EQ(reg->ReadDWord(LM, "\\A\\D", "y"), 2u);
    EXPECT_FALSE(reg->DeleteKey(LM, "\\A\\B"));
    EXPECT_TRUE(reg->DeleteValue(LM, "\\A\\D", "Y"));
    EXPECT_FALSE(reg->GetValue(LM, "\\A\\D", "y"));
}

TEST_F(RegistryFile, RefusesNamesThatCannotBeStored) {
    auto reg = Open();
    EXPECT_FALSE(reg->WriteUtf8(CU, kRoot, "bad\nname", "x"));
    EXPECT_FALSE(reg->WriteUtf8(CU, "\\Soft\x01ware", "n", "x"));
    EXPECT_FALSE(reg->WriteUtf8(CU, kRoot, "n", "\xFF\xFE not UTF-8"));
    EXPECT_FALSE(reg->WriteUtf8(CU, kRoot, "n", std::string("nul\0inside", 11)));
    EXPECT_FALSE(reg->KeyExists(CU, "\\Soft\x01ware"));
}

TEST_F(RegistryFile, ChangesReachTheDiskWithoutAnExplicitFlush) {
    auto reg = Open();
    reg->WriteUtf8(CU, kRoot, "Dirty", "1");
    // Poll the file the way another process would see it.
    std::string text;
    for (int i = 0; i < 200 && text.find("\"Dirty\"=\"1\"") == std::string::npos; ++i) {
        std::this_thread::sleep_for(10ms);
        text = ReadRaw(file_);
    }
    EXPECT_NE(text.find("\"Dirty\"=\"1\""), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(dir_ / "tarvo.reg.bad"));
}

TEST_F(RegistryFile, ReadsARegedit4ExportInCodePage1252) {
    WriteRaw(
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo]\r\n"
        "\"Greeting\"=\"Gr\xFC\xDF"
        "e \\\"de\\\" DL1ABC\"\r\n"
        "\"Channels\"=dword:0000000a\r\n"
        "\"Raw\"=hex:de,ad,\\\r\n"
        "  be,ef\r\n"
        "\"Path\"=hex(2):25,54,45,4d,50,25,00\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Tarvo\\Geraete\\0]\r\n"
        "@=\"TGeraetHostmodeSerial\"\r\n"
        "[-HKEY_LOCAL_MACHINE\\Software\\Morvane\\Tarvo\\Geraete\\0]\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Tarvo\\Geraete\\1]\r\n"
        "\"Anschluss\"=dword:00000002\r\n");
    auto reg = Open();
    EXPECT_TRUE(reg->LoadProblems().empty()) << reg->LoadProblems().front();
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, "greeting"), "Grüße \"de\" DL1ABC");
    EXPECT_EQ(reg->ReadDWord(CU, kRoot, "Channels"), 10u);
    EXPECT_EQ(reg->ReadBinary(CU, kRoot, "Raw"),
              (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(reg->GetValue(CU, kRoot, "Path")->text, "%TEMP%");
    EXPECT_FALSE(reg->KeyExists(LM, "\\Software\\Morvane\\Tarvo\\Geraete\\0"));
    EXPECT_EQ(reg->ReadDWord(LM, "\\Software\\Morvane\\Tarvo\\Geraete\\1", "Anschluss"), 2u);
}

TEST_F(RegistryFile, ReadsAVersion5ExportInUtf16) {
    WriteRaw(
        Utf16Export("Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo\\Eigene Rufzeichen]\r\n"
                    "\"DL1ABC\"=dword:00000003\r\n"
                    "\"Name\"=\"Jürgen\"\r\n"
                    "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
                    "\"Sz\"=hex(1):c4,00,62,00,00,00\r\n"
                    "\"Text\"=\"first\r\nsecond\"\r\n"));
    auto reg = Open();
    EXPECT_TRUE(reg->LoadProblems().empty()) << reg->LoadProblems().front();
    const std::string key = "\\Software\\Morvane\\Tarvo\\Eigene Rufzeichen";
    EXPECT_EQ(reg->ReadDWord(CU, key, "dl1abc"), 3u);
    EXPECT_EQ(reg->ReadUtf8(CU, key, "Name"), "Jürgen");
    EXPECT_EQ(reg->ReadText(CU, key, "Name"), "J\xFCrgen");
    EXPECT_EQ(reg->GetValue(CU, key, "Multi")->type, tarvo::platform::kRegMultiSz);
    EXPECT_EQ(reg->ReadUtf8(CU, key, "Sz"), "Äb");
    EXPECT_EQ(reg->ReadUtf8(CU, key, "Text"), "first\r\nsecond");
}

TEST_F(RegistryFile, TruncatedFileKeepsWhatWasReadableAndTheOriginal) {
    std::string good;
    {
        auto reg = Open();
        reg->WriteUtf8(CU, kRoot, "A", "alpha");
        reg->WriteDWord(CU, kRoot, "B", 2);
        reg->WriteBinary(CU, kRoot, "C", std::vector<std::uint8_t>(100, 0xAB));
        reg->WriteUtf8(CU, kRoot, "D", "delta");
        reg->Flush();
        good = ReadRaw(file_);
    }
    // Cut in the middle of the hex value C: A and B stay, C and D are lost.
    const std::string cut = good.substr(0, good.find("ab,ab,ab,ab,\\") + 13);
    WriteRaw(cut);

    auto reg = Open();
    ASSERT_FALSE(reg->LoadProblems().empty());
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, "A"), "alpha");
    EXPECT_EQ(reg->ReadDWord(CU, kRoot, "B"), 2u);
    EXPECT_FALSE(reg->GetValue(CU, kRoot, "C"));
    EXPECT_EQ(reg->BadCopy(), dir_ / "tarvo.reg.bad");
    EXPECT_EQ(ReadRaw(dir_ / "tarvo.reg.bad"), cut);
    // What was readable is on disk again at once.
    EXPECT_NE(ReadRaw(file_).find("\"A\"=\"alpha\""), std::string::npos);

    // A second damage does not overwrite the first copy.
    WriteRaw(cut);
    auto again = Open();
    EXPECT_EQ(again->BadCopy(), dir_ / "tarvo.reg (1).bad");
    EXPECT_EQ(ReadRaw(dir_ / "tarvo.reg.bad"), cut);
}

TEST_F(RegistryFile, DamagedLinesAreReportedAndTheRestIsKept) {
    WriteRaw(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo]\n"
        "\"Good\"=\"yes\"\n"
        "\"Broken\"=\"no closing quote\n"
        "garbage line\n"
        "\"Num\"=dword:xyz\n"
        "[HKEY_CLASSES_ROOT\\foo]\n"
        "\"Ignored\"=\"x\"\n"
        "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo\\Sub]\n"
        "\"After\"=dword:00000001\n");
    auto reg = Open();
    EXPECT_EQ(reg->LoadProblems().size(),
              5u);  // three bad lines, one hive not taken, and the note on the copy
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, "Good"), "yes");
    EXPECT_EQ(reg->ReadDWord(CU, "\\Software\\Morvane\\Tarvo\\Sub", "After"), 1u);
    EXPECT_TRUE(fs::exists(dir_ / "tarvo.reg.bad"));
}

namespace {
// A "VmXXX:  1234 kB" line of this process's status, in kB; -1 when missing.
long StatusKb(const std::string& name) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
    return -1;
}
}  // namespace

// The program opens its settings at every start; a small file must not cost
// memory in the size of the largest file allowed.
TEST_F(RegistryFile, OpeningASmallFileKeepsThePeakMemoryLow) {
    { Open()->WriteUtf8(CU, kRoot, "A", "alpha"); }
    // Writing 5 resets the peak (VmHWM) to the current resident size.
    if (!(std::ofstream("/proc/self/clear_refs") << "5" << std::flush) || StatusKb("VmHWM") < 0)
        GTEST_SKIP() << "the peak resident size cannot be reset here";
    const long before = StatusKb("VmRSS");
    auto reg = Open();
    EXPECT_EQ(reg->ReadUtf8(CU, kRoot, "A"), "alpha");
    EXPECT_LT(StatusKb("VmHWM") - before, 16 * 1024);
}

TEST_F(RegistryFile, AFileOverTheSizeLimitIsSetAsideAsDamaged) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n";
    WriteRaw(head + std::string(tarvo::platform::regfile::kMaxFileSize + 1 - head.size(), ';'));
    auto reg = Open();
    ASSERT_FALSE(reg->LoadProblems().empty());
    EXPECT_NE(reg->LoadProblems()[0].find("larger"), std::string::npos);
    EXPECT_EQ(fs::file_size(dir_ / "tarvo.reg.bad"), tarvo::platform::regfile::kMaxFileSize + 1);
}

TEST_F(RegistryFile, TwoThreadsWritingLoseNeither) {
    {
        auto reg = Open();
        auto writer = [&](const std::string& prefix) {
            for (int i = 0; i < 300; ++i) reg->WriteDWord(CU, kRoot, prefix + std::to_string(i), i);
        };
        std::thread a(writer, "a"), b(writer, "b");
        a.join();
        b.join();
    }
    auto reg = Open();
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(reg->ReadDWord(CU, kRoot, "a" + std::to_string(i)),
                  static_cast<std::uint32_t>(i));
        EXPECT_EQ(reg->ReadDWord(CU, kRoot, "b" + std::to_string(i)),
                  static_cast<std::uint32_t>(i));
    }
}

TEST(RegistryFormat, AStringEndsAtItsFirstNul) {
    // Found by the fuzzer: a NUL inside quotes did not survive a write and read.
    const std::string file =
        std::string("REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"s\"=\"ab\0cd\"\n", 43);
    auto parsed = tarvo::platform::regfile::Parse(file);
    ASSERT_TRUE(parsed.problems.empty());
    EXPECT_EQ(parsed.tree.currentUser.Child("A")->Value("s")->text, "ab");
    const std::string written = tarvo::platform::regfile::Serialize(parsed.tree);
    EXPECT_EQ(tarvo::platform::regfile::Serialize(tarvo::platform::regfile::Parse(written).tree),
              written);
}

TEST(RegistryFormat, SerializedTreeParsesBackTheSame) {
    FileRegistry reg;
    reg.WriteUtf8(CU, kRoot, "Quote", "a \"b\" \\c\\");
    reg.WriteUtf8(CU, kRoot, "Tab", "a\tb");
    reg.WriteBinary(CU, kRoot, "Long", std::vector<std::uint8_t>(200, 7));
    reg.WriteDWord(LM, "\\Software\\Morvane\\Tarvo\\Geraete\\10", "Baudrate", 38400);
    const std::string text = reg.Serialize();
    auto parsed = tarvo::platform::regfile::Parse(text);
    EXPECT_TRUE(parsed.problems.empty());
    EXPECT_EQ(tarvo::platform::regfile::Serialize(parsed.tree), text);
    EXPECT_EQ(parsed.tree.currentUser.Child("Software")
                  ->Child("Morvane")
                  ->Child("Tarvo")
                  ->Value("Tab")
                  ->text,
              "a\tb");
}
