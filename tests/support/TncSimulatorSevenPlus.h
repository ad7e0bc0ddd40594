// The simulated mailbox's side of a 7Plus download: one part of a file as the
// text a mailbox sends, from its start line " go_7+. " in the usual columns
// over lines of printable characters to its stop line. The lines only look
// like encoded data; the terminal stores them and decodes nothing.
#pragma once

#include <string>
#include <string_view>

namespace tarvo::test {

// Part part (1-based) of count of the data, named name (at most 12 characters
// are announced). Each line ends with CR.
std::string SimSevenPlusPart(std::string_view name, std::string_view data, int part, int count);

}  // namespace tarvo::test
