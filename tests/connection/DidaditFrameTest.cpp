// Blocks on the wire: golden frames, escapes, what a receiver rejects, the
// splitter over data in any cut, error texts and the payload helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connection/CrcU.h"
#include "connection/MD5U.h"
#include "connection/VerbindungDidaditU.h"

namespace {

using namespace tarvo::connection;

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

std::string Hex(std::string_view s) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (!out.empty()) out += ' ';
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

const MD5Digest kNoIdentity{};

TEST(DidaditFrame, GoldenFrames) {
    struct Case {
        const char* name;
        std::uint16_t type;
        MD5Digest identity;
        std::string payload;
        const char* hex;
    };
    const std::string dataBytes = Bytes({0xC0, 0xDB});
    const Case cases[] = {
        {"ABORT", kDidaditAbort, kNoIdentity, "", "C0 0B 00 00 0B C0"},
        {"ECHOREQ hi", kDidaditEchoReq, kNoIdentity, "hi", "C0 09 00 68 69 F1 D2 C0"},
        {"FIN of the empty file", kDidaditFin, MD5Of(""), "",
         "C0 05 00 D4 1D 8C D9 8F 00 B2 04 E9 80 09 98 EC F8 42 7E F6 91 C0"},
        // The identity of these two bytes holds a 0xC0 itself.
        {"DATA with C0 DB", kDidaditData, MD5Of(dataBytes), DidaditDataPayload(0, dataBytes),
         "C0 04 00 22 4C DB DC 5C BD 4D 5C 5D DE C8 9B 80 73 B9 0F B2 00 00 00 00 02 00 DB DC "
         "DB DD C3 6B C0"},
    };
    for (const Case& c : cases) {
        const std::string frame = EncodeDidaditBlock(c.type, c.identity, c.payload);
        EXPECT_EQ(Hex(frame), c.hex) << c.name;
        const auto block = DecodeDidaditBlock(std::string_view(frame).substr(1, frame.size() - 2));
        ASSERT_TRUE(block) << c.name;
        EXPECT_EQ(block->type, c.type) << c.name;
        EXPECT_EQ(block->identity, BlockHasIdentity(c.type) ? c.identity : kNoIdentity) << c.name;
        EXPECT_EQ(block->payload, c.payload) << c.name;
    }
}

TEST(DidaditFrame, EveryByteValueRoundTripsAndC0OnlyDelimits) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    const MD5Digest identity = MD5Of(all);
    for (std::uint16_t type : {kDidaditInfo, kDidaditData, kDidaditChat}) {
        const std::string frame = EncodeDidaditBlock(type, identity, all + all);
        ASSERT_GE(frame.size(), 2u);
        EXPECT_EQ(frame.front(), kFrameEnd);
        EXPECT_EQ(frame.back(), kFrameEnd);
        EXPECT_EQ(frame.find(kFrameEnd, 1), frame.size() - 1) << type;
        TDidaditSplitter splitter;
        splitter.Append(frame);
        const auto body = splitter.Next();
        ASSERT_TRUE(body);
        const auto block = DecodeDidaditBlock(*body);
        ASSERT_TRUE(block) << type;
        EXPECT_EQ(block->payload, all + all);
        EXPECT_FALSE(splitter.Next());
    }
}

TEST(DidaditFrame, RejectTable) {
    const std::string good = EncodeDidaditBlock(kDidaditChat, kNoIdentity, "text");
    const std::string body = good.substr(1, good.size() - 2);
    std::string badCrc = body;
    badCrc[2] ^= 1;
    // A right CRC over whatever raw bytes (none of them needing an escape).
    auto withCrc = [](std::string raw) {
        PutLe16(raw, Crc16(raw));
        return raw;
    };
    struct Case {
        const char* name;
        std::string body;
    };
    const Case cases[] = {
        {"wrong CRC", badCrc},
        {"lone DB at the end", body + Bytes({0xDB})},
        {"DB C1", body.substr(0, 2) + Bytes({0xDB, 0xC1}) + body.substr(2)},
        {"DB DB", Bytes({0xDB, 0xDB}) + body},
        {"three bytes", body.substr(0, 3)},
        {"four bytes that unescape to two", Bytes({0xDB, 0xDC, 0xDB, 0xDD})},
        {"FIN without room for the identity", withCrc(Bytes({5, 0}))},
        {"ERR with 15 identity bytes", withCrc(Bytes({3, 0}) + std::string(15, 'x'))},
    };
    for (const Case& c : cases) EXPECT_FALSE(DecodeDidaditBlock(c.body)) << c.name;
    // The shortest legal bodies pass.
    EXPECT_TRUE(DecodeDidaditBlock(body));
    EXPECT_TRUE(DecodeDidaditBlock(withCrc(Bytes({5, 0}) + std::string(16, 'x'))));
    EXPECT_TRUE(DecodeDidaditBlock(withCrc(Bytes({11, 0}))));
}

// A stream of frames with noise between them, as the splitter sees it.
std::string SampleStream(std::vector<std::string>& payloads) {
    std::string stream = "#OK#\r";
    for (int i = 0; i < 20; ++i) {
        std::string payload(static_cast<std::size_t>(i * 37), static_cast<char>(0xC0 + i % 3));
        payload += "block " + std::to_string(i);
        payloads.push_back(payload);
        stream += EncodeDidaditBlock(kDidaditData, MD5Of("id"), payload);
        if (i % 4 == 0) stream += Bytes({0xC0, 0xC0});  // empty bodies
    }
    return stream;
}

std::vector<std::string> Decoded(TDidaditSplitter& splitter, int& failures) {
    std::vector<std::string> out;
    while (auto body = splitter.Next()) {
        if (auto block = DecodeDidaditBlock(*body))
            out.push_back(block->payload);
        else
            ++failures;
    }
    return out;
}

TEST(DidaditSplitter, OneByteAtATimeGivesTheSameBlocks) {
    std::vector<std::string> payloads;
    const std::string stream = SampleStream(payloads);
    TDidaditSplitter splitter;
    std::vector<std::string> got;
    int failures = 0;
    for (char c : stream) {
        splitter.Append(std::string_view(&c, 1));
        for (auto& p : Decoded(splitter, failures)) got.push_back(p);
    }
    EXPECT_EQ(got, payloads);
    EXPECT_EQ(failures, 1) << "only the text before the first frame";
    EXPECT_EQ(splitter.Pending(), 0u);
}

TEST(DidaditSplitter, AnOverlongRunIsDroppedAndTheNextFrameFound) {
    TDidaditSplitter splitter;
    const std::string noise(kMaxFrameBody + 10, 'x');
    // Fed in pieces, the buffer never holds much more than one frame's bound.
    for (std::size_t at = 0; at < noise.size(); at += 4096) {
        splitter.Append(std::string_view(noise).substr(at, 4096));
        EXPECT_FALSE(splitter.Next());
        EXPECT_LE(splitter.Pending(), kMaxFrameBody + 4096);
    }
    splitter.Append(std::string(1000, 'y'));  // still the same run
    EXPECT_FALSE(splitter.Next());
    const std::string frame = EncodeDidaditBlock(kDidaditChat, kNoIdentity, "after");
    splitter.Append(frame);
    int failures = 0;
    const auto got = Decoded(splitter, failures);
    EXPECT_EQ(got, std::vector<std::string>{"after"});
    EXPECT_EQ(splitter.Overruns(), 1u);
    // The same run arriving in one piece is dropped too.
    TDidaditSplitter whole;
    whole.Append(noise + frame);
    failures = 0;
    EXPECT_EQ(Decoded(whole, failures), std::vector<std::string>{"after"});
    EXPECT_EQ(whole.Overruns(), 1u);
}

TEST(DidaditSplitter, TheRestIsHandedBack) {
    TDidaditSplitter splitter;
    splitter.Append(EncodeDidaditBlock(kDidaditChat, kNoIdentity, "a") + "bye\r");
    ASSERT_TRUE(splitter.Next());
    EXPECT_FALSE(splitter.Next());
    EXPECT_EQ(splitter.TakeRest(), "bye\r");
    EXPECT_EQ(splitter.Pending(), 0u);
}

TEST(DidaditErrors, Texts) {
    struct Case {
        int code;
        TDidaditErrorArgs args;
        const char* text;
    };
    const Case cases[] = {
        {101,
         {std::int64_t{0}, std::int64_t{0}},
         "101 REQ block with data out of range (offset 0, length 0)"},
        {100, {std::string("START")}, "100 Unexpected block type (START)"},
        {150, {}, "150"},
        {150, {std::int64_t{8}}, "150 Block type not implemented (8)"},
        {150, {std::string("x")}, "150"},
        {101, {std::int64_t{1}}, "101"},
        {300, {}, "300 Could not create file"},
        {300, {std::int64_t{1}}, "300"},
        {7, {}, "007 Unknown Error"},
    };
    for (const Case& c : cases) EXPECT_EQ(DidaditErrorString(c.code, c.args), c.text) << c.code;

    struct Warning {
        const char* text;
        bool warning;
    };
    const Warning warnings[] = {{"150 Block type not implemented (8)", true},
                                {"300 Could not create file", false},
                                {"199", true},
                                {"249 x", false},
                                {"x50 no number", false},
                                {"", false},
                                {"99999999999999999999 overflow", false}};
    for (const Warning& w : warnings) EXPECT_EQ(DidaditErrIsWarning(w.text), w.warning) << w.text;
}

TEST(DidaditPayloads, LinesDataAndRequests) {
    const auto lines = ParseDidaditLines("FILENAME=a b.txt\rsize=12\n\rjunk\r=x\rMD5=AB");
    const std::vector<std::pair<std::string, std::string>> expected{
        {"FILENAME", "a b.txt"}, {"SIZE", "12"}, {"MD5", "AB"}};
    EXPECT_EQ(lines, expected);

    EXPECT_EQ(ParseDidaditNumber(" 42 "), 42);
    EXPECT_EQ(ParseDidaditNumber("-1"), -1);
    EXPECT_FALSE(ParseDidaditNumber("12a"));
    EXPECT_FALSE(ParseDidaditNumber("-"));
    EXPECT_FALSE(ParseDidaditNumber("99999999999999999999"));

    const std::string data = DidaditDataPayload(-2, "abc");
    const auto parsed = ParseDidaditData(data);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->offset, -2);
    EXPECT_EQ(parsed->length, 3);
    EXPECT_EQ(parsed->bytes, "abc");
    EXPECT_FALSE(ParseDidaditData(data.substr(0, 8))) << "shorter than its length";
    EXPECT_FALSE(ParseDidaditData(data.substr(0, 5)));
    EXPECT_TRUE(ParseDidaditData(data + "extra")) << "bytes after the length are ignored";

    const std::vector<TDidaditRequest> requests{{0, 10}, {-1, 0xFFFFFFFFll}, {1750, 5}};
    EXPECT_EQ(ParseDidaditRequests(DidaditRequestPayload(requests)), requests);
    EXPECT_FALSE(ParseDidaditRequests(std::string(12, '\0')));
    EXPECT_EQ(ParseDidaditRequests("")->size(), 0u);
}

}  // namespace
