// "tarvo --demo [hostmode|agwpe|both]": a demo profile on the bundled
// simulators, which Tarvo starts itself and ends with itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Locations.h"

namespace tarvo::platform {
class IRegistry;
}

namespace tarvo::app {

enum class DemoKind { Hostmode, Agwpe, Both };

// The kind after "--demo"; nullopt without "--demo". A word other than the
// three kinds after it is left for the other options (hostmode then).
std::optional<DemoKind> DemoFromArgs(const std::vector<std::string>& args);

// The demo's own profile, $XDG_DATA_HOME/tarvo-demo (~/.local/share/tarvo-demo),
// added as "--home" when the arguments and TARVO_HOME name none: the demo
// never touches the operator's own settings. *added tells whether it did.
std::vector<std::string> WithDemoHome(std::vector<std::string> args, const platform::GetEnv& getenv,
                                      bool* added);

// TARVO_AGWPE_PORT, else 18000.
std::uint16_t DemoAgwpePort(const platform::GetEnv& getenv);

inline constexpr const char* kDemoCall = "N0CALL";
// SIMBOX asks for characters of this; the demo's station database answers.
inline constexpr const char* kDemoPassword = "Dem0Passw0rd";

struct DemoDevices {
    DemoKind kind = DemoKind::Hostmode;
    std::string tncPort;  // the simulated TNC's serial port (a link to its pseudo-terminal)
    std::uint16_t agwpePort = 18000;
};

// The demo's settings. A fresh profile gets the own callsign; the device
// list is replaced when replaceDevices is set (the demo's own folder, or a
// fresh profile), otherwise a profile the operator named keeps its devices.
void WriteDemoSettings(platform::IRegistry& settings, const DemoDevices& devices, bool fresh,
                       bool replaceDevices);

// Stores SIMBOX's name and password in the station database unless it is
// there. False with *error set when the file cannot be written.
bool EnsureDemoStations(const std::filesystem::path& dataDir, std::string* error);

// A bundled program: beside Tarvo (installed), else in ../tools (the build tree).
std::optional<std::filesystem::path> FindTool(const std::filesystem::path& programDir,
                                              const std::string& name);

struct DemoSetup {
    DemoKind kind = DemoKind::Hostmode;
    bool ownFolder = false;  // WithDemoHome added the folder
    std::filesystem::path programDir;
    std::uint16_t agwpePort = 18000;
};

// The running demo: its simulators end when it is destroyed.
class TDemo {
  public:
    // Starts the simulators, waits until they are ready, then writes the
    // profile. Null with *error set when something failed; then no simulator runs.
    static std::unique_ptr<TDemo> Start(const DemoSetup& setup,
                                        const platform::Locations& locations, std::string* error);
    // What runs, for the terminal.
    const std::string& Description() const { return description_; }

  private:
    TDemo() = default;
    std::vector<std::unique_ptr<platform::ChildProcess>> simulators_;
    std::string description_;
};

}  // namespace tarvo::app
