// Lists the station database or stores a station's name or password, without
// starting the program (while it is not running: it keeps the file in memory).
//   tarvo-stations FILE list
//   tarvo-stations FILE name CALL TEXT
//   tarvo-stations FILE password CALL MYCALL user|sysop baycom|md5|diebox TEXT
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "stations/StationenDatenbankEintragU.h"
#include "stations/StationenDatenbankU.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tarvo-stations FILE list\n"
                 "       tarvo-stations FILE name CALL TEXT\n"
                 "       tarvo-stations FILE password CALL MYCALL user|sysop "
                 "baycom|md5|diebox TEXT\n");
    return 2;
}

int IndexOf(const std::vector<std::string_view>& names, std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tarvo::stations;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return Usage();
    try {
        TStationenDatenbankSetup setup;
        setup.file = args[0];
        auto db = TStationenDatenbank::Open(std::move(setup));
        const std::string& command = args[1];
        if (command == "list" && args.size() == 2) {
            for (const std::string& key : db->ListEntries()) {
                auto e = db->OpenStation(key);
                std::printf("%s\t%s\n", key.c_str(), e ? e->GetName().c_str() : "");
            }
            return 0;
        }
        if (command == "name" && args.size() == 4) {
            auto e = db->CreateStation(args[2]);
            if (!e) return Usage();
            e->SetName(args[3]);
        } else if (command == "password" && args.size() == 7) {
            const int role = IndexOf({"user", "sysop"}, args[4]);
            const int method = IndexOf({"baycom", "md5", "diebox"}, args[5]);
            auto e = db->CreateStation(args[2]);
            if (!e || role < 0 || method < 0 || !e->SetPasswort(args[3], role, args[6], method))
                return Usage();
        } else {
            return Usage();
        }
        return db->Flush() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvo-stations: %s\n", e.what());
        return 1;
    }
}
