// What the fuzz targets share: the check that stops a run, and what a
// connection needs around it (main thread, settings, sounds).
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "connection/VerbindungU.h"
#include "core/ConfigU.h"
#include "core/InterfacesU.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"

namespace tarvo::fuzz {

inline void Check(bool ok) {
    if (!ok) std::abort();
}

// The input cut into received items, each ending with (and keeping) split;
// what follows the last split is an item too.
inline std::vector<std::string> SplitItems(std::string_view input, char split) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] != split) continue;
        items.emplace_back(input.substr(start, i + 1 - start));
        start = i + 1;
    }
    if (start < input.size()) items.emplace_back(input.substr(start));
    return items;
}

class SilentKlaenge final : public core::IKlaenge {
  public:
    bool Play(int, const std::shared_ptr<core::IVerbindung>&) override { return true; }
};

// Create it on the thread that plays the main thread.
struct ConnectionWorld {
    platform::FileRegistry registry;
    core::TConfig config{registry, "0.01.000"};
    platform::LoopDispatcher dispatcher;
    SilentKlaenge klaenge;
    connection::TVerbindungContext ctx;

    ConnectionWorld() {
        ctx.dispatcher = &dispatcher;
        ctx.config = &config;
        ctx.klaenge = &klaenge;
        ctx.versionText = "0.01.000";
    }
};

}  // namespace tarvo::fuzz
