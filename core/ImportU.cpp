#include "core/ImportU.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "channels/ConsoleU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/CompoundFile.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/RegistryFormat.h"
#include "resources/KlaengeU.h"
#include "stations/StationenDatenbankU.h"

namespace tarvo::core {

namespace fs = std::filesystem;

namespace {

constexpr const char* kClass = "TImport";
constexpr platform::Hive kCU = platform::Hive::CurrentUser;
constexpr platform::Hive kLM = platform::Hive::LocalMachine;

// How far the scan goes into a copied installation.
constexpr int kMaxScanDepth = 6;
constexpr std::size_t kMaxScanEntries = 20000;
// Longer lists of keys outside the program's are cut in the report.
constexpr std::size_t kMaxListedKeys = 20;

// A translated text (code page 1252) of the report in UTF-8, "%1", "%2", ... filled in.
std::string Fill(const std::string& cp1252, const std::vector<std::string>& args = {}) {
    const std::string text = platform::Cp1252ToUtf8(cp1252);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < args.size()) out += args[n];
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string Fold(std::string_view name) {
    return platform::regfile::FoldName(name);
}

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
    return name.size() >= suffix.size() &&
           Fold(name.substr(name.size() - suffix.size())) == Fold(suffix);
}

std::string Stamp() {
    const TDateTime t = UnixSecondsToDateTime(platform::SteadyClock().LocalSeconds());
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

// The channel number of a buffer file name ("Buffer0A.tvn"), else -1.
int BufferChannel(std::string_view name) {
    if (name.size() != 12 || Fold(name.substr(0, 6)) != "buffer" || Fold(name.substr(8)) != ".tvn")
        return -1;
    int n = 0;
    for (char c : name.substr(6, 2)) {
        const char l = AsciiLower(std::string_view(&c, 1))[0];
        const int d = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
        if (d < 0) return -1;
        n = n * 16 + d;
    }
    return n <= TConfig::kMaxChannels ? n : -1;
}

std::uint32_t Le32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

struct Found {
    std::vector<fs::path> regs, stations, schemes, waves, buffers;
    std::vector<fs::path> folders;  // shallow ones first
    std::vector<fs::path> links;    // links that were not followed
};

class Importer {
  public:
    explicit Importer(const TImportSetup& setup) : s_(setup) {
        stamp_ = s_.stamp.empty() ? Stamp() : s_.stamp;
        soundFolder_ = s_.dataFolder / "Sound";
    }

    TImportReport Run() {
        DebOutObj(kClass, "Import", "begin...");
        std::error_code ec;
        if (!fs::is_directory(s_.source, ec)) {
            r_.failed = true;
            r_.leftOut.push_back(
                Fill(Tr("TImport", "%1: kein lesbarer Ordner"), {Show(s_.source)}));
        } else {
            Scan();
            ImportWaves();
            ImportSettings();
            ImportSchemes();
            ImportStations();
            ImportBuffers();
            for (const fs::path& p : found_.links)
                LeftOut(p, Fill(Tr("TImport", "Verknüpfung, nicht gefolgt")));
            if (r_.imported.empty() && r_.leftOut.empty() && !r_.failed)
                r_.leftOut.push_back(Fill(Tr("TImport", "Im Ordner %1 ist nichts zu importieren."),
                                          {Show(s_.source)}));
        }
        WriteReport();
        DebOutObj(kClass, "Import", "end.");
        return std::move(r_);
    }

  private:
    std::string Show(const fs::path& p) const { return p.string(); }
    std::string Rel(const fs::path& p) const {
        const fs::path rel = p.lexically_relative(s_.source);
        return rel.empty() ? p.string() : rel.string();
    }
    void LeftOut(const fs::path& p, const std::string& why) {
        r_.leftOut.push_back(Rel(p) + ": " + why);
    }
    void Damaged(const fs::path& p, const std::string& why) {
        r_.damaged = true;
        LeftOut(p, why);
    }

    // The file's safe name, once per name (without case); "" after reporting why not.
    std::string TakeName(const fs::path& p, std::set<std::string>& taken) {
        const std::string safe =
            platform::SafeFileName(platform::Utf8ToCp1252(p.filename().string()));
        if (safe.empty()) {
            Damaged(p, Fill(Tr("TImport", "unbrauchbarer Dateiname")));
            return {};
        }
        if (!taken.insert(Fold(safe)).second) {
            LeftOut(p, Fill(Tr("TImport", "eine Datei dieses Namens wurde schon übernommen")));
            return {};
        }
        return safe;
    }

    // ---- the source ---------------------------------------------------------

    void Scan() {
        std::error_code ec;
        fs::recursive_directory_iterator it(s_.source,
                                            fs::directory_options::skip_permission_denied, ec);
        std::size_t seen = 0;
        std::vector<std::pair<int, fs::path>> folders;
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (++seen > kMaxScanEntries) {
                r_.leftOut.push_back(
                    Fill(Tr("TImport",
                            "Der Ordner enthält zu viele Einträge; der Rest wurde nicht "
                            "durchsucht.")));
                break;
            }
            const fs::path& p = it->path();
            const fs::file_status st = it->symlink_status(ec);
            if (ec) break;
            const std::string name = p.filename().string();
            if (fs::is_directory(st)) {
                folders.emplace_back(it.depth(), p);
                if (it.depth() >= kMaxScanDepth) it.disable_recursion_pending();
                continue;
            }
            std::vector<fs::path>* list = nullptr;
            if (EndsWithNoCase(name, ".reg"))
                list = &found_.regs;
            else if (Fold(name) == "stations.tvd")
                list = &found_.stations;
            else if (EndsWithNoCase(name, ".tvs"))
                list = &found_.schemes;
            else if (EndsWithNoCase(name, ".wav"))
                list = &found_.waves;
            else if (BufferChannel(name) >= 0)
                list = &found_.buffers;
            if (!list) continue;
            if (fs::is_symlink(st))
                found_.links.push_back(p);
            else if (fs::is_regular_file(st))
                list->push_back(p);
        }
        if (ec) {
            r_.failed = true;
            r_.leftOut.push_back(Fill(Tr("TImport", "%1: Fehler beim Lesen des Ordners (%2)"),
                                      {Show(s_.source), ec.message()}));
        }
        for (auto* list : {&found_.regs, &found_.stations, &found_.schemes, &found_.waves,
                           &found_.buffers, &found_.links})
            std::sort(list->begin(), list->end());
        std::stable_sort(folders.begin(), folders.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [depth, p] : folders) found_.folders.push_back(std::move(p));
    }

    std::optional<std::string> Read(const fs::path& p, std::size_t limit) {
        std::optional<std::string> bytes = platform::ReadFile(p, limit);
        if (!bytes)
            Damaged(p, Fill(Tr("TImport", "nicht lesbar oder größer als %1 Bytes"),
                            {std::to_string(limit)}));
        return bytes;
    }

    // ---- writing ------------------------------------------------------------

    fs::path BackupName(const fs::path& target) const {
        fs::path backup = target;
        backup += ".bak-" + stamp_;
        return platform::UniqueFileName(backup);
    }

    // Copies the file aside before it is replaced; false (reported) when that failed.
    bool Backup(const fs::path& target, fs::path* made = nullptr) {
        std::error_code ec;
        if (!fs::exists(target, ec)) return !ec;
        const fs::path backup = BackupName(target);
        if (backup.empty() || !fs::copy_file(target, backup, fs::copy_options::none, ec) || ec) {
            r_.failed = true;
            r_.leftOut.push_back(
                Fill(Tr("TImport", "%1: keine Sicherung möglich (%2); nicht ersetzt"),
                     {Show(target), ec.message()}));
            return false;
        }
        r_.backups.push_back(Show(target) + " → " + Show(backup));
        if (made) *made = backup;
        return true;
    }

    // Puts the bytes at target; an existing different file is backed up first.
    bool Install(const fs::path& source, const fs::path& target, const std::string& bytes) {
        std::error_code ec;
        if (std::error_code fec = platform::EnsureFolder(target.parent_path())) {
            WriteFailed(target, fec);
            return false;
        }
        if (fs::exists(target, ec)) {
            if (const auto old = platform::ReadFile(target, bytes.size()); old && *old == bytes) {
                r_.imported.push_back(Rel(source) + " → " + Show(target) + " " +
                                      Fill(Tr("TImport", "(schon vorhanden)")));
                return true;
            }
            if (!Backup(target)) return false;
        }
        if (std::error_code wec = platform::WriteFileAtomic(target, bytes, 0600)) {
            WriteFailed(target, wec);
            return false;
        }
        r_.imported.push_back(Rel(source) + " → " + Show(target));
        return true;
    }

    void WriteFailed(const fs::path& target, std::error_code ec) {
        r_.failed = true;
        r_.leftOut.push_back(Fill(Tr("TImport", "%1: kann nicht geschrieben werden (%2)"),
                                  {Show(target), ec.message()}));
    }

    // ---- wave files ---------------------------------------------------------

    void ImportWaves() {
        std::error_code ec;
        // Files already in the sound folder count for mapping, too.
        for (fs::directory_iterator it(soundFolder_, ec); !ec && it != fs::directory_iterator();
             it.increment(ec))
            if (it->is_regular_file(ec) && EndsWithNoCase(it->path().filename().string(), ".wav"))
                waves_.emplace(Fold(it->path().filename().string()), it->path());
        std::set<std::string> taken;
        for (const fs::path& p : found_.waves) {
            const std::string safe = TakeName(p, taken);
            if (safe.empty()) continue;
            const auto bytes = Read(p, kImportMaxWaveBytes);
            if (!bytes) continue;
            if (bytes->size() < 12 || bytes->compare(0, 4, "RIFF") != 0 ||
                bytes->compare(8, 4, "WAVE") != 0) {
                Damaged(p, Fill(Tr("TImport", "keine Wave-Datei")));
                continue;
            }
            const fs::path target = soundFolder_ / safe;
            if (Install(p, target, *bytes)) waves_[Fold(safe)] = target;
        }
    }

    // The wave file in the sound folder for a name of either platform.
    std::optional<fs::path> MapWave(std::string_view value) const {
        const std::string base = ForeignBaseName(value);
        if (base.empty()) return std::nullopt;
        const auto it = waves_.find(Fold(base));
        if (it == waves_.end()) return std::nullopt;
        return it->second;
    }

    // ---- folders ------------------------------------------------------------

    std::optional<fs::path> MapFolder(std::string_view value) const {
        const std::string base = Fold(ForeignBaseName(value));
        if (base.empty()) return std::nullopt;
        for (const fs::path& f : found_.folders)
            if (Fold(f.filename().string()) == base) return f;
        for (const fs::path& root : s_.searchFolders) {
            std::error_code ec;
            if (root.empty() || !fs::is_directory(root, ec)) continue;
            if (Fold(root.filename().string()) == base) return root;
            for (fs::directory_iterator it(root, ec); !ec && it != fs::directory_iterator();
                 it.increment(ec))
                if (it->is_directory(ec) && Fold(it->path().filename().string()) == base)
                    return it->path();
        }
        return std::nullopt;
    }

    // ---- settings -----------------------------------------------------------

    struct Op {
        platform::Hive hive;
        std::string key;  // full path
        std::string name;
        platform::RegValue value;
    };

    static std::string KeyPath(const std::vector<std::string>& parts) {
        std::string key(TConfig::kRootKey);
        for (const std::string& p : parts) key += "\\" + p;
        return key;
    }

    static const platform::regfile::Key* Walk(const platform::regfile::Key& root,
                                              std::initializer_list<std::string_view> path) {
        const platform::regfile::Key* k = &root;
        for (std::string_view part : path)
            if (!(k = k->Child(part))) return nullptr;
        return k;
    }

    // Keys with values that lie outside the program's keys.
    static void Foreign(const platform::regfile::Key& key, const std::string& path,
                        const std::set<const platform::regfile::Key*>& own,
                        std::vector<std::string>& out) {
        if (own.count(&key)) return;
        if (!key.values.empty()) out.push_back(path);
        for (const auto& [folded, child] : key.children)
            Foreign(*child, path + "\\" + child->name, own, out);
    }

    void Collect(platform::Hive hive, const platform::regfile::Key& key,
                 std::vector<std::string>& parts, const fs::path& file, std::vector<Op>& ops) {
        const bool device = hive == kLM && parts.size() == 2 && Fold(parts[0]) == "geraete";
        // Links of the last session of the other machine; its TNC does not hold them here.
        if (hive == kLM && parts.size() == 3 && Fold(parts[0]) == "geraete" &&
            std::all_of(parts[2].begin(), parts[2].end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            LeftOut(file, Fill(Tr("TImport", "%1: gespeicherte Verbindung der letzten Sitzung"),
                               {KeyPath(parts)}));
            return;
        }
        for (const auto& [name, value] : key.values) {
            Op op{hive, KeyPath(parts), name, value};
            const std::string folded = Fold(name);
            const std::string where = op.key + " \"" + name + "\"";
            if (hive == kCU && parts.empty() && folded == "dirty") {
                LeftOut(file, Fill(Tr("TImport", "%1: Laufzustand des alten Programms"), {where}));
                continue;
            }
            if (hive == kCU && parts.size() == 2 && Fold(parts[0]) == "klaenge" &&
                folded == "signalwavfile" && value.IsString() && !value.text.empty() &&
                (IsForeignPath(value.text) || !fs::path(value.text).is_absolute())) {
                if (const auto mapped = MapWave(value.text)) {
                    r_.mapped.push_back(where + ": " + value.text + " → " + mapped->string());
                    op.value = platform::RegValue::String(mapped->string());
                } else {
                    LeftOut(file, Fill(Tr("TImport", "%1: Wave-Datei %2 nicht gefunden"),
                                       {where, value.text}));
                    continue;
                }
            } else if (hive == kCU && parts.size() == 1 && Fold(parts[0]) == "ordner" &&
                       (folded == "empfang" || folded == "remote") && value.IsString() &&
                       IsForeignPath(value.text)) {
                // An unusable folder would fall back to another one, so it is left out.
                if (const auto mapped = MapFolder(value.text)) {
                    r_.mapped.push_back(where + ": " + value.text + " → " + mapped->string());
                    op.value = platform::RegValue::String(mapped->string());
                } else {
                    LeftOut(file, Fill(Tr("TImport", "%1: kein passender Ordner für %2"),
                                       {where, value.text}));
                    continue;
                }
            } else if (device && folded == "anschluss" && value.type == platform::kRegDword) {
                serial_.push_back({op.key, value.number, key.Value("Schnittstelle") != nullptr});
            } else if (device && folded == "schnittstelle" && value.IsString()) {
                std::error_code ec;
                if (!fs::exists(value.text, ec))
                    r_.review.push_back(
                        Fill(Tr("TImport", "%1: %2 gibt es auf diesem Rechner nicht"),
                             {where, value.text}));
            } else if (value.IsString() && IsForeignPath(value.text)) {
                r_.review.push_back(Fill(Tr("TImport", "%1: Pfad unverändert übernommen: %2"),
                                         {where, value.text}));
            }
            ops.push_back(std::move(op));
        }
        for (const auto& [folded, child] : key.children) {
            parts.push_back(child->name);
            Collect(hive, *child, parts, file, ops);
            parts.pop_back();
        }
    }

    struct Serial {
        std::string key;
        std::uint32_t port;
        bool hasPath;
    };

    // "COMn" maps to a serial adapter only when the import names one port and
    // exactly one adapter is plugged in; anything else is for the operator.
    void MapSerialPorts(std::vector<Op>& ops) {
        std::set<std::uint32_t> ports;
        for (const Serial& s : serial_)
            if (!s.hasPath) ports.insert(s.port);
        if (ports.empty()) return;
        std::vector<fs::path> adapters;
        std::error_code ec;
        for (fs::directory_iterator it(s_.serialFolder, ec); !ec && it != fs::directory_iterator();
             it.increment(ec))
            adapters.push_back(it->path());
        for (const Serial& s : serial_) {
            if (s.hasPath) continue;
            const std::string com = "COM" + std::to_string(s.port);
            if (ports.size() == 1 && adapters.size() == 1) {
                ops.push_back({kLM, s.key, "Schnittstelle",
                               platform::RegValue::String(adapters.front().string())});
                r_.mapped.push_back(s.key + ": " + com + " → " + adapters.front().string());
            } else {
                const std::string fallback =
                    "/dev/ttyS" + std::to_string(s.port > 0 ? s.port - 1 : 0);
                r_.review.push_back(Fill(
                    Tr("TImport",
                       "%1: %2 keiner Schnittstelle eindeutig zuzuordnen (%3 Adapter gefunden); "
                       "Tarvo nimmt %4, bitte im Gerätedialog wählen"),
                    {s.key, com, std::to_string(adapters.size()), fallback}));
            }
        }
    }

    void ImportSettings() {
        std::vector<Op> ops;
        std::vector<fs::path> sources;
        std::vector<std::string> counts;  // reported once the values are stored
        for (const fs::path& file : found_.regs) {
            const auto bytes = Read(file, platform::regfile::kMaxFileSize);
            if (!bytes) continue;
            platform::regfile::ParseResult parsed = platform::regfile::Parse(*bytes);
            if (!parsed.problems.empty()) {
                Damaged(file,
                        Fill(Tr("TImport", "beschädigt, nicht übernommen: %1 (%2 Fehler)"),
                             {parsed.problems.front(), std::to_string(parsed.problems.size())}));
                continue;
            }
            std::vector<std::string> foreign = parsed.otherHives;
            std::vector<Op> fileOps;
            for (platform::Hive hive : {kCU, kLM}) {
                const platform::regfile::Key& root = parsed.tree.Root(hive);
                std::set<const platform::regfile::Key*> own;
                // A 32-bit program on 64-bit Windows keeps its machine keys here.
                for (const auto* k :
                     {Walk(root, {"Software", "Morvane", "Tarvo"}),
                      hive == kLM ? Walk(root, {"Software", "WOW6432Node", "Morvane", "Tarvo"})
                                  : nullptr}) {
                    if (!k || own.count(k)) continue;
                    own.insert(k);
                    std::vector<std::string> parts;
                    Collect(hive, *k, parts, file, fileOps);
                }
                Foreign(root, root.name, own, foreign);
            }
            for (std::size_t i = 0; i < foreign.size() && i < kMaxListedKeys; ++i)
                LeftOut(file, Fill(Tr("TImport", "%1: nicht Tarvos Schlüssel"), {foreign[i]}));
            if (foreign.size() > kMaxListedKeys)
                LeftOut(file, Fill(Tr("TImport", "%1 weitere fremde Schlüssel"),
                                   {std::to_string(foreign.size() - kMaxListedKeys)}));
            counts.push_back(Fill(Tr("TImport", "%1: %2 Einstellungen"),
                                  {Rel(file), std::to_string(fileOps.size())}));
            for (Op& op : fileOps) ops.push_back(std::move(op));
            sources.push_back(file);
        }
        if (sources.empty() || !s_.registry) return;
        MapSerialPorts(ops);

        platform::IRegistry& reg = *s_.registry;
        std::error_code ec;
        if (!s_.settingsFile.empty() && fs::exists(s_.settingsFile, ec)) {
            if (std::error_code fec = reg.Flush()) {
                WriteFailed(s_.settingsFile, fec);
                return;
            }
            if (!Backup(s_.settingsFile)) return;
        }
        std::size_t failedValues = 0;
        for (Op& op : ops)
            if (!reg.SetValue(op.hive, op.key, op.name, std::move(op.value))) ++failedValues;
        if (failedValues > 0) {
            r_.failed = true;
            r_.leftOut.push_back(
                Fill(Tr("TImport", "%1 Einstellungen konnten nicht gespeichert werden"),
                     {std::to_string(failedValues)}));
        }
        if (std::error_code fec = reg.Flush()) {
            WriteFailed(s_.settingsFile, fec);
            return;
        }
        for (std::string& line : counts) r_.imported.push_back(std::move(line));
    }

    // ---- sound schemes ------------------------------------------------------

    void ImportSchemes() {
        std::set<std::string> taken;
        for (const fs::path& p : found_.schemes) {
            const std::string safe = TakeName(p, taken);
            if (safe.empty()) continue;
            const auto bytes = Read(p, kImportMaxSchemeBytes);
            if (!bytes) continue;
            const std::string text =
                platform::regfile::ValidText(*bytes) ? *bytes : platform::Cp1252ToUtf8(*bytes);
            resources::TSoundScheme scheme = resources::ParseSoundScheme(text, {});
            if (scheme.empty()) {
                Damaged(p, Fill(Tr("TImport", "kein Soundschema")));
                continue;
            }
            for (auto& [event, entry] : scheme) {
                if (entry.waveFile.empty()) continue;
                if (const auto mapped = MapWave(entry.waveFile)) {
                    r_.mapped.push_back(Rel(p) + " " + std::to_string(event) + ": " +
                                        entry.waveFile + " → " + mapped->string());
                    entry.waveFile = mapped->string();
                } else {
                    r_.review.push_back(
                        Fill(Tr("TImport", "%1: Wave-Datei %2 nicht gefunden"),
                             {Rel(p) + " " + std::to_string(event), entry.waveFile}));
                }
            }
            Install(p, soundFolder_ / safe, resources::FormatSoundScheme(scheme, soundFolder_));
        }
    }

    // ---- station database ---------------------------------------------------

    void ImportStations() {
        if (found_.stations.empty()) return;
        // The copy in "Database" is the one the old program used.
        auto chosen = std::find_if(
            found_.stations.begin(), found_.stations.end(),
            [](const auto& p) { return Fold(p.parent_path().filename().string()) == "database"; });
        if (chosen == found_.stations.end()) chosen = found_.stations.begin();
        for (auto it = found_.stations.begin(); it != found_.stations.end(); ++it)
            if (it != chosen)
                LeftOut(*it, Fill(Tr("TImport", "weitere Stationendatenbank, nicht übernommen")));
        const fs::path& p = *chosen;
        const auto bytes = Read(p, stations::TStationenDatenbank::kMaxFileBytes);
        if (!bytes) return;
        platform::CompoundRead read =
            platform::ReadCompound(*bytes, stations::TStationenDatenbank::kStreamLimit);
        if (!read.readable || read.skipped > 0) {
            Damaged(p, Fill(Tr("TImport",
                               "beschädigt oder keine Stationendatenbank; nicht übernommen")));
            return;
        }
        if (read.truncated > 0)
            r_.review.push_back(
                Fill(Tr("TImport", "%1: %2 Einträge länger als Tarvo liest; sie werden gekürzt"),
                     {Rel(p), std::to_string(read.truncated)}));
        const bool remapped = MapStationSounds(read.root, p);
        std::size_t stations = read.root.Size();
        if (read.root.Contains("[ alle ]")) --stations;  // the database drops it at opening
        const fs::path target = stations::StationenDatenbankFile(s_.dataFolder);
        if (s_.replaceStations) {
            const fs::path backup = BackupName(target);
            if (backup.empty() || !s_.replaceStations(std::move(read.root), backup)) {
                WriteFailed(target, std::make_error_code(std::errc::io_error));
                return;
            }
            r_.backups.push_back(Show(target) + " → " + Show(backup));
            r_.imported.push_back(Rel(p) + " → " + Show(target));
        } else {
            const std::string out = remapped ? platform::WriteCompound(read.root) : *bytes;
            if (out.empty()) {
                WriteFailed(target, std::make_error_code(std::errc::io_error));
                return;
            }
            if (!Install(p, target, out)) return;
        }
        r_.imported.push_back(
            Fill(Tr("TImport", "%1: %2 Stationen"), {Rel(p), std::to_string(stations)}));
    }

    // The stations' own wave files ("S00" to "S19": signal, file, announcement);
    // true when one was mapped.
    bool MapStationSounds(platform::CompoundStorage& root, const fs::path& file) {
        bool changed = false;
        auto digit = [](char c) { return c >= '0' && c <= '9'; };
        for (const std::string& key : root.Names()) {
            platform::CompoundStorage* station = root.Storage(key);
            if (!station) continue;
            for (const std::string& name : station->Names()) {
                if (name.size() != 3 || (name[0] != 'S' && name[0] != 's') || !digit(name[1]) ||
                    !digit(name[2]))
                    continue;
                const std::string* data = station->Stream(name);
                if (!data) continue;
                std::vector<std::string> items = FromCommaText(*data);
                if (items.size() != 3 || items[1].empty()) continue;
                const std::string wave = platform::regfile::ValidText(items[1])
                                             ? items[1]
                                             : platform::Cp1252ToUtf8(items[1]);
                if (!IsForeignPath(wave) && fs::path(wave).is_absolute()) continue;
                const std::string where = Rel(file) + " " + key + " " + name;
                if (const auto mapped = MapWave(wave)) {
                    items[1] = mapped->string();
                    station->SetStream(name, ToCommaText(items));
                    r_.mapped.push_back(where + ": " + wave + " → " + mapped->string());
                    changed = true;
                } else {
                    r_.review.push_back(
                        Fill(Tr("TImport", "%1: Wave-Datei %2 nicht gefunden"), {where, wave}));
                }
            }
        }
        return changed;
    }

    // ---- channel buffers ----------------------------------------------------

    void ImportBuffers() {
        if (found_.buffers.empty()) return;
        const int rows = s_.registry
                             ? static_cast<int>(std::clamp<std::int64_t>(
                                   s_.registry->ReadDWord(kCU, TConfig::kRootKey, "ConsoleRows")
                                       .value_or(TConfig::kDefaultConsoleRows),
                                   TConfig::kMinConsoleRows, TConfig::kMaxConsoleRows))
                             : TConfig::kDefaultConsoleRows;
        // The channels' consoles are 80 columns wide.
        constexpr int kCols = 80;
        const std::size_t limit = channels::ConsoleAllocSize(kCols, TConfig::kMaxConsoleRows);
        std::set<int> taken;
        for (const fs::path& p : found_.buffers) {
            if (s_.buffersInUse) {
                LeftOut(p, Fill(Tr("TImport",
                                   "Tarvo läuft und benutzt die Pufferdateien; "
                                   "mit \"tarvo --import\" übernehmen, während "
                                   "Tarvo beendet ist")));
                continue;
            }
            const int channel = BufferChannel(p.filename().string());
            if (!taken.insert(channel).second) {
                LeftOut(p, Fill(Tr("TImport", "Puffer dieses Kanals wurde schon übernommen")));
                continue;
            }
            const auto bytes = Read(p, limit);
            if (!bytes) continue;
            if (bytes->size() < channels::kConsoleHeaderSize) {
                Damaged(p, Fill(Tr("TImport", "zu kurz für eine Pufferdatei")));
                continue;
            }
            const std::uint32_t version = Le32(*bytes, 64);
            std::uint64_t fileRows = Le32(*bytes, 72);
            if (fileRows == 0) fileRows = TConfig::kDefaultConsoleRows;
            const int n =
                static_cast<int>(std::min<std::uint64_t>(fileRows, TConfig::kMaxConsoleRows));
            // Made at the allocation size; the layout is what must be there.
            if ((version != 4 && version != 5) || fileRows > TConfig::kMaxConsoleRows ||
                bytes->size() < channels::ConsoleLayoutSize(kCols, n) ||
                bytes->size() > channels::ConsoleAllocSize(kCols, n) ||
                Le32(*bytes, 76) >= fileRows || Le32(*bytes, 84) >= fileRows ||
                Le32(*bytes, 80) > static_cast<std::uint32_t>(kCols)) {
                Damaged(p, Fill(Tr("TImport", "keine gültige Pufferdatei")));
                continue;
            }
            if (fileRows != static_cast<std::uint64_t>(rows)) {
                LeftOut(p, Fill(Tr("TImport",
                                   "für %1 Zeilen angelegt, Tarvo nutzt %2 (Einstellung "
                                   "\"ConsoleRows\"); Tarvo würde sie leeren"),
                                {std::to_string(fileRows), std::to_string(rows)}));
                continue;
            }
            Install(p, s_.dataFolder / "Text Buffers" / channels::ConsoleBufferFileName(channel),
                    *bytes);
        }
    }

    // ---- report -------------------------------------------------------------

    void WriteReport() {
        const fs::path file =
            platform::UniqueFileName(s_.dataFolder / ("import-" + stamp_ + ".txt"));
        std::string text =
            Fill(Tr("TImport", "Import aus %1"), {Show(s_.source)}) + "\n\n" + r_.Text();
        if (file.empty() || platform::EnsureFolder(s_.dataFolder) ||
            platform::WriteFileAtomic(file, text, 0600)) {
            r_.failed = true;
            DebOutObj(kClass, "Import", "Bericht nicht geschrieben");
            return;
        }
        r_.reportFile = file;
    }

    const TImportSetup& s_;
    std::string stamp_;
    fs::path soundFolder_;
    Found found_;
    std::map<std::string, fs::path> waves_;  // by folded name
    std::vector<Serial> serial_;
    TImportReport r_;
};

}  // namespace

std::string TImportReport::Text() const {
    std::string out;
    auto section = [&](const std::string& title, const std::vector<std::string>& lines) {
        if (lines.empty()) return;
        out += Fill(title) + "\n";
        for (const std::string& l : lines) out += "  " + l + "\n";
        out += "\n";
    };
    section(Tr("TImport", "Importiert:"), imported);
    section(Tr("TImport", "Zugeordnet:"), mapped);
    section(Tr("TImport", "Ausgelassen:"), leftOut);
    section(Tr("TImport", "Bitte prüfen:"), review);
    section(Tr("TImport", "Sicherungen:"), backups);
    if (failed) out += Fill(Tr("TImport", "Der Import ist nicht vollständig gelungen.")) + "\n";
    if (!imported.empty())
        out += Fill(Tr("TImport",
                       "Die übernommenen Einstellungen gelten ab dem nächsten Start von Tarvo.")) +
               "\n";
    return out;
}

TImportReport Importiere(const TImportSetup& setup) {
    return Importer(setup).Run();
}

std::string ForeignBaseName(std::string_view path) {
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
    const std::size_t sep = path.find_last_of("\\/");
    std::string_view base = sep == std::string_view::npos ? path : path.substr(sep + 1);
    // "C:" alone is a drive, not a name.
    if (base.size() == 2 && base[1] == ':') return {};
    if (base == "." || base == "..") return {};
    return std::string(base);
}

bool IsForeignPath(std::string_view path) {
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive || path.find('\\') != std::string_view::npos;
}

}  // namespace tarvo::core
