// The simulated TNC itself: framing, terminal mode, the recorded answers,
// links, stations and the scripted faults, seen from the host side of a real
// pseudo-terminal.
#include "tests/support/TncSimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection/VerbindungStandardU.h"

using tarvo::test::TncChannelCounters;
using tarvo::test::TncHostFrame;
using tarvo::test::TncLineChunk;
using tarvo::test::TncReplyOverride;
using tarvo::test::TncSimulator;
using tarvo::test::TncSimulatorOptions;
using tarvo::test::TncStationKind;
using tarvo::test::TncStationOptions;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using namespace std::string_literals;

constexpr milliseconds kReplyTimeout{5000};  // CI is slow
constexpr milliseconds kQuiet{60};           // long enough to see a wrong extra reply

std::string HostFrame(int channel, bool command, std::string_view data) {
    std::string f;
    f += static_cast<char>(channel);
    f += static_cast<char>(command ? 1 : 0);
    f += static_cast<char>(data.size() - 1);
    f += data;
    return f;
}

struct Reply {
    int channel = -1;
    int code = -1;
    std::string text;  // text without its NUL, or the data of codes 6 and 7
    bool operator==(const Reply&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Reply& r) {
    return os << "{ch " << r.channel << ", code " << r.code << ", \"" << r.text << "\"}";
}

// The program's end of the line: the slave, raw.
class Host {
  public:
    explicit Host(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        termios tio{};
        if (::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Host() {
        if (fd_ >= 0) ::close(fd_);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    bool Ok() const { return fd_ >= 0; }

    void Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n <= 0) return;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    void Frame(int channel, bool command, std::string_view data) {
        Send(HostFrame(channel, command, data));
    }

    // Up to n bytes, as many as come within the timeout. hungUp: the other side went away.
    std::string Read(std::size_t n, milliseconds timeout, bool* hungUp = nullptr) {
        std::string out;
        const Clock::time_point end = Clock::now() + timeout;
        while (out.size() < n) {
            const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[512];
            const ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) {
                if (hungUp) *hungUp = true;
                break;
            }
            out.append(buf, static_cast<std::size_t>(r));
        }
        return out;
    }
    // Whatever arrives until the line is quiet for `quiet`.
    std::string Drain(milliseconds quiet = kQuiet) {
        std::string out;
        for (;;) {
            const std::string more = Read(4096, quiet);
            if (more.empty()) return out;
            out += more;
        }
    }

    std::optional<Reply> ReadReply(milliseconds timeout = kReplyTimeout) {
        const std::string head = Read(2, timeout);
        if (head.size() < 2) return std::nullopt;
        Reply r{static_cast<std::uint8_t>(head[0]), static_cast<std::uint8_t>(head[1]), ""};
        if (r.code >= 1 && r.code <= 5) {
            for (;;) {
                const std::string c = Read(1, timeout);
                if (c.empty()) return std::nullopt;
                if (c[0] == '\0') break;
                r.text += c;
            }
        } else if (r.code == 6 || r.code == 7) {
            const std::string len = Read(1, timeout);
            if (len.empty()) return std::nullopt;
            r.text = Read(static_cast<std::uint8_t>(len[0]) + 1u, timeout);
        }
        return r;
    }
    Reply Ask(int channel, std::string_view command) {
        Frame(channel, true, command);
        return ReadReply().value_or(Reply{});
    }
    Reply Tell(int channel, std::string_view info) {
        Frame(channel, false, info);
        return ReadReply().value_or(Reply{});
    }
    // Polls the channel until something is pending.
    Reply Next(int channel, milliseconds timeout = kReplyTimeout, std::string_view g = "G") {
        const Clock::time_point end = Clock::now() + timeout;
        for (;;) {
            Reply r = Ask(channel, g);
            if (r.code != 0 || Clock::now() > end) return r;
            ::usleep(5000);
        }
    }
    // Monitor headers (code 4/5) until `last` appears; info lines are skipped.
    std::vector<std::string> MonitorUntil(const std::string& last) {
        std::vector<std::string> headers;
        for (int i = 0; i < 200; ++i) {
            const Reply r = Next(0);
            if (r.code == 4 || r.code == 5) headers.push_back(r.text);
            if (r.code == 0 || r.text == last) break;
        }
        return headers;
    }

  private:
    int fd_ = -1;
};

TncSimulatorOptions Hostmode() {
    TncSimulatorOptions o;
    o.startInHostmode = true;
    o.callsign = "TNCA";
    return o;
}

// The simulator and a host already talking hostmode.
struct Bench {
    explicit Bench(TncSimulatorOptions o = Hostmode()) : sim(o), host(sim.PortPath()) {}
    TncSimulator sim;
    Host host;
};

Reply R(int ch, int code, std::string text = "") {
    return {ch, code, std::move(text)};
}

}  // namespace

TEST(TncSimulator, HostFrameSplitAtAnyByteWaitsForTheRestAndGetsOneReply) {
    Bench b;
    ASSERT_TRUE(b.sim.Ok()) << b.sim.Error();
    ASSERT_TRUE(b.host.Ok());
    struct Case {
        std::string frame;
        Reply reply;
    };
    const Case cases[] = {
        {HostFrame(0, true, "I"), R(0, 1, "TNCA")},
        {HostFrame(2, true, "I TNCA-2"), R(2, 0)},
        {HostFrame(3, false, "text\r"), R(3, 0)},
        {HostFrame(0, true, "@B"), R(0, 1, "8192")},
    };
    for (const Case& c : cases) {
        for (std::size_t cut = 1; cut < c.frame.size(); ++cut) {
            SCOPED_TRACE(testing::Message() << c.reply << " cut at " << cut);
            b.host.Send(c.frame.substr(0, cut));
            EXPECT_EQ(b.host.Drain(), "");
            b.host.Send(c.frame.substr(cut));
            EXPECT_EQ(b.host.ReadReply(), c.reply);
            EXPECT_EQ(b.host.Drain(), "");
        }
    }
    // The longest frame, cut around its header and its end.
    const std::string longFrame = HostFrame(0, true, "M " + std::string(254, 'I'));
    for (std::size_t cut : {1u, 2u, 3u, 4u, 130u, 258u}) {
        b.host.Send(longFrame.substr(0, cut));
        EXPECT_EQ(b.host.Drain(), "");
        b.host.Send(longFrame.substr(cut));
        EXPECT_EQ(b.host.ReadReply(), R(0, 0));
    }
    EXPECT_EQ(b.host.Ask(0, "M"), R(0, 1, "I"));
}

TEST(TncSimulator, ManyFramesInOneWriteGetOneReplyEachInOrder) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    std::string burst;
    std::vector<Reply> expected;
    for (int i = 0; i < 40; ++i) {
        const int ch = i % 5;
        burst += HostFrame(ch, true, i % 2 ? "G" : "L");
        expected.push_back(i % 2 ? R(ch, 0) : R(ch, 1, ch == 0 ? "0 0" : "0 0 0 0 0 0"));
    }
    b.host.Send(burst);
    for (const Reply& want : expected) EXPECT_EQ(b.host.ReadReply(), want);
    EXPECT_EQ(b.host.Drain(), "");
    EXPECT_EQ(b.sim.FrameCount(), 40u);
}

TEST(TncSimulator, TerminalModeEchoesAndJhost1EntersHostmode) {
    TncSimulatorOptions o;
    o.callsign = "TNCA";
    o.channels = 4;
    TncSimulator sim(o);
    Host host(sim.PortPath());
    ASSERT_TRUE(host.Ok());
    EXPECT_FALSE(sim.InHostmode());

    // The probe must not look like a hostmode answer.
    host.Send("\x01\x01\x01\x01\x01");
    EXPECT_EQ(host.Drain(milliseconds(150)), "");

    host.Send("\x11");
    EXPECT_EQ(host.Read(1, kReplyTimeout), ".");
    host.Send("\x18");
    EXPECT_EQ(host.Read(3, kReplyTimeout), "\x08 \x08");
    host.Send(
        "\x1b"
        "JHOST1\r");
    EXPECT_EQ(host.Read(10, kReplyTimeout), "* JHOST1\r\n");
    EXPECT_TRUE(sim.WaitForHostmode(true, kReplyTimeout));
    EXPECT_EQ(host.Drain(), "");

    // In hostmode the probe is one whole frame: channel 1, command "\x01\x01".
    host.Send("\x01\x01\x01\x01\x01");
    EXPECT_EQ(host.ReadReply(), R(1, 2, "INVALID COMMAND: \x01"));
    EXPECT_EQ(host.Drain(), "");
    // Y limits the connects, not the channels the firmware takes commands on.
    EXPECT_EQ(host.Ask(5, "I"), R(5, 1, "TNCA"));
    EXPECT_EQ(host.Ask(51, "I"), R(51, 2, "INVALID CHANNEL NUMBER"));
    EXPECT_EQ(host.Ask(0, "Y"), R(0, 1, "4 (0)"));

    EXPECT_EQ(host.Ask(0, "JHOST0"), R(0, 0));
    EXPECT_TRUE(sim.WaitForHostmode(false, kReplyTimeout));
    host.Send("\x11");
    EXPECT_EQ(host.Read(1, kReplyTimeout), ".");
}

TEST(TncSimulator, DelayedEchoComesBeforeTheFirstHostmodeReply) {
    TncSimulatorOptions o;
    o.echoDelay = milliseconds(20);
    TncSimulator sim(o);
    Host host(sim.PortPath());
    ASSERT_TRUE(host.Ok());
    host.Send(
        "\x11\x18\x1b"
        "JHOST1\r" +
        HostFrame(0, true, "L"));
    const std::string echo = ".\x08 \x08* JHOST1\r\n";
    EXPECT_EQ(host.Read(echo.size(), kReplyTimeout), echo);
    EXPECT_EQ(host.ReadReply(), R(0, 1, "0 0"));
    // Ten units, each one echo delay after the one before, then the reply.
    const std::vector<TncLineChunk> log = sim.LineLog();
    const std::vector<std::string> units{".", "\x08 \x08", "* ", "J", "H",
                                         "O", "S",         "T",  "1", "\r\n"};
    ASSERT_EQ(log.size(), units.size() + 1);
    for (std::size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(log[i].bytes, units[i]);
        if (i > 0) {
            EXPECT_GE(log[i].at - log[i - 1].at, o.echoDelay) << i;
        }
    }
    EXPECT_GE(log.back().at, log[units.size() - 1].at);
}

TEST(TncSimulator, AnswersAsRecorded) {
    TncSimulatorOptions o = Hostmode();
    o.channelLimit = 50;
    Bench b(o);
    ASSERT_TRUE(b.host.Ok());
    struct Step {
        int channel;
        const char* command;
        Reply reply;
    };
    const Step steps[] = {
        {0, "L", R(0, 1, "0 0")},
        {0, "JHOST", R(0, 1, "1")},
        {0, "JHOST1", R(0, 0)},
        {255, "G", R(255, 1, "")},
        {0, "G0", R(0, 0)},
        {1, "G1", R(1, 0)},
        {0, "G2", R(0, 2, "INVALID VALUE: 2")},
        {11, "I", R(11, 1, "TNCA")},
        {50, "I", R(50, 1, "TNCA")},
        {51, "I", R(51, 2, "INVALID CHANNEL NUMBER")},
        {254, "I", R(254, 2, "INVALID CHANNEL NUMBER")},
        {255, "I", R(255, 2, "INVALID CHANNEL NUMBER")},
        {3, "I TNCA-3", R(3, 0)},
        {3, "I", R(3, 1, "TNCA-3")},
        {4, "I", R(4, 1, "TNCA")},
        {0, "I 123456789", R(0, 2, "INVALID CALLSIGN")},
        {0, "Y", R(0, 1, "10 (0)")},
        {0, "@B", R(0, 1, "8192")},
        {0, "O", R(0, 1, "2")},
        {0, "F", R(0, 1, "500")},
        {0, "N", R(0, 1, "10")},
        {0, "@T2", R(0, 1, "200")},
        {0, "@T3", R(0, 1, "18000")},
        {0, "T", R(0, 1, "30")},
        {0, "P", R(0, 1, "32")},
        {0, "W", R(0, 1, "10")},
        {0, "R", R(0, 1, "1")},
        {0, "E", R(0, 1, "1")},
        {0, "X", R(0, 1, "1")},
        {0, "Z", R(0, 1, "1")},
        {0, "U", R(0, 1, "0")},
        {0, "A", R(0, 1, "1")},
        {0, "B", R(0, 1, "10")},
        {0, "@I", R(0, 1, "60")},
        {0, "@D", R(0, 1, "0")},
        {0, "@F", R(0, 1, "0")},
        {0, "@V", R(0, 1, "0")},
        {0, "@U", R(0, 1, "0")},
        {0, "@S", R(0, 2, "INVALID EXTENDED COMMAND: S")},
        {0, "@K", R(0, 2, "INVALID EXTENDED COMMAND: K")},
        {0, "@P", R(0, 1, "240")},
        {1, "@S", R(1, 1, "0")},
        {0, "O 9", R(0, 2, "INVALID VALUE: 9")},
        {0, "O 2", R(0, 0)},
        {0, "Y 99", R(0, 2, "INVALID VALUE: 99")},
        {1, "L", R(1, 1, "0 0 0 0 0 0")},
        {1, "C", R(1, 1, "CHANNEL NOT CONNECTED")},
        {1, "D", R(1, 1, "CHANNEL NOT CONNECTED")},
        {0, "D", R(0, 2, "INVALID COMMAND: D")},
        {0, "C", R(0, 1, "CQ")},
        {0, "M", R(0, 1, "IUSC")},
        {0, "MN", R(0, 0)},
        {0, "M", R(0, 1, "N")},
        {0, "M-", R(0, 0)},
        {0, "M", R(0, 1, "N")},
        {0, "MIUSC", R(0, 0)},
        {0, "M+ TNCB", R(0, 0)},
        {0, "M", R(0, 1, "IUSC + TNCB")},
        {0, "M- TNCB NOCALL", R(0, 0)},
        {0, "M", R(0, 1, "IUSC - TNCB NOCALL")},
        {0, "M+", R(0, 0)},
        {0, "M", R(0, 1, "IUSC")},
        {0, "MX", R(0, 2, "INVALID PARAMETER")},
        {0, "M IU", R(0, 0)},
        {0, "M", R(0, 1, "IU")},
        {0, "M N I", R(0, 2, "INVALID PARAMETER")},
        {0, "M IUSC", R(0, 0)},
        {0, "C CQ via TNCB", R(0, 0)},
        {0, "C", R(0, 1, "CQ via TNCB")},
        {0, "?", R(0, 2, "INVALID COMMAND: ?")},
        {0, "1", R(0, 2, "INVALID COMMAND: 1")},
        {0, "Q", R(0, 2, "INVALID COMMAND: Q")},
        {0, "J", R(0, 2, "INVALID COMMAND: J")},
        {0, "JHOST2", R(0, 2, "INVALID VALUE: 2")},
        {0, "@Q", R(0, 2, "INVALID EXTENDED COMMAND: Q")},
        {0, "@", R(0, 0)},
        {0, " ", R(0, 0)},
        {0, "Hello", R(0, 2, "INVALID COMMAND: H")},
        {0, "\x7f", R(0, 2, "INVALID COMMAND: \x7f")},
        {1, "H", R(1, 2, "INVALID COMMAND: H")},
        {0, "%XYZ", R(0, 2, "INVALID COMMAND: %")},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "ch " << s.channel << " \"" << s.command << "\"");
        EXPECT_EQ(b.host.Ask(s.channel, s.command), s.reply);
    }
    EXPECT_EQ(b.host.Ask(0, "U 1 " + std::string(252, 'x')), R(0, 2, "MESSAGE TOO LONG"));
    EXPECT_EQ(b.host.Ask(0, "M " + std::string(254, 'I')), R(0, 0));
    EXPECT_EQ(b.host.Tell(51, "x"), R(51, 2, "INVALID CHANNEL NUMBER"));
    EXPECT_EQ(b.host.Tell(3, "info on a channel that has no link\r"), R(3, 0));
    EXPECT_EQ(b.host.Ask(0, "V"), R(0, 1, "TF2.7b/Tarvo-Sim"));
    const Reply k = b.host.Ask(0, "K");
    EXPECT_EQ(k.code, 1);
    EXPECT_TRUE(k.text.starts_with("0 00/00/00 ")) << k;
}

TEST(TncSimulator, EntrySequenceInHostmodeIsAnInfoFrameOfTwentyEightBytes) {
    TncSimulatorOptions o = Hostmode();
    o.channelLimit = 50;
    Bench b(o);
    ASSERT_TRUE(b.host.Ok());
    b.host.Send(
        "\x11\x18\x1b"
        "JHOST1\r");
    for (int i = 0; i < 20; ++i) b.host.Send("\x01");
    EXPECT_EQ(b.host.Drain(milliseconds(150)), "");
    b.host.Send("\x01");
    EXPECT_EQ(b.host.ReadReply(), R(0x11, 0));
    EXPECT_EQ(b.host.Ask(0, "L"), R(0, 1, "0 0"));
    const std::vector<TncHostFrame> frames = b.sim.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(frames[0].command);
    EXPECT_EQ(frames[0].channel, 0x11);
    EXPECT_EQ(frames[0].data, "JHOST1\r" + std::string(21, '\x01'));
}

TEST(TncSimulator, UiFramesOnTheMonitorWithRepeatedCopyFirst) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    EXPECT_EQ(b.host.Ask(0, "C CQ via TNCB"), R(0, 0));
    EXPECT_EQ(b.host.Tell(0, "UI frame via TNCB\r"), R(0, 0));
    EXPECT_EQ(b.host.Ask(255, "G"), R(255, 1, "\x01"));
    EXPECT_EQ(b.host.Ask(0, "L"), R(0, 1, "0 2"));
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 5, "fm TNCA to CQ via TNCB* ctl UI^ pid F0"));
    EXPECT_EQ(b.host.Ask(0, "L"), R(0, 1, "0 2"));  // the info of a frame is still its frame
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 6, "UI frame via TNCB\r"));
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 5, "fm TNCA to CQ via TNCB ctl UI^ pid F0"));
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 6, "UI frame via TNCB\r"));
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 0));
    // A 256-byte frame keeps all 256 bytes on the monitor.
    const std::string big(256, 'u');
    EXPECT_EQ(b.host.Tell(0, big), R(0, 0));
    b.host.Ask(0, "G");
    b.host.Ask(0, "G");
    b.host.Ask(0, "G");
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 6, big));
    // With U off nothing of it shows.
    EXPECT_EQ(b.host.Ask(0, "M IS"), R(0, 0));
    EXPECT_EQ(b.host.Tell(0, "hidden\r"), R(0, 0));
    EXPECT_EQ(b.host.Ask(255, "G"), R(255, 1, ""));
}

TEST(TncSimulator, ConnectToTheMailboxAndAnswerItsPassword) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    TncStationOptions mailbox{TncStationKind::Mailbox};
    mailbox.password = "abcdefghij";
    b.sim.AddStation("SIMBOX", mailbox);

    EXPECT_EQ(b.host.Ask(1, "C simbox"), R(1, 0));
    EXPECT_EQ(b.host.Next(1, kReplyTimeout, "G1"), R(1, 3, "(1) CONNECTED to SIMBOX"));
    EXPECT_EQ(b.sim.LinkState(1), 4);
    EXPECT_EQ(b.host.Ask(1, "C"), R(1, 1, "SIMBOX"));
    EXPECT_EQ(b.host.Ask(1, "@S"), R(1, 1, "4"));
    EXPECT_EQ(b.host.Ask(0, "Y"), R(0, 1, "10 (1)"));

    std::string text;
    while (text.find("SIMBOX> ") == std::string::npos) {
        const Reply r = b.host.Next(1);
        ASSERT_EQ(r.code, 7) << r;
        text += r.text;
    }
    ASSERT_TRUE(text.starts_with("[BPQ-6.0.25.23-B2FWIHJM$]\r")) << text;
    // The program must take the prompt for one and answer it.
    const std::string promptLine = text.substr(text.rfind("SIMBOX> "));
    const auto prompt = tarvo::connection::RecognizePasswordPrompt(promptLine, "SIMBOX");
    ASSERT_EQ(prompt.kind, tarvo::connection::TPromptKind::NumberPositions) << promptLine;
    tarvo::connection::TDefaultRandom random;
    const auto answer =
        tarvo::connection::AnswerNumberPositions(prompt.text, mailbox.password, random);
    ASSERT_EQ(answer.error, tarvo::connection::TPasswordError::None);
    EXPECT_EQ(b.host.Tell(1, answer.text + "\r"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 7, "Password ok\rde SIMBOX>\r"));
    EXPECT_EQ(b.sim.StationPasswordOk("SIMBOX"), true);

    EXPECT_EQ(b.host.Tell(1, "xyz\r"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 7, "Invalid Command\rde SIMBOX>\r"));
    EXPECT_TRUE(b.sim.WaitForStationReceived("SIMBOX", "xyz\r", kReplyTimeout));

    // The same call elsewhere, and another call here, are refused.
    EXPECT_EQ(b.host.Ask(2, "C SIMBOX"), R(2, 2, "STATION ALREADY CONNECTED"));
    EXPECT_EQ(b.host.Ask(1, "C OTHER"), R(1, 2, "CHANNEL ALREADY CONNECTED"));
    EXPECT_EQ(b.host.Ask(1, "I TNCA-1"), R(1, 2, "NOT WHILE CONNECTED"));
    // Another own callsign may hold a second link to the same station.
    EXPECT_EQ(b.host.Ask(2, "I TNCA-2"), R(2, 0));
    EXPECT_EQ(b.host.Ask(2, "C SIMBOX"), R(2, 0));
    EXPECT_TRUE(b.sim.WaitForLinkState(2, 4, kReplyTimeout));

    // As recorded, list lines come without a header, newest first.
    EXPECT_EQ(b.host.Tell(1, "l\r"), R(1, 0));
    std::string list;
    while (!list.ends_with("de SIMBOX>\r")) list += b.host.Next(1).text;
    EXPECT_TRUE(
        list.starts_with("4      04-Jan BN       4 ALL    @WW     SIMOP  Short note\r"
                         "3      03-Jan PN     568 SYSOP          SIMOP  A long"))
        << list;
    // K kills a message: gone from the list and from R.
    EXPECT_EQ(b.host.Tell(1, "K 4\r"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 7, "Message #4 Killed\rde SIMBOX>\r"));
    EXPECT_EQ(b.host.Tell(1, "L\r"), R(1, 0));
    list.clear();
    while (!list.ends_with("de SIMBOX>\r")) list += b.host.Next(1).text;
    EXPECT_TRUE(list.starts_with("3      03-Jan PN")) << list;
    EXPECT_EQ(b.host.Tell(1, "R 4\r"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 7, "Message 4 not found\rde SIMBOX>\r"));
    // B logs off without a word.
    EXPECT_EQ(b.host.Tell(1, "b\r"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 3, "(1) DISCONNECTED fm SIMBOX"));
    EXPECT_EQ(b.sim.LinkState(1), 0);
}

TEST(TncSimulator, MailboxOutputIsCutAtItsPaclen) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    TncStationOptions mailbox{TncStationKind::Mailbox};
    mailbox.password = "";  // no challenge
    b.sim.AddStation("SIMBOX", mailbox);
    EXPECT_EQ(b.host.Ask(1, "C SIMBOX"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 3, "(1) CONNECTED to SIMBOX"));
    std::string greeting;
    while (!greeting.ends_with("de SIMBOX>\r")) greeting += b.host.Next(1).text;
    EXPECT_TRUE(greeting.starts_with("[BPQ-6.0.25.23-B2FWIHJM$]\rHello TNCA."));

    EXPECT_EQ(b.host.Tell(1, "R 3\r"), R(1, 0));
    std::vector<std::string> pieces;
    std::string joined;
    while (!joined.ends_with("de SIMBOX>\r")) {
        const Reply r = b.host.Next(1);
        ASSERT_EQ(r.code, 7) << r;
        pieces.push_back(r.text);
        joined += r.text;
    }
    ASSERT_GE(pieces.size(), 3u);
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_EQ(pieces[i].size(), 236u);
    EXPECT_NE(joined.find("\r[End of Message #3 from SIMOP]\rde SIMBOX>\r"), std::string::npos);
}

TEST(TncSimulator, MonitorShowsTheLinkFramesInTheRecordedOrderAndCountsSequenceNumbers) {
    TncSimulatorOptions o = Hostmode();
    o.ackDelay = milliseconds(1000);
    Bench b(o);
    ASSERT_TRUE(b.host.Ok());
    b.sim.AddStation("ECHO", {TncStationKind::Echo});
    b.sim.AddStation("QUIET", {TncStationKind::Quiet});

    EXPECT_EQ(b.host.Ask(1, "C ECHO"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 3, "(1) CONNECTED to ECHO"));
    EXPECT_EQ(b.host.MonitorUntil("fm TNCA to ECHO ctl SABM+"),
              (std::vector<std::string>{"fm ECHO to TNCA ctl UA-", "fm TNCA to ECHO ctl SABM+"}));

    // Each echoed line acknowledges ours; ours carry the receive count first.
    for (const char* line : {"one\r", "two\r"}) {
        EXPECT_EQ(b.host.Tell(1, line), R(1, 0));
        EXPECT_EQ(b.host.Next(1), R(1, 7, line));
    }
    std::vector<std::string> iFrames;
    for (const std::string& h : b.host.MonitorUntil("fm ECHO to TNCA ctl I21^ pid F0"))
        if (h.find(" ctl I") != std::string::npos) iFrames.push_back(h);
    EXPECT_EQ(iFrames, (std::vector<std::string>{
                           "fm TNCA to ECHO ctl I00^ pid F0", "fm ECHO to TNCA ctl I10^ pid F0",
                           "fm TNCA to ECHO ctl I11^ pid F0", "fm ECHO to TNCA ctl I21^ pid F0"}));
    // Nothing more comes from the station: we acknowledge what we got.
    const std::vector<std::string> ack = b.host.MonitorUntil("fm TNCA to ECHO ctl RR2v");
    ASSERT_FALSE(ack.empty());
    EXPECT_EQ(ack.back(), "fm TNCA to ECHO ctl RR2v");

    // A station that says nothing acknowledges our frame with RR.
    EXPECT_EQ(b.host.Ask(2, "C QUIET"), R(2, 0));
    EXPECT_EQ(b.host.Next(2), R(2, 3, "(2) CONNECTED to QUIET"));
    EXPECT_EQ(b.host.Tell(2, "hello\r"), R(2, 0));
    EXPECT_EQ(b.host.Tell(2, "again\r"), R(2, 0));
    EXPECT_EQ(b.host.Ask(2, "L"), R(2, 1, "0 0 0 2 0 4"));
    EXPECT_EQ(b.host.MonitorUntil("fm QUIET to TNCA ctl RR2v"),
              (std::vector<std::string>{"fm QUIET to TNCA ctl UA-", "fm TNCA to QUIET ctl SABM+",
                                        "fm TNCA to QUIET ctl I00^ pid F0",
                                        "fm TNCA to QUIET ctl I01^ pid F0",
                                        "fm QUIET to TNCA ctl RR2v"}));
    EXPECT_EQ(b.host.Ask(2, "L"), R(2, 1, "0 0 0 0 0 4"));

    EXPECT_EQ(b.host.Ask(2, "D"), R(2, 0));
    EXPECT_EQ(b.host.Next(2), R(2, 3, "(2) DISCONNECTED fm QUIET"));
    EXPECT_EQ(b.host.MonitorUntil("fm TNCA to QUIET ctl DISC+").back(),
              "fm TNCA to QUIET ctl DISC+");
    EXPECT_EQ(b.sim.StationReceived("QUIET"), "hello\ragain\r");

    // Without C the own link's frames are not shown.
    EXPECT_EQ(b.host.Ask(0, "M IUS"), R(0, 0));
    EXPECT_EQ(b.host.Tell(1, "three\r"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 7, "three\r"));
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 0));
}

TEST(TncSimulator, FailedAndRefusedConnects) {
    TncSimulatorOptions o = Hostmode();
    o.retryInterval = milliseconds(300);
    Bench b(o);
    ASSERT_TRUE(b.host.Ok());
    b.sim.AddStation("BUSY", {TncStationKind::Busy});

    EXPECT_EQ(b.host.Ask(1, "C BUSY"), R(1, 0));
    EXPECT_EQ(b.host.Next(1), R(1, 3, "(1) BUSY fm BUSY"));
    EXPECT_EQ(b.host.MonitorUntil("fm TNCA to BUSY ctl SABM+"),
              (std::vector<std::string>{"fm BUSY to TNCA ctl DM-", "fm TNCA to BUSY ctl SABM+"}));

    EXPECT_EQ(b.host.Ask(0, "N 3"), R(0, 0));
    EXPECT_EQ(b.host.Ask(1, "C NOCALL via DIGI"), R(1, 0));
    EXPECT_EQ(b.host.Ask(1, "C"), R(1, 1, "NOCALL via DIGI"));
    EXPECT_EQ(b.host.Next(1, kReplyTimeout, "G1"),
              R(1, 3, "(1) LINK FAILURE with NOCALL via DIGI"));
    EXPECT_EQ(b.host.Ask(1, "L"), R(1, 1, "0 0 0 0 0 0"));
    EXPECT_EQ(
        b.host.MonitorUntil("fm TNCA to NOCALL via DIGI ctl DISC+"),
        (std::vector<std::string>{
            "fm TNCA to NOCALL via DIGI* ctl SABM+", "fm TNCA to NOCALL via DIGI ctl SABM+",
            "fm TNCA to NOCALL via DIGI* ctl SABM+", "fm TNCA to NOCALL via DIGI ctl SABM+",
            "fm TNCA to NOCALL via DIGI* ctl SABM+", "fm TNCA to NOCALL via DIGI ctl SABM+",
            "fm TNCA to NOCALL via DIGI* ctl DISC+", "fm TNCA to NOCALL via DIGI ctl DISC+"}));

    // D during the attempt ends it at once.
    EXPECT_EQ(b.host.Ask(0, "N 100"), R(0, 0));
    EXPECT_EQ(b.host.Ask(1, "C NOCALL"), R(1, 0));
    EXPECT_EQ(b.host.Ask(1, "D"), R(1, 0));
    EXPECT_EQ(b.host.Ask(1, "L"), R(1, 1, "1 0 0 0 0 0"));
    EXPECT_EQ(b.host.Next(1), R(1, 3, "(1) DISCONNECTED fm NOCALL"));
}

TEST(TncSimulator, IncomingConnectTakesTheLowestIdleChannelWithThatCallsign) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    b.sim.AddStation("SIMBOX", {TncStationKind::Mailbox});
    EXPECT_EQ(b.host.Ask(1, "I OTHER"), R(1, 0));

    EXPECT_EQ(b.sim.IncomingConnect("simbox", "tnca-0"), 2);
    EXPECT_EQ(b.host.Ask(255, "G"), R(255, 1, "\x01\x03"));
    EXPECT_EQ(b.host.Next(2), R(2, 3, "(2) CONNECTED to SIMBOX"));
    EXPECT_TRUE(b.host.Next(2).text.starts_with("[BPQ-6.0.25.23-B2FWIHJM$]\r"));
    // It called: no password challenge, the prompt at once.
    EXPECT_EQ(b.host.Next(2), R(2, 7, "de SIMBOX>\r"));
    EXPECT_EQ(b.sim.StationPasswordOk("SIMBOX"), std::nullopt);
    EXPECT_EQ(b.host.MonitorUntil("fm TNCA to SIMBOX ctl UA-").front(),
              "fm SIMBOX to TNCA ctl SABM+");

    // A caller the simulator does not know stays quiet and records what it gets.
    EXPECT_EQ(b.sim.IncomingConnect("ANYONE", "TNCA"), 3);
    EXPECT_EQ(b.host.Next(3), R(3, 3, "(3) CONNECTED to ANYONE"));
    EXPECT_EQ(b.host.Tell(3, "hi\r"), R(3, 0));
    EXPECT_TRUE(b.sim.WaitForStationReceived("ANYONE", "hi\r", kReplyTimeout));
    EXPECT_TRUE(b.sim.StationSend("ANYONE", "from the station\r"));
    EXPECT_EQ(b.host.Next(3), R(3, 7, "from the station\r"));
    EXPECT_TRUE(b.sim.StationDisconnect("ANYONE"));
    EXPECT_EQ(b.host.Next(3), R(3, 3, "(3) DISCONNECTED fm ANYONE"));
    EXPECT_FALSE(b.sim.StationSend("ANYONE", "x"));

    // Nobody takes it: the caller is refused and channel 0 reports it.
    EXPECT_EQ(b.host.Ask(0, "Y 0"), R(0, 0));
    EXPECT_EQ(b.sim.IncomingConnect("CALLER", "TNCA"), 0);
    EXPECT_EQ(b.host.Next(0, kReplyTimeout, "G1"), R(0, 3, "CONNECT REQUEST fm CALLER"));
}

TEST(TncSimulator, PollFormsAndInjectedItems) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    b.sim.InjectLinkStatus(1, "(1) LINK RESET fm TNCB");
    b.sim.StationSend("NOBODY", "x");  // no link: nothing
    b.sim.InjectMonitor("fm X to ID ctl UI^ pid F0", "beacon\r");
    EXPECT_EQ(b.host.Ask(255, "G"), R(255, 1, "\x01\x02"));
    EXPECT_EQ(b.host.Ask(1, "G0"), R(1, 0));
    EXPECT_EQ(b.host.Ask(1, "L"), R(1, 1, "1 0 0 0 0 0"));
    EXPECT_EQ(b.host.Ask(1, "G1"), R(1, 3, "(1) LINK RESET fm TNCB"));
    EXPECT_EQ(b.host.Ask(0, "G1"), R(0, 0));
    EXPECT_EQ(b.host.Ask(0, "G0"), R(0, 5, "fm X to ID ctl UI^ pid F0"));
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 6, "beacon\r"));

    TncChannelCounters counters;
    counters.unacked = 7;
    counters.state = 4;
    b.sim.SetChannelCounters(1, counters);
    b.sim.SetFreeBuffers(12);
    EXPECT_EQ(b.host.Ask(1, "L"), R(1, 1, "0 0 0 7 0 4"));
    EXPECT_EQ(b.host.Ask(0, "@B"), R(0, 1, "12"));
}

TEST(TncSimulator, BeaconAndOverheardTraffic) {
    TncSimulatorOptions o = Hostmode();
    o.beaconInterval = milliseconds(50);
    o.overheardTraffic = true;
    Bench b(o);
    ASSERT_TRUE(b.host.Ok());
    EXPECT_EQ(b.host.Next(0), R(0, 5, "fm DB0SIM to ID ctl UI^ pid F0"));
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 6, o.beaconText));
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 5, "fm SIMA to SIMB ctl I00^ pid F0"));
    b.host.Ask(0, "G");
    EXPECT_EQ(b.host.Ask(0, "G"), R(0, 4, "fm SIMB to SIMA ctl RR1v"));
    // The beacon is filtered like any overheard frame.
    EXPECT_EQ(b.host.Ask(0, "M- DB0SIM SIMA"), R(0, 0));
    b.host.Drain();
    while (b.host.Ask(0, "G").code != 0) {
    }
    ::usleep(200 * 1000);
    for (Reply r = b.host.Ask(0, "G"); r.code != 0; r = b.host.Ask(0, "G"))
        EXPECT_EQ(r.text.find("DB0SIM"), std::string::npos) << r;
}

TEST(TncSimulator, SilenceDropsFramesUntilItEnds) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    b.sim.Silence(std::nullopt);
    const std::size_t from = b.sim.FrameCount();
    b.host.Frame(1, true, "C SOMEONE");
    const auto seen =
        b.sim.WaitForFrame([](const TncHostFrame& f) { return f.command && f.data == "C SOMEONE"; },
                           kReplyTimeout, from);
    ASSERT_TRUE(seen);
    EXPECT_FALSE(seen->answered);
    EXPECT_EQ(b.host.Drain(milliseconds(100)), "");
    EXPECT_EQ(b.sim.LinkState(1), 0);
    b.sim.EndSilence();
    EXPECT_EQ(b.host.Ask(0, "I"), R(0, 1, "TNCA"));

    b.sim.Silence(milliseconds(500));
    b.host.Frame(0, true, "I");
    EXPECT_EQ(b.host.Drain(milliseconds(50)), "");
    ::usleep(600 * 1000);
    EXPECT_EQ(b.host.Ask(0, "L"), R(0, 1, "0 0"));
}

TEST(TncSimulator, ScriptedBrokenReplies) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    b.sim.JunkInNextReply("\xAA\xBB", 2);
    b.host.Frame(0, true, "I");
    EXPECT_EQ(b.host.Read(9, kReplyTimeout), "\x00\x01\xAA\xBBTNCA\x00"s);
    b.sim.NextReplyCode(8);
    b.host.Frame(0, true, "I");
    EXPECT_EQ(b.host.Read(7, kReplyTimeout), "\x00\x08TNCA\x00"s);
    EXPECT_EQ(b.host.Ask(0, "L"), R(0, 1, "0 0"));

    b.sim.ShortBodyNext(10, 3, milliseconds(500));
    // A frame right behind the one with the short reply falls into the silence.
    b.host.Send(HostFrame(1, true, "G") + HostFrame(0, true, "L"));
    EXPECT_EQ(b.host.Read(6, kReplyTimeout), "\x01\x07\x09xxx"s);
    EXPECT_EQ(b.host.Drain(milliseconds(100)), "");  // the missing bytes never come
    ::usleep(600 * 1000);
    EXPECT_EQ(b.host.Ask(0, "L"), R(0, 1, "0 0"));
    EXPECT_EQ(b.host.Drain(), "");
}

TEST(TncSimulator, ReplyOverridesForMatchingCommands) {
    Bench b;
    ASSERT_TRUE(b.host.Ok());
    b.sim.AddStation("SIMBOX", {TncStationKind::Quiet});
    TncReplyOverride o;
    o.channel = 1;
    o.prefix = "c simbox";
    o.count = 2;
    o.code = 2;
    o.text = "STATION ALREADY CONNECTED";
    b.sim.OverrideReply(o);
    EXPECT_EQ(b.host.Ask(2, "C SIMBOX"), R(2, 0));  // another channel: not matched
    EXPECT_EQ(b.host.Ask(2, "D"), R(2, 0));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(b.host.Ask(1, "C SIMBOX"), R(1, 2, "STATION ALREADY CONNECTED"));
    EXPECT_EQ(b.sim.LinkState(1), 0);
    EXPECT_EQ(b.host.Ask(1, "C SIMBOX"), R(1, 0));

    // A late reply holds back the next one.
    TncReplyOverride late;
    late.prefix = "I";
    late.code = 1;
    late.text = "LATE";
    late.delay = milliseconds(300);
    b.sim.OverrideReply(late);
    b.host.Frame(0, true, "I");
    b.host.Frame(0, true, "@B");
    EXPECT_EQ(b.host.Drain(milliseconds(100)), "");
    EXPECT_EQ(b.host.ReadReply(), R(0, 1, "LATE"));
    EXPECT_EQ(b.host.ReadReply(), R(0, 1, "8192"));

    // The log keeps the order the host sent.
    const auto c =
        b.sim.WaitForFrame([](const TncHostFrame& f) { return f.data == "@B"; }, kReplyTimeout);
    ASSERT_TRUE(c);
    const std::vector<TncHostFrame> frames = b.sim.Frames(c->index - 1);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].data, "I");
    EXPECT_EQ(frames[1].index, c->index);
}

TEST(TncSimulator, HangUpAndComeBackBehindTheSameLink) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tncsim-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    TncSimulatorOptions o = Hostmode();
    o.linkPath = (dir / "tnc").string();
    {
        TncSimulator sim(o);
        ASSERT_TRUE(sim.Ok()) << sim.Error();
        EXPECT_EQ(sim.PortPath(), o.linkPath);
        EXPECT_EQ(std::filesystem::read_symlink(o.linkPath).string(), sim.SlavePath());
        {
            Host host(o.linkPath);
            ASSERT_TRUE(host.Ok());
            EXPECT_EQ(host.Ask(1, "I TNCA-5"), R(1, 0));
            sim.HangUp(std::nullopt);
            bool hungUp = false;
            host.Read(1, kReplyTimeout, &hungUp);
            EXPECT_TRUE(hungUp);
        }
        EXPECT_FALSE(sim.WaitForPort(milliseconds(100)));
        sim.ComeBack();
        ASSERT_TRUE(sim.WaitForPort(kReplyTimeout));
        EXPECT_EQ(std::filesystem::read_symlink(o.linkPath).string(), sim.SlavePath());
        Host again(o.linkPath);
        ASSERT_TRUE(again.Ok());
        EXPECT_EQ(again.Ask(1, "I"), R(1, 1, "TNCA-5"));  // the TNC kept its state

        sim.HangUp(milliseconds(50), true);
        bool hungUp = false;
        again.Read(1, kReplyTimeout, &hungUp);
        EXPECT_TRUE(hungUp);
        ASSERT_TRUE(sim.WaitForPort(kReplyTimeout));
        EXPECT_FALSE(sim.InHostmode());
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(o.linkPath)));
    std::filesystem::remove_all(dir);
}

TEST(TncSimulator, PacedLineKeepsToItsRate) {
    TncSimulatorOptions o = Hostmode();
    o.baud = 19200;  // 1920 bytes per second each way
    Bench b(o);
    ASSERT_TRUE(b.host.Ok());
    const std::string data(256, 'd');
    for (int i = 0; i < 4; ++i) b.host.Frame(0, false, data);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(b.host.ReadReply(), R(0, 0));
    for (int i = 0; i < 4; ++i) {
        b.host.Ask(0, "G");
        EXPECT_EQ(b.host.Ask(0, "G"), R(0, 6, data));
    }
    // On the simulator's schedule every write waits until the one before is
    // on the line: at most 1920 bytes per second of it, in small writes.
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / o.baud);
    const std::vector<TncLineChunk> log = b.sim.LineLog();
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        bytes += log[i].bytes.size();
        EXPECT_LE(log[i].bytes.size(), 10u);
        if (i > 0) {
            EXPECT_GE(log[i].at - log[i - 1].at,
                      byteTime * static_cast<long long>(log[i - 1].bytes.size()))
                << i;
        }
    }
    EXPECT_GE(bytes, 4u * 258u);
    EXPECT_GE(log.back().at - log.front().at,
              byteTime * static_cast<long long>(bytes - log.back().bytes.size()));
}
