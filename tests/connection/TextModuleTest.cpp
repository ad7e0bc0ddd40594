// The terminal text module: its rules one by one, then the module on a fake
// connection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "connection/VerbindungStandardU.h"
#include "core/GlobalU.h"
#include "tests/support/FakeModulConnection.h"

namespace tarvo::connection {
namespace {

using test::FakeModulConnection;
using testing::ElementsAre;
using testing::IsEmpty;

// A repeatable source: a linear congruential sequence.
class SequenceRandom : public IRandom {
  public:
    explicit SequenceRandom(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Below(std::uint32_t n) override {
        state_ = state_ * 1103515245u + 12345u;
        return (state_ >> 8) % n;
    }

  private:
    std::uint32_t state_;
};

// Always the first choice: noise of the first character, answer in front.
class ZeroRandom : public IRandom {
  public:
    std::uint32_t Below(std::uint32_t) override { return 0; }
};

std::string Repeat(std::string_view s, int times) {
    std::string r;
    for (int i = 0; i < times; ++i) r += s;
    return r;
}

const std::string kDatePassword = Repeat("A1B2C3D4E5", 162);

// --- Rules ----------------------------------------------------------------------

TEST(ReceivedText, SearchThatGivesUpIsNoMatch) {
    const auto pattern = platform::Pattern::Compile("^(a|aa)+$");
    ASSERT_TRUE(pattern);
    const std::string hard = std::string(60, 'a') + "b";
    ASSERT_EQ(pattern->Search(hard).status, platform::MatchStatus::LimitExceeded);
    EXPECT_FALSE(SearchReceived(*pattern, hard));
    EXPECT_TRUE(SearchReceived(*pattern, "aaaa"));
}

TEST(StationId, ShapeRules) {
    const std::string inner76 =
        std::string(30, 'a') + "-" + std::string(30, 'b') + "-D" + std::string(13, 'c');
    struct Case {
        std::string candidate;
        bool isId;
    };
    const Case cases[] = {
        {"{TARVO-2.1-D}", true},
        {"{T-2-D}", true},              // 7: the shortest shape the dash rules allow
        {"{" + inner76 + "}", true},    // 78
        {"{" + inner76 + "c}", false},  // 79
        {"{a--b}", false},              // 6, adjacent dashes
        {"{a-b}", false},               // 5
        {"{TARVO--2.1D}", false},       // adjacent dashes
        {"{-TARVO-2.1D}", false},       // dash as second character
        {"{TARVO-2.1D-}", false},       // dash as second-to-last character
        {"{TARVO-2.1-D-x}", false},     // three dashes
        {"{TARVO}", false},
        {"(TARVO-2.1-D)", false},
        {"{TARVO-2.1-D", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsStationId(c.candidate), c.isId) << c.candidate;
}

TEST(StationId, DidaditIsTheLetterDInTheThirdField) {
    EXPECT_TRUE(StationIdAnnouncesDidadit("{TARVO-2.1-D}"));
    EXPECT_TRUE(StationIdAnnouncesDidadit("{TARVO-2.1-XD?}"));
    EXPECT_FALSE(StationIdAnnouncesDidadit("{TARVO-2.1-d}"));
    EXPECT_FALSE(StationIdAnnouncesDidadit("{DARVO-D1-X}"));
}

TEST(ConnectText, KeywordAtTheSmallestPositionWins) {
    struct Case {
        const char* line;
        const char* keyword;  // null: none
        std::int32_t type;
    };
    const Case cases[] = {
        {"Welcome to DieBox", "DieBox", 2},
        {"Convers DieBox", "Convers", 3},  // the later row, found first
        {"DieBox Convers", "DieBox", 2},
        {"TheNetNode 1.79", "TheNetNode", 1},  // same position as "TheNet": earlier row
        {"   dama digipeater  \r", "DAMA", 1},
        {"Digi DB0XYZ", "Digi ", 1},
        {"   Digi   ", nullptr, 0},  // trimmed: the keyword's blank is gone
        {"[FBB-1-X$]", "[FBB", 2},
        {"Logins: 17", "Logins:", 2},
        {"nothing to see", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const TStationKeyword* k = DetectStationKeyword(c.line);
        if (!c.keyword) {
            EXPECT_EQ(k, nullptr);
            continue;
        }
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->keyword, c.keyword);
        EXPECT_EQ(k->type, c.type);
    }
}

TEST(ConnectText, MailboxIdentifierShape) {
    struct Case {
        const char* line;
        bool mailbox;
    };
    const Case cases[] = {
        {"[BPQ-6.0.25.23-B2FWIHJM$]\r", true},
        {"  [FBB-7.00-AB1FHMRX$]  ", true},
        {"[RMS Express-1.5.0-B2FHM$]", true},
        {"[BPQChatServer-6.0.25.23]", false},  // no "$]": not a mailbox's identifier
        {"[BPQ-6.0.25.23-$]", false},          // no features
        {"[BPQ--B2F$]", false},                // no version
        {"[-6.0-B2F$]", false},                // no name
        {"[BPQ-B2F$]", false},                 // two fields
        {"[BPQ-6.0-B2F?$]", false},            // features are letters and digits
        {"[BPQ-6.0-B2$F$]", false},
        {"Welcome [BPQ-6.0-B2F$]", false},  // the identifier is the whole line
        {"[BPQ-6.0-B2F$]x", false},
        {"[$]", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsMailboxIdentifier(c.line), c.mailbox) << c.line;
    const std::string tooLong = "[" + std::string(70, 'N') + "-1.0-B2FHM$]";
    EXPECT_FALSE(IsMailboxIdentifier(tooLong));
}

TEST(PasswordPrompt, Recognition) {
    using K = TPromptKind;
    struct Case {
        const char* line;
        const char* call;
        K kind;
        const char* text;
    };
    const Case cases[] = {
        {"DB0ABC> 3 1 9 2 5\r", "DB0ABC", K::NumberPositions, "3 1 9 2 5"},
        {"db0abc> 3 1 9 2 5", "DB0ABC", K::NumberPositions, "3 1 9 2 5"},
        {"DB0ABC> [1234567890]\r", "DB0ABC", K::Challenge, "1234567890"},
        {"DB0ABC> [AbCdEfGhIj]\r", "DB0ABC", K::Challenge, "AbCdEfGhIj"},  // case kept
        {"DB0ABC> [123]\r", "DB0ABC", K::None, ""},
        {"DB0ABC> [12345678901]\r", "DB0ABC", K::None, ""},
        {"(1) DB0ABC-8> 1 2 3 4 5\r", "DB0ABC-8", K::NumberPositions, "1 2 3 4 5"},
        {"(1) DB0ABC> 1 2 3 4 5\r", "DB0ABC-8", K::NumberPositions, "1 2 3 4 5"},
        {"DB0ABC>  1 2 3 4 5\r", "DB0ABC", K::NumberPositions, "1 2 3 4 5"},  // one blank goes
        {"DB0ABC> 12\r", "DB0ABC", K::None, ""},                              // too short
        {"DB0ABC> 1 2 3 4 5 x\r", "DB0ABC", K::None, ""},                     // ends in a letter
        {"DB0XYZ> 1 2 3 4 5\r", "DB0ABC", K::None, ""},                       // another station
        {"DB0ABC> x 2 3 4 5\r", "DB0ABC", K::None, ""},
        {"Hallo DB0ABC>    5\r", "DB0ABC", K::None, ""},  // rest too short
        {"anything> 1 2 3 4 5\r", "", K::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const TPasswordPrompt p = RecognizePasswordPrompt(c.line, c.call);
        EXPECT_EQ(p.kind, c.kind);
        if (c.kind != K::None) {
            EXPECT_EQ(p.text, c.text);
        }
    }
}

TEST(PasswordAnswer, NumberPositions) {
    using E = TPasswordError;
    struct Case {
        const char* prompt;
        const char* password;
        E error;
        const char* answer;
    };
    const Case cases[] = {
        {"3 1 9 2 5", "geheim123", E::None, "hg3ei"},
        {"1 2 3 4 5     ", "geheim123", E::None, "gehei"},
        {"3  1", "geheim123", E::None, "h"},  // the empty slot ends the answer
        {"0", "geheim123", E::None, ""},
        {"3 1 9 2 5 7", "geheim123", E::TooManyPositions, ""},
        {"3 1 9 x", "geheim123", E::InvalidChars, ""},
        {"3 1 9 -2", "geheim123", E::InvalidChars, ""},
        {"3 1 10", "geheim123", E::PasswordTooShort, ""},
        // 2^32 + 1 would wrap to position 1; it saturates instead.
        {"4294967297", "geheim123", E::PasswordTooShort, ""},
        {"99999999999999999999999999", "geheim123", E::PasswordTooShort, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prompt);
        SequenceRandom random(7);
        const TNumberPositionsAnswer a = AnswerNumberPositions(c.prompt, c.password, random);
        EXPECT_EQ(a.error, c.error);
        if (c.error != E::None) {
            EXPECT_THAT(a.text, IsEmpty());
            continue;
        }
        EXPECT_EQ(a.answer, c.answer);
        ASSERT_EQ(a.text.size(), kNoiseLength + a.answer.size());
        EXPECT_EQ(a.text.substr(a.split, a.answer.size()), c.answer);
    }
}

TEST(PasswordAnswer, NumberPositionNoiseHidesThePassword) {
    const std::string password = "geheim123";  // 8 distinct characters
    const std::set<char> own(password.begin(), password.end());
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        SequenceRandom random(seed);
        const std::string alphabet = NumberNoiseAlphabet(password, random);
        EXPECT_EQ(alphabet.substr(0, 8), "gehim123");
        EXPECT_EQ(alphabet.size(), 8u + 8u / 3 + 2);

        const TNumberPositionsAnswer a = AnswerNumberPositions("3 1 9 2 5", password, random);
        EXPECT_GE(a.split, 1u);
        EXPECT_LE(a.split, kNoiseLength);
        std::set<char> foreign;
        for (char c : a.text) {
            EXPECT_GE(c, '!');
            EXPECT_LE(c, '~');
            if (!own.count(c)) foreign.insert(c);
        }
        EXPECT_LE(foreign.size(), 4u) << "the noise comes from a small alphabet";
    }
}

TEST(PasswordAnswer, Challenge) {
    EXPECT_EQ(AnswerChallenge("1234567890", "geheim"), "b694728762c92e3e6362a1dc20cc2200");
}

TEST(PasswordAnswer, LoginLine) {
    struct Case {
        const char* line;
        std::optional<std::array<int, 5>> time;  // day, month, year, hour, minute
    };
    const Case cases[] = {
        {"Login: 24.12.05 13:45", std::array{24, 12, 5, 13, 45}},
        {"DB0ABC Login: 31.12.99 23:59 (sysop)", std::array{31, 12, 99, 23, 59}},
        {"Login: 24.12.5 13:45", std::nullopt},
        {"login: 24.12.05 13:45", std::nullopt},
        {"Login: 24-12-05 13:45", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto t = ParseLoginLine(c.line);
        ASSERT_EQ(t.has_value(), c.time.has_value());
        if (!t) continue;
        EXPECT_EQ((std::array{t->day, t->month, t->year, t->hour, t->minute}), *c.time);
    }
}

TEST(PasswordAnswer, DateBased) {
    struct Case {
        TLoginTime time;
        std::string password;
        TPasswordError error;
        const char* answer;
    };
    std::string withSeparators;
    for (int i = 0; i < 162; ++i) withSeparators += "A1B2C3D4E5-\r\n ";
    const Case cases[] = {
        {{24, 12, 5, 13, 45}, kDatePassword, TPasswordError::None, "5523A"},
        {{31, 12, 99, 23, 59}, kDatePassword, TPasswordError::None, "B3B4C"},
        {{24, 12, 5, 13, 45},
         withSeparators,
         TPasswordError::None,
         "5523A"},  // letters and digits count
        {{24, 12, 5, 13, 45}, kDatePassword.substr(1), TPasswordError::WrongLength, ""},
        {{24, 12, 5, 13, 45}, kDatePassword + "A", TPasswordError::WrongLength, ""},
    };
    for (const Case& c : cases) {
        const TDateAnswer a = AnswerDateLogin(c.time, c.password);
        EXPECT_EQ(a.error, c.error);
        EXPECT_EQ(a.answer, c.answer);
    }
}

TEST(PasswordAnswer, DateBasedText) {
    EXPECT_EQ(DateLoginText("abc", 1, "XY"), "PRIV XYabc");
    EXPECT_EQ(DateLoginText("abc", 3, "XY"), "PRIV abXYc");
    SequenceRandom random(3);
    const std::string noise = DateLoginNoise("AB", random);
    EXPECT_EQ(noise.size(), kNoiseLength);
    EXPECT_EQ(noise.find_first_not_of("AB"), std::string::npos);
}

TEST(Lines, OnwardConnect) {
    struct Case {
        const char* line;
        const char* call;  // null: none
        bool reconnect;
    };
    const Case cases[] = {
        {"*** connected to DB0XYZ\r", "DB0XYZ", false},
        {"*** CONNECTED TO DB0XYZ-7 via DB0ABC", "DB0XYZ-7", false},
        {"*** reconnected to DB0ABC\r", "DB0ABC", true},
        {"Link: Connected to NODE:DB0XYZ-1", "DB0XYZ-1", false},
        {"*** connected to ABCDEFGHIJ:DB0XYZ", "ABCDEFGHIJ:DB0XYZ", false},  // ':' too far
        {"*** connected to NODE: DB0XYZ", "NODE:", false},
        {" *** connected to DB0XYZ", nullptr, false},
        {"connected to DB0XYZ", nullptr, false},
        {"*** connected to    \r", nullptr, false},
        {"x", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto o = ParseOnwardConnect(c.line);
        ASSERT_EQ(o.has_value(), c.call != nullptr);
        if (!o) continue;
        EXPECT_EQ(o->call, c.call);
        EXPECT_EQ(o->reconnect, c.reconnect);
    }
}

TEST(Lines, RemoteCommandShape) {
    EXPECT_TRUE(IsRemoteCommandLine("//help\r"));
    EXPECT_FALSE(IsRemoteCommandLine("///help\r"));
    EXPECT_FALSE(IsRemoteCommandLine("// help\r"));
    EXPECT_FALSE(IsRemoteCommandLine("//"));
    EXPECT_FALSE(IsRemoteCommandLine("/ /help"));
}

TEST(Registry, OnlyKnownHeadersTakeReceiveModules) {
    EXPECT_FALSE(RegisterReceiveModule("#XYZ#", nullptr));
    EXPECT_TRUE(RegisterReceiveModule(" go_info. ", nullptr));
    ClearModuleRegistry();
}

// --- The module ---------------------------------------------------------------

// A receive module that reads its header and ends.
class TReceiveProbe : public TVerbindungAbstract {
  public:
    using TVerbindungAbstract::TVerbindungAbstract;
    static inline std::vector<std::string> headers;
    static inline bool readHeader = true;

  protected:
    void Init() override {
        SetActive(true);
        if (!readHeader) {
            Finish();
            return;
        }
        SetUseEvent(core::kWaitReceive, true);
    }
    void OnReceive() override {
        if (auto c = Connection()) headers.push_back(c->ReceiveQueue().PopLine());
        Finish();
    }
};

class TSendProbe : public TVerbindungAbstract {
  public:
    using TVerbindungAbstract::TVerbindungAbstract;
    static inline int runs = 0;

  protected:
    void Init() override {
        ++runs;
        Finish();
    }
};

class TextModule : public testing::Test {
  protected:
    void SetUp() override {
        TReceiveProbe::headers.clear();
        TReceiveProbe::readHeader = true;
        TSendProbe::runs = 0;
    }
    void TearDown() override {
        ClearModuleRegistry();
        if (module) module->Close();
    }
    void Start() {
        module = TVerbindungAbstract::Create<TVerbindungStandard>(nullptr, fake);
        module->SetRandom(random);
    }
    void Receive(const std::vector<std::string>& items) {
        for (const auto& item : items) fake->receiveQueue.PushString(item);
        module->OnReceive();
    }
    std::vector<std::string> SentTexts() const {
        std::vector<std::string> texts;
        for (const auto& s : fake->Sent()) texts.push_back(s.text);
        return texts;
    }
    std::vector<std::string> Commands() const { return fake->remoteCommands->Lines(); }
    static void RegisterReceiveProbe() {
        RegisterReceiveModule("#BIN#", [](TVerbindungAbstract& parent) {
            return TVerbindungAbstract::Create<TReceiveProbe>(&parent, parent.Connection());
        });
    }

    std::shared_ptr<FakeModulConnection> fake = std::make_shared<FakeModulConnection>();
    std::shared_ptr<IRandom> random = std::make_shared<SequenceRandom>(11);
    std::shared_ptr<TVerbindungStandard> module;
};

TEST_F(TextModule, StationIds) {
    const std::string inner76 =
        std::string(30, 'a') + "-" + std::string(30, 'b') + "-D" + std::string(13, 'c');
    struct Case {
        const char* name;
        std::vector<std::string> items;
        bool hide;
        std::string shownBeforeProbe;  // what is shown of the items
        int binMode;
        int linesCounted;  // complete lines the connect text saw
    };
    const Case cases[] = {
        {"shown", {"{TARVO-2.1-D}\r"}, false, "{TARVO-2.1-D}\r", 5, 0},
        {"hidden", {"{TARVO-2.1-D}\r"}, true, "", 5, 0},
        {"split, shown", {"{TARVO-2.", "1-D}\r"}, false, "{TARVO-2.1-D}\r", 5, 0},
        {"split, hidden", {"{TARVO-2.", "1-D}\r"}, true, "", 5, 0},
        {"without its CR", {"{TARVO-2.1-D}"}, true, "", 5, 0},
        {"no D", {"{TARVO-2.1-BX}\r"}, true, "", 0, 0},
        {"length 7", {"{T-2-D}\r"}, true, "", 5, 0},
        {"length 78", {"{" + inner76 + "}\r"}, true, "", 5, 0},
        {"length 79", {"{" + inner76 + "c}\r"}, true, "{" + inner76 + "c}\r", 0, 1},
        {"adjacent dashes", {"{TARVO--2.1D}\r"}, true, "{TARVO--2.1D}\r", 0, 1},
        {"dash second", {"{-TARVO-2.1D}\r"}, true, "{-TARVO-2.1D}\r", 0, 1},
        {"dash second to last", {"{TARVO-2.1D-}\r"}, true, "{TARVO-2.1D-}\r", 0, 1},
        {"text after a hidden one", {"{TARVO-2.1-D}Hallo\r"}, true, "Hallo\r", 5, 1},
        {"text after a shown one", {"{TARVO-2.1-D}Hallo\r"}, false, "{TARVO-2.1-D}Hallo\r", 5, 1},
        {"long candidate over two items",
         {"{" + std::string(60, 'x'), std::string(30, 'x') + "\r"},
         true,
         "{" + std::string(90, 'x') + "\r",
         0,
         1},
        {"not at a line start", {"Hallo ", "{TARVO-2.1-D}\r"}, true, "Hallo {TARVO-2.1-D}\r", 0, 1},
        {"only the first one counts",
         {"{TARVO-2.1-X}\r", "{TARVO-2.1-D}\r"},
         true,
         "{TARVO-2.1-D}\r",
         0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        fake->hideSid = c.hide;
        Start();
        Receive(c.items);
        // A command line right after shows that the line assembly starts afresh.
        Receive({"//probe\r"});
        EXPECT_EQ(fake->ShownText(), c.shownBeforeProbe + "//probe\r");
        EXPECT_EQ(fake->BinMode(), c.binMode);
        EXPECT_THAT(Commands(), ElementsAre("//probe\r"));
        EXPECT_EQ(module->ConnectTextCountdown(), 3 - c.linesCounted - 1);
        module->Close();
    }
}

TEST_F(TextModule, OwnStationIdAnswersOnlyOnOutgoingLinks) {
    struct Case {
        bool outgoing, sendSid;
        int sent;
    };
    for (const Case c : {Case{true, true, 1}, Case{true, false, 0}, Case{false, true, 0}}) {
        fake = std::make_shared<FakeModulConnection>();
        fake->outgoing = c.outgoing;
        fake->sendSid = c.sendSid;
        Start();
        Receive({"{TARVO-2.1-D}\r"});
        EXPECT_EQ(fake->SendStationIdCalls(), c.sent);
        module->Close();
    }
}

TEST_F(TextModule, StationTypeFromTheConnectText) {
    struct Case {
        const char* name;
        std::uint8_t stored;  // station type in the database
        std::vector<std::string> lines;
        std::vector<std::int32_t> types;  // as set on the connection
    };
    const Case cases[] = {
        {"keyword", 0, {"Welcome to DieBox\r"}, {2}},
        {"keyword in the third line", 0, {"a\r", "b\r", "TheNetNode\r"}, {1}},
        {"keyword in the fourth line is too late", 0, {"a\r", "b\r", "c\r", "DieBox\r"}, {4}},
        {"three lines without keyword", 0, {"a\r", "b\r", "c\r"}, {}},
        {"empty lines count down too", 0, {"\r", " \r", "\r", "DieBox\r"}, {4}},
        {"stored type wins", 3, {"DieBox\r", "a\r", "b\r", "c\r"}, {3}},
        {"password prompt means mailbox", 0, {"DB0ABC> 1 2 3 4 5\r"}, {2}},
        {"convers keyword", 0, {"Convers DieBox\r"}, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        if (c.stored) fake->database->Add("DB0ABC", c.stored);
        Start();
        Receive(c.lines);
        EXPECT_EQ(fake->StationTypes(), c.types);
        module->Close();
    }
}

// What a node with its mailbox and chat sends, as recorded: the mailbox's
// identifier names "BPQ", a digipeater's keyword, yet the box is a mailbox; the
// node's greeting ("LinBPQ") and the chat's identifier (no "$]") are what the
// keyword table makes of them: digipeaters.
TEST_F(TextModule, MailboxIdentifierHoldsOverTheKeywords) {
    const std::string greeting = "Welcome to the LinBPQ lab node LABNOD. Type BBS or CHAT. \r";
    const std::string bbs = "[BPQ-6.0.25.23-B2FWIHJM$]\rPlease enter your Name\r>\r";  // one frame
    const std::string chat = "[BPQChatServer-6.0.25.23]\r";
    struct Case {
        const char* name;
        std::vector<std::string> items;
        std::vector<std::int32_t> types;
    };
    const Case cases[] = {
        {"node",
         {greeting, "LABND:LABNOD} BBS CHAT CONNECT BYE INFO NODES PORTS ROUTES USERS MHEARD\r"},
         {1}},
        {"mailbox through the node", {greeting, "LABND:LABNOD} Connected to BBS\r", bbs}, {1, 2}},
        {"mailbox directly",
         {"[BPQ-6.0.25.23-B2FWIHJM$]\rHello Lab Tester. Latest Message is 3, Last listed is 3\r"},
         {2}},
        {"chat through the node", {greeting, "LABND:LABNOD} Connected to CHAT\r", chat}, {1, 1}},
        {"chat directly", {chat, "LABCHT's Chat Server.\r"}, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        Start();
        Receive(c.items);
        EXPECT_EQ(fake->StationTypes(), c.types);
        module->Close();
    }
}

TEST_F(TextModule, NumberPositionPromptIsAnswered) {
    fake->database->Add("DB0ABC")->SetPasswort("DL1XYZ", 0, 0, "geheim123");
    Start();
    Receive({"DB0ABC> 3 1 9 2 5\r"});
    const auto sent = fake->Sent();
    ASSERT_EQ(sent.size(), 1u);
    const std::string& text = sent[0].text;
    ASSERT_EQ(text.size(), kNoiseLength + 5 + 1);
    EXPECT_EQ(text.back(), '\r');
    EXPECT_NE(text.find("hg3ei"), std::string::npos);
    EXPECT_TRUE(sent[0].echo && sent[0].userQueue);
    EXPECT_FALSE(sent[0].expand || sent[0].wrap);
}

TEST_F(TextModule, ChallengeUsesTheUserSlotFirstThenTheSysopSlot) {
    auto entry = fake->database->Add("DB0ABC");
    entry->SetPasswort("DL1XYZ", 0, 1, "geheim");
    entry->SetPasswort("DL1XYZ", 1, 1, "\r\nsysop\r\n");
    Start();
    // The first prompt ends the connect text; the second prefers the sysop slot.
    Receive({"DB0ABC> [1234567890]\r", "DB0ABC> [1234567890]\r"});
    EXPECT_THAT(SentTexts(), ElementsAre("b694728762c92e3e6362a1dc20cc2200\r",
                                         AnswerChallenge("1234567890", "sysop") + "\r"));
}

TEST_F(TextModule, ChallengeFallsBackToTheOtherSlot) {
    fake->database->Add("DB0ABC")->SetPasswort("DL1XYZ", 1, 1, "geheim");
    Start();
    Receive({"DB0ABC> [1234567890]\r"});
    EXPECT_THAT(SentTexts(), ElementsAre("b694728762c92e3e6362a1dc20cc2200\r"));
}

TEST_F(TextModule, PromptProblemsAreReportedAndNothingIsSent) {
    struct Case {
        const char* line;
        const char* password;
        const char* message;
    };
    const Case cases[] = {
        {"DB0ABC> 3 1 9 2 5 6\r", "geheim123", "Passwort-Prompt enth\xE4lt zu viele Positionen."},
        {"DB0ABC> 3 1 9;2 5\r", "geheim123", "Passwort-Prompt enth\xE4lt ung\xFCltige Zeichen."},
        {"DB0ABC> 3 1 9 2 15\r", "geheim123", "Gespeichertes Passwort zu kurz."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fake = std::make_shared<FakeModulConnection>();
        fake->database->Add("DB0ABC")->SetPasswort("DL1XYZ", 0, 0, c.password);
        Start();
        Receive({c.line});
        EXPECT_THAT(fake->Sent(), IsEmpty());
        EXPECT_THAT(fake->Prompts(), ElementsAre(FakeModulConnection::Prompt{c.message, 3}));
        module->Close();
    }
}

TEST_F(TextModule, DateBasedLoginIsAnswered) {
    random = std::make_shared<ZeroRandom>();
    fake->database->Add("DB0ABC")->SetPasswort("DL1XYZ", 0, 2, kDatePassword);
    Start();
    Receive({"Login: 24.12.05 13:45\r", "Login: 31.12.99 23:59\r"});
    // Noise of the first password character, the answer before position 1;
    // the counter stops after the first login line.
    EXPECT_THAT(SentTexts(), ElementsAre("PRIV 5523A" + std::string(67, 'A') + "\r"));
}

TEST_F(TextModule, DateBasedLoginOnlyEarlyInTheLink) {
    struct Case {
        const char* name;
        int linesBefore;
        bool slot0, slot1;
        std::size_t answers;
    };
    const Case cases[] = {
        {"first line", 0, true, false, 1},
        {"fourth line", 3, true, false, 1},
        {"fifth line", 4, true, false, 0},
        {"both slots answer", 0, true, true, 2},
        {"sysop slot alone, first line", 0, false, true, 1},
        // A line that is no login line ends the watch without a user password.
        {"sysop slot alone, second line", 1, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        auto entry = fake->database->Add("DB0ABC");
        if (c.slot0) entry->SetPasswort("DL1XYZ", 0, 2, kDatePassword);
        if (c.slot1) entry->SetPasswort("DL1XYZ", 1, 2, kDatePassword);
        Start();
        std::vector<std::string> lines(c.linesBefore, "Hallo\r");
        lines.push_back("Login: 24.12.05 13:45\r");
        Receive(lines);
        EXPECT_EQ(fake->Sent().size(), c.answers);
        module->Close();
    }
}

TEST_F(TextModule, DateBasedPasswordOfWrongLength) {
    fake->database->Add("DB0ABC")->SetPasswort("DL1XYZ", 0, 2, kDatePassword.substr(1));
    Start();
    Receive({"Login: 24.12.05 13:45\r"});
    EXPECT_THAT(fake->Sent(), IsEmpty());
    EXPECT_THAT(fake->Prompts(),
                ElementsAre(FakeModulConnection::Prompt{
                    "Das in der Datenbank gespeicherte Passwort hat nicht die erforderliche "
                    "L\xE4nge von 1620 Zeichen.",
                    3}));
}

TEST_F(TextModule, ConversSessions) {
    struct Case {
        const char* name;
        std::int32_t start;
        std::vector<std::string> lines;
        std::vector<std::int32_t> types;
    };
    const Case cases[] = {
        {"from a terminal", 4, {"conversd @ DB0XYZ\r", "Convers session terminated.\r"}, {3, 4}},
        {"from a digi", 1, {"kaconversd @ DB0XYZ\r", "CONVERS SESSION TERMINATED.\r"}, {3, 1}},
        {"not from a mailbox", 2, {"conversd @ DB0XYZ\r"}, {}},
        {"prefix is case-sensitive", 4, {"Conversd @ DB0XYZ\r"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        fake->stationType = c.start;
        Start();
        Receive(c.lines);
        EXPECT_EQ(fake->StationTypes(), c.types);
        module->Close();
    }
}

TEST_F(TextModule, TransferHeaders) {
    struct Case {
        const char* name;
        std::int32_t type;
        bool registered;
        bool started;
    };
    const Case cases[] = {
        {"automatic", 0, true, true},
        {"mailbox", 2, true, true},
        {"convers: text", 3, true, false},
        {"cluster: text", 5, true, false},
        {"no module yet: text", 0, false, false},
    };
    const std::string header = "#BIN#1234#|48879#$3A2B1C0D#a.bin\r";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fake = std::make_shared<FakeModulConnection>();
        fake->stationType = c.type;
        if (c.registered) RegisterReceiveProbe();
        Start();
        Receive({header, "after\r"});
        if (c.started) {
            EXPECT_THAT(TReceiveProbe::headers, ElementsAre(header)) << "the module reads it";
            EXPECT_THAT(fake->ModuleNames(), ElementsAre("TReceiveProbe", "TVerbindungStandard"));
            EXPECT_FALSE(fake->TransferActive());
        } else {
            EXPECT_THAT(TReceiveProbe::headers, IsEmpty());
            EXPECT_THAT(fake->ModuleNames(), IsEmpty());
        }
        EXPECT_EQ(fake->ShownText(), header + "after\r");
        // Both lines count; a known station type ends the connect text at once.
        EXPECT_EQ(module->ConnectTextCountdown(), c.type == 0 ? 1 : -2);
        ClearModuleRegistry();
        module->Close();
    }
}

TEST_F(TextModule, HeaderLeftUnreadDoesNotRestartTheModule) {
    TReceiveProbe::readHeader = false;
    RegisterReceiveProbe();
    Start();
    Receive({"#BIN#12\r"});
    EXPECT_THAT(fake->ModuleNames(), ElementsAre("TReceiveProbe", "TVerbindungStandard"));
    EXPECT_TRUE(fake->receiveQueue.IsEmpty());
}

TEST_F(TextModule, RemoteCommands) {
    struct Case {
        const char* name;
        std::int32_t type;
        bool enabled;
        const char* line;
        bool handled, refused;
    };
    const Case cases[] = {
        {"automatic", 0, true, "//help\r", true, false},
        {"terminal", 4, true, "//help\r", true, false},
        {"mailbox: no command", 2, true, "//help\r", false, false},
        {"digi: no command", 1, true, "//help\r", false, false},
        {"disabled", 0, false, "//help\r", false, true},
        {"three slashes", 0, true, "///help\r", false, false},
        {"slashes and a blank", 0, true, "// help\r", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        fake->stationType = c.type;
        fake->remoteCommandsEnabled = c.enabled;
        Start();
        Receive({c.line});
        EXPECT_EQ(Commands().size(), c.handled ? 1u : 0u);
        if (c.handled) {
            EXPECT_EQ(Commands()[0], c.line);
        }
        if (c.refused) {
            EXPECT_THAT(fake->Prompts(), ElementsAre(FakeModulConnection::Prompt{
                                             "Keine Auswertung von Fernsteuerbefehlen.", 3}));
        } else {
            EXPECT_THAT(fake->Prompts(), IsEmpty());
        }
        module->Close();
    }
}

TEST_F(TextModule, OnwardConnects) {
    struct Case {
        const char* name;
        std::int32_t start;
        bool accepted;
        const char* line;
        std::vector<std::string> calls;
        std::vector<std::int32_t> types;
        std::int32_t countdown;
    };
    const Case cases[] = {
        // The new station's database entry gives its type; its connect text starts afresh.
        {"connect", 1, true, "*** connected to DB0XYZ\r", {"connect DB0XYZ"}, {2}, 2},
        {"refused connect", 1, false, "*** connected to DB0XYZ\r", {"connect DB0XYZ"}, {}, -1},
        {"reconnect", 1, true, "*** reconnected to DB0ABC\r", {"reconnect DB0ABC"}, {}, -1},
        {"not at the line start", 1, true, " *** connected to DB0XYZ\r", {}, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        fake->stationType = c.start;
        fake->infoboxConnectResult = c.accepted;
        fake->infoboxReconnectResult = c.accepted;
        fake->database->Add("DB0XYZ", 2);
        Start();
        Receive({c.line});
        EXPECT_EQ(fake->InfoboxCalls(), c.calls);
        EXPECT_EQ(fake->StationTypes(), c.types);
        EXPECT_EQ(module->ConnectTextCountdown(), c.countdown);
        module->Close();
    }
}

TEST_F(TextModule, OnwardConnectWatchesForTheDateLoginAgain) {
    fake->stationType = 1;
    fake->database->Add("DB0XYZ")->SetPasswort("DL1XYZ", 0, 2, kDatePassword);
    Start();
    Receive({"a\r", "b\r", "c\r", "d\r", "e\r", "*** connected to DB0XYZ\r",
             "Login: 24.12.05 13:45\r"});
    ASSERT_EQ(fake->Sent().size(), 1u);
    EXPECT_NE(fake->Sent()[0].text.find("5523A"), std::string::npos);
}

TEST_F(TextModule, MailboxListLineIsMarkedWhereItBegan) {
    struct Case {
        const char* name;
        std::int32_t type;
        std::vector<std::string> items;
        std::vector<std::int64_t> marks;
    };
    const std::string longSubject(90, 's');  // wraps to a second console row
    const Case cases[] = {
        {"list line in two items",
         2,
         {"Liste:\r", "1234  DL1ABC  > ALL     24.12.05 ", "13:45 1234 " + longSubject, "x\r"},
         {101}},
        {"two list lines", 2, {"1 DL1ABC Test\r", "2 DB0XYZ Test\r"}, {100, 101}},
        {"a list with dates and no sender column",
         2,
         {"3      10-Dec BN      23 ALL    @WW     TFKA   Bulletin for all\r", "de LABBBS>\r"},
         {100}},
        {"not a list line", 2, {"Hallo Welt\r"}, {}},
        {"not a mailbox", 0, {"1234  DL1ABC  > ALL\r"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        fake->stationType = c.type;
        Start();
        Receive(c.items);
        EXPECT_EQ(fake->kanal->Marks(), c.marks);
        module->Close();
    }
}

TEST_F(TextModule, TypedTextReachesTheLinkUnchanged) {
    Start();
    const std::vector<std::string> typed{"hello\r", "^M stays ^M", std::string("\0\xff", 2)};
    for (const auto& t : typed) fake->userSendQueue.Push(t);
    for (std::size_t i = 0; i < typed.size(); ++i) module->OnUserSend();
    std::vector<std::string> link;
    while (auto s = fake->linkSendQueue.Pop()) link.push_back(*s);
    EXPECT_EQ(link, typed);
    EXPECT_TRUE(fake->userSendQueue.IsEmpty());
}

TEST_F(TextModule, MegabyteLineWithoutCrStaysBounded) {
    struct Case {
        const char* name;
        std::vector<std::string> items;
    };
    const std::string megabyte(1 << 20, 'x');
    const Case cases[] = {
        {"one item", {"//" + megabyte}},
        {"many small items", std::vector<std::string>(4000, "//" + std::string(254, 'y'))},
        // A station ID that never closes, over a megabyte.
        {"station ID start repeated", {Repeat("{ab-", 1 << 18)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeModulConnection>();
        fake->countShownOnly = true;
        Start();
        std::size_t bytes = 0;
        for (const auto& item : c.items) {
            fake->receiveQueue.PushString(item);
            bytes += item.size();
            module->OnReceive();
            ASSERT_LT(module->LineBufferSize(), kMaxLineLength);
        }
        EXPECT_EQ(fake->ShownBytes(), bytes) << "every byte is shown";
        EXPECT_THAT(Commands(), IsEmpty()) << "a piece is never a command";
        Receive({"\r", "//probe\r"});
        EXPECT_THAT(Commands(), ElementsAre("//probe\r"));
        module->Close();
    }
}

TEST_F(TextModule, SendJobs) {
    struct Case {
        const char* name;
        bool registered;
        int beeps;
        std::vector<std::string> modules;
    };
    const Case cases[] = {
        {"module registered", true, 0, {"TSendProbe", "TVerbindungStandard"}},
        {"no module: beep", false, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fake = std::make_shared<FakeModulConnection>();
        int beeps = 0;
        core::SetBeepHandler([&] { ++beeps; });
        if (c.registered)
            RegisterSendModule(2, [](TVerbindungAbstract& parent) {
                return TVerbindungAbstract::Create<TSendProbe>(&parent, parent.Connection());
            });
        auto job = std::make_shared<test::FakeSendJob>(2);
        fake->sendQueue->EnQueue(job);
        Start();
        module->OnSendJob();
        core::SetBeepHandler(nullptr);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_EQ(TSendProbe::runs, c.registered ? 1 : 0);
        EXPECT_EQ(fake->ModuleNames(), c.modules);
        EXPECT_EQ(fake->sendQueue->GetCount(), 0);
        EXPECT_GE(job->releases.load(), 1);
        EXPECT_EQ(fake->DateiSenden(), nullptr);
        EXPECT_FALSE(fake->sendQueue->GetEvent().IsSet());
        ClearModuleRegistry();
        module->Close();
    }
}

TEST_F(TextModule, RunStandardServesTheLinkUntilItEnds) {
    std::thread worker([this] { TVerbindungAbstract::RunStandard(fake); });
    fake->receiveQueue.PushString("Hallo\r");
    fake->userSendQueue.PushString("typed\r");
    // Wait for the module to take both (bounded, not timed).
    for (int i = 0; i < 10000 && (fake->ShownText() != "Hallo\r" || fake->linkSendQueue.IsEmpty());
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    fake->endEvent.Set();
    worker.join();
    EXPECT_EQ(fake->ShownText(), "Hallo\r");
    EXPECT_EQ(fake->linkSendQueue.PeekString(), "typed\r");
    EXPECT_THAT(fake->ModuleNames(), ElementsAre("TVerbindungStandard", "nil"));
}

}  // namespace
}  // namespace tarvo::connection
