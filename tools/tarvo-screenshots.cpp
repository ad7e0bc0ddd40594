// Pictures of Tarvo's windows for the manual and the README, made by the
// program itself so that they can be made again after every change:
//   tarvo-screenshots --home DIR --lang DE|EN --out FOLDER
// DIR holds a prepared profile (settings file, station database); the language
// is written into it before the start. Run under QT_QPA_PLATFORM=offscreen.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "channels/KanaeleU.h"
#include "channels/KanalU.h"
#include "core/ConfigU.h"
#include "core/GlobalU.h"
#include "core/SynchronizeU.h"
#include "core/SystemU.h"
#include "platform/Locations.h"
#include "platform/Registry.h"
#include "platform/qt/QtDispatcher.h"
#include "ui/DateiSendenDlgU.h"
#include "ui/EinstellungenU.h"
#include "ui/ErsteSchritteU.h"
#include "ui/GeraeteStatusU.h"
#include "ui/HauptPanesU.h"
#include "ui/HauptU.h"
#include "ui/HostmodeCommandlineU.h"
#include "ui/StationenDatenbankDlgU.h"
#if __has_include("ui/SprachenU.h")
#include "ui/SprachenU.h"
#define TARVO_SCREENSHOTS_LANGUAGES 1
#endif

namespace {

using namespace tarvo;

struct Options {
    std::string home, lang = "DE", out = ".";
};

bool ParseArgs(int argc, char** argv, Options& o) {
    if (argc % 2 == 0) return false;  // every option takes a value
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i], v = argv[i + 1];
        if (a == "--home")
            o.home = v;
        else if (a == "--lang")
            o.lang = v;
        else if (a == "--out")
            o.out = v;
        else
            return false;
    }
    return !o.home.empty() && (o.lang == "DE" || o.lang == "EN");
}

void Wait(int ms) {
    QTest::qWait(ms);
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        Wait(50);
    }
    return true;
}

template <typename T>
T* TopLevel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

class Shooter {
  public:
    Shooter(std::filesystem::path out, std::string lang)
        : out_(std::move(out)), suffix_("-" + Lower(lang)) {}

    bool Save(QWidget* w, const std::string& name) {
        if (!w) {
            std::fprintf(stderr, "tarvo-screenshots: no window for %s\n", name.c_str());
            failed_ = true;
            return false;
        }
        Wait(150);  // let a repaint that was just scheduled land in the picture
        const auto file = out_ / (name + suffix_ + ".png");
        if (!w->grab().save(QString::fromStdString(file.string()), "PNG")) {
            std::fprintf(stderr, "tarvo-screenshots: cannot write %s\n", file.c_str());
            failed_ = true;
            return false;
        }
        std::printf("%s\n", file.c_str());
        return true;
    }

    // A modal dialog runs its own loop: the picture is taken from inside it.
    void SaveModal(QAction* trigger, const std::string& name) {
        QTimer::singleShot(400, [this, name] {
            QWidget* w = QApplication::activeModalWidget();
            Save(w, name);
            if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
        });
        trigger->trigger();
    }

    bool Failed() const { return failed_; }

  private:
    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    std::filesystem::path out_;
    std::string suffix_;
    bool failed_ = false;
};

void Type(QWidget* input, const char* line) {
    if (!input) return;
    input->setFocus();
    QTest::keyClicks(input, QString::fromLatin1(line));
    QTest::keyClick(input, Qt::Key_Return);
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!ParseArgs(argc, argv, opt)) {
        std::fprintf(stderr, "usage: tarvo-screenshots --home DIR --lang DE|EN --out FOLDER\n");
        return 1;
    }
    // Scripted: no first-steps window, no modal error boxes.
    setenv("TARVO_NO_DIALOGS", "1", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvo"));

    std::string error;
    const auto locations = platform::ResolveLocations({argv[0], "--home", opt.home}, &error);
    if (!locations || platform::CreateLocations(*locations)) {
        std::fprintf(stderr, "tarvo-screenshots: %s\n", error.c_str());
        return 4;
    }
    core::SetApplicationDataFolder(locations->dataDir);
    std::error_code ec;
    auto settings = platform::FileRegistry::Open(locations->settingsFile, ec);
    if (!settings) {
        std::fprintf(stderr, "tarvo-screenshots: %s\n", ec.message().c_str());
        return 4;
    }
    settings->WriteText(platform::Hive::CurrentUser, core::TConfig::kRootKey, "Sprache", opt.lang);
    core::TConfig(*settings, "")
        .WriteBool(core::TConfig::Hive::CurrentUser, "", "SplashScreen", false);
    settings->Flush();
#ifdef TARVO_SCREENSHOTS_LANGUAGES
    ui::InitLanguage(*settings, true, "de");
#endif

    platform::QtDispatcher dispatcher;
    core::SetMainDispatcher(&dispatcher);
    Shooter shoot(opt.out, opt.lang);
    {
        core::TSystem system({*settings, dispatcher, core::StartMode::Standalone});
        const auto font =
            std::filesystem::path(QCoreApplication::applicationDirPath().toStdString())
                .parent_path() /
            "app" / "tarvo.ttf";
        ui::THauptfenster window({system,
                                  std::filesystem::exists(font)
                                      ? font
                                      : "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
                                  true});
        if (!window.FormCreate()) return window.StartupExitCode();
        window.resize(860, 600);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            std::fprintf(stderr, "tarvo-screenshots: the window was not shown\n");

        // The simulated mailbox calls in on channel 1; list its messages there.
        auto* kanaele = window.Kanaele();
        const bool called = WaitFor(
            [&] {
                auto k = kanaele ? kanaele->GetKanal(1) : nullptr;
                return k && k->GetVerbindung() != nullptr;
            },
            20000);
        if (!called) std::fprintf(stderr, "tarvo-screenshots: no station called in\n");
        if (kanaele) kanaele->SetAktuellNr(1);
        Wait(1500);
        Type(window.Panes()->findChild<QWidget*>(QStringLiteral("Eingabe01")), "L");
        Wait(2500);
        shoot.Save(&window, "main-window");
        if (kanaele) {
            // The monitor in the large pane, with both devices' traffic.
            kanaele->SetAktuellNr(0);
            Wait(1500);
            shoot.Save(&window, "monitor");
            kanaele->SetAktuellNr(1);
            Wait(300);
        }

        shoot.SaveModal(window.Action("ActionConnect"), "connect-dialog");

        window.Action("ActionSend")->trigger();
        Wait(300);
        shoot.Save(TopLevel<ui::TDateiSendenDlg>(), "send-dialog");
        if (auto* send = TopLevel<ui::TDateiSendenDlg>()) send->close();

        window.Action("ActionSettings")->trigger();
        Wait(300);
        if (auto* form = ui::TEinstellungenForm::Instance()) {
            form->resize(780, 480);  // every tab's title in view
            const struct {
                int page;
                const char* name;
            } pages[] = {
                {ui::TEinstellungenForm::kAllgemein, "settings"},
                {ui::TEinstellungenForm::kGeraete, "settings-devices"},
                {ui::TEinstellungenForm::kMonitor, "settings-monitor"},
                {ui::TEinstellungenForm::kFernst, "settings-remote"},
            };
            for (const auto& p : pages) {
                form->ShowPage(p.page);
                Wait(200);
                shoot.Save(form, p.name);
            }
            ui::TEinstellungenForm::CloseInstance();
        } else {
            shoot.Save(nullptr, "settings");
        }

        window.Action("ActionDeviceStatus")->trigger();
        Wait(300);
        shoot.Save(window.DeviceStatus(), "device-status");
        if (window.DeviceStatus()) window.DeviceStatus()->close();

        window.Action("ActionStationenDatenbank")->trigger();
        Wait(300);
        auto* stations = TopLevel<ui::TStationenDatenbankDlg>();
        if (stations && stations->StationList()->count() > 0)
            stations->StationList()->setCurrentRow(0);
        shoot.Save(stations, "stations");
        if (stations) stations->close();

        window.Action("ActionCommandLine")->trigger();
        Wait(300);
        shoot.Save(window.CommandLine(), "command-line");
        if (window.CommandLine()) window.CommandLine()->close();

        window.Action("ActionHelpFirstSteps")->trigger();
        Wait(300);
        shoot.Save(window.FirstSteps(), "first-steps");
        if (window.FirstSteps()) window.FirstSteps()->close();

        shoot.SaveModal(window.Action("ActionHelpInfo"), "info");

        window.TarvoDestroy();
    }
    core::SetMainDispatcher(nullptr);
    return shoot.Failed() ? 3 : 0;
}
