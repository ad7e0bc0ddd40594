#include "core/InterfacesU.h"
#include "core/TrU.h"

#include <mutex>

namespace tarvo::core {

std::string_view StationTypeName(std::int32_t type) {
    switch (type) {
        case kStationDigi:
            return TARVO_TR_NOOP("TStationTyp", "Digi");
        case kStationMailbox:
            return TARVO_TR_NOOP("TStationTyp", "Mailbox");
        case kStationConvers:
            return TARVO_TR_NOOP("TStationTyp", "Convers");
        case kStationTerminal:
            return TARVO_TR_NOOP("TStationTyp", "Terminal");
        case kStationCluster:
            return TARVO_TR_NOOP("TStationTyp", "Cluster");
        default:
            return TARVO_TR_NOOP("TStationTyp", "Automatisch");
    }
}

std::string StationTypeCaption(std::int32_t type) {
    return Tr("TStationTyp", StationTypeName(type).data());
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
