// What the fuzz targets share: the check that stops a run, and what a
// connection needs around it (main thread, settings, sounds).
#pragma once

#include <cstdlib>
#include <memory>

#include "connection/VerbindungU.h"
#include "core/ConfigU.h"
#include "core/InterfacesU.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"

namespace tarvo::fuzz {

inline void Check(bool ok) {
    if (!ok) std::abort();
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
