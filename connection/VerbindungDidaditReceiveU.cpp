#include "connection/VerbindungDidaditReceiveU.h"

#include <algorithm>
#include <unordered_map>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "platform/Files.h"

namespace tarvo::connection {

namespace {

constexpr const char* kBlockListUnit = "VerbindungDidaditReceiveBlockListU";
constexpr const char* kBlockListClass = "TDidaditReceiveBlockList";

std::string IndexKey(std::size_t i) {
    std::string key = std::to_string(i);
    if (key.size() < 4) key.insert(0, 4 - key.size(), '0');
    return key;
}

// The keys and values of one section of an INI text (names without case,
// blanks around them dropped; CR LF or LF line ends; the first value of a key wins).
std::unordered_map<std::string, std::string> IniSection(std::string_view text,
                                                        std::string_view section) {
    std::unordered_map<std::string, std::string> values;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    bool inside = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = core::TrimControls(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inside = close != std::string_view::npos &&
                     core::EqualNoCase(core::TrimControls(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inside) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        values.emplace(core::AsciiUpper(core::TrimControls(line.substr(0, eq))),
                       std::string(core::TrimControls(line.substr(eq + 1))));
    }
    return values;
}

}  // namespace

std::filesystem::path DidaditDataFile(const std::filesystem::path& folder, const MD5Digest& id) {
    return folder / (DigestToHex(id) + ".tvf");
}

std::filesystem::path DidaditIndexFile(const std::filesystem::path& folder, const MD5Digest& id) {
    return folder / (DigestToHex(id) + ".tvi");
}

// --- Block list ------------------------------------------------------------------

void TDidaditReceiveBlockList::Clear() {
    ranges_.clear();
    total_ = 0;
}

void TDidaditReceiveBlockList::OutputList() const {
    for (const auto& [first, last] : ranges_)
        core::DebOutObjFmt(kBlockListClass, "OutputList", "von %lld bis %lld (%lld)",
                           static_cast<long long>(first), static_cast<long long>(last),
                           static_cast<long long>(last - first + 1));
}

std::int64_t TDidaditReceiveBlockList::Add(std::int64_t offset, std::int64_t length) {
    TARVO_ASSERT(offset >= 0 && length >= 1, kBlockListUnit);
    std::int64_t first = offset;
    std::int64_t last = offset + length - 1;
    auto it = ranges_.upper_bound(first);
    if (it != ranges_.begin()) {
        const auto before = std::prev(it);
        if (before->second + 1 >= first) {
            first = before->first;
            last = std::max(last, before->second);
            total_ -= before->second - before->first + 1;
            it = ranges_.erase(before);
        }
    }
    while (it != ranges_.end() && it->first <= last + 1) {
        last = std::max(last, it->second);
        total_ -= it->second - it->first + 1;
        it = ranges_.erase(it);
    }
    ranges_.emplace_hint(it, first, last);
    total_ += last - first + 1;
    return total_;
}

std::vector<TDidaditRequest> TDidaditReceiveBlockList::GetRequests(std::size_t maxCount) const {
    std::vector<TDidaditRequest> gaps;
    auto emit = [&](std::int64_t offset, std::int64_t length) {
        core::DebOutObjFmt(kBlockListClass, "GetRequests",
                           "L\xFC"
                           "cke bei %lld, L\xE4nge %lld",
                           static_cast<long long>(offset), static_cast<long long>(length));
        gaps.push_back({offset, length});
    };
    std::int64_t cursor = 0;
    for (const auto& [first, last] : ranges_) {
        if (gaps.size() >= maxCount) return gaps;
        if (first > cursor) emit(cursor, first - cursor);
        cursor = last + 1;
    }
    if (gaps.size() < maxCount && cursor < fileSize_) emit(cursor, fileSize_ - cursor);
    return gaps;
}

std::vector<TDidaditReceiveBlockList::TRange> TDidaditReceiveBlockList::Ranges() const {
    return {ranges_.begin(), ranges_.end()};
}

std::string TDidaditReceiveBlockList::IndexText() const {
    std::string text = "[Blocks]\r\n";
    std::size_t i = 0;
    for (const auto& [first, last] : ranges_)
        text += IndexKey(i++) + "=" + std::to_string(first) + "," + std::to_string(last) + "\r\n";
    return text;
}

std::error_code TDidaditReceiveBlockList::WriteIndexFile(const std::filesystem::path& index) const {
    const bool whole = ranges_.size() == 1 && ranges_.begin()->first == 0 &&
                       ranges_.begin()->second == fileSize_ - 1;
    if (ranges_.empty() || whole) {
        std::error_code ec;
        std::filesystem::remove(index, ec);
        return ec;
    }
    return platform::WriteFileAtomic(index, IndexText());
}

std::int64_t TDidaditReceiveBlockList::ReadIndexText(std::string_view text) {
    Clear();
    const auto values = IniSection(text, "Blocks");
    std::int64_t resume = 0;
    for (std::size_t i = 0;; ++i) {
        const auto it = values.find(IndexKey(i));
        if (it == values.end()) break;
        const std::string& value = it->second;
        const std::size_t comma = value.find(',');
        if (comma == std::string::npos || comma < 1) break;
        const auto a = ParseDidaditNumber(std::string_view(value).substr(0, comma));
        const auto b = ParseDidaditNumber(std::string_view(value).substr(comma + 1));
        if (!a || !b || *a < 0 || *b < *a || *b >= fileSize_) continue;
        Add(*a, *b - *a + 1);
        resume = std::max(resume, *b + 1);
    }
    return resume;
}

std::int64_t TDidaditReceiveBlockList::ReadIndexFile(const std::filesystem::path& index) {
    const auto text = platform::ReadFile(index, kMaxIndexBytes);
    if (!text) {
        Clear();
        return 0;
    }
    return ReadIndexText(*text);
}

}  // namespace tarvo::connection
