#include "connection/DateiEmpfangenPostprozessorU.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "connection/BinSplitPartU.h"
#include "connection/CrcU.h"
#include "connection/FileStreamQamU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "resources/OrdnerU.h"

namespace fs = std::filesystem;

namespace tarvo::connection {

namespace {

constexpr std::string_view kClass = "TDateiEmpfangenPostprozessor";
constexpr int kPromptKind = 3;

// Two channels may complete parts of one set at the same moment; one of them joins.
std::mutex gCombineMutex;

std::string Format(const char* format, auto... args) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

// A path as the operator reads it in the console (code page 1252).
std::string Shown(const fs::path& p) {
    return platform::Utf8ToCp1252(p.string());
}

// The name a received file is stored under: safe, never empty.
std::string StoreName(std::string_view sendName) {
    std::string name = platform::SafeFileName(sendName);
    return name.empty() ? "noname" : name;
}

// Ascending numbers with runs written as first..last, separated by ", ".
std::string NumberList(const std::vector<int>& numbers, bool hex) {
    std::string out;
    auto item = [&](int n) { return hex ? Format("%2.2X", n) : std::to_string(n); };
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (!out.empty()) out += ", ";
        out += item(numbers[i]);
        if (j > i) out += ".." + item(numbers[j]);
        i = j + 1;
    }
    return out;
}

struct TSlot {
    std::unique_ptr<TBinSplitPart> part;
    fs::path path;
    bool crcOk = false;
};

std::string MissingPartsText(const std::vector<int>& missing) {
    return core::Tr("TDateiEmpfangenPostprozessor", "Folgende Teile fehlen noch:") +
           "\rdez: " + NumberList(missing, false) + "\rhex: " + NumberList(missing, true) + "\r";
}

}  // namespace

TDateiEmpfangenPostprozessor::TDateiEmpfangenPostprozessor(
    std::shared_ptr<core::IVerbindung> connection, std::shared_ptr<resources::TOrdner> ordner)
    : connection_(std::move(connection)),
      ordner_(ordner ? std::move(ordner) : resources::Ordner()) {}

void TDateiEmpfangenPostprozessor::Prompt(const std::string& text) {
    if (connection_) connection_->KanalPrompt(text, kPromptKind);
}

void TDateiEmpfangenPostprozessor::Execute(core::IDateiSenden& record) {
    try {
        ExecuteChecked(record);
    } catch (const std::exception& e) {
        core::DebOutObj(kClass, "Execute", e.what());
        Prompt(core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei NICHT gespeichert."));
    }
}

void TDateiEmpfangenPostprozessor::ExecuteChecked(core::IDateiSenden& record) {
    core::TStream* stream = record.GetStream();
    if (!stream) {
        Prompt(core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei NICHT gespeichert."));
        return;
    }
    char magic[5] = {};
    stream->SetPosition(0);
    const std::size_t n = stream->Read(magic, sizeof magic);
    if (n == sizeof magic && std::string_view(magic, n) == ">BS<\n") {
        core::DebOutObj(kClass, "Execute", "ist BINSPLIT-Datei");
        Combine(record);
        return;
    }
    core::DebOutObj(kClass, "Execute", "ist keine BINSPLIT-Datei");
    if (!ordner_) {
        Prompt(core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei NICHT gespeichert."));
        return;
    }
    const fs::path folder = ordner_->GetReceiveFolder();
    if (platform::EnsureFolder(folder)) {
        Prompt(core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei NICHT gespeichert.") +
               "\r" +
               core::Tr("TDateiEmpfangenPostprozessor",
                        "Empfangs-Ordner konnte nicht angelegt werden:") +
               "\r" + Shown(folder));
        return;
    }
    fs::path target = folder / StoreName(record.GetSendName());
    auto* file = dynamic_cast<TFileStreamQam*>(stream);
    if (!file) {
        Prompt(core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei NICHT gespeichert."));
        return;
    }
    // A close that fails lost written data: the file is not stored as complete.
    try {
        file->Flush();
        file->Close();
    } catch (const core::TStreamError& e) {
        core::DebOutObj(kClass, "Execute", e.what());
        Prompt(core::Tr("TDateiEmpfangenPostprozessor", "Fehler beim Speichern der Datei:") + "\r" +
               Shown(target));
        return;
    }
    if (!core::MoveFileQam(file->GetFileName(), target, true)) {
        Prompt(core::Tr("TDateiEmpfangenPostprozessor", "Fehler beim Speichern der Datei:") + "\r" +
               Shown(target));
        return;
    }
    // The stream still names the old place, so nothing done with it later can
    // reach the stored file; and it is no temporary file to delete any more.
    file->SetDeleteFlag(false);
    Prompt(core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei gespeichert:") + "\r" +
           Shown(target));
}

void TDateiEmpfangenPostprozessor::Combine(core::IDateiSenden& record) {
    std::lock_guard oneAtATime(gCombineMutex);
    auto* received = dynamic_cast<TFileStreamQam*>(record.GetStream());
    // A part waits in "Incomplete Files" for the rest of its set: it is no
    // temporary file of the record any more, and goes only once joined.
    if (received) received->SetDeleteFlag(false);
    std::string message;
    std::vector<TSlot> slots;
    {
        auto part = std::make_unique<TBinSplitPart>(*record.GetStream());
        if (!part->ReadHeader()) {
            Prompt(
                core::Tr("TDateiEmpfangenPostprozessor", "FEHLER: Header ungültig oder zu kurz.") +
                "\r");
            return;
        }
        if (!part->Parse()) {
            Prompt(core::Tr("TDateiEmpfangenPostprozessor", "FEHLER: Falsche Daten im Header.") +
                   "\r");
            return;
        }
        const std::string shownName = platform::Utf8ToCp1252(StoreName(part->FileName()));
        if (!part->CheckPartCRC()) {
            Prompt(core::Tr("TDateiEmpfangenPostprozessor", "CRC-Fehler:") + "\r" +
                   core::FillArgs(
                       core::Tr("TDateiEmpfangenPostprozessor", "%1, Teil %2 von %3"),
                       {shownName, std::to_string(part->Part()), std::to_string(part->Parts())}) +
                   "\r");
            return;
        }
        slots.resize(static_cast<std::size_t>(part->Parts()) + 1);
        message =
            core::FillArgs(core::Tr("TDateiEmpfangenPostprozessor", "Teil %1 von %2 empfangen."),
                           {std::to_string(part->Part()), shownName}) +
            "\r";
        TSlot& own = slots[static_cast<std::size_t>(part->Part())];
        own.path = received ? received->GetFileName() : fs::path();
        own.crcOk = true;
        own.part = std::move(part);
    }
    const TBinSplitPart& first = *std::find_if(slots.begin(), slots.end(), [](const TSlot& s) {
                                      return s.part != nullptr;
                                  })->part;

    // The other parts of the set, in the received file's folder.
    if (received) {
        const fs::path ownPath = received->GetFileName();
        std::vector<fs::path> candidates;
        std::error_code ec;
        for (fs::directory_iterator it(ownPath.parent_path(), ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code e2;
            if (!it->is_regular_file(e2) || e2) continue;
            const fs::path& p = it->path();
            if (core::EqualNoCase(p.filename().string(), ownPath.filename().string())) continue;
            // A file still being received is no part yet.
            if (core::EqualNoCase(p.extension().string(), ".tvf")) {
                fs::path index = p;
                if (fs::exists(index.replace_extension(".tvi"), e2)) continue;
            }
            candidates.push_back(p);
        }
        std::sort(candidates.begin(), candidates.end());
        for (const fs::path& p : candidates) {
            core::DebOutObj(kClass, "BinSplitCombine",
                            "\xD6"
                            "ffnen: " +
                                Shown(p) + "...");
            auto part = std::make_unique<TBinSplitPart>(p);
            if (!part->IsOpen()) continue;
            if (!part->ReadHeader()) {
                core::DebOutObj(kClass, "BinSplitCombine", "Fehler: ReadHeader");
                continue;
            }
            if (!part->Parse()) {
                core::DebOutObj(kClass, "BinSplitCombine", "Fehler: Parse");
                continue;
            }
            if (part->Parts() != first.Parts() || part->PartSize() != first.PartSize() ||
                part->FileSize() != first.FileSize() || part->FileName() != first.FileName() ||
                part->DateText() != first.DateText()) {
                core::DebOutObj(kClass, "BinSplitCombine", "Passt nicht zu diesem Set.");
                continue;
            }
            core::DebOutObj(kClass, "BinSplitCombine",
                            Format("Ist Teil %3.3d von %3.3d", part->Part(), part->Parts()));
            TSlot& slot = slots[static_cast<std::size_t>(part->Part())];
            // The first copy found wins, unless it is damaged and this one is sound.
            if (slot.part && slot.crcOk) continue;
            const bool crcOk = part->CheckPartCRC();
            if (slot.part && !crcOk) continue;
            slot.part = std::move(part);
            slot.path = p;
            slot.crcOk = crcOk;
        }
    }

    std::vector<int> missing;
    for (std::size_t i = 1; i < slots.size(); ++i) {
        if (slots[i].part)
            core::DebOutObj(kClass, "BinSplitCombine",
                            Format("Teil %3.3d: ", static_cast<int>(i)) + Shown(slots[i].path));
        else
            missing.push_back(static_cast<int>(i));
    }
    if (!missing.empty()) {
        Prompt(message + MissingPartsText(missing));
        return;
    }
    message +=
        core::Tr("TDateiEmpfangenPostprozessor", "Alle Teile verfügbar. Kombiniere...") + "\r\r";
    core::DebOutObj(kClass, "BinSplitCombine",
                    "\xDC"
                    "berpr\xFC"
                    "fe akkumulierten CRC...");
    std::uint32_t running = kCrc32Start;
    for (std::size_t i = 1; i < slots.size(); ++i) {
        const bool ok = slots[i].part->CheckAccumulatedCRC(running);
        core::DebOutObj(kClass, "BinSplitCombine",
                        Format("Teil %3.3d: Akkumulierter CRC = %8.8x", static_cast<int>(i),
                               Crc32Final(running)));
        if (!ok) {
            Prompt(message +
                   core::FillArgs(core::Tr("TDateiEmpfangenPostprozessor",
                                           "Fehler im akkumulierten CRC von Teil %1."),
                                  {std::to_string(i)}) +
                   "\r");
            return;
        }
    }
    if (!ordner_) {
        Prompt(message +
               core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei NICHT gespeichert.") +
               "\r");
        return;
    }
    const fs::path folder = ordner_->GetReceiveFolder();
    if (platform::EnsureFolder(folder)) {
        Prompt(message +
               core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei NICHT gespeichert.") +
               "\r" +
               core::Tr("TDateiEmpfangenPostprozessor",
                        "Empfangs-Ordner konnte nicht angelegt werden:") +
               "\r" + Shown(folder) + "\r");
        return;
    }
    // A free name taken at once, so a second join cannot choose it too.
    fs::path target;
    const fs::path wanted = folder / StoreName(first.FileName());
    for (int attempt = 0; attempt < 100 && target.empty(); ++attempt) {
        const fs::path candidate = platform::UniqueFileName(wanted);
        if (candidate.empty()) break;
        if (!platform::CreateExclusive(candidate)) target = candidate;
    }
    TFileStreamQam out(target, TFileStreamQam::kModeReadWrite);
    if (!target.empty()) out.Open();
    if (!out.IsOpen()) {
        Prompt(message + core::Tr("TDateiEmpfangenPostprozessor", "Kann Zieldatei nicht öffnen:") +
               "\r" + Shown(target.empty() ? wanted : target) + "\r");
        std::error_code ec;
        if (!target.empty()) fs::remove(target, ec);
        return;
    }
    try {
        for (std::size_t i = 1; i < slots.size(); ++i) slots[i].part->CopyData(out);
        // On the disk before any part goes.
        out.Flush();
        out.Close();
    } catch (const core::TStreamError& e) {
        core::DebOutObj(kClass, "BinSplitCombine", e.what());
        message +=
            core::Tr("TDateiEmpfangenPostprozessor", "Fehler beim Schreiben der Zieldatei:") +
            "\r" + Shown(target) + "\r";
        try {
            out.Delete();
        } catch (const core::TStreamError& d) {
            message += core::Tr("TDateiEmpfangenPostprozessor", "Kann Datei nicht löschen:") +
                       " \r" + Shown(target) + "\r" + d.what() + "\r\r";
        }
        Prompt(message);
        return;
    }
    if (received) received->Close();
    for (std::size_t i = 1; i < slots.size(); ++i) {
        slots[i].part.reset();
        if (slots[i].path.empty()) continue;
        std::error_code ec;
        if (!fs::remove(slots[i].path, ec) || ec)
            message += core::Tr("TDateiEmpfangenPostprozessor", "Kann Teil nicht löschen:") +
                       " \r" + Shown(slots[i].path) + "\r\r";
    }
    Prompt(message + core::Tr("TDateiEmpfangenPostprozessor", "Empfangene Datei gespeichert:") +
           "\r" + Shown(target) + "\r");
}

}  // namespace tarvo::connection
