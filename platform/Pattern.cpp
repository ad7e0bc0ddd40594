#define PCRE2_CODE_UNIT_WIDTH 8
#include "platform/Pattern.h"

#include <pcre2.h>

namespace tarvo::platform {

struct Pattern::Impl {
    pcre2_code* code = nullptr;
    PatternOptions options;
    ~Impl() {
        if (code) pcre2_code_free(code);
    }
};

bool Match::HasGroup(std::size_t i) const {
    return 2 * i + 1 < offsets_.size() && offsets_[2 * i] != std::string_view::npos;
}

std::string_view Match::Group(std::size_t i) const {
    if (!HasGroup(i)) return {};
    return subject_.substr(offsets_[2 * i], offsets_[2 * i + 1] - offsets_[2 * i]);
}

std::size_t Match::GroupStart(std::size_t i) const {
    return HasGroup(i) ? offsets_[2 * i] : std::string_view::npos;
}

std::size_t Match::GroupEnd(std::size_t i) const {
    return HasGroup(i) ? offsets_[2 * i + 1] : std::string_view::npos;
}

Pattern::Pattern(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;
Pattern::~Pattern() = default;

std::optional<Pattern> Pattern::Compile(std::string_view pattern, const PatternOptions& options,
                                        std::string* error) {
    std::uint32_t flags = 0;
    if (options.caseless) flags |= PCRE2_CASELESS;
    if (options.multiline) flags |= PCRE2_MULTILINE;
    if (options.dotall) flags |= PCRE2_DOTALL;
    if (options.extended) flags |= PCRE2_EXTENDED;
    if (options.anchored) flags |= PCRE2_ANCHORED;
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()),
                                         pattern.size(), flags, &code, &offset, nullptr);
    if (!compiled) {
        if (error) {
            PCRE2_UCHAR buf[256];
            pcre2_get_error_message(code, buf, sizeof buf);
            *error = std::string(reinterpret_cast<const char*>(buf)) + " at offset " +
                     std::to_string(offset);
        }
        return std::nullopt;
    }
    // JIT is an optimisation; without it the interpreter gives the same answers.
    pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE);
    auto impl = std::make_unique<Impl>();
    impl->code = compiled;
    impl->options = options;
    return Pattern(std::move(impl));
}

SearchResult Pattern::Run(std::string_view subject, std::size_t startOffset,
                          std::uint32_t flags) const {
    SearchResult result;
    if (!impl_ || !impl_->code) {
        result.status = MatchStatus::Error;
        return result;
    }
    if (startOffset > subject.size()) return result;
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(impl_->code, nullptr);
    if (!context || !data) {
        if (context) pcre2_match_context_free(context);
        if (data) pcre2_match_data_free(data);
        result.status = MatchStatus::Error;
        return result;
    }
    pcre2_set_match_limit(context, impl_->options.matchLimit);
    pcre2_set_depth_limit(context, impl_->options.depthLimit);
    pcre2_set_heap_limit(context, impl_->options.heapLimitKiB);
    // Subjects may be empty views with a null data pointer; PCRE2 wants a real one.
    const char* base = subject.data() ? subject.data() : "";
    int rc = pcre2_match(impl_->code, reinterpret_cast<PCRE2_SPTR>(base), subject.size(),
                         startOffset, flags, data, context);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
        // The JIT's small default stack gives out on lines of a few thousand bytes
        // that the interpreter handles well within the limits above: let it decide.
        rc = pcre2_match(impl_->code, reinterpret_cast<PCRE2_SPTR>(base), subject.size(),
                         startOffset, flags | PCRE2_NO_JIT, data, context);
    }
    if (rc >= 0) {
        Match m;
        m.subject_ = subject;
        const std::uint32_t pairs = pcre2_get_ovector_count(data);
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
        const std::size_t groups = GroupCount() + 1;
        m.offsets_.assign(2 * groups, std::string_view::npos);
        for (std::size_t i = 0; i < groups && i < pairs; ++i) {
            if (ov[2 * i] == PCRE2_UNSET || ov[2 * i + 1] < ov[2 * i]) continue;
            m.offsets_[2 * i] = ov[2 * i];
            m.offsets_[2 * i + 1] = ov[2 * i + 1];
        }
        result.status = MatchStatus::Matched;
        result.match = std::move(m);
    } else if (rc == PCRE2_ERROR_NOMATCH) {
        result.status = MatchStatus::NoMatch;
    } else if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
               rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT) {
        result.status = MatchStatus::LimitExceeded;
    } else {
        result.status = MatchStatus::Error;
    }
    pcre2_match_data_free(data);
    pcre2_match_context_free(context);
    return result;
}

SearchResult Pattern::Search(std::string_view subject, std::size_t startOffset) const {
    return Run(subject, startOffset, 0);
}

SearchResult Pattern::FullMatch(std::string_view subject) const {
    return Run(subject, 0, PCRE2_ANCHORED | PCRE2_ENDANCHORED);
}

std::size_t Pattern::GroupCount() const {
    std::uint32_t n = 0;
    if (impl_ && impl_->code) pcre2_pattern_info(impl_->code, PCRE2_INFO_CAPTURECOUNT, &n);
    return n;
}

int Pattern::GroupIndex(std::string_view name) const {
    if (!impl_ || !impl_->code) return -1;
    const std::string n(name);
    const int rc =
        pcre2_substring_number_from_name(impl_->code, reinterpret_cast<PCRE2_SPTR>(n.c_str()));
    return rc > 0 ? rc : -1;
}

}  // namespace tarvo::platform
