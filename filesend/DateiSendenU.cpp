#include "filesend/DateiSendenU.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "connection/FileStreamQamU.h"
#include "core/DebOutU.h"
#include "core/TrU.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"

namespace tarvo::filesend {

namespace {

constexpr std::string_view kClass = "TDateiSenden";

bool ForbiddenInName(unsigned char c) {
    if (c <= 31 || c == 127 || c == 255 || (c >= 129 && c <= 160)) return true;
    return std::string_view("\"*/:<>?\\|").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string WithCr(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > 31) text += '\r';
    return text;
}

const platform::IClock& DefaultClock() {
    static const platform::SteadyClock clock;
    return clock;
}

}  // namespace

std::string SendNameOf(std::string_view name) {
    const std::size_t cut = name.find_last_of("\\:/");
    if (cut != std::string_view::npos) name.remove_prefix(cut + 1);
    if (name.empty() || name == "." || name == "..") return "noname";
    std::string out(name);
    for (char& c : out)
        if (ForbiddenInName(static_cast<unsigned char>(c))) c = '_';
    return out;
}

// --- The job ------------------------------------------------------------------

std::shared_ptr<TDateiSenden> TDateiSenden::Create(
    const std::shared_ptr<core::IVerbindung>& connection, const platform::IClock* clock) {
    return std::shared_ptr<TDateiSenden>(
        new TDateiSenden(connection, clock ? *clock : DefaultClock()));
}

TDateiSenden::TDateiSenden(std::weak_ptr<core::IVerbindung> connection,
                           const platform::IClock& clock)
    : clock_(clock), connection_(std::move(connection)) {}

TDateiSenden::~TDateiSenden() {
    auto* file = dynamic_cast<connection::TFileStreamQam*>(stream_.get());
    if (!file) return;
    const std::string name = file->GetFileName().string();
    if (!file->GetDeleteFlag()) {
        core::DebOutObj(kClass, "Destroy", "Behalte: " + name);
    } else if (file->DeleteIfFlagged()) {
        core::DebOutObj(kClass, "Destroy",
                        "Gel\xF6"
                        "scht: " +
                            name);
    } else {
        core::DebOutObj(kClass, "Destroy",
                        "Fehler beim L\xF6"
                        "schen: " +
                            name);
    }
}

void TDateiSenden::Subscribe(std::shared_ptr<core::ISubscriber> subscriber) {
    if (Released()) return;
    publisher_.Subscribe(std::move(subscriber));
}

void TDateiSenden::Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) {
    publisher_.Unsubscribe(subscriber);
}

void TDateiSenden::Notify() {
    publisher_.NotifySubscribers(static_cast<core::IDateiSenden*>(this));
}

std::int64_t TDateiSenden::NowSecond() const {
    return static_cast<std::int64_t>(clock_.SteadyMs() / 1000);
}

std::int32_t TDateiSenden::GetProtokoll() const {
    std::lock_guard lock(mutex_);
    return protokoll_;
}

std::int32_t TDateiSenden::GetState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

float TDateiSenden::GetPercent() const {
    std::lock_guard lock(mutex_);
    return percent_;
}

std::string TDateiSenden::GetSendName() const {
    std::lock_guard lock(mutex_);
    if (sendNameSet_) return sendName_;
    return SendNameOf(platform::Utf8ToCp1252(fileName_));
}

std::int64_t TDateiSenden::GetSize() const {
    std::lock_guard lock(mutex_);
    return size_;
}

bool TDateiSenden::Released() const {
    std::lock_guard lock(mutex_);
    return released_;
}

void TDateiSenden::Release() {
    {
        std::lock_guard lock(mutex_);
        if (released_) return;
        released_ = true;
        connection_.reset();
    }
    publisher_.UnsubscribeAll();
    TDateiSendenTicker::Remove(this);
}

void TDateiSenden::SetStream(std::unique_ptr<core::TStream> stream) {
    std::unique_ptr<core::TStream> old;
    std::lock_guard lock(mutex_);
    old = std::exchange(stream_, std::move(stream));
}

core::TStream* TDateiSenden::GetStream() {
    std::lock_guard lock(mutex_);
    // Opened on first use; never re-created, which would empty the file.
    if (auto* file = dynamic_cast<connection::TFileStreamQam*>(stream_.get());
        file && !file->IsOpen() && file->GetMode() != connection::TFileStreamQam::kModeCreate)
        file->Open();
    return stream_.get();
}

void TDateiSenden::SetFileName(std::string_view fileName) {
    std::lock_guard lock(mutex_);
    fileName_ = fileName;
}

std::string TDateiSenden::GetFileName() const {
    std::lock_guard lock(mutex_);
    return fileName_;
}

void TDateiSenden::SetSendName(std::string_view name) {
    std::string safe = SendNameOf(name);
    std::lock_guard lock(mutex_);
    sendName_ = std::move(safe);
    sendNameSet_ = true;
}

std::string TDateiSenden::GetTextBefore() const {
    std::lock_guard lock(mutex_);
    return textBefore_;
}

void TDateiSenden::SetTextBefore(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
    std::string stored = WithCr(std::string(text));
    std::lock_guard lock(mutex_);
    textBefore_ = std::move(stored);
}

std::string TDateiSenden::GetTextAfter() const {
    std::lock_guard lock(mutex_);
    return textAfter_;
}

void TDateiSenden::SetTextAfter(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
    std::string stored = WithCr(std::string(text));
    std::lock_guard lock(mutex_);
    textAfter_ = std::move(stored);
}

void TDateiSenden::SetState(std::int32_t state) {
    {
        std::lock_guard lock(mutex_);
        state_ = state;
    }
    Notify();
}

void TDateiSenden::SetProtokoll(std::int32_t protokoll) {
    bool again;
    {
        std::lock_guard lock(mutex_);
        again = protokoll_ != 0;
        protokoll_ = protokoll;
    }
    if (again)
        core::DebOutObj(kClass, "SetProtokoll",
                        "WARNUNG: DateiSenden.Protokoll sollte nur einmal gesetzt werden.");
}

void TDateiSenden::SetPosition(std::int64_t position) {
    {
        std::lock_guard lock(mutex_);
        if (position == position_) return;
        position_ = position;
        if (state_ < 2) return;
        float percent = 100;
        if (size_ <= 0)
            percent = 0;
        else if (position < size_)
            percent = static_cast<float>(static_cast<double>(position) /
                                         static_cast<double>(size_) * 1000.0 / 10.0);
        // Followers show tenths of a percent: a large file in small blocks
        // would otherwise tell them of every block.
        const bool shownChange = std::floor(percent * 10) != std::floor(percent_ * 10);
        percent_ = percent;
        if (!shownChange) return;
    }
    Notify();
}

std::int64_t TDateiSenden::GetPosition() const {
    std::lock_guard lock(mutex_);
    return position_;
}

void TDateiSenden::SetSize(std::int64_t size) {
    bool notify;
    {
        std::lock_guard lock(mutex_);
        size_ = size;
        notify = state_ > 1;
    }
    if (notify) Notify();
}

void TDateiSenden::Prepare() {
    {
        std::lock_guard lock(mutex_);
        position_ = 0;
        state_ = 1;
    }
    Notify();
}

void TDateiSenden::Start() {
    {
        std::lock_guard lock(mutex_);
        position_ = 0;
        state_ = 2;
        buckets_.fill(0);
        total_ = 0;
        measuring_ = false;
        window_ = -1;
    }
    Notify();
    if (!Released()) TDateiSendenTicker::Add(shared_from_this());
}

void TDateiSenden::Stop() {
    TDateiSendenTicker::Remove(this);
    std::shared_ptr<core::IVerbindung> connection;
    {
        std::lock_guard lock(mutex_);
        connection = connection_.lock();
    }
    if (connection)
        if (auto status = connection->Status()) status->SetThroughput(0);
    SetState(0);
}

void TDateiSenden::AddBytes(std::int64_t count) {
    if (count <= 0) return;
    const std::int64_t now = NowSecond();
    std::lock_guard lock(mutex_);
    total_ += count;
    if (!measuring_) {
        if (total_ < kMeasureAfterBytes) return;
        measuring_ = true;
        startSecond_ = now;
        lastSecond_ = 0;
        return;
    }
    const std::int64_t s = std::max<std::int64_t>(now - startSecond_, lastSecond_);
    // The seconds that passed without bytes are cleared before this one counts.
    const std::int64_t clearFrom = std::max(lastSecond_ + 1, s - (kThroughputSeconds - 1));
    for (std::int64_t k = clearFrom; k <= s; ++k) buckets_[k % kThroughputSeconds] = 0;
    buckets_[s % kThroughputSeconds] += count;
    lastSecond_ = s;
}

void TDateiSenden::Tick() {
    const std::int64_t now = NowSecond();
    std::shared_ptr<core::IVerbindung> connection;
    std::int64_t e;
    {
        std::lock_guard lock(mutex_);
        if (released_ || state_ != 2 || !measuring_) return;
        e = now - startSecond_;
        connection = connection_.lock();
    }
    if (e <= 0 || !connection) return;
    const auto status = connection->Status();
    if (!status) return;
    const std::int32_t frack = status->GetFrack();
    std::int64_t d = frack <= 0 ? 40 : std::int64_t{frack} * 21 / 10;
    d = std::min<std::int64_t>(std::min<std::int64_t>(std::max<std::int64_t>(d, 20), e),
                               kThroughputSeconds - 1);
    std::int64_t sum = 0;
    int window;
    {
        std::lock_guard lock(mutex_);
        if (window_ < 0 || window_ >= d)
            window_ = static_cast<int>(d);
        else
            ++window_;
        window = window_;
        // A second after the last one counted had no bytes, whatever its bucket
        // still holds from a lap before.
        for (std::int64_t k = e; k > e - window; --k)
            if (k <= lastSecond_ && k >= 0) sum += buckets_[k % kThroughputSeconds];
    }
    const std::int64_t bits = sum / window * 8;
    status->SetThroughput(static_cast<std::int32_t>(std::min<std::int64_t>(bits, INT32_MAX)));
}

// --- Jobs for files -------------------------------------------------------------

std::shared_ptr<TDateiSenden> CreateFileJob(const std::shared_ptr<core::IVerbindung>& connection,
                                            const std::filesystem::path& file,
                                            std::int32_t protokoll, std::string* error,
                                            const platform::IClock* clock) {
    std::error_code ec;
    const std::string name = platform::Utf8ToCp1252(file.string());
    // The log keeps the German text; the operator reads it translated.
    auto fail = [&](const char* german) -> std::shared_ptr<TDateiSenden> {
        core::DebOutObj(kClass, "CreateFileJob", platform::Utf8ToCp1252(german) + "\r" + name);
        if (error) *error = core::Tr("TDateiSenden", german) + "\r" + name;
        return nullptr;
    };
    if (!std::filesystem::is_regular_file(file, ec))
        return fail(TARVO_TR_NOOP("TDateiSenden", "Datei nicht gefunden oder keine Datei:"));
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return fail(TARVO_TR_NOOP("TDateiSenden", "Datei kann nicht gelesen werden:"));
    if (size > static_cast<std::uintmax_t>(kMaxSendFileSize))
        return fail(TARVO_TR_NOOP("TDateiSenden", "Datei zu groß zum Senden (2 GB oder mehr):"));
    auto job = TDateiSenden::Create(connection, clock);
    job->SetFileName(file.string());
    job->SetStream(
        std::make_unique<connection::TFileStreamQam>(file, connection::TFileStreamQam::kModeRead));
    job->SetSize(static_cast<std::int64_t>(size));
    job->SetProtokoll(protokoll);
    return job;
}

std::int32_t ProtokollFor(const core::IVerbindung& connection) {
    const std::uint8_t mode = connection.BinMode();
    if (mode == kProtokollAutobin || mode == kProtokollDidadit) return mode;
    return kProtokollDidadit;
}

// --- The ticker -----------------------------------------------------------------

namespace {

class TTickerState : public std::enable_shared_from_this<TTickerState> {
  public:
    explicit TTickerState(platform::IDispatcher& dispatcher) : dispatcher_(dispatcher) {}

    void Add(const std::shared_ptr<TDateiSenden>& job) {
        bool post = false;
        {
            std::lock_guard lock(mutex_);
            if (stopped_) return;
            const bool known = std::any_of(jobs_.begin(), jobs_.end(),
                                           [&](const auto& w) { return w.lock() == job; });
            if (!known) jobs_.push_back(job);
            if (!timer_ && !startPosted_) post = startPosted_ = true;
        }
        if (post && !dispatcher_.Post([self = shared_from_this()] { self->StartTimer(); })) {
            // Shutting down: no tick any more, and no start left pending.
            std::lock_guard lock(mutex_);
            startPosted_ = false;
        }
    }

    void Remove(const TDateiSenden* job) {
        std::lock_guard lock(mutex_);
        std::erase_if(jobs_, [&](const auto& w) {
            const auto j = w.lock();
            return !j || j.get() == job;
        });
    }

    // Main thread.
    void Stop() {
        std::optional<platform::IDispatcher::TimerId> timer;
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
            jobs_.clear();
            timer = std::exchange(timer_, std::nullopt);
        }
        if (timer) dispatcher_.StopTimer(*timer);
    }

  private:
    void StartTimer() {
        {
            std::lock_guard lock(mutex_);
            startPosted_ = false;
            if (stopped_ || timer_ || jobs_.empty()) return;
        }
        const auto id = dispatcher_.StartTimer(std::chrono::milliseconds(1000), true,
                                               [weak = weak_from_this()] {
                                                   if (auto self = weak.lock()) self->Fire();
                                               });
        std::lock_guard lock(mutex_);
        timer_ = id;
    }

    void Fire() {
        std::vector<std::shared_ptr<TDateiSenden>> jobs;
        std::optional<platform::IDispatcher::TimerId> idle;
        {
            std::lock_guard lock(mutex_);
            std::erase_if(jobs_, [](const auto& w) { return w.expired(); });
            for (const auto& w : jobs_)
                if (auto j = w.lock()) jobs.push_back(std::move(j));
            // Nothing running: no timer until the next job starts.
            if (jobs_.empty()) idle = std::exchange(timer_, std::nullopt);
        }
        if (idle) dispatcher_.StopTimer(*idle);
        for (const auto& job : jobs) job->Tick();
    }

    platform::IDispatcher& dispatcher_;
    std::mutex mutex_;
    std::vector<std::weak_ptr<TDateiSenden>> jobs_;
    std::optional<platform::IDispatcher::TimerId> timer_;
    bool startPosted_ = false;
    bool stopped_ = false;
};

std::mutex gTickerMutex;
std::shared_ptr<TTickerState> gTicker;

std::shared_ptr<TTickerState> Ticker() {
    std::lock_guard lock(gTickerMutex);
    return gTicker;
}

}  // namespace

void TDateiSendenTicker::Install(platform::IDispatcher& dispatcher) {
    auto state = std::make_shared<TTickerState>(dispatcher);
    std::shared_ptr<TTickerState> old;
    {
        std::lock_guard lock(gTickerMutex);
        old = std::exchange(gTicker, state);
    }
    if (old) old->Stop();
}

void TDateiSendenTicker::Uninstall() {
    std::shared_ptr<TTickerState> old;
    {
        std::lock_guard lock(gTickerMutex);
        old = std::exchange(gTicker, nullptr);
    }
    if (old) old->Stop();
}

void TDateiSendenTicker::Add(const std::shared_ptr<TDateiSenden>& job) {
    if (auto t = Ticker()) t->Add(job);
}

void TDateiSendenTicker::Remove(const TDateiSenden* job) {
    if (auto t = Ticker()) t->Remove(job);
}

}  // namespace tarvo::filesend
