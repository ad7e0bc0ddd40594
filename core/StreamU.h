// Byte streams that send jobs carry: a file, or text held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvo::core {

class TStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class TSeekOrigin { Begin, Current, End };

class TStream {
  public:
    virtual ~TStream() = default;
    // Up to count bytes; fewer only at the end. Errors raise TStreamError.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // All count bytes, or TStreamError.
    virtual void Write(const void* buffer, std::size_t count) = 0;
    // The new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t GetSize() = 0;
    virtual void SetSize(std::int64_t size) = 0;

    std::int64_t GetPosition() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::Begin); }
    // Exactly count bytes, or TStreamError ("Stream read error").
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteText(std::string_view text) { Write(text.data(), text.size()); }
};

// Bytes in memory; positions past the end read nothing and writes there fill
// the gap with zeros.
class TMemoryStream final : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t GetSize() override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t size) override;

    const std::string& Data() const { return data_; }

  private:
    std::string data_;
    std::size_t position_ = 0;
};

}  // namespace tarvo::core
