// Bringing an installation along: settings exported from the registry, the
// station database, sound schemes with their wave files and the channels'
// buffer files, taken from a copy of the installation's folder.
//
// Everything is read and checked first; a file that does not pass is listed
// and left out whole. Every file or setting that gets replaced is backed up
// before ("<name>.bak-YYYYMMDD-HHMMSS", never overwriting one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::platform {
class IRegistry;
class CompoundStorage;
}  // namespace tarvo::platform

namespace tarvo::core {

struct TImportSetup {
    std::filesystem::path source;  // the copied installation
    platform::IRegistry* registry = nullptr;
    // The file behind registry, copied before the merge; empty when there is none.
    std::filesystem::path settingsFile;
    std::filesystem::path dataFolder;
    // Folder values of the other platform find their match among the folders
    // of source, then as a folder of that name in one of these (documents, home).
    std::vector<std::filesystem::path> searchFolders;
    // Serial adapters by their stable names; "COMn" maps only to a single one.
    std::filesystem::path serialFolder = "/dev/serial/by-id";
    // The running program hands the checked stations to its open database,
    // which writes the stations it held so far to backup first. Without it the
    // database file is replaced (the program must not be running).
    std::function<bool(platform::CompoundStorage root, const std::filesystem::path& backup)>
        replaceStations;
    // The running program's consoles hold their buffer files open and write
    // them back at the end, so an imported buffer would be lost: listed instead.
    bool buffersInUse = false;
    // "YYYYMMDD-HHMMSS" in the names of backups and of the report; empty: now.
    std::string stamp;
};

// What happened, in UTF-8 lines.
struct TImportReport {
    std::vector<std::string> imported;
    std::vector<std::string> mapped;   // "old → new"
    std::vector<std::string> leftOut;  // with the reason
    std::vector<std::string> review;   // taken over, but the operator should look
    std::vector<std::string> backups;
    std::filesystem::path reportFile;  // empty when it could not be written
    bool failed = false;               // the source could not be read or a write failed
    bool damaged = false;              // a file was left out as damaged or unusable

    // The report as the window and the file show it.
    std::string Text() const;
};

// Files larger than these are not taken.
inline constexpr std::size_t kImportMaxWaveBytes = 64u << 20;
inline constexpr std::size_t kImportMaxSchemeBytes = 1u << 20;

// Reads, checks and carries out the import; writes the report file into the
// data folder ("import-YYYYMMDD-HHMMSS.txt").
TImportReport Importiere(const TImportSetup& setup);

// The last component of a path of either platform ("C:\Sound\ding.wav" gives
// "ding.wav"); empty when there is none.
std::string ForeignBaseName(std::string_view path);
// A path of the other platform: a drive letter, a share ("\\server"), or a backslash.
bool IsForeignPath(std::string_view path);

}  // namespace tarvo::core
