// Tarvo: creates the process-wide objects in order and runs the main loop.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/StartupU.h"
#include "core/SynchronizeU.h"
#include "core/SystemU.h"
#include "platform/CodePage.h"
#include "platform/Locations.h"
#include "platform/Registry.h"
#include "platform/UnixSocket.h"
#include "platform/qt/QtDispatcher.h"
#include "platform/qt/SignalWatcher.h"
#include "ui/HauptU.h"
#include "ui/MessageboxU.h"
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

void Fatal(const char* text, int code) {
    core::DebOut(text);
    std::fprintf(stderr, "tarvo: %s\n", platform::Cp1252ToUtf8(text).c_str());
    if (!std::getenv("TARVO_NO_DIALOGS")) ui::TDlgMessage::Run(nullptr, "Tarvo", text, 1u << 2);
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

    TarvoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    const std::vector<std::string> args(argv, argv + argc);

    // Global services.
    std::string error;
    const auto locations = platform::ResolveLocations(args, &error);
    if (!locations || platform::CreateLocations(*locations))
        Fatal("Fehler beim Erstellen des Ordners Anwendungsdaten.", 4);
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
    if (!settings) Fatal("Die Einstellungen k\xF6nnen nicht gelesen werden.", 4);
    for (const std::string& problem : settings->LoadProblems())
        core::DebOut(locations->settingsFile.string() + ": " + problem);

    int rc = 0;
    {
        core::TSystem system({*settings, dispatcher, core::StartModeFromArgs(args)});
        ui::THauptfenster window(
            {system, std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) /
                         "tarvo.ttf"});
        mainWindow = &window;
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
            std::string text =
                "Die Einstellungen waren besch\xE4"
                "digt. Was lesbar war, wurde \xFC"
                "bernommen; die Datei wurde als \"" +
                settings->BadCopy().filename().string() + "\" aufbewahrt.";
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
