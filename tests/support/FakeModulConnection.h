// A connection as protocol modules see it, for tests and fuzzers: real queues
// and events, a station database of fakes, and a record of every call a
// module makes. Thread-safe, so a module may run on a worker thread while the
// test watches.
#pragma once

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/InterfacesU.h"
#include "core/PublisherU.h"
#include "core/QueueU.h"
#include "platform/Event.h"
#include "tests/support/SendJobStub.h"

namespace tarvo::test {

class FakeStationEntry : public core::IStationenDatenbankEintrag {
  public:
    explicit FakeStationEntry(std::string call, std::uint8_t type = 0)
        : call_(std::move(call)), type_(type) {}
    std::string GetCall() const override { return call_; }
    std::string GetName() const override {
        std::lock_guard lock(mutex_);
        return name_;
    }
    std::uint8_t GetType() const override { return type_; }
    std::uint8_t GetIncomingPolicy() const override { return 0; }
    std::string GetPasswort(std::string_view myCall, int role, int method) const override {
        std::lock_guard lock(mutex_);
        auto it = passwords_.find({std::string(myCall), role, method});
        return it == passwords_.end() ? std::string() : it->second;
    }
    void SetPasswort(std::string myCall, int role, int method, std::string password) {
        std::lock_guard lock(mutex_);
        passwords_[{std::move(myCall), role, method}] = std::move(password);
    }

    void SetName(std::string name) {
        std::lock_guard lock(mutex_);
        name_ = std::move(name);
    }
    void GetText(int kind, std::string& text, bool& flag) const override {
        std::lock_guard lock(mutex_);
        auto it = texts_.find(kind);
        text = it == texts_.end() ? std::string() : it->second.first;
        flag = it == texts_.end() ? true : it->second.second;
    }
    void SetText(int kind, std::string text, bool flag) {
        std::lock_guard lock(mutex_);
        texts_[kind] = {std::move(text), flag};
    }
    void GetSound(int event, int& signal, std::string& waveFile, int& announcement) const override {
        std::lock_guard lock(mutex_);
        auto it = sounds_.find(event);
        signal = it == sounds_.end() ? 0 : std::get<0>(it->second);
        waveFile = it == sounds_.end() ? std::string() : std::get<1>(it->second);
        announcement = it == sounds_.end() ? 0 : std::get<2>(it->second);
    }
    void SetSound(int event, int signal, std::string waveFile, int announcement) {
        std::lock_guard lock(mutex_);
        sounds_[event] = {signal, std::move(waveFile), announcement};
    }

  private:
    std::string call_;
    std::uint8_t type_;
    mutable std::mutex mutex_;
    std::string name_;
    std::map<int, std::pair<std::string, bool>> texts_;
    std::map<int, std::tuple<int, std::string, int>> sounds_;
    std::map<std::tuple<std::string, int, int>, std::string> passwords_;
};

// Keys as the station database keeps them: "CALL-n", or "CALL" for all SSIDs.
class FakeStationenDatenbank : public core::IStationenDatenbank {
  public:
    std::shared_ptr<FakeStationEntry> Add(const std::string& key, std::uint8_t type = 0) {
        auto entry = std::make_shared<FakeStationEntry>(key, type);
        std::lock_guard lock(mutex_);
        entries_[key] = entry;
        return entry;
    }
    std::shared_ptr<core::IStationenDatenbankEintrag> FindEntry(std::string_view call,
                                                                bool fallback) override {
        std::string key(call);
        const bool hasSsid = key.find('-') != std::string::npos;
        if (!hasSsid) key += "-0";
        std::lock_guard lock(mutex_);
        if (auto it = entries_.find(key); it != entries_.end()) return it->second;
        if (!fallback && hasSsid) return nullptr;
        auto it = entries_.find(std::string(call.substr(0, call.find('-'))));
        return it == entries_.end() ? nullptr : it->second;
    }

  private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<FakeStationEntry>> entries_;
};

class FakeRemoteCommands : public core::IRemoteCommands {
  public:
    void Detach() override {}
    void HandleLine(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Records the mailbox-list marks; the rest of a channel does nothing here.
class FakeModulKanal : public core::IKanalFuerVerbindung {
  public:
    void Notify(const void*) override {}
    void Release() override {}
    std::uint8_t GetState() const override { return core::kLinkConnected; }
    void StateChanged() override {}
    void Message(std::string_view, int) override {}
    void Prompt(std::string_view, int) override {}
    std::int64_t Received(std::string_view) override { return -1; }
    std::int64_t Echo(std::string_view) override { return -1; }
    void Verbunden() override {}
    void SetVerbindung(const std::shared_ptr<core::IVerbindung>&) override {}
    void Getrennt(std::uint8_t) override {}
    void Restored() override {}
    void CallChange() override {}
    void ModuleChanged() override {}
    int GetNummer() const override { return 1; }
    void MarkBoxLine(std::int64_t serial) override {
        std::lock_guard lock(mutex_);
        marks_.push_back(serial);
    }
    std::vector<std::int64_t> Marks() const {
        std::lock_guard lock(mutex_);
        return marks_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::int64_t> marks_;
};

class FakeSendJob : public SendJobStub {
  public:
    explicit FakeSendJob(std::int32_t protokoll) : protokoll_(protokoll) {}
    void Subscribe(std::shared_ptr<core::ISubscriber>) override {}
    void Unsubscribe(const std::shared_ptr<core::ISubscriber>&) override {}
    std::int32_t GetProtokoll() const override { return protokoll_; }
    std::int32_t GetState() const override { return 0; }
    float GetPercent() const override { return 0; }
    std::string GetSendName() const override { return "job"; }
    std::int64_t GetSize() const override { return 0; }
    void Release() override { ++releases; }
    std::atomic<int> releases{0};

  private:
    std::int32_t protokoll_;
};

// Its event is set exactly while a job waits.
class FakeDateiSendenQueue : public core::IDateiSendenQueue {
  public:
    void Subscribe(std::shared_ptr<core::ISubscriber>) override {}
    void Unsubscribe(const std::shared_ptr<core::ISubscriber>&) override {}
    void Release() override {}
    int GetCount() const override {
        std::lock_guard lock(mutex_);
        return static_cast<int>(jobs_.size());
    }
    std::shared_ptr<core::IDateiSenden> GetItems(int index) const override {
        std::lock_guard lock(mutex_);
        return index >= 0 && index < static_cast<int>(jobs_.size()) ? jobs_[index] : nullptr;
    }
    void EnQueue(const std::shared_ptr<core::IDateiSenden>& job) override {
        std::lock_guard lock(mutex_);
        jobs_.push_back(job);
        event_.Set();
    }
    std::shared_ptr<core::IDateiSenden> DeQueue() override {
        std::lock_guard lock(mutex_);
        if (jobs_.empty()) return nullptr;
        auto job = jobs_.front();
        jobs_.erase(jobs_.begin());
        if (jobs_.empty()) event_.Reset();
        return job;
    }
    std::shared_ptr<core::IDateiSenden> Current() const override {
        std::lock_guard lock(mutex_);
        return jobs_.empty() ? nullptr : jobs_.front();
    }
    platform::Event& GetEvent() override { return event_; }
    int Remove(const core::IDateiSenden* job) override {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < jobs_.size(); ++i) {
            if (jobs_[i].get() != job) continue;
            jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(i));
            if (jobs_.empty()) event_.Reset();
            return static_cast<int>(i);
        }
        return -1;
    }
    bool TryEnQueue(const std::shared_ptr<core::IDateiSenden>& job) override {
        EnQueue(job);
        return true;
    }
    std::vector<std::shared_ptr<core::IDateiSenden>> Items() const override {
        std::lock_guard lock(mutex_);
        return jobs_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<core::IDateiSenden>> jobs_;
    platform::Event event_{platform::Event::Manual, false};
};

class FakeModulConnection : public core::IVerbindungFuerModul {
  public:
    struct SentData {
        std::string text;
        bool echo, expand, wrap, userQueue;
    };
    struct Prompt {
        std::string text;
        int kind;
        bool operator==(const Prompt&) const = default;
    };

    // --- what a test sets up front -----------------------------------------
    std::string call = "DB0ABC", myCall = "DL1XYZ-3";
    std::atomic<bool> outgoing{false}, hideSid{false}, sendSid{false};
    std::atomic<bool> remoteCommandsEnabled{true}, hasChannel{true};
    std::atomic<bool> infoboxConnectResult{true}, infoboxReconnectResult{true};
    std::shared_ptr<FakeStationenDatenbank> database = std::make_shared<FakeStationenDatenbank>();
    std::shared_ptr<FakeRemoteCommands> remoteCommands = std::make_shared<FakeRemoteCommands>();
    std::shared_ptr<FakeModulKanal> kanal = std::make_shared<FakeModulKanal>();
    std::shared_ptr<FakeDateiSendenQueue> sendQueue = std::make_shared<FakeDateiSendenQueue>();
    core::TStringQueue receiveQueue, userSendQueue, linkSendQueue;
    platform::Event threadEvent{platform::Event::Manual, false};
    platform::Event endEvent{platform::Event::Manual, false};

    // --- records ------------------------------------------------------------
    std::vector<std::string> Shown() const { return Locked(shown_); }
    // All received text shown, joined.
    std::string ShownText() const {
        std::string all;
        for (const auto& s : Shown()) all += s;
        return all;
    }
    std::vector<std::int64_t> ShownSerials() const { return Locked(shownSerials_); }
    std::vector<std::string> Echoes() const { return Locked(echoes_); }
    std::vector<Prompt> Prompts() const { return Locked(prompts_); }
    std::vector<SentData> Sent() const { return Locked(sent_); }
    std::vector<std::string> ModuleNames() const { return Locked(moduleNames_); }
    std::vector<bool> TransferActiveCalls() const { return Locked(transferActiveCalls_); }
    std::vector<std::string> InfoboxCalls() const { return Locked(infoboxCalls_); }
    std::vector<std::int32_t> StationTypes() const { return Locked(stationTypes_); }
    int SendStationIdCalls() const { return sendStationIdCalls_.load(); }
    std::size_t ShownBytes() const { return shownBytes_.load(); }
    // Keep only the byte count of shown text (for megabyte inputs).
    std::atomic<bool> countShownOnly{false};

    // --- IVerbindung ---------------------------------------------------------
    std::string Call() const override { return Locked(call); }
    void SetCall(std::string_view c) override { Put(call, c); }
    std::string MyCall() const override { return Locked(myCall); }
    void SetMyCall(std::string_view c) override { Put(myCall, c); }
    std::string Digis() const override { return {}; }
    void SetDigis(std::string_view) override {}
    std::string Path() const override { return Call(); }
    void SetPath(std::string_view p) override { SetCall(p); }
    std::string RealPath() const override { return Call(); }
    void SetRealPath(std::string_view) override {}
    std::int32_t Handle() const override { return 1; }
    void SetHandle(std::int32_t) override {}
    void Disconnect() override {}
    void SendText(std::string_view text) override { SendData(text, true, false, false, true); }
    void SendTextLine(std::string_view text) override {
        SendData(std::string(text) + "\r", true, false, false, true);
    }
    void WaitForText(core::TApplicationKey, std::string_view) override {}
    std::string ReceiveText(core::TApplicationKey) override { return {}; }
    bool AddApplication(core::TApplicationKey) override { return false; }
    void RemoveApplication(core::TApplicationKey) override {}
    std::shared_ptr<core::IStatus> Status() const override { return nullptr; }
    std::shared_ptr<core::IKanalFuerVerbindung> Kanal() const override {
        return hasChannel ? kanal : nullptr;
    }
    void SetKanal(const std::shared_ptr<core::IKanalFuerVerbindung>&) override {}
    std::int32_t StationType() const override { return stationType.load(); }
    void SetStationType(std::int32_t type) override {
        stationType = type;
        std::lock_guard lock(mutex_);
        stationTypes_.push_back(type);
    }
    std::uint8_t State() const override { return core::kLinkConnected; }
    void SetState(std::uint8_t) override {}
    bool Outgoing() const override { return outgoing; }
    void SetOutgoing(bool o) override { outgoing = o; }
    bool SendGreeting() const override { return false; }
    void SetSendGreeting(bool) override {}
    std::shared_ptr<core::IDateiSendenQueue> DateiSendenQueue() const override { return sendQueue; }
    void SetDateiSenden(const std::shared_ptr<core::IDateiSenden>& job) override {
        std::lock_guard lock(mutex_);
        job_ = job;
    }
    std::shared_ptr<core::IDateiSenden> DateiSenden() const override { return Locked(job_); }
    void SendData(std::string_view text, bool echo, bool expand, bool wrap,
                  bool userQueue) override {
        std::lock_guard lock(mutex_);
        sent_.push_back({std::string(text), echo, expand, wrap, userQueue});
    }
    core::TStringQueue& LinkSendQueue() override { return linkSendQueue; }
    bool RemoteCommandsEnabled() const override { return remoteCommandsEnabled; }
    void SetRemoteCommandsEnabled(bool e) override { remoteCommandsEnabled = e; }
    bool TransferActive() const override { return transferActive.load(); }
    void SetTransferActive(bool active) override {
        transferActive = active;
        std::lock_guard lock(mutex_);
        transferActiveCalls_.push_back(active);
    }
    std::shared_ptr<core::IStationenDatenbankEintrag> StationEntry() const override {
        return database->FindEntry(Call(), false);
    }
    std::uint8_t BinMode() const override { return binMode.load(); }
    void SetBinMode(std::uint8_t mode) override { binMode = mode; }
    std::uint8_t IncomingConnectPolicy() const override { return 1; }
    void LinkEstablished() override {}
    void Getrennt(std::uint8_t) override { endEvent.Set(); }
    void DataReceived(std::string_view data) override {
        receiveQueue.PushString(std::string(data));
    }
    bool ReceiveBlocked() const override { return false; }
    std::uint8_t DiscLevel() const override { return 0; }
    void DiscLevelDone() override {}
    void Save(std::string_view) override {}
    void Restore(std::string_view, std::int32_t) override {}
    void KanalPrompt(std::string_view text, int kind) override {
        std::lock_guard lock(mutex_);
        prompts_.push_back({std::string(text), kind});
    }
    void Release() override {}
    void CancelTransfer() override {
        if (auto m = Modul()) m->Cancel();
    }
    void SendStationId() override { ++sendStationIdCalls_; }
    bool Pactor() const override { return false; }
    void SetPactor(bool) override {}
    void PactorChangeOver() override {}
    void PactorBreakIn() override {}
    bool LocalEcho() const override { return true; }
    void SetLocalEcho(bool) override {}

    // --- IVerbindungFuerModul ------------------------------------------------
    platform::Event* WaitHandle(int index) override {
        switch (index) {
            case core::kWaitThread:
                return &threadEvent;
            case core::kWaitEnd:
                return &endEvent;
            case core::kWaitReceive:
                return &receiveQueue.NotEmptyEvent();
            case core::kWaitUserSend:
                return &userSendQueue.NotEmptyEvent();
            case core::kWaitLinkSendEmpty:
                return &linkSendQueue.EmptyEvent();
            case core::kWaitSendJob:
                return &sendQueue->GetEvent();
            default:
                return nullptr;
        }
    }
    // Like a console: text begins in the row after a CR or a full row, and the
    // serial of the row it began in is returned.
    std::int64_t ShowReceived(std::string_view text) override {
        if (!hasChannel) return -1;
        std::lock_guard lock(mutex_);
        const std::int64_t serial = Write(text);
        shownBytes_ += text.size();
        if (!countShownOnly) {
            shown_.emplace_back(text);
            shownSerials_.push_back(serial);
        }
        return serial;
    }
    void Echo(std::string_view text) override {
        std::lock_guard lock(mutex_);
        Write(text);
        echoes_.emplace_back(text);
    }
    void ConsoleMessage(std::string_view, int) override {}
    bool InfoboxConnect(std::string_view c) override {
        std::lock_guard lock(mutex_);
        infoboxCalls_.push_back("connect " + std::string(c));
        if (!infoboxConnectResult) return false;
        call = c;
        stationType = 0;
        return true;
    }
    bool InfoboxReconnect(std::string_view c) override {
        std::lock_guard lock(mutex_);
        infoboxCalls_.push_back("reconnect " + std::string(c));
        if (!infoboxReconnectResult) return false;
        call = c;
        stationType = 1;
        return true;
    }
    core::TStringQueue& ReceiveQueue() override { return receiveQueue; }
    core::TStringQueue& UserSendQueue() override { return userSendQueue; }
    std::shared_ptr<core::IRemoteCommands> RemoteCommands() const override {
        return remoteCommands;
    }
    void SetModul(const std::shared_ptr<core::IVerbindungAbstract>& modul) override {
        std::string name = modul ? modul->GetName() : "nil";
        std::lock_guard lock(mutex_);
        modul_ = modul;
        moduleNames_.push_back(std::move(name));
    }
    std::shared_ptr<core::IVerbindungAbstract> Modul() const override { return Locked(modul_); }
    std::shared_ptr<core::IStationenDatenbank> StationenDatenbank() const override {
        return database;
    }
    bool HideReceivedSid() const override { return hideSid; }
    bool SendSidEnabled() const override { return sendSid; }

    std::atomic<std::int32_t> stationType{0};
    std::atomic<std::uint8_t> binMode{0};
    std::atomic<bool> transferActive{false};

  private:
    template <class T>
    T Locked(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }
    void Put(std::string& field, std::string_view value) {
        std::lock_guard lock(mutex_);
        field = value;
    }
    // Call with the lock held. Rows are kColumns wide; a CR ends a row.
    std::int64_t Write(std::string_view text) {
        if (text.empty()) return row_;
        std::int64_t start = -1;
        std::size_t i = 0;
        std::size_t cr = text.find('\r');
        while (i < text.size()) {
            if (newRow_) {
                ++row_;
                column_ = 0;
                newRow_ = false;
            }
            if (start < 0) start = row_;
            if (cr != std::string_view::npos && cr < i) cr = text.find('\r', i);
            const std::size_t rowEnd = i + static_cast<std::size_t>(kColumns - column_);
            const std::size_t lineEnd = cr == std::string_view::npos ? text.size() : cr + 1;
            const std::size_t end = std::min({rowEnd, lineEnd, text.size()});
            column_ += static_cast<int>(end - i);
            if (end == lineEnd && cr != std::string_view::npos) newRow_ = true;
            if (column_ >= kColumns) newRow_ = true;
            i = end;
        }
        return start;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> shown_, echoes_, moduleNames_, infoboxCalls_;
    std::vector<std::int64_t> shownSerials_;
    std::vector<Prompt> prompts_;
    std::vector<SentData> sent_;
    std::vector<bool> transferActiveCalls_;
    std::vector<std::int32_t> stationTypes_;
    std::atomic<int> sendStationIdCalls_{0};
    std::atomic<std::size_t> shownBytes_{0};
    std::shared_ptr<core::IDateiSenden> job_;
    std::shared_ptr<core::IVerbindungAbstract> modul_;
    static constexpr int kColumns = 80;
    std::int64_t row_ = 100;  // serials of a console that has scrolled already
    int column_ = 0;
    bool newRow_ = false;
};

}  // namespace tarvo::test
