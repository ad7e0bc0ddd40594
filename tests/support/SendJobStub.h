// A send job that only stores what it is given, for fakes to build on.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "core/InterfacesU.h"

namespace tarvo::test {

class SendJobStub : public core::IDateiSenden {
  public:
    void SetStream(std::unique_ptr<core::TStream> stream) override {
        std::lock_guard lock(stubMutex_);
        stream_ = std::move(stream);
    }
    core::TStream* GetStream() override {
        std::lock_guard lock(stubMutex_);
        return stream_.get();
    }
    void SetFileName(std::string_view name) override { Store(fileName_, name); }
    std::string GetFileName() const override { return Load(fileName_); }
    void SetSendName(std::string_view name) override { Store(sendName_, name); }
    std::string GetTextBefore() const override { return Load(textBefore_); }
    void SetTextBefore(std::string_view text) override { Store(textBefore_, text); }
    std::string GetTextAfter() const override { return Load(textAfter_); }
    void SetTextAfter(std::string_view text) override { Store(textAfter_, text); }
    void SetState(std::int32_t) override {}
    void SetProtokoll(std::int32_t) override {}
    void SetPosition(std::int64_t position) override { position_ = position; }
    std::int64_t GetPosition() const override { return position_; }
    void SetSize(std::int64_t) override {}
    void Prepare() override {}
    void Start() override {}
    void Stop() override {}
    void AddBytes(std::int64_t) override {}

  protected:
    std::string StoredSendName() const { return Load(sendName_); }

  private:
    void Store(std::string& field, std::string_view value) {
        std::lock_guard lock(stubMutex_);
        field = value;
    }
    std::string Load(const std::string& field) const {
        std::lock_guard lock(stubMutex_);
        return field;
    }

    mutable std::mutex stubMutex_;
    std::unique_ptr<core::TStream> stream_;
    std::string fileName_, sendName_, textBefore_, textAfter_;
    std::atomic<std::int64_t> position_{0};
};

}  // namespace tarvo::test
