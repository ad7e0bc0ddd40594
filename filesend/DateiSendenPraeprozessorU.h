// Turns one request to send a file or a typed text into send jobs on a
// connection's queue: the mailbox texts before and after with their
// placeholders expanded, large binary files cut into ">BS<" split parts, and
// text clear-signed when asked. Filled, run once, freed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/InterfacesU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenU.h"

namespace tarvo::filesend {

// Placeholders of the texts before and after: %o the source file's name, %n
// the part's file name, %p the part number and %q the number of parts (both
// at least two digits), %% a percent sign; either case. '%' with anything else
// vanishes with it, LF is dropped, and a text that is not empty ends with CR.
std::string Expand(std::string_view text, std::string_view sourceName,
                   std::string_view partFileName, int parts, int part);

// The name a part is announced with: the extension replaced by ".b" and the
// part number as two lower-case hex digits ("bild.jpg", 10 -> "bild.b0a").
std::string PartFileName(std::string_view fileName, int part);

// The program's folder for temporary part files (below the data folder).
std::filesystem::path TempFolder();
// Removes part files an earlier run left behind; how many went.
int RemoveOrphanTempFiles(const std::filesystem::path& folder);

// What a run did.
struct TPraeprozessorErgebnis {
    // Jobs appended to the send queue.
    int queued = 0;
    // For the operator (code page 1252); empty when everything asked for went.
    std::string error;
};

class TDateiSendenPraeprozessor {
  public:
    // A set has at most this many parts; the receiving side refuses more.
    static constexpr int kMaxParts = 255;

    TDateiSendenPraeprozessor();
    ~TDateiSendenPraeprozessor();
    TDateiSendenPraeprozessor(const TDateiSendenPraeprozessor&) = delete;
    TDateiSendenPraeprozessor& operator=(const TDateiSendenPraeprozessor&) = delete;

    // The data; owned here until a job takes it.
    void SetStream(std::unique_ptr<core::TStream> stream);
    // The full name of the source file (UTF-8); "???" for typed text.
    void SetFileName(std::string fileName);
    // A file on disk as the source: its name, and a stream opened only when
    // the file's job runs (or when it is split).
    void SetFile(const std::filesystem::path& file);
    void SetVerbindung(std::shared_ptr<core::IVerbindung> verbindung);
    // 1 text, 2 AutoBIN, 4 plain binary, 5 DIDADIT.
    void SetProtokoll(std::int32_t protokoll);
    // Clear-sign the text (protocol 1) with the key (its fingerprint).
    void SetSign(bool sign);
    void SetPGPKey(std::string fingerprint);
    void SetPGPPassword(std::string password);
    void SetPGPComment(std::string comment);
    // In KiB; 0 or less sends the file whole.
    void SetPartSize(int kib);
    // Templates with placeholders (code page 1252).
    void SetTextBefore(std::string_view text);
    void SetTextAfter(std::string_view text);
    // The parts to send: all (the default), or those selected (index 0 = part 1).
    void SetPartCount(int count);
    void SetAllParts(bool all);
    void SetPartSelected(int index, bool selected);

    // Where part files come from: a new empty file each call, or nullopt.
    // By default a unique file in TempFolder().
    using TTempFileMaker = std::function<std::optional<std::filesystem::path>()>;
    void SetTempFileMaker(TTempFileMaker make);

    // Protocol 1: a text job; otherwise the whole file, or its parts when a
    // part size is set and the protocol is AutoBIN or DIDADIT.
    TPraeprozessorErgebnis Run();

  private:
    TPraeprozessorErgebnis RunText();
    TPraeprozessorErgebnis RunWhole();
    TPraeprozessorErgebnis RunSplit();
    std::shared_ptr<core::IDateiSenden> NewJob(std::string* error);
    bool PartWanted(int part) const;
    std::string SourceName() const;
    bool Enqueue(const std::shared_ptr<core::IDateiSenden>& job, std::string* error);

    std::unique_ptr<core::TStream> stream_;
    std::string fileName_;
    std::optional<std::filesystem::path> file_;
    std::shared_ptr<core::IVerbindung> verbindung_;
    std::int32_t protokoll_ = 0;
    bool sign_ = false;
    std::string pgpKey_;
    std::string pgpPassword_;
    std::string pgpComment_;
    int partSizeKiB_ = 0;
    std::string textBefore_;
    std::string textAfter_;
    int partCount_ = 0;
    bool allParts_ = true;
    std::vector<bool> selected_;
    TTempFileMaker makeTempFile_;
    bool ran_ = false;
};

// One file as jobs on the connection. protokoll 0 takes the connection's (ProtokollFor).
// False with *error set (a message for the operator) when nothing or not all
// of it could be queued.
bool QueueFile(const std::shared_ptr<core::IVerbindung>& connection,
               const std::filesystem::path& file, std::string* error, std::int32_t protokoll = 0,
               int partSizeKiB = 0);

}  // namespace tarvo::filesend
