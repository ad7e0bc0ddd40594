#include "channels/KanaeleU.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <system_error>

#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "platform/Files.h"

namespace tarvo::channels {

namespace {

constexpr std::string_view kUnit = "KanaeleU";
constexpr std::string_view kClass = "TKanaele";
constexpr int kSoundChannelChange = 17;
constexpr std::uint8_t kPidText = 0xF0;
constexpr std::size_t kBinaryProbe = 24;
constexpr int kBinaryLimit = 4;

std::atomic<TKanaele*> gKanaele{nullptr};
std::atomic<TConnectionsList*> gConnections{nullptr};

std::array<std::uint8_t, 256> MakeClasses() {
    std::array<std::uint8_t, 256> t{};
    t.fill(1);
    t[13] = 0;
    for (int c = 32; c <= 126; ++c) t[static_cast<std::size_t>(c)] = 0;
    for (int c :
         {0x80, 0xE4, 0xF6, 0xFC, 0xC4, 0xD6, 0xDC, 0xDF, 0x81, 0x84, 0x8E, 0x94, 0x99, 0x9A, 0xE1})
        t[static_cast<std::size_t>(c)] = 0;
    for (int c : {0x7F, 0xFE, 0xFF}) t[static_cast<std::size_t>(c)] = 3;
    for (int c : {0x00, 0xC0}) t[static_cast<std::size_t>(c)] = 4;
    return t;
}

void AppendNumber(std::string& out, long long v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void AppendPadded(std::string& out, long long v, int width) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v < 0 ? -v : v);
    if (v < 0) out += '-';
    for (auto n = r.ptr - buf; n < width; ++n) out += '0';
    out.append(buf, r.ptr);
}

const char* TypeName(std::uint8_t typ) {
    switch (typ) {
        case kFrameI:
            return "I";
        case kFrameRR:
            return "RR";
        case kFrameRNR:
            return "RNR";
        case kFrameREJ:
            return "REJ";
        case kFrameSABM:
            return "SABM";
        case kFrameDISC:
            return "DISC";
        case kFrameDM:
            return "DM";
        case kFrameUA:
            return "UA";
        case kFrameFRMR:
            return "FRMR";
        case kFrameUI:
            return "UI";
        default:
            return "???";
    }
}

}  // namespace

const std::array<std::uint8_t, 256>& MonitorCharClasses() {
    static const std::array<std::uint8_t, 256> classes = MakeClasses();
    return classes;
}

bool MonitorIsBinary(std::uint8_t pid, std::string_view information) {
    if (pid != kPidText) return true;
    const auto& classes = MonitorCharClasses();
    const std::size_t n = std::min(information.size(), kBinaryProbe);
    int sum = 0;
    for (std::size_t i = n; i-- > 0 && sum < kBinaryLimit;)
        sum += classes[static_cast<unsigned char>(information[i])];
    return sum >= kBinaryLimit;
}

TMonitorLines FormatMonitorFrame(const TMonitorFrame& f, std::int32_t flags) {
    TMonitorLines out;
    std::string& h = out.header;
    h.reserve(64 + f.Von.size() + f.An.size() + f.Via.size());
    h += '[';
    if (flags & core::TConfig::kMonitorPrefixDevicePort) {
        AppendNumber(h, f.Geraet);
        AppendPadded(h, f.Port, 2);
        h += ": ";
    }
    h += f.Von;
    h += " > ";
    h += f.An;
    if (!f.Via.empty()) {
        h += " v ";
        h += f.Via;
    }
    h += ' ';
    h += TypeName(f.Typ);
    if (f.Typ == kFrameI) {
        AppendNumber(h, f.NR);
        AppendNumber(h, f.NS);
    } else if (f.Typ == kFrameRR || f.Typ == kFrameRNR || f.Typ == kFrameREJ) {
        AppendNumber(h, f.NR);
    }
    if (f.Vorzeichenform) {
        h += f.Hoch ? '+' : '-';
    } else {
        h += f.Hoch ? '^' : 'v';
    }
    if (f.DAMA) h += " DAMA";
    bool binary = false;
    if (f.Typ == kFrameI && (flags & core::TConfig::kMonitorNoBinaryDetection) == 0)
        binary = MonitorIsBinary(f.PID, f.Daten);
    if (binary) {
        h += " BIN";
        AppendNumber(h, static_cast<long long>(f.Daten.size()));
    }
    if (f.Typ == kFrameI && f.PID != kPidText) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        h += " $";
        h += kHex[f.PID >> 4];
        h += kHex[f.PID & 0x0F];
    }
    h += ']';
    if (!binary) out.information = f.Daten;
    return out;
}

// ---- channel set ----------------------------------------------------------------

TKanaele::TKanaele(const TKanalContext& ctx, IKanaeleView* view) : ctx_(ctx), view_(view) {
    TARVO_ASSERT(ctx.dispatcher && ctx.dispatcher->IsMainThread(), kUnit);
    TKanaele* expected = nullptr;
    TARVO_ASSERT(gKanaele.compare_exchange_strong(expected, this), kUnit);
    try {
        if (std::error_code ec = platform::EnsureFolder(ctx_.bufferFolder)) {
            core::DebOutObjFmt(kClass, "Create", "cannot create %s: %s",
                               ctx_.bufferFolder.string().c_str(), ec.message().c_str());
        }
        font_.sizeName = ctx_.config->Font();
        font_.family = ctx_.config->ConsoleFontFamily();
        const int n = ctx_.config->Channels();
        std::vector<std::shared_ptr<TKanal>> made;
        if (view_) view_->BeginToolbarUpdate();
        try {
            for (int i = 0; i <= n; ++i) made.push_back(MakeKanal(i));
        } catch (...) {
            if (view_) view_->EndToolbarUpdate();
            for (auto& k : made) k->Release();
            throw;
        }
        if (view_) view_->EndToolbarUpdate();
        {
            std::lock_guard lock(mutex_);
            kanaele_ = std::move(made);
        }
        aktuellNr_ = 1;
        kanaele_[1]->SetActive(true);
    } catch (...) {
        gKanaele.store(nullptr);
        throw;
    }
}

TKanaele::~TKanaele() {
    ReleaseAll();
    TKanaele* self = this;
    gKanaele.compare_exchange_strong(self, nullptr);
}

TKanaele* TKanaele::Instance() {
    return gKanaele.load();
}

std::shared_ptr<TKanal> TKanaele::MakeKanal(int n) {
    auto factory = [this](TKanal& k) -> std::unique_ptr<IKanalView> {
        return view_ ? view_->CreateKanalView(k) : nullptr;
    };
    auto k = TKanal::Create(n, ctx_, factory,
                            [this](const std::shared_ptr<core::IKanal>& c) { SetFokussiert(c); });
    k->SetFont(font_);
    return k;
}

void TKanaele::ReleaseAll() {
    std::vector<std::shared_ptr<TKanal>> all;
    {
        std::lock_guard lock(mutex_);
        fokussiert_.reset();
        all = std::move(kanaele_);
        kanaele_.clear();
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        core::DebOutObjFmt(kClass, "Destroy", "Kanal[%2.2d] := nil", static_cast<int>(i));
        all[i]->Release();
        all[i].reset();
    }
}

int TKanaele::Count() const {
    std::lock_guard lock(mutex_);
    return kanaele_.empty() ? 0 : static_cast<int>(kanaele_.size()) - 1;
}

std::shared_ptr<TKanal> TKanaele::GetKanal(int n) const {
    std::lock_guard lock(mutex_);
    if (n < 0 || static_cast<std::size_t>(n) >= kanaele_.size()) return nullptr;
    return kanaele_[static_cast<std::size_t>(n)];
}

std::shared_ptr<TKanal> TKanaele::GetAktuell() const {
    return GetKanal(aktuellNr_);
}

std::shared_ptr<TKanal> TKanaele::GetFokussiert() const {
    std::shared_ptr<core::IKanal> f;
    {
        std::lock_guard lock(mutex_);
        f = fokussiert_.lock();
    }
    if (f) {
        if (auto k = GetKanal(f->GetNummer()); k && k.get() == f.get()) return k;
    }
    return GetAktuell();
}

void TKanaele::SetFokussiert(const std::shared_ptr<core::IKanal>& kanal) {
    std::lock_guard lock(mutex_);
    fokussiert_ = kanal;
}

void TKanaele::SetAktuellNr(int n) {
    TARVO_ASSERT(n >= 0 && n <= Count(), kUnit);
    try {
        if (n == aktuellNr_) {
            if (auto k = GetKanal(n)) k->SetActive(true);
            return;
        }
        if (auto old = GetKanal(aktuellNr_)) old->SetActive(false);
        if (auto k = GetKanal(n)) k->SetActive(true);
        aktuellNr_ = n;
        if (view_) view_->SetConnectionCommandsEnabled(n != 0);
        ctx_.klaenge->Play(kSoundChannelChange, nullptr);
    } catch (const std::exception& e) {
        core::DebOutObjFmt(kClass, "SetAktuellNr", "Exception %s", e.what());
    }
}

std::shared_ptr<TKanal> TKanaele::FindFreeChannel() {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 1; i < kanaele_.size(); ++i) {
        if (kanaele_[i]->IsFree()) {
            kanaele_[i]->SetReserved(true);
            return kanaele_[i];
        }
    }
    return nullptr;
}

void TKanaele::MonitorFrame(const TMonitorFrame& frame) {
    if (frame.Von.empty()) return;
    const TMonitorLines lines = FormatMonitorFrame(frame, ctx_.config->Monitor());
    if (auto monitor = GetKanal(0))
        monitor->MonitorFrame(lines.header, lines.information, frame.Darstellung != 0);
}

void TKanaele::MonitorText(std::string_view first, std::string_view second) {
    auto monitor = GetKanal(0);
    if (!monitor) return;
    monitor->WritePieces({{kColourDevice, "\r"},
                          {kColourDevice, first},
                          {kColourDevice, "\r"},
                          {kColourDevice, second},
                          {kColourDevice, "\r"}});
}

void TKanaele::SetCount(int m) {
    m = std::clamp(m, core::TConfig::kMinChannels, core::TConfig::kMaxChannels);
    const int n = Count();
    if (m == n) return;
    if (m < n) {
        if (aktuellNr_ > m) SetAktuellNr(m);
        // Decide and take the channels out under the lock, so a device thread can
        // neither reserve one of them nor have its fresh reservation undone.
        std::vector<std::shared_ptr<TKanal>> gone;
        {
            std::lock_guard lock(mutex_);
            while (kanaele_.size() > static_cast<std::size_t>(m) + 1) {
                const auto& k = kanaele_.back();
                if (!k->IsFree()) break;
                k->SetReserved(true);
                if (fokussiert_.lock().get() == static_cast<core::IKanal*>(k.get()))
                    fokussiert_.reset();
                gone.push_back(k);
                kanaele_.pop_back();
            }
        }
        for (auto& k : gone) {
            const int nr = k->GetNummer();
            const auto file = k->Console().FileName();
            k->Release();
            std::error_code ec;
            std::filesystem::remove(file, ec);
            core::DebOutObjFmt(kClass, "SetCount", "Kanal[%2.2d] removed", nr);
        }
    } else {
        std::vector<std::shared_ptr<TKanal>> made;
        for (int i = n + 1; i <= m; ++i) made.push_back(MakeKanal(i));
        std::lock_guard lock(mutex_);
        for (auto& k : made) kanaele_.push_back(std::move(k));
    }
    ctx_.config->SetChannels(Count());
    if (view_) view_->RefreshToolbar();
}

void TKanaele::SetFont(const core::TFontFace& font) {
    font_ = font;
    for (int i = 0; i <= Count(); ++i) {
        if (auto k = GetKanal(i)) k->SetFont(font_);
    }
}

void TKanaele::ApplyColours() {
    for (int i = 0; i <= Count(); ++i) {
        if (auto k = GetKanal(i)) k->ApplyColours();
    }
}

void TKanaele::SetConsoleRows(int rows) {
    for (int i = 0; i <= Count(); ++i) {
        if (auto k = GetKanal(i)) k->SetConsoleRows(rows);
    }
}

// ---- live connections -------------------------------------------------------------

TConnectionsList::TConnectionsList() {
    TConnectionsList* expected = nullptr;
    gConnections.compare_exchange_strong(expected, this);
}

TConnectionsList::~TConnectionsList() {
    TConnectionsList* self = this;
    gConnections.compare_exchange_strong(self, nullptr);
}

TConnectionsList* TConnectionsList::Instance() {
    return gConnections.load();
}

void TConnectionsList::Add(const std::shared_ptr<core::IVerbindung>& verbindung) {
    if (!verbindung) return;
    std::lock_guard lock(mutex_);
    if (std::find(list_.begin(), list_.end(), verbindung) == list_.end())
        list_.push_back(verbindung);
}

void TConnectionsList::Remove(const core::IVerbindung* verbindung) {
    std::lock_guard lock(mutex_);
    std::erase_if(list_, [&](const auto& v) { return v.get() == verbindung; });
}

int TConnectionsList::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(list_.size());
}

std::shared_ptr<core::IVerbindung> TConnectionsList::Get(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= list_.size()) return nullptr;
    return list_[static_cast<std::size_t>(index)];
}

}  // namespace tarvo::channels
