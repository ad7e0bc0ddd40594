#include "ui/HauptU.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "channels/KanaeleU.h"
#include "connection/VerbindungAbstractU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/MessageWindowU.h"
#include "devices/GeraeteU.h"
#include "devices/MyCallsU.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"
#include "ui/AgwpeDialogU.h"
#include "ui/GeraeteDialogU.h"
#include "ui/HostmodeSerialDialogU.h"
#include "ui/KanalViewU.h"
#include "ui/MessageboxU.h"
#include "ui/PlainTextU.h"
#include "ui/SplashU.h"

namespace tarvo::ui {

using platform::Hive;

namespace {
constexpr const char* kWindowKey = "\\Windows\\Main";

core::TRect ToRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}
}  // namespace

THauptfenster::THauptfenster(THauptfensterSetup setup, QWidget* parent)
    : QMainWindow(parent), setup_(std::move(setup)) {
    BuildShutdown(shutdown_);
}

THauptfenster::~THauptfenster() {
    TarvoDestroy();
}

void THauptfenster::SplashStatus(const char* cp1252) {
    if (splash_) splash_->SetStatus(cp1252);
}

bool THauptfenster::FormCreate() {
    core::TStepSequence steps("THauptfenster", "FormCreate");
    BuildStartup(steps);
    const auto failure = steps.RunUntilFailure();
    if (!failure) return true;
    splash_.reset();
    startupFailed_ = true;
    failureExitCode_ = steps.FailureExitCode();
    TDlgMessage::Run(nullptr, steps.FailureTitle(), *failure, 1u << 2);
    return false;
}

void THauptfenster::BuildStartup(core::TStepSequence& s) {
    s.Add("begin...", [] {});
    s.Add("StartMode", [this] {
        core::DebOut(std::string("StartMode: ") + core::StartModeName(setup_.startMode));
    });
    s.Add("Caption", [this] {
        setWindowTitle(QStringLiteral("Tarvo Terminal"));
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Tarvo Terminal"));
    });
    s.Add("Config", [this] {
        config_ = std::make_unique<core::TConfig>(setup_.registry, core::VersionText());
        runMark_ = core::MarkRunning(*config_, setup_.registry);
        if (runMark_.previousRunDirty)
            core::DebOut("Config: the previous run did not end in order");
    });
    s.Add("Ordner", [] {});
    s.Add("Fenstergroesse", [this] {
        setMinimumSize(340, 280);
        RestoreWindowPosition();
    });
    s.Add("Splash", [this] {
        if (setup_.startMode == core::StartMode::Automation || !config_->SplashScreen()) return;
        splash_ = std::make_unique<TSplash>(core::VersionText(), core::PrivateBuild());
        splash_->show();
        QCoreApplication::processEvents();
    });
    s.Add("Klaenge", [] {});
    s.Add("Texte", [] {});
    s.Add("RemoteCommandManager", [] {});
    s.Add("ConnectionsList",
          [this] { connections_ = std::make_unique<channels::TConnectionsList>(); });
    s.Add("Schriften", [this] {
        SplashStatus("Initialisiere Schriften...");
        RegisterFont();
    });
    s.Add("MyCalls", [this] {
        myCalls_ = std::make_shared<devices::TMyCalls>(setup_.registry);
        myCalls_->Create();
        SplashStatus("Initialisiere Datenbank...");
    });
    s.Add("StationenDatenbank", [this] {
        if (runMark_.databaseCheckDue)
            core::DebOut("StationenDatenbank: the database is to be checked");
    });
    s.Add("ForceDatabaseCheck", [this] {
        core::ClearForceDatabaseCheck(*config_);
        SplashStatus("Initialisiere Kan\xE4le...");
    });
    s.Add("Kanaele", [this] { CreateKanaele(); });
    s.Add("Geraete", [this] {
        SplashStatus("Initialisiere Ger\xE4te...");
        CreateGeraete();
    });
    s.Add("Bereit", [this] {
        SplashStatus("Bereit.");
        if (splash_) splash_->CloseLater(1500);
    });
    s.Add("ErsteSchritte", [this] {
        if (config_->FirstStepsDue()) core::DebOut("ErsteSchritte: due");
    });
    s.Add("Layout", [this] { startupDone_ = true; });
    s.Add("Show", [this] {
        if (setup_.startMode == core::StartMode::Automation) return;
        show();
        if (savedState_ == 2) showMaximized();
        if (savedState_ == 1) showMinimized();
        if (splash_ && splash_->isVisible()) splash_->raise();  // it stays above until it closes
    });
    s.Add("end.", [] {});
}

void THauptfenster::BuildShutdown(core::TStepSequence& s) {
    s.Add("begin...", [] {});
    s.Add("Spiele Klang ab...", [] {});
    s.Add("QuitEvent.SetEvent", [this] {
        core::QuitEvent().Set();
        setup_.dispatcher.BeginShutdown();
    });
    s.Add("Speichere Einstellungen...", [this] {
        if (!startupFailed_ && config_ && startupDone_) SaveWindowPosition();
    });
    s.Add("ErsteSchritte.Release", [] {});
    s.Add("Revoke Drag & Drop", [] {});
    s.Add("Geraete.Free", [this] {
        // A dialog still open over the set lets go of it first.
        if (geraeteDialog_) geraeteDialog_->Detach();
        if (!geraete_) return;
        geraete_->Destroy();
        geraete_.reset();
    });
    s.Add("Kanaele.Free", [this] {
        kanaele_.reset();
        kanaeleView_.reset();
    });
    s.Add("MyCalls.Release", [this] {
        if (!myCalls_) return;
        myCalls_->ReleaseList();
        myCalls_.reset();
    });
    s.Add("Ordner.Free", [] {});
    s.Add("StationenDatenbank.Free", [] {});
    s.Add("Texte.Free", [] {});
    s.Add("ConnectionsList.Free", [this] { connections_.reset(); });
    s.Add("Klaenge.Free", [] {});
    s.Add("Dirty", [this] {
        if (config_)
            core::MarkOrderlyEnd(*config_, setup_.registry, startupFailed_ || !startupDone_, false);
    });
    s.Add("Config.Free", [this] {
        config_.reset();
        setup_.registry.Flush();
    });
    s.Add("FontDeInit", [this] {
        if (fontId_ < 0) return;
        core::DebOut(QFontDatabase::removeApplicationFont(fontId_) ? "FontDeInit: ok."
                                                                   : "FontDeInit: Fehler.");
        fontId_ = -1;
    });
    s.Add("end.", [] {});
}

void THauptfenster::TarvoDestroy() {
    shutdown_.RunAll();
}

void THauptfenster::closeEvent(QCloseEvent* event) {
    TarvoDestroy();
    event->accept();
}

void THauptfenster::Activate() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void THauptfenster::BuildPanes() {
    TKanalPanes panes;
    panes.window = this;
    panes.channelBar = new QToolBar(QStringLiteral("Kan\u00e4le"), this);
    panes.channelBar->setObjectName(QStringLiteral("ChannelBar"));
    panes.channelBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    panes.channelBar->setMovable(false);
    addToolBar(Qt::BottomToolBarArea, panes.channelBar);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("Splitter"));
    panes.outputPane = new QStackedWidget(splitter);
    panes.outputPane->setObjectName(QStringLiteral("OutputPane"));
    panes.inputPane = new QStackedWidget(splitter);
    panes.inputPane->setObjectName(QStringLiteral("InputPane"));
    panes.inputPane->setMinimumHeight(16);
    panes.monitorPane = new QStackedWidget(splitter);
    panes.monitorPane->setObjectName(QStringLiteral("MonitorPane"));
    splitter->setChildrenCollapsible(false);
    // A taller window makes only the output pane taller.
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setStretchFactor(2, 0);
    const int inputHeight = config_ ? config_->InputHeight() : core::TConfig::kDefaultPaneHeight;
    const int monitorHeight =
        config_ ? config_->MonitorHeight() : core::TConfig::kDefaultPaneHeight;
    splitter->setSizes({std::max(1, height() - inputHeight - monitorHeight),
                        std::max(16, inputHeight), std::max(1, monitorHeight)});
    setCentralWidget(splitter);

    for (int i = 0; i < channels::kStatusPanelCount; ++i) {
        auto* label = new QLabel(statusBar());
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        label->setMinimumWidth(i == 1 ? 160 : 48);
        statusBar()->addWidget(label, i == 1 ? 1 : 0);
        panes.statusPanels.push_back(label);
    }
    panes.progressLabel = new QLabel(statusBar());
    panes.progressLabel->hide();
    panes.progress = new QProgressBar(statusBar());
    panes.progress->setRange(0, 100);
    panes.progress->setTextVisible(false);
    panes.progress->setMaximumWidth(120);
    panes.progress->hide();
    statusBar()->addPermanentWidget(panes.progressLabel);
    statusBar()->addPermanentWidget(panes.progress);

    devicesReady_ = new QLabel(statusBar());
    devicesReady_->setObjectName(QStringLiteral("GeraeteBereit"));
    statusBar()->addPermanentWidget(devicesReady_);
    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Einstellungen"));
    QAction* devicesAction = settings->addAction(QStringLiteral("&Ger\u00e4te..."));
    devicesAction->setObjectName(QStringLiteral("ActionGeraete"));
    connect(devicesAction, &QAction::triggered, this, [this] { ShowGeraeteDialog(); });

    kanaeleView_ = std::make_unique<TKanaeleView>(panes, [this](int n) {
        if (kanaele_) kanaele_->SetAktuellNr(n);
    });
}

void THauptfenster::CreateKanaele() {
    if (!kanaeleView_) BuildPanes();
    channels::TKanalContext ctx;
    ctx.dispatcher = &setup_.dispatcher;
    ctx.config = config_.get();
    ctx.clock = &clock_;
    ctx.klaenge = &klaenge_;
    ctx.bufferFolder = core::ApplicationDataFolder() / "Text Buffers";
    ctx.startupDone = [this] { return startupDone_; };
    ctx.mainWindowVisible = [this] { return isVisible() && !isMinimized(); };
    ctx.messages = &messages_;
    ctx.texte = &texte_;
    ctx.stationen = stationen_;
    ctx.funkKanaele = [this] {
        return geraete_ ? geraete_->GetFunkKanaele(256)
                        : std::vector<std::shared_ptr<core::IFunkKanal>>{};
    };
    ctx.receiveFolder = [] { return core::ApplicationDataFolder(); };
    try {
        kanaele_ = std::make_unique<channels::TKanaele>(ctx, kanaeleView_.get());
    } catch (const channels::TKanalBufferError& e) {
        core::DebOutObj("THauptfenster", "FormCreate", e.what());
        throw core::TStartupFailure(std::string(channels::BufferErrorText()),
                                    std::string(channels::kBufferErrorTitle),
                                    channels::kBufferErrorExitCode);
    }
}

void THauptfenster::CreateGeraete() {
    static std::once_flag kinds;
    std::call_once(kinds, [] {
        devices::RegisterDeviceKinds();
        RegisterHostmodeSerialProperties();
        RegisterAgwpeProperties();
    });
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
    v.klaenge = &klaenge_;
    v.texte = &texte_;
    v.stationen = stationen_;
    v.connections = connections_.get();
    v.versionText = core::VersionText();
    v.runModules = connection::TVerbindungAbstract::RunStandard;
    v.channelCount = [this] { return kanaele_ ? kanaele_->Count() : 0; };
    v.channel = [this](int n) -> std::shared_ptr<core::IKanalFuerVerbindung> {
        return kanaele_ ? kanaele_->GetKanal(n) : nullptr;
    };
    geraete_ = std::make_unique<devices::TGeraete>(ctx, [this](bool allReady) {
        if (!devicesReady_) return;
        devicesReady_->setText(allReady ? QStringLiteral("\u25CF") : QStringLiteral("\u25CB"));
        const std::string text(devices::AllReadyText(allReady));
        devicesReady_->setToolTip(Cp1252ToQString(text.substr(0, text.find('|'))));
    });
    geraete_->Create();
}

int THauptfenster::TMessages::Run(const std::string& title, const std::string& text,
                                  unsigned buttons) {
    core::DebOutObj("THauptfenster", "Message", text);
    return TDlgMessage::Run(owner_, title, text, buttons);
}

void THauptfenster::ShowGeraeteDialog() {
    if (!geraete_ || geraeteDialog_) return;
    TGeraeteDialog dialog(*geraete_, this);
    geraeteDialog_ = &dialog;
    dialog.exec();
}

void THauptfenster::RegisterFont() {
    const QString file = QString::fromStdString(setup_.fontFile.string());
    for (int attempt = 0; attempt < 10 && fontId_ < 0; ++attempt)
        fontId_ = QFontDatabase::addApplicationFont(file);
    if (fontId_ >= 0) return;
    char text[512];
    std::snprintf(text, sizeof text, "Die erforderliche Datei \"%s\" kann nicht geladen werden.",
                  setup_.fontFile.filename().string().c_str());
    throw core::TStartupFailure(text);
}

void THauptfenster::RestoreWindowPosition() {
    std::optional<core::TRect> stored;
    const auto read = [&](const char* name) -> std::optional<int> {
        if (!config_->ValueExists(Hive::CurrentUser, kWindowKey, name)) return std::nullopt;
        return config_->ReadIntegerDefault(Hive::CurrentUser, kWindowKey, name, 0);
    };
    const auto x = read("X"), y = read("Y"), dx = read("DX"), dy = read("DY");
    if (x && y && dx && dy) stored = core::TRect{*x, *y, *dx, *dy};
    std::vector<core::TRect> areas;
    for (QScreen* screen : QGuiApplication::screens())
        areas.push_back(ToRect(screen->availableGeometry()));
    const QScreen* primary = QGuiApplication::primaryScreen();
    const core::TRect primaryArea =
        primary ? ToRect(primary->availableGeometry()) : core::TRect{0, 0, 1024, 768};
    const core::TRect r = core::PlaceMainWindow(stored, areas, primaryArea);
    setGeometry(r.left, r.top, r.width, r.height);
    savedState_ = read("S").value_or(0);
}

void THauptfenster::SaveWindowPosition() {
    const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    config_->WriteInteger(Hive::CurrentUser, kWindowKey, "S", state);
    const QRect r = state == 0 ? geometry() : normalGeometry();
    config_->WriteInteger(Hive::CurrentUser, kWindowKey, "X", r.x());
    config_->WriteInteger(Hive::CurrentUser, kWindowKey, "Y", r.y());
    config_->WriteInteger(Hive::CurrentUser, kWindowKey, "DX", r.width());
    config_->WriteInteger(Hive::CurrentUser, kWindowKey, "DY", r.height());
}

}  // namespace tarvo::ui
