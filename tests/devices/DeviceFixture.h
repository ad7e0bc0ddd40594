// What a device needs around it, as the program gives it: a channel set with
// channels 1 to 4 and the monitor, the connection list, own callsigns, the
// contexts, and the debug log, shown when a test fails.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "channels/KanaeleU.h"
#include "connection/VerbindungAbstractU.h"
#include "devices/GeraetHostmodeSerialU.h"
#include "devices/GeraetU.h"
#include "devices/MyCallsU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/CollectingDebugSink.h"

namespace tarvo::test {

class DeviceFixture : public ChannelFixture {
  protected:
    DeviceFixture() {
        config_->SetChannels(4);
        config_->SetIncomingConnects(1);
        kanaele_ = std::make_unique<channels::TKanaele>(ctx_, nullptr);
        myCalls_ = std::make_shared<devices::TMyCalls>(registry_);
        vctx_.dispatcher = &dispatcher_;
        vctx_.config = config_.get();
        vctx_.registry = &registry_;
        vctx_.klaenge = &klaenge_;
        vctx_.versionText = "0.01.000";
        vctx_.runModules = connection::TVerbindungAbstract::RunStandard;
        vctx_.connections = &connections_;
        gctx_.dispatcher = &dispatcher_;
        gctx_.config = config_.get();
        gctx_.registry = &registry_;
        gctx_.kanaele = kanaele_.get();
        gctx_.connections = &connections_;
        gctx_.myCalls = myCalls_;
        gctx_.verbindung = vctx_;
        core::SetDebugSink(log_);
    }
    // The device must be stopped by the derived fixture; the channels go here.
    ~DeviceFixture() override {
        if (HasFailure()) PrintLog(120);
        kanaele_.reset();
        core::SetDebugSink(nullptr);
    }

    void PrintLog(std::size_t last) const {
        const auto lines = log_->Lines();
        const std::size_t from = lines.size() > last ? lines.size() - last : 0;
        for (std::size_t i = from; i < lines.size(); ++i)
            std::fprintf(stderr, "  log: %s\n", lines[i].c_str());
    }
    bool Logged(const std::string& text) const {
        for (const std::string& l : log_->Lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    // Serves the main thread until the condition holds.
    bool Until(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
        return dispatcher_.RunUntil(done, timeout);
    }
    // A hostmode device on a (simulated) TNC's port, started and ready; null
    // when it did not get ready (the test has failed then).
    std::shared_ptr<devices::TGeraetHostmodeSerial> StartHostmode(const std::string& port) {
        auto dev = std::make_shared<devices::TGeraetHostmodeSerial>(gctx_);
        auto p = std::make_shared<devices::TGeraetHostmodeSerialParameter>();
        p->Schnittstelle = port;
        p->Baudrate = 115200;
        dev->SetParameter(p);
        dev->Init();
        const bool ready = Until([&] {
            return dev->Status() == devices::TGeraetStatus::Bereit && dev->KanalAnzahl() > 0;
        });
        EXPECT_TRUE(ready) << dev->StatusText();
        if (!ready) dev->DeInit();
        return ready ? dev : nullptr;
    }
    std::string Channel(int n) const { return ConsoleText(kanaele_->GetKanal(n)->Console()); }
    std::string Monitor() const { return Channel(0); }
    std::string AllChannels() const {
        std::string all;
        for (int n = 1; n <= 4; ++n) all += Channel(n) + "|";
        return all;
    }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    channels::TConnectionsList connections_;
    std::unique_ptr<channels::TKanaele> kanaele_;
    std::shared_ptr<devices::TMyCalls> myCalls_;
    connection::TVerbindungContext vctx_;
    devices::TGeraetContext gctx_;
    std::shared_ptr<CollectingDebugSink> log_ = std::make_shared<CollectingDebugSink>();
};

}  // namespace tarvo::test
