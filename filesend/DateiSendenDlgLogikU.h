// The rules behind the send dialog: the list of files with their parts, the
// part size, the remark on chosen parts, dropped folders, and typed text and
// mailbox texts in the form the pre-processor takes. No widgets here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::filesend {

// Part size in KiB: what the field accepts, and what it starts with.
inline constexpr int kMinPartSizeKiB = 5;
inline constexpr int kMaxDlgPartSizeKiB = 10240;
inline constexpr int kDefaultPartSizeKiB = 32;
// Typed text is wrapped at this column when the operator asks for it.
inline constexpr int kTextWrapColumn = 78;
// A dropped folder contributes at most this many files; the rest is left out.
inline constexpr std::size_t kMaxDroppedFiles = 1000;

bool PartSizeValid(int kib);
// Into 5..10240, as when the field is left.
int ClampPartSize(int kib);
// (size - 1) / (kib * 1024) + 1; 0 while the part size is out of range.
int PartCount(std::int64_t size, int kib);
// The number of parts as the list shows it: "-" while the part size is out of range.
std::string PartCountText(std::int64_t size, int kib);
// "%d kB", the size rounded up to whole KiB.
std::string SizeText(std::int64_t size);

// One file of the list.
struct TSendeDatei {
    std::filesystem::path name;
    std::int64_t size = 0;  // 0 when the file cannot be found
    int parts = 1;
    bool allParts = true;
    std::vector<bool> selected;  // one per part while not all parts go

    bool PartSelected(int index) const;
};

// Runs of consecutive parts (1-based): {1, 2, 3, 5} gives "1..3, 5".
std::string PartRuns(const std::vector<bool>& selected);
// The remark on a file's parts (code page 1252): empty when all go, else
// "keine Teile ausgewählt", "nur Teil %s." or "nur Teile %s.".
std::string PartRemark(const TSendeDatei& file);

// Space or a click in the check area of the part chooser: the selected lines
// are checked, unless all of them already are; then they are cleared.
void ToggleChecks(std::vector<bool>& checks, const std::vector<int>& selectedLines);

class TSendeDateiListe {
  public:
    const std::vector<TSendeDatei>& Items() const { return items_; }
    int Count() const { return static_cast<int>(items_.size()); }
    int PartSize() const { return partSizeKiB_; }

    // The list becomes these files in this order. A file that stays keeps its
    // part choice; a new one gets its size and all parts. Names are compared
    // exactly (two names differing in case are two files); duplicates go.
    void Update(const std::vector<std::filesystem::path>& names);
    // The parts follow a new part size; a size out of range changes nothing.
    // A file keeps the parts it had chosen that still exist; new parts are
    // not chosen.
    void SetPartSize(int kib);
    // The chooser's result: when every part is checked, the file sends all.
    void SetParts(int index, const std::vector<bool>& checks);
    // The checks the chooser starts with.
    std::vector<bool> Checks(int index) const;

  private:
    TSendeDatei NewFile(const std::filesystem::path& name) const;
    std::vector<TSendeDatei> items_;
    int partSizeKiB_ = kDefaultPartSizeKiB;
};

// Adds to `names` the names not yet in it (exact comparison), in order.
void AddNames(std::vector<std::filesystem::path>& names,
              const std::vector<std::filesystem::path>& add);

// Dropped names as files to send: a file as it is; a folder by every regular
// file below it, sub-folders whose names begin with '.' left out. Inside a
// folder no symbolic link is followed (no loops, nothing outside the dropped
// tree), and only regular files count. At most kMaxDroppedFiles; *truncated
// tells when some were left out.
std::vector<std::filesystem::path> ExpandDropped(const std::vector<std::filesystem::path>& dropped,
                                                 bool* truncated = nullptr);

// The lines as they are sent, each ended with CR; with wrap, lines longer than
// kTextWrapColumn are broken at blanks with CR.
std::string TextToSend(const std::vector<std::string>& lines, bool wrap);
// A mailbox text from its field: the lines with CR LF, and a CR at the end
// when the last line has no line end. Empty stays empty.
std::string MailboxText(std::string_view field);
// A stored text for the field: CR LF and CR become LF.
std::string FieldText(std::string_view stored);

// Can the file be opened for reading now (a regular file)?
bool FileReadable(const std::filesystem::path& file);

}  // namespace tarvo::filesend
