#include "core/ConfigU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "platform/Registry.h"
#include "tests/support/CollectingDebugSink.h"

using tarvo::core::TarvoConfigError;
using tarvo::core::TConfig;
using tarvo::platform::FileRegistry;
using tarvo::platform::Hive;
using tarvo::platform::RegValue;

namespace {

constexpr Hive CU = Hive::CurrentUser;
const std::string kRoot = "\\Software\\Morvane\\Tarvo";
const std::string kVersion = "0.01.000";

std::string Key(const std::string& sub) {
    return kRoot + sub;
}

class Config : public ::testing::Test {
  protected:
    FileRegistry reg_;
};

// ---- empty store --------------------------------------------------------------

TEST_F(Config, EmptyStoreGivesTheDefaults) {
    TConfig config(reg_, kVersion);
    EXPECT_EQ(config.Channels(), 8);
    EXPECT_EQ(config.Font(), "08x12");
    EXPECT_EQ(config.ConsoleFontFamily(), "Tarvo 08x12");
    EXPECT_EQ(config.ConsoleRows(), 1250);
    EXPECT_EQ(config.Monitor(), 350);
    EXPECT_TRUE(config.SplashScreen());
    EXPECT_FALSE(config.Timestamp());
    EXPECT_EQ(config.IncomingConnects(), TConfig::kIncomingAccept);
    EXPECT_TRUE(config.LocalEcho());
    EXPECT_FALSE(config.Dirty());
    EXPECT_FALSE(config.ForceDatabaseCheck());
    EXPECT_TRUE(config.PgpCollectPublicKeys());
    EXPECT_FALSE(config.PgpDetailedOutput());
    EXPECT_EQ(config.PgpComment(), "");
    EXPECT_TRUE(config.SendSid());
    EXPECT_TRUE(config.HideSentSid());
    EXPECT_TRUE(config.HideReceivedSid());
    EXPECT_EQ(config.InputHeight(), 64);
    EXPECT_EQ(config.MonitorHeight(), 64);
    EXPECT_EQ(config.ToolbarThemeValue(), 1);
    EXPECT_EQ(config.ToolbarTheme({}), "OfficeXP");
    EXPECT_EQ(config.ToolbarTextMode(), TConfig::ToolbarText::Right);
    EXPECT_EQ(config.UiDestination(), "");
    EXPECT_EQ(config.UiPort(), "");
    EXPECT_EQ(config.UiMyCall(), "");
}

TEST_F(Config, DefaultColoursAsBgr) {
    TConfig config(reg_, kVersion);
    const std::uint32_t expected[TConfig::kColorCount] = {
        0xFFFFFF, 0x000000, 0x7F0000, 0x00009F, 0x7F6C00, 0xFFFFFF, 0x000000,
        0x0000C0, 0xFFFFFF, 0x7F0000, 0x00009F, 0x007F00, 0x606060,
    };
    for (int i = 0; i < TConfig::kColorCount; ++i) {
        EXPECT_EQ(config.Color(i), expected[i]) << "colour " << i;
        EXPECT_EQ(TConfig::DefaultColor(i), expected[i]) << "colour " << i;
    }
    EXPECT_EQ(config.Color(-1), 0u);
    EXPECT_EQ(config.Color(13), 0u);
    // Reading a default does not store it.
    EXPECT_TRUE(reg_.ValueNames(CU, Key("\\Colors")).empty());
}

TEST_F(Config, ReadingCreatesTheKeys) {
    {
        TConfig config(reg_, kVersion);
        EXPECT_TRUE(reg_.KeyExists(CU, kRoot));  // Monitor and First steps at creation
        EXPECT_FALSE(reg_.KeyExists(CU, Key("\\PGP")));
        config.PgpDetailedOutput();
        config.SendSid();
        config.Color(0);
        config.InputHeight();
        config.ToolbarTextMode();
        config.UiPort();
        for (const char* sub :
             {"\\PGP", "\\SID", "\\Colors", "\\Windows\\Main", "\\Toolbar", "\\UI"})
            EXPECT_TRUE(reg_.KeyExists(CU, Key(sub))) << sub;
        // Reading wrote no values there.
        EXPECT_TRUE(reg_.ValueNames(CU, Key("\\PGP")).empty());
    }
    // Freeing wrote the monitor flags.
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "Monitor"), "350");
}

TEST_F(Config, GenericOperationsCreateTheirKey) {
    TConfig config(reg_, kVersion);
    EXPECT_FALSE(config.ValueExists(CU, "\\Some\\Page", "X"));
    EXPECT_TRUE(reg_.KeyExists(CU, Key("\\Some\\Page")));
    EXPECT_EQ(config.ReadString(Hive::LocalMachine, "\\Other", "X"), "");
    EXPECT_TRUE(reg_.KeyExists(Hive::LocalMachine, Key("\\Other")));
    // A missing leading backslash is supplied.
    config.WriteString(CU, "NoSlash", "A", "b");
    EXPECT_EQ(reg_.ReadText(CU, Key("\\NoSlash"), "A"), "b");
}

// ---- Monitor ----------------------------------------------------------------------

struct MonitorCase {
    std::optional<RegValue> stored;
    std::int32_t expected;
};

TEST_F(Config, MonitorReadAtCreation) {
    const MonitorCase cases[] = {
        {std::nullopt, 350},
        {RegValue::String("1"), 350},
        {RegValue::String("0"), 0},
        {RegValue::String("2"), 2},
        {RegValue::String("383"), 383},
        {RegValue::String("-5"), -5},
        {RegValue::String(""), 350},
        {RegValue::String("abc"), 350},
        {RegValue::String("12x"), 350},
        {RegValue::String("99999999999"), 350},
        {RegValue::DWord(7), 350},  // not a string
    };
    for (const auto& c : cases) {
        FileRegistry reg;
        if (c.stored) reg.SetValue(CU, kRoot, "Monitor", *c.stored);
        TConfig config(reg, kVersion);
        EXPECT_EQ(config.Monitor(), c.expected)
            << (c.stored ? c.stored->text + "/" + std::to_string(c.stored->number) : "missing");
    }
}

TEST_F(Config, MonitorSetterWritesAtOnce) {
    TConfig config(reg_, kVersion);
    config.SetMonitor(0x1FF);
    EXPECT_EQ(config.Monitor(), 0x1FF);
    EXPECT_EQ(reg_.GetValue(CU, kRoot, "Monitor"), RegValue::String("511"));
    // The cache, not the registry, is what reads.
    reg_.WriteText(CU, kRoot, "Monitor", "12");
    EXPECT_EQ(config.Monitor(), 0x1FF);
}

TEST_F(Config, MonitorWrittenBackWhenFreed) {
    reg_.WriteText(CU, kRoot, "Monitor", "1");
    { TConfig config(reg_, kVersion); }
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "Monitor"), "350");
    {
        TConfig config(reg_, kVersion);
        config.SetMonitor(-3);
        reg_.WriteText(CU, kRoot, "Monitor", "9");  // replaced again at the end
    }
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "Monitor"), "-3");
    TConfig config(reg_, kVersion);
    EXPECT_EQ(config.Monitor(), -3);
}

// ---- IncomingConnects and Font --------------------------------------------------

TEST_F(Config, IncomingConnectsRead) {
    const std::pair<const char*, int> cases[] = {
        {"1", 1}, {"2", 2}, {"3", 3}, {"x", 1}, {"", 1}, {"0", 1}, {"4", 1}, {" 2", 1}, {"2 ", 1},
    };
    TConfig config(reg_, kVersion);
    for (const auto& [text, expected] : cases) {
        reg_.WriteText(CU, kRoot, "IncomingConnects", text);
        EXPECT_EQ(config.IncomingConnects(), expected) << '"' << text << '"';
    }
    reg_.WriteDWord(CU, kRoot, "IncomingConnects", 2);
    EXPECT_EQ(config.IncomingConnects(), 1);
}

TEST_F(Config, IncomingConnectsWrite) {
    const std::pair<int, const char*> cases[] = {{1, "1"}, {2, "2"}, {3, "3"},
                                                 {7, ""},  {0, ""},  {-1, ""}};
    TConfig config(reg_, kVersion);
    for (const auto& [mode, stored] : cases) {
        config.SetIncomingConnects(mode);
        EXPECT_EQ(reg_.GetValue(CU, kRoot, "IncomingConnects"), RegValue::String(stored)) << mode;
    }
    EXPECT_EQ(config.IncomingConnects(), 1);
}

TEST_F(Config, FontOnlyTheSixNames) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {std::nullopt, "08x12"}, {"07x09", "07x09"}, {"08x09", "08x09"},   {"08x12", "08x12"},
        {"08x13", "08x13"},      {"08x15", "08x15"}, {"10x18", "10x18"},   {"10X18", "08x12"},
        {"12x24", "08x12"},      {"", "08x12"},      {"Courier", "08x12"},
    };
    for (const auto& [stored, expected] : cases) {
        FileRegistry reg;
        if (stored) reg.WriteText(CU, kRoot, "Font", *stored);
        TConfig config(reg, kVersion);
        EXPECT_EQ(config.Font(), expected) << stored.value_or("(missing)");
        EXPECT_EQ(config.ConsoleFontFamily(), "Tarvo " + expected);
    }
}

TEST_F(Config, FontCachedAfterFirstRead) {
    reg_.WriteText(CU, kRoot, "Font", "08x15");
    TConfig config(reg_, kVersion);
    EXPECT_EQ(config.Font(), "08x15");
    reg_.WriteText(CU, kRoot, "Font", "10x18");
    EXPECT_EQ(config.Font(), "08x15");
    config.SetFont("07x09");
    EXPECT_EQ(config.Font(), "07x09");
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "Font"), "07x09");
    config.SetFont("bogus");
    EXPECT_EQ(config.Font(), "08x12");
}

// ---- encodings --------------------------------------------------------------------

TEST_F(Config, BooleanEncoding) {
    const std::pair<std::optional<RegValue>, bool> cases[] = {
        {std::nullopt, true},  // default of LocalEcho
        {RegValue::String("1"), true},
        {RegValue::String("0"), false},
        {RegValue::String("true"), false},
        {RegValue::String("TRUE"), false},
        {RegValue::String("yes"), false},
        {RegValue::String(" 1"), false},
        {RegValue::String("11"), false},
        {RegValue::String(""), false},
        {RegValue::DWord(1), true},  // not a string: the default
        {RegValue::DWord(0), true},
    };
    TConfig config(reg_, kVersion);
    for (const auto& [stored, expected] : cases) {
        reg_.DeleteValue(CU, kRoot, "LocalEcho");
        if (stored) reg_.SetValue(CU, kRoot, "LocalEcho", *stored);
        EXPECT_EQ(config.LocalEcho(), expected)
            << (stored ? stored->text + "/" + std::to_string(stored->type) : "missing");
    }
}

TEST_F(Config, BooleansStoredAsDigits) {
    TConfig config(reg_, kVersion);
    config.SetDirty(true);
    EXPECT_EQ(reg_.GetValue(CU, kRoot, "Dirty"), RegValue::String("1"));
    EXPECT_TRUE(config.Dirty());
    config.SetDirty(false);
    EXPECT_EQ(reg_.GetValue(CU, kRoot, "Dirty"), RegValue::String("0"));
    EXPECT_FALSE(config.Dirty());
    config.SetHideSentSid(false);
    EXPECT_EQ(reg_.GetValue(CU, Key("\\SID"), "HideSentSID"), RegValue::String("0"));
    EXPECT_TRUE(config.WriteBool(CU, "", "SplashScreen", false));
    EXPECT_FALSE(config.SplashScreen());
    EXPECT_TRUE(config.WriteBool(CU, "", "Timestamp", true));
    EXPECT_TRUE(config.Timestamp());
}

TEST_F(Config, TypedValuesRoundTrip) {
    TConfig config(reg_, kVersion);
    config.SetChannels(12);
    config.SetConsoleRows(4000);
    config.SetLocalEcho(false);
    config.SetForceDatabaseCheck(true);
    config.SetHighColor(false);
    config.SetPgpCollectPublicKeys(false);
    config.SetPgpDetailedOutput(true);
    config.SetPgpComment("Gru\xDF aus M\xFCnchen");  // code page 1252
    config.SetSendSid(false);
    config.SetHideReceivedSid(false);
    config.SetInputHeight(80);
    config.SetMonitorHeight(120);
    config.SetToolbarTextMode(TConfig::ToolbarText::Below);
    config.SetUiDestination("CQ via DB0ABC");
    config.SetUiPort("1");
    config.SetUiMyCall("DL1ABC-2");
    config.SetColor(TConfig::kColorInputSent, 0x123456);

    EXPECT_EQ(config.Channels(), 12);
    EXPECT_EQ(reg_.GetValue(CU, kRoot, "Channels"), RegValue::DWord(12));
    EXPECT_EQ(config.ConsoleRows(), 4000);
    EXPECT_FALSE(config.LocalEcho());
    EXPECT_TRUE(config.ForceDatabaseCheck());
    EXPECT_FALSE(config.HighColor());
    EXPECT_FALSE(config.PgpCollectPublicKeys());
    EXPECT_TRUE(config.PgpDetailedOutput());
    EXPECT_EQ(config.PgpComment(), "Gru\xDF aus M\xFCnchen");
    EXPECT_EQ(reg_.ReadUtf8(CU, Key("\\PGP"), "Comment"), "Gru\u00DF aus M\u00FCnchen");
    EXPECT_FALSE(config.SendSid());
    EXPECT_TRUE(config.HideSentSid());
    EXPECT_FALSE(config.HideReceivedSid());
    EXPECT_EQ(config.InputHeight(), 80);
    EXPECT_EQ(reg_.GetValue(CU, Key("\\Windows\\Main"), "InputHeight"), RegValue::DWord(80));
    EXPECT_EQ(config.MonitorHeight(), 120);
    EXPECT_EQ(config.ToolbarTextMode(), TConfig::ToolbarText::Below);
    EXPECT_EQ(reg_.GetValue(CU, Key("\\Toolbar"), "Text"), RegValue::DWord(2));
    EXPECT_EQ(config.UiDestination(), "CQ via DB0ABC");
    EXPECT_EQ(config.UiPort(), "1");
    EXPECT_EQ(config.UiMyCall(), "DL1ABC-2");
    EXPECT_EQ(config.Color(TConfig::kColorInputSent), 0x123456u);
    EXPECT_EQ(reg_.GetValue(CU, Key("\\Colors"), "07"), RegValue::DWord(0x123456));
}

TEST_F(Config, HighColorDefaultFollowsTheColourLevel) {
    TConfig config(reg_, kVersion);
    const int saved = tarvo::core::ColourLevel();
    tarvo::core::SetColourLevel(2);
    EXPECT_TRUE(config.HighColor());
    tarvo::core::SetColourLevel(1);
    EXPECT_FALSE(config.HighColor());
    tarvo::core::SetColourLevel(0);
    EXPECT_FALSE(config.HighColor());
    config.SetHighColor(true);
    EXPECT_TRUE(config.HighColor());
    tarvo::core::SetColourLevel(saved);
}

// ---- wrong types and clamping -------------------------------------------------

struct IntegerCase {
    const char* what;
    std::string sub;
    std::string name;
    std::optional<RegValue> stored;
    int expected;
};

int ReadTyped(const TConfig& c, const std::string& name) {
    if (name == "Channels") return c.Channels();
    if (name == "ConsoleRows") return c.ConsoleRows();
    if (name == "InputHeight") return c.InputHeight();
    if (name == "MonitorHeight") return c.MonitorHeight();
    if (name == "Text") return static_cast<int>(c.ToolbarTextMode());
    if (name == "Theme") return c.ToolbarThemeValue();
    ADD_FAILURE() << name;
    return -1;
}

TEST_F(Config, IntegersClampedAndDefaulted) {
    const IntegerCase cases[] = {
        {"missing", "", "Channels", std::nullopt, 8},
        {"in range", "", "Channels", RegValue::DWord(17), 17},
        {"damaged", "", "Channels", RegValue::DWord(5000), 40},
        {"zero", "", "Channels", RegValue::DWord(0), 1},
        {"negative", "", "Channels", RegValue::DWord(0xFFFFFFFF), 1},
        {"huge", "", "Channels", RegValue::DWord(0x7FFFFFFF), 40},
        {"string", "", "Channels", RegValue::String("12"), 8},
        {"binary", "", "Channels", RegValue::Binary({12, 0, 0, 0}), 8},
        {"missing", "", "ConsoleRows", std::nullopt, 1250},
        {"low", "", "ConsoleRows", RegValue::DWord(10), 500},
        {"high", "", "ConsoleRows", RegValue::DWord(1000000), 30000},
        {"string", "", "ConsoleRows", RegValue::String("2000"), 1250},
        {"missing", "\\Windows\\Main", "InputHeight", std::nullopt, 64},
        {"high", "\\Windows\\Main", "InputHeight", RegValue::DWord(20000), 10000},
        {"negative", "\\Windows\\Main", "InputHeight", RegValue::DWord(0xFFFFFFF0), 0},
        {"zero", "\\Windows\\Main", "MonitorHeight", RegValue::DWord(0), 0},
        {"string", "\\Windows\\Main", "MonitorHeight", RegValue::String("99"), 64},
        {"none", "\\Toolbar", "Text", RegValue::DWord(0), 0},
        {"below", "\\Toolbar", "Text", RegValue::DWord(2), 2},
        {"unknown", "\\Toolbar", "Text", RegValue::DWord(3), 1},
        {"negative", "\\Toolbar", "Text", RegValue::DWord(0xFFFFFFFF), 1},
        {"string", "\\Toolbar", "Text", RegValue::String("0"), 1},
        {"missing", "\\Toolbar", "Theme", std::nullopt, 1},
        {"available", "\\Toolbar", "Theme", RegValue::DWord(104), 104},
        {"string", "\\Toolbar", "Theme", RegValue::String("2"), 1},
    };
    TConfig config(reg_, kVersion);
    for (const auto& c : cases) {
        reg_.DeleteValue(CU, Key(c.sub), c.name);
        if (c.stored) reg_.SetValue(CU, Key(c.sub), c.name, *c.stored);
        EXPECT_EQ(ReadTyped(config, c.name), c.expected) << c.name << " " << c.what;
    }
}

TEST_F(Config, SettersClampToo) {
    TConfig config(reg_, kVersion);
    config.SetChannels(5000);
    EXPECT_EQ(reg_.ReadDWord(CU, kRoot, "Channels"), 40u);
    config.SetChannels(0);
    EXPECT_EQ(reg_.ReadDWord(CU, kRoot, "Channels"), 1u);
    config.SetConsoleRows(10);
    EXPECT_EQ(reg_.ReadDWord(CU, kRoot, "ConsoleRows"), 500u);
    config.SetMonitorHeight(-4);
    EXPECT_EQ(reg_.ReadDWord(CU, Key("\\Windows\\Main"), "MonitorHeight"), 0u);
    config.SetToolbarTextMode(static_cast<TConfig::ToolbarText>(9));
    EXPECT_EQ(reg_.ReadDWord(CU, Key("\\Toolbar"), "Text"), 1u);
    config.SetColor(3, 0xFF123456);
    EXPECT_EQ(reg_.ReadDWord(CU, Key("\\Colors"), "03"), 0x123456u);
    config.SetColor(13, 0x111111);  // outside the table: nothing
    EXPECT_FALSE(reg_.GetValue(CU, Key("\\Colors"), "13"));
}

TEST_F(Config, ColoursMaskedAndDefaulted) {
    const std::pair<std::optional<RegValue>, std::uint32_t> cases[] = {
        {std::nullopt, 0x0000C0},
        {RegValue::DWord(0x123456), 0x123456},
        {RegValue::DWord(0xFF123456), 0x123456},
        {RegValue::DWord(0x80000000), 0},
        {RegValue::String("255"), 0x0000C0},
        {RegValue::Binary({1, 2, 3, 4}), 0x0000C0},
    };
    TConfig config(reg_, kVersion);
    for (const auto& [stored, expected] : cases) {
        reg_.DeleteValue(CU, Key("\\Colors"), "07");
        if (stored) reg_.SetValue(CU, Key("\\Colors"), "07", *stored);
        EXPECT_EQ(config.Color(7), expected);
    }
    // Value names are two decimal digits.
    reg_.WriteDWord(CU, Key("\\Colors"), "7", 0x010101);
    reg_.DeleteValue(CU, Key("\\Colors"), "07");
    EXPECT_EQ(config.Color(7), 0x0000C0u);
    reg_.WriteDWord(CU, Key("\\Colors"), "12", 0x020202);
    EXPECT_EQ(config.Color(12), 0x020202u);
}

// ---- strings -----------------------------------------------------------------------

TEST_F(Config, StringOfTheWrongTypeReadsEmpty) {
    reg_.WriteDWord(CU, Key("\\UI"), "MyCall", 5);
    TConfig config(reg_, kVersion);
    EXPECT_EQ(config.UiMyCall(), "");
    EXPECT_TRUE(config.ValueExists(CU, "\\UI", "MyCall"));
    EXPECT_FALSE(config.ValueExists(CU, "\\UI", "Port"));
}

// ---- toolbar theme ---------------------------------------------------------------

TEST_F(Config, ThemeRead) {
    const std::vector<std::string> available = {"Aluminum", "Monai", "Stripes"};
    const std::pair<std::int32_t, std::optional<std::string>> cases[] = {
        {0, "NewDefaultTheme"},
        {1, "OfficeXP"},
        {2, "Roma"},
        {3, "NewOfficeXPTheme"},
        {4, std::nullopt},
        {99, std::nullopt},
        {-1, std::nullopt},
        {100, "Aluminum"},
        {102, "Stripes"},
        {103, std::nullopt},
        {0x7FFFFFFF, std::nullopt},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(TConfig::ThemeForValue(value, available), expected) << value;

    TConfig config(reg_, kVersion);
    reg_.WriteDWord(CU, Key("\\Toolbar"), "Theme", 101);
    EXPECT_EQ(config.ToolbarTheme(available), "Monai");
    reg_.WriteDWord(CU, Key("\\Toolbar"), "Theme", 50);
    EXPECT_EQ(config.ToolbarTheme(available), std::nullopt);  // keep the current one
}

TEST_F(Config, ThemeWrite) {
    const std::vector<std::string> available = {"Aluminum", "Monai", "Stripes"};
    const std::pair<const char*, std::int32_t> cases[] = {
        {"Default", 0},    {"OfficeXP", 1},  {"Roma", 2},
        {"Aluminum", 100}, {"Stripes", 102}, {"Gone", 99},
    };
    TConfig config(reg_, kVersion);
    for (const auto& [theme, value] : cases) {
        EXPECT_EQ(TConfig::ValueForTheme(theme, available), value) << theme;
        config.SetToolbarTheme(theme, available);
        EXPECT_EQ(reg_.ReadDWord(CU, Key("\\Toolbar"), "Theme"), static_cast<std::uint32_t>(value));
    }
}

// ---- first steps ---------------------------------------------------------------

TEST_F(Config, FirstStepsOnceAfterEachVersionChange) {
    const std::pair<const char*, bool> starts[] = {
        {"0.01.000", true},   // first start ever: code "00"
        {"0.01.000", false},  // same version
        {"0.01.777", false},  // build only: same code
        {"0.02.000", false},  // the second digit of the minor is not part of the code
        {"1.02.345", true},   // code "10"
        {"1.02.345", false}, {"0.11.000", true},  // code "01" again
        {"", true},                               // too short: "00"
        {"ab", false},                            // "00" again
        {"0.1", true},                            // "01"
    };
    for (const auto& [version, due] : starts) {
        TConfig config(reg_, version);
        EXPECT_EQ(config.FirstStepsDue(), due) << version;
    }
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "First steps"), "01");
}

TEST_F(Config, FirstStepsCodeStored) {
    { TConfig config(reg_, "1.02.345"); }
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "First steps"), "10");
    { TConfig config(reg_, "x"); }
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "First steps"), "00");
}

TEST_F(Config, FirstStepsStayDueUntilTheOperatorDeclinesThem) {
    {
        TConfig config(reg_, "1.02.345");
        ASSERT_TRUE(config.FirstStepsDue());
        config.SetFirstStepsDue(true);  // closed without "Nicht mehr anzeigen"
    }
    {
        TConfig config(reg_, "1.02.345");
        EXPECT_TRUE(config.FirstStepsDue());
        config.SetFirstStepsDue(false);
        EXPECT_FALSE(config.FirstStepsDue());
    }
    TConfig config(reg_, "1.02.345");
    EXPECT_FALSE(config.FirstStepsDue());
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "First steps"), "10");
}

// ---- generic operations ---------------------------------------------------------

TEST_F(Config, ReadIntegerRaises) {
    TConfig config(reg_, kVersion);
    reg_.WriteDWord(CU, Key("\\Page"), "N", 0xFFFFFFFE);
    EXPECT_EQ(config.ReadInteger(CU, "\\Page", "N"), -2);

    try {
        config.ReadInteger(CU, "\\Page", "Missing");
        FAIL() << "no exception";
    } catch (const TarvoConfigError& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'Missing'");
    }
    reg_.WriteText(CU, Key("\\Page"), "S", "12");
    try {
        config.ReadInteger(CU, "\\Page", "S");
        FAIL() << "no exception";
    } catch (const TarvoConfigError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'S'");
    }
    // A key path with a control character cannot be opened.
    try {
        config.ReadInteger(CU, "\\Bad\x01Key", "N");
        FAIL() << "no exception";
    } catch (const TarvoConfigError& e) {
        EXPECT_STREQ(e.what(), "Can not open key");
    }
    EXPECT_THROW(config.WriteInteger(CU, "\\Bad\x01Key", "N", 1), TarvoConfigError);
    try {
        config.WriteInteger(CU, "\\Bad\x01Key", "N", 1);
    } catch (const std::runtime_error& e) {  // TarvoConfigError is a runtime_error
        EXPECT_STREQ(e.what(), "Can not open key");
    }
}

TEST_F(Config, DefaultingOperationsNeverRaise) {
    TConfig config(reg_, kVersion);
    const std::string bad = "\\Bad\x02Key";
    EXPECT_EQ(config.ReadIntegerDefault(CU, bad, "N", 42), 42);
    EXPECT_EQ(config.ReadIntegerDefault(CU, "\\Page", "N", 42), 42);
    reg_.WriteText(CU, Key("\\Page"), "N", "7");
    EXPECT_EQ(config.ReadIntegerDefault(CU, "\\Page", "N", 42), 42);
    EXPECT_TRUE(config.ReadBool(CU, bad, "B", true));
    EXPECT_FALSE(config.ReadBool(CU, bad, "B", false));
    EXPECT_EQ(config.ReadString(CU, bad, "S"), "");
    EXPECT_FALSE(config.ValueExists(CU, bad, "S"));
    EXPECT_FALSE(config.WriteString(CU, bad, "S", "x"));
    EXPECT_FALSE(config.WriteBool(CU, bad, "B", true));
    EXPECT_FALSE(reg_.KeyExists(CU, Key(bad)));
}

TEST_F(Config, WriteIntegerStoresADword) {
    TConfig config(reg_, kVersion);
    config.WriteInteger(CU, "\\Page", "N", -1);
    EXPECT_EQ(reg_.GetValue(CU, Key("\\Page"), "N"), RegValue::DWord(0xFFFFFFFF));
    EXPECT_EQ(config.ReadIntegerDefault(CU, "\\Page", "N", 0), -1);
    EXPECT_THROW(config.WriteInteger(CU, "\\Page", "Bad\x03Name", 1), TarvoConfigError);
}

// ---- debug log and threads --------------------------------------------------------

TEST_F(Config, LogsCreationAndFreeing) {
    auto sink = std::make_shared<tarvo::test::CollectingDebugSink>();
    tarvo::core::SetDebugSink(sink);
    { TConfig config(reg_, kVersion); }
    tarvo::core::SetDebugSink(nullptr);
    std::vector<std::string> texts;
    for (const auto& line : sink->Lines()) {
        const auto at = line.find("] ");
        texts.push_back(line.substr(at + 2));
    }
    const std::vector<std::string> expected = {
        "TConfig.Create: begin...\r", "TConfig.Create: end.\r", "TConfig.Destroy: begin...\r",
        "TConfig.Destroy: end.\r"};
    EXPECT_EQ(texts, expected);
}

TEST_F(Config, WorkerThreadsReadWhileTheMainThreadWrites) {
    TConfig config(reg_, kVersion);
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            while (!stop.load()) {
                const auto m = config.Monitor();
                EXPECT_TRUE(m == 350 || (m >= 1000 && m < 1200)) << m;
                const auto f = config.Font();
                EXPECT_TRUE(f == "08x12" || f == "10x18") << f;
                EXPECT_GE(config.IncomingConnects(), 1);
                config.SendSid();
                config.PgpComment();
                config.UiMyCall();
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        config.SetMonitor(1000 + i);
        config.SetFont(i % 2 ? "10x18" : "08x12");
        config.SetIncomingConnects(1 + i % 3);
        config.SetPgpComment(std::to_string(i));
    }
    stop = true;
    for (auto& w : workers) w.join();
    EXPECT_EQ(config.Monitor(), 1199);
    EXPECT_EQ(reg_.ReadText(CU, kRoot, "Monitor"), "1199");
}

}  // namespace
