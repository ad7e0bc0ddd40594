// What the automation clients reach, without devices: own callsigns, one
// scripted radio channel whose accepted connects make real connections, and
// the list of live connections, all behind a TApplications.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "channels/KanaeleU.h"
#include "connection/VerbindungU.h"
#include "core/ApplicationU.h"
#include "core/ConfigU.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/SilentKlaenge.h"

namespace tarvo::test {

class AutomationWorld {
  public:
    explicit AutomationWorld(platform::IDispatcher& dispatcher) {
        config_ = std::make_unique<core::TConfig>(registry_, "0.01.000");
        vctx.dispatcher = &dispatcher;
        vctx.config = config_.get();
        vctx.registry = &registry_;
        vctx.klaenge = &klaenge_;
        vctx.versionText = "0.01.000";
        vctx.connections = &list;
        core::TApplicationsContext ctx;
        ctx.dispatcher = &dispatcher;
        ctx.funkKanaele = [this] { return funk; };
        ctx.myCalls = [this] { return myCalls; };
        ctx.connections = [this] {
            std::vector<std::shared_ptr<core::IVerbindung>> out;
            for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
            return out;
        };
        ctx.setVisible = [this](bool v) { visible = v; };
        ctx.visible = [this] { return visible; };
        apps = std::make_shared<core::TApplications>(std::move(ctx));
        vctx.beobachter = apps;
        radio->makeVerbindung = [this](const std::string& ziel, const std::string& mycall) {
            return Make(ziel, mycall);
        };
        funk.push_back(radio);
    }
    ~AutomationWorld() {
        for (auto& v : made) {
            list.Remove(v.get());
            v->Release();
        }
    }

    // A connection as a device makes it, in state "connecting".
    std::shared_ptr<connection::TVerbindung> Make(const std::string& path,
                                                  const std::string& mycall = "DL1TST") {
        auto v = connection::TVerbindung::Create(device_, vctx);
        v->SetPath(path);
        v->SetMyCall(mycall);
        made.push_back(v);
        return v;
    }

    class NoDevice : public core::IGeraetFuerVerbindung {
      public:
        void Trenne(const std::shared_ptr<core::IVerbindung>&) override {}
        void PactorBreakIn(const std::shared_ptr<core::IVerbindung>&) override {}
        void PactorChangeover(const std::shared_ptr<core::IVerbindung>&) override {}
    };

  private:
    platform::FileRegistry registry_;
    std::unique_ptr<core::TConfig> config_;
    test::SilentKlaenge klaenge_;
    std::shared_ptr<NoDevice> device_ = std::make_shared<NoDevice>();

  public:
    connection::TVerbindungContext vctx;
    channels::TConnectionsList list;
    std::shared_ptr<ScriptedFunkKanal> radio = std::make_shared<ScriptedFunkKanal>("Port 1", "P1");
    std::vector<std::shared_ptr<core::IFunkKanal>> funk;
    std::vector<std::string> myCalls{"DL1TST", "DB0XYZ"};
    std::vector<std::shared_ptr<connection::TVerbindung>> made;
    bool visible = false;
    std::shared_ptr<core::TApplications> apps;
};

}  // namespace tarvo::test
