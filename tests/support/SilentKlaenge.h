// Sounds for benches and tests that only need something to hand the
// connections: nothing plays.
#pragma once

#include <memory>

#include "core/InterfacesU.h"

namespace tarvo::test {

class SilentKlaenge final : public core::IKlaenge {
  public:
    bool Play(int, const std::shared_ptr<core::IVerbindung>&) override { return false; }
};

}  // namespace tarvo::test
