#pragma once

// Conversions between the 8-bit code pages that remote stations use and UTF-8.
// Windows 1252 is what most peers send; DOS 850 still turns up in old mailboxes.
// Characters a target cannot hold become '?'.

#include <string>
#include <string_view>

namespace tarvo::platform {

// One byte to its Unicode scalar value. Every byte maps: the five bytes that 1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value, as Windows does, so 1252 text survives a round trip through UTF-8.
char32_t Cp1252ToUnicode(unsigned char byte);
char32_t Cp850ToUnicode(unsigned char byte);

// A Unicode scalar value to its byte, or -1 when the page has no such character.
int UnicodeToCp1252(char32_t c);
int UnicodeToCp850(char32_t c);

// Whole strings. Input UTF-8 is decoded strictly: every byte that does not start a
// complete, shortest-form sequence of a scalar value becomes one '?'.
std::string Cp1252ToUtf8(std::string_view bytes);
std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp850ToUtf8(std::string_view bytes);
std::string Utf8ToCp850(std::string_view utf8);
std::string Cp1252ToCp850(std::string_view bytes);
std::string Cp850ToCp1252(std::string_view bytes);

}  // namespace tarvo::platform
