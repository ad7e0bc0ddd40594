#pragma once

// Regular expressions over byte strings (PCRE2, 8-bit code units, no UTF mode).
// Patterns and subjects may hold any byte, NUL and CR included. Subjects come from
// remote stations, so every match runs under limits: a pattern that would backtrack
// for ever reports MatchStatus::LimitExceeded instead of hanging the caller.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::platform {

struct PatternOptions {
    bool caseless = false;
    bool multiline = false;  // ^ and $ also match at line breaks
    bool dotall = false;     // . also matches a newline
    bool extended = false;   // white space and # comments in the pattern are ignored
    bool anchored = false;   // Search matches only at the start offset
    // Work allowed for one match call: the count of internal match steps, the depth
    // of nested backtracking and the heap the interpreter may take for it.
    std::uint32_t matchLimit = 1'000'000;
    std::uint32_t depthLimit = 10'000;
    std::uint32_t heapLimitKiB = 16 * 1024;
};

// Offsets of one successful match. Group views point into the subject passed to
// Search/FullMatch, which must outlive them.
class Match {
  public:
    // Number of capturing groups in the pattern; Group(0) is the whole match.
    std::size_t GroupCount() const { return offsets_.size() / 2 - 1; }
    // False for a group that did not take part in the match or does not exist.
    bool HasGroup(std::size_t i) const;
    // The text of a group; empty when !HasGroup(i).
    std::string_view Group(std::size_t i) const;
    // Byte offsets into the subject; npos when !HasGroup(i).
    std::size_t GroupStart(std::size_t i) const;
    std::size_t GroupEnd(std::size_t i) const;
    std::size_t Start() const { return GroupStart(0); }
    std::size_t End() const { return GroupEnd(0); }

  private:
    friend class Pattern;
    std::string_view subject_;
    std::vector<std::size_t> offsets_;  // start, end per group; npos when unset
};

enum class MatchStatus {
    Matched,
    NoMatch,
    LimitExceeded,  // gave up under the match, depth or heap limit: neither yes nor no
    Error,          // e.g. out of memory, or a pattern that was moved from
};

struct SearchResult {
    MatchStatus status = MatchStatus::NoMatch;
    std::optional<Match> match;  // set exactly when status == Matched

    explicit operator bool() const { return match.has_value(); }
    const Match& operator*() const { return *match; }
    const Match* operator->() const { return &*match; }
};

// A compiled pattern. Immutable after Compile, so one Pattern may be used from
// several threads at once. Movable, not copyable.
class Pattern {
  public:
    // Returns nullopt for a pattern PCRE2 rejects; *error then tells why and where.
    static std::optional<Pattern> Compile(std::string_view pattern,
                                          const PatternOptions& options = {},
                                          std::string* error = nullptr);

    Pattern(Pattern&&) noexcept;
    Pattern& operator=(Pattern&&) noexcept;
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;
    ~Pattern();

    // First match starting at or after startOffset (a byte offset; one past the end
    // gives NoMatch). Lookbehinds may see the bytes before startOffset.
    SearchResult Search(std::string_view subject, std::size_t startOffset = 0) const;
    // A match that covers the whole subject.
    SearchResult FullMatch(std::string_view subject) const;

    // Number of capturing groups.
    std::size_t GroupCount() const;
    // Index of the named group (?<name>...), or -1 when there is none or the name is
    // used for more than one group.
    int GroupIndex(std::string_view name) const;

  private:
    struct Impl;
    explicit Pattern(std::unique_ptr<Impl> impl);
    SearchResult Run(std::string_view subject, std::size_t startOffset, std::uint32_t flags) const;

    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvo::platform
