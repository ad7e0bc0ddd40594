// The program's own file stream for received and temporary files: opened only
// on request, with a delete flag its owner sets for temporary files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "core/StreamU.h"

namespace tarvo::platform {
class FileHandle;
}

namespace tarvo::connection {

class TFileStreamQam final : public core::TStream {
  public:
    // Open modes: created (emptied) for writing, read with others reading,
    // read and write with others not writing.
    static constexpr std::uint16_t kModeCreate = 0xFF00;
    static constexpr std::uint16_t kModeRead = 0x0040;
    static constexpr std::uint16_t kModeReadWrite = 0x0022;

    explicit TFileStreamQam(std::filesystem::path fileName = {}, std::uint16_t mode = kModeRead);
    ~TFileStreamQam() override;
    TFileStreamQam(const TFileStreamQam&) = delete;
    TFileStreamQam& operator=(const TFileStreamQam&) = delete;

    const std::filesystem::path& GetFileName() const { return fileName_; }
    // TStreamError "Not while open" when open.
    void SetFileName(std::filesystem::path fileName);
    std::uint16_t GetMode() const { return mode_; }
    void SetMode(std::uint16_t mode);

    // TStreamError "Already open" when open; a failure to open leaves it closed.
    void Open();
    // Closes when open; a close error (a delayed write error) raises TStreamError.
    void Close();
    bool IsOpen() const;

    // TStreamError "File not open" when closed.
    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, core::TSeekOrigin origin) override;
    std::int64_t GetSize() override;
    void SetSize(std::int64_t size) override;
    // Written data on the disk (fsync).
    void Flush();

    bool GetDeleteFlag() const { return deleteFlag_; }
    void SetDeleteFlag(bool flag) { deleteFlag_ = flag; }
    // Closes, then deletes the file; a failure raises TStreamError with the
    // system's error text.
    void Delete();
    // Delete when the flag is set; true when deleted (errors swallowed).
    bool DeleteIfFlagged();
    // Closes, then moves the file to the trash; failure: "Cannot recycle".
    void Recycle();

    // The open file's descriptor, or -1.
    int FileHandle() const;
    // An exclusive lock on the open file, not waiting: false when another
    // open of the file holds it or the stream is closed. Released by Close.
    bool TryLock();

  private:
    platform::FileHandle& OpenFile();

    std::filesystem::path fileName_;
    std::uint16_t mode_;
    std::unique_ptr<platform::FileHandle> file_;
    bool deleteFlag_ = false;
};

}  // namespace tarvo::connection
