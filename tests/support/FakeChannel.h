// Fakes around a channel: a view that records what the channel showed, a
// connection with settable fields, and a send job.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "channels/KanalU.h"
#include "core/InterfacesU.h"
#include "core/PublisherU.h"
#include "tests/support/SendJobStub.h"

namespace tarvo::test {

class FakeKanalView : public channels::IKanalView {
  public:
    void SetStatusPanel(int panel, const std::string& text) override { panels[panel] = text; }
    void SetButtonCaption(const std::string& text) override { caption = text; }
    void SetButtonHint(const std::string& text) override { hint = text; }
    void SetButtonImage(int image) override {
        this->image = image;
        images.push_back(image);
    }
    void SetButtonChecked(bool c) override { checked = c; }
    void ShowChannel(bool active) override { shown = active; }
    void SetProgress(bool visible, int value, const std::string& label) override {
        progressVisible = visible;
        progressValue = value;
        progressLabel = label;
    }
    void SetStopImage(int image) override { stopImage = image; }
    void UpdateEditCommands() override { ++editUpdates; }
    void SetMenuChecks(bool saving, bool, bool) override { savingChecked = saving; }
    void FocusInput() override { ++inputFocuses; }
    void FlashMainWindow() override { ++flashes; }
    void ApplyFont(const core::TFontFace& f) override { font = f; }
    void ApplyInputColours(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    void Beep() override { ++beeps; }
    channels::TKanalFocus FocusedControl() const override { return focus; }
    void FocusConsole() override { ++consoleFocuses; }
    void InputCaretToEnd() override { ++caretToEnd; }
    void InsertInput(const std::string& text) override { inserted += text; }
    void InputEdit(channels::TEditCommand c) override { inputEdits.push_back(c); }
    void CopyToClipboard(const std::string& text) override { clipboard = text; }
    std::optional<std::filesystem::path> AskSaveFile(const std::string& proposed,
                                                     const std::filesystem::path& folder) override {
        proposedName = proposed;
        saveFolder = folder;
        ++saveDialogs;
        return saveFile;
    }
    channels::TSaveAnswer AskOverwriteOrAppend(const std::filesystem::path& file) override {
        overwriteAsked = file;
        return overwriteAnswer;
    }
    void PrintConsole(int first, int last) override { printed = {first, last}; }
    void ShowButtonHint(const std::string& text) override { buttonHint = text; }

    std::map<int, std::string> panels;
    std::string caption, hint, progressLabel;
    int image = -1, stopImage = -1, progressValue = -1;
    std::vector<int> images;
    bool checked = false, shown = false, progressVisible = false;
    int editUpdates = 0, flashes = 0, beeps = 0;
    core::TFontFace font;
    // Input and commands: what the test answers, and what the channel asked.
    channels::TKanalFocus focus = channels::TKanalFocus::Other;
    std::optional<std::filesystem::path> saveFile;
    channels::TSaveAnswer overwriteAnswer = channels::TSaveAnswer::Cancel;
    std::string proposedName, inserted, clipboard, buttonHint;
    std::filesystem::path saveFolder, overwriteAsked;
    std::vector<channels::TEditCommand> inputEdits;
    std::pair<int, int> printed{-1, -1};
    bool savingChecked = false;
    int inputFocuses = 0, consoleFocuses = 0, caretToEnd = 0, saveDialogs = 0;
};

class FakeDateiSenden : public SendJobStub {
  public:
    explicit FakeDateiSenden(std::string name = "file.bin", std::int64_t size = 0)
        : name_(std::move(name)), size_(size) {}
    void Subscribe(std::shared_ptr<core::ISubscriber> s) override {
        publisher_.Subscribe(std::move(s));
    }
    void Unsubscribe(const std::shared_ptr<core::ISubscriber>& s) override {
        publisher_.Unsubscribe(s);
    }
    std::int32_t GetProtokoll() const override { return protokoll; }
    std::int32_t GetState() const override { return state.load(); }
    float GetPercent() const override { return percent.load(); }
    std::string GetSendName() const override { return name_; }
    std::int64_t GetSize() const override { return size_; }
    void Release() override {
        ++releases;
        publisher_.UnsubscribeAll();
    }
    // Sets the state and tells the subscribers, as a job does.
    void Report(std::int32_t s, float p = 0) {
        state = s;
        percent = p;
        publisher_.NotifySubscribers(static_cast<const core::IDateiSenden*>(this));
    }

    std::atomic<std::int32_t> state{0};
    std::atomic<float> percent{0};
    std::atomic<int> releases{0};
    std::int32_t protokoll = 2;

  private:
    std::string name_;
    std::int64_t size_;
    core::TPublisher publisher_;
};

// A connection whose fields the test sets; operations the channel does not use
// do nothing.
class FakeVerbindung : public core::IVerbindung {
  public:
    std::string Call() const override { return Get(call); }
    void SetCall(std::string_view c) override { Put(call, c); }
    std::string MyCall() const override { return Get(myCall); }
    void SetMyCall(std::string_view c) override { Put(myCall, c); }
    std::string Digis() const override { return Get(digis); }
    void SetDigis(std::string_view d) override { Put(digis, d); }
    std::string Path() const override {
        const std::string d = Digis();
        return d.empty() ? Call() : Call() + " " + d;
    }
    void SetPath(std::string_view) override {}
    std::string RealPath() const override { return Path(); }
    void SetRealPath(std::string_view) override {}
    std::int32_t Handle() const override { return handle; }
    void SetHandle(std::int32_t h) override { handle = h; }
    void Disconnect() override { ++disconnects; }
    void SendText(std::string_view text) override { SendData(text, true, false, false, true); }
    void SendTextLine(std::string_view text) override {
        SendData(std::string(text) + "\r", true, false, false, true);
    }
    void WaitForText(core::TApplicationKey, std::string_view) override {}
    std::string ReceiveText(core::TApplicationKey) override { return {}; }
    bool AddApplication(core::TApplicationKey) override { return true; }
    void RemoveApplication(core::TApplicationKey) override {}
    std::shared_ptr<core::IStatus> Status() const override { return status; }
    std::shared_ptr<core::IKanalFuerVerbindung> Kanal() const override {
        std::lock_guard lock(mutex_);
        return kanal;
    }
    void SetKanal(const std::shared_ptr<core::IKanalFuerVerbindung>& k) override {
        std::lock_guard lock(mutex_);
        kanal = k;
        ++setKanalCalls;
    }
    std::int32_t StationType() const override { return stationType; }
    void SetStationType(std::int32_t t) override { stationType = t; }
    std::uint8_t State() const override { return state.load(); }
    void SetState(std::uint8_t s) override { state = s; }
    bool Outgoing() const override { return outgoing; }
    void SetOutgoing(bool o) override { outgoing = o; }
    bool SendGreeting() const override { return false; }
    void SetSendGreeting(bool) override {}
    std::shared_ptr<core::IDateiSendenQueue> DateiSendenQueue() const override { return sendQueue; }
    void SetDateiSenden(const std::shared_ptr<core::IDateiSenden>& j) override { SetJob(j); }
    std::shared_ptr<core::IDateiSenden> DateiSenden() const override {
        std::lock_guard lock(mutex_);
        return job;
    }
    void SendData(std::string_view text, bool, bool, bool, bool) override {
        std::lock_guard lock(mutex_);
        sent += text;
    }
    core::TStringQueue& LinkSendQueue() override { return linkSendQueue; }
    bool RemoteCommandsEnabled() const override { return false; }
    void SetRemoteCommandsEnabled(bool) override {}
    bool TransferActive() const override { return transferActive; }
    void SetTransferActive(bool a) override { transferActive = a; }
    std::shared_ptr<core::IStationenDatenbankEintrag> StationEntry() const override {
        return entry;
    }
    std::uint8_t BinMode() const override { return binMode; }
    void SetBinMode(std::uint8_t mode) override { binMode = mode; }
    std::uint8_t IncomingConnectPolicy() const override { return 1; }
    void LinkEstablished() override {}
    void Getrennt(std::uint8_t) override {}
    void DataReceived(std::string_view) override {}
    bool ReceiveBlocked() const override { return false; }
    std::uint8_t DiscLevel() const override { return 0; }
    void DiscLevelDone() override {}
    void Save(std::string_view) override {}
    void Restore(std::string_view, std::int32_t) override {}
    void KanalPrompt(std::string_view, int) override {}
    void Release() override {}
    void CancelTransfer() override {}
    void SendStationId() override {}
    bool Pactor() const override { return false; }
    void SetPactor(bool) override {}
    void PactorChangeOver() override {}
    void PactorBreakIn() override {}
    bool LocalEcho() const override { return localEcho; }
    void SetLocalEcho(bool v) override { localEcho = v; }

    void SetJob(std::shared_ptr<core::IDateiSenden> j) {
        std::lock_guard lock(mutex_);
        job = std::move(j);
    }

    std::string call = "DB0ABC", myCall = "DL1XYZ", digis;
    std::atomic<std::uint8_t> state{core::kLinkConnected};
    std::int32_t stationType = core::kStationMailbox;
    std::int32_t handle = 0;
    std::shared_ptr<core::IStatus> status;
    std::shared_ptr<core::IDateiSendenQueue> sendQueue;
    std::atomic<std::uint8_t> binMode{0};
    std::shared_ptr<core::IStationenDatenbankEintrag> entry;
    bool transferActive = false, localEcho = true, outgoing = false;
    std::string sent;
    std::shared_ptr<core::IKanalFuerVerbindung> kanal;
    core::TStringQueue linkSendQueue;
    int disconnects = 0, setKanalCalls = 0;

  private:
    std::string Get(const std::string& s) const {
        std::lock_guard lock(mutex_);
        return s;
    }
    void Put(std::string& s, std::string_view v) {
        std::lock_guard lock(mutex_);
        s = v;
    }
    mutable std::mutex mutex_;
    std::shared_ptr<core::IDateiSenden> job;
};

// A radio channel that answers connects with a scripted result and records
// what it was asked; with moveTo set, an accepted connect lands there.
class ScriptedFunkKanal final : public core::IFunkKanal {
  public:
    ScriptedFunkKanal(std::string name, std::string kennung)
        : name_(std::move(name)), kennung_(std::move(kennung)) {}
    std::string GetName() const override { return name_; }
    void SetName(std::string_view n) override { name_ = n; }
    void SetPort(std::int32_t) override {}
    std::int32_t GetPort() const override { return 0; }
    std::uint8_t Verbinde(std::string& ziel, std::string& mycall,
                          std::shared_ptr<core::IVerbindung>& verbindung,
                          std::shared_ptr<core::IKanal>& kanal) override {
        ziele.push_back(ziel);
        mycalls.push_back(mycall);
        given = kanal;
        reservedWhenAsked = kanal && kanal->GetReserved();
        if (result == 0 && moveTo) kanal = moveTo;
        if (result == 0 && makeVerbindung) verbindung = makeVerbindung(ziel, mycall);
        return result;
    }
    bool IsFlexnet() const override { return false; }
    std::string GetKennung() const override { return kennung_; }
    void SetKennung(std::string_view k) override { kennung_ = k; }
    bool SendUI(std::string_view, std::string_view, std::string_view) override { return true; }

    std::uint8_t result = 0;
    std::shared_ptr<core::IKanal> moveTo;
    // The connection an accepted connect creates, when set.
    std::function<std::shared_ptr<core::IVerbindung>(const std::string& ziel,
                                                     const std::string& mycall)>
        makeVerbindung;
    std::shared_ptr<core::IKanal> given;
    bool reservedWhenAsked = false;
    std::vector<std::string> ziele, mycalls;

  private:
    std::string name_, kennung_;
};

}  // namespace tarvo::test
