// The AGWPE frames and the texts in them, without an engine.
#include "devices/AgwpeU.h"

#include <gtest/gtest.h>

#include <cmath>

#include "devices/Ax25FrameU.h"
#include "tests/support/AgwpeFixture.h"

namespace tarvo::devices::agwpe {
namespace {

TFrame Make(char kind, std::string from, std::string to, std::string data, std::uint8_t port = 0) {
    TFrame f;
    f.kind = kind;
    f.port = port;
    f.callFrom = std::move(from);
    f.callTo = std::move(to);
    f.data = std::move(data);
    return f;
}

bool Same(const TFrame& a, const TFrame& b) {
    return a.kind == b.kind && a.port == b.port && a.pid == b.pid && a.callFrom == b.callFrom &&
           a.callTo == b.callTo && a.data == b.data;
}

TEST(AgwpeFrames, RoundTripWithTheStreamCutAtEveryOffset) {
    std::vector<TFrame> frames = {Make('G', "", "", ""),
                                  Make('D', "DL1TST-1", "DB0XY", std::string("a\0b\r", 4), 1),
                                  Make('C', "DWB-1", "DWA-1", "*** CONNECTED With Station DWB-1\r"),
                                  Make('Y', "A", "B", std::string(4, '\0'), 3)};
    frames[1].pid = 0xF0;
    std::string stream;
    for (const TFrame& f : frames) {
        std::string bytes, error;
        ASSERT_TRUE(EncodeFrame(f, bytes, error)) << error;
        EXPECT_EQ(bytes.size(), kHeaderSize + f.data.size());
        EXPECT_EQ(ReadU32(bytes, 28), f.data.size());
        stream += bytes;
    }
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        TReader reader;
        std::vector<TFrame> got;
        const auto drain = [&] {
            TFrame f;
            while (reader.Next(f) == TReader::Result::Frame) got.push_back(f);
        };
        reader.Append(reinterpret_cast<const std::uint8_t*>(stream.data()), cut);
        drain();
        reader.Append(reinterpret_cast<const std::uint8_t*>(stream.data() + cut),
                      stream.size() - cut);
        drain();
        ASSERT_EQ(got.size(), frames.size()) << cut;
        for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_TRUE(Same(got[i], frames[i])) << cut;
        EXPECT_EQ(reader.Buffered(), 0u);
    }
}

TEST(AgwpeFrames, AHugeDataLenIsRefusedBeforeAnythingIsKept) {
    std::string header(kHeaderSize, '\0');
    header[4] = 'D';
    for (const std::uint32_t len : {kMaxDataLen + 1, 0xFFFFFFFFu, 0xFFFFFFDCu}) {
        SCOPED_TRACE(len);
        for (int i = 0; i < 4; ++i)
            header[28 + static_cast<std::size_t>(i)] = static_cast<char>((len >> (8 * i)) & 0xFF);
        TReader reader;
        reader.Append(reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
        TFrame f;
        EXPECT_EQ(reader.Next(f), TReader::Result::TooLarge);
    }
    // A callsign field without its NUL is read within its ten bytes.
    std::string bytes, error;
    ASSERT_TRUE(EncodeFrame(Make('D', "", "", "x"), bytes, error));
    std::fill(bytes.begin() + 8, bytes.begin() + 28, 'A');
    TReader reader;
    reader.Append(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    TFrame f;
    ASSERT_EQ(reader.Next(f), TReader::Result::Frame);
    EXPECT_EQ(f.callFrom, std::string(10, 'A'));
    EXPECT_EQ(f.callTo, std::string(10, 'A'));
}

TEST(AgwpeFrames, WhatCannotGoToTheEngineIsRefused) {
    std::string bytes, error;
    EXPECT_FALSE(EncodeFrame(Make('C', "DL1TST-150", "X", ""), bytes, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(EncodeFrame(Make('C', "DL1TST-15", "X", ""), bytes, error));
    EXPECT_FALSE(CheckDigis(std::vector<std::string>(8, "DIGI")).empty());
    EXPECT_TRUE(CheckDigis(std::vector<std::string>(7, "DIGI")).empty());
    EXPECT_FALSE(CheckLogin(std::string(256, 'u'), "").empty());
    EXPECT_TRUE(CheckLogin(std::string(255, 'u'), std::string(255, 'p')).empty());

    const TFrame login = LoginFrame("user", "secret");
    ASSERT_EQ(login.data.size(), 510u);
    EXPECT_EQ(login.data.substr(0, 5), std::string("user\0", 5));
    EXPECT_EQ(login.data.substr(255, 7), std::string("secret\0", 7));

    const std::string v = DigiPayload({"DB0AA", "DB0BB-3"});
    ASSERT_EQ(v.size(), 71u);
    EXPECT_EQ(v[0], 2);
    EXPECT_EQ(v.substr(1, 10), std::string("DB0AA\0\0\0\0\0", 10));
    EXPECT_EQ(v.substr(11, 10), std::string("DB0BB-3\0\0\0", 10));
    EXPECT_EQ(v.substr(21), std::string(50, '\0'));
}

TEST(AgwpeTexts, PortLists) {
    struct Case {
        const char* name;
        std::string data;
        std::size_t max;
        std::vector<std::pair<int, std::string>> ports;
    };
    const Case cases[] = {
        {"two ports", "2;Port1 with A;Port2 with B;", 33, {{0, "A"}, {1, "B"}}},
        {"the count holds",
         std::string("1;Port1 first soundcard mono;Port2 INVALID CHANNEL;Port3 INVALID CHANNEL;\0",
                     74),
         33,
         {{0, "first soundcard mono"}}},
        {"empty items keep their number", "3;Port1 with A;;Port3 with C", 33, {{0, "A"}, {2, "C"}}},
        {"no count", "", 33, {}},
        {"garbage count", "x;Port1 with A;", 33, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<int, std::string>> got;
        for (const TPortItem& p : ParsePortList(c.data, c.max)) got.emplace_back(p.port, p.name);
        EXPECT_EQ(got, c.ports);
    }
    std::string many = "40;";
    for (int i = 1; i <= 40; ++i)
        many += "Port" + std::to_string(i) + " with P" + std::to_string(i) + ";";
    const auto ports = ParsePortList(many, 33);
    ASSERT_EQ(ports.size(), 33u);
    EXPECT_EQ(ports.back().name, "P33");
}

TEST(AgwpeTexts, MonitorFrames) {
    struct Case {
        const char* name;
        std::string data;
        bool ok;
        int port, typ, nr, ns, pid;
        const char* von;
        const char* an;
        const char* via;
        bool hoch, vorzeichen;
        std::string daten;
    };
    const Case cases[] = {
        {"documented form",
         " 1:Fm DL1AB To DB0XY Via DB0AA,DB0BB <I P R2 S1 pid=F0 Len=5 >[12:00:00]\rHallo\r", true,
         1, 1, 2, 1, 0xF0, "DL1AB", "DB0XY", "DB0AA DB0BB", true, true, "Hallo"},
        {"UI of the engine",
         std::string(
             " 1:Fm DWA-1 To CQ <UI pid=F0 Len=20 PF=0 >[23:59:55]\rUI frame from DWA-1\r\r\0", 75),
         true, 1, 10, 0, 0, 0xF0, "DWA-1", "CQ", "", true, false, "UI frame from DWA-1\r"},
        {"via digipeaters",
         " 1:Fm DWA-1 To CQ Via WIDE1-1,DWB* <UI pid=F0 Len=4 PF=0 >[23:59:58]\rTest\r", true, 1,
         10, 0, 0, 0xF0, "DWA-1", "CQ", "WIDE1-1 DWB*", true, false, "Test"},
        {"I frame of the engine, lines kept",
         " 1:Fm DWB-1 To DWA-1 <I S0 R2 pid=0xF0 Len=32 P=0 >[00:00:13]\rHi DWA-1, DWB-1 "
         "here.\rLine two.\r\r",
         true, 1, 1, 2, 0, 0xF0, "DWB-1", "DWA-1", "", true, false,
         "Hi DWA-1, DWB-1 here.\rLine two.\r"},
        {"SABME with poll", " 1:Fm DWA-1 To DWB-1 <SABME P=1 >[00:00:01]\r", true, 1, 5, 0, 0, 0,
         "DWA-1", "DWB-1", "", true, true, ""},
        {"UA with final", " 1:Fm DWB-1 To DWA-1 <UA F=1 >[00:00:03]\r", true, 1, 8, 0, 0, 0,
         "DWB-1", "DWA-1", "", false, true, ""},
        {"RR", " 1:Fm DWB-1 To DWA-1 <RR R2 F=0 >[00:00:09]\r", true, 1, 2, 2, 0, 0, "DWB-1",
         "DWA-1", "", false, false, ""},
        {"XID, not a kind of ours", " 1:Fm DWA-1 To DWB-1 <XID P=1 Len=27 >[00:00:04]\r\x82\x80\r",
         true, 1, 0, 0, 0, 0, "DWA-1", "DWB-1", "", true, true, ""},
        {"Len longer than what came", " 1:Fm A To B <UI Len=200 >[x]\rabc", true, 1, 10, 0, 0, 0xF0,
         "A", "B", "", true, false, "abc"},
        {"connect in the other engine's words", " 1:Fm TFKA To LABNOD <C C P>[14:58:51]\r", true, 1,
         5, 0, 0, 0, "TFKA", "LABNOD", "", true, true, ""},
        {"its response with final", " 1:Fm TFKA To LABNOD <RR R F R1>[14:58:51]\r", true, 1, 2, 1,
         0, 0, "TFKA", "LABNOD", "", false, true, ""},
        {"its I frame, no pid and no length", " 1:Fm TFKA To LABNOD <I C S0 R1>[14:58:55]\r?\r",
         true, 1, 1, 1, 0, 0xF0, "TFKA", "LABNOD", "", true, false, "?\r"},
        {"no time stamp", " 1:Fm A To B <UI Len=3 >\rabc", false, 0, 0, 0, 0, 0, "", "", "", false,
         false, ""},
        {"lower-case call", " 1:Fm a To B <UI Len=3 >[x]\rabc", false, 0, 0, 0, 0, 0, "", "", "",
         false, false, ""},
        {"nothing", "", false, 0, 0, 0, 0, 0, "", "", "", false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        channels::TMonitorFrame f;
        ASSERT_EQ(ParseMonitor(c.data, 4, f), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(f.Geraet, 4);
        EXPECT_EQ(f.Port, c.port);
        EXPECT_EQ(f.Typ, c.typ);
        EXPECT_EQ(f.NR, c.nr);
        EXPECT_EQ(f.NS, c.ns);
        EXPECT_EQ(f.PID, c.pid);
        EXPECT_EQ(f.Von, c.von);
        EXPECT_EQ(f.An, c.an);
        EXPECT_EQ(f.Via, c.via);
        EXPECT_EQ(f.Hoch, c.hoch);
        EXPECT_EQ(f.Vorzeichenform, c.vorzeichen);
        EXPECT_EQ(f.Daten, c.daten);
    }
}

TEST(AgwpeTexts, DisconnectReasonsNoticesAndCalls) {
    struct Case {
        const char* text;
        int reason;
    };
    for (const Case c : {Case{"*** DISCONNECTED From Station DWB-1\r", 0},
                         Case{"*** DISCONNECTED RETRYOUT With NOCALL\r", 1},
                         Case{"*** DWB-1 busy, disconnected", 2}, Case{"", 0}})
        EXPECT_EQ(DisconnectReason(c.text), c.reason) << c.text;
    EXPECT_TRUE(IsOutgoingNotice("*** CONNECTED With Station DWB-1\r"));
    EXPECT_FALSE(IsOutgoingNotice("*** CONNECTED To Station DWB-1\r"));
    EXPECT_FALSE(IsOutgoingNotice("short"));
    EXPECT_TRUE(SameCall("DL1TST-0", "dl1tst"));
    EXPECT_TRUE(SameCall("DL1TST-1", "DL1TST-1"));
    EXPECT_FALSE(SameCall("DL1TST-1", "DL1TST"));
    EXPECT_EQ(ReadU32(std::string("\x01\x02", 2)), 0u);
    EXPECT_EQ(ReadU32(std::string("\xD5\x07\x00\x00", 4)), 2005u);
}

TEST(AgwpeTexts, LinkStateBitsFromTheMonitor) {
    using channels::TMonitorFrame;
    struct Case {
        const char* name;
        int before;
        std::uint8_t typ;
        bool command, pollFinal, fromUs;
        int after;
    };
    const Case cases[] = {
        {"the remote is busy", -1, channels::kFrameRNR, false, false, false, 0x10},
        {"and ready again", 0x10, channels::kFrameRR, false, false, false, 0},
        {"we are busy", 0, channels::kFrameRNR, false, false, true, 0x08},
        {"a reject keeps our busy bit", 0x18, channels::kFrameREJ, false, false, false, 0x0E},
        {"our poll", 0, channels::kFrameRR, true, true, true, 7},
        {"answered", 7, channels::kFrameRR, false, true, false, 0},
        {"a frame reject", 0, channels::kFrameFRMR, false, true, false, 3},
        {"a new link starts clean", 0x13, channels::kFrameSABM, true, true, true, 0},
        {"UI frames change nothing", 0x10, channels::kFrameUI, true, false, false, 0x10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMonitorFrame f;
        f.Typ = c.typ;
        f.Hoch = c.command;
        f.Vorzeichenform = c.pollFinal;
        EXPECT_EQ(NextLinkFlags(c.before, f, c.fromUs), c.after);
    }
    EXPECT_EQ(MaxFrameOfPort(std::string("\x00\x01\x19\x04\xc8\x04\x07\x00\x01\x00\x00\x00", 12)),
              7);
    EXPECT_EQ(MaxFrameOfPort("short"), -1);
}

// ---- raw frames -----------------------------------------------------------------------------

namespace raw {

using test::ReadAgwpeFixture;

bool IsText(char kind) {
    return kind == 'I' || kind == 'S' || kind == 'T' || kind == 'U';
}

std::string Header(const channels::TMonitorFrame& f) {
    return channels::FormatMonitorFrame(f, 0).header;
}

// Every raw frame both engines sent reads as the text frame sent with it says,
// in the header form the hostmode monitor shows.
TEST(AgwpeRawFrames, EveryRecordedFrameReadsAsItsTextTwin) {
    const auto recorded = ReadAgwpeFixture("agwpe-monitor-two-engines.txt");
    ASSERT_FALSE(recorded.empty());
    std::vector<std::string> headers;
    ax25::TDecoder decoder;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        const TFrame& k = recorded[i].frame;
        if (!recorded[i].fromEngine || k.kind != 'K') continue;
        SCOPED_TRACE(i);
        channels::TMonitorFrame fromRaw;
        ASSERT_GE(k.data.size(), 2u);
        ASSERT_TRUE(decoder.Decode(std::string_view(k.data).substr(1), 3, k.port + 1, fromRaw));
        headers.push_back(Header(fromRaw) + fromRaw.Daten);
        // One engine sends the text after the raw frame, the other before it:
        // the twin is the nearer in time.
        const TFrame* twin = nullptr;
        double distance = 1e9;
        for (std::size_t j : {i + 1, i - 1}) {
            if (j >= recorded.size() || recorded[j].station != recorded[i].station ||
                !IsText(recorded[j].frame.kind))
                continue;
            const double d = std::abs(recorded[j].seconds - recorded[i].seconds);
            if (d < distance) {
                distance = d;
                twin = &recorded[j].frame;
            }
        }
        ASSERT_NE(twin, nullptr);
        channels::TMonitorFrame fromText;
        ASSERT_TRUE(ParseMonitor(twin->data, 3, fromText));
        EXPECT_EQ(Header(fromRaw), Header(fromText));
        EXPECT_EQ(fromRaw.Daten, fromText.Daten);
        EXPECT_EQ(fromRaw.PID, fromText.PID);
        EXPECT_EQ(fromRaw.Port, fromText.Port);
    }
    const std::vector<std::string> expected = {
        "[DWB-1 > CQ UI^]UI text from B\r",
        "[DWB-1 > CQ v WIDE1-1 UI^]UI via a digipeater\r",
        "[DWB-1 > DWA-1 SABM+]",
        "[DWB-1 > DWA-1 ???+]",
        "[DWB-1 > DWA-1 I00^]Text from B\r",
        "[DWB-1 > DWA-1 RR1v]",
        "[DWB-1 > DWA-1 DISC+]",
        "[TFKA > LABNOD SABM+]",
        "[TFKA > LABNOD RR1-]",
        "[TFKA > LABNOD I10^]?\r",
        "[TFKA > LABNOD RR2-]",
        "[TFKA > LABNOD DISC+]",
    };
    EXPECT_EQ(headers, expected);
}

TEST(AgwpeRawFrames, BrokenFramesAreRefused) {
    // DWB-1 > DWA-1, then the control field and what follows.
    const std::string addresses("\x88\xae\x82\x40\x40\x40\x62\x88\xae\x84\x40\x40\x40\xe3", 14);
    std::string nine;
    for (int i = 0; i < 9; ++i) nine += std::string("\x88\xae\x84\x40\x40\x40\x62", 7);
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"nothing", ""},
        {"one address", addresses.substr(0, 6) + "\x63" + "\x03\xf0"},
        {"addresses without control", addresses},
        {"a lower-case letter", std::string("\xc2") + addresses.substr(1) + "\x03\xf0x"},
        {"a blank inside the call",
         std::string("\x88\x40\x82\x40\x40\x40\x62", 7) + addresses.substr(7) + "\x03\xf0x"},
        {"more than eight digipeaters", addresses.substr(0, 13) + "\x62" + nine + "\x03\xf0"},
        {"UI without PID", addresses + "\x03"},
        {"I without PID", addresses + "\x20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ax25::TDecoder decoder;
        channels::TMonitorFrame f;
        EXPECT_FALSE(decoder.Decode(c.bytes, 1, 1, f));
    }
}

TEST(AgwpeRawFrames, TheLinkSetUpDecidesTheControlFieldSize) {
    const std::string ab("\x88\xae\x82\x40\x40\x40\xe2\x88\xae\x84\x40\x40\x40\x63", 14);
    ax25::TDecoder decoder;
    channels::TMonitorFrame f;
    // Seen alone, "02 04 f0" is an I frame with a one-byte control field.
    ASSERT_TRUE(decoder.Decode(ab + std::string("\x02\xf0hi", 4), 1, 1, f));
    EXPECT_EQ(Header(f), "[DWB-1 > DWA-1 I01^]");
    ASSERT_TRUE(decoder.Decode(ab + "\x7f", 1, 1, f));  // SABME
    ASSERT_TRUE(decoder.Decode(ab + std::string("\x12\x0a\xf0hi", 5), 1, 1, f));
    EXPECT_EQ(Header(f), "[DWB-1 > DWA-1 I59^]");
    EXPECT_EQ(f.Daten, "hi");
    ASSERT_TRUE(decoder.Decode(ab + "\x3f", 1, 1, f));  // SABM: back to one byte
    ASSERT_TRUE(decoder.Decode(ab + std::string("\x02\xf0hi", 4), 1, 1, f));
    EXPECT_EQ(Header(f), "[DWB-1 > DWA-1 I01^]");
}

TEST(AgwpeFrames, UIFramesWithAndWithoutDigipeaters) {
    TFrame f;
    ASSERT_EQ(UIFrame(1, "DL1TST", {"CQ"}, "Hallo\r", f), "");
    EXPECT_EQ(f.kind, 'M');
    EXPECT_EQ(f.port, 1);
    EXPECT_EQ(f.pid, 0xF0);
    EXPECT_EQ(f.callFrom, "DL1TST");
    EXPECT_EQ(f.callTo, "CQ");
    EXPECT_EQ(f.data, "Hallo\r");

    ASSERT_EQ(UIFrame(0, "DL1TST", {"CQ", "DB0AA", "WIDE2-2"}, "Hi", f), "");
    EXPECT_EQ(f.kind, 'V');
    EXPECT_EQ(f.data, std::string("\x02"
                                  "DB0AA\0\0\0\0\0"
                                  "WIDE2-2\0\0\0"
                                  "Hi",
                                  23));

    EXPECT_NE(UIFrame(0, "DL1TST", {}, "x", f), "");
    EXPECT_NE(UIFrame(0, "DL1TST-150", {"CQ"}, "x", f), "");
    EXPECT_NE(UIFrame(0, "DL1TST", std::vector<std::string>(9, "CQ"), "x", f), "");
}

}  // namespace raw

}  // namespace
}  // namespace tarvo::devices::agwpe
