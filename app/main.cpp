// Tarvo: creates the process-wide objects in order and runs the main loop.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/DemoU.h"
#include "automation/DBusServer.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/ImportU.h"
#include "core/StartupU.h"
#include "core/SynchronizeU.h"
#include "core/SystemU.h"
#include "platform/CodePage.h"
#include "platform/Locations.h"
#include "platform/Registry.h"
#include "platform/SessionService.h"
#include "platform/UnixSocket.h"
#include "platform/qt/QtDispatcher.h"
#include "platform/qt/SignalWatcher.h"
#include "ui/HauptU.h"
#include "ui/MessageboxU.h"
#include "ui/SprachenU.h"
#include "ui/UnhandledExceptionU.h"

namespace {

using namespace tarvo;

// Exceptions must not cross Qt's event loop; they end here in the report.
class TarvoApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), "THauptfenster",
                                         "ApplicationException");
            return false;
        }
    }
};

// Standard error, for TARVO_DEBUG=stderr.
class StderrSink : public core::IDebugSink {
  public:
    void Write(std::string_view line) override {
        std::string text = platform::Cp1252ToUtf8(line);
        if (!text.empty() && text.back() == '\r') text.back() = '\n';
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
};

// The debug socket, plus standard error when asked for.
class DebugSink : public core::IDebugSink {
  public:
    DebugSink(platform::UnixSocketServer* socket, bool toStderr)
        : socket_(socket), stderr_(toStderr) {}
    void Write(std::string_view line) override {
        if (stderr_) stderrSink_.Write(line);
        if (socket_) socket_->Broadcast(line);
    }

  private:
    platform::UnixSocketServer* socket_;
    bool stderr_;
    StderrSink stderrSink_;
};

int QuitAfter(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--quit-after") return std::atoi(args[i + 1].c_str());
    return -1;
}

std::optional<std::string> ProcessEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

bool HasArg(const std::vector<std::string>& args, std::string_view arg) {
    for (std::size_t i = 1; i < args.size(); ++i)
        if (args[i] == arg) return true;
    return false;
}

// "--register" / "--unregister": the session bus's service file that starts
// Tarvo in the automation mode when a client asks for it. -1 when not asked.
int RegisterService(const std::vector<std::string>& args) {
    const bool add = HasArg(args, "--register");
    if (!add && !HasArg(args, "--unregister")) return -1;
    core::DebOut(std::string("StartMode: ") + (add ? "RegServer" : "UnregServer"));
    const platform::GetEnv env = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto file = platform::SessionServiceFile(automation::kServiceName, env);
    if (!file) {
        std::fprintf(stderr, "tarvo: neither XDG_DATA_HOME nor HOME is set\n");
        return 1;
    }
    if (!add) {
        if (const std::error_code ec = platform::RemoveSessionService(*file)) {
            std::fprintf(stderr, "tarvo: %s: %s\n", file->c_str(), ec.message().c_str());
            return 1;
        }
        std::printf("tarvo: removed %s\n", file->c_str());
        return 0;
    }
    std::vector<std::string> command{platform::ProgramFile().string(), "--automation"};
    // A profile of its own goes with the command, so that the bus starts that one.
    const bool ownHome =
        std::any_of(args.begin() + 1, args.end(),
                    [](const std::string& a) { return a.starts_with("--home"); }) ||
        (env("TARVO_HOME") && !env("TARVO_HOME")->empty());
    if (ownHome) {
        std::string error;
        const auto locations = platform::ResolveLocations(args, &error);
        if (!locations) {
            std::fprintf(stderr, "tarvo: %s\n", error.c_str());
            return 1;
        }
        command.push_back("--home");
        command.push_back(
            std::filesystem::absolute(locations->settingsFile.parent_path()).string());
    }
    const auto text = platform::SessionServiceText(automation::kServiceName, command);
    const std::error_code ec = text ? platform::WriteSessionService(*file, *text)
                                    : std::make_error_code(std::errc::invalid_argument);
    if (ec) {
        std::fprintf(stderr, "tarvo: %s: %s\n", file->c_str(), ec.message().c_str());
        return 1;
    }
    std::printf("tarvo: wrote %s\n", file->c_str());
    return 0;
}

// "--import FOLDER": brings a copied installation along, without a window.
// -1 when not asked; 0 done, 1 failed (also while Tarvo runs), 3 done but a
// damaged file was left out.
int ImportInstallation(const std::vector<std::string>& args) {
    std::string folder;
    bool asked = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--import") {
            asked = true;
            if (i + 1 < args.size()) folder = args[i + 1];
        } else if (args[i].starts_with("--import=")) {
            asked = true;
            folder = args[i].substr(9);
        }
    }
    if (!asked) return -1;
    core::DebOut("StartMode: Import");
    if (folder.empty()) {
        std::fprintf(stderr, "tarvo: --import needs a folder\n");
        return 1;
    }
    std::string error;
    const auto locations = platform::ResolveLocations(args, &error);
    if (!locations || platform::CreateLocations(*locations)) {
        std::fprintf(stderr, "tarvo: %s\n", error.empty() ? "no data folder" : error.c_str());
        return 1;
    }
    core::SetApplicationDataFolder(locations->dataDir);
    // The running program holds settings and stations in memory and would
    // write its own over what is imported.
    std::error_code ec;
    auto instanceLock = platform::FileLock::TryLock(locations->runtimeDir / "instance.lock", ec);
    if (!instanceLock) {
        std::fprintf(stderr, "tarvo: Tarvo is running; quit it before importing\n");
        return 1;
    }
    auto settings = platform::FileRegistry::Open(locations->settingsFile, ec);
    if (!settings) {
        std::fprintf(stderr, "tarvo: %s: %s\n", locations->settingsFile.c_str(),
                     ec.message().c_str());
        return 1;
    }
    const platform::UserFolders user = platform::ResolveUserFolders();
    core::TImportSetup setup;
    setup.source = std::filesystem::absolute(folder);
    setup.registry = settings.get();
    setup.settingsFile = locations->settingsFile;
    setup.dataFolder = locations->dataDir;
    setup.searchFolders = {user.documents, user.home};
    const core::TImportReport report = core::Importiere(setup);
    settings.reset();  // written before the summary says so
    std::fputs(report.Text().c_str(), stdout);
    std::printf("tarvo: %zu imported, %zu mapped, %zu left out, %zu to review\n",
                report.imported.size(), report.mapped.size(), report.leftOut.size(),
                report.review.size());
    if (!report.reportFile.empty()) std::printf("tarvo: report %s\n", report.reportFile.c_str());
    return report.failed ? 1 : report.damaged ? 3 : 0;
}

// Tells the automation clients when the main window comes or goes.
class VisibilityFilter : public QObject {
  public:
    explicit VisibilityFilter(automation::TDBusServer& server) : server_(server) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto t = event->type();
        if (t == QEvent::Show || t == QEvent::Hide || t == QEvent::WindowStateChange)
            QTimer::singleShot(0, this, [this] { server_.NotifyVisible(); });
        return QObject::eventFilter(watched, event);
    }

  private:
    automation::TDBusServer& server_;
};

// german: the German text (UTF-8); the log keeps it, the operator reads it translated.
void Fatal(const char* german, int code) {
    core::DebOut(platform::Utf8ToCp1252(german));
    const std::string text = QCoreApplication::translate("Hauptprogramm", german).toStdString();
    std::fprintf(stderr, "tarvo: %s\n", text.c_str());
    if (!std::getenv("TARVO_NO_DIALOGS"))
        ui::TDlgMessage::Run(nullptr, "Tarvo", platform::Utf8ToCp1252(text), 1u << 2);
    std::exit(code);
}

}  // namespace

int main(int argc, char** argv) {
    const bool debugToStderr = [] {
        const char* d = std::getenv("TARVO_DEBUG");
        return d && std::string(d) == "stderr";
    }();
    core::InitDebugLog();
    std::shared_ptr<DebugSink> sink;
    if (debugToStderr) core::SetDebugSink(sink = std::make_shared<DebugSink>(nullptr, true));
    {
        const std::time_t now = std::time(nullptr);
        char when[64];
        std::strftime(when, sizeof when, "%A, %d. %B %Y %H:%M:%S", std::localtime(&now));
        core::DebOut(when);
    }

    if (HasArg({argv, argv + argc}, "--version")) {
        std::printf("Tarvo %s\n", core::VersionText().c_str());
        return 0;
    }
    // The demo brings its own profile unless one is named.
    const auto demoKind = app::DemoFromArgs({argv, argv + argc});
    bool demoFolder = false;
    const std::vector<std::string> args =
        demoKind ? app::WithDemoHome({argv, argv + argc}, ProcessEnv, &demoFolder)
                 : std::vector<std::string>(argv, argv + argc);
    if (const int rc = RegisterService(args); rc >= 0) return rc;
    if (const int rc = ImportInstallation(args); rc >= 0) return rc;
    TarvoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvo"));

    // Global services.
    std::string error;
    const auto locations = platform::ResolveLocations(args, &error);
    if (!locations || platform::CreateLocations(*locations))
        Fatal(QT_TRANSLATE_NOOP("Hauptprogramm",
                                "Fehler beim Erstellen des Ordners Anwendungsdaten."),
              4);
    core::SetApplicationDataFolder(locations->dataDir);

    // Single instance: a second start hands over to the first and ends.
    core::DebOut("CheckInstanceU.initialization: begin...");
    std::error_code ec;
    auto instanceLock = platform::FileLock::TryLock(locations->runtimeDir / "instance.lock", ec);
    if (!instanceLock) {
        platform::SendToUnixSocket(locations->runtimeDir / "instance.sock", "activate\n");
        core::DebOut("CheckInstanceU.initialization: another instance runs");
        return 2;
    }
    platform::QtDispatcher dispatcher;
    ui::THauptfenster* mainWindow = nullptr;
    auto instanceServer =
        platform::UnixSocketServer::Start(locations->runtimeDir / "instance.sock",
                                          {nullptr,
                                           [&dispatcher, &mainWindow](std::string_view) {
                                               dispatcher.Post([&mainWindow] {
                                                   if (mainWindow) mainWindow->Activate();
                                               });
                                           }},
                                          ec);
    if (!instanceServer)
        core::DebOut("CheckInstanceU.initialization: no activation socket: " + ec.message());
    core::DebOut("CheckInstanceU.initialization: end.");

    // The demo's simulators, before the devices open; they end with this.
    std::unique_ptr<app::TDemo> demo;
    if (demoKind) {
        const app::DemoSetup setup{
            *demoKind, demoFolder,
            std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()),
            app::DemoAgwpePort(ProcessEnv)};
        demo = app::TDemo::Start(setup, *locations, &error);
        if (!demo) {
            core::DebOut("Demo: " + error);
            std::fprintf(stderr, "tarvo: %s\n", error.c_str());
            if (!std::getenv("TARVO_NO_DIALOGS"))
                ui::TDlgMessage::Run(
                    nullptr, "Tarvo",
                    platform::Utf8ToCp1252(QCoreApplication::translate(
                                               "TDemo", "Die Demo kann nicht gestartet werden:\n%1")
                                               .arg(QString::fromStdString(error))
                                               .toStdString()),
                    1u << 2);
            return 1;
        }
        std::printf("%s\n", demo->Description().c_str());
        std::fflush(stdout);
    }

    // The debug monitor attaches through a socket in the runtime folder.
    std::unique_ptr<platform::UnixSocketServer> debugSocket;
    debugSocket = platform::UnixSocketServer::Start(
        locations->runtimeDir / "debug.sock",
        {[&](std::size_t clients) {
             if (clients > 0 && !core::DebugAttached()) {
                 core::SetDebugSink(std::make_shared<DebugSink>(debugSocket.get(), debugToStderr));
                 core::DebOut("DebugMonitor gestartet.");
             } else if (clients == 0 && !debugToStderr) {
                 core::SetDebugSink(nullptr);
             }
         },
         nullptr},
        ec);
    if (debugSocket && debugToStderr)
        core::SetDebugSink(std::make_shared<DebugSink>(debugSocket.get(), true));

    core::DebOut("Hauptprogramm: begin...");
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvo"));
    core::SetMainDispatcher(&dispatcher);
    dispatcher.SetExceptionHandler(
        [](std::exception_ptr e) { core::ShowUnhandledException(e, "PROJECT", "RUN"); });
    ui::TDlgUnhandledException exceptionView;
    core::SetUnhandledExceptionView(&exceptionView);

    auto settings = platform::FileRegistry::Open(locations->settingsFile, ec);
    if (!settings)
        Fatal(QT_TRANSLATE_NOOP("Hauptprogramm", "Die Einstellungen können nicht gelesen werden."),
              4);
    for (const std::string& problem : settings->LoadProblems())
        core::DebOut(locations->settingsFile.string() + ": " + problem);

    // The language, before any window. Without anyone to answer (the automation
    // start, TARVO_NO_DIALOGS) it never asks.
    ui::InitLanguage(*settings,
                     core::StartModeFromArgs(args) == core::StartMode::Automation ||
                         std::getenv("TARVO_NO_DIALOGS"),
                     ui::SystemLocaleLanguage());

    int rc = 0;
    {
        core::TSystem system({*settings, dispatcher, core::StartModeFromArgs(args)});
        // The automation server: its objects first, then the name, so that a
        // client the bus started Tarvo for finds them. The name is also the
        // session's single-instance mark; without a session bus the lock above
        // is the only one.
        std::unique_ptr<automation::TDBusServer> automationServer;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            automationServer =
                std::make_unique<automation::TDBusServer>(bus, system.Applications());
            if (!automationServer->RegisterObjects())
                core::DebOut("Automation: objects not registered: " +
                             bus.lastError().message().toStdString());
            const auto owned =
                bus.interface()->registerService(QString::fromLatin1(automation::kServiceName),
                                                 QDBusConnectionInterface::DontQueueService,
                                                 QDBusConnectionInterface::DontAllowReplacement);
            if (owned.value() != QDBusConnectionInterface::ServiceRegistered) {
                // Another Tarvo of this session shows its window; this one ends.
                core::DebOut("CheckInstanceU.initialization: another instance owns the bus name");
                bus.call(
                    QDBusMessage::createMethodCall(QString::fromLatin1(automation::kServiceName),
                                                   QString::fromLatin1(automation::kRootPath),
                                                   QStringLiteral("org.morvane.Tarvo.Application"),
                                                   QStringLiteral("Show")),
                    QDBus::Block, 5000);
                automationServer.reset();
                core::SetUnhandledExceptionView(nullptr);
                core::SetMainDispatcher(nullptr);
                core::SetDebugSink(nullptr);
                return 2;
            }
        } else {
            core::DebOut("Automation: no session bus");
        }
        // Scripted runs (no dialogs, a timed end) open no window beyond the main one.
        const bool quiet = std::getenv("TARVO_NO_DIALOGS") || QuitAfter(args) >= 0;
        ui::THauptfenster window(
            {system,
             platform::DataFile(
                 std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()),
                 "tarvo.ttf"),
             quiet});
        mainWindow = &window;
        std::unique_ptr<VisibilityFilter> visibility;
        if (automationServer) {
            visibility = std::make_unique<VisibilityFilter>(*automationServer);
            window.installEventFilter(visibility.get());
        }
        // Every end runs the shutdown and leaves the event loop, also when no
        // window was shown (the automation start).
        platform::SignalWatcher signalWatcher([&window](int) { window.close(); });
        // The desktop may still cancel the logout: only save here; the end comes
        // through aboutToQuit when the session really ends.
        QObject::connect(
            &app, &QGuiApplication::commitDataRequest, &window, [&window] { window.CommitData(); },
            Qt::DirectConnection);
        QObject::connect(&app, &QCoreApplication::aboutToQuit,
                         [&window] { window.TarvoDestroy(); });
        if (!settings->LoadProblems().empty()) {
            const std::string text = platform::Utf8ToCp1252(
                QCoreApplication::translate("Hauptprogramm",
                                            "Die Einstellungen waren beschädigt. Was lesbar war, "
                                            "wurde übernommen; die Datei wurde als \"%1\" "
                                            "aufbewahrt.")
                    .arg(QString::fromStdString(settings->BadCopy().filename().string()))
                    .toStdString());
            if (!std::getenv("TARVO_NO_DIALOGS"))
                dispatcher.Post([text] { ui::TDlgMessage::Run(nullptr, "Tarvo", text, 1u << 2); });
        }
        if (window.FormCreate()) {
            if (const int ms = QuitAfter(args); ms >= 0)
                QTimer::singleShot(ms, &window, &QWidget::close);
            rc = QApplication::exec();
        } else {
            rc = window.StartupExitCode();
        }
        window.TarvoDestroy();
        if (visibility) window.removeEventFilter(visibility.get());
        automationServer.reset();
        mainWindow = nullptr;
    }
    core::SetUnhandledExceptionView(nullptr);
    core::SetMainDispatcher(nullptr);
    core::DebOut("Hauptprogramm: end.");
    instanceServer.reset();
    core::SetDebugSink(nullptr);
    debugSocket.reset();
    return rc;
}
