// CRC-16 (AutoBIN form), CRC-32 and MD5 against known values, whole and in pieces.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "connection/CrcU.h"
#include "connection/MD5U.h"

namespace tarvo::connection {
namespace {

using namespace std::string_literals;

std::string AllBytes() {
    std::string s(256, '\0');
    for (int i = 0; i < 256; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(i);
    return s;
}

// A fixed pseudo-random stream; the expected values below were computed for it
// independently of this code.
std::string Stream(std::size_t n) {
    std::string s(n, '\0');
    std::uint32_t x = 12345;
    for (auto& ch : s) {
        x = x * 1103515245u + 12345u;
        ch = static_cast<char>(x >> 24);
    }
    return s;
}

const std::size_t kBigSize = 3 * 1024 * 1024 + 7;
const std::uint16_t kBigCrc16 = 0xE0D6;
const std::uint32_t kBigCrc32 = 0xF7292931;
const char* const kBigMd5 = "D70916BE5AA0CC8F6604A8146273E0F8";

const std::string& Big() {
    static const std::string big = Stream(kBigSize);
    return big;
}

TEST(Crc16Test, KnownValues) {
    struct Case {
        std::string input;
        std::uint16_t crc;
    };
    const std::vector<Case> cases = {
        {"", 0x0000},
        {"\0"s, 0x0000},
        {"\x01", 0x0001},
        {"abc", 0x1EE4},
        {"123456789", 0xBEEF},
        // Two zero bytes appended give the CRC-16/XMODEM of the message: the
        // byte enters after the shift, so the plain message must not give it.
        {"123456789\0\0"s, 0x31C3},
        // Bytes above 0x7F must not be sign-extended.
        {"\xFF", 0x00FF},
        {"\x80", 0x0080},
        {"\xFF\xFE\x80\x7F", 0x8D51},
        {AllBytes(), 0x33FC},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        EXPECT_EQ(Crc16(c.input), c.crc);
        std::uint16_t running = kCrc16Start;
        Crc16Update(reinterpret_cast<const std::uint8_t*>(c.input.data()), c.input.size(), running);
        EXPECT_EQ(running, c.crc);
    }
}

TEST(Crc32Test, KnownValues) {
    struct Case {
        std::string input;
        std::uint32_t crc;
    };
    const std::vector<Case> cases = {
        {"", 0x00000000},          {"a", 0xE8B7BE43},
        {"123456789", 0xCBF43926}, {"The quick brown fox jumps over the lazy dog", 0x414FA339},
        {"\xFF", 0xFF000000},      {"\x80", 0x3FBA6CAD},
        {AllBytes(), 0x29058C73},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        EXPECT_EQ(Crc32(c.input), c.crc);
        // The split-file code goes byte by byte with the step.
        std::uint32_t running = kCrc32Start;
        for (const char ch : c.input) running = Crc32Step(static_cast<std::uint8_t>(ch), running);
        EXPECT_EQ(Crc32Final(running), c.crc);
    }
}

TEST(Md5Test, KnownDigests) {
    struct Case {
        std::string input;
        std::string hex;
    };
    const std::vector<Case> cases = {
        // The test suite of RFC 1321.
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
        // Around the padding: up to 55 bytes the length fits in the last block,
        // from 56 on it needs one more.
        {std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
        {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
        {std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
        {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
        {std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
        {std::string(119, 'a'), "8A7BD0732ED6A28CE75F6DABC90E1613"},
        {std::string(120, 'a'), "5F61C0CCAD4CAC44C75FF505E1F1E537"},
        {std::string(1000000, 'a'), "7707D6AE4E027C70EEA2A935C2296F21"},
        {AllBytes(), "E2C865DB4162BED963BFAA9EF6AC18F0"},
    };
    // One context for all rows: init must leave nothing of the previous digest.
    MD5Context context;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 80));
        EXPECT_EQ(MD5Hex(c.input), c.hex);
        MD5Init(context);
        MD5Update(context, c.input);
        EXPECT_EQ(DigestToHex(MD5Final(context)), c.hex);
    }
}

// Each pattern of piece sizes repeats until the input is used up.
TEST(ChecksumTest, PiecesGiveTheWholeResult) {
    const std::vector<std::vector<std::size_t>> patterns = {
        {1},   {3, 61}, {55, 1, 8}, {63, 1},    {64},        {65},
        {127}, {0, 17}, {4099},     {16384, 1}, {65536, 13}, {kBigSize},
    };
    const std::string& big = Big();
    for (const auto& pattern : patterns) {
        SCOPED_TRACE(testing::PrintToString(pattern));
        std::uint16_t crc16 = kCrc16Start;
        std::uint32_t crc32 = kCrc32Start;
        MD5Context md5;
        std::size_t at = 0;
        for (std::size_t i = 0; at < big.size(); ++i) {
            const std::string_view piece =
                std::string_view(big).substr(at, pattern[i % pattern.size()]);
            Crc16Update(piece, crc16);
            Crc32Update(piece, crc32);
            MD5Update(md5, piece);
            at += piece.size();
        }
        EXPECT_EQ(crc16, kBigCrc16);
        EXPECT_EQ(Crc32Final(crc32), kBigCrc32);
        EXPECT_EQ(DigestToHex(MD5Final(md5)), kBigMd5);
    }
    EXPECT_EQ(Crc16(big), kBigCrc16);
    EXPECT_EQ(Crc32(big), kBigCrc32);
    EXPECT_EQ(MD5Hex(big), kBigMd5);
}

// Two pieces split at every position across the block boundaries.
TEST(Md5Test, EverySplitPointGivesTheWholeDigest) {
    const std::string data = AllBytes();
    const MD5Digest whole = MD5Of(data);
    for (std::size_t split = 0; split <= data.size(); ++split) {
        SCOPED_TRACE(split);
        MD5Context context;
        MD5Update(context, std::string_view(data).substr(0, split));
        MD5Update(context, std::string_view(data).substr(split));
        EXPECT_EQ(MD5Final(context), whole);
    }
}

TEST(ChecksumTest, HexForms) {
    struct Case {
        std::string got, want;
    };
    const std::vector<Case> cases = {
        {Crc16Hex(0x0000), "0000"},
        {Crc16Hex(0x00AF), "00AF"},
        {Crc16Hex(0xBEEF), "BEEF"},
        {Crc32Hex(0x00000000), "00000000"},
        {Crc32Hex(0x0000ABCD), "0000ABCD"},
        {Crc32Hex(0xCBF43926), "CBF43926"},
        {MD5Hex(""), "D41D8CD98F00B204E9800998ECF8427E"},
        // The answer to an MD5 login challenge: challenge, then password.
        {DigestToHex(MD5Of("1234567890geheim"), HexCase::Lower),
         "b694728762c92e3e6362a1dc20cc2200"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Md5Test, HexToDigestReadsBothCases) {
    const MD5Digest digest = MD5Of("message digest");
    for (const std::string hex :
         {"F96B697D7CB7938D525A2F31AAF161D0", "f96b697d7cb7938d525a2f31aaf161d0",
          "f96B697d7Cb7938D525a2F31aAF161d0"}) {
        SCOPED_TRACE(hex);
        const auto read = HexToDigest(hex);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, digest);
    }
    const MD5Digest edges = {0x00, 0x01, 0x0F, 0x10, 0x7F, 0x80, 0xF0, 0xFF,
                             0x9A, 0xA9, 0x09, 0x90, 0xAB, 0xCD, 0xEF, 0xFE};
    EXPECT_EQ(HexToDigest(DigestToHex(edges)), edges);
    EXPECT_EQ(HexToDigest(DigestToHex(edges, HexCase::Lower)), edges);
}

TEST(Md5Test, HexToDigestRefusesWhatIsNotADigest) {
    const std::string good = "F96B697D7CB7938D525A2F31AAF161D0";
    const std::vector<std::string> bad = {
        "",
        good.substr(0, 31),
        good + "0",
        " " + good.substr(1),
        good.substr(0, 31) + "\r",
        "G" + good.substr(1),
        good.substr(0, 16) + "g" + good.substr(17),
        "0x" + good.substr(2),
        "-1" + good.substr(2),
        good.substr(0, 10) + "\0"s + good.substr(11),
    };
    for (const auto& hex : bad) {
        SCOPED_TRACE(testing::PrintToString(hex));
        EXPECT_FALSE(HexToDigest(hex).has_value());
    }
}

}  // namespace
}  // namespace tarvo::connection
