// Range indexes of incomplete files as they are found on disk: whatever the
// text, the ranges read are sorted, apart, inside the file, and the resume
// offset is the end of the last one.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "connection/VerbindungDidaditReceiveU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo::connection;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TDidaditReceiveBlockList list;
    list.SetFileSize(1'000'000);
    const std::int64_t resume = list.ReadIndexText(input);
    const auto ranges = list.Ranges();
    std::int64_t total = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const auto [first, last] = ranges[i];
        if (first < 0 || last < first || last >= list.FileSize()) std::abort();
        if (i > 0 && first <= ranges[i - 1].second + 1) std::abort();
        total += last - first + 1;
    }
    if (total != list.Total()) std::abort();
    if (resume != (ranges.empty() ? 0 : ranges.back().second + 1)) std::abort();
    // What is written reads back the same.
    TDidaditReceiveBlockList again;
    again.SetFileSize(list.FileSize());
    if (again.ReadIndexText(list.IndexText()) != resume || again.Ranges() != ranges) std::abort();
    return 0;
}
