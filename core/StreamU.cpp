#include "core/StreamU.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tarvo::core {

namespace {
// Memory streams hold texts and small test files; a size beyond this is a fault.
constexpr std::int64_t kMaxMemoryStream = std::int64_t{1} << 31;
}  // namespace

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (Read(buffer, count) != count) throw TStreamError("Stream read error");
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= data_.size()) return 0;
    const std::size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

void TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count > static_cast<std::size_t>(kMaxMemoryStream) -
                    std::min<std::size_t>(position_, kMaxMemoryStream))
        throw TStreamError("Stream write error");
    if (data_.size() < position_ + count) data_.resize(position_ + count, '\0');
    std::memcpy(data_.data() + position_, buffer, count);
    position_ += count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == TSeekOrigin::Current) base = static_cast<std::int64_t>(position_);
    if (origin == TSeekOrigin::End) base = static_cast<std::int64_t>(data_.size());
    if ((offset > 0 && base > kMaxMemoryStream - offset) || base + offset < 0)
        throw TStreamError("Stream seek error");
    position_ = static_cast<std::size_t>(base + offset);
    return base + offset;
}

void TMemoryStream::SetSize(std::int64_t size) {
    if (size < 0 || size > kMaxMemoryStream) throw TStreamError("Stream size error");
    data_.resize(static_cast<std::size_t>(size), '\0');
    position_ = std::min(position_, data_.size());
}

}  // namespace tarvo::core
