#include "core/TrU.h"

#include "platform/CodePage.h"

namespace tarvo::core {

namespace {
TTranslateHook gHook;
}  // namespace

void SetTranslateHook(TTranslateHook hook) {
    gHook = std::move(hook);
}

std::string Tr(const char* context, const char* source) {
    if (!source) return {};
    return platform::Utf8ToCp1252(gHook ? gHook(context, source) : std::string(source));
}

std::string FillArgs(std::string_view text, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 1 < text.size()) {
            const char n = text[i + 1];
            if (n == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (n >= '1' && n <= '9' && static_cast<std::size_t>(n - '1') < args.size()) {
                out += *(args.begin() + (n - '1'));
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace tarvo::core
