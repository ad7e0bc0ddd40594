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

}  // namespace tarvo::core
