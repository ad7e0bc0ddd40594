// Any received items through the terminal text module on a fake connection:
// no crash, the line and station-ID buffers stay under their caps, and with
// nothing hidden every received byte is shown exactly once.
//
// Input: byte 0 ends each item (kept in it); byte 1 flags (bit 0 hide the
// station ID, bit 1 outgoing with own station ID, bit 2 remote commands on,
// bit 3 receive modules registered, bits 4-6 station type, bit 7 add the last
// item, without CRs, repeated to just over the line cap); byte 2 seeds the
// noise; the rest is the data. Megabyte lines are a unit test: here they would
// only slow the search down.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "connection/VerbindungStandardU.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/FakeModulConnection.h"

using namespace tarvo;
using namespace tarvo::connection;

namespace {

class SeededRandom : public IRandom {
  public:
    explicit SeededRandom(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Below(std::uint32_t n) override {
        state_ = state_ * 1103515245u + 12345u;
        return (state_ >> 8) % n;
    }

  private:
    std::uint32_t state_;
};

// Reads its header line, or (for the second header) leaves it unread.
class ReceiveProbe : public TVerbindungAbstract {
  public:
    ReceiveProbe(TVerbindungAbstract* parent, std::shared_ptr<core::IVerbindungFuerModul> c,
                 bool read)
        : TVerbindungAbstract(parent, std::move(c)), read_(read) {}

  protected:
    void Init() override {
        SetActive(true);
        if (read_)
            SetUseEvent(core::kWaitReceive, true);
        else
            Finish();
    }
    void OnReceive() override {
        if (auto c = Connection()) c->ReceiveQueue().PopLine();
        Finish();
    }

  private:
    bool read_;
};

void Check(bool ok) {
    if (!ok) std::abort();
}

// The stations the prompts and onward connects find; built once, only read.
std::shared_ptr<test::FakeStationenDatenbank> Stations() {
    static const auto stations = [] {
        auto db = std::make_shared<test::FakeStationenDatenbank>();
        auto entry = db->Add("DB0ABC");
        entry->SetPasswort("DL1XYZ", 0, 0, "geheim123");
        entry->SetPasswort("DL1XYZ", 1, 1, "geheim");
        std::string datePassword;
        for (int i = 0; i < 162; ++i) datePassword += "A1B2C3D4E5";
        entry->SetPasswort("DL1XYZ", 0, 2, datePassword);
        db->Add("DB0XYZ", 2);
        return db;
    }();
    return stations;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const char split = static_cast<char>(data[0]);
    const std::uint8_t flags = data[1];
    const std::string input(reinterpret_cast<const char*>(data + 3), size - 3);

    ClearModuleRegistry();
    const bool modules = flags & 8;
    if (modules) {
        RegisterReceiveModule("#BIN#", [](TVerbindungAbstract& p) {
            return TVerbindungAbstract::Create<ReceiveProbe>(&p, p.Connection(), true);
        });
        RegisterReceiveModule("#DIDADIT#", [](TVerbindungAbstract& p) {
            return TVerbindungAbstract::Create<ReceiveProbe>(&p, p.Connection(), false);
        });
    }

    auto fake = std::make_shared<test::FakeModulConnection>();
    fake->countShownOnly = true;
    fake->hideSid = flags & 1;
    fake->outgoing = flags & 2;
    fake->sendSid = flags & 2;
    fake->remoteCommandsEnabled = flags & 4;
    fake->stationType = (flags >> 4) & 7;
    fake->database = Stations();

    auto module = TVerbindungAbstract::Create<TVerbindungStandard>(nullptr, fake);
    module->SetRandom(std::make_shared<SeededRandom>(data[2]));

    std::vector<std::string> items = fuzz::SplitItems(input, split);
    if (flags & 128) {
        // One item without CR just longer than a line may be: it is cut into pieces.
        const std::size_t length = kMaxLineLength + kMaxLineLength / 8;
        std::string unit = items.empty() ? std::string() : items.back();
        std::erase(unit, '\r');
        if (!unit.empty()) {
            std::string longItem;
            longItem.reserve(length);
            while (longItem.size() + unit.size() <= length) longItem += unit;
            items.push_back(std::move(longItem));
        }
    }

    std::size_t fed = 0;
    for (const std::string& item : items) {
        fake->receiveQueue.PushString(item);
        fed += item.size();
        module->OnReceive();
        Check(module->LineBufferSize() < kMaxLineLength);
        Check(module->StationIdBufferSize() <= kMaxStationIdLength);
        Check(fake->receiveQueue.IsEmpty());
    }
    if (!fake->hideSid && !modules) Check(fake->ShownBytes() == fed);
    if (fake->hideSid && !modules) Check(fake->ShownBytes() <= fed);

    fake->userSendQueue.PushString(input);
    module->OnUserSend();
    Check(input.empty() || fake->linkSendQueue.PeekString() == input);

    module->Close();
    ClearModuleRegistry();
    return 0;
}
