// A send job: one file or text to be sent on one connection, its names,
// protocol, texts, progress and throughput.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/InterfacesU.h"
#include "core/PublisherU.h"

namespace tarvo::platform {
class IClock;
class IDispatcher;
}  // namespace tarvo::platform

namespace tarvo::filesend {

// Protocol values of a job.
enum TProtokoll : std::int32_t {
    kProtokollText = 1,
    kProtokollAutobin = 2,
    kProtokollBinaer = 4,
    kProtokollDidadit = 5,
};

// Sizes are announced in 32 bits by the protocols: from here on a file is refused.
inline constexpr std::int64_t kMaxSendFileSize = (std::int64_t{1} << 31) - 1;

// Bytes counted before throughput is measured, and the seconds kept.
inline constexpr std::int64_t kMeasureAfterBytes = 3585;
inline constexpr int kThroughputSeconds = 300;

// The announced form of a name (code page 1252): the last component after "\",
// ":" or "/", with characters not allowed in file names replaced by '_'; "",
// "." and ".." give "noname".
std::string SendNameOf(std::string_view name);

class TDateiSenden final : public core::IDateiSenden,
                           public std::enable_shared_from_this<TDateiSenden> {
  public:
    // Without a clock the steady system clock.
    static std::shared_ptr<TDateiSenden> Create(
        const std::shared_ptr<core::IVerbindung>& connection,
        const platform::IClock* clock = nullptr);
    ~TDateiSenden() override;
    TDateiSenden(const TDateiSenden&) = delete;
    TDateiSenden& operator=(const TDateiSenden&) = delete;

    void Subscribe(std::shared_ptr<core::ISubscriber> subscriber) override;
    void Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) override;

    std::int32_t GetProtokoll() const override;
    std::int32_t GetState() const override;
    float GetPercent() const override;
    std::string GetSendName() const override;
    std::int64_t GetSize() const override;
    void Release() override;

    void SetStream(std::unique_ptr<core::TStream> stream) override;
    core::TStream* GetStream() override;
    void SetFileName(std::string_view fileName) override;
    std::string GetFileName() const override;
    void SetSendName(std::string_view name) override;
    std::string GetTextBefore() const override;
    void SetTextBefore(std::string_view text) override;
    std::string GetTextAfter() const override;
    void SetTextAfter(std::string_view text) override;
    void SetState(std::int32_t state) override;
    void SetProtokoll(std::int32_t protokoll) override;
    void SetPosition(std::int64_t position) override;
    std::int64_t GetPosition() const override;
    void SetSize(std::int64_t size) override;
    void Prepare() override;
    void Start() override;
    void Stop() override;
    void AddBytes(std::int64_t count) override;

    // Main thread, once a second while running: the average of the last
    // seconds, in bits per second, into the connection's status.
    void Tick();
    bool Released() const;

  private:
    TDateiSenden(std::weak_ptr<core::IVerbindung> connection, const platform::IClock& clock);
    void Notify();
    std::int64_t NowSecond() const;

    const platform::IClock& clock_;
    core::TPublisher publisher_;
    mutable std::mutex mutex_;  // every field below
    std::weak_ptr<core::IVerbindung> connection_;
    bool released_ = false;
    std::string fileName_;
    std::string sendName_;
    bool sendNameSet_ = false;
    std::int32_t protokoll_ = 0;
    std::int32_t state_ = 0;
    float percent_ = 0;
    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
    std::unique_ptr<core::TStream> stream_;
    std::string textBefore_;
    std::string textAfter_;
    std::array<std::int64_t, kThroughputSeconds> buckets_{};
    std::int64_t total_ = 0;
    bool measuring_ = false;
    std::int64_t lastSecond_ = 0;
    std::int64_t startSecond_ = 0;
    int window_ = -1;
};

// A job for a file on disk, its file opened only when the job runs. Null with
// *error set when the file cannot be sent (missing, not a file, 2 GiB or more).
std::shared_ptr<TDateiSenden> CreateFileJob(const std::shared_ptr<core::IVerbindung>& connection,
                                            const std::filesystem::path& file,
                                            std::int32_t protokoll, std::string* error,
                                            const platform::IClock* clock = nullptr);

// The protocol a file goes with on the connection: its BinMode when that names
// one (AutoBIN or DIDADIT), DIDADIT otherwise.
std::int32_t ProtokollFor(const core::IVerbindung& connection);

// The one-second tick of running jobs, on the main thread. It holds the jobs
// weakly and runs its timer only while a job runs. Process-wide: without an
// installed ticker (tests) nothing ticks.
class TDateiSendenTicker {
  public:
    static void Install(platform::IDispatcher& dispatcher);
    // Stops the timer; the jobs still running stop being ticked.
    static void Uninstall();
    // Any thread.
    static void Add(const std::shared_ptr<TDateiSenden>& job);
    static void Remove(const TDateiSenden* job);
};

}  // namespace tarvo::filesend
