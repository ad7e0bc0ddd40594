#include "channels/KanalU.h"

#include <charconv>
#include <cmath>

#include "channels/StatusU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/MessageWindowU.h"
#include "core/TrU.h"
#include "platform/CodePage.h"

namespace tarvo::channels {

namespace {

constexpr std::string_view kUnit = "KanalU";
constexpr std::string_view kClass = "TKanal";
constexpr std::string_view kPromptPrefix = "<Tarvo>: ";
constexpr int kPromptLineWidth = 72;
constexpr std::string_view kPromptBreaks = " ,.:@";
constexpr std::string_view kEmptyCaption = "         ";

// Sound events of the channel.
constexpr int kSoundReceivedActive = 7;
constexpr int kSoundReceivedInactive = 8;

// Images of the stop command.
constexpr int kStopImageTransfer = 9;
constexpr int kStopImageIdle = 10;

TRgb RgbOf(std::uint32_t bgr) {
    return TRgb{static_cast<std::uint8_t>(bgr & 0xFF), static_cast<std::uint8_t>((bgr >> 8) & 0xFF),
                static_cast<std::uint8_t>((bgr >> 16) & 0xFF)};
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string Decimal(std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace

TKanalBufferError::TKanalBufferError(int channel, std::error_code ec)
    : std::runtime_error("buffer file of channel " + Decimal(channel) + ": " + ec.message()),
      code_(ec) {}

std::string BufferErrorText() {
    return core::Tr("TKanal", "Fehler beim Öffnen der Textpuffer. Bitte starten Sie Windows neu.");
}

std::string FormatPrompt(std::string_view text) {
    const std::size_t width = kPromptLineWidth - kPromptPrefix.size();
    const std::string indent(kPromptPrefix.size(), ' ');
    std::string out = "\r";
    while (!text.empty()) {
        const std::size_t cr = text.find('\r');
        std::string_view line = text.substr(0, cr);
        text = cr == std::string_view::npos ? std::string_view{} : text.substr(cr + 1);
        bool first = true;
        do {
            std::string_view piece = line;
            if (line.size() > width) {
                std::size_t cut = std::string_view::npos;
                for (std::size_t i = width; i-- > 0;) {
                    if (kPromptBreaks.find(line[i]) != std::string_view::npos) {
                        cut = i + 1;
                        break;
                    }
                }
                if (cut != std::string_view::npos) piece = line.substr(0, cut);
            }
            line.remove_prefix(piece.size());
            // The rest starts a new output line: blanks at the break go with it.
            while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
            out += first ? std::string(kPromptPrefix) : indent;
            out += Trim(piece);
            out += '\r';
            first = false;
        } while (!line.empty());
    }
    out += '\r';
    return out;
}

std::string LinkStateText(std::uint8_t state) {
    switch (state) {
        case core::kLinkDisconnected:
            return core::Tr("TKanal", "Getrennt");
        case core::kLinkDisconnecting:
            return core::Tr("TKanal", "Trenne...");
        case core::kLinkConnecting:
            return core::Tr("TKanal", "Verbinde...");
        case core::kLinkConnected:
            return core::Tr("TKanal", "Verbunden");
        default:
            return "";
    }
}

int ButtonImage(std::uint8_t linkState, bool unread, bool active) {
    if ((linkState > core::kLinkConnecting && !unread) || (unread && active)) return 1;
    if (unread) return 2;
    return 0;
}

std::string FormatPercent(double percent) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, percent, std::chars_format::fixed, 1);
    return std::string(buf, r.ptr) + "%";
}

std::string FormatSendJob(std::string_view sendName, std::int64_t size) {
    std::string out = sendName.empty() ? std::string("(unbekannt)") : std::string(sendName);
    if (size > 0) {
        const auto kb = static_cast<std::int64_t>(std::llround(static_cast<double>(size) / 1024.0));
        out += " (" + Decimal(kb) + "k)";
    }
    return out;
}

// ---- creation and release ---------------------------------------------------

TKanal::TKanal(int number, const TKanalContext& ctx)
    : number_(number), ctx_(ctx), console_(*ctx.clock) {}

TKanal::~TKanal() = default;

std::shared_ptr<TKanal> TKanal::Create(
    int number, const TKanalContext& ctx, const ViewFactory& viewFactory,
    std::function<void(const std::shared_ptr<core::IKanal>&)> onFocused) {
    TARVO_ASSERT(ctx.dispatcher && ctx.dispatcher->IsMainThread(), kUnit);
    TARVO_ASSERT(ctx.config && ctx.clock && ctx.klaenge, kUnit);
    std::shared_ptr<TKanal> k(new TKanal(number, ctx));
    k->onFocused_ = std::move(onFocused);

    TConsole& c = k->console_;
    c.SetCols(80);
    c.SetLineBreak(TConsoleLineBreak::CR);
    c.SetFileName(ctx.bufferFolder / ConsoleBufferFileName(number));
    c.SetVirtualMemory(true);
    if (std::error_code ec = c.SetRows(ctx.config->ConsoleRows()))
        throw TKanalBufferError(number, ec);
    if (std::error_code ec = c.Open()) throw TKanalBufferError(number, ec);
    if (c.OpenOutcome() == TConsoleOpen::Damaged) {
        core::DebOutObjFmt(kClass, "Create", "damaged buffer of channel %d kept as %s", number,
                           c.DamagedCopy().string().c_str());
    }

    k->view_ = viewFactory ? viewFactory(*k) : nullptr;
    if (!k->view_) k->view_ = std::make_unique<TNullKanalView>();
    k->view_->SetButtonCaption(number > 0 ? std::string(kEmptyCaption)
                                          : core::Tr("TKanal", "Monitor"));
    k->UpdateButtonImage();
    k->ApplyColours();
    return k;
}

void TKanal::Release() {
    TARVO_ASSERT(ctx_.dispatcher->IsMainThread(), kUnit);
    if (released_.exchange(true)) {
        core::DebOutObjFmt(kClass, "Release", "channel %d already released", number_);
        return;
    }
    reserved_.store(true);
    StopRecording();
    boxList_.reset();
    std::shared_ptr<core::IVerbindung> v;
    std::shared_ptr<core::IDateiSenden> job;
    {
        std::lock_guard lock(mutex_);
        v = std::move(verbindung_);
        job = std::move(job_);
    }
    if (job) job->Unsubscribe(shared_from_this());
    if (v) {
        if (auto status = v->Status()) {
            if (status->GetDisplay().get() == static_cast<core::IKanal*>(this))
                status->SetDisplay(nullptr);
        }
        v->SetKanal(nullptr);
    }
    publisher_.UnsubscribeAll();
    // The window side goes now, on the main thread: the last reference to the
    // channel may be dropped on a worker.
    view_ = std::make_unique<TNullKanalView>();
    console_.Close();
}

bool TKanal::OnMain(const std::function<void()>& task) {
    if (released_.load()) return false;
    bool ran = false;
    const auto r = ctx_.dispatcher->Call([&] {
        // Release runs on the main thread too, so this check cannot race it.
        if (released_.load()) return;
        task();
        ran = true;
    });
    return r == platform::IDispatcher::CallResult::Done && ran;
}

// ---- writing ----------------------------------------------------------------

void TKanal::Record(std::string_view text) {
    std::lock_guard lock(saveMutex_);
    if (!saveFile_.is_open()) return;
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        out += c;
        if (c == '\r') out += '\n';
    }
    saveFile_.write(out.data(), static_cast<std::streamsize>(out.size()));
    saveFile_.flush();
}

std::int64_t TKanal::DoWriteText(std::uint8_t colour, std::uint8_t mark, std::string_view text) {
    if (!console_.Active()) return -1;
    console_.SetColor(colour);
    const std::int64_t serial = console_.LineSerial();
    if (mark != 0) console_.SetMark(mark);
    console_.Write(text);
    return serial;
}

void TKanal::DoWriteLine(std::uint8_t colour, std::uint8_t mark, std::string_view text) {
    if (!console_.Active()) return;
    console_.SetColor(colour);
    if (console_.WriteColumn() != 0) console_.Write("\r");
    if (mark != 0) console_.SetMark(mark);
    console_.Write(text);
}

std::int64_t TKanal::Write(std::uint8_t colour, std::uint8_t mark, std::string_view text, bool line,
                           std::string_view recordPrefix) {
    std::int64_t row = -1;
    OnMain([&] {
        if (!recordPrefix.empty()) Record(recordPrefix);
        Record(text);
        if (line) {
            DoWriteLine(colour, mark, text);
        } else {
            row = DoWriteText(colour, mark, text);
        }
    });
    return row;
}

std::int64_t TKanal::WriteColoured(std::uint8_t colour, std::string_view text) {
    return Write(colour, 0, text, false);
}

void TKanal::WritePieces(std::initializer_list<TPiece> pieces) {
    OnMain([&] {
        for (const TPiece& p : pieces) {
            Record(p.text);
            DoWriteText(p.colour, 0, p.text);
        }
    });
}

void TKanal::MonitorFrame(std::string_view header, std::string_view information, bool highlight) {
    // One main-thread step: the lines of one frame stay together whatever other
    // device writes at the same time.
    OnMain([&] {
        Record("\r");
        Record(header);
        Record("\r");
        Record(information);
        DoWriteText(highlight ? kColourOwn : kColourReceived, 0, header);
        DoWriteText(highlight ? kColourOwn : kColourReceived, 0, "\r");
        if (!information.empty()) {
            DoWriteText(kColourMonitorInfo, 0, information);
            DoWriteText(kColourMonitorInfo, 0, "\r");
        }
    });
}

std::uint8_t TKanal::ColourOfType(int type) const {
    switch (type) {
        case 0:
            return kColourNotice;
        case 1:
            return kColourReceived;
        case 2:
            return kColourOwn;
        case 3:
            return kColourCode8;
        default:
            return kColourOther;
    }
}

void TKanal::Message(std::string_view text, int type) {
    Write(ColourOfType(type), 0, text, false);
}

void TKanal::Prompt(std::string_view text, int type) {
    std::string t(text);
    if (t.empty() || t.back() != '\r') t += '\r';
    Write(ColourOfType(type), 0, FormatPrompt(t), false);
}

std::int64_t TKanal::Received(std::string_view text) {
    std::int64_t row = -1;
    const bool ran = OnMain([&] {
        Record(text);
        row = DoWriteText(kColourReceived, 0, text);
        if (!active_.load()) unread_ = true;
        UpdateButtonImage();
    });
    if (ran && !text.empty() && text != "\r") {
        ctx_.klaenge->Play(active_.load() ? kSoundReceivedActive : kSoundReceivedInactive,
                           GetVerbindung());
    }
    return row;
}

std::int64_t TKanal::Echo(std::string_view text) {
    return Write(kColourOwn, 0, text, false);
}

void TKanal::MarkBoxLine(std::int64_t serial) {
    if (serial < 0 || serial > UINT32_MAX) return;
    OnMain([&] {
        const int row = console_.RowOfSerial(static_cast<std::uint32_t>(serial));
        if (row < 0) return;
        console_.SetMark(kMarkMailbox, row);
        console_.SetMailbox(true, row);
    });
}

void TKanal::ClearConsole() {
    OnMain([&] {
        // Serials start again in a cleared console: old marks would hit new lines.
        boxList_.reset();
        console_.Clear();
    });
}

void TKanal::SetConsoleRows(int rows) {
    OnMain([&] {
        boxList_.reset();
        if (std::error_code ec = console_.SetRows(rows)) {
            core::DebOutObjFmt(kClass, "SetConsoleRows", "channel %d: %s", number_,
                               ec.message().c_str());
        }
    });
}

void TKanal::SetShowDOS(bool on) {
    showDos_.store(on);
    OnMain([&] { view_->ShowDos(on); });
}

// ---- connection life --------------------------------------------------------

bool TKanal::Unread() const {
    return unread_;
}

std::shared_ptr<core::IVerbindung> TKanal::GetVerbindung() const {
    std::lock_guard lock(mutex_);
    return verbindung_;
}

bool TKanal::HasConnection() const {
    return GetVerbindung() != nullptr;
}

bool TKanal::IsIdle() const {
    return number_ > 0 && !HasConnection();
}

bool TKanal::IsFree() const {
    return IsIdle() && !reserved_.load();
}

std::uint8_t TKanal::GetState() const {
    const auto v = GetVerbindung();
    return v ? v->State() : std::uint8_t{core::kLinkDisconnected};
}

std::string TKanal::NoticeSuffix() const {
    std::string out = "\r";
    if (ctx_.config->Timestamp()) {
        out += core::FormatDateTime(core::UnixSecondsToDateTime(ctx_.clock->LocalSeconds()));
        out += '\r';
    }
    return out;
}

void TKanal::Verbunden() {
    const auto v = GetVerbindung();
    TARVO_ASSERT(v != nullptr, kUnit);
    std::string notice =
        core::FillArgs(core::Tr("TKanal", "%1: Verbunden mit %2"), {v->MyCall(), v->Call()});
    const std::string digis = v->Digis();
    if (!digis.empty()) notice += " (via " + digis + ")";
    notice += NoticeSuffix();
    OnMain([&] {
        Record("\r");
        Record(notice);
        DoWriteLine(kColourNotice, kMarkConnect, notice);
        if (!active_.load()) unread_ = true;
        UpdateButtonImage();
        const bool started = !ctx_.startupDone || ctx_.startupDone();
        const bool visible = !ctx_.mainWindowVisible || ctx_.mainWindowVisible();
        if (started && !visible) view_->FlashMainWindow();
    });
}

void TKanal::Getrennt(std::uint8_t reason) {
    std::shared_ptr<core::IVerbindung> v = GetVerbindung();
    std::string remote, myCall;
    if (v) {
        remote = v->Call();
        const std::string digis = v->Digis();
        if (!digis.empty()) remote += " (via " + digis + ")";
        myCall = v->MyCall();
    }
    const char* text = TARVO_TR_NOOP("TKanal", "%1: Getrennt von %2");
    switch (reason) {
        case core::kDisconnectLinkFailure:
            text = TARVO_TR_NOOP("TKanal", "%1: Verbindungsfehler. Getrennt von %2");
            break;
        case core::kDisconnectBusy:
            text = TARVO_TR_NOOP("TKanal", "%1: Besetzt. Getrennt von %2");
            break;
        default:
            break;
    }
    std::string notice = core::FillArgs(core::Tr("TKanal", text), {myCall, remote});
    notice += NoticeSuffix();
    notice += '\r';

    const bool ran = OnMain([&] {
        Record(notice);
        DoWriteLine(kColourNotice, kMarkDisconnect, notice);
        view_->SetButtonCaption(std::string(kEmptyCaption));
        hint_ = "|";
        view_->SetButtonHint(hint_);
    });
    if (v) {
        if (auto status = v->Status()) status->SetDisplay(nullptr);
    }
    {
        std::lock_guard lock(mutex_);
        if (verbindung_ == v) verbindung_.reset();
    }
    if (ran) {
        OnMain([&] {
            RefreshAllPanels();
            if (!active_.load()) unread_ = true;
            UpdateButtonImage();
        });
    }
    publisher_.NotifySubscribers(nullptr);
    OnMain([&] { view_->UpdateEditCommands(); });
    reserved_.store(false);
}

void TKanal::SetVerbindung(const std::shared_ptr<core::IVerbindung>& verbindung) {
    if (released_.load()) return;
    {
        std::lock_guard lock(mutex_);
        verbindung_ = verbindung;
    }
    if (verbindung) {
        if (active_.load()) {
            if (auto status = verbindung->Status()) status->SetDisplay(shared_from_this());
        }
        CallChange();
    } else {
        reserved_.store(false);
    }
    OnMain([&] {
        RefreshAllPanels();
        view_->UpdateEditCommands();
    });
}

void TKanal::Restored() {
    OnMain([&] {
        view_->UpdateEditCommands();
        UpdateButtonImage();
    });
}

void TKanal::CallChange() {
    const auto v = GetVerbindung();
    TARVO_ASSERT(v != nullptr, kUnit);
    const std::string call = v->Call();
    core::DebOutObjFmt(kClass, "CallChange", "Call %s MyCall %s", call.c_str(),
                       v->MyCall().c_str());
    const auto entry = v->StationEntry();
    const std::string name = entry ? entry->GetName() : core::Tr("TKanal", "Unbekannt");
    const std::string hint = v->Path() + "\r" +
                             core::FillArgs(core::Tr("TKanal", "Name: %1"), {name}) + "\r" +
                             core::FillArgs(core::Tr("TKanal", "Typ: %1"),
                                            {core::StationTypeCaption(v->StationType())}) +
                             "|";
    OnMain([&] {
        view_->SetButtonCaption(call);
        hint_ = hint;
        view_->SetButtonHint(hint_);
    });
    publisher_.NotifySubscribers(nullptr);
}

std::string TKanal::GetHint() const {
    return hint_;
}

void TKanal::StateChanged() {
    OnMain([&] {
        if (!active_.load()) return;
        RefreshChannelPanels();
        UpdateButtonImage();
    });
}

void TKanal::ModuleChanged() {
    OnMain([&] {
        if (active_.load()) UpdateStopImage();
    });
}

void TKanal::UpdateStopImage() {
    const auto v = GetVerbindung();
    view_->SetStopImage(v && v->TransferActive() ? kStopImageTransfer : kStopImageIdle);
}

void TKanal::PactorChangeover() {
    if (auto v = GetVerbindung()) v->PactorChangeOver();
}

void TKanal::PactorBreakin() {
    if (auto v = GetVerbindung()) v->PactorBreakIn();
}

// ---- send jobs ----------------------------------------------------------------

std::shared_ptr<core::IDateiSenden> TKanal::ShownJob() const {
    std::lock_guard lock(mutex_);
    return job_;
}

float TKanal::Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

void TKanal::Notify(const void* sender) {
    const auto* job = static_cast<const core::IDateiSenden*>(sender);
    if (job == nullptr || released_.load()) return;
    const std::int32_t state = job->GetState();
    std::shared_ptr<core::IDateiSenden> toRelease;
    bool beep = false;
    if (state != 0) {
        std::shared_ptr<core::IDateiSenden> candidate;
        if (auto v = GetVerbindung()) {
            auto current = v->DateiSenden();
            if (current.get() == job) candidate = std::move(current);
        }
        std::lock_guard lock(mutex_);
        if (job_ && job_.get() != job) {
            beep = true;
            core::DebOutObjFmt(kClass, "Notify", "DateiSenden = %p (%s)",
                               static_cast<const void*>(job_.get()), job_->GetSendName().c_str());
            core::DebOutObjFmt(kClass, "Notify", "          D = %p (%s)", sender,
                               job->GetSendName().c_str());
        } else if (!job_ && candidate) {
            job_ = std::move(candidate);
        }
        if (job_) progress_ = job_->GetPercent();
    } else {
        // Only the job the channel shows may end what it shows.
        std::lock_guard lock(mutex_);
        if (job_ && job_.get() == job) {
            toRelease = std::move(job_);
            job_.reset();
            progress_ = 0;
        }
        if (!toRelease) return;
    }
    if (toRelease) toRelease->Release();
    OnMain([&] {
        if (beep) view_->Beep();
        if (active_.load()) RefreshAllPanels();
    });
}

// ---- activation and the status bar ------------------------------------------

void TKanal::UpdateButtonImage() {
    const int image = ButtonImage(GetState(), unread_, active_.load());
    if (image == buttonImage_) return;
    buttonImage_ = image;
    view_->SetButtonImage(image);
}

void TKanal::SetActive(bool active) {
    TARVO_ASSERT(ctx_.dispatcher->IsMainThread(), kUnit);
    if (released_.load()) return;
    const bool was = active_.exchange(active);
    const auto v = GetVerbindung();
    if (active) {
        if (onFocused_) onFocused_(shared_from_this());
        if (v) {
            if (auto status = v->Status()) status->SetDisplay(shared_from_this());
            if (auto job = v->DateiSenden()) job->Subscribe(shared_from_this());
        }
        unread_ = false;
        if (!was) {
            view_->SetButtonChecked(true);
            RefreshChannelPanels();
            view_->ShowChannel(true);
            RefreshLinkPanels(true);
            UpdateStopImage();
        }
        view_->UpdateEditCommands();
        view_->SetMenuChecks(Recording(), showDos_.load(), sendDos_.load());
        view_->FocusInput();
        shownProgress_.reset();
        RefreshProgress();
    } else {
        if (v) {
            if (auto status = v->Status()) {
                if (status->GetDisplay().get() == static_cast<core::IKanal*>(this))
                    status->SetDisplay(nullptr);
            }
        }
        view_->ShowChannel(false);
        view_->SetButtonChecked(false);
    }
    UpdateButtonImage();
}

void TKanal::RefreshChannelPanels() {
    if (!active_.load()) return;
    const auto v = GetVerbindung();
    const std::uint8_t state = v ? v->State() : std::uint8_t{core::kLinkDisconnected};
    const std::string stateText(LinkStateText(state));
    if (number_ == 0) {
        for (int p = 1; p <= 6; ++p) view_->SetStatusPanel(p, {});
    }
    const auto job = ShownJob();
    if (v && job) {
        std::string text = stateText;
        if (state == core::kLinkConnected) {
            const std::int32_t jobState = job->GetState();
            if (jobState == 1) {
                text = core::Tr("TKanal", "Warte...");
            } else if (jobState == 2) {
                text = FormatSendJob(job->GetSendName(), job->GetSize());
            }
        }
        view_->SetStatusPanel(1, text);
    } else {
        view_->SetStatusPanel(0, stateText);
        std::string name;
        if (Recording()) name = platform::Utf8ToCp1252(RecordingFile().filename().string());
        view_->SetStatusPanel(1, name);
    }
    view_->SetStatusPanel(7, {});
    view_->SetStatusPanel(8, v && state != core::kLinkDisconnected ? v->MyCall() : std::string());
}

void TKanal::RefreshLinkPanels(bool full) {
    if (!active_.load()) return;
    if (number_ == 0) {
        for (int p = 1; p <= 6; ++p) view_->SetStatusPanel(p, {});
        view_->SetStatusPanel(0, core::Tr("TKanal", "Monitor"));
        view_->SetStatusPanel(7, ctx_.config->UiDestination());
        view_->SetStatusPanel(8, ctx_.config->UiMyCall());
        return;
    }
    const auto v = GetVerbindung();
    const auto status = v ? v->Status() : nullptr;
    if (!v || !status || v->State() == core::kLinkDisconnected) {
        for (int p = 1; p <= 8; ++p) view_->SetStatusPanel(p, {});
        return;
    }
    const TStatusPanels panels = FormatStatusPanels(*status, full);
    for (int p = 0; p < kStatusPanelCount; ++p) {
        if (panels.panel[static_cast<std::size_t>(p)])
            view_->SetStatusPanel(p, *panels.panel[static_cast<std::size_t>(p)]);
    }
}

void TKanal::RefreshAllPanels() {
    RefreshChannelPanels();
    RefreshLinkPanels(true);
    RefreshProgress();
}

void TKanal::RefreshStatusBar() {
    OnMain([&] { RefreshLinkPanels(false); });
}

void TKanal::RefreshProgress() {
    if (!active_.load()) return;
    const auto job = ShownJob();
    if (!job) {
        if (shownProgress_) view_->SetProgress(false, 0, {});
        shownProgress_.reset();
        return;
    }
    const float p = Progress();
    if (shownProgress_ && *shownProgress_ == p) return;
    shownProgress_ = p;
    view_->SetProgress(true, static_cast<int>(std::lround(p)), FormatPercent(p));
}

// ---- appearance -----------------------------------------------------------------

void TKanal::SetFont(const core::TFontFace& font) {
    OnMain([&] { view_->ApplyFont(font); });
}

void TKanal::ApplyColours() {
    OnMain([&] {
        const core::TConfig& c = *ctx_.config;
        using C = core::TConfig;
        if (number_ > 0) {
            console_.SetBackground(RgbOf(c.Color(C::kColorChannelBackground)));
            console_.SetPaletteEntry(kColourOwn, RgbOf(c.Color(C::kColorChannelOwn)));
            console_.SetPaletteEntry(kColourCode8, RgbOf(c.Color(C::kColorChannelCode8)));
            console_.SetPaletteEntry(kColourReceived, RgbOf(c.Color(C::kColorChannelReceived)));
            console_.SetPaletteEntry(kColourNotice, RgbOf(c.Color(C::kColorChannelNotice)));
        } else {
            console_.SetBackground(RgbOf(c.Color(C::kColorMonitorBackground)));
            console_.SetPaletteEntry(kColourOwn, RgbOf(c.Color(C::kColorMonitorHeaderHighlight)));
            console_.SetPaletteEntry(kColourMonitorInfo, RgbOf(c.Color(C::kColorMonitorInfo)));
            console_.SetPaletteEntry(kColourDevice, RgbOf(c.Color(C::kColorMonitorDevice)));
            console_.SetPaletteEntry(kColourReceived, RgbOf(c.Color(C::kColorMonitorHeader)));
        }
        view_->ApplyInputColours(c.Color(C::kColorInputBackground), c.Color(C::kColorInputUnsent),
                                 c.Color(C::kColorInputSent));
    });
}

// ---- recording --------------------------------------------------------------------

std::error_code TKanal::StartRecording(const std::filesystem::path& file, bool overwrite) {
    std::lock_guard lock(saveMutex_);
    if (saveFile_.is_open()) saveFile_.close();
    saveFile_.clear();
    saveFile_.open(file, std::ios::binary | (overwrite ? std::ios::trunc : std::ios::app));
    if (!saveFile_.is_open()) {
        saveName_.clear();
        return std::make_error_code(std::errc::io_error);
    }
    saveName_ = file;
    return {};
}

void TKanal::StopRecording() {
    std::lock_guard lock(saveMutex_);
    if (saveFile_.is_open()) saveFile_.close();
    saveName_.clear();
}

bool TKanal::Recording() const {
    std::lock_guard lock(saveMutex_);
    return saveFile_.is_open();
}

std::filesystem::path TKanal::RecordingFile() const {
    std::lock_guard lock(saveMutex_);
    return saveName_;
}

// ---- input and commands ------------------------------------------------------------

void TKanal::ShowMessage(std::string_view title, std::string_view text) {
    core::DebOutObj(kClass, "Message", text);
    if (ctx_.messages)
        ctx_.messages->Run(std::string(title), std::string(text), 1u << core::kBitOk);
}

void TKanal::SendInput(std::string_view text) {
    TARVO_ASSERT(ctx_.dispatcher->IsMainThread(), kUnit);
    if (released_.load()) return;
    if (number_ == 0) {
        SendUiFrame(text);
        return;
    }
    const auto v = GetVerbindung();
    if (v && !text.empty()) SendTyped(v, text);
}

void TKanal::SendDroppedData(std::string_view text) {
    TARVO_ASSERT(ctx_.dispatcher->IsMainThread(), kUnit);
    if (released_.load() || number_ == 0) return;
    const auto v = GetVerbindung();
    if (v && !text.empty()) SendTyped(v, text, false);
}

void TKanal::SendUiFrame(std::string_view text) {
    const core::TConfig& c = *ctx_.config;
    const std::string destination = c.UiDestination();
    const std::string myCall = c.UiMyCall();
    std::shared_ptr<core::IFunkKanal> funk;
    if (ctx_.funkKanaele) funk = FindFunkKanal(ctx_.funkKanaele(), c.UiPort());
    if (destination.empty())
        return ShowMessage(kUiMessageTitle, core::Tr("TKanal", kUiNoDestination));
    if (myCall.empty()) return ShowMessage(kUiMessageTitle, core::Tr("TKanal", kUiNoMyCall));
    if (!funk) return ShowMessage(kUiMessageTitle, core::Tr("TKanal", kUiNoChannel));
    if (text.empty()) return;
    if (!funk->SendUI(destination, myCall, text))
        core::DebOutObjFmt(kClass, "SendUI", "%s: no device", funk->GetKennung().c_str());
}

void TKanal::SendTyped(const std::shared_ptr<core::IVerbindung>& v, std::string_view text,
                       bool carets) {
    const std::string out = sendDos_.load() ? platform::Cp1252ToCp850(text) : std::string(text);
    v->SendData(out, true, carets, WrapForStationType(v->StationType()), true);
    ctx_.klaenge->Play(kSoundSendLine, v);
}

void TKanal::TextBlock(int kind, bool insert) {
    const auto v = GetVerbindung();
    std::string text = ctx_.texte ? ctx_.texte->GetText(kind, v.get()) : std::string();
    if (text.empty()) return;
    if (insert) {
        view_->InsertInput(text);
        return;
    }
    if (!v) return;
    if (text.back() != '\r') text += '\r';
    SendTyped(v, text);
}

IBoxList& TKanal::BoxList() {
    if (!boxList_) {
        if (ctx_.boxList) boxList_ = ctx_.boxList(*this);
        if (!boxList_) boxList_ = std::make_unique<TBoxList>(*this);
    }
    return *boxList_;
}

void TKanal::RunBoxList() {
    // The list may call out (send on the connection); it is freed after.
    std::unique_ptr<IBoxList> list = std::move(boxList_);
    if (list) list->Execute();
    list.reset();
    view_->FocusInput();
    console_.ScrollToEnd();
}

void TKanal::KeyDown(int& key, unsigned shift) {
    TARVO_ASSERT(ctx_.dispatcher->IsMainThread(), kUnit);
    if (released_.load() || key == 0) return;
    const TKanalKey k = KanalKey(key, shift, view_->FocusedControl() == TKanalFocus::Console);
    if (k.createBoxList) BoxList();
    using A = TKanalKeyAction;
    switch (k.action) {
        case A::None:
            return;
        case A::ConsoleEndFocusInput:
            console_.ScrollToEnd();
            view_->FocusInput();
            break;
        case A::FocusInput:
            view_->FocusInput();
            break;
        case A::BoxPreviousBlock:
            BoxList().PreviousBlock();
            break;
        case A::BoxNextBlock:
            BoxList().NextBlock();
            break;
        case A::BoxExecute:
            RunBoxList();
            break;
        case A::BoxMarkRead: {
            const auto [first, last] = BoxRows(console_);
            BoxList().MarkRead(first, last, true, true);
            break;
        }
        case A::BoxMarkErase: {
            const auto [first, last] = BoxRows(console_);
            BoxList().MarkErase(first, last, true, true);
            break;
        }
        case A::Beep:
            view_->Beep();
            break;
        case A::ScrollLineUp:
            console_.ScrollLineUp();
            break;
        case A::ScrollLineDown:
            console_.ScrollLineDown();
            break;
        case A::ScrollEndCaretEnd:
            console_.ScrollToEnd();
            view_->InputCaretToEnd();
            break;
        case A::ScrollTop:
            console_.ScrollToTop();
            break;
        case A::TextBlock:
            TextBlock(k.textKind, k.insert);
            break;
        case A::FocusConsole:
            view_->FocusConsole();
            break;
        case A::BoxLastLine:
            BoxList();
            GoToLastBoxLine(console_);
            view_->FocusConsole();
            break;
        case A::ScrollPageUp:
            console_.ScrollPageUp();
            break;
        case A::ScrollPageDown:
            console_.ScrollPageDown();
            break;
    }
    key = 0;
}

void TKanal::BoxMarkRead(bool toggle, bool advance) {
    if (released_.load()) return;
    const auto [first, last] = BoxRows(console_);
    BoxList().MarkRead(first, last, advance, toggle);
}

void TKanal::BoxMarkErase(bool toggle, bool advance) {
    if (released_.load()) return;
    const auto [first, last] = BoxRows(console_);
    BoxList().MarkErase(first, last, advance, toggle);
}

void TKanal::BoxUnmark(bool advance) {
    if (released_.load()) return;
    const auto [first, last] = BoxRows(console_);
    BoxList().Unmark(first, last, advance);
}

void TKanal::BoxRun() {
    if (released_.load()) return;
    RunBoxList();
}

void TKanal::GutterClick(int row) {
    if (released_.load() || row < 0 || row >= console_.Rows()) return;
    const auto rows = console_.Selection().Empty() ? std::pair{row, row} : BoxRows(console_);
    BoxList().MarkRead(rows.first, rows.second, false, true);
}

void TKanal::Cut() {
    if (view_->FocusedControl() == TKanalFocus::Input) view_->InputEdit(TEditCommand::Cut);
}

void TKanal::Paste() {
    if (view_->FocusedControl() == TKanalFocus::Input) view_->InputEdit(TEditCommand::Paste);
}

void TKanal::SelectAll() {
    if (view_->FocusedControl() == TKanalFocus::Input) view_->InputEdit(TEditCommand::SelectAll);
}

void TKanal::Delete() {
    if (view_->FocusedControl() == TKanalFocus::Input) view_->InputEdit(TEditCommand::Delete);
}

void TKanal::Copy() {
    switch (EditTarget(TEditCommand::Copy, view_->FocusedControl(), number_, active_.load())) {
        case TEditTarget::Console: {
            const std::string text = console_.SelectedText();
            if (!text.empty()) view_->CopyToClipboard(text);
            break;
        }
        case TEditTarget::Input:
            view_->InputEdit(TEditCommand::Copy);
            break;
        case TEditTarget::None:
            break;
    }
}

std::vector<TMenuItem> TKanal::ContextMenu(bool onConsole) {
    if (released_.load()) return {};
    if (onFocused_) onFocused_(shared_from_this());
    view_->UpdateEditCommands();
    return ContextMenuItems(onConsole, number_, console_.GetLine(console_.LineCursorRow()).mailbox);
}

void TKanal::MenuCommand(TMenuCommand command, bool onConsole) {
    if (released_.load()) return;
    switch (command) {
        case TMenuCommand::BoxRead:
            BoxMarkRead(false, false);
            break;
        case TMenuCommand::BoxErase:
            BoxMarkErase(false, false);
            break;
        case TMenuCommand::BoxUnmark:
            BoxUnmark(false);
            break;
        case TMenuCommand::BoxRun:
            BoxRun();
            break;
        case TMenuCommand::Copy:
            // The menu names its control; the focus may sit on the menu meanwhile.
            if (onConsole) {
                const std::string text = console_.SelectedText();
                if (!text.empty()) view_->CopyToClipboard(text);
            } else {
                view_->InputEdit(TEditCommand::Copy);
            }
            break;
        case TMenuCommand::Cut:
            view_->InputEdit(TEditCommand::Cut);
            break;
        case TMenuCommand::Paste:
            view_->InputEdit(TEditCommand::Paste);
            break;
        case TMenuCommand::Delete:
            view_->InputEdit(TEditCommand::Delete);
            break;
        case TMenuCommand::Separator:
            break;
    }
}

std::string TKanal::ConsoleHint(int kind, int row, int col) {
    if (released_.load()) return {};
    std::string hint =
        ConsoleHintText(console_, kind, row, col, ctx_.clock->LocalSeconds(), ctx_.stationen.get());
    if (!hint.empty()) core::DebOutObj(kClass, "ConsoleHint", hint);
    return hint;
}

void TKanal::ShowHint() {
    if (released_.load()) return;
    const std::string shortHint = hint_.substr(0, hint_.find('|'));
    if (!shortHint.empty()) view_->ShowButtonHint(shortHint);
}

void TKanal::Print() {
    if (released_.load()) return;
    const TPrintRange range = PrintRange(console_);
    view_->PrintConsole(range.first, range.last);
}

void TKanal::ToggleSaveToFile() {
    TARVO_ASSERT(ctx_.dispatcher->IsMainThread(), kUnit);
    if (released_.load()) return;
    if (Recording()) {
        StopRecording();
    } else {
        SaveToFile();
    }
    // Also after a cancel: the command's check follows the state, not the click.
    view_->SetMenuChecks(Recording(), showDos_.load(), sendDos_.load());
    RefreshChannelPanels();
}

void TKanal::SaveToFile() {
    const auto v = GetVerbindung();
    const std::filesystem::path folder =
        ctx_.receiveFolder ? ctx_.receiveFolder() : std::filesystem::path();
    const auto chosen = view_->AskSaveFile(ProposedSaveName(v.get(), number_), folder);
    if (!chosen || chosen->empty()) return;
    core::DebOutObj(kClass, "Speichern", chosen->string());
    bool overwrite = true;
    std::error_code ec;
    if (std::filesystem::exists(*chosen, ec)) {
        const TSaveAnswer answer = view_->AskOverwriteOrAppend(*chosen);
        if (answer == TSaveAnswer::Cancel) return;
        overwrite = answer == TSaveAnswer::Overwrite;
    }
    if (StartRecording(*chosen, overwrite)) {
        ShowMessage(core::Tr("TKanal", kSaveTitle), core::Tr("TKanal", kSaveOpenError));
        return;
    }
    const bool selected = !console_.Selection().Empty();
    const bool once = selected && !console_.SelectionReachesEnd();
    const std::string text = console_.SelectedText();
    {
        std::lock_guard lock(saveMutex_);
        if (saveFile_.is_open()) {
            saveFile_.write(text.data(), static_cast<std::streamsize>(text.size()));
            saveFile_.flush();
            // A selection that ends above the last row is saved once.
            if (once) {
                saveFile_.close();
                saveName_.clear();
            }
        }
    }
    console_.ClearSelection();
}

// ---- publisher ----------------------------------------------------------------------

void TKanal::Subscribe(std::shared_ptr<core::ISubscriber> subscriber) {
    publisher_.Subscribe(std::move(subscriber));
}

void TKanal::Unsubscribe(const std::shared_ptr<core::ISubscriber>& subscriber) {
    publisher_.Unsubscribe(subscriber);
}

}  // namespace tarvo::channels
