#include "app/DemoU.h"

#include <charconv>
#include <exception>
#include <system_error>

#include "core/ConfigU.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/RegistryFormat.h"
#include "stations/StationenDatenbankEintragU.h"
#include "stations/StationenDatenbankU.h"

namespace fs = std::filesystem;

namespace tarvo::app {

namespace {

using platform::Hive;

const std::string kDevicesKey = std::string(core::TConfig::kRootKey) + "\\Geraete";
const std::string kOwnCallKey =
    std::string(core::TConfig::kRootKey) + "\\Eigene Rufzeichen\\" + kDemoCall;

// Long enough for a loaded machine, short enough that a broken start is noticed.
constexpr std::chrono::seconds kReadyTimeout{10};

void WriteHostmodeDevice(platform::IRegistry& r, const std::string& key, const std::string& port) {
    r.WriteText(Hive::LocalMachine, key, "", "TGeraetHostmodeSerial");
    r.WriteDWord(Hive::LocalMachine, key, "Anschluss", 1);
    r.WriteDWord(Hive::LocalMachine, key, "Baudrate", 115200);
    r.WriteUtf8(Hive::LocalMachine, key, "Schnittstelle", port);
}

void WriteAgwpeDevice(platform::IRegistry& r, const std::string& key, std::uint16_t port) {
    r.WriteText(Hive::LocalMachine, key, "", "TGeraetAgwpe");
    r.WriteText(Hive::LocalMachine, key, "Hostname", "127.0.0.1");
    r.WriteDWord(Hive::LocalMachine, key, "Port", port);
    r.WriteText(Hive::LocalMachine, key, "Username", "");
    r.WriteText(Hive::LocalMachine, key, "Password", "");
}

bool IsExecutable(const fs::path& p) {
    std::error_code ec;
    const auto st = fs::status(p, ec);
    return !ec && fs::is_regular_file(st) &&
           (st.permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                                fs::perms::others_exec)) != fs::perms::none;
}

}  // namespace

std::optional<DemoKind> DemoFromArgs(const std::vector<std::string>& args) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] != "--demo") continue;
        const std::string next = i + 1 < args.size() ? args[i + 1] : std::string();
        if (next == "agwpe") return DemoKind::Agwpe;
        if (next == "both") return DemoKind::Both;
        return DemoKind::Hostmode;
    }
    return std::nullopt;
}

std::vector<std::string> WithDemoHome(std::vector<std::string> args, const platform::GetEnv& getenv,
                                      bool* added) {
    if (added) *added = false;
    for (std::size_t i = 1; i < args.size(); ++i)
        if (args[i] == "--home" || args[i].rfind("--home=", 0) == 0) return args;
    if (auto home = getenv("TARVO_HOME"); home && !home->empty()) return args;
    fs::path data;
    if (auto x = getenv("XDG_DATA_HOME"); x && !x->empty() && x->front() == '/') {
        data = *x;
    } else if (auto h = getenv("HOME"); h && !h->empty() && h->front() == '/') {
        data = fs::path(*h) / ".local" / "share";
    } else {
        // Nowhere to keep a profile: ResolveLocations reports the missing home.
        return args;
    }
    args.push_back("--home");
    args.push_back((data / "tarvo-demo").string());
    if (added) *added = true;
    return args;
}

std::uint16_t DemoAgwpePort(const platform::GetEnv& getenv) {
    if (auto v = getenv("TARVO_AGWPE_PORT"); v && !v->empty()) {
        unsigned value = 0;
        const char* end = v->data() + v->size();
        const auto [ptr, ec] = std::from_chars(v->data(), end, value);
        if (ec == std::errc() && ptr == end && value >= 1 && value <= 65535)
            return static_cast<std::uint16_t>(value);
    }
    return 18000;
}

void WriteDemoSettings(platform::IRegistry& r, const DemoDevices& devices, bool fresh,
                       bool replaceDevices) {
    if (fresh) r.WriteDWord(Hive::CurrentUser, kOwnCallKey, "SSIDs", 3);
    if (!fresh && !replaceDevices) return;
    r.DeleteKey(Hive::LocalMachine, kDevicesKey);
    int number = 0;
    if (devices.kind != DemoKind::Agwpe)
        WriteHostmodeDevice(r, kDevicesKey + "\\" + std::to_string(number++), devices.tncPort);
    if (devices.kind != DemoKind::Hostmode)
        WriteAgwpeDevice(r, kDevicesKey + "\\" + std::to_string(number++), devices.agwpePort);
}

bool EnsureDemoStations(const fs::path& dataDir, std::string* error) {
    try {
        stations::TStationenDatenbankSetup setup;
        setup.file = stations::StationenDatenbankFile(dataDir);
        auto db = stations::TStationenDatenbank::Open(std::move(setup));
        if (db->OpenStation("SIMBOX")) return true;
        auto entry = db->CreateStation("SIMBOX");
        if (!entry) throw std::runtime_error("cannot add SIMBOX");
        entry->SetName("Simulierte Mailbox");
        if (!entry->SetPasswort(kDemoCall, 0, kDemoPassword, 0))
            throw std::runtime_error("cannot store the password");
        if (!db->Flush()) throw std::runtime_error("cannot write the station database");
        return true;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

std::optional<fs::path> FindTool(const fs::path& programDir, const std::string& name) {
    for (const fs::path& p : {programDir / name, programDir / ".." / "tools" / name})
        if (IsExecutable(p)) return p.lexically_normal();
    return std::nullopt;
}

std::unique_ptr<TDemo> TDemo::Start(const DemoSetup& setup, const platform::Locations& locations,
                                    std::string* error) {
    auto fail = [&](std::string why) -> std::unique_ptr<TDemo> {
        if (error) *error = std::move(why);
        return nullptr;
    };
    std::unique_ptr<TDemo> demo(new TDemo());
    // Started and waited for one after the other: its first line says it is ready.
    auto run = [&](const char* name, std::vector<std::string> args,
                   const std::string& hint) -> bool {
        const auto program = FindTool(setup.programDir, name);
        if (!program) {
            if (error) *error = std::string(name) + " not found in " + setup.programDir.string();
            return false;
        }
        auto child = platform::ChildProcess::Start(*program, args, error);
        if (!child) return false;
        auto line = child->ReadLine(kReadyTimeout);
        if (!line || line->empty()) {
            if (error) *error = program->string() + " did not start" + hint;
            return false;
        }
        demo->simulators_.push_back(std::move(child));
        return true;
    };

    DemoDevices devices{setup.kind, (locations.runtimeDir / "tnc").string(), setup.agwpePort};
    const std::string agwpe = "127.0.0.1:" + std::to_string(setup.agwpePort);
    if (setup.kind != DemoKind::Agwpe) {
        std::string stationsError;
        if (!EnsureDemoStations(locations.dataDir, &stationsError))
            return fail(stations::StationenDatenbankFile(locations.dataDir).string() + ": " +
                        stationsError);
        if (!run("tnc-sim",
                 {"--link", devices.tncPort, "--beacon", "10", "--connect-after", "8", "SIMBOX",
                  kDemoCall, "--call", kDemoCall, "--password", kDemoPassword, "--quiet"},
                 ""))
            return nullptr;
    }
    if (setup.kind != DemoKind::Hostmode) {
        // With both, the AGWPE mailbox calls a little later than the TNC's.
        const char* after = setup.kind == DemoKind::Both ? "20" : "8";
        if (!run("agwpe-sim",
                 {"--port", std::to_string(setup.agwpePort), "--beacon", "10", "--connect-after",
                  after, "SIMBOX", kDemoCall, "--quiet"},
                 " (is port " + std::to_string(setup.agwpePort) +
                     " in use? TARVO_AGWPE_PORT chooses another)"))
            return nullptr;
    }

    std::error_code ec;
    const bool fresh = !fs::exists(locations.settingsFile, ec);
    // Opening a damaged file would repair it on disk; it stays as it is, so
    // that the start tells the operator about it.
    const auto bytes =
        fresh ? std::optional<std::string>()
              : platform::ReadFile(locations.settingsFile, platform::regfile::kMaxFileSize);
    if (fresh || (bytes && platform::regfile::Parse(*bytes).problems.empty())) {
        auto settings = platform::FileRegistry::Open(locations.settingsFile, ec);
        if (!settings) return fail(locations.settingsFile.string() + ": " + ec.message());
        WriteDemoSettings(*settings, devices, fresh, fresh || setup.ownFolder);
        if (const std::error_code flushed = settings->Flush())
            return fail(locations.settingsFile.string() + ": " + flushed.message());
    }

    const std::string where = locations.settingsFile.parent_path().string();
    switch (setup.kind) {
        case DemoKind::Hostmode:
            demo->description_ = "hostmode TNC on " + devices.tncPort;
            break;
        case DemoKind::Agwpe:
            demo->description_ = "AGWPE engine on " + agwpe;
            break;
        case DemoKind::Both:
            demo->description_ =
                "hostmode TNC on " + devices.tncPort + " and AGWPE engine on " + agwpe;
            break;
    }
    demo->description_ = "Demo profile in " + where + ": " + demo->description_ +
                         ", own callsign " + kDemoCall + ".";
    return demo;
}

}  // namespace tarvo::app
