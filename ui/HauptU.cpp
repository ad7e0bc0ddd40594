#include "ui/HauptU.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "channels/BefehlConnectU.h"
#include "channels/KanaeleU.h"
#include "channels/KanalEingabeU.h"
#include "channels/KanalU.h"
#include "channels/StatusU.h"
#include "connection/VerbindungAbstractU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/MessageWindowU.h"
#include "devices/GeraeteU.h"
#include "devices/MyCallsU.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"
#include "resources/OrdnerU.h"
#include "stations/StationenDatenbankU.h"
#include "ui/AgwpeDialogU.h"
#include "ui/BefehlConnectU.h"
#include "ui/ConsoleWidgetU.h"
#include "ui/EinstellungenU.h"
#include "ui/ErsteSchritteU.h"
#include "ui/FlexnetDialogU.h"
#include "ui/GeraeteDialogU.h"
#include "ui/GeraeteStatusU.h"
#include "ui/HauptPanesU.h"
#include "ui/HostmodeCommandlineU.h"
#include "ui/HostmodeSerialDialogU.h"
#include "ui/ImportU.h"
#include "ui/InfoU.h"
#include "ui/KanalViewU.h"
#include "ui/MessageboxU.h"
#include "ui/PlainTextU.h"
#include "ui/RichEditTarvoU.h"
#include "ui/SplashU.h"
#include "ui/StationenDatenbankDlgU.h"

namespace tarvo::ui {

using platform::Hive;

namespace {
constexpr const char* kWindowKey = "\\Windows\\Main";
constexpr const char* kToolbarKey = "\\Toolbar";
constexpr int kStopImageTransfer = 9;
constexpr int kDropSelectMs = 200;
constexpr int kDropDelayMs = 10;

QIcon DeviceStateIcon(bool allReady);
QStyle::StandardPixmap IconOf(std::string_view name);

core::TRect ToRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}
}  // namespace

THauptfenster::THauptfenster(THauptfensterSetup setup, QWidget* parent)
    : QMainWindow(parent),
      system_(setup.system),
      fontFile_(std::move(setup.fontFile)),
      quiet_(setup.quiet) {
    static std::once_flag kinds;
    std::call_once(kinds, [] {
        RegisterHostmodeSerialProperties();
        RegisterAgwpeProperties();
        RegisterFlexnetProperties();
    });
    core::TSystemView view;
    view.kanaeleView = [this]() -> channels::IKanaeleView* {
        if (!kanaeleView_) BuildPanes();
        return kanaeleView_.get();
    };
    view.messages = &messages_;
    view.mainWindowVisible = [this] { return isVisible() && !isMinimized(); };
    view.setMainWindowVisible = [this](bool visible) {
        if (visible)
            Activate();
        else
            hide();
    };
    view.devicesReady = [this](bool allReady) {
        if (!deviceStateButton_) return;
        const std::string text(devices::AllReadyText(allReady));
        const QString hint = Cp1252ToQString(text.substr(0, text.find('|')));
        if (deviceStateButton_->toolTip() == hint) return;
        deviceStateButton_->setIcon(DeviceStateIcon(allReady));
        deviceStateButton_->setToolTip(hint);
    };
    view.status = [this](const std::string& text) { SplashStatus(text.c_str()); };
    system_.SetView(std::move(view));
    AddStartupSteps(system_.StartupSteps());
    AddShutdownSteps(system_.ShutdownSteps());
}

THauptfenster::~THauptfenster() {
    // Children lose the focus while QWidget's destructor runs, when this is
    // no longer a main window: nothing may call back into it from then on.
    qApp->removeEventFilter(this);
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    TarvoDestroy();
}

void THauptfenster::SplashStatus(const char* cp1252) {
    if (splash_) splash_->SetStatus(cp1252);
}

bool THauptfenster::FormCreate() {
    const auto failure = system_.Start();
    if (!failure) return true;
    splash_.reset();
    TDlgMessage::Run(nullptr, system_.FailureTitle(), *failure, 1u << 2);
    return false;
}

void THauptfenster::AddStartupSteps(core::TStepSequence& s) {
    s.InsertAfter("StartMode", "Caption", [] {
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Tarvo Terminal"));
    });
    s.Extend("Caption", [this] { setWindowTitle(QStringLiteral("Tarvo Terminal")); });
    s.InsertAfter("Ordner", "Fenstergroesse", [this] {
        setMinimumSize(340, 280);
        RestoreWindowPosition();
    });
    s.InsertAfter("Fenstergroesse", "Splash", [this] {
        if (system_.Setup().startMode == core::StartMode::Automation || !Config()->SplashScreen())
            return;
        splash_ = std::make_unique<TSplash>(core::VersionText(), core::PrivateBuild());
        splash_->show();
        QCoreApplication::processEvents();
    });
    s.InsertAfter("ConnectionsList", "Schriften", [this] {
        SplashStatus(QStringToCp1252(tr("Initialisiere Schriften...")).c_str());
        RegisterFont();
    });
    s.Extend("Bereit", [this] {
        if (splash_) splash_->CloseLater(1500);
    });
    s.Extend("ErsteSchritte", [this] {
        if (Config() && Config()->FirstStepsDue() && !quiet_ &&
            system_.Setup().startMode != core::StartMode::Automation)
            ShowFirstSteps();
    });
    s.Extend(
        "Layout", [this] { ApplyLayout(); }, true);
    s.InsertAfter("Layout", "Show", [this] {
        if (system_.Setup().startMode == core::StartMode::Automation) return;
        show();
        if (savedState_ == 2) showMaximized();
        if (savedState_ == 1) showMinimized();
        if (splash_ && splash_->isVisible()) splash_->raise();  // it stays above until it closes
    });
}

void THauptfenster::AddShutdownSteps(core::TStepSequence& s) {
    s.InsertAfter("QuitEvent.SetEvent", "Speichere Einstellungen...", [this] {
        if (!StartupFailed() && Config() && StartupDone()) {
            SaveWindowPosition();
            SaveLayout();
        }
    });
    s.Extend("ErsteSchritte.Release", [this] { delete ersteSchritte_.data(); });
    s.InsertAfter("ErsteSchritte.Release", "Revoke Drag & Drop", [this] { setAcceptDrops(false); });
    // Windows still open over the device set let go of it first.
    s.Extend(
        "Geraete.Free",
        [this] {
            qApp->removeEventFilter(this);
            TEinstellungenForm::CloseInstance();
            TDateiSendenDlg::CloseAll();
            delete deviceStatus_.data();
            delete commandLine_.data();
        },
        true);
    s.Extend("Kanaele.Free", [this] { kanaeleView_.reset(); });
    s.InsertAfter("Config.Free", "FontDeInit", [this] {
        if (fontId_ < 0) return;
        core::DebOut(QFontDatabase::removeApplicationFont(fontId_) ? "FontDeInit: ok."
                                                                   : "FontDeInit: Fehler.");
        fontId_ = -1;
    });
}

void THauptfenster::TarvoDestroy() {
    system_.Shutdown();
}

void THauptfenster::CommitData() {
    if (!Config() || !StartupDone() || system_.ShutdownDone()) return;
    SaveWindowPosition();
    SaveLayout();
    system_.Setup().registry.Flush();
}

void THauptfenster::closeEvent(QCloseEvent* event) {
    TarvoDestroy();
    event->accept();
    // A window never shown (the automation start) is not the last one closed;
    // the event loop must end all the same.
    QCoreApplication::quit();
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
    paneStack_ = new TPaneStack(this);
    paneStack_->setObjectName(QStringLiteral("ClientPanel"));
    paneStack_->SetStoredHeights(Config() ? Config()->InputHeight() : 64,
                                 Config() ? Config()->MonitorHeight() : 64);
    setCentralWidget(paneStack_);
    panes.channelBar = paneStack_->ChannelBar();
    panes.outputPane = paneStack_->OutputPane();
    panes.inputPane = paneStack_->InputPane();
    panes.monitorPane = paneStack_->MonitorPane();
    CreateActions();
    BuildMenus();
    BuildCommandBar();
    BuildStatusBar(panes);
    panes.setStopImage = [this](int image) {
        if (QAction* a = Action("ActionStop"))
            a->setIcon(style()->standardIcon(image == kStopImageTransfer ? QStyle::SP_BrowserStop
                                                                         : QStyle::SP_MediaStop));
    };
    panes.setMenuChecks = [this](bool saving, bool showDos, bool sendDos) {
        Action("ActionSave")->setChecked(saving);
        Action("ActionDosUmlauteAnzeigen")->setChecked(showDos);
        Action("ActionDosUmlauteSenden")->setChecked(sendDos);
    };
    panes.updateEditCommands = [this] { UpdateCommands(); };
    panes.setConnectionCommandsEnabled = [this](bool) { UpdateCommands(); };
    kanaeleView_ = std::make_unique<TKanaeleView>(panes, [this](int n) {
        if (Kanaele()) Kanaele()->SetAktuellNr(n);
    });
}

int THauptfenster::TMessages::Run(const std::string& title, const std::string& text,
                                  unsigned buttons) {
    core::DebOutObj("THauptfenster", "Message", text);
    return TDlgMessage::Run(owner_, title, text, buttons);
}

void THauptfenster::RegisterFont() {
    const QString file = QString::fromStdString(fontFile_.string());
    for (int attempt = 0; attempt < 10 && fontId_ < 0; ++attempt)
        fontId_ = QFontDatabase::addApplicationFont(file);
    if (fontId_ >= 0) return;
    throw core::TStartupFailure(
        QStringToCp1252(tr("Die erforderliche Datei \"%1\" kann nicht geladen werden.")
                            .arg(QString::fromStdString(fontFile_.filename().string()))));
}

void THauptfenster::RestoreWindowPosition() {
    std::optional<core::TRect> stored;
    const auto read = [&](const char* name) -> std::optional<int> {
        if (!Config()->ValueExists(Hive::CurrentUser, kWindowKey, name)) return std::nullopt;
        return Config()->ReadIntegerDefault(Hive::CurrentUser, kWindowKey, name, 0);
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
    Config()->WriteInteger(Hive::CurrentUser, kWindowKey, "S", state);
    const QRect r = state == 0 ? geometry() : normalGeometry();
    Config()->WriteInteger(Hive::CurrentUser, kWindowKey, "X", r.x());
    Config()->WriteInteger(Hive::CurrentUser, kWindowKey, "Y", r.y());
    Config()->WriteInteger(Hive::CurrentUser, kWindowKey, "DX", r.width());
    Config()->WriteInteger(Hive::CurrentUser, kWindowKey, "DY", r.height());
}

// ---- commands ------------------------------------------------------------------

namespace {

struct TActionDef {
    const char* name;
    const char* caption;  // UTF-8, translated in the context "THauptfenster"
    QKeySequence shortcut;
    bool checkable;
};

// Icons from the style, so that every theme draws them in its own manner.
QStyle::StandardPixmap IconOf(std::string_view name) {
    if (name == "ActionConnect") return QStyle::SP_DialogYesButton;
    if (name == "ActionDisconnect") return QStyle::SP_DialogNoButton;
    if (name == "ActionSend") return QStyle::SP_ArrowUp;
    if (name == "ActionSave") return QStyle::SP_DialogSaveButton;
    if (name == "ActionStop") return QStyle::SP_MediaStop;
    if (name == "ActionSettings") return QStyle::SP_FileDialogDetailedView;
    if (name == "ActionStationenDatenbank") return QStyle::SP_DirHomeIcon;
    if (name == "ActionPrint") return QStyle::SP_FileIcon;
    if (name == "ActionHelpContents") return QStyle::SP_DialogHelpButton;
    return QStyle::SP_CustomBase;
}

QIcon DeviceStateIcon(bool allReady) {
    QPixmap pm(12, 12);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor c = allReady ? QColor(0, 170, 0) : QColor(210, 0, 0);
    p.setPen(c.darker(150));
    p.setBrush(c);
    p.drawEllipse(QRectF(1, 1, 10, 10));
    return QIcon(pm);
}

// A known theme: its stored name, caption and the Qt style with its colours.
struct TThemeDef {
    const char* name;
    const char* caption;  // translated in the context "THauptfenster"
    const char* style;
    QRgb window;  // 0: the style's own palette
};
constexpr TThemeDef kThemes[] = {
    {"NewDefaultTheme", QT_TRANSLATE_NOOP("THauptfenster", "Klassisch"), "Windows", 0},
    {"NewOfficeXPTheme", QT_TRANSLATE_NOOP("THauptfenster", "Blau"), "Fusion", qRgb(222, 231, 245)},
    {"OfficeXP", QT_TRANSLATE_NOOP("THauptfenster", "Standard"), "Fusion", 0},
    {"Roma", QT_TRANSLATE_NOOP("THauptfenster", "Roma"), "Fusion", qRgb(240, 228, 208)},
};

const TThemeDef* KnownTheme(std::string_view name) {
    for (const TThemeDef& t : kThemes) {
        if (name == t.name) return &t;
    }
    return nullptr;
}

// The four known themes, then every other style present; the order is fixed,
// so the stored numbers keep their meaning.
std::vector<std::string> AvailableThemes() {
    std::vector<std::string> out;
    for (const TThemeDef& t : kThemes) out.emplace_back(t.name);
    QStringList others = QStyleFactory::keys();
    others.sort(Qt::CaseInsensitive);
    for (const QString& k : others) {
        bool known = false;
        for (const TThemeDef& t : kThemes)
            known = known || k.compare(QLatin1String(t.style), Qt::CaseInsensitive) == 0;
        if (!known && k.compare(QStringLiteral("Default"), Qt::CaseInsensitive) != 0)
            out.push_back(k.toStdString());
    }
    return out;
}

QString WithoutAmpersand(QString text) {
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QStringLiteral("..."))) text.chop(3);
    return text;
}

std::string LocalPath(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

}  // namespace

QAction* THauptfenster::Action(const char* name) const {
    return findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

std::shared_ptr<channels::TKanal> THauptfenster::Aktuell() const {
    return Kanaele() ? Kanaele()->GetAktuell() : nullptr;
}

TDateiSendenDlgContext THauptfenster::SendDialogContext() const {
    TDateiSendenDlgContext ctx;
    ctx.kanal = Aktuell();
    ctx.registry = &system_.Setup().registry;
    ctx.config = Config();
    ctx.receiveFolder = [] {
        const auto ordner = resources::Ordner();
        return ordner ? ordner->GetReceiveFolder() : std::filesystem::path();
    };
    return ctx;
}

void THauptfenster::SendFiles(const std::vector<std::filesystem::path>& files) {
    const auto k = Aktuell();
    if (files.empty() || !k || k->GetNummer() == 0) return;
    TDateiSendenDlg::OpenWithFiles(SendDialogContext(), this, files);
}

void THauptfenster::SendText(const std::string& cp1252) {
    const auto k = Aktuell();
    if (!k || k->GetNummer() == 0) return;
    TDateiSendenDlg::OpenWithText(SendDialogContext(), this, cp1252);
}

void THauptfenster::CreateActions() {
    const TActionDef defs[] = {
        {"ActionConnect", QT_TRANSLATE_NOOP("THauptfenster", "&Verbinden..."), {}, false},
        {"ActionDisconnect", QT_TRANSLATE_NOOP("THauptfenster", "&Trennen"), {}, false},
        {"ActionSend", QT_TRANSLATE_NOOP("THauptfenster", "Se&nden"), {}, false},
        {"ActionSave", QT_TRANSLATE_NOOP("THauptfenster", "&Speichern"), {}, true},
        {"ActionStop", QT_TRANSLATE_NOOP("THauptfenster", "Abb&rechen"), {}, false},
        {"ActionPrint", QT_TRANSLATE_NOOP("THauptfenster", "&Drucken..."),
         QKeySequence(Qt::CTRL | Qt::Key_P), false},
        {"ActionImport", QT_TRANSLATE_NOOP("THauptfenster", "&Importieren..."), {}, false},
        {"ActionEnd", QT_TRANSLATE_NOOP("THauptfenster", "&Beenden"), {}, false},
        {"ActionLocalEcho", QT_TRANSLATE_NOOP("THauptfenster", "Lokales &Echo"),
         QKeySequence(Qt::CTRL | Qt::Key_E), true},
        {"ActionPactorChangeover", QT_TRANSLATE_NOOP("THauptfenster", "&ChangeOver"),
         QKeySequence(Qt::CTRL | Qt::Key_Y), false},
        {"ActionPactorBreakin", QT_TRANSLATE_NOOP("THauptfenster", "&BreakIn"),
         QKeySequence(Qt::CTRL | Qt::Key_B), false},
        {"ActionEditCut", QT_TRANSLATE_NOOP("THauptfenster", "A&usschneiden"),
         QKeySequence(Qt::CTRL | Qt::Key_X), false},
        {"ActionEditCopy", QT_TRANSLATE_NOOP("THauptfenster", "&Kopieren"),
         QKeySequence(Qt::CTRL | Qt::Key_C), false},
        {"ActionEditPaste", QT_TRANSLATE_NOOP("THauptfenster", "E&infügen"),
         QKeySequence(Qt::CTRL | Qt::Key_V), false},
        {"ActionEditDelete", QT_TRANSLATE_NOOP("THauptfenster", "&Löschen"),
         QKeySequence(Qt::Key_Delete), false},
        {"ActionEditSelectAll", QT_TRANSLATE_NOOP("THauptfenster", "&Alles markieren"),
         QKeySequence(Qt::CTRL | Qt::Key_A), false},
        {"ActionClearConsole",
         QT_TRANSLATE_NOOP("THauptfenster", "Ausgabefenster lö&schen"),
         {},
         false},
        {"ActionDosUmlauteAnzeigen",
         QT_TRANSLATE_NOOP("THauptfenster", "&DOS-Umlaute anzeigen"),
         {},
         true},
        {"ActionDosUmlauteSenden",
         QT_TRANSLATE_NOOP("THauptfenster", "&DOS-Umlaute senden"),
         {},
         true},
        {"ActionDeviceStatus", QT_TRANSLATE_NOOP("THauptfenster", "&Gerätestatus"), {}, true},
        {"ActionToolbarNoText", QT_TRANSLATE_NOOP("THauptfenster", "&Nur Symbole"), {}, true},
        {"ActionToolbarTextRight", QT_TRANSLATE_NOOP("THauptfenster", "Text &rechts"), {}, true},
        {"ActionToolbarTextBottom", QT_TRANSLATE_NOOP("THauptfenster", "Text &unten"), {}, true},
        {"ActionSettings", QT_TRANSLATE_NOOP("THauptfenster", "&Einstellungen..."), {}, false},
        {"ActionLanguage", QT_TRANSLATE_NOOP("THauptfenster", "&Sprache..."), {}, false},
        {"ActionCommandLine", QT_TRANSLATE_NOOP("THauptfenster", "&Kommandozeile..."), {}, false},
        {"ActionStationenDatenbank", QT_TRANSLATE_NOOP("THauptfenster", "Stat&ionen"), {}, false},
        {"ActionStationenDatenbankReparieren",
         QT_TRANSLATE_NOOP("THauptfenster", "Datenbank &reparieren"),
         {},
         false},
        {"ActionHelpContents", QT_TRANSLATE_NOOP("THauptfenster", "&Inhalt..."), {}, false},
        {"ActionHelpFirstSteps",
         QT_TRANSLATE_NOOP("THauptfenster", "&Erste Schritte..."),
         {},
         false},
        {"ActionHelpInfo", QT_TRANSLATE_NOOP("THauptfenster", "I&nfo..."), {}, false},
        {"ActionHint", "", QKeySequence(Qt::CTRL | Qt::Key_H), false},
        {"ActionBoxRead",
         QT_TRANSLATE_NOOP("THauptfenster", "Nachricht zum Lesen markieren"),
         {},
         false},
        {"ActionBoxErase",
         QT_TRANSLATE_NOOP("THauptfenster", "Nachricht zum Löschen markieren"),
         {},
         false},
        {"ActionBoxUncheck", QT_TRANSLATE_NOOP("THauptfenster", "Markierung entfernen"), {}, false},
        {"ActionBoxRun", QT_TRANSLATE_NOOP("THauptfenster", "Befehle absenden"), {}, false},
        {"ActionMakro", QT_TRANSLATE_NOOP("THauptfenster", "&Makros"), {}, false},
        {"ActionStationenHinzufuegen",
         QT_TRANSLATE_NOOP("THauptfenster", "&Hinzufügen..."),
         {},
         false},
    };
    for (const TActionDef& def : defs) {
        auto* a = new QAction(QCoreApplication::translate("THauptfenster", def.caption), this);
        a->setObjectName(QString::fromLatin1(def.name));
        a->setCheckable(def.checkable);
        if (!def.shortcut.isEmpty()) {
            a->setShortcut(def.shortcut);
            a->setShortcutContext(Qt::WindowShortcut);
        }
        addAction(a);  // its shortcut works without a menu
    }
    LoadActionIcons();
    const auto on = [this](const char* name, auto handler) {
        connect(Action(name), &QAction::triggered, this, handler);
    };
    const auto withChannel = [this](auto f) {
        return [this, f] {
            if (auto k = Aktuell()) f(*k);
        };
    };
    on("ActionConnect", [this] { ShowConnectDialog(); });
    on("ActionDisconnect", [this] { Disconnect(); });
    on("ActionSend", [this] {
        const auto k = Aktuell();
        if (k && k->GetNummer() != 0) TDateiSendenDlg::Open(SendDialogContext(), this);
    });
    on("ActionSave", [this] {
        if (auto k = Aktuell()) k->ToggleSaveToFile();
        UpdateCommands();
    });
    on("ActionStop", [this] {
        if (!system_.Connections()) return;
        system_.Connections()->Lock();
        auto k = Aktuell();
        auto v = k ? k->GetVerbindung() : nullptr;
        system_.Connections()->Unlock();
        if (v) v->CancelTransfer();
    });
    on("ActionPrint", withChannel([](channels::TKanal& k) { k.Print(); }));
    on("ActionImport", [this] { ShowImport(this, system_); });
    on("ActionEnd", [this] { close(); });
    on("ActionLocalEcho", [this](bool checked) {
        auto k = Aktuell();
        if (auto v = k ? k->GetVerbindung() : nullptr) v->SetLocalEcho(checked);
    });
    on("ActionPactorChangeover", withChannel([](channels::TKanal& k) { k.PactorChangeover(); }));
    on("ActionPactorBreakin", withChannel([](channels::TKanal& k) { k.PactorBreakin(); }));
    on("ActionEditCut", withChannel([](channels::TKanal& k) { k.Cut(); }));
    on("ActionEditCopy", [this] {
        if (!Kanaele()) return;
        if (auto k = Kanaele()->GetFokussiert()) k->Copy();
    });
    on("ActionEditPaste", withChannel([](channels::TKanal& k) { k.Paste(); }));
    on("ActionEditDelete", withChannel([](channels::TKanal& k) { k.Delete(); }));
    on("ActionEditSelectAll", withChannel([](channels::TKanal& k) { k.SelectAll(); }));
    on("ActionClearConsole", [this] {
        auto k = Aktuell();
        if (!k) return;
        if (TDlgMessage::Run(this, "Tarvo", QStringToCp1252(tr("Ausgabefenster löschen?")),
                             (1u << core::kBitJa) | (1u << core::kBitNein)) == core::mrYes)
            k->ClearConsole();
    });
    on("ActionDosUmlauteAnzeigen", [this] {
        if (auto k = Aktuell()) k->SetShowDOS(!k->GetShowDOS());
        UpdateCommands();
    });
    on("ActionDosUmlauteSenden", [this] {
        if (auto k = Aktuell()) k->SetSendDOS(!k->GetSendDOS());
        UpdateCommands();
    });
    on("ActionDeviceStatus", [this] { ToggleDeviceStatus(); });
    auto* textModes = new QActionGroup(this);
    const char* modes[] = {"ActionToolbarNoText", "ActionToolbarTextRight",
                           "ActionToolbarTextBottom"};
    for (int i = 0; i < 3; ++i) {
        textModes->addAction(Action(modes[i]));
        on(modes[i], [this, i] {
            ApplyToolbarText(i);
            if (Config()) Config()->SetToolbarTextMode(static_cast<core::TConfig::ToolbarText>(i));
        });
    }
    on("ActionSettings", [this] { ShowSettings(); });
    on("ActionStationenDatenbank", [this] { ShowStationen(); });
    on("ActionCommandLine", [this] { ShowCommandLine(); });
    on("ActionStationenDatenbankReparieren", [this] {
        if (TDlgMessage::Run(this, "Tarvo",
                             QStringToCp1252(tr("Die Datenbank wird beim nächsten Start von "
                                                "Tarvo repariert und optimiert.")),
                             (1u << core::kBitOk) | (1u << core::kBitAbbrechen)) == core::mrOk &&
            Config())
            Config()->SetForceDatabaseCheck(true);
    });
    on("ActionHelpContents", [this] { HelpContents(nullptr); });
    on("ActionHelpFirstSteps", [this] { ShowFirstSteps(); });
    on("ActionHelpInfo", [this] { ShowInfo(); });
    on("ActionHint", withChannel([](channels::TKanal& k) { k.ShowHint(); }));
    on("ActionBoxRead", withChannel([](channels::TKanal& k) { k.BoxMarkRead(false, false); }));
    on("ActionBoxErase", withChannel([](channels::TKanal& k) { k.BoxMarkErase(false, false); }));
    on("ActionBoxUncheck", withChannel([](channels::TKanal& k) { k.BoxUnmark(false); }));
    on("ActionBoxRun", withChannel([](channels::TKanal& k) { k.BoxRun(); }));
    // Its window comes with its own part of the program.
    Action("ActionLanguage")->setEnabled(false);
    Action("ActionEditSelectAll")->setEnabled(false);
}

void THauptfenster::LoadActionIcons() {
    for (QAction* a : actions()) {
        if (const auto icon = IconOf(a->objectName().toStdString()); icon != QStyle::SP_CustomBase)
            a->setIcon(style()->standardIcon(icon));
    }
}

void THauptfenster::BuildMenus() {
    QMenuBar* bar = menuBar();
    const auto menu = [&](QMenu* m, std::initializer_list<const char*> names) {
        for (const char* n : names) {
            if (n[0] == '-') {
                m->addSeparator();
            } else {
                m->addAction(Action(n));
            }
        }
    };
    menu(bar->addMenu(tr("&Datei")), {"ActionSend", "ActionSave", "ActionStop", "-", "ActionPrint",
                                      "-", "ActionImport", "-", "ActionEnd"});
    QMenu* verbindung = bar->addMenu(tr("Verbind&ung"));
    menu(verbindung, {"ActionConnect", "ActionDisconnect", "-", "ActionLocalEcho"});
    pactorMenu_ = verbindung->addMenu(tr("&Pactor"));
    pactorMenu_->setObjectName(QStringLiteral("PactorMenu"));
    menu(pactorMenu_, {"ActionPactorChangeover", "ActionPactorBreakin"});
    menu(bar->addMenu(tr("&Bearbeiten")),
         {"ActionEditCut", "ActionEditCopy", "ActionEditPaste", "ActionEditDelete", "-",
          "ActionClearConsole", "-", "ActionDosUmlauteAnzeigen", "ActionDosUmlauteSenden"});
    QMenu* ansicht = bar->addMenu(tr("&Ansicht"));
    menu(ansicht, {"ActionDeviceStatus"});
    menu(ansicht->addMenu(tr("&Befehlsleiste")),
         {"ActionToolbarNoText", "ActionToolbarTextRight", "ActionToolbarTextBottom"});
    themeMenu_ = ansicht->addMenu(tr("&Schema"));
    themeMenu_->setObjectName(QStringLiteral("ThemeMenu"));
    menu(bar->addMenu(tr("E&xtras")),
         {"ActionCommandLine", "-", "ActionSettings", "ActionLanguage"});
    menu(bar->addMenu(tr("Stati&onen")),
         {"ActionStationenDatenbank", "-", "ActionStationenDatenbankReparieren"});
    menu(bar->addMenu(tr("&Hilfe")),
         {"ActionHelpContents", "ActionHelpFirstSteps", "-", "ActionHelpInfo"});
}

void THauptfenster::BuildCommandBar() {
    commandBar_ = new QToolBar(tr("Befehlsleiste"), this);
    commandBar_->setObjectName(QStringLiteral("Befehlsleiste"));
    addToolBar(Qt::TopToolBarArea, commandBar_);
    for (const char* n : {"ActionConnect", "ActionDisconnect", "ActionSend", "ActionSave",
                          "ActionStop", "ActionSettings", "ActionStationenDatenbank"}) {
        QAction* a = Action(n);
        commandBar_->addAction(a);
        // The letter after "&" with Alt, while the main window is active.
        const QString caption = a->text();
        const qsizetype amp = caption.indexOf(QLatin1Char('&'));
        QString hint = WithoutAmpersand(caption);
        if (amp >= 0 && amp + 1 < caption.size()) {
            const QKeySequence seq(QStringLiteral("Alt+") + caption.at(amp + 1).toUpper());
            auto* sc = new QShortcut(seq, this, a, &QAction::trigger, Qt::WindowShortcut);
            sc->setObjectName(QStringLiteral("Shortcut") + QString::fromLatin1(n));
            hint +=
                QStringLiteral(" (") + seq.toString(QKeySequence::NativeText) + QStringLiteral(")");
        }
        a->setToolTip(hint);
    }
}

void THauptfenster::BuildStatusBar(TKanalPanes& panes) {
    struct TPanel {
        int width;
        const char* hint;
    };
    const TPanel panels[] = {{102, ""},
                             {135, ""},
                             {70, QT_TRANSLATE_NOOP("THauptfenster", "eff. Baud")},
                             {27, QT_TRANSLATE_NOOP("THauptfenster", "Tries")},
                             {27, QT_TRANSLATE_NOOP("THauptfenster", "Unacked Frames")},
                             {33, QT_TRANSLATE_NOOP("THauptfenster", "Frack [100ms]")},
                             {22, QT_TRANSLATE_NOOP("THauptfenster", "MaxFrame")},
                             {67, QT_TRANSLATE_NOOP("THauptfenster", "ax25-Status")},
                             {67, QT_TRANSLATE_NOOP("THauptfenster", "Eigenes Rufzeichen")}};
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 9; ++i) {
        QWidget* host = nullptr;
        // The file name loses its middle, the link flags their end.
        auto* label = new TStatusPanel(i == 1 ? Qt::ElideMiddle : Qt::ElideRight);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        label->setToolTip(*panels[i].hint
                              ? QCoreApplication::translate("THauptfenster", panels[i].hint)
                              : QString());
        label->setParent(bar);  // measured in the bar's font
        // Wide enough for the longest value in this font, never narrower than
        // the classic width.
        int width = panels[i].width;
        for (const std::string& sample : channels::StatusPanelSamples(i))
            width = std::max(width, label->WidthFor(Cp1252ToQString(sample)));
        if (i == 0) {
            // The progress bar and its percent cover the link state during a transfer.
            host = new QWidget(bar);
            host->setFixedWidth(width);
            auto* row = new QHBoxLayout(host);
            row->setContentsMargins(0, 0, 0, 0);
            row->setSpacing(2);
            label->setParent(host);
            row->addWidget(label, 1);
            panes.progress = new QProgressBar(host);
            panes.progress->setObjectName(QStringLiteral("Fortschritt"));
            panes.progress->setRange(0, 100);
            panes.progress->setTextVisible(false);
            panes.progress->setStyleSheet(QStringLiteral(
                "QProgressBar { background: palette(button); border: 1px solid "
                "palette(mid); } QProgressBar::chunk { background: rgb(255, 216, 0); }"));
            panes.progress->installEventFilter(this);
            panes.progress->hide();
            panes.progressLabel = new QLabel(host);
            panes.progressLabel->hide();
            row->addWidget(panes.progress, 1);
            row->addWidget(panes.progressLabel);
        } else {
            label->setParent(bar);
            host = label;
            if (i == 1) {
                label->setMinimumWidth(panels[1].width);
                label->setMaximumWidth(270);
            } else {
                label->setFixedWidth(width);
            }
        }
        bar->addWidget(host, i == 1 ? 1 : 0);
        panes.statusPanels.push_back(label);
    }
    deviceStateButton_ = new QToolButton(bar);
    deviceStateButton_->setObjectName(QStringLiteral("GeraeteStatus"));
    deviceStateButton_->setFixedWidth(19);
    deviceStateButton_->setAutoRaise(true);
    deviceStateButton_->setIcon(DeviceStateIcon(true));
    connect(deviceStateButton_, &QToolButton::clicked, Action("ActionDeviceStatus"),
            &QAction::trigger);
    bar->addWidget(deviceStateButton_);
    auto* last = new QLabel(bar);
    last->setObjectName(QStringLiteral("StatusPanel10"));
    last->setFixedWidth(67);
    bar->addWidget(last);
}

void THauptfenster::UpdateCommands() {
    if (!kanaeleView_) return;  // no commands before the panes, none after the channels
    const auto k = Aktuell();
    const auto v = k ? k->GetVerbindung() : nullptr;
    channels::TCommandFacts f;
    f.channel = k ? k->GetNummer() : 0;
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->window() == this) {
        if (auto* input = qobject_cast<TRichEditTarvo*>(focus)) {
            f.focus = channels::TKanalFocus::Input;
            f.selection = input->textCursor().hasSelection();
        } else if (auto* console = qobject_cast<TConsoleWidget*>(focus)) {
            f.focus = channels::TKanalFocus::Console;
            f.selection = !console->Console().Selection().Empty();
        }
    }
    f.connection = v != nullptr;
    f.pactor = v && v->Pactor();
    f.connectionLocalEcho = v && v->LocalEcho();
    f.configLocalEcho = Config() && Config()->LocalEcho();
    f.recording = k && k->Recording();
    f.showDos = k && k->GetShowDOS();
    f.sendDos = k && k->GetSendDOS();
    const channels::TCommandStates s = channels::CommandStates(f);
    Action("ActionDisconnect")->setEnabled(s.disconnect);
    Action("ActionSend")->setEnabled(s.send);
    Action("ActionStop")->setEnabled(s.stop);
    Action("ActionEditCut")->setEnabled(s.cut);
    Action("ActionEditCopy")->setEnabled(s.copy);
    Action("ActionEditPaste")->setEnabled(s.paste);
    Action("ActionEditDelete")->setEnabled(s.del);
    Action("ActionPactorChangeover")->setEnabled(s.pactor);
    Action("ActionPactorBreakin")->setEnabled(s.pactor);
    if (pactorMenu_) pactorMenu_->setEnabled(s.pactor);
    Action("ActionLocalEcho")->setEnabled(s.localEchoEnabled);
    Action("ActionLocalEcho")->setChecked(s.localEchoChecked);
    Action("ActionSave")->setChecked(s.saveChecked);
    Action("ActionDosUmlauteAnzeigen")->setChecked(s.showDosChecked);
    Action("ActionDosUmlauteSenden")->setChecked(s.sendDosChecked);
}

bool THauptfenster::HandleMainKey(QKeyEvent& e) {
    const int key = e.key();
    const Qt::KeyboardModifiers mods = e.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                        Qt::AltModifier | Qt::MetaModifier);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12 && Kanaele()) {
        const int n = channels::FunctionKeyChannel(key - Qt::Key_F1 + 1, mods & Qt::ShiftModifier,
                                                   mods & Qt::ControlModifier,
                                                   mods & Qt::AltModifier, Kanaele()->Count());
        if (n < 0) return false;
        Kanaele()->SetAktuellNr(n);
        return true;
    }
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        ShowCommandDialog();
        return true;
    }
    return false;
}

bool THauptfenster::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        // A key ignored by a widget comes again for its parents; keys the
        // channel or the window does not take change nothing, so that is harmless.
        if (w && w->window() == this && StartupDone()) {
            auto& key = *static_cast<QKeyEvent*>(e);
            // Consoles and editors hand their keys to their channel themselves;
            // anywhere else in the window the active channel sees them first.
            if (!qobject_cast<TConsoleWidget*>(w) && !qobject_cast<TRichEditTarvo*>(w)) {
                const auto k = Aktuell();
                auto* view = k ? dynamic_cast<TKanalView*>(&k->View()) : nullptr;
                if (view && view->KeyPress(key)) return true;
            }
            if (HandleMainKey(key)) return true;
        }
    } else if ((e->type() == QEvent::KeyRelease || e->type() == QEvent::MouseButtonRelease) &&
               watched == QApplication::focusWidget()) {
        // The selection may have changed.
        UpdateCommands();
    } else if (e->type() == QEvent::MouseButtonPress && kanaeleView_ &&
               watched == kanaeleView_->Panes().progress) {
        QApplication::beep();
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void THauptfenster::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && StartupDone()) {
        if (auto k = Aktuell()) k->View().FocusInput();
    }
}

void THauptfenster::ShowConnectDialog() {
    if (showingConnect_ || !Config() || !Kanaele()) return;
    const auto k = Aktuell();
    if (!k) return;
    std::vector<std::string> own;
    if (MyCalls()) {
        for (const auto& c : MyCalls()->Snapshot()) {
            if (c) own.push_back(c->Call());
        }
    }
    auto model = std::make_unique<channels::TBefehlConnect>(
        *Config(), k,
        Geraete() ? Geraete()->GetFunkKanaele(256) : channels::TBefehlConnect::TRadioChannels{},
        std::move(own));
    showingConnect_ = true;
    TDlgBefehlConnect dlg(std::move(model), this);
    if (connectDialogHook) connectDialogHook(dlg);
    const int result = dlg.exec();
    showingConnect_ = false;
    if (result == QDialog::Accepted && dlg.ConnectedChannel() > 0 && Kanaele())
        Kanaele()->SetAktuellNr(dlg.ConnectedChannel());
    UpdateCommands();
}

void THauptfenster::ShowCommandDialog() {
    TDlgBefehl dlg(this);
    dlg.exec();
    switch (dlg.Choice()) {
        case TDlgBefehl::kConnect:
            ShowConnectDialog();
            break;
        case TDlgBefehl::kDisconnect:
            if (Action("ActionDisconnect")->isEnabled()) Disconnect();
            break;
        case TDlgBefehl::kRemote: {
            // The remote command dialog has nothing to send yet.
            QInputDialog remote(this);
            remote.setWindowTitle(tr("Fernsteuerbefehl"));
            remote.setLabelText(QStringLiteral("//"));
            remote.exec();
            break;
        }
        case TDlgBefehl::kNone:
            break;
    }
}

void THauptfenster::Disconnect() {
    if (!system_.Connections() || !Kanaele() || Kanaele()->AktuellNr() == 0) return;
    system_.Connections()->Lock();
    auto k = Aktuell();
    auto v = k ? k->GetVerbindung() : nullptr;
    system_.Connections()->Unlock();
    if (v) v->Disconnect();
}

void THauptfenster::ShowSettings() {
    if (!Config()) return;
    TEinstellungenContext ctx;
    ctx.config = Config();
    ctx.myCalls = MyCalls();
    ctx.kanaele = Kanaele();
    ctx.geraete = Geraete();
    ctx.texte = system_.Texte();
    ctx.klaenge = system_.Klaenge();
    ctx.colourLevel = core::ColourLevel();
    ctx.reloadToolbarImages = [this] { LoadActionIcons(); };
    ctx.openStationDatabase = [this] { Action("ActionStationenDatenbank")->trigger(); };
    TEinstellungenForm::Open(ctx, this);
}

TGeraeteStatus* THauptfenster::DeviceStatus() const {
    return deviceStatus_.data();
}

TErsteSchritte* THauptfenster::FirstSteps() const {
    return ersteSchritte_.data();
}

THostmodeCommandlineForm* THauptfenster::CommandLine() const {
    return commandLine_.data();
}

void THauptfenster::ToggleDeviceStatus() {
    QAction* action = Action("ActionDeviceStatus");
    if (deviceStatus_ && deviceStatus_->isVisible()) {
        deviceStatus_->close();
        return;
    }
    if (!deviceStatus_ && Geraete()) {
        // Closing frees it; the position is stored then.
        auto* w = new TGeraeteStatus(*Geraete(), Config(), this);
        w->setAttribute(Qt::WA_DeleteOnClose);
        connect(w, &TGeraeteStatus::visibilityChanged, action, &QAction::setChecked);
        deviceStatus_ = w;
    }
    if (deviceStatus_) {
        deviceStatus_->show();
        deviceStatus_->raise();
    }
    action->setChecked(deviceStatus_ && deviceStatus_->isVisible());
}

void THauptfenster::ShowFirstSteps() {
    if (!ersteSchritte_) {
        auto* w = new TErsteSchritte(Config(), this);
        w->setAttribute(Qt::WA_DeleteOnClose);
        connect(w, &TErsteSchritte::manualRequested, this,
                [this] { HelpContents("erste-schritte"); });
        ersteSchritte_ = w;
    }
    ersteSchritte_->show();
    ersteSchritte_->raise();
}

void THauptfenster::ShowCommandLine() {
    if (!Geraete()) return;
    if (!commandLine_) {
        auto* w = new THostmodeCommandlineForm(*Geraete(), this);
        w->setAttribute(Qt::WA_DeleteOnClose);
        commandLine_ = w;
    }
    commandLine_->show();
    commandLine_->raise();
    commandLine_->activateWindow();
}

std::filesystem::path THauptfenster::ManualFile() {
    std::vector<std::filesystem::path> candidates;
    if (const char* env = std::getenv("TARVO_MANUAL"); env && *env) candidates.emplace_back(env);
    const std::filesystem::path app = LocalPath(QCoreApplication::applicationDirPath());
    candidates.push_back(app / "Tarvo.html");
    candidates.push_back(app / ".." / "share" / "doc" / "tarvo" / "Tarvo.html");
#ifdef TARVO_DOCS_DIR
    candidates.push_back(std::filesystem::path(TARVO_DOCS_DIR) / "Tarvo.html");
#endif
    for (const auto& c : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(c, ec)) return c;
    }
    return {};
}

void THauptfenster::HelpContents(const char* anchor) {
    const auto tell = [this](const std::string& text) {
        if (showHelpMessage) {
            showHelpMessage("Tarvo", text);
        } else {
            TDlgMessage::Run(this, "Tarvo", text, 1u << 2);
        }
    };
    const std::filesystem::path file = ManualFile();
    if (file.empty()) {
        tell(
            QStringToCp1252(tr("Die Datei \"Tarvo.html\" wurde nicht gefunden oder ist ungültig")));
        return;
    }
    bool opened = false;
    if (openManual) {
        opened = openManual(file);
    } else {
        QUrl url = QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(file.string())));
        if (anchor) url.setFragment(QString::fromLatin1(anchor));
        opened = QDesktopServices::openUrl(url);
    }
    if (!opened) tell(QStringToCp1252(tr("HTML Help ist nicht installiert")));
}

void THauptfenster::ShowInfo() {
    TInfo info(core::VersionText(), core::PrivateBuild(), UsedLibraries(), this);
    info.exec();
}

void THauptfenster::ApplyToolbarText(int mode) {
    const Qt::ToolButtonStyle style = mode == 0   ? Qt::ToolButtonIconOnly
                                      : mode == 2 ? Qt::ToolButtonTextUnderIcon
                                                  : Qt::ToolButtonTextBesideIcon;
    if (commandBar_) commandBar_->setToolButtonStyle(style);
    const char* modes[] = {"ActionToolbarNoText", "ActionToolbarTextRight",
                           "ActionToolbarTextBottom"};
    if (mode >= 0 && mode < 3) Action(modes[mode])->setChecked(true);
}

void THauptfenster::BuildThemeMenu() {
    if (!themeMenu_) return;
    themeMenu_->clear();
    delete themeGroup_;
    themeGroup_ = new QActionGroup(this);
    for (const std::string& t : themes_) {
        const TThemeDef* known = KnownTheme(t);
        QAction* a = themeMenu_->addAction(
            known ? QCoreApplication::translate("THauptfenster", known->caption)
                  : tr("Test: %1").arg(QString::fromStdString(t)));
        a->setObjectName(QStringLiteral("ActionDesign"));
        a->setData(QString::fromStdString(t));
        a->setCheckable(true);
        a->setChecked(t == currentTheme_);
        themeGroup_->addAction(a);
        connect(a, &QAction::triggered, this, [this, t] { ApplyTheme(t); });
    }
}

void THauptfenster::ApplyTheme(const std::string& theme) {
    const TThemeDef* known = KnownTheme(theme);
    const QString key = known ? QString::fromLatin1(known->style) : QString::fromStdString(theme);
    if (QStyle* s = QStyleFactory::create(key)) {
        QApplication::setStyle(s);
        QPalette pal = s->standardPalette();
        if (known && known->window != 0) {
            const QColor w(known->window);
            pal.setColor(QPalette::Window, w);
            pal.setColor(QPalette::Button, w);
        }
        QApplication::setPalette(pal);
    }
    currentTheme_ = theme;
    if (themeGroup_) {
        for (QAction* a : themeGroup_->actions())
            a->setChecked(a->data().toString().toStdString() == theme);
    }
}

void THauptfenster::ApplyLayout() {
    if (!Config()) return;
    // A stored toolbar position that cannot be read is left alone.
    const std::string state = Config()->ReadString(Hive::CurrentUser, kToolbarKey, "State");
    if (!state.empty()) restoreState(QByteArray::fromBase64(QByteArray::fromStdString(state)));
    themes_ = AvailableThemes();
    if (const auto theme = Config()->ToolbarTheme(themes_)) currentTheme_ = *theme;
    BuildThemeMenu();
    if (!currentTheme_.empty()) ApplyTheme(currentTheme_);
    ApplyToolbarText(static_cast<int>(Config()->ToolbarTextMode()));
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this] { UpdateCommands(); });
    dropSelect_.setSingleShot(true);
    connect(&dropSelect_, &QTimer::timeout, this, [this] {
        if (Kanaele() && dropSelectChannel_ > 0) Kanaele()->SetAktuellNr(dropSelectChannel_);
    });
    setAcceptDrops(true);
    UpdateCommands();
}

void THauptfenster::SaveLayout() {
    if (paneStack_) {
        Config()->SetInputHeight(paneStack_->Heights().input);
        Config()->SetMonitorHeight(paneStack_->Heights().monitor);
    }
    Config()->WriteString(Hive::CurrentUser, kToolbarKey, "State",
                          saveState().toBase64().toStdString());
    if (!currentTheme_.empty()) Config()->SetToolbarTheme(currentTheme_, themes_);
}

// ---- drag and drop ---------------------------------------------------------------

int THauptfenster::DropTarget(const QPoint& pos, bool& onConsole) const {
    onConsole = false;
    QWidget* w = childAt(pos);
    if (!w || !kanaeleView_) return -1;
    TChannelBar* bar = paneStack_ ? paneStack_->ChannelBar() : nullptr;
    for (QWidget* p = w; p && p != this; p = p->parentWidget()) {
        if (bar && p->parentWidget() == bar) {
            QAction* a = bar->actionAt(p->geometry().center());
            return a ? a->data().toInt() : -1;
        }
        if (qobject_cast<TConsoleWidget*>(p)) {
            onConsole = true;
            return Kanaele() ? Kanaele()->AktuellNr() : -1;
        }
    }
    return -1;
}

void THauptfenster::OfferDrop(QDropEvent& e) {
    bool onConsole = false;
    const int n = DropTarget(e.position().toPoint(), onConsole);
    const auto k = n > 0 && Kanaele() ? Kanaele()->GetKanal(n) : nullptr;
    const bool offered = k && k->HasConnection();
    if (!onConsole && n != dropSelectChannel_) {
        // Resting 200 ms on a channel's button selects it.
        dropSelect_.stop();
        dropSelectChannel_ = n;
        if (offered) dropSelect_.start(kDropSelectMs);
    }
    if (offered) {
        e.setDropAction(Qt::CopyAction);
        e.accept();
    } else {
        e.ignore();
    }
}

void THauptfenster::dragEnterEvent(QDragEnterEvent* e) {
    dropSelectChannel_ = -1;
    OfferDrop(*e);
    // Moves are decided point by point.
    if (!e->isAccepted()) e->accept();
    e->setDropAction(Qt::CopyAction);
}

void THauptfenster::dragMoveEvent(QDragMoveEvent* e) {
    OfferDrop(*e);
}

void THauptfenster::dragLeaveEvent(QDragLeaveEvent* e) {
    dropSelect_.stop();
    dropSelectChannel_ = -1;
    QMainWindow::dragLeaveEvent(e);
}

void THauptfenster::dropEvent(QDropEvent* e) {
    OfferDrop(*e);
    dropSelect_.stop();
    dropSelectChannel_ = -1;
    if (!e->isAccepted()) return;
    // A drop on a channel's button goes to that channel, also before the pause selected it.
    bool onConsole = false;
    const int target = DropTarget(e->position().toPoint(), onConsole);
    if (!onConsole && target > 0 && Kanaele() && Kanaele()->AktuellNr() != target)
        Kanaele()->SetAktuellNr(target);
    Activate();
    const QMimeData* mime = e->mimeData();
    for (const QString& f : mime->formats())
        core::DebOutObj("THauptfenster", "Drop", "Format = '" + f.toStdString() + "'");
    std::vector<std::string> files;
    if (mime->hasUrls()) {
        for (const QUrl& u : mime->urls()) {
            if (u.isLocalFile()) files.push_back(LocalPath(u.toLocalFile()));
        }
    }
    if (!files.empty()) {
        core::DebOutObj("THauptfenster", "Drop", std::to_string(files.size()) + " Dateien");
        for (const std::string& f : files) core::DebOutObj("THauptfenster", "Drop", f);
        // Opened once the drop has ended, so the dialog does not hold the source.
        QTimer::singleShot(kDropDelayMs, this, [this, files] {
            SendFiles({files.begin(), files.end()});
        });
        return;
    }
    if (!mime->hasText()) return;
    QString text = mime->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    text.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    const std::string bytes = QStringToCp1252(text);
    QTimer::singleShot(kDropDelayMs, this, [this, bytes] { SendText(bytes); });
}

void THauptfenster::ShowStationen() {
    if (!stationen_) {
        const auto database = System().Stationen();
        if (!database || !Config()) return;
        try {
            std::vector<std::string> own;
            if (MyCalls())
                for (const auto& c : MyCalls()->Snapshot())
                    if (c) own.push_back(c->Call());
            auto* dlg = new TStationenDatenbankDlg(database, Config()->IncomingConnects(),
                                                   std::move(own), this);
            dlg->setAttribute(Qt::WA_DeleteOnClose);
            stationen_ = dlg;
        } catch (...) {
            core::ShowUnhandledException(std::current_exception(), "THauptfenster",
                                         "ActionStationenDatenbankExecute");
            return;
        }
    }
    stationen_->show();
    stationen_->raise();
    stationen_->activateWindow();
}

}  // namespace tarvo::ui
