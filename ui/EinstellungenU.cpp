#include "ui/EinstellungenU.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <utility>

#include "channels/KanaeleU.h"
#include "channels/KanalU.h"
#include "core/ConfigU.h"
#include "core/ExceptionReportU.h"
#include "core/GlobalU.h"
#include "core/MessageWindowU.h"
#include "devices/GeraeteU.h"
#include "resources/OrdnerU.h"
#include "ui/ConsoleWidgetU.h"
#include "ui/KlaengeFormU.h"
#include "ui/MessageboxU.h"
#include "ui/MyCallEditU.h"
#include "ui/PlainTextU.h"
#include "ui/RemoteCommandsFormU.h"
#include "ui/RichEditTarvoU.h"
#include "ui/TexteFormU.h"

namespace tarvo::ui {

namespace {

using C = core::TConfig;

TEinstellungenForm* gInstance = nullptr;

constexpr int kSampleRows = 60;

channels::TRgb RgbOf(std::uint32_t c) {
    return {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
            static_cast<std::uint8_t>((c >> 16) & 0xFF)};
}

QColor QColorOf(std::uint32_t c) {
    const channels::TRgb rgb = RgbOf(c);
    return QColor(rgb.r, rgb.g, rgb.b);
}

std::uint32_t ColourOf(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | static_cast<std::uint32_t>(c.green()) << 8 |
           static_cast<std::uint32_t>(c.blue()) << 16;
}

int Ask(const TEinstellungenContext& ctx, QWidget* owner, const std::string& title,
        const std::string& text, unsigned buttons) {
    return ctx.ask ? ctx.ask(owner, title, text, buttons)
                   : TDlgMessage::Run(owner, title, text, buttons);
}

// The first control of the page that takes the focus with the tab key.
QWidget* FirstControl(QWidget* page) {
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) return w;
    }
    return nullptr;
}

// The installed "Tarvo ..." families. Where none is installed (the console draws
// its sizes from one scalable font), the sizes the console knows stand in, so the
// page always offers a choice.
std::vector<std::string> InstalledFamilies() {
    std::vector<std::string> out;
    for (const QString& f : QFontDatabase::families())
        if (f.startsWith(QStringLiteral("Tarvo"), Qt::CaseInsensitive))
            out.push_back(f.toLatin1().toStdString());
    if (channels::FontSizeEntries(out).empty()) {
        out.clear();
        for (std::string_view n : core::TConfig::kFontNames)
            out.push_back("Tarvo " + std::string(n));
    }
    return out;
}

}  // namespace

// ---- sample console ---------------------------------------------------------------

TSampleConsole::TSampleConsole(QWidget* parent) : QWidget(parent) {
    console_.SetLineBreak(channels::TConsoleLineBreak::CR);
    console_.SetRows(kSampleRows);
    console_.Open();
    view_ = new TConsoleWidget(console_, this);
    view_->setFocusPolicy(Qt::NoFocus);
    view_->SetGutterWidth(0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

TSampleConsole::~TSampleConsole() {
    // The widget paints the model, so it goes first.
    delete view_;
}

void TSampleConsole::Show(const std::vector<std::pair<std::uint8_t, std::string>>& lines) {
    console_.Clear();
    for (const auto& [colour, text] : lines) {
        console_.SetColor(colour);
        console_.Write(text);
        console_.Write("\r");
    }
    // Lines are written at the bottom, as in every console.
    console_.ScrollToEnd();
    view_->SyncWithConsole();
    view_->viewport()->update();
}

// ---- "Allgemein" ------------------------------------------------------------------

TEinstellungenAllgemein::TEinstellungenAllgemein(const TEinstellungenContext& ctx, QWidget* parent)
    : TTabForm(parent), ctx_(ctx) {
    const C& config = *ctx_.config;
    if (ctx_.myCalls)
        for (const auto& e : ctx_.myCalls->Snapshot())
            if (e) working_.push_back(*e);

    calls_ = new QTreeWidget;
    calls_->setObjectName(QStringLiteral("rufzeichen"));
    calls_->setColumnCount(2);
    calls_->setHeaderLabels({tr("Rufzeichen"), tr("SSIDs")});
    calls_->setRootIsDecorated(false);
    calls_->setSelectionMode(QAbstractItemView::SingleSelection);
    calls_->setAllColumnsShowFocus(true);
    auto* add = new QPushButton(tr("&Hinzufügen"));
    edit_ = new QPushButton(tr("&Bearbeiten"));
    remove_ = new QPushButton(tr("&Entfernen"));
    auto* callButtons = new QVBoxLayout;
    callButtons->addWidget(add);
    callButtons->addWidget(edit_);
    callButtons->addWidget(remove_);
    callButtons->addStretch();
    auto* callsGroup = new QGroupBox(tr("Eigene Rufzeichen"));
    auto* callsLayout = new QHBoxLayout(callsGroup);
    callsLayout->addWidget(calls_, 1);
    callsLayout->addLayout(callButtons);

    kanaele_ = new QSpinBox;
    kanaele_->setObjectName(QStringLiteral("kanaele"));
    kanaele_->setRange(C::kMinChannels, C::kMaxChannels);
    kanaele_->setValue(ctx_.kanaele ? ctx_.kanaele->Count() : config.Channels());
    zeilen_ = new QSpinBox;
    zeilen_->setObjectName(QStringLiteral("zeilen"));
    zeilen_->setRange(C::kMinConsoleRows, C::kMaxConsoleRows);
    zeilen_->setSingleStep(250);
    zeilen_->setValue(config.ConsoleRows());
    echo_ = new QCheckBox(tr("&Lokales Echo"));
    echo_->setChecked(config.LocalEcho());
    auto* io = new QGroupBox(tr("Ein-/Ausgabe"));
    auto* ioLayout = new QFormLayout(io);
    ioLayout->addRow(tr("Kanäle"), kanaele_);
    ioLayout->addRow(tr("Zeilen"), zeilen_);
    ioLayout->addRow(echo_);

    ankommend_ = new QComboBox;
    ankommend_->setObjectName(QStringLiteral("ankommend"));
    ankommend_->addItems({tr("annehmen"), tr("ignorieren"), tr("abweisen")});
    ankommend_->setCurrentIndex(channels::IncomingConnectsIndex(config.IncomingConnects()));
    auto* firewall = new QGroupBox(tr("Firewall"));
    auto* fwLayout = new QFormLayout(firewall);
    fwLayout->addRow(tr("Ankommende Verbindungen:"), ankommend_);

    auto* lower = new QHBoxLayout;
    lower->addWidget(io, 1);
    lower->addWidget(firewall, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(callsGroup, 1);
    layout->addLayout(lower);

    connect(add, &QPushButton::clicked, this, &TEinstellungenAllgemein::Hinzufuegen);
    connect(edit_, &QPushButton::clicked, this, &TEinstellungenAllgemein::Bearbeiten);
    connect(remove_, &QPushButton::clicked, this, &TEinstellungenAllgemein::Entfernen);
    connect(calls_, &QTreeWidget::itemDoubleClicked, this, [this] { Bearbeiten(); });
    connect(calls_, &QTreeWidget::currentItemChanged, this, [this] {
        const bool any = calls_->currentItem() != nullptr;
        edit_->setEnabled(any);
        remove_->setEnabled(any);
    });
    FillCalls(working_.empty() ? -1 : 0);
}

void TEinstellungenAllgemein::FillCalls(int select) {
    calls_->clear();
    for (const devices::TMyCall& c : working_) {
        auto* item = new QTreeWidgetItem(calls_);
        item->setText(0, Cp1252ToQString(c.Call()));
        item->setText(1, Cp1252ToQString(c.SSIDText()));
    }
    if (select >= 0 && select < calls_->topLevelItemCount())
        calls_->setCurrentItem(calls_->topLevelItem(select));
    const bool any = calls_->currentItem() != nullptr;
    edit_->setEnabled(any);
    remove_->setEnabled(any);
}

std::optional<devices::TMyCall> TEinstellungenAllgemein::Edit(const devices::TMyCall* call) {
    if (ctx_.editMyCall) return ctx_.editMyCall(this, call);
    auto dlg =
        call ? std::make_unique<TMyCallEdit>(*call, this) : std::make_unique<TMyCallEdit>(this);
    if (dlg->exec() != QDialog::Accepted) return std::nullopt;
    return dlg->Result();
}

void TEinstellungenAllgemein::Hinzufuegen() {
    const std::optional<devices::TMyCall> made = Edit(nullptr);
    if (!made) return;
    working_.push_back(*made);
    FillCalls(static_cast<int>(working_.size()) - 1);
}

void TEinstellungenAllgemein::Bearbeiten() {
    QTreeWidgetItem* item = calls_->currentItem();
    const int i = item ? calls_->indexOfTopLevelItem(item) : -1;
    if (i < 0 || i >= static_cast<int>(working_.size())) return;
    const devices::TMyCall current = working_[static_cast<std::size_t>(i)];
    const std::optional<devices::TMyCall> edited = Edit(&current);
    if (!edited || i >= static_cast<int>(working_.size())) return;
    working_[static_cast<std::size_t>(i)] = *edited;
    FillCalls(i);
}

void TEinstellungenAllgemein::Entfernen() {
    QTreeWidgetItem* item = calls_->currentItem();
    const int i = item ? calls_->indexOfTopLevelItem(item) : -1;
    if (i < 0 || i >= static_cast<int>(working_.size())) return;
    working_.erase(working_.begin() + i);
    FillCalls(std::min(i, static_cast<int>(working_.size()) - 1));
}

void TEinstellungenAllgemein::Apply() {
    C& config = *ctx_.config;
    if (ctx_.myCalls) ctx_.myCalls->AcceptEdit(working_);
    config.SetIncomingConnects(channels::IncomingConnectsValue(ankommend_->currentIndex()));
    const int count = channels::ClampChannelCount(kanaele_->value());
    if (ctx_.kanaele) {
        ctx_.kanaele->SetCount(count);
        // Channels that hold a connection stay, so show what the set has now.
        kanaele_->setValue(ctx_.kanaele->Count());
    } else {
        config.SetChannels(count);
    }
    config.SetLocalEcho(echo_->isChecked());
    const int rows = zeilen_->value();
    if (rows != config.ConsoleRows()) {
        if (Ask(ctx_, this, "Tarvo",
                QStringToCp1252(tr("Bei Änderung der Zeilenzahl werden die Inhalte der "
                                   "Empfangsfenster gelöscht. Fortsetzen?")),
                (1u << core::kBitJa) | (1u << core::kBitNein)) == core::mrYes) {
            if (ctx_.kanaele) ctx_.kanaele->SetConsoleRows(rows);
            config.SetConsoleRows(rows);
        } else {
            zeilen_->setValue(config.ConsoleRows());
        }
    }
    // The active channel takes up the new values.
    if (ctx_.kanaele) ctx_.kanaele->SetAktuellNr(ctx_.kanaele->AktuellNr());
}

// ---- "Geräte" ---------------------------------------------------------------------

TEinstellungenGeraete::TEinstellungenGeraete(const TEinstellungenContext& ctx, QWidget* parent)
    : TTabForm(parent) {
    auto* layout = new QVBoxLayout(this);
    if (!ctx.geraete) return;
    liste_ = new TGeraeteListe(*ctx.geraete, this, ctx.ask);
    layout->addWidget(liste_);
}

void TEinstellungenGeraete::Apply() {
    if (liste_) liste_->Apply();
}

void TEinstellungenGeraete::Detach() {
    if (liste_) liste_->Detach();
}

// ---- "Anzeige" --------------------------------------------------------------------

TEinstellungenAnzeige::TEinstellungenAnzeige(const TEinstellungenContext& ctx, QWidget* parent)
    : TTabForm(parent), ctx_(ctx) {
    const C& config = *ctx_.config;
    for (int i = 0; i < C::kColorCount; ++i)
        colours_[static_cast<std::size_t>(i)] = config.Color(i);

    entries_ =
        channels::FontSizeEntries(ctx_.fontFamilies ? ctx_.fontFamilies() : InstalledFamilies());
    sizes_ = new QListWidget;
    sizes_->setObjectName(QStringLiteral("schriftgroesse"));
    for (const auto& e : entries_) sizes_->addItem(Cp1252ToQString(e.size));
    auto* fontGroup = new QGroupBox(tr("Schriftgröße"));
    auto* fontLayout = new QVBoxLayout(fontGroup);
    fontLayout->addWidget(sizes_);

    sample_ = new TSampleConsole;
    auto* sampleGroup = new QGroupBox(tr("Beispiel"));
    auto* sampleLayout = new QVBoxLayout(sampleGroup);
    sampleLayout->addWidget(sample_);

    auto* colourTabs = new QTabWidget;
    colourTabs->setObjectName(QStringLiteral("farben"));
    const auto& tabs = channels::ColourTabs();
    for (std::size_t t = 0; t < tabs.size(); ++t) {
        auto* sheet = new QWidget;
        auto* sheetLayout = new QVBoxLayout(sheet);
        for (const auto& b : tabs[t].buttons) {
            const QString caption = Cp1252ToQString(b.caption);
            auto* button = new QPushButton(caption);
            button->setObjectName(QStringLiteral("farbe%1").arg(b.colour, 2, 10, QLatin1Char('0')));
            connect(button, &QPushButton::clicked, this,
                    [this, index = b.colour, caption] { ChooseColour(index, caption); });
            colourButtons_.emplace_back(b.colour, button);
            sheetLayout->addWidget(button);
        }
        sheetLayout->addStretch();
        auto* defaults = new QPushButton(tr("Standardfarben"));
        defaults->setObjectName(QStringLiteral("standardfarben%1").arg(t));
        connect(defaults, &QPushButton::clicked, this,
                [this, t] { RestoreDefaults(static_cast<int>(t)); });
        sheetLayout->addWidget(defaults);
        colourTabs->addTab(sheet, Cp1252ToQString(tabs[t].caption));
    }
    // All three tabs in view, without scroll arrows.
    colourTabs->setMinimumWidth(colourTabs->tabBar()->sizeHint().width() + 8);

    auto* left = new QVBoxLayout;
    left->addWidget(fontGroup);
    left->addWidget(sampleGroup, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(colourTabs);

    connect(sizes_, &QListWidget::currentRowChanged, this, [this] { UpdateSample(); });
    const int selected = channels::FontSizeSelection(entries_, config.Font());
    if (selected >= 0) sizes_->setCurrentRow(selected);
    UpdateSwatches();
    UpdateSample();
}

std::uint32_t TEinstellungenAnzeige::WorkingColour(int index) const {
    if (index < 0 || index >= C::kColorCount) return 0;
    return colours_[static_cast<std::size_t>(index)];
}

void TEinstellungenAnzeige::SetWorkingColour(int index, std::uint32_t colour) {
    if (index < 0 || index >= C::kColorCount) return;
    colours_[static_cast<std::size_t>(index)] = colour & 0xFFFFFF;
    UpdateSwatches();
    UpdateSample();
}

void TEinstellungenAnzeige::ChooseColour(int index, const QString& caption) {
    const QColor chosen = QColorDialog::getColor(QColorOf(WorkingColour(index)), this, caption);
    if (chosen.isValid()) SetWorkingColour(index, ColourOf(chosen));
}

void TEinstellungenAnzeige::RestoreDefaults(int tab) {
    const auto& tabs = channels::ColourTabs();
    if (tab < 0 || tab >= static_cast<int>(tabs.size())) return;
    for (const auto& b : tabs[static_cast<std::size_t>(tab)].buttons)
        colours_[static_cast<std::size_t>(b.colour)] = C::DefaultColor(b.colour);
    UpdateSwatches();
    UpdateSample();
}

void TEinstellungenAnzeige::UpdateSwatches() {
    for (const auto& [index, button] : colourButtons_) {
        QPixmap swatch(16, 16);
        swatch.fill(QColorOf(WorkingColour(index)));
        button->setIcon(QIcon(swatch));
    }
}

void TEinstellungenAnzeige::UpdateSample() {
    const int row = sizes_->currentRow();
    if (row >= 0 && row < static_cast<int>(entries_.size()))
        sample_->View()->SetConsoleFont(entries_[static_cast<std::size_t>(row)].size);
    channels::TConsole& console = sample_->Console();
    console.SetBackground(RgbOf(WorkingColour(C::kColorChannelBackground)));
    console.SetPaletteEntry(channels::kColourReceived,
                            RgbOf(WorkingColour(C::kColorChannelReceived)));
    console.SetPaletteEntry(channels::kColourOwn, RgbOf(WorkingColour(C::kColorChannelOwn)));
    console.SetPaletteEntry(channels::kColourNotice, RgbOf(WorkingColour(C::kColorChannelNotice)));
    console.SetPaletteEntry(channels::kColourCode8, RgbOf(WorkingColour(C::kColorChannelCode8)));
    const auto line = [](const QString& text) { return QStringToCp1252(text); };
    sample_->Show({{channels::kColourNotice, line(tr("*** Verbunden mit DB0TST"))},
                   {channels::kColourReceived, line(tr("Willkommen auf DB0TST."))},
                   {channels::kColourOwn, line(tr("Hallo, hier ist DL1ABC."))},
                   {channels::kColourCode8, line(tr("Datei gespeichert."))}});
}

void TEinstellungenAnzeige::Apply() {
    C& config = *ctx_.config;
    const int row = sizes_->currentRow();
    if (row >= 0 && row < static_cast<int>(entries_.size())) {
        const channels::TFontSizeEntry& e = entries_[static_cast<std::size_t>(row)];
        config.SetFont(e.size);
        if (ctx_.kanaele) ctx_.kanaele->SetFont(core::TFontFace{e.family, e.size});
    }
    for (int i = 0; i < C::kColorCount; ++i) config.SetColor(i, WorkingColour(i));
    if (ctx_.kanaele) ctx_.kanaele->ApplyColours();
}

// ---- "Monitor" --------------------------------------------------------------------

TEinstellungenMonitor::TEinstellungenMonitor(const TEinstellungenContext& ctx, QWidget* parent)
    : TTabForm(parent), ctx_(ctx) {
    const C& config = *ctx_.config;
    const channels::TMonitorChecks checks = channels::MonitorChecksFromFlags(config.Monitor());
    auto* group = new QGroupBox(tr("Anzeigen"));
    auto* boxes = new QVBoxLayout(group);
    const auto& info = channels::MonitorBoxes();
    for (int i = 0; i < channels::kMonitorBoxCount; ++i) {
        auto* box = new QCheckBox(Cp1252ToQString(info[static_cast<std::size_t>(i)].caption));
        box->setChecked(checks[static_cast<std::size_t>(i)]);
        // Dependent boxes are indented under the one they need.
        const int indent = i == channels::kBoxInhalt ? 1 : i == channels::kBoxBinaerdaten ? 2 : 0;
        if (indent > 0) {
            auto* row = new QHBoxLayout;
            row->addSpacing(20 * indent);
            row->addWidget(box);
            boxes->addLayout(row);
        } else {
            boxes->addWidget(box);
        }
        boxes_[static_cast<std::size_t>(i)] = box;
        connect(box, &QCheckBox::toggled, this, [this] { Update(); });
    }
    boxes->addStretch();

    sample_ = new TSampleConsole;
    sample_->View()->SetConsoleFont(config.Font());
    channels::TConsole& console = sample_->Console();
    console.SetBackground(RgbOf(config.Color(C::kColorMonitorBackground)));
    console.SetPaletteEntry(channels::kColourReceived, RgbOf(config.Color(C::kColorMonitorHeader)));
    console.SetPaletteEntry(channels::kColourMonitorInfo,
                            RgbOf(config.Color(C::kColorMonitorInfo)));
    console.SetPaletteEntry(channels::kColourDevice, RgbOf(config.Color(C::kColorMonitorDevice)));
    auto* sampleGroup = new QGroupBox(tr("Beispiel"));
    auto* sampleLayout = new QVBoxLayout(sampleGroup);
    sampleLayout->addWidget(sample_);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(sampleGroup, 1);
    Update();
}

channels::TMonitorChecks TEinstellungenMonitor::Checks() const {
    channels::TMonitorChecks checks{};
    for (std::size_t i = 0; i < boxes_.size(); ++i) checks[i] = boxes_[i]->isChecked();
    return checks;
}

void TEinstellungenMonitor::Update() {
    const channels::TMonitorChecks checks = Checks();
    for (int i = 0; i < channels::kMonitorBoxCount; ++i)
        boxes_[static_cast<std::size_t>(i)]->setEnabled(channels::MonitorBoxEnabled(checks, i));
    std::vector<std::pair<std::uint8_t, std::string>> lines;
    for (auto& l : channels::MonitorSampleLines(channels::MonitorFlagsFromChecks(checks))) {
        const std::uint8_t colour =
            l.kind == channels::TMonitorSampleLine::Device   ? channels::kColourDevice
            : l.kind == channels::TMonitorSampleLine::Header ? channels::kColourReceived
                                                             : channels::kColourMonitorInfo;
        lines.emplace_back(colour, std::move(l.text));
    }
    sample_->Show(lines);
}

void TEinstellungenMonitor::Apply() {
    ctx_.config->SetMonitor(channels::MonitorFlagsFromChecks(Checks()));
}

// ---- "Erweitert" ------------------------------------------------------------------

// ---- page "Dateien" ---------------------------------------------------------------

namespace {

// A folder as the page shows it: without the final separator.
QString ShownFolder(const std::filesystem::path& folder) {
    std::string text = folder.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return QString::fromStdString(text);
}

}  // namespace

TEinstellungenDateien::TEinstellungenDateien(const TEinstellungenContext& ctx, QWidget* parent)
    : TTabForm(parent), ctx_(ctx) {
    const auto ordner = resources::Ordner();
    empfang_ = new QLineEdit(ordner ? ShownFolder(ordner->GetReceiveFolder()) : QString());
    remote_ = new QLineEdit(ordner ? ShownFolder(ordner->GetRemoteFolder()) : QString());
    empfangBrowse_ = new QPushButton(QStringLiteral("..."));
    remoteBrowse_ = new QPushButton(QStringLiteral("..."));
    setEnabled(ordner != nullptr);
    chooseFolder = [this](const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(this, title, start);
    };
    connect(empfangBrowse_, &QPushButton::clicked, this,
            [this] { Browse(empfang_, tr("Ordner für empfangene Dateien:")); });
    connect(remoteBrowse_, &QPushButton::clicked, this,
            [this] { Browse(remote_, tr("Ordner für per Fernsteuerung lesbare Dateien:")); });

    auto* group = new QGroupBox(tr("Ordner"));
    auto* grid = new QGridLayout(group);
    auto* empfangLabel = new QLabel(tr("&Empfang"));
    auto* remoteLabel = new QLabel(tr("&Fernst."));
    empfangLabel->setBuddy(empfang_);
    remoteLabel->setBuddy(remote_);
    grid->addWidget(empfangLabel, 0, 0);
    grid->addWidget(empfang_, 0, 1);
    grid->addWidget(empfangBrowse_, 0, 2);
    grid->addWidget(remoteLabel, 1, 0);
    grid->addWidget(remote_, 1, 1);
    grid->addWidget(remoteBrowse_, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    if (ctx_.config) {
        autobinMax_ = new QSpinBox;
        autobinMax_->setRange(core::TConfig::kMinAutobinMaxMB, core::TConfig::kMaxAutobinMaxMB);
        autobinMax_->setSuffix(tr(" MB"));
        autobinMax_->setValue(ctx_.config->AutobinMaxMB());
        auto* limits = new QGroupBox(tr("Empfang"));
        auto* row = new QHBoxLayout(limits);
        auto* label = new QLabel(tr("AutoBIN-Dateien &höchstens"));
        label->setBuddy(autobinMax_);
        row->addWidget(label);
        row->addWidget(autobinMax_);
        row->addStretch();
        layout->addWidget(limits);
    }
    layout->addStretch();
}

void TEinstellungenDateien::Browse(QLineEdit* edit, const QString& title) {
    const QString chosen = chooseFolder(title, edit->text());
    if (!chosen.isEmpty()) edit->setText(chosen);
}

void TEinstellungenDateien::Apply() {
    if (ctx_.config && autobinMax_) ctx_.config->SetAutobinMaxMB(autobinMax_->value());
    const auto ordner = resources::Ordner();
    if (!ordner) return;
    ordner->SetReceiveFolder(empfang_->text().toStdString());
    ordner->SetRemoteFolder(remote_->text().toStdString());
}

// ---- page "Erweitert" -------------------------------------------------------------

TEinstellungenErweitert::TEinstellungenErweitert(const TEinstellungenContext& ctx, QWidget* parent)
    : TTabForm(parent), ctx_(ctx) {
    const C& config = *ctx_.config;
    sendSid_ = new QCheckBox(tr("Eigene Stations-ID senden"));
    hideSentSid_ = new QCheckBox(tr("Gesendete Stations-ID verbergen"));
    hideReceivedSid_ = new QCheckBox(tr("Empfangene Stations-ID verbergen"));
    highColor_ = new QCheckBox(
        tr("Symbole in Echtfarben anzeigen (nicht mit allen Grafikkartentreibern kompatibel)"));
    collectKeys_ =
        new QCheckBox(tr("Öffentliche Schlüssel automatisch zum Schlüsselring hinzufügen"));
    simpleResults_ = new QCheckBox(tr("Vereinfachte Ergebnisse von Signaturprüfungen anzeigen"));

    sendSid_->setChecked(config.SendSid());
    hideSentSid_->setChecked(config.HideSentSid());
    hideReceivedSid_->setChecked(config.HideReceivedSid());
    highColor_->setChecked(config.HighColor());
    highColor_->setEnabled(ctx_.colourLevel > 1);
    collectKeys_->setChecked(config.PgpCollectPublicKeys());
    simpleResults_->setChecked(!config.PgpDetailedOutput());
    hideSentSid_->setEnabled(sendSid_->isChecked());
    connect(sendSid_, &QCheckBox::toggled, hideSentSid_, &QCheckBox::setEnabled);

    auto* sid = new QGroupBox(tr("Stations-ID"));
    auto* sidLayout = new QVBoxLayout(sid);
    sidLayout->addWidget(sendSid_);
    auto* indented = new QHBoxLayout;
    indented->addSpacing(20);
    indented->addWidget(hideSentSid_);
    sidLayout->addLayout(indented);
    sidLayout->addWidget(hideReceivedSid_);
    auto* display = new QGroupBox(tr("Darstellung"));
    auto* displayLayout = new QVBoxLayout(display);
    displayLayout->addWidget(highColor_);
    auto* pgp = new QGroupBox(tr("PGP"));
    auto* pgpLayout = new QVBoxLayout(pgp);
    pgpLayout->addWidget(collectKeys_);
    pgpLayout->addWidget(simpleResults_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sid);
    layout->addWidget(display);
    layout->addWidget(pgp);
    layout->addStretch();
}

void TEinstellungenErweitert::Apply() {
    C& config = *ctx_.config;
    config.SetSendSid(sendSid_->isChecked());
    config.SetHideSentSid(hideSentSid_->isChecked());
    config.SetHideReceivedSid(hideReceivedSid_->isChecked());
    if (highColor_->isEnabled()) {
        config.SetHighColor(highColor_->isChecked());
        if (ctx_.reloadToolbarImages) ctx_.reloadToolbarImages();
    }
    config.SetPgpCollectPublicKeys(collectKeys_->isChecked());
    config.SetPgpDetailedOutput(!simpleResults_->isChecked());
}

// ---- the window -------------------------------------------------------------------

namespace {

struct TPageSlot {
    int index;
    const char* caption;  // translated in the context "TEinstellungenForm"
};
// The slots whose pages exist; the others keep their index for later.
constexpr TPageSlot kSlots[] = {
    {TEinstellungenForm::kAllgemein, QT_TRANSLATE_NOOP("TEinstellungenForm", "Allgemein")},
    {TEinstellungenForm::kGeraete, QT_TRANSLATE_NOOP("TEinstellungenForm", "Geräte")},
    {TEinstellungenForm::kDateien, QT_TRANSLATE_NOOP("TEinstellungenForm", "Dateien")},
    {TEinstellungenForm::kAnzeige, QT_TRANSLATE_NOOP("TEinstellungenForm", "Anzeige")},
    {TEinstellungenForm::kMonitor, QT_TRANSLATE_NOOP("TEinstellungenForm", "Monitor")},
    {TEinstellungenForm::kTexte, QT_TRANSLATE_NOOP("TEinstellungenForm", "Texte")},
    {TEinstellungenForm::kFernst, QT_TRANSLATE_NOOP("TEinstellungenForm", "Fernst.")},
    {TEinstellungenForm::kKlaenge, QT_TRANSLATE_NOOP("TEinstellungenForm", "Klänge")},
    {TEinstellungenForm::kErweitert, QT_TRANSLATE_NOOP("TEinstellungenForm", "Erweitert")},
};

}  // namespace

TEinstellungenForm* TEinstellungenForm::Instance() {
    return gInstance;
}

TEinstellungenForm* TEinstellungenForm::Open(const TEinstellungenContext& ctx, QWidget* parent) {
    if (!gInstance) gInstance = new TEinstellungenForm(ctx, parent);
    gInstance->show();
    gInstance->raise();
    gInstance->activateWindow();
    return gInstance;
}

void TEinstellungenForm::CloseInstance() {
    delete gInstance;
}

TEinstellungenForm::TEinstellungenForm(const TEinstellungenContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx) {
    TARVO_ASSERT(ctx_.config, "EinstellungenU");
    setWindowTitle(tr("Einstellungen"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    tabs_ = new QTabWidget;
    for (const TPageSlot& slot : kSlots) {
        auto* sheet = new QWidget;
        auto* sheetLayout = new QVBoxLayout(sheet);
        sheetLayout->setContentsMargins(0, 0, 0, 0);
        const int tab =
            tabs_->addTab(sheet, QCoreApplication::translate("TEinstellungenForm", slot.caption));
        tabs_->tabBar()->setTabData(tab, slot.index);
    }

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* apply = buttons->addButton(tr("Übe&rnehmen"), QDialogButtonBox::ApplyRole);
    buttons->addButton(tr("Abbrechen"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    // After a failure the window stays open, so the operator sees what is left.
    connect(ok, &QPushButton::clicked, this, [this] {
        if (ApplyAll()) accept();
    });
    connect(apply, &QPushButton::clicked, this, [this] { ApplyAll(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &TEinstellungenForm::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addWidget(buttons);
    resize(640, 460);

    PageChanged(tabs_->currentIndex());
    connect(tabs_, &QTabWidget::currentChanged, this, &TEinstellungenForm::PageChanged);
}

TEinstellungenForm::~TEinstellungenForm() {
    Finish();
}

TTabForm* TEinstellungenForm::Page(int index) const {
    if (index < 0 || index >= kPageCount) return nullptr;
    return pages_[static_cast<std::size_t>(index)];
}

bool TEinstellungenForm::ShowPage(int index) {
    for (int tab = 0; tab < tabs_->count(); ++tab) {
        if (tabs_->tabBar()->tabData(tab).toInt() != index) continue;
        tabs_->setCurrentIndex(tab);
        return true;
    }
    return false;
}

TTabForm* TEinstellungenForm::BuildPage(int index, QWidget* sheet) {
    switch (index) {
        case kAllgemein:
            return new TEinstellungenAllgemein(ctx_, sheet);
        case kGeraete:
            return new TEinstellungenGeraete(ctx_, sheet);
        case kDateien:
            return new TEinstellungenDateien(ctx_, sheet);
        case kAnzeige:
            return new TEinstellungenAnzeige(ctx_, sheet);
        case kMonitor:
            return new TEinstellungenMonitor(ctx_, sheet);
        case kTexte:
            return ctx_.texte ? new TTexteForm(*ctx_.texte, sheet) : nullptr;
        case kFernst:
            if (auto manager = stations::RemoteCommandManager())
                return new TRemoteCommandsForm(std::move(manager), false, sheet);
            return nullptr;
        case kKlaenge:
            return ctx_.klaenge ? new TKlaengeForm(*ctx_.klaenge, sheet) : nullptr;
        case kErweitert:
            return new TEinstellungenErweitert(ctx_, sheet);
        default:
            return nullptr;
    }
}

QLabel* TEinstellungenForm::StationLink(int index) {
    // What the station database sets per callsign overrides these pages.
    QString text;
    switch (index) {
        case kTexte:
            text =
                tr("In der <a href=\"stationen\">Stationendatenbank</a> können Sie "
                   "rufzeichenabhängige Texte einstellen.");
            break;
        case kFernst:
            text =
                tr("Treffen Sie rufzeichenabhängige Einstellungen in der "
                   "<a href=\"stationen\">Stationendatenbank</a>.");
            break;
        case kKlaenge:
            text =
                tr("In der <a href=\"stationen\">Stationendatenbank</a> können Sie "
                   "rufzeichenabhängige Klänge einstellen.");
            break;
        default:
            return nullptr;
    }
    auto* link = new QLabel(text);
    link->setObjectName(QStringLiteral("stationenLink"));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setWordWrap(true);
    connect(link, &QLabel::linkActivated, this, [this] {
        if (ctx_.openStationDatabase) ctx_.openStationDatabase();
    });
    return link;
}

void TEinstellungenForm::PageChanged(int tab) {
    if (changing_ || finished_ || tab < 0) return;
    changing_ = true;
    const int index = tabs_->tabBar()->tabData(tab).toInt();
    if (index >= 0 && index < kPageCount) {
        const auto i = static_cast<std::size_t>(index);
        if (!pages_[i]) {
            QWidget* sheet = tabs_->widget(tab);
            if (TTabForm* page = BuildPage(index, sheet)) {
                sheet->layout()->addWidget(page);
                if (QLabel* link = StationLink(index)) sheet->layout()->addWidget(link);
                pages_[i] = page;
                firstControl_[i] = FirstControl(page);
            }
        }
        if (QWidget* first = firstControl_[i]) first->setFocus();
    }
    changing_ = false;
}

bool TEinstellungenForm::ApplyAll() {
    if (finished_) return false;
    // One page that fails (a channel buffer that cannot be made) must neither
    // end the program from inside the event loop nor keep the others from applying.
    bool ok = true;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (!pages_[i]) continue;
        try {
            pages_[i]->Apply();
        } catch (...) {
            ok = false;
            core::ShowUnhandledException(std::current_exception(), "TEinstellungenForm", "Apply",
                                         std::to_string(i));
        }
    }
    return ok;
}

void TEinstellungenForm::done(int r) {
    QDialog::done(r);
    Finish();
    deleteLater();
}

void TEinstellungenForm::Finish() {
    if (!finished_) {
        finished_ = true;
        for (TTabForm* page : pages_)
            if (page) page->Detach();
    }
    if (gInstance == this) gInstance = nullptr;
}

bool TEinstellungenForm::event(QEvent* e) {
    const QEvent::Type t = e->type();
    if (t == QEvent::KeyPress || t == QEvent::KeyRelease || t == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Alt) {
            e->accept();
            return true;
        }
    }
    return QDialog::event(e);
}

}  // namespace tarvo::ui
