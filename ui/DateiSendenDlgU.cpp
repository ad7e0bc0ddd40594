#include "ui/DateiSendenDlgU.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

#include "channels/KanalU.h"
#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/MessageWindowU.h"
#include "core/PublisherU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenPraeprozessorU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Pgp.h"
#include "platform/Registry.h"
#include "ui/MessageboxU.h"
#include "ui/PlainTextU.h"
#include "ui/RichEditTarvoU.h"
#include "ui/TextWidthU.h"

namespace tarvo::ui {

namespace {

constexpr const char* kClass = "TDateiSendenDlg";
constexpr std::string_view kVerlaufKey = "\\Verlauf";
constexpr std::string_view kVerlaufVorher = "Senden Text vorher";
constexpr std::string_view kVerlaufNachher = "Senden Text nachher";
// The template menus are at most this wide.
constexpr int kMenuCaptionWidth = 320;

std::vector<QPointer<TDateiSendenDlg>>& Instances() {
    static std::vector<QPointer<TDateiSendenDlg>> list;
    return list;
}

QString Shown(const std::filesystem::path& name) {
    return QFile::decodeName(QByteArray::fromStdString(name.string()));
}

std::filesystem::path FromShown(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

// Widget text (LF line ends) as the settings keep it (CR LF, code page 1252).
std::string StoredText(const QString& text) {
    QString crlf = text;
    crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return QStringToCp1252(crlf);
}

}  // namespace

// ---- opening -------------------------------------------------------------------------

TDateiSendenDlg* TDateiSendenDlg::For(const channels::TKanal* kanal) {
    auto& list = Instances();
    std::erase_if(list, [](const QPointer<TDateiSendenDlg>& d) { return d.isNull(); });
    for (const auto& d : list)
        if (d->ctx_.kanal.get() == kanal) return d.data();
    return nullptr;
}

void TDateiSendenDlg::CloseAll() {
    const auto list = Instances();
    for (const auto& d : list) delete d.data();
    Instances().clear();
}

namespace {

template <class Start>
TDateiSendenDlg* OpenOrFocus(const TDateiSendenDlgContext& ctx, QWidget* parent, Start start) {
    if (!ctx.kanal) return nullptr;
    TDateiSendenDlg* dlg = TDateiSendenDlg::For(ctx.kanal.get());
    if (!dlg) {
        dlg = new TDateiSendenDlg(ctx, parent);
        dlg->setAttribute(Qt::WA_DeleteOnClose);
        start(*dlg);
    }
    dlg->show();
    dlg->raise();
    dlg->activateWindow();
    return dlg;
}

}  // namespace

TDateiSendenDlg* TDateiSendenDlg::Open(const TDateiSendenDlgContext& ctx, QWidget* parent) {
    return OpenOrFocus(ctx, parent, [](TDateiSendenDlg& d) { d.StartNormal(); });
}

TDateiSendenDlg* TDateiSendenDlg::OpenWithText(const TDateiSendenDlgContext& ctx, QWidget* parent,
                                               const std::string& cp1252) {
    return OpenOrFocus(ctx, parent, [&](TDateiSendenDlg& d) { d.StartWithText(cp1252); });
}

TDateiSendenDlg* TDateiSendenDlg::OpenWithFiles(const TDateiSendenDlgContext& ctx, QWidget* parent,
                                                const std::vector<std::filesystem::path>& dropped) {
    return OpenOrFocus(ctx, parent, [&](TDateiSendenDlg& d) { d.StartWithFiles(dropped); });
}

// ---- building ---------------------------------------------------------------------------

TDateiSendenDlg::TDateiSendenDlg(const TDateiSendenDlgContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx), refreshPending_(std::make_shared<std::atomic<bool>>(false)) {
    setObjectName(QStringLiteral("TDateiSendenDlg"));
    Instances().emplace_back(this);

    chooseFiles = [this] {
        const std::filesystem::path folder =
            ctx_.receiveFolder ? ctx_.receiveFolder() : std::filesystem::path();
        std::vector<std::filesystem::path> files;
        for (const QString& f : QFileDialog::getOpenFileNames(
                 this, tr("Datei(en) hinzufügen..."), Shown(folder), tr("Alle Dateien (*)")))
            files.push_back(FromShown(f));
        return files;
    };
    ask = [this](const std::string& title, const std::string& text, unsigned buttons) {
        return TDlgMessage::Run(this, title, text, buttons);
    };

    // The PGP component lives as long as the dialog, on the main thread.
    QString pgpError;
    try {
        pgp_ = core::CreatePGP();
        if (pgp_) pgpKeys_ = pgp_->GetPrivateKeys();
    } catch (const std::exception& e) {
        pgpError = QString::fromLocal8Bit(e.what());
        pgp_.reset();
        pgpKeys_.clear();
    }

    pages_ = new QStackedWidget(this);
    pages_->addWidget(BuildProtokollPage());
    pages_->addWidget(BuildDateienPage());
    pages_->addWidget(BuildTextPage());
    pages_->addWidget(BuildOptionenPage());
    pages_->addWidget(BuildPGPPage());
    if (!pgpError.isEmpty()) {
        // The engine is there but failed: its version, and why it is not used.
        const auto version = platform::PgpEngineVersion();
        pgpInfo_->setText(QString::fromStdString(version.value_or(std::string())) +
                          QLatin1Char('\n') + pgpError);
    }

    back_ = new QPushButton(tr("< &Zurück"));
    next_ = new QPushButton(tr("&Weiter >"));
    finish_ = new QPushButton(tr("&Fertigstellen"));
    cancel_ = new QPushButton(tr("Abbrechen"));
    for (QPushButton* b : {back_, next_, finish_, cancel_}) b->setAutoDefault(false);
    connect(back_, &QPushButton::clicked, this, &TDateiSendenDlg::Zurueck);
    connect(next_, &QPushButton::clicked, this, &TDateiSendenDlg::Weiter);
    connect(finish_, &QPushButton::clicked, this, [this] { Fertigstellen(); });
    connect(cancel_, &QPushButton::clicked, this, &TDateiSendenDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(finish_);
    buttons->addSpacing(12);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_, 1);
    layout->addLayout(buttons);

    RestoreHistory();

    // Notifications come from device and connection threads: only a queued
    // refresh crosses over, and a burst of them makes one.
    const auto post = [this, pending = refreshPending_](const void*) {
        if (pending->exchange(true)) return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                refreshPending_->store(false);
                OnChannelChanged();
            },
            Qt::QueuedConnection);
    };
    kanalSubscriber_ = std::make_shared<core::TSubscriberAdapter>(post);
    queueSubscriber_ = std::make_shared<core::TSubscriberAdapter>(post);
    if (ctx_.kanal) ctx_.kanal->Subscribe(kanalSubscriber_);
    Resubscribe();
    UpdateTitle();
    RefreshQueue();
    resize(560, 440);
}

TDateiSendenDlg::~TDateiSendenDlg() {
    Unsubscribe();
    auto& list = Instances();
    std::erase_if(list, [this](const QPointer<TDateiSendenDlg>& d) {
        return d.isNull() || d.data() == this;
    });
}

void TDateiSendenDlg::Unsubscribe() {
    if (ctx_.kanal && kanalSubscriber_) ctx_.kanal->Unsubscribe(kanalSubscriber_);
    if (queue_) queue_->Unsubscribe(queueSubscriber_);
    queue_.reset();
    if (kanalSubscriber_) kanalSubscriber_->Detach();
    if (queueSubscriber_) queueSubscriber_->Detach();
}

QWidget* TDateiSendenDlg::BuildProtokollPage() {
    auto* page = new QWidget;
    auto* protoBox = new QGroupBox(tr("Protokoll"));
    text_ = new QRadioButton(tr("&Text"));
    autobin_ = new QRadioButton(tr("&AutoBin"));
    binaer_ = new QRadioButton(tr("&Binär"));
    didadit_ = new QRadioButton(tr("D&idadit"));
    // The connection has no module for plain binary: such a job would only beep.
    binaer_->setEnabled(false);
    protokolle_ = new QButtonGroup(this);
    protokolle_->addButton(text_, filesend::kProtokollText);
    protokolle_->addButton(autobin_, filesend::kProtokollAutobin);
    protokolle_->addButton(binaer_, filesend::kProtokollBinaer);
    protokolle_->addButton(didadit_, filesend::kProtokollDidadit);
    protokollHelp_ = NewPlainLabel(QString());
    protokollHelp_->setObjectName(QStringLiteral("ProtokollHilfe"));
    protokollHelp_->setWordWrap(true);
    protokollHelp_->setMinimumHeight(protokollHelp_->fontMetrics().lineSpacing() * 3);
    auto* protoLayout = new QGridLayout(protoBox);
    protoLayout->addWidget(text_, 0, 0);
    protoLayout->addWidget(autobin_, 0, 1);
    protoLayout->addWidget(binaer_, 0, 2);
    protoLayout->addWidget(didadit_, 0, 3);
    protoLayout->addWidget(protokollHelp_, 1, 0, 1, 4);
    connect(protokolle_, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) ProtokollChanged();
    });

    auto* kindBox = new QGroupBox(tr("Was möchten Sie senden?"));
    kindFiles_ = new QRadioButton(tr("&Datei(en)"));
    kindText_ = new QRadioButton(tr("Text&eingabe"));
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(kindFiles_);
    kinds->addButton(kindText_);
    auto* kindLayout = new QHBoxLayout(kindBox);
    kindLayout->addWidget(kindFiles_);
    kindLayout->addWidget(kindText_);
    kindLayout->addStretch();
    connect(kindText_, &QRadioButton::toggled, this, [this] { KindChanged(); });

    auto* queueBox = new QGroupBox(tr("Sendewarteschlange"));
    queueList_ = new QListWidget;
    queueList_->setObjectName(QStringLiteral("Warteschlange"));
    queueLabel_ = NewPlainLabel(QString());
    queueLabel_->setObjectName(QStringLiteral("WarteschlangeText"));
    queueClear_ = new QPushButton(tr("&Alle löschen"));
    queueClear_->setEnabled(false);
    auto* queueLayout = new QVBoxLayout(queueBox);
    queueLayout->addWidget(queueLabel_);
    queueLayout->addWidget(queueList_, 1);
    auto* clearRow = new QHBoxLayout;
    clearRow->addStretch();
    clearRow->addWidget(queueClear_);
    queueLayout->addLayout(clearRow);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(protoBox);
    layout->addWidget(kindBox);
    layout->addWidget(queueBox, 1);
    return page;
}

QWidget* TDateiSendenDlg::BuildDateienPage() {
    auto* page = new QWidget;
    fileNames_ = new QListWidget;
    fileNames_->setObjectName(QStringLiteral("Dateien"));
    fileNames_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    addFiles_ = new QPushButton(tr("&Hinzufügen"));
    removeFiles_ = new QPushButton(tr("&Entfernen"));
    connect(addFiles_, &QPushButton::clicked, this, &TDateiSendenDlg::AddFiles);
    connect(removeFiles_, &QPushButton::clicked, this, &TDateiSendenDlg::RemoveFiles);
    connect(fileNames_, &QListWidget::itemSelectionChanged, this,
            [this] { removeFiles_->setEnabled(!fileNames_->selectedItems().isEmpty()); });
    removeFiles_->setEnabled(false);
    auto* side = new QVBoxLayout;
    side->addWidget(addFiles_);
    side->addWidget(removeFiles_);
    side->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(fileNames_, 1);
    row->addLayout(side);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(tr("Diese Dateien werden gesendet:")));
    layout->addLayout(row, 1);
    return page;
}

QWidget* TDateiSendenDlg::BuildTextPage() {
    auto* page = new QWidget;
    textEdit_ = new QPlainTextEdit;
    textEdit_->setObjectName(QStringLiteral("Texteingabe"));
    textEdit_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(textEdit_, &QPlainTextEdit::textChanged, this, &TDateiSendenDlg::UpdateButtons);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(tr("Geben Sie den Text ein, der gesendet werden soll:")));
    layout->addWidget(textEdit_, 1);
    return page;
}

QWidget* TDateiSendenDlg::BuildOptionenPage() {
    auto* page = new QWidget;
    teilen_ = new QCheckBox(tr("&Teilen"));
    partSize_ = new QLineEdit(QString::number(filesend::kDefaultPartSizeKiB));
    partSize_->setObjectName(QStringLiteral("TeilGroesse"));
    partSize_->setValidator(new QIntValidator(0, 99999, partSize_));
    partSize_->setMaximumWidth(80);
    auto* partSizeLabel = new QLabel(tr("&Größe pro Teil:"));
    partSizeLabel->setBuddy(partSize_);
    parts_ = new QTreeWidget;
    parts_->setObjectName(QStringLiteral("Teile"));
    parts_->setRootIsDecorated(false);
    parts_->setHeaderLabels({tr("Datei"), tr("Größe"), tr("Teile"), tr("Bemerkung")});
    partProperties_ = new QPushButton(tr("&Eigenschaften"));
    wrap_ = new QCheckBox(tr("&Automatischer Zeilenumbruch"));
    wrap_->setChecked(true);
    connect(teilen_, &QCheckBox::toggled, this, [this] {
        const bool on = teilen_->isEnabled() && teilen_->isChecked();
        partSize_->setEnabled(on);
        parts_->setEnabled(on);
        partProperties_->setEnabled(on && parts_->currentItem());
    });
    connect(partSize_, &QLineEdit::textEdited, this, &TDateiSendenDlg::PartSizeEdited);
    connect(partSize_, &QLineEdit::editingFinished, this, &TDateiSendenDlg::PartSizeLeft);
    connect(partProperties_, &QPushButton::clicked, this, &TDateiSendenDlg::ChooseParts);
    connect(parts_, &QTreeWidget::itemDoubleClicked, this, [this] { ChooseParts(); });
    connect(parts_, &QTreeWidget::currentItemChanged, this,
            [this] { partProperties_->setEnabled(parts_->isEnabled() && parts_->currentItem()); });

    auto* partsBox = new QGroupBox(tr("Teile"));
    auto* partsTop = new QHBoxLayout;
    partsTop->addWidget(teilen_);
    partsTop->addSpacing(16);
    partsTop->addWidget(partSizeLabel);
    partsTop->addWidget(partSize_);
    partsTop->addWidget(new QLabel(tr("kB")));
    partsTop->addStretch();
    partsTop->addWidget(partProperties_);
    auto* partsLayout = new QVBoxLayout(partsBox);
    partsLayout->addLayout(partsTop);
    partsLayout->addWidget(parts_, 1);
    partsLayout->addWidget(wrap_);

    auto mailbox = [this](const QString& caption, QCheckBox*& on, QPlainTextEdit*& field,
                          QPushButton*& templates, bool before) {
        on = new QCheckBox(caption);
        field = new QPlainTextEdit;
        field->setObjectName(before ? QStringLiteral("TextVorher") : QStringLiteral("TextNachher"));
        field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        field->setMaximumHeight(field->fontMetrics().lineSpacing() * 4 + 12);
        templates = new QPushButton(tr("Vorlagen"));
        auto* menu = new QMenu(templates);
        connect(menu, &QMenu::aboutToShow, this,
                [this, menu, before] { FillTemplateMenu(menu, before); });
        templates->setMenu(menu);
        auto enable = [on, field, templates] {
            field->setEnabled(on->isChecked());
            templates->setEnabled(on->isChecked());
        };
        connect(on, &QCheckBox::toggled, this, enable);
        enable();
        auto* row = new QGridLayout;
        row->addWidget(on, 0, 0);
        row->addWidget(templates, 0, 1, Qt::AlignRight);
        row->addWidget(field, 1, 0, 1, 2);
        return row;
    };
    auto* mailboxBox = new QGroupBox(tr("Texte für die Mailbox"));
    auto* mailboxLayout = new QVBoxLayout(mailboxBox);
    mailboxLayout->addLayout(
        mailbox(tr("Text &vorher"), beforeOn_, before_, beforeTemplates_, true));
    mailboxLayout->addLayout(
        mailbox(tr("Text &nachher"), afterOn_, after_, afterTemplates_, false));
    mailboxLayout->addWidget(NewPlainLabel(
        tr("%o Dateiname, %n Name des Teils, %p Nummer des Teils, %q Anzahl der Teile")));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(partsBox, 1);
    layout->addWidget(mailboxBox);
    return page;
}

QWidget* TDateiSendenDlg::BuildPGPPage() {
    auto* page = new QWidget;
    sign_ = new QCheckBox(tr("&Signieren"));
    keys_ = new QComboBox;
    keys_->setObjectName(QStringLiteral("PGPSchluessel"));
    for (const core::TPGPKey& key : pgpKeys_)
        keys_->addItem(Cp1252ToQString(key.caption), QString::fromStdString(key.fingerprint));
    password_ = new QLineEdit;
    password_->setObjectName(QStringLiteral("PGPPasswort"));
    password_->setEchoMode(QLineEdit::Password);
    comment_ = new QLineEdit(ctx_.config ? Cp1252ToQString(ctx_.config->PgpComment()) : QString());
    comment_->setObjectName(QStringLiteral("PGPKommentar"));
    comment_->setMaxLength(200);
    pgpInfo_ = NewPlainLabel(QString());
    pgpInfo_->setWordWrap(true);
    if (pgp_) {
        const auto version = platform::PgpEngineVersion();
        pgpInfo_->setText(QString::fromStdString(version.value_or(std::string())));
    } else {
        pgpInfo_->setText(
            tr("Um Nachrichten signieren zu können, benötigen Sie PGP 5.5.3, 6.0.2, 6.5.1 oder "
               "neuer.") +
            QLatin1Char('\n') +
            tr("GnuPG erhalten Sie bei Ihrer Distribution oder unter "
               "https://gnupg.org."));
    }
    auto* form = new QFormLayout;
    form->addRow(tr("Privater S&chlüssel:"), keys_);
    form->addRow(tr("&Passwort:"), password_);
    form->addRow(tr("&Kommentar:"), comment_);
    connect(sign_, &QCheckBox::toggled, this, [this] {
        const bool on = sign_->isEnabled() && sign_->isChecked();
        keys_->setEnabled(on);
        password_->setEnabled(on);
        comment_->setEnabled(on);
    });
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(sign_);
    layout->addLayout(form);
    layout->addWidget(pgpInfo_);
    layout->addStretch();
    return page;
}

// ---- the ways of opening -------------------------------------------------------------

void TDateiSendenDlg::StartNormal() {
    kindFiles_->setChecked(true);
    const auto v = Verbindung();
    const std::uint8_t mode = v ? v->BinMode() : 0;
    SetProtokoll(mode != 0 ? static_cast<std::int32_t>(mode) : filesend::kProtokollAutobin);
    KindChanged();
    ShowPage(kPageProtokoll);
}

void TDateiSendenDlg::StartWithText(const std::string& cp1252) {
    kindText_->setChecked(true);
    kindFiles_->setEnabled(false);
    kindText_->setEnabled(false);
    textEdit_->setPlainText(Cp1252ToQString(filesend::FieldText(cp1252)));
    KindChanged();
    ShowPage(kPageText);
}

void TDateiSendenDlg::StartWithFiles(const std::vector<std::filesystem::path>& dropped) {
    kindFiles_->setChecked(true);
    kindFiles_->setEnabled(false);
    kindText_->setEnabled(false);
    filesLocked_ = true;
    bool truncated = false;
    for (const auto& f : filesend::ExpandDropped(dropped, &truncated))
        fileNames_->addItem(Shown(f));
    UpdateFileList();
    SetProtokoll(filesend::kProtokollAutobin);
    KindChanged();
    ShowPage(kPageProtokoll);
    if (truncated)
        Ask(windowTitle(),
            tr("Es werden nur die ersten %1 Dateien übernommen.").arg(filesend::kMaxDroppedFiles),
            1u << core::kBitOk);
}

// ---- protocol and kind -------------------------------------------------------------------

void TDateiSendenDlg::SetProtokoll(std::int32_t protokoll) {
    QAbstractButton* b = protokolle_->button(protokoll);
    if (!b || !b->isEnabled()) b = autobin_;
    b->setChecked(true);
    ProtokollChanged();
}

std::int32_t TDateiSendenDlg::Protokoll() const {
    const int id = protokolle_->checkedId();
    return id < 0 ? 0 : id;
}

void TDateiSendenDlg::ProtokollChanged() {
    switch (Protokoll()) {
        case filesend::kProtokollText:
            protokollHelp_->setText(
                tr("Senden Sie Text (*.txt) und 7Plus-Dateien (*.7pl, *.p01, ...) mit diesem "
                   "Protokoll."));
            break;
        case filesend::kProtokollAutobin:
            protokollHelp_->setText(
                tr("Benutzen Sie das AutoBin-Protokoll, um Bild-, Programm- und andere binäre "
                   "Dateien zu übertragen. Wenn Ihre Gegenstation jedoch das neuere "
                   "Didadit-Protokoll unterstützt, verwenden Sie dieses."));
            break;
        case filesend::kProtokollDidadit:
            protokollHelp_->setText(
                tr("Benutzen Sie Didadit, um Bild-, Programm- und andere binäre Dateien zu "
                   "übertragen."));
            break;
        default:
            protokollHelp_->clear();
            break;
    }
    const bool binary =
        Protokoll() == filesend::kProtokollAutobin || Protokoll() == filesend::kProtokollDidadit;
    // Only the binary protocols carry parts; text is wrapped instead.
    teilen_->setEnabled(binary);
    if (!binary) teilen_->setChecked(false);
    emit teilen_->toggled(teilen_->isChecked());
    const bool typed = kindText_->isChecked();
    wrap_->setVisible(Protokoll() == filesend::kProtokollText);
    wrap_->setEnabled(typed && Protokoll() == filesend::kProtokollText);
    const bool canSign = pgp_ && !pgpKeys_.empty() && Protokoll() == filesend::kProtokollText;
    sign_->setEnabled(canSign);
    emit sign_->toggled(sign_->isChecked());
    UpdateButtons();
}

void TDateiSendenDlg::KindChanged() {
    const bool typed = kindText_->isChecked();
    // Typed text goes as text: the binary protocols do not take it.
    autobin_->setEnabled(!typed);
    didadit_->setEnabled(!typed);
    if (typed) text_->setChecked(true);
    ProtokollChanged();
}

// ---- navigation ---------------------------------------------------------------------------

bool TDateiSendenDlg::PageEnabled(int page) const {
    switch (page) {
        case kPageDateien:
            return kindFiles_->isChecked() && !filesLocked_;
        case kPageText:
            return kindText_->isChecked();
        default:
            return page >= 0 && page < kPageCount;
    }
}

int TDateiSendenDlg::Page() const {
    return pages_->currentIndex();
}

void TDateiSendenDlg::ShowPage(int page) {
    pages_->setCurrentIndex(page);
    if (page == kPageOptionen) FillParts();
    if (page == kPageText) textEdit_->setFocus();
    UpdateButtons();
}

void TDateiSendenDlg::Weiter() {
    if (Page() == kPageDateien) UpdateFileList();
    for (int p = Page() + 1; p < kPageCount; ++p) {
        if (PageEnabled(p)) {
            ShowPage(p);
            return;
        }
    }
}

void TDateiSendenDlg::Zurueck() {
    if (Page() == kPageDateien) UpdateFileList();
    for (int p = Page() - 1; p >= 0; --p) {
        if (PageEnabled(p)) {
            ShowPage(p);
            return;
        }
    }
}

std::shared_ptr<core::IVerbindung> TDateiSendenDlg::Verbindung() const {
    return ctx_.kanal ? ctx_.kanal->GetVerbindung() : nullptr;
}

bool TDateiSendenDlg::Connected() const {
    const auto v = Verbindung();
    return v && v->State() == core::kLinkConnected && v->DateiSendenQueue();
}

bool TDateiSendenDlg::TextTyped() const {
    return !textEdit_->document()->isEmpty();
}

bool TDateiSendenDlg::HasSomethingToSend() const {
    if (Protokoll() == 0) return false;
    if (kindText_->isChecked()) return TextTyped();
    return fileNames_->count() > 0;
}

bool TDateiSendenDlg::FinishEnabled() const {
    return HasSomethingToSend() && Connected();
}

void TDateiSendenDlg::UpdateButtons() {
    if (!finish_) return;
    int nextPage = -1, prevPage = -1;
    for (int p = Page() + 1; p < kPageCount && nextPage < 0; ++p)
        if (PageEnabled(p)) nextPage = p;
    for (int p = Page() - 1; p >= 0 && prevPage < 0; --p)
        if (PageEnabled(p)) prevPage = p;
    back_->setEnabled(prevPage >= 0);
    next_->setEnabled(nextPage >= 0);
    const bool finish = FinishEnabled();
    finish_->setEnabled(finish);
    finish_->setDefault(finish);
    next_->setDefault(!finish && nextPage >= 0);
}

void TDateiSendenDlg::UpdateTitle() {
    const auto v = Verbindung();
    const QString call = v ? Cp1252ToQString(v->Call()) : QString();
    setWindowTitle(tr("Senden - %1").arg(call.isEmpty() ? tr("nicht verbunden") : call));
}

// ---- channel and queue ----------------------------------------------------------------------

void TDateiSendenDlg::Resubscribe() {
    const auto v = Verbindung();
    auto q = v ? v->DateiSendenQueue() : nullptr;
    if (q == queue_) return;
    if (queue_) queue_->Unsubscribe(queueSubscriber_);
    queue_ = std::move(q);
    if (queue_) queue_->Subscribe(queueSubscriber_);
}

void TDateiSendenDlg::OnChannelChanged() {
    Resubscribe();
    UpdateTitle();
    RefreshQueue();
    UpdateButtons();
}

void TDateiSendenDlg::RefreshQueue() {
    queueList_->clear();
    if (!queue_ || !Verbindung()) {
        queueLabel_->setText(tr("Der Kanal ist nicht verbunden."));
        queueLabel_->setVisible(true);
        return;
    }
    // One consistent picture, taken under the queue's lock.
    const auto jobs = queue_->Items();
    for (const auto& job : jobs)
        if (job) queueList_->addItem(Cp1252ToQString(job->GetSendName()));
    queueLabel_->setText(jobs.empty()
                             ? tr("Derzeit befinden sich keine Dateien in der Sendewarteschlange.")
                             : QString());
    queueLabel_->setVisible(jobs.empty());
}

// ---- files and parts --------------------------------------------------------------------------

void TDateiSendenDlg::AddFiles() {
    std::vector<std::filesystem::path> names;
    for (int i = 0; i < fileNames_->count(); ++i)
        names.push_back(FromShown(fileNames_->item(i)->text()));
    const std::size_t before = names.size();
    filesend::AddNames(names, chooseFiles ? chooseFiles() : std::vector<std::filesystem::path>{});
    for (std::size_t i = before; i < names.size(); ++i) fileNames_->addItem(Shown(names[i]));
    UpdateButtons();
}

void TDateiSendenDlg::RemoveFiles() {
    qDeleteAll(fileNames_->selectedItems());
    UpdateButtons();
}

void TDateiSendenDlg::UpdateFileList() {
    std::vector<std::filesystem::path> names;
    for (int i = 0; i < fileNames_->count(); ++i)
        names.push_back(FromShown(fileNames_->item(i)->text()));
    dateien_.Update(names);
}

void TDateiSendenDlg::FillParts() {
    const int current =
        parts_->currentItem() ? parts_->indexOfTopLevelItem(parts_->currentItem()) : 0;
    parts_->clear();
    const int size = partSize_->text().toInt();
    for (const filesend::TSendeDatei& f : dateien_.Items()) {
        auto* item = new QTreeWidgetItem(parts_);
        item->setText(0, Shown(f.name.filename()));
        item->setToolTip(0, Shown(f.name));
        item->setText(1, QString::fromStdString(filesend::SizeText(f.size)));
        item->setText(2, QString::fromStdString(filesend::PartCountText(f.size, size)));
        item->setText(3, Cp1252ToQString(filesend::PartRemark(f)));
    }
    if (parts_->topLevelItemCount() > 0)
        parts_->setCurrentItem(
            parts_->topLevelItem(std::min(current, parts_->topLevelItemCount() - 1)));
    parts_->resizeColumnToContents(0);
}

void TDateiSendenDlg::PartSizeEdited() {
    dateien_.SetPartSize(partSize_->text().toInt());
    FillParts();
}

void TDateiSendenDlg::PartSizeLeft() {
    const int size = filesend::ClampPartSize(partSize_->text().toInt());
    partSize_->setText(QString::number(size));
    dateien_.SetPartSize(size);
    FillParts();
}

void TDateiSendenDlg::ChooseParts() {
    QTreeWidgetItem* item = parts_->currentItem();
    if (!item || !parts_->isEnabled()) return;
    PartSizeLeft();
    const int index = parts_->indexOfTopLevelItem(parts_->currentItem());
    if (index < 0 || index >= dateien_.Count()) return;
    // A set of more parts is refused when sent; listing them all would stall.
    if (dateien_.Items()[index].parts > filesend::TDateiSendenPraeprozessor::kMaxParts) {
        Ask(windowTitle(),
            tr("Zu viele Teile (höchstens %1): bitte eine größere Teilgröße wählen.")
                .arg(filesend::TDateiSendenPraeprozessor::kMaxParts),
            1u << core::kBitOk);
        return;
    }
    TDateiSendenTeileAuswahlDlg chooser(Shown(dateien_.Items()[index].name.filename()),
                                        dateien_.Checks(index), this);
    if (chooser.exec() != QDialog::Accepted) return;
    dateien_.SetParts(index, chooser.Checks());
    FillParts();
}

// ---- mailbox texts ---------------------------------------------------------------------------

filesend::TDateiSendenVorlagen& TDateiSendenDlg::Vorlagen(bool before) {
    auto& list = before ? vorher_ : nachher_;
    if (!list) {
        static platform::FileRegistry none;
        platform::IRegistry& registry = ctx_.registry ? *ctx_.registry : none;
        list.emplace(before ? filesend::TDateiSendenVorlagen::Vorher(registry)
                            : filesend::TDateiSendenVorlagen::Nachher(registry));
    }
    return *list;
}

void TDateiSendenDlg::FillTemplateMenu(QMenu* menu, bool before) {
    menu->clear();
    filesend::TDateiSendenVorlagen& list = Vorlagen(before);
    const auto measure = TextWidthIn(menu->font());
    QPlainTextEdit* field = before ? before_ : after_;
    for (int i = 0; i < list.GetCount(); ++i) {
        const std::string text = list.GetItem(i);
        QAction* a =
            menu->addAction(Cp1252ToQString(list.GetCaption(i, kMenuCaptionWidth, measure)));
        connect(a, &QAction::triggered, this,
                [field, text] { field->setPlainText(Cp1252ToQString(filesend::FieldText(text))); });
    }
    menu->addSeparator();
    QAction* edit = menu->addAction(tr("Vorlagen bearbeiten..."));
    connect(edit, &QAction::triggered, this, [this, before] { EditTemplates(before); });
}

void TDateiSendenDlg::EditTemplates(bool before) {
    TDateiSendenVorlagenDlg editor(Vorlagen(before), this);
    editor.exec();
}

std::string TDateiSendenDlg::MailboxField(const QCheckBox* on, const QPlainTextEdit* field) const {
    if (!on->isChecked()) return {};
    return filesend::MailboxText(QStringToCp1252(field->toPlainText()));
}

void TDateiSendenDlg::RestoreHistory() {
    if (!ctx_.config) return;
    const auto read = [this](std::string_view name) {
        return Cp1252ToQString(filesend::FieldText(
            ctx_.config->ReadString(core::TConfig::Hive::CurrentUser, kVerlaufKey, name)));
    };
    before_->setPlainText(read(kVerlaufVorher));
    after_->setPlainText(read(kVerlaufNachher));
}

void TDateiSendenDlg::StoreHistory() {
    if (!ctx_.config) return;
    // A failure to store the history does not stop the sending.
    ctx_.config->WriteString(core::TConfig::Hive::CurrentUser, kVerlaufKey, kVerlaufVorher,
                             StoredText(before_->toPlainText()));
    ctx_.config->WriteString(core::TConfig::Hive::CurrentUser, kVerlaufKey, kVerlaufNachher,
                             StoredText(after_->toPlainText()));
    if (sign_->isEnabled() && sign_->isChecked())
        ctx_.config->SetPgpComment(QStringToCp1252(comment_->text()));
}

// ---- finishing --------------------------------------------------------------------------------

int TDateiSendenDlg::Ask(const QString& title, const QString& text, unsigned buttons) {
    return ask(QStringToCp1252(title), QStringToCp1252(text), buttons);
}

bool TDateiSendenDlg::Fertigstellen() {
    if (!FinishEnabled()) return false;
    const bool signing = sign_->isEnabled() && sign_->isChecked() && pgp_;
    const std::string key = keys_->currentData().toString().toStdString();
    // The key ring takes passphrases as UTF-8, as its own prompt enters them.
    const std::string password = password_->text().toStdString();
    if (signing) {
        // A trial signature: only the type of its failure tells a wrong password.
        bool right = true;
        try {
            pgp_->Sign(key, password, {}, "Tarvo\r");
        } catch (const platform::PgpBadPassphrase&) {
            right = false;
        } catch (const std::exception& e) {
            core::DebOutObj(kClass, "Fertigstellen", e.what());
            Ask(QStringLiteral("PGP"), QString::fromLocal8Bit(e.what()), 1u << core::kBitOk);
            ShowPage(kPagePGP);
            return false;
        }
        if (!right) {
            Ask(QStringLiteral("PGP"), tr("Falsches Passwort."), 1u << core::kBitOk);
            ShowPage(kPagePGP);
            password_->selectAll();
            password_->setFocus();
            return false;
        }
    }
    StoreHistory();

    const auto v = Verbindung();
    const std::int32_t protokoll = Protokoll();
    const std::string before = MailboxField(beforeOn_, before_);
    const std::string after = MailboxField(afterOn_, after_);
    const bool split = teilen_->isEnabled() && teilen_->isChecked();
    const std::string comment = QStringToCp1252(comment_->text());
    auto prepare = [&](filesend::TDateiSendenPraeprozessor& p) {
        p.SetVerbindung(v);
        p.SetProtokoll(protokoll);
        p.SetTextBefore(before);
        p.SetTextAfter(after);
        p.SetPartSize(0);
        if (signing) {
            p.SetSign(true);
            p.SetPGPKey(key);
            p.SetPGPPassword(password);
            p.SetPGPComment(comment);
        }
    };
    std::string errors;
    auto report = [&](const filesend::TPraeprozessorErgebnis& result) {
        if (result.error.empty()) return;
        if (!errors.empty()) errors += "\r\r";
        errors += result.error;
    };

    if (kindText_->isChecked()) {
        const std::vector<std::string> lines =
            core::TextLines(QStringToCp1252(textEdit_->toPlainText()));
        filesend::TDateiSendenPraeprozessor p;
        prepare(p);
        p.SetStream(std::make_unique<core::TMemoryStream>(
            filesend::TextToSend(lines, wrap_->isEnabled() && wrap_->isChecked())));
        p.SetFileName("???");
        report(p.Run());
    } else {
        UpdateFileList();
        if (split) dateien_.SetPartSize(filesend::ClampPartSize(partSize_->text().toInt()));
        for (const filesend::TSendeDatei& file : dateien_.Items()) {
            // The file is opened when its job runs (split files now, to cut
            // them); here it only has to be there and readable.
            bool readable = filesend::FileReadable(file.name);
            while (!readable &&
                   Ask(tr("Fehler"),
                       tr("Datei konnte nicht geöffnet werden. Noch einmal versuchen?") +
                           QStringLiteral("\n") + Shown(file.name),
                       (1u << core::kBitJa) | (1u << core::kBitNein)) == core::mrYes)
                readable = filesend::FileReadable(file.name);
            if (!readable) continue;
            filesend::TDateiSendenPraeprozessor p;
            prepare(p);
            p.SetFile(file.name);
            if (split) {
                p.SetPartSize(dateien_.PartSize());
                p.SetPartCount(file.parts);
                p.SetAllParts(file.allParts);
                for (int i = 0; !file.allParts && i < file.parts; ++i)
                    p.SetPartSelected(i, file.PartSelected(i));
            }
            report(p.Run());
        }
    }
    if (!errors.empty()) Ask(QStringLiteral("Tarvo"), Cp1252ToQString(errors), 1u << core::kBitOk);
    noQuestion_ = true;
    close();
    return true;
}

void TDateiSendenDlg::reject() {
    if (!noQuestion_ && TextTyped() &&
        Ask(windowTitle(), tr("Texteingabe wirklich abbrechen?"),
            (1u << core::kBitJa) | (1u << core::kBitNein)) != core::mrYes)
        return;
    QDialog::reject();
}

void TDateiSendenDlg::done(int result) {
    // Closed is gone: asking again makes a fresh dialog.
    std::erase_if(Instances(), [this](const QPointer<TDateiSendenDlg>& d) {
        return d.isNull() || d.data() == this;
    });
    QDialog::done(result);
    if (testAttribute(Qt::WA_DeleteOnClose)) deleteLater();
}

void TDateiSendenDlg::keyPressEvent(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods =
        e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    // Function keys select channels as in the main window.
    if (e->key() >= Qt::Key_F1 && e->key() <= Qt::Key_F12 && mods == Qt::NoModifier &&
        parentWidget()) {
        QKeyEvent copy(QEvent::KeyPress, e->key(), Qt::NoModifier);
        QCoreApplication::sendEvent(parentWidget()->window(), &copy);
        return;
    }
    QDialog::keyPressEvent(e);
}

void TDateiSendenDlg::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    // The link may have changed while another window had the focus.
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) OnChannelChanged();
}

// ---- the part chooser ---------------------------------------------------------------------

TDateiSendenTeileAuswahlDlg::TDateiSendenTeileAuswahlDlg(const QString& fileName,
                                                         const std::vector<bool>& checks,
                                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TDateiSendenTeileAuswahlDlg"));
    setWindowTitle(fileName);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (std::size_t i = 0; i < checks.size(); ++i) {
        const int part = static_cast<int>(i) + 1;
        auto* item = new QListWidgetItem(
            tr("Teil %1 (.B%2)")
                .arg(part, 3, 10, QLatin1Char('0'))
                .arg(QString::number(part, 16).toUpper().rightJustified(2, QLatin1Char('0'))),
            list_);
        // Checked only through the rule below, never one line by Qt itself.
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(checks[i] ? Qt::Checked : Qt::Unchecked);
    }
    if (list_->count() > 0) list_->setCurrentRow(0);
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
    auto* ok = new QPushButton(tr("OK"));
    auto* cancel = new QPushButton(tr("Abbrechen"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
}

std::vector<bool> TDateiSendenTeileAuswahlDlg::Checks() const {
    std::vector<bool> checks(static_cast<std::size_t>(list_->count()));
    for (int i = 0; i < list_->count(); ++i)
        checks[static_cast<std::size_t>(i)] = list_->item(i)->checkState() == Qt::Checked;
    return checks;
}

void TDateiSendenTeileAuswahlDlg::ToggleSelected() {
    std::vector<bool> checks = Checks();
    std::vector<int> selected;
    for (QListWidgetItem* item : list_->selectedItems()) selected.push_back(list_->row(item));
    filesend::ToggleChecks(checks, selected);
    for (int i = 0; i < list_->count(); ++i)
        list_->item(i)->setCheckState(checks[static_cast<std::size_t>(i)] ? Qt::Checked
                                                                          : Qt::Unchecked);
}

bool TDateiSendenTeileAuswahlDlg::eventFilter(QObject* watched, QEvent* e) {
    if (watched == list_ && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space) {
        ToggleSelected();
        return true;
    }
    if (watched == list_->viewport() && e->type() == QEvent::MouseButtonPress) {
        const QPoint pos = static_cast<QMouseEvent*>(e)->position().toPoint();
        QListWidgetItem* item = list_->itemAt(pos);
        if (item) {
            QStyleOptionViewItem option;
            option.initFrom(list_);
            option.rect = list_->visualItemRect(item);
            option.features = QStyleOptionViewItem::HasCheckIndicator;
            const QRect check = list_->style()->subElementRect(
                QStyle::SE_ItemViewItemCheckIndicator, &option, list_);
            if (check.contains(pos)) {
                // A click on an unselected line's box works on that line alone.
                if (!item->isSelected()) {
                    list_->clearSelection();
                    item->setSelected(true);
                }
                ToggleSelected();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, e);
}

// ---- the template editor ---------------------------------------------------------------------

TDateiSendenVorlagenDlg::TDateiSendenVorlagenDlg(filesend::TDateiSendenVorlagen& vorlagen,
                                                 QWidget* parent)
    : QDialog(parent), vorlagen_(vorlagen) {
    setObjectName(QStringLiteral("TDateiSendenVorlagenDlg"));
    setWindowTitle(tr("Datei senden - Vorlagen"));
    for (int i = 0; i < vorlagen_.GetCount(); ++i)
        items_.push_back(Cp1252ToQString(filesend::FieldText(vorlagen_.GetItem(i))));
    list_ = new QListWidget(this);
    for (const QString& text : items_) list_->addItem(Caption(text));
    editor_ = new QPlainTextEdit(this);
    editor_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* add = new QPushButton(tr("Hinzufügen"));
    remove_ = new QPushButton(tr("Entfernen"));
    auto* ok = new QPushButton(tr("OK"));
    auto* cancel = new QPushButton(tr("Abbrechen"));
    ok->setDefault(true);
    connect(list_, &QListWidget::currentRowChanged, this, &TDateiSendenVorlagenDlg::Select);
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        if (current_ < 0) return;
        StoreEditor();
        list_->item(current_)->setText(Caption(items_[static_cast<std::size_t>(current_)]));
    });
    connect(add, &QPushButton::clicked, this, [this] {
        items_.emplace_back();
        list_->addItem(QString());
        list_->setCurrentRow(list_->count() - 1);
        editor_->setFocus();
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int row = current_;
        if (row < 0) return;
        current_ = -1;
        items_.erase(items_.begin() + row);
        delete list_->takeItem(row);
        Select(list_->currentRow());
    });
    connect(ok, &QPushButton::clicked, this, &TDateiSendenVorlagenDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* side = new QVBoxLayout;
    side->addWidget(add);
    side->addWidget(remove_);
    side->addStretch();
    side->addWidget(ok);
    side->addWidget(cancel);
    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(editor_, 1);
    if (list_->count() > 0)
        list_->setCurrentRow(0);
    else
        Select(-1);
    resize(480, 360);
}

QString TDateiSendenVorlagenDlg::Caption(const QString& text) const {
    const std::string stored = filesend::MailboxText(QStringToCp1252(text));
    return Cp1252ToQString(filesend::TemplateCaption(stored, 400, TextWidthIn(list_->font())));
}

void TDateiSendenVorlagenDlg::StoreEditor() {
    if (current_ >= 0 && current_ < static_cast<int>(items_.size()))
        items_[static_cast<std::size_t>(current_)] = editor_->toPlainText();
}

void TDateiSendenVorlagenDlg::Select(int row) {
    current_ = -1;  // no store while the editor is refilled
    editor_->setPlainText(row >= 0 && row < static_cast<int>(items_.size())
                              ? items_[static_cast<std::size_t>(row)]
                              : QString());
    editor_->setEnabled(row >= 0);
    remove_->setEnabled(row >= 0);
    current_ = row;
}

void TDateiSendenVorlagenDlg::accept() {
    StoreEditor();
    vorlagen_.SetCount(static_cast<int>(items_.size()));
    for (std::size_t i = 0; i < items_.size(); ++i)
        vorlagen_.SetItem(static_cast<int>(i), filesend::MailboxText(QStringToCp1252(items_[i])));
    vorlagen_.Save();
    QDialog::accept();
}

}  // namespace tarvo::ui
