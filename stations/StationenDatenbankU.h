// The station database: one storage per station in "Stations.tvd", held in
// memory and written back whole a little after a change and at shutdown.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/InterfacesU.h"
#include "platform/CompoundFile.h"

namespace tarvo::stations {

class TStationenDatenbankEintrag;

// Opening failed; the text names the cause ("OpenStorage/CreateDocfile: ...").
class TStationenDatenbankError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct TStationenDatenbankSetup {
    std::filesystem::path file;
    // Run the repair before opening (the last run ended uncleanly, or the operator asked).
    bool check = false;
    // Runs the task a little later on the main thread, so that a burst of
    // changes becomes one write. Without it the file is written by Flush only.
    std::function<void(std::function<void()>)> scheduleFlush;
};

// Where the database lives below the application-data folder.
std::filesystem::path StationenDatenbankFile(const std::filesystem::path& dataFolder);

// The station key of a callsign: upper case, the callsign of 'A'..'Z' and
// '0'..'9' (1 to 10 of them), optionally '-' and an SSID 0..15 written without
// leading zeros. Nothing when the text is no such callsign.
std::optional<std::string> StationKey(std::string_view call);

class TStationenDatenbank final : public core::IStationenDatenbank,
                                  public std::enable_shared_from_this<TStationenDatenbank> {
  public:
    // Streams are read at most this long, whatever they hold.
    static constexpr std::size_t kStreamLimit = 65536;
    // Larger files are no station database.
    static constexpr std::size_t kMaxFileBytes = 512u << 20;

    // Loads the file (a damaged or foreign file is kept as a backup, see README);
    // throws TStationenDatenbankError when it cannot be read or created.
    static std::shared_ptr<TStationenDatenbank> Open(TStationenDatenbankSetup setup);
    ~TStationenDatenbank() override;
    TStationenDatenbank(const TStationenDatenbank&) = delete;
    TStationenDatenbank& operator=(const TStationenDatenbank&) = delete;

    std::shared_ptr<core::IStationenDatenbankEintrag> FindEntry(std::string_view call,
                                                                bool fallback) override;
    std::shared_ptr<core::IStationenDatenbankEintrag> OpenEntry(std::string_view key) override;
    std::shared_ptr<core::IStationenDatenbankEintrag> CreateEntry(std::string_view key) override;

    // The same, with the station's whole interface (for the dialog).
    std::shared_ptr<TStationenDatenbankEintrag> OpenStation(std::string_view key);
    std::shared_ptr<TStationenDatenbankEintrag> CreateStation(std::string_view key);
    // False while the station is open somewhere, or when there is none.
    bool DeleteEntry(std::string_view key);
    // All station keys, sorted.
    std::vector<std::string> ListEntries() const;
    // The password streams of the entry's station.
    std::vector<std::string> ListPasswordStreams(const TStationenDatenbankEintrag& entry) const;

    // Writes the file now when something changed; false when that failed
    // (the change stays pending).
    bool Flush();
    // At shutdown: writes what is pending and asks for no more delayed writes
    // (the main thread's loop is going); later changes are written when the
    // last holder lets the database go.
    bool Close();
    // Takes the stations of root in place of all held so far (an import): those
    // go to backup first, a file of their own; open entries read the new
    // stations from then on. False when the backup could not be written (then
    // nothing changed) or the new file could not be written (then it stays pending).
    bool ReplaceAll(platform::CompoundStorage root, const std::filesystem::path& backup);
    const std::filesystem::path& File() const { return setup_.file; }
    // Backups kept by this opening (a damaged file, or the repair run).
    const std::vector<std::filesystem::path>& Backups() const { return backups_; }

    // For entries: their station's streams. Reads are cut at the limit; writes
    // too, so that a stream never holds more than is read back.
    std::optional<std::string> ReadStream(const std::string& key, std::string_view name,
                                          std::size_t limit) const;
    bool WriteStream(const std::string& key, std::string_view name, std::string data,
                     std::size_t limit);
    void RemoveStream(const std::string& key, std::string_view name);
    std::vector<std::string> StreamNames(const std::string& key) const;
    // The entry is going: it leaves the cache unless a newer one took its place.
    void ForgetEntry(const std::string& key);

  private:
    explicit TStationenDatenbank(TStationenDatenbankSetup setup);
    void Load();
    void KeepBackup(const std::string& bytes, bool damaged);
    void Changed();
    // The open entry of the key, or a new one; with create the station is made when missing.
    std::shared_ptr<TStationenDatenbankEintrag> Station(std::string_view key, bool create);

    TStationenDatenbankSetup setup_;
    std::vector<std::filesystem::path> backups_;

    // Lock order: mutex_ (the cache) before an entry's lock before treeMutex_.
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::weak_ptr<TStationenDatenbankEintrag>> cache_;

    mutable std::mutex treeMutex_;
    platform::CompoundStorage root_;
    bool dirty_ = false;
    bool flushScheduled_ = false;

    std::mutex flushMutex_;  // one file write at a time
};

}  // namespace tarvo::stations
