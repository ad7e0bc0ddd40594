// The hostmode exchange and the TNC's texts, without a device.
#include "devices/HostmodeU.h"

#include <gtest/gtest.h>

#include <deque>

#include "core/InterfacesU.h"

namespace tarvo::devices::hostmode {
namespace {

// A transport that records what is written and answers from a script; an
// exhausted script is a time-out.
class ScriptedTransport : public ITransport {
  public:
    explicit ScriptedTransport(std::string reply) : reply_(reply.begin(), reply.end()) {}
    bool Write(const std::uint8_t* b, std::size_t n, std::size_t& written) override {
        written = failWrite ? 0 : n;
        if (!failWrite) sent.append(reinterpret_cast<const char*>(b), n);
        return !failWrite;
    }
    bool Read(std::uint8_t* b, std::size_t n, std::size_t& read) override {
        read = 0;
        if (failRead) return false;
        while (read < n && !reply_.empty()) {
            b[read++] = reply_.front();
            reply_.pop_front();
        }
        return true;
    }
    std::string sent;
    bool failWrite = false;
    bool failRead = false;

  private:
    std::deque<std::uint8_t> reply_;
};

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

TEST(HostmodeExchange, FrameSentIsChannelKindLengthText) {
    ScriptedTransport t(Bytes({0, 0}));
    TReply r;
    TExchangeFailure f;
    ASSERT_TRUE(Exchange(t, 3, true, "L", r, f));
    EXPECT_EQ(t.sent, Bytes({3, 1, 0, 'L'}));
    ScriptedTransport info(Bytes({3, 0}));
    ASSERT_TRUE(Exchange(info, 3, false, std::string(256, 'x'), r, f));
    EXPECT_EQ(info.sent.substr(0, 3), Bytes({3, 0, 255}));
    EXPECT_EQ(info.sent.size(), 259u);
}

TEST(HostmodeExchange, RepliesAndFailures) {
    const std::string text255(255, 'a');
    const std::string data256(256, '\0');
    struct Case {
        const char* name;
        std::string reply;
        bool ok;
        int code;
        std::string text;
        const char* step;
    };
    const Case cases[] = {
        {"ok", Bytes({0, 0}), true, 0, "", ""},
        {"message", Bytes({0, 1, 'h', 'i', 0}), true, 1, "hi", ""},
        {"error", Bytes({0, 2, 'E', 0}), true, 2, "E", ""},
        {"text of 255 and its NUL", Bytes({0, 1}) + text255 + Bytes({0}), true, 1, text255, ""},
        {"text of 256", Bytes({0, 1}) + text255 + "a" + Bytes({0}), false, 1, text255, "5c"},
        {"data of 256 with NUL bytes", Bytes({1, 7, 255}) + data256, true, 7, data256, ""},
        {"monitor info of one byte", Bytes({0, 6, 0, 'x'}), true, 6, "x", ""},
        {"short body keeps what came", Bytes({1, 7, 9, 'a', 'b', 'c'}), false, 7, "abc", "7b"},
        {"code 8", Bytes({0, 8}), false, 8, "", "8"},
        {"silence", "", false, -1, "", "3b"},
        {"channel only", Bytes({0}), false, -1, "", "4b"},
        {"text without NUL", Bytes({0, 1, 'a'}), false, 1, "a", "5b"},
        {"no length byte", Bytes({0, 7}), false, 7, "", "6b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport t(c.reply);
        TReply r;
        TExchangeFailure f;
        EXPECT_EQ(Exchange(t, 1, true, "G", r, f), c.ok);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(f.step, c.step);
        EXPECT_FALSE(f.refused);
    }
}

TEST(HostmodeExchange, RefusesWhatCannotBeSentWithoutWriting) {
    struct Case {
        int kanal;
        std::size_t length;
    };
    for (const Case c : {Case{0, 257}, Case{256, 1}, Case{-1, 1}}) {
        ScriptedTransport t(Bytes({0, 0}));
        TReply r;
        TExchangeFailure f;
        EXPECT_FALSE(Exchange(t, c.kanal, true, std::string(c.length, 'C'), r, f));
        EXPECT_TRUE(f.refused);
        EXPECT_TRUE(t.sent.empty());
    }
}

TEST(HostmodeExchange, EmptyTextSendsNothing) {
    ScriptedTransport t("");
    TReply r;
    TExchangeFailure f;
    EXPECT_TRUE(Exchange(t, 0, true, "", r, f));
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(t.sent.empty());
}

TEST(HostmodeExchange, AFailedWriteStillReadsTheReply) {
    ScriptedTransport t(Bytes({0, 0}));
    t.failWrite = true;
    TReply r;
    TExchangeFailure f;
    EXPECT_FALSE(Exchange(t, 0, true, "G", r, f));
    EXPECT_EQ(f.step, "1a");
    EXPECT_EQ(r.code, 0);  // the reply was read all the same
    ScriptedTransport broken("");
    broken.failRead = true;
    EXPECT_FALSE(Exchange(broken, 0, true, "G", r, f));
    EXPECT_EQ(f.step, "3a");
}

TEST(HostmodeTexts, MonitorHeaders) {
    struct Case {
        const char* text;
        bool header;
        int port;
        const char* von;
        const char* an;
        const char* via;
        int typ, nr, ns;
        bool hoch, vorzeichen, dama;
        int pid;
    };
    const Case cases[] = {
        {"2:fm DL1AB to DB0XY via DB0AA* DB0BB ctl I21+ pid F0", true, 2, "DL1AB", "DB0XY",
         "DB0AA* DB0BB", 1, 2, 1, true, true, false, 0xF0},
        {"fm TFKA to TFKB ctl SABM+", true, 0, "TFKA", "TFKB", "", 5, 0, 0, true, true, false, 0},
        {"fm TFKB to TFKA ctl UA-", true, 0, "TFKB", "TFKA", "", 8, 0, 0, false, true, false, 0},
        {"fm TFKB to TFKA ctl RR1v", true, 0, "TFKB", "TFKA", "", 2, 1, 0, false, false, false, 0},
        {"fm A to B ctl RNR3v", true, 0, "A", "B", "", 3, 3, 0, false, false, false, 0},
        {"fm A to B ctl REJ5^", true, 0, "A", "B", "", 4, 5, 0, true, false, false, 0},
        {"fm A to B ctl DISC+", true, 0, "A", "B", "", 6, 0, 0, true, true, false, 0},
        {"fm A to B ctl DM-", true, 0, "A", "B", "", 7, 0, 0, false, true, false, 0},
        {"fm A to B ctl FRMR-", true, 0, "A", "B", "", 9, 0, 0, false, true, false, 0},
        {"fm X to ID ctl UI^ pid CF [DAMA]", true, 0, "X", "ID", "", 10, 0, 0, true, false, true,
         0xCF},
        {"fm X to ID ctl UI^ pid ZZ", true, 0, "X", "ID", "", 10, 0, 0, true, false, false, 0},
        {"fm A to B ctl XX+", false, 0, "", "", "", 0, 0, 0, false, false, false, 0},
        {"fm A to B ctl UA", false, 0, "", "", "", 0, 0, 0, false, false, false, 0},
        {"short", false, 0, "", "", "", 0, 0, 0, false, false, false, 0},
        // Missing words never read past the end.
        {"no fm or to or ctl here", false, 0, "", "", "", 0, 0, 0, false, false, false, 0},
        {"fm ONLYFROM", false, 0, "", "", "", 0, 0, 0, false, false, false, 0},
        {"fm A to B via", false, 0, "", "", "", 0, 0, 0, false, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        channels::TMonitorFrame f;
        ASSERT_EQ(ParseMonitorHeader(c.text, 7, f), c.header);
        if (!c.header) continue;
        EXPECT_EQ(f.Geraet, 7);
        EXPECT_EQ(f.Port, c.port);
        EXPECT_EQ(f.Von, c.von);
        EXPECT_EQ(f.An, c.an);
        EXPECT_EQ(f.Via, c.via);
        EXPECT_EQ(f.Typ, c.typ);
        EXPECT_EQ(f.NR, c.nr);
        EXPECT_EQ(f.NS, c.ns);
        EXPECT_EQ(f.Hoch, c.hoch);
        EXPECT_EQ(f.Vorzeichenform, c.vorzeichen);
        EXPECT_EQ(f.DAMA, c.dama);
        EXPECT_EQ(f.PID, c.pid);
    }
}

TEST(HostmodeTexts, LinkStatusMessages) {
    struct Case {
        const char* text;
        TLinkEvent event;
        const char* rest;
    };
    const Case cases[] = {
        {"(1) CONNECTED to TFKB", TLinkEvent::Connected, "TFKB"},
        {"(12) CONNECTED to NOCALL via TFKB", TLinkEvent::Connected, "NOCALL via TFKB"},
        {"1:(1) connected to X", TLinkEvent::Connected, "X"},
        {"(1) BUSY fm TFKB", TLinkEvent::Busy, "TFKB"},
        {"(1) LINK RESET fm TFKA", TLinkEvent::LinkResetFrom, "TFKA"},
        {"(1) LINK RESET to TFKA", TLinkEvent::LinkResetTo, "TFKA"},
        {"(1) DISCONNECTED fm TFKB", TLinkEvent::Disconnected, "TFKB"},
        {"(1) LINK FAILURE with NOCALL via TFKB", TLinkEvent::LinkFailure, "NOCALL via TFKB"},
        {"CONNECT REQUEST fm TFKA", TLinkEvent::ConnectRequest, "TFKA"},
        {"(1) FRAME REJECT", TLinkEvent::FrameReject, ""},
        {"(1) SOMETHING ELSE", TLinkEvent::None, ""},
        {"(1)", TLinkEvent::None, ""},
        {"(", TLinkEvent::None, ""},
        {":", TLinkEvent::None, ""},
        {"BUSY", TLinkEvent::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TLinkStatus s = ParseLinkStatus(c.text);
        EXPECT_EQ(s.event, c.event);
        EXPECT_EQ(s.rest, c.rest);
    }
}

TEST(HostmodeTexts, Paths) {
    EXPECT_EQ(GetConnectPath("NOCALL via TFKB"), "NOCALL TFKB");
    EXPECT_EQ(GetConnectPath("1:DB0XY via DB0AA DB0BB"), "DB0XY DB0AA DB0BB");
    EXPECT_EQ(GetConnectPath("DB0XY - Welcome"), "DB0XY");
    EXPECT_EQ(GetConnectPath(""), "");
    EXPECT_EQ(PathFromCReply("TFKB"), "TFKB");
    EXPECT_EQ(PathFromCReply("NOCALL via TFKB"), "NOCALL TFKB");
    EXPECT_EQ(PathFromCReply("ch1: TFKB"), "TFKB");
    EXPECT_EQ(PathFromCReply("CHANNEL NOT CONNECTED"), std::nullopt);
    EXPECT_EQ(PathFromCReply("channel not connected"), std::nullopt);
    EXPECT_EQ(PathFromCReply("*** SIMULTANEOUS"), std::nullopt);
    EXPECT_EQ(PathFromCReply(""), "");
}

TEST(HostmodeTexts, WhetherAConnectionIsTheLinkTheTncReports) {
    // A link not yet confirmed keeps the path as typed; an idle channel means it is gone.
    struct Case {
        std::uint8_t state;
        const char* realPath;
        const char* tncPath;
        bool same;
    };
    const Case cases[] = {
        {core::kLinkConnected, "DB0XY DB0AA", "DB0XY DB0AA", true},
        {core::kLinkConnected, "db0xy", "DB0XY", false},
        {core::kLinkConnected, "DB0XY", "", false},
        {core::kLinkConnecting, "1:db0xy via db0aa", "DB0XY DB0AA", true},
        {core::kLinkConnecting, "DB0XY v DB0AA", "DB0XY DB0AA", true},
        {core::kLinkConnecting, "DB0XY", "", false},
        {core::kLinkConnecting, "DB0XY", "DL1ABC", false},
        {core::kLinkDisconnecting, "DB0XY", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SameLink(c.state, c.realPath, c.tncPath), c.same)
            << int(c.state) << " " << c.realPath << " / " << c.tncPath;
}

TEST(HostmodeTexts, LinkValuesAndFlags) {
    const TLinkValues v = ParseLinkValues("0 0 2 1 3 10");
    EXPECT_EQ(v.unsent + v.unacked, 3);
    EXPECT_EQ(v.tries, 3);
    EXPECT_EQ(LinkStateFlags(v.state), 7 | 8);
    const TLinkValues channel0 = ParseLinkValues("1 5");
    EXPECT_EQ(channel0.statusMessages, 1);
    EXPECT_EQ(channel0.receivedFrames, 5);
    EXPECT_EQ(channel0.state, 0);
    const TLinkValues huge = ParseLinkValues("99999999999999999999 x -5");
    EXPECT_EQ(huge.statusMessages, INT_MAX);
    EXPECT_EQ(huge.receivedFrames, 0);
    EXPECT_EQ(huge.unsent, -5);

    const int expected[16] = {0, 0, 3, 0, 0, 6, 7, 8, 16, 24, 15, 23, 31, 14, 22, 30};
    for (int state = 0; state < 16; ++state)
        EXPECT_EQ(LinkStateFlags(state), expected[state]) << state;

    EXPECT_EQ(FrackFromReply(500, false), 50);
    EXPECT_EQ(FrackFromReply(500, true), 5);
    EXPECT_EQ(FrackFromReply(10, false), 1);
    EXPECT_EQ(FrackFromReply(0, true), 1);
    EXPECT_EQ(ParseNumber(" 8192"), 8192);
    EXPECT_EQ(ParseNumber("10 (0)"), 10);
    EXPECT_EQ(ParseNumber("abc"), std::nullopt);
    EXPECT_EQ(ParseNumber("-99999999999"), INT_MIN);
}

TEST(HostmodeTexts, VersionsModemsMonitorAndInitLines) {
    EXPECT_EQ(ClassifyVersion("TF2.7b/Linux 05Oct96"), "Hostmode");
    EXPECT_EQ(ClassifyVersion("TheFirmware TNC2 2.7"), "TNC2");
    EXPECT_EQ(ClassifyVersion("TNC3 Turbo-Firmware 1.0"), "TNC3");
    EXPECT_EQ(ClassifyVersion("SCS PTC-IIpro"), "PTC-II");
    EXPECT_EQ(ModemText("Modem settings: SCS - DSP\r"), "DSP");
    EXPECT_EQ(ModemText("NO MODEM"), "");

    EXPECT_EQ(MonitorCommands(4), (std::vector<std::string>{"M-", "MI"}));
    EXPECT_EQ(MonitorCommands(2 | 4 | 16), (std::vector<std::string>{"M-", "MIUS"}));
    EXPECT_EQ(MonitorCommands(8 | 64 | 128 | 256), (std::vector<std::string>{"MN"}));

    for (const char* line : {"MN", "c dl1ab", "D", "I X", "Q", "y4"})
        EXPECT_TRUE(IsIgnoredInitCommand(line)) << line;
    for (const char* line : {"", "@T2 200", "F 300", "O 4", "U1 hello"})
        EXPECT_FALSE(IsIgnoredInitCommand(line)) << line;

    const std::string stored = JoinCommandLines({" O 4 ", "", "F 300"});
    EXPECT_EQ(stored, std::string("O 4\0\0F 300\0", 11));
    EXPECT_EQ(SplitCommandLines(stored), (std::vector<std::string>{"O 4", "", "F 300"}));
    EXPECT_EQ(SplitCommandLines(std::string("A\0B", 3)), (std::vector<std::string>{"A"}));
}

}  // namespace
}  // namespace tarvo::devices::hostmode
