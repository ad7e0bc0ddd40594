#include "ui/HostmodeCommandlineU.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/PublisherU.h"
#include "devices/GeraeteU.h"
#include "devices/HostmodeU.h"
#include "ui/PlainTextU.h"
#include "ui/RichEditTarvoU.h"

namespace tarvo::ui {

namespace {

void Append(QPlainTextEdit* console, const QString& text) {
    if (console) console->appendPlainText(text);
}

QString AnswerText(const devices::TBefehlAntwort& a) {
    if (!a.answered)
        return QCoreApplication::translate("THostmodeCommandlineForm", "Keine Antwort vom TNC.");
    // At most one frame; CR from the TNC becomes a line break.
    const QString text = Cp1252ToShownText(a.text, devices::hostmode::kMaxFrameText + 1);
    switch (a.code) {
        case devices::hostmode::kReplyOk:
            return text.isEmpty() ? QCoreApplication::translate("THostmodeCommandlineForm", "ok")
                                  : text;
        case devices::hostmode::kReplyError:
            return QCoreApplication::translate("THostmodeCommandlineForm", "Fehler: %1").arg(text);
        default:
            return text;
    }
}

}  // namespace

THostmodeCommandlineForm::THostmodeCommandlineForm(devices::TGeraete& geraete, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), geraete_(&geraete) {
    setObjectName(QStringLiteral("THostmodeCommandlineForm"));
    setWindowTitle(tr("Kommandozeile"));
    send = [](devices::TGeraetHostmode& device, std::string_view befehl,
              std::function<void(const devices::TBefehlAntwort&)> done) {
        return device.SendeBefehl(befehl, std::move(done));
    };

    tabs_ = new QTabWidget;
    tabs_->setObjectName(QStringLiteral("geraete"));
    history_ = new QListWidget;
    history_->setObjectName(QStringLiteral("verlauf"));
    history_->setMaximumWidth(160);
    input_ = new QLineEdit;
    input_->setObjectName(QStringLiteral("befehl"));
    input_->setMaxLength(static_cast<int>(devices::hostmode::kMaxFrameText));
    senden_ = new QPushButton(tr("Senden"));
    senden_->setDefault(true);
    auto* schliessen = new QPushButton(tr("&Schließen"));

    auto* upper = new QHBoxLayout;
    upper->addWidget(tabs_, 1);
    upper->addWidget(history_);
    auto* inputRow = new QHBoxLayout;
    auto* label = new QLabel(tr("&Befehl:"));
    label->setBuddy(input_);
    inputRow->addWidget(label);
    inputRow->addWidget(input_, 1);
    inputRow->addWidget(senden_);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(schliessen);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(upper, 1);
    layout->addLayout(inputRow);
    layout->addLayout(closeRow);
    resize(560, 360);

    connect(senden_, &QPushButton::clicked, this, &THostmodeCommandlineForm::Senden);
    connect(input_, &QLineEdit::returnPressed, this, &THostmodeCommandlineForm::Senden);
    connect(schliessen, &QPushButton::clicked, this, &QWidget::close);
    connect(history_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        input_->setText(item->text());
        input_->setFocus();
    });

    Rebuild();
    // The tabs follow the device list; the set tells on the main thread.
    subscriber_ = core::TSubscriberAdapter::For(this, &THostmodeCommandlineForm::OnNotify);
    geraete_->Subscribe(subscriber_);
}

THostmodeCommandlineForm::~THostmodeCommandlineForm() {
    Detach();
}

void THostmodeCommandlineForm::Detach() {
    if (!geraete_) return;
    geraete_->Unsubscribe(subscriber_);
    subscriber_->Detach();
    geraete_ = nullptr;
    senden_->setEnabled(false);
}

QPlainTextEdit* THostmodeCommandlineForm::Console(int tab) const {
    if (tab < 0 || tab >= static_cast<int>(pages_.size())) return nullptr;
    return pages_[static_cast<std::size_t>(tab)].console;
}

void THostmodeCommandlineForm::OnNotify(const void* sender) {
    if (!sender) {
        Rebuild();  // the list changed
        return;
    }
    // A device's settings may have changed its name.
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const auto device = pages_[i].device.lock();
        if (device && static_cast<const devices::TGeraet*>(device.get()) == sender)
            tabs_->setTabText(static_cast<int>(i), TabTitle(*device));
    }
}

QString THostmodeCommandlineForm::TabTitle(const devices::TGeraetHostmode& device) const {
    return tr("TNC %1").arg(Cp1252ToQString(device.InfoText()));
}

void THostmodeCommandlineForm::Rebuild() {
    if (!geraete_) return;
    std::vector<std::shared_ptr<devices::TGeraetHostmode>> devices;
    for (const auto& g : geraete_->Items())
        if (auto h = std::dynamic_pointer_cast<devices::TGeraetHostmode>(g))
            devices.push_back(std::move(h));
    // A device that stays keeps its tab and what its console holds.
    std::vector<TTab> kept;
    for (const auto& device : devices) {
        auto same = std::find_if(pages_.begin(), pages_.end(),
                                 [&](const TTab& t) { return t.device.lock() == device; });
        if (same != pages_.end()) {
            kept.push_back(*same);
            pages_.erase(same);
            continue;
        }
        auto* console = new QPlainTextEdit;
        console->setReadOnly(true);
        console->setMaximumBlockCount(kMaxConsoleLines);
        console->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        kept.push_back({device, console});
    }
    for (const TTab& gone : pages_) delete gone.console;
    pages_ = std::move(kept);
    while (tabs_->count() > 0) tabs_->removeTab(0);
    delete none_.data();
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const auto device = pages_[i].device.lock();
        tabs_->addTab(pages_[i].console, device ? TabTitle(*device) : QString());
    }
    if (pages_.empty()) {
        auto* none = new QLabel(tr("Kein Hostmode-Gerät eingerichtet."));
        none->setAlignment(Qt::AlignCenter);
        tabs_->addTab(none, tr("Keine Geräte"));
        none_ = none;
    }
    senden_->setEnabled(!pages_.empty());
    input_->setEnabled(!pages_.empty());
}

void THostmodeCommandlineForm::Senden() {
    const int tab = tabs_->currentIndex();
    if (!geraete_ || tab < 0 || tab >= static_cast<int>(pages_.size())) return;
    const QString line = input_->text().trimmed();
    if (line.isEmpty()) return;
    QPointer<QPlainTextEdit> console = pages_[static_cast<std::size_t>(tab)].console;
    const auto device = pages_[static_cast<std::size_t>(tab)].device.lock();
    Append(console, QStringLiteral("> ") + line);
    if (!device) {
        Append(console, tr("Das Gerät ist nicht mehr vorhanden."));
        return;
    }
    const auto annahme =
        send(*device, QStringToCp1252(line),
             [console](const devices::TBefehlAntwort& a) { Append(console, AnswerText(a)); });
    switch (annahme) {
        case devices::TBefehlAnnahme::Gesendet:
            break;
        case devices::TBefehlAnnahme::KeinBetrieb:
            Append(console, tr("Das Gerät ist nicht bereit."));
            break;
        case devices::TBefehlAnnahme::Ungueltig:
            Append(console, tr("Ungültiger Befehl."));
            break;
        case devices::TBefehlAnnahme::Vorbehalten:
            Append(console, tr("Diesen Wert verwaltet Tarvo selbst; der Befehl wird nicht "
                               "gesendet."));
            break;
    }
    // The newest first, each once.
    for (const auto* old : history_->findItems(line, Qt::MatchExactly)) delete old;
    history_->insertItem(0, line);
    while (history_->count() > kMaxHistory) delete history_->takeItem(history_->count() - 1);
    input_->clear();
}

}  // namespace tarvo::ui
