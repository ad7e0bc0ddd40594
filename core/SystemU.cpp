#include "core/SystemU.h"

#include "channels/KanaeleU.h"
#include "channels/KanalU.h"
#include "connection/PGPClassU.h"
#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungAutobinU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "connection/VerbindungTextSendU.h"
#include "core/ApplicationU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "devices/GeraeteU.h"
#include "devices/MyCallsU.h"
#include "filesend/DateiSendenPraeprozessorU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Dispatcher.h"
#include "platform/Locations.h"
#include "platform/Registry.h"
#include "platform/Sound.h"
#include "resources/KlaengeU.h"
#include "resources/OrdnerU.h"
#include "resources/TexteU.h"
#include "stations/RemoteCommandsU.h"
#include "stations/StationenDatenbankU.h"

namespace tarvo::core {

namespace {
constexpr std::chrono::milliseconds kStationenFlushDelay{2000};
}  // namespace

TSystem::TSystem(TSystemSetup setup) : setup_(std::move(setup)) {
    TApplicationsContext app;
    app.dispatcher = &setup_.dispatcher;
    app.funkKanaele = [this] {
        return geraete_ ? geraete_->GetFunkKanaele(TApplications::kMaxFunkKanaele)
                        : std::vector<std::shared_ptr<IFunkKanal>>{};
    };
    app.myCalls = [this] {
        std::vector<std::string> out;
        if (myCalls_)
            for (const auto& e : myCalls_->Snapshot())
                if (e) out.push_back(e->Call());
        return out;
    };
    app.connections = [this] {
        std::vector<std::shared_ptr<IVerbindung>> out;
        if (!connections_) return out;
        connections_->Lock();
        for (int i = 0; i < connections_->Count(); ++i) out.push_back(connections_->Get(i));
        connections_->Unlock();
        return out;
    };
    app.setVisible = [this](bool visible) {
        if (view_.setMainWindowVisible) view_.setMainWindowVisible(visible);
    };
    app.visible = [this] { return view_.mainWindowVisible && view_.mainWindowVisible(); };
    applications_ = std::make_shared<TApplications>(std::move(app));
    BuildStartup();
    BuildShutdown();
}

TSystem::~TSystem() {
    Shutdown();
}

void TSystem::Status(const std::string& cp1252) {
    if (view_.status) view_.status(cp1252);
}

std::optional<std::string> TSystem::Start() {
    auto failure = startup_.RunUntilFailure();
    if (failure) startupFailed_ = true;
    return failure;
}

void TSystem::Shutdown() {
    shutdown_.RunAll();
}

// One step per process-wide object; those not built yet have empty steps.
void TSystem::BuildStartup() {
    TStepSequence& s = startup_;
    s.Add("begin...", [] {});
    s.Add("StartMode",
          [this] { DebOut(std::string("StartMode: ") + StartModeName(setup_.startMode)); });
    s.Add("Config", [this] {
        config_ = std::make_unique<TConfig>(setup_.registry, VersionText());
        runMark_ = MarkRunning(*config_, setup_.registry);
        if (runMark_.previousRunDirty) DebOut("Config: the previous run did not end in order");
    });
    s.Add("Ordner", [this] {
        resources::SetOrdner(
            std::make_shared<resources::TOrdner>(setup_.registry, platform::ResolveUserFolders()));
        filesend::TDateiSendenTicker::Install(setup_.dispatcher);
    });
    // Part files of a run that ended without deleting them.
    s.Add("TempFiles", [] { filesend::RemoveOrphanTempFiles(filesend::TempFolder()); });
    s.Add("Klaenge", [this] {
        auto output = soundOutput_ ? soundOutput_() : platform::MakeSystemSoundOutput();
        klaenge_ = std::make_unique<resources::TKlaenge>(
            setup_.registry, [this] { return stationen_; }, std::move(output));
        klaenge_->Play(resources::kSoundProgramStart, nullptr);
    });
    s.Add("Texte", [this] {
        texte_ =
            std::make_unique<resources::TTexte>(setup_.registry, [this] { return stationen_; });
    });
    s.Add("RemoteCommandManager", [this] {
        stations::SetRemoteCommandManager(std::make_shared<stations::TRemoteCommandManager>(
            setup_.registry, [this] { return stationen_; }));
    });
    s.Add("ConnectionsList",
          [this] { connections_ = std::make_unique<channels::TConnectionsList>(); });
    s.Add("Didadit", [this] {
        connection::RegisterDidaditModules(connection::DidaditProgramContext(klaenge_.get()));
    });
    s.Add("Text", [this] {
        connection::RegisterTextModules(connection::TextProgramContext(klaenge_.get()));
    });
    s.Add("PGP", [this] {
        connection::TPGPOptions pgp;
        pgp.versionText = VersionText();
        TConfig* config = config_.get();
        pgp.detailedOutput = [config] { return config->PgpDetailedOutput(); };
        pgp.collectPublicKeys = [config] { return config->PgpCollectPublicKeys(); };
        pgp.klaenge = klaenge_.get();
        connection::InstallPGP(std::move(pgp));
    });
    s.Add("Autobin", [this] {
        connection::RegisterAutobinModules(
            connection::AutobinProgramContext(klaenge_.get(), config_.get()));
    });
    s.Add("MyCalls", [this] {
        myCalls_ = std::make_shared<devices::TMyCalls>(setup_.registry);
        myCalls_->Create();
        Status(Tr("THauptfenster", "Initialisiere Datenbank..."));
    });
    s.Add("StationenDatenbank", [this] {
        if (runMark_.databaseCheckDue) DebOut("StationenDatenbank: the database is to be checked");
        CreateStationen();
    });
    s.Add("ForceDatabaseCheck", [this] {
        ClearForceDatabaseCheck(*config_);
        Status(Tr("THauptfenster", "Initialisiere Kanäle..."));
    });
    s.Add("Kanaele", [this] { CreateKanaele(); });
    s.Add("Geraete", [this] {
        Status(Tr("THauptfenster", "Initialisiere Geräte..."));
        CreateGeraete();
    });
    s.Add("Bereit", [this] { Status(Tr("THauptfenster", "Bereit.")); });
    s.Add("ErsteSchritte", [this] {
        if (config_->FirstStepsDue()) DebOut("ErsteSchritte: due");
    });
    s.Add("Layout", [this] { startupDone_ = true; });
    s.Add("end.", [] {});
}

void TSystem::BuildShutdown() {
    TStepSequence& s = shutdown_;
    s.Add("begin...", [] {});
    s.Add("Spiele Klang ab...", [this] {
        if (klaenge_ && !startupFailed_) klaenge_->Play(resources::kSoundProgramEnd, nullptr);
    });
    s.Add("QuitEvent.SetEvent", [this] {
        QuitEvent().Set();
        // Clients waiting for a connection hear that it goes.
        applications_->Shutdown();
        setup_.dispatcher.BeginShutdown();
    });
    s.Add("ErsteSchritte.Release", [] {});
    s.Add("Geraete.Free", [this] {
        if (!geraete_) return;
        geraete_->Destroy();
        geraete_.reset();
    });
    s.Add("Kanaele.Free", [this] { kanaele_.reset(); });
    s.Add("PGP.Free", [] { connection::UninstallPGP(); });
    s.Add("MyCalls.Release", [this] {
        if (!myCalls_) return;
        myCalls_->ReleaseList();
        myCalls_.reset();
    });
    s.Add("Ordner.Free", [] {
        filesend::TDateiSendenTicker::Uninstall();
        resources::SetOrdner(nullptr);
    });
    s.Add("StationenDatenbank.Free", [this] {
        if (!stationen_) return;
        stationen_->Close();
        stationen_.reset();
    });
    s.Add("Texte.Free", [this] { texte_.reset(); });
    s.Add("RemoteCommandManager.Free", [] { stations::SetRemoteCommandManager(nullptr); });
    s.Add("ConnectionsList.Free", [this] { connections_.reset(); });
    s.Add("Didadit.Free", [] { connection::UnregisterDidaditModules(); });
    s.Add("Text.Free", [] { connection::UnregisterTextModules(); });
    s.Add("Autobin.Free", [] { connection::UnregisterAutobinModules(); });
    // Lets the exit sound end.
    s.Add("Klaenge.Free", [this] { klaenge_.reset(); });
    s.Add("Dirty", [this] {
        if (config_)
            MarkOrderlyEnd(*config_, setup_.registry, startupFailed_ || !startupDone_, false);
    });
    s.Add("Config.Free", [this] {
        config_.reset();
        setup_.registry.Flush();
    });
    s.Add("end.", [] {});
}

// A burst of changes (a station edited, //name from several links) becomes one
// write a moment later; shutdown writes what is left.
void TSystem::CreateStationen() {
    stations::TStationenDatenbankSetup setup;
    setup.file = stations::StationenDatenbankFile(ApplicationDataFolder());
    setup.check = runMark_.databaseCheckDue;
    platform::IDispatcher* dispatcher = &setup_.dispatcher;
    setup.scheduleFlush = [dispatcher](std::function<void()> flush) {
        dispatcher->Post([dispatcher, flush = std::move(flush)] {
            dispatcher->StartTimer(kStationenFlushDelay, false, flush);
        });
    };
    try {
        stationen_ = stations::TStationenDatenbank::Open(std::move(setup));
    } catch (const stations::TStationenDatenbankError& e) {
        DebOutObj("THauptfenster", "FormCreate", e.what());
        throw TStartupFailure(
            FillArgs(Tr("THauptfenster", "Fehler beim Öffnen der Datenbank. (%1)"), {e.what()}));
    }
}

void TSystem::CreateKanaele() {
    channels::TKanalContext ctx;
    ctx.dispatcher = &setup_.dispatcher;
    ctx.config = config_.get();
    ctx.clock = &clock_;
    ctx.klaenge = klaenge_.get();
    ctx.bufferFolder = ApplicationDataFolder() / "Text Buffers";
    ctx.startupDone = [this] { return startupDone_; };
    ctx.mainWindowVisible =
        view_.mainWindowVisible ? view_.mainWindowVisible : [] { return false; };
    ctx.messages = view_.messages;
    ctx.texte = texte_.get();
    ctx.stationen = stationen_;
    ctx.funkKanaele = [this] {
        return geraete_ ? geraete_->GetFunkKanaele(256)
                        : std::vector<std::shared_ptr<IFunkKanal>>{};
    };
    ctx.receiveFolder = [] {
        const auto ordner = resources::Ordner();
        return ordner ? ordner->GetReceiveFolder() : ApplicationDataFolder();
    };
    channels::IKanaeleView* view = view_.kanaeleView ? view_.kanaeleView() : nullptr;
    try {
        kanaele_ = std::make_unique<channels::TKanaele>(ctx, view);
    } catch (const channels::TKanalBufferError& e) {
        DebOutObj("THauptfenster", "FormCreate", e.what());
        throw TStartupFailure(channels::BufferErrorText(),
                              Tr("TKanal", channels::kBufferErrorTitle),
                              channels::kBufferErrorExitCode);
    }
}

void TSystem::CreateGeraete() {
    if (devices::RegisteredKinds().empty()) devices::RegisterDeviceKinds();
    devices::TGeraetContext ctx;
    ctx.dispatcher = &setup_.dispatcher;
    ctx.config = config_.get();
    ctx.registry = &setup_.registry;
    ctx.clock = &clock_;
    ctx.kanaele = kanaele_.get();
    ctx.connections = connections_.get();
    ctx.myCalls = myCalls_;
    connection::TVerbindungContext& v = ctx.verbindung;
    v.dispatcher = &setup_.dispatcher;
    v.config = config_.get();
    v.registry = &setup_.registry;
    v.klaenge = klaenge_.get();
    v.texte = texte_.get();
    v.stationen = stationen_;
    v.connections = connections_.get();
    v.versionText = VersionText();
    v.runModules = connection::TVerbindungAbstract::RunStandard;
    stations::TRemoteCommandsContext remote;
    remote.manager = stations::RemoteCommandManager();
    remote.texte = texte_.get();
    remote.klaenge = klaenge_.get();
    remote.connections = connections_.get();
    remote.releasedFolder = [] {
        const auto ordner = resources::Ordner();
        return ordner ? ordner->GetRemoteFolder() : std::filesystem::path();
    };
    remote.versionText = VersionText();
    remote.clock = &clock_;
    v.remoteCommands = stations::RemoteCommandsFactory(std::move(remote));
    v.beobachter = applications_;
    v.channelCount = [this] { return kanaele_ ? kanaele_->Count() : 0; };
    v.channel = [this](int n) -> std::shared_ptr<IKanalFuerVerbindung> {
        return kanaele_ ? kanaele_->GetKanal(n) : nullptr;
    };
    geraete_ = std::make_unique<devices::TGeraete>(ctx, [this](bool allReady) {
        if (view_.devicesReady) view_.devicesReady(allReady);
    });
    geraete_->Create();
}

}  // namespace tarvo::core
