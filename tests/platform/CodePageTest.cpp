#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <iconv.h>

using namespace tarvo::platform;

namespace {
// What glibc makes of one byte of the page, as UTF-8; empty when it has none.
std::string Iconv(const char* page, unsigned char byte) {
    iconv_t cd = iconv_open("UTF-8", page);
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
    char in[1] = {static_cast<char>(byte)};
    char out[8];
    char* ip = in;
    char* op = out;
    size_t il = 1, ol = sizeof out;
    const size_t rc = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    return rc == static_cast<size_t>(-1) ? std::string() : std::string(out, op);
}
}  // namespace

TEST(CodePage, TablesAgreeWithTheSystemForEveryByte) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string sys1252 = Iconv("CP1252", static_cast<unsigned char>(b));
        if (!sys1252.empty()) {
            EXPECT_EQ(Cp1252ToUtf8(one), sys1252) << "1252 byte " << b;
        }
        EXPECT_EQ(Cp850ToUtf8(one), Iconv("CP850", static_cast<unsigned char>(b)))
            << "850 byte " << b;
    }
}

TEST(CodePage, EveryByteOfBothPagesRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);  // the five holes included
    EXPECT_EQ(Utf8ToCp850(Cp850ToUtf8(all)), all);
}

TEST(CodePage, BetweenThePagesAndUnmappableCharacters) {
    EXPECT_EQ(Cp1252ToCp850("\xC4\xD6\xDC\xE4\xF6\xFC\xDF"),
              "\x8E\x99\x9A\x84\x94\x81\xE1");  // German umlauts
    EXPECT_EQ(Cp850ToCp1252("\x8E\x99\x9A\x84\x94\x81\xE1"), "\xC4\xD6\xDC\xE4\xF6\xFC\xDF");
    EXPECT_EQ(Cp1252ToCp850("\x80"), "?");  // the euro sign is not in 850
    EXPECT_EQ(Cp850ToCp1252("\xB3"), "?");  // nor a box line in 1252
    EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC \xE2\x94\x82 \xF0\x9F\x98\x80"), "\x80 ? ?");
    EXPECT_EQ(UnicodeToCp1252(0x20AC), 0x80);
    EXPECT_EQ(UnicodeToCp850(0x20AC), -1);
}

TEST(CodePage, BrokenUtf8NeverReadsPastTheEnd) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"\xC3", "?"},            // cut after the lead byte
        {"a\xE2\x82", "a??"},     // cut in a three-byte sequence
        {"\xC0\xAF", "??"},       // overlong
        {"\xED\xA0\x80", "???"},  // a surrogate
        {"\xFF", "?"},           {"\xC3\xA4", "\xE4"},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1252(c.in), c.out);
}
