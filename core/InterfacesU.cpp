#include "core/InterfacesU.h"

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

}  // namespace tarvo::core
