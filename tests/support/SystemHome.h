// A whole system in a test: a fresh data folder with the process-wide services
// pointed at it and at the test's dispatcher, all put back afterwards, and the
// settings file an operator with one packet engine has.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/GlobalU.h"
#include "core/SynchronizeU.h"
#include "devices/GeraeteU.h"
#include "platform/Dispatcher.h"

namespace tarvo::test {

class SystemHome {
  public:
    SystemHome(platform::IDispatcher& dispatcher, const std::string& prefix)
        : dir_(std::filesystem::temp_directory_path() /
               (prefix + std::to_string(std::random_device{}()))),
          previousFolder_(core::ApplicationDataFolder()) {
        std::filesystem::create_directories(dir_);
        core::SetApplicationDataFolder(dir_);
        core::SetMainDispatcher(&dispatcher);
        devices::ClearRegisteredKinds();
    }
    ~SystemHome() {
        core::QuitEvent().Reset();
        core::SetMainDispatcher(nullptr);
        core::SetApplicationDataFolder(previousFolder_);
        devices::ClearRegisteredKinds();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    SystemHome(const SystemHome&) = delete;
    SystemHome& operator=(const SystemHome&) = delete;

    const std::filesystem::path& Dir() const { return dir_; }

    // tarvo.reg: four channels, one AGWPE device on the engine's port, and the
    // own callsign (SSIDs 0 and 1) when one is given.
    std::filesystem::path WriteAgwpeSettings(std::uint16_t enginePort,
                                             const std::string& ownCall = {}) const {
        char port[16];
        std::snprintf(port, sizeof port, "%08x", static_cast<unsigned>(enginePort));
        const std::filesystem::path file = dir_ / "tarvo.reg";
        std::ofstream out(file, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\r\n\r\n"
            << "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo]\r\n"
            << "\"Channels\"=dword:00000004\r\n"
            << "\"ConsoleRows\"=dword:000001f4\r\n\r\n";
        if (!ownCall.empty())
            out << "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo\\Eigene Rufzeichen\\" << ownCall
                << "]\r\n\"SSIDs\"=dword:00000003\r\n\r\n";
        out << "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Tarvo\\Geraete\\1]\r\n"
            << "@=\"TGeraetAgwpe\"\r\n"
            << "\"Name\"=\"Engine\"\r\n"
            << "\"Hostname\"=\"127.0.0.1\"\r\n"
            << "\"Port\"=dword:" << port << "\r\n";
        return file;
    }

  private:
    std::filesystem::path dir_, previousFolder_;
};

}  // namespace tarvo::test
