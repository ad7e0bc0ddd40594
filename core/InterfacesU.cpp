#include "core/InterfacesU.h"

#include <mutex>

namespace tarvo::core {

std::string_view StationTypeName(std::int32_t type) {
    switch (type) {
        case kStationDigi:
            return "Digi";
        case kStationMailbox:
            return "Mailbox";
        case kStationConvers:
            return "Convers";
        case kStationTerminal:
            return "Terminal";
        case kStationCluster:
            return "Cluster";
        default:
            return "Automatisch";
    }
}

namespace {
std::mutex pgpMutex;
std::function<std::unique_ptr<IPGP>()>& PGPFactory() {
    static std::function<std::unique_ptr<IPGP>()> factory;
    return factory;
}
}  // namespace

std::unique_ptr<IPGP> CreatePGP() {
    std::function<std::unique_ptr<IPGP>()> factory;
    {
        std::lock_guard lock(pgpMutex);
        factory = PGPFactory();
    }
    return factory ? factory() : nullptr;
}

void SetPGPFactory(std::function<std::unique_ptr<IPGP>()> factory) {
    std::lock_guard lock(pgpMutex);
    PGPFactory() = std::move(factory);
}

}  // namespace tarvo::core
