#include "connection/FileStreamQamU.h"

#include <system_error>

#include "core/GlobalU.h"
#include "platform/FileHandle.h"

namespace tarvo::connection {

namespace {

platform::FileHandle::Access AccessOf(std::uint16_t mode) {
    if ((mode & 0xFF00) == 0xFF00) return platform::FileHandle::Access::Create;
    if ((mode & 3) == 0) return platform::FileHandle::Access::Read;
    return platform::FileHandle::Access::ReadWrite;
}

[[noreturn]] void Raise(const std::error_code& ec) {
    throw core::TStreamError(ec.message());
}

}  // namespace

TFileStreamQam::TFileStreamQam(std::filesystem::path fileName, std::uint16_t mode)
    : fileName_(std::move(fileName)), mode_(mode) {}

TFileStreamQam::~TFileStreamQam() = default;

void TFileStreamQam::SetFileName(std::filesystem::path fileName) {
    if (IsOpen()) throw core::TStreamError("Not while open");
    fileName_ = std::move(fileName);
}

void TFileStreamQam::SetMode(std::uint16_t mode) {
    if (IsOpen()) throw core::TStreamError("Not while open");
    mode_ = mode;
}

void TFileStreamQam::Open() {
    if (IsOpen()) throw core::TStreamError("Already open");
    auto file = std::make_unique<platform::FileHandle>();
    if (file->Open(fileName_, AccessOf(mode_))) return;
    file_ = std::move(file);
}

void TFileStreamQam::Close() {
    if (!file_) return;
    const std::error_code ec = file_->Close();
    file_.reset();
    if (ec) Raise(ec);
}

bool TFileStreamQam::IsOpen() const {
    return file_ != nullptr;
}

platform::FileHandle& TFileStreamQam::OpenFile() {
    if (!file_) throw core::TStreamError("File not open");
    return *file_;
}

std::size_t TFileStreamQam::Read(void* buffer, std::size_t count) {
    std::error_code ec;
    const std::size_t n = OpenFile().Read(buffer, count, ec);
    if (ec) Raise(ec);
    return n;
}

void TFileStreamQam::Write(const void* buffer, std::size_t count) {
    if (const std::error_code ec = OpenFile().Write(buffer, count)) Raise(ec);
}

std::int64_t TFileStreamQam::Seek(std::int64_t offset, core::TSeekOrigin origin) {
    using O = platform::FileHandle::Origin;
    const O o = origin == core::TSeekOrigin::Begin ? O::Begin
                : origin == core::TSeekOrigin::End ? O::End
                                                   : O::Current;
    std::error_code ec;
    const std::int64_t at = OpenFile().Seek(offset, o, ec);
    if (ec) Raise(ec);
    return at;
}

std::int64_t TFileStreamQam::GetSize() {
    std::error_code ec;
    const std::int64_t size = OpenFile().Size(ec);
    if (ec) Raise(ec);
    return size;
}

void TFileStreamQam::SetSize(std::int64_t size) {
    if (const std::error_code ec = OpenFile().Truncate(size)) Raise(ec);
}

void TFileStreamQam::Flush() {
    if (const std::error_code ec = OpenFile().Sync()) Raise(ec);
}

void TFileStreamQam::Delete() {
    if (file_) file_->Close();
    file_.reset();
    std::error_code ec;
    if (!std::filesystem::remove(fileName_, ec) && !ec)
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
    if (ec) Raise(ec);
}

bool TFileStreamQam::DeleteIfFlagged() {
    if (!deleteFlag_) return false;
    try {
        Delete();
        return true;
    } catch (const core::TStreamError&) {
        return false;
    }
}

void TFileStreamQam::Recycle() {
    if (file_) file_->Close();
    file_.reset();
    if (!core::RecycleFile(fileName_)) throw core::TStreamError("Cannot recycle");
}

int TFileStreamQam::FileHandle() const {
    return file_ ? file_->Native() : -1;
}

bool TFileStreamQam::TryLock() {
    return file_ && !file_->TryLockExclusive();
}

}  // namespace tarvo::connection
