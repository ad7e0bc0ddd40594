#include "filesend/DateiSendenDlgLogikU.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "core/GlobalU.h"
#include "core/TrU.h"

namespace tarvo::filesend {

namespace fs = std::filesystem;

namespace {

constexpr const char* kContext = "TDateiSendenDlg";

std::string ReplaceS(std::string format, std::string_view value) {
    const std::size_t at = format.find("%s");
    if (at != std::string::npos) format.replace(at, 2, value);
    return format;
}

std::int64_t SizeOf(const fs::path& name) {
    std::error_code ec;
    if (!fs::is_regular_file(name, ec)) return 0;
    const std::uintmax_t size = fs::file_size(name, ec);
    return ec ? 0 : static_cast<std::int64_t>(size);
}

}  // namespace

bool PartSizeValid(int kib) {
    return kib >= kMinPartSizeKiB && kib <= kMaxDlgPartSizeKiB;
}

int ClampPartSize(int kib) {
    return std::clamp(kib, kMinPartSizeKiB, kMaxDlgPartSizeKiB);
}

int PartCount(std::int64_t size, int kib) {
    if (!PartSizeValid(kib)) return 0;
    if (size <= 0) return 1;
    return static_cast<int>((size - 1) / (std::int64_t{kib} * 1024) + 1);
}

std::string PartCountText(std::int64_t size, int kib) {
    return PartSizeValid(kib) ? std::to_string(PartCount(size, kib)) : "-";
}

std::string SizeText(std::int64_t size) {
    const std::int64_t kib = size <= 0 ? 0 : (size - 1) / 1024 + 1;
    return std::to_string(kib) + " kB";
}

bool TSendeDatei::PartSelected(int index) const {
    if (allParts) return index >= 0 && index < parts;
    return index >= 0 && static_cast<std::size_t>(index) < selected.size() &&
           selected[static_cast<std::size_t>(index)];
}

std::string PartRuns(const std::vector<bool>& selected) {
    std::string out;
    const std::size_t n = selected.size();
    for (std::size_t i = 0; i < n;) {
        if (!selected[i]) {
            ++i;
            continue;
        }
        std::size_t last = i;
        while (last + 1 < n && selected[last + 1]) ++last;
        if (!out.empty()) out += ", ";
        out += std::to_string(i + 1);
        if (last > i) out += ".." + std::to_string(last + 1);
        i = last + 1;
    }
    return out;
}

std::string PartRemark(const TSendeDatei& file) {
    if (file.allParts) return {};
    const auto chosen = std::count(file.selected.begin(), file.selected.end(), true);
    if (chosen == 0) return core::Tr(kContext, "keine Teile ausgewählt");
    const std::string runs = PartRuns(file.selected);
    return ReplaceS(core::Tr(kContext, chosen == 1 ? "nur Teil %s." : "nur Teile %s."), runs);
}

void ToggleChecks(std::vector<bool>& checks, const std::vector<int>& selectedLines) {
    const auto valid = [&](int line) {
        return line >= 0 && static_cast<std::size_t>(line) < checks.size();
    };
    bool all = true;
    for (const int line : selectedLines)
        if (valid(line) && !checks[static_cast<std::size_t>(line)]) all = false;
    for (const int line : selectedLines)
        if (valid(line)) checks[static_cast<std::size_t>(line)] = !all;
}

// --- the file list ---------------------------------------------------------------

TSendeDatei TSendeDateiListe::NewFile(const fs::path& name) const {
    TSendeDatei file;
    file.name = name;
    file.size = SizeOf(name);
    file.parts = std::max(1, PartCount(file.size, partSizeKiB_));
    return file;
}

void TSendeDateiListe::Update(const std::vector<fs::path>& names) {
    std::vector<TSendeDatei> next;
    next.reserve(names.size());
    for (const fs::path& name : names) {
        const auto same = [&](const TSendeDatei& f) { return f.name == name; };
        if (std::any_of(next.begin(), next.end(), same)) continue;
        const auto old = std::find_if(items_.begin(), items_.end(), same);
        next.push_back(old != items_.end() ? std::move(*old) : NewFile(name));
    }
    items_ = std::move(next);
}

void TSendeDateiListe::SetPartSize(int kib) {
    if (!PartSizeValid(kib)) return;
    partSizeKiB_ = kib;
    for (TSendeDatei& file : items_) {
        file.parts = std::max(1, PartCount(file.size, kib));
        if (!file.allParts) file.selected.resize(static_cast<std::size_t>(file.parts), false);
    }
}

void TSendeDateiListe::SetParts(int index, const std::vector<bool>& checks) {
    if (index < 0 || index >= Count()) return;
    TSendeDatei& file = items_[static_cast<std::size_t>(index)];
    std::vector<bool> selected = checks;
    selected.resize(static_cast<std::size_t>(file.parts), false);
    file.allParts = std::all_of(selected.begin(), selected.end(), [](bool b) { return b; });
    file.selected = file.allParts ? std::vector<bool>{} : std::move(selected);
}

std::vector<bool> TSendeDateiListe::Checks(int index) const {
    if (index < 0 || index >= Count()) return {};
    const TSendeDatei& file = items_[static_cast<std::size_t>(index)];
    std::vector<bool> checks(static_cast<std::size_t>(file.parts));
    for (int i = 0; i < file.parts; ++i) checks[static_cast<std::size_t>(i)] = file.PartSelected(i);
    return checks;
}

void AddNames(std::vector<fs::path>& names, const std::vector<fs::path>& add) {
    for (const fs::path& name : add)
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

// --- dropped names ---------------------------------------------------------------

namespace {

// The regular files below folder, without following links and without
// sub-folders named with a leading dot; sorted, so the list does not depend on
// the order the folder returns.
void FilesBelow(const fs::path& folder, std::vector<fs::path>& out, std::size_t limit,
                bool& truncated) {
    std::vector<fs::path> found;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code e;
        const fs::file_status status = it->symlink_status(e);
        if (e) continue;
        if (fs::is_directory(status)) {
            const std::string name = it->path().filename().string();
            if (!name.empty() && name.front() == '.') it.disable_recursion_pending();
            continue;
        }
        if (!fs::is_regular_file(status)) continue;  // links, pipes, devices
        if (found.size() + out.size() >= limit) {
            truncated = true;
            break;
        }
        found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
}

}  // namespace

std::vector<fs::path> ExpandDropped(const std::vector<fs::path>& dropped, bool* truncated) {
    std::vector<fs::path> out;
    bool cut = false;
    for (const fs::path& name : dropped) {
        if (out.size() >= kMaxDroppedFiles) {
            cut = true;
            break;
        }
        std::error_code ec;
        // The dropped name itself is what the operator picked: it may be a link.
        if (fs::is_directory(name, ec))
            FilesBelow(name, out, kMaxDroppedFiles, cut);
        else
            out.push_back(name);
    }
    if (truncated) *truncated = cut;
    return out;
}

// --- text ----------------------------------------------------------------------------

std::string TextToSend(const std::vector<std::string>& lines, bool wrap) {
    std::string out;
    for (const std::string& line : lines) {
        // The same breaks as typed lines get on the connection.
        out += wrap ? core::WrapText(line, "\r", " \r\n", kTextWrapColumn) : line;
        out += '\r';
    }
    return out;
}

std::string MailboxText(std::string_view field) {
    const std::vector<std::string> lines = core::TextLines(field);
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += "\r\n";
        out += lines[i];
    }
    if (lines.empty()) return out;
    const char last = field.back();
    // A field ending in a line end keeps it; otherwise the last line gets its CR.
    out += last == '\r' || last == '\n' ? "\r\n" : "\r";
    return out;
}

std::string FieldText(std::string_view stored) {
    std::string out;
    const std::vector<std::string> lines = core::TextLines(stored);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += '\n';
        out += lines[i];
    }
    if (!stored.empty() && (stored.back() == '\r' || stored.back() == '\n')) out += '\n';
    return out;
}

bool FileReadable(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return false;
    std::ifstream in(file, std::ios::binary);
    return in.is_open();
}

}  // namespace tarvo::filesend
