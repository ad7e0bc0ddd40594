// Received data through the whole connection: the device hands it over with
// DataReceived, the worker thread runs the terminal text module on it, and
// typed text with caret escapes goes the other way. No crash or hang; every
// received byte is shown once; typed text reaches the link as expanded.
//
// Input: byte 0 ends each item (kept in it); byte 1 flags (bit 0 hide the
// station ID, bit 1 outgoing, bit 2 remote commands on, bits 4-6 station
// type); the rest the items. An item beginning with byte 0x01 is typed (the
// rest of it), any other is received.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungStandardU.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/FakeModulConnection.h"

using namespace tarvo;
using fuzz::Check;

namespace {

class NullGeraet final : public core::IGeraetFuerVerbindung {
  public:
    void Trenne(const std::shared_ptr<core::IVerbindung>&) override {}
    void PactorBreakIn(const std::shared_ptr<core::IVerbindung>&) override {}
    void PactorChangeover(const std::shared_ptr<core::IVerbindung>&) override {}
};

// Counts what the connection shows; the worker thread calls it.
class CountingKanal final : public test::FakeModulKanal {
  public:
    std::int64_t Received(std::string_view text) override {
        shown += text.size();
        return -1;
    }
    std::atomic<std::size_t> shown{0};
};

struct World : fuzz::ConnectionWorld {
    std::shared_ptr<NullGeraet> device = std::make_shared<NullGeraet>();
    World() {
        // Transfer headers stay text: no receive module writes files here.
        connection::ClearModuleRegistry();
        auto stations = std::make_shared<test::FakeStationenDatenbank>();
        stations->Add("DB0XYZ", 2);
        ctx.stationen = stations;
        ctx.runModules = connection::TVerbindungAbstract::RunStandard;
    }
};

std::string Joined(core::TStringQueue& queue) {
    std::string all;
    while (auto s = queue.Pop()) all += *s;
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static World world;
    const char split = static_cast<char>(data[0]);
    const std::uint8_t flags = data[1];
    const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);

    world.config.SetHideReceivedSid(flags & 1);
    world.config.SetSendSid(false);
    auto v = connection::TVerbindung::Create(world.device, world.ctx);
    auto kanal = std::make_shared<CountingKanal>();
    v->SetPath("DB0ABC");
    v->SetMyCall("DL1XYZ");
    v->SetKanal(kanal);
    v->SetOutgoing(flags & 2);
    v->SetRemoteCommandsEnabled(flags & 4);
    v->SetStationType((flags >> 4) & 7);

    std::size_t received = 0;
    std::string typed;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find(split, start);
        end = end == std::string::npos ? input.size() : end + 1;
        const std::string_view item = std::string_view(input).substr(start, end - start);
        start = end;
        if (item.front() == '\x01') {
            v->SendData(item.substr(1), true, true, false, true);
            typed += connection::ExpandCarets(item.substr(1));
        } else {
            v->DataReceived(item);
            received += item.size();
        }
    }
    // The link comes up with all of it waiting (as after a restart): one run of
    // the worker takes it, which keeps each input quick.
    v->LinkEstablished();
    // The device reports the link end: what was received is shown first.
    v->Getrennt(core::kDisconnectNormal);
    Check(v->ReceiveQueue().IsEmpty());
    Check(!v->WorkerRunning());
    if (!(flags & 1)) Check(kanal->shown == received);
    Check(kanal->shown <= received);
    Check(Joined(v->LinkSendQueue()) + Joined(v->UserSendQueue()) == typed);
    v->Release();
    // What the connection left for the main thread (status updates) runs now.
    world.dispatcher.RunFor(std::chrono::milliseconds(0));
    return 0;
}
