#include "filesend/DateiSendenPraeprozessorU.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <system_error>
#include <utility>

#include "connection/BinSplitPartU.h"
#include "connection/CrcU.h"
#include "connection/FileStreamQamU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "filesend/DateiSendenU.h"
#include "platform/CodePage.h"
#include "platform/FileTime.h"
#include "platform/Files.h"

namespace tarvo::filesend {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kClass = "TDateiSendenPraeprozessor";
// Part files are made under this prefix; only such files are removed at start.
constexpr std::string_view kTempPrefix = "part-";
// Signing reads the whole text into memory.
constexpr std::int64_t kMaxSignedText = 16 << 20;

void Log(std::string_view method, std::string_view text) {
    core::DebOutObj(kClass, method, text);
}

void AddError(std::string& errors, std::string_view text) {
    if (!errors.empty()) errors += '\r';
    errors += text;
}

std::string TwoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%2.2d", n);
    return buf;
}

// "yyyymmddhhmmss" of the file's modification time; the start of 1970 when
// it cannot be read.
std::string DateText(const std::optional<fs::path>& file) {
    std::int64_t seconds = 0;
    if (file)
        if (const auto t = platform::FileModifiedLocalSeconds(*file)) seconds = *t;
    const core::TDateTime d = core::UnixSecondsToDateTime(seconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", d.year, d.month, d.day, d.hour,
                  d.minute, d.second);
    return buf;
}

std::optional<fs::path> DefaultTempFile() {
    std::error_code ec;
    auto path = platform::CreateTempFile(TempFolder(), kTempPrefix, &ec);
    if (!path) Log("BinSplit", "Temp-Pfad: Fehler (" + ec.message() + ")");
    return path;
}

}  // namespace

fs::path TempFolder() {
    const fs::path& data = core::ApplicationDataFolder();
    return data.empty() ? fs::path() : data / "Temp";
}

int RemoveOrphanTempFiles(const fs::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind(kTempPrefix, 0) != 0) continue;
        std::error_code e;
        if (it->symlink_status(e).type() != fs::file_type::regular) continue;
        if (fs::remove(it->path(), e)) ++removed;
    }
    if (removed > 0)
        Log("RemoveOrphanTempFiles", std::to_string(removed) + " in " + folder.string());
    return removed;
}

std::string Expand(std::string_view text, std::string_view sourceName,
                   std::string_view partFileName, int parts, int part) {
    std::string out = core::ExpandPlaceholders(text, [&](char letter, std::string& o) {
        switch (core::AsciiUpper(letter)) {
            case 'O':
                o += sourceName;
                break;
            case 'N':
                o += partFileName;
                break;
            case 'P':
                o += TwoDigits(part);
                break;
            case 'Q':
                o += TwoDigits(parts);
                break;
            default:
                break;
        }
    });
    if (!out.empty() && out.back() != '\r') out += '\r';
    return out;
}

std::string PartFileName(std::string_view fileName, int part) {
    const std::size_t dot = fileName.rfind('.');
    if (dot != std::string_view::npos && dot > 0) fileName = fileName.substr(0, dot);
    char ext[8];
    std::snprintf(ext, sizeof ext, ".b%02x", static_cast<unsigned>(part) & 0xFFu);
    return std::string(fileName) + ext;
}

// --- The pre-processor -------------------------------------------------------

TDateiSendenPraeprozessor::TDateiSendenPraeprozessor() = default;
TDateiSendenPraeprozessor::~TDateiSendenPraeprozessor() = default;

void TDateiSendenPraeprozessor::SetStream(std::unique_ptr<core::TStream> stream) {
    stream_ = std::move(stream);
    file_.reset();
}

void TDateiSendenPraeprozessor::SetFileName(std::string fileName) {
    fileName_ = std::move(fileName);
}

void TDateiSendenPraeprozessor::SetFile(const fs::path& file) {
    stream_.reset();
    file_ = file;
    fileName_ = file.string();
}

void TDateiSendenPraeprozessor::SetVerbindung(std::shared_ptr<core::IVerbindung> verbindung) {
    verbindung_ = std::move(verbindung);
}

void TDateiSendenPraeprozessor::SetProtokoll(std::int32_t protokoll) {
    protokoll_ = protokoll;
}

void TDateiSendenPraeprozessor::SetSign(bool sign) {
    sign_ = sign;
}

void TDateiSendenPraeprozessor::SetPGPKey(std::string fingerprint) {
    pgpKey_ = std::move(fingerprint);
}

void TDateiSendenPraeprozessor::SetPGPPassword(std::string password) {
    pgpPassword_ = std::move(password);
}

void TDateiSendenPraeprozessor::SetPGPComment(std::string comment) {
    pgpComment_ = std::move(comment);
}

void TDateiSendenPraeprozessor::SetPartSize(int kib) {
    partSizeKiB_ = kib;
}

void TDateiSendenPraeprozessor::SetTextBefore(std::string_view text) {
    textBefore_ = text;
}

void TDateiSendenPraeprozessor::SetTextAfter(std::string_view text) {
    textAfter_ = text;
}

void TDateiSendenPraeprozessor::SetPartCount(int count) {
    partCount_ = std::clamp(count, 0, kMaxParts);
    selected_.assign(allParts_ ? 0 : static_cast<std::size_t>(partCount_), false);
}

void TDateiSendenPraeprozessor::SetAllParts(bool all) {
    allParts_ = all;
    selected_.resize(all ? 0 : static_cast<std::size_t>(partCount_), false);
}

void TDateiSendenPraeprozessor::SetPartSelected(int index, bool selected) {
    if (index >= 0 && static_cast<std::size_t>(index) < selected_.size())
        selected_[static_cast<std::size_t>(index)] = selected;
}

void TDateiSendenPraeprozessor::SetTempFileMaker(TTempFileMaker make) {
    makeTempFile_ = std::move(make);
}

bool TDateiSendenPraeprozessor::PartWanted(int part) const {
    if (allParts_) return true;
    const auto i = static_cast<std::size_t>(part - 1);
    return i < selected_.size() && selected_[i];
}

// The name without folder as it is announced and written into part headers:
// a line end or a zero byte in it would break the header.
std::string TDateiSendenPraeprozessor::SourceName() const {
    if (fileName_ == "???") return fileName_;
    return SendNameOf(platform::Utf8ToCp1252(fileName_));
}

std::shared_ptr<core::IDateiSenden> TDateiSendenPraeprozessor::NewJob(std::string* error) {
    if (file_) return CreateFileJob(verbindung_, *file_, protokoll_, error);
    if (!stream_) {
        *error = core::Tr("TDateiSendenPraeprozessor", "Nichts zu senden.");
        return nullptr;
    }
    std::int64_t size = 0;
    try {
        size = stream_->GetSize();
    } catch (const core::TStreamError& e) {
        *error = core::FillArgs(core::Tr("TDateiSendenPraeprozessor", "Daten nicht lesbar: %1"),
                                {e.what()});
        return nullptr;
    }
    auto job = TDateiSenden::Create(verbindung_);
    job->SetFileName(fileName_);
    job->SetProtokoll(protokoll_);
    job->SetStream(std::move(stream_));
    job->SetSize(size);
    return job;
}

bool TDateiSendenPraeprozessor::Enqueue(const std::shared_ptr<core::IDateiSenden>& job,
                                        std::string* error) {
    const auto queue = verbindung_ ? verbindung_->DateiSendenQueue() : nullptr;
    if (queue && queue->TryEnQueue(job)) return true;
    job->Release();
    AddError(*error,
             core::Tr("TDateiSendenPraeprozessor", "Zu viele Dateien warten auf diesem Kanal:") +
                 "\r" + job->GetSendName());
    return false;
}

TPraeprozessorErgebnis TDateiSendenPraeprozessor::Run() {
    if (ran_) return {0, "Schon gelaufen."};
    ran_ = true;
    if (!verbindung_ || !verbindung_->DateiSendenQueue())
        return {0, core::Tr("TDateiSendenPraeprozessor", "Keine Verbindung auf diesem Kanal.")};
    if (protokoll_ == kProtokollText) return RunText();
    if (partSizeKiB_ <= 0 || (protokoll_ != kProtokollAutobin && protokoll_ != kProtokollDidadit))
        return RunWhole();
    return RunSplit();
}

TPraeprozessorErgebnis TDateiSendenPraeprozessor::RunWhole() {
    TPraeprozessorErgebnis result;
    const auto job = NewJob(&result.error);
    if (!job) return result;
    const std::string name = SourceName();
    job->SetTextBefore(Expand(textBefore_, name, name, 1, 1));
    job->SetTextAfter(Expand(textAfter_, name, name, 1, 1));
    if (Enqueue(job, &result.error)) result.queued = 1;
    return result;
}

TPraeprozessorErgebnis TDateiSendenPraeprozessor::RunText() {
    TPraeprozessorErgebnis result;
    const auto job = NewJob(&result.error);
    if (!job) return result;
    if (job->GetSize() <= 0) {
        // An empty text would send only the texts around it: an empty message.
        job->Release();
        result.error =
            core::Tr("TDateiSendenPraeprozessor", "Der Text ist leer, es wird nichts gesendet.");
        return result;
    }
    if (sign_) {
        std::string text;
        try {
            if (job->GetSize() > kMaxSignedText)
                throw std::runtime_error("Text zu gro\xDF zum Signieren");
            core::TStream* source = job->GetStream();
            if (!source) throw core::TStreamError("Datei nicht lesbar");
            source->SetPosition(0);
            text.resize(static_cast<std::size_t>(job->GetSize()));
            source->ReadBuffer(text.data(), text.size());
            const auto pgp = core::CreatePGP();
            if (!pgp) throw std::runtime_error("PGP nicht installiert");
            // The signer gets the text as it is, without a terminating zero byte.
            text = pgp->Sign(pgpKey_, pgpPassword_, pgpComment_, text);
        } catch (const std::exception& e) {
            // Nothing goes out: an empty message would reach the mailbox as if sent.
            Log("PGPSign", e.what());
            AddError(result.error, core::FillArgs(core::Tr("TDateiSendenPraeprozessor",
                                                           "Fehler beim Signieren: %1"),
                                                  {e.what()}));
            job->Release();
            return result;
        }
        const auto size = static_cast<std::int64_t>(text.size());
        job->SetStream(std::make_unique<core::TMemoryStream>(std::move(text)));
        job->SetSize(size);
    }
    const std::string name = SourceName();
    job->SetTextBefore(Expand(textBefore_, name, name, 1, 1));
    job->SetTextAfter(Expand(textAfter_, name, name, 1, 1));
    if (Enqueue(job, &result.error)) result.queued = 1;
    return result;
}

namespace {

// A part file being written: deleted again unless a job takes it.
class TPartFile {
  public:
    explicit TPartFile(fs::path path)
        : stream_(std::make_unique<connection::TFileStreamQam>(
              std::move(path), connection::TFileStreamQam::kModeReadWrite)) {
        stream_->SetDeleteFlag(true);
        stream_->Open();
    }
    ~TPartFile() {
        if (stream_) stream_->DeleteIfFlagged();
    }
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    bool IsOpen() const { return stream_ && stream_->IsOpen(); }
    void Write(std::string_view data) { stream_->WriteText(data); }
    // Closed and handed over, to be opened for reading when its job runs.
    std::unique_ptr<connection::TFileStreamQam> Finish(std::int64_t& size) {
        size = stream_->GetSize();
        stream_->Close();
        stream_->SetMode(connection::TFileStreamQam::kModeRead);
        return std::move(stream_);
    }

  private:
    std::unique_ptr<connection::TFileStreamQam> stream_;
};

}  // namespace

TPraeprozessorErgebnis TDateiSendenPraeprozessor::RunSplit() {
    TPraeprozessorErgebnis result;
    const std::string name = SourceName();
    const std::int64_t s = std::int64_t{partSizeKiB_} * 1024;

    // The size is that of the stream read below, not of a look at the folder
    // that the file may have changed since.
    std::unique_ptr<core::TStream> opened;
    core::TStream* source = stream_.get();
    if (file_) {
        std::string error;
        if (!CreateFileJob(nullptr, *file_, protokoll_, &error)) return {0, error};
        auto file = std::make_unique<connection::TFileStreamQam>(
            *file_, connection::TFileStreamQam::kModeRead);
        file->Open();
        if (!file->IsOpen())
            return {0, core::Tr("TDateiSendenPraeprozessor", "Datei kann nicht gelesen werden:") +
                           "\r" + name};
        source = file.get();
        opened = std::move(file);
    }
    if (!source) return {0, core::Tr("TDateiSendenPraeprozessor", "Nichts zu senden.")};
    std::int64_t size = 0;
    try {
        size = source->GetSize();
        source->SetPosition(0);
    } catch (const core::TStreamError&) {
        return {0, core::Tr("TDateiSendenPraeprozessor", "Datei kann nicht gelesen werden:") +
                       "\r" + name};
    }
    const std::int64_t parts = size <= 0 ? 1 : (size - 1) / s + 1;
    Log("BinSplit", "Datei: " + name);
    Log("BinSplit",
        "Gr\xF6\xDF"
        "e: " +
            std::to_string(size));
    if (parts < 2) {
        opened.reset();
        return RunWhole();
    }
    if (size > kMaxSendFileSize)
        return {
            0, core::Tr("TDateiSendenPraeprozessor", "Datei zu groß zum Senden (2 GB oder mehr):") +
                   "\r" + name};
    if (parts > kMaxParts)
        return {
            0,
            core::FillArgs(
                core::Tr("TDateiSendenPraeprozessor",
                         "Zu viele Teile (%1, höchstens %2): bitte eine größere Teilgröße wählen."),
                {std::to_string(parts), std::to_string(kMaxParts)}) +
                "\r" + name};
    const std::string date = DateText(file_);
    Log("BinSplit", "Datum: " + date);
    Log("BinSplit",
        "Gr\xF6\xDF"
        "e pro Teil: " +
            std::to_string(s));
    Log("BinSplit", "Anzahl der Teile: " + std::to_string(parts));
    Log("BinSplit", "Temp-Pfad: " + TempFolder().string());

    std::vector<std::shared_ptr<core::IDateiSenden>> jobs;
    std::vector<char> chunk(64 * 1024);
    std::uint32_t running = connection::kCrc32Start;
    const std::string producer = "Tarvo " + core::VersionText();
    for (int r = 1; r <= static_cast<int>(parts); ++r) {
        const std::string partName = PartFileName(name, r);
        std::optional<TPartFile> out;
        std::optional<fs::path> path;
        if (PartWanted(r)) {
            Log("BinSplit", "Teil-Dateiname: " + partName);
            Log("BinSplit",
                "\xD6"
                "ffne Datei... ");
            path = makeTempFile_ ? makeTempFile_() : DefaultTempFile();
            if (path) out.emplace(*path);
            if (out && out->IsOpen()) {
                Log("BinSplit", "ok.");
            } else {
                out.reset();
                AddError(result.error, "Teil " + std::to_string(r) +
                                           ": keine tempor\xE4re Datei, der Teil wird nicht "
                                           "gesendet.");
            }
        }
        // A part that is not written is still read: the running CRC and the
        // data of the parts after it depend on it.
        auto write = [&](std::string_view data) {
            if (!out) return;
            try {
                out->Write(data);
            } catch (const core::TStreamError& e) {
                out.reset();
                AddError(result.error, "Teil " + std::to_string(r) + ": " + e.what());
            }
        };
        write(connection::MakeBinSplitHeader(r, static_cast<int>(parts), s, size, name, date,
                                             producer));
        std::uint32_t partCrc = connection::kCrc32Start;
        std::int64_t left = std::min(s, size - (r - 1) * s);
        try {
            while (left > 0) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, chunk.size()));
                source->ReadBuffer(chunk.data(), n);
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.data());
                connection::Crc32Update(bytes, n, running);
                connection::Crc32Update(bytes, n, partCrc);
                write(std::string_view(chunk.data(), n));
                left -= static_cast<std::int64_t>(n);
            }
        } catch (const core::TStreamError& e) {
            // A set whose later parts cannot be made is of no use: nothing goes.
            Log("BinSplit", e.what());
            return {0, core::Tr("TDateiSendenPraeprozessor", "Fehler beim Lesen der Datei:") +
                           "\r" + name};
        }
        const std::string runningLine =
            connection::Crc32Hex(connection::Crc32Final(running)) + "\n";
        connection::Crc32Update(runningLine, partCrc);
        write(runningLine + connection::Crc32Hex(connection::Crc32Final(partCrc)) + "\n");
        if (!out) continue;
        std::int64_t partFileSize = 0;
        std::unique_ptr<connection::TFileStreamQam> stream;
        try {
            stream = out->Finish(partFileSize);
        } catch (const core::TStreamError& e) {
            AddError(result.error, "Teil " + std::to_string(r) + ": " + e.what());
            continue;
        }
        auto job = TDateiSenden::Create(verbindung_);
        job->SetFileName(path->string());
        job->SetSendName(partName);
        job->SetProtokoll(protokoll_);
        job->SetStream(std::move(stream));
        job->SetSize(partFileSize);
        job->SetTextBefore(Expand(textBefore_, name, partName, static_cast<int>(parts), r));
        job->SetTextAfter(Expand(textAfter_, name, partName, static_cast<int>(parts), r));
        jobs.push_back(std::move(job));
    }
    opened.reset();
    stream_.reset();
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!Enqueue(jobs[i], &result.error)) {
            for (std::size_t j = i + 1; j < jobs.size(); ++j) jobs[j]->Release();
            break;
        }
        ++result.queued;
    }
    return result;
}

bool QueueFile(const std::shared_ptr<core::IVerbindung>& connection, const fs::path& file,
               std::string* error, std::int32_t protokoll, int partSizeKiB) {
    TDateiSendenPraeprozessor p;
    p.SetVerbindung(connection);
    p.SetFile(file);
    if (protokoll == 0) protokoll = connection ? ProtokollFor(*connection) : kProtokollDidadit;
    p.SetProtokoll(protokoll);
    p.SetPartSize(partSizeKiB);
    TPraeprozessorErgebnis result = p.Run();
    const bool all = result.queued > 0 && result.error.empty();
    if (error) *error = std::move(result.error);
    return all;
}

}  // namespace tarvo::filesend
