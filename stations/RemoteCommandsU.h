// "//" lines from a connected station: the sixteen commands, who may use which
// (globally and per station), and the folder commands confined to the released
// folder. A permission is keyed on the callsign the remote station claims; it
// proves nothing about who is really there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/InterfacesU.h"
#include "stations/StationenDatenbankEintragU.h"

namespace tarvo::platform {
class IRegistry;
class IClock;
}  // namespace tarvo::platform
namespace tarvo::channels {
class TConnectionsList;
}

namespace tarvo::stations {

struct TRemoteCommandRow {
    std::string_view keyword;  // lower case
    int minLength = 1;
    bool enabledByDefault = false;
    std::string_view help;  // code page 1252
};

// The built-in commands in registration order (the order breaks ties).
const std::vector<TRemoteCommandRow>& RemoteCommandTable();

// One received line split up. ignore: not a command line (no reply at all).
struct TRemoteLine {
    bool ignore = false;
    std::string keyword;  // upper case; empty: an invalid command
    std::string argument;
};
TRemoteLine ParseRemoteLine(std::string_view line);

// A path a station typed, made plain: '/' and '\' separate, "." and empty parts
// drop, ".." goes up; a leading separator starts at the released folder, else
// at current ("\"-separated). Nullopt when it climbs above the released folder,
// holds a byte below 32, or is too long or deep.
std::optional<std::vector<std::string>> ResolveRemotePath(std::string_view current,
                                                          std::string_view argument);
// The parts joined with '\' as the station sees them.
std::string JoinRemotePath(const std::vector<std::string>& parts);

class TRemoteCommandManager {
  public:
    static constexpr std::string_view kKey = "\\Software\\Morvane\\Tarvo\\Remotes";

    // stationen is asked at each use: the database opens after the manager.
    TRemoteCommandManager(platform::IRegistry& registry, core::TStationenQuelle stationen);
    TRemoteCommandManager(const TRemoteCommandManager&) = delete;
    TRemoteCommandManager& operator=(const TRemoteCommandManager&) = delete;

    // The row index of the typed keyword, or -1; on success the keyword becomes
    // the registered one.
    int FindCommand(std::string& keyword) const;
    std::size_t Count() const;
    const TRemoteCommandRow& Row(int index) const;
    // "BINmode", "DISconnect", ...: the shortest unambiguous start in capitals.
    std::string DisplayName(int index) const;
    // The display names of all commands, sorted without regard to case.
    std::vector<std::string> GetCommandNames() const;

    bool GetDefaultEnabled(std::string_view keyword) const;
    void SetDefaultEnabled(std::string_view keyword, bool enabled);
    // False when the station has no entry or no setting for the keyword.
    bool GetStationEnabled(std::string_view stationKey, std::string_view keyword,
                           bool& enabled) const;
    void SetStationEnabled(std::string_view stationKey, std::string_view keyword, bool enabled);
    void ClearStationEnabled(std::string_view stationKey, std::string_view keyword);
    // Empty key: the global value (always decided); else the station's setting.
    bool IsEnabled(std::string_view stationKey, std::string_view keyword, bool& enabled) const;
    void SetEnabled(std::string_view stationKey, std::string_view keyword, bool enabled);
    // The callsign exactly as reported, then without SSID, then the global value.
    bool Permitted(std::string_view call, std::string_view keyword) const;

  private:
    std::shared_ptr<core::IStationenDatenbankEintrag> Entry(std::string_view key) const;

    platform::IRegistry& registry_;
    core::TStationenQuelle stationen_;
    mutable std::recursive_mutex mutex_;
};

// The process-wide manager; null before start-up made it and after shutdown.
std::shared_ptr<TRemoteCommandManager> RemoteCommandManager();
void SetRemoteCommandManager(std::shared_ptr<TRemoteCommandManager> manager);

struct TRemoteCommandsContext {
    std::shared_ptr<TRemoteCommandManager> manager;
    core::ITexte* texte = nullptr;
    core::IKlaenge* klaenge = nullptr;
    channels::TConnectionsList* connections = nullptr;
    // The released folder; commands on folders are refused unless it is
    // absolute and exists.
    std::function<std::filesystem::path()> releasedFolder;
    std::string versionText;
    const platform::IClock* clock = nullptr;  // the steady clock when null
};

class TRemoteCommands final : public core::IRemoteCommands {
  public:
    // Bounds on what one station can make the program hold for it.
    static constexpr std::size_t kMaxLineBytes = 1024;
    static constexpr std::size_t kMaxListed = 1000;
    static constexpr int kMaxQueuedJobs = 8;
    // Reply bytes waiting in the connection's send queue beyond which further
    // replies are dropped.
    static constexpr std::size_t kMaxPendingReplyBytes = 256 * 1024;
    static constexpr std::int64_t kMaxFileSize = std::int64_t{1} << 31;

    TRemoteCommands(const std::shared_ptr<core::IVerbindungFuerModul>& connection,
                    TRemoteCommandsContext ctx);

    void Detach() override;
    void HandleLine(std::string_view line) override;

    // The station's folder below the released one, '\'-separated, "" for itself.
    std::string CurrentFolder() const;

  private:
    using TCommand = void (TRemoteCommands::*)(std::string_view argument);
    static const std::vector<TCommand>& Commands();

    std::shared_ptr<core::IVerbindungFuerModul> Connection() const;
    // Sends text on the connection; never expands carets (the text may hold
    // what the station typed).
    void SendReply(std::string_view text, bool expandCarets = false);
    void Reply(std::string_view message);
    std::optional<std::filesystem::path> Root() const;
    // The folder and the pattern a dir or read argument names; nullopt refused.
    bool Lookup(std::string_view argument, std::vector<std::string>& folder,
                std::string& pattern) const;
    void SendKindOrEmpty(int kind, std::string_view emptyMessage);

    void Binmode(std::string_view argument);
    void Cd(std::string_view argument);
    void CStatus(std::string_view argument);
    void Dir(std::string_view argument);
    void Disconnect(std::string_view argument);
    void Echo(std::string_view argument);
    void Help(std::string_view argument);
    void Info(std::string_view argument);
    void Name(std::string_view argument);
    void News(std::string_view argument);
    void Quit(std::string_view argument);
    void Read(std::string_view argument);
    void Ring(std::string_view argument);
    void Rtt(std::string_view argument);
    void Sid(std::string_view argument);
    void Version(std::string_view argument);

    TRemoteCommandsContext ctx_;
    mutable std::mutex mutex_;
    std::weak_ptr<core::IVerbindungFuerModul> connection_;
    std::string currentFolder_;
};

// One line of the permission page. state: 0 locked for the station, 1 enabled
// for it, 2 not set (globally locked), 3 not set (globally enabled); the
// general page uses 0 and 1.
struct TRemotePermission {
    std::string keyword;  // upper case, as stored
    std::string displayName;
    std::string help;
    int state = 0;
};
// Every command, sorted by display name: the station's settings when station
// is given, else the global values. Without a manager the built-in defaults.
std::vector<TRemotePermission> PermissionRows(const TRemoteCommandManager* manager,
                                              const TRemoteCommandList* station);
// The station's settings the rows hold (states 0 and 1).
TRemoteCommandList StationPermissions(const std::vector<TRemotePermission>& rows);

// The factory for the connection context.
std::function<
    std::shared_ptr<core::IRemoteCommands>(const std::shared_ptr<core::IVerbindungFuerModul>&)>
RemoteCommandsFactory(TRemoteCommandsContext ctx);

}  // namespace tarvo::stations
