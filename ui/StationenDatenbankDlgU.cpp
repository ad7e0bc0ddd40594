#include "ui/StationenDatenbankDlgU.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/GlobalU.h"
#include "core/InterfacesU.h"
#include "ui/MessageboxU.h"
#include "ui/PlainTextU.h"
#include "ui/RemoteCommandsFormU.h"
#include "ui/RichEditTarvoU.h"

namespace tarvo::ui {

namespace {

// Stored texts break lines with CR; the editors with LF.
QString ShownLines(const std::string& cp1252) {
    std::string text = cp1252;
    for (char& c : text)
        if (c == '\r') c = '\n';
    return Cp1252ToQString(text);
}

std::string StoredLines(const QString& shown) {
    std::string text = QStringToCp1252(shown);
    for (char& c : text)
        if (c == '\n') c = '\r';
    return text;
}

QString Q(std::string_view cp1252) {
    return Cp1252ToQString(cp1252);
}

}  // namespace

// ---- password dialog ------------------------------------------------------------------------

TStationenDatenbankPasswortDlg::TStationenDatenbankPasswortDlg(
    const std::vector<std::string>& myCalls, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Passwort hinzufügen..."));
    auto* form = new QFormLayout(this);
    call_ = new QComboBox(this);
    for (const std::string& c : myCalls) call_->addItem(Q(c));
    role_ = new QComboBox(this);
    for (int r = 0; r < 2; ++r) role_->addItem(Q(stations::PasswordRoleName(r)));
    method_ = new QComboBox(this);
    for (int m = 0; m < 3; ++m) method_->addItem(Q(stations::PasswordMethodName(m)));
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    form->addRow(tr("Eigenes Rufzeichen:"), call_);
    form->addRow(tr("Rolle:"), role_);
    form->addRow(tr("Verfahren:"), method_);
    form->addRow(tr("Passwort:"), password_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void TStationenDatenbankPasswortDlg::Load(const stations::TPasswordRow& row,
                                          const std::string& password) {
    setWindowTitle(tr("Passwort bearbeiten..."));
    call_->clear();
    call_->addItem(Q(row.myCall));
    call_->setEnabled(false);
    role_->setCurrentIndex(row.role);
    method_->setCurrentIndex(row.method);
    password_->setText(Q(password));
}

std::string TStationenDatenbankPasswortDlg::MyCall() const {
    return QStringToCp1252(call_->currentText());
}
int TStationenDatenbankPasswortDlg::Role() const {
    return role_->currentIndex();
}
int TStationenDatenbankPasswortDlg::Method() const {
    return method_->currentIndex();
}
std::string TStationenDatenbankPasswortDlg::Password() const {
    return QStringToCp1252(password_->text());
}

// ---- station dialog -------------------------------------------------------------------------

TStationenDatenbankDlg::TStationenDatenbankDlg(
    std::shared_ptr<stations::TStationenDatenbank> database, int generalPolicy,
    std::vector<std::string> myCalls, QWidget* parent)
    : QDialog(parent), model_(std::move(database), generalPolicy), myCalls_(std::move(myCalls)) {
    setWindowTitle(tr("Stationen"));
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    search_ = new QLineEdit(this);
    search_->setPlaceholderText(tr("Suchen"));
    search_->setClearButtonEnabled(true);
    list_ = new QListWidget(this);
    list_->setUniformItemSizes(true);
    auto* add = new QPushButton(tr("&Hinzuf."), this);
    auto* remove = new QPushButton(tr("&Entf."), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    left->addWidget(search_);
    left->addWidget(list_, 1);
    left->addLayout(buttons);
    top->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    heading_ = new QLabel(this);
    pages_ = new QTabWidget(this);
    right->addWidget(heading_);
    right->addWidget(pages_, 1);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    close->button(QDialogButtonBox::Close)->setText(tr("Schließen"));
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    right->addWidget(close);
    top->addLayout(right, 3);

    BuildStationPage();
    BuildTextPage();
    BuildSoundPage();
    BuildPasswordPage();
    BuildRemotePage();

    connect(search_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int row = model_.Find(QStringToCp1252(text));
        if (row >= 0) list_->setCurrentRow(row);
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { SelectRow(row); });
    connect(add, &QPushButton::clicked, this, [this] { AddStation(); });
    connect(remove, &QPushButton::clicked, this, [this] { RemoveStation(); });
    FillList();
    SelectRow(-1);
}

TStationenDatenbankDlg::~TStationenDatenbankDlg() = default;

void TStationenDatenbankDlg::BuildStationPage() {
    auto* page = new QWidget(pages_);
    auto* form = new QFormLayout(page);
    name_ = new QLineEdit(page);
    name_->setMaxLength(static_cast<int>(stations::kNameLimit));
    type_ = new QComboBox(page);
    for (int t = 0; t <= 5; ++t) type_->addItem(Q(core::StationTypeCaption(t)));
    firewall_ = new QCheckBox(tr("Firewall"), page);
    policy_ = new QComboBox(page);
    for (const QString& p : {tr("annehmen"), tr("ignorieren"), tr("abweisen")}) policy_->addItem(p);
    connect(firewall_, &QCheckBox::toggled, policy_, &QWidget::setEnabled);
    auto* incoming = new QHBoxLayout;
    incoming->addWidget(firewall_);
    incoming->addWidget(policy_, 1);
    notes_ = new QPlainTextEdit(page);
    form->addRow(tr("Name:"), name_);
    form->addRow(tr("Typ:"), type_);
    form->addRow(tr("Ankommende Verbindungen:"), incoming);
    form->addRow(tr("Notizen:"), notes_);
    pages_->addTab(page, tr("Station"));
}

void TStationenDatenbankDlg::BuildTextPage() {
    auto* page = new QWidget(pages_);
    auto* v = new QVBoxLayout(page);
    textKinds_ = new QComboBox(page);
    for (int k = 0; k < stations::kTextKinds; ++k)
        if (stations::StationTextKind(k)) textKinds_->addItem(Q(stations::TextKindLabel(k)), k);
    textFlag_ = new QCheckBox(tr("&Vorher Standardtext senden"), page);
    text_ = new QPlainTextEdit(page);
    v->addWidget(textKinds_);
    v->addWidget(textFlag_);
    v->addWidget(text_, 1);
    connect(textKinds_, &QComboBox::currentIndexChanged, this, [this] {
        CollectText();
        ShowText();
    });
    pages_->addTab(page, tr("Texte"));
}

void TStationenDatenbankDlg::BuildSoundPage() {
    auto* page = new QWidget(pages_);
    auto* form = new QFormLayout(page);
    soundEvents_ = new QComboBox(page);
    for (int e = 0; e < stations::kStationSoundEvents; ++e)
        soundEvents_->addItem(Q(stations::SoundEventLabel(e)), e);
    signal_ = new QComboBox(page);
    signal_->addItem(tr("(allgemein)"));
    for (int s = 1; s <= 3; ++s) signal_->addItem(Q(stations::SignalName(s)));
    waveFile_ = new QLineEdit(page);
    announcement_ = new QComboBox(page);
    announcement_->addItem(tr("(allgemein)"));
    for (int a = 1; a <= 3; ++a) announcement_->addItem(Q(stations::AnnouncementName(a)));
    form->addRow(tr("Ereignis:"), soundEvents_);
    form->addRow(tr("Signal:"), signal_);
    form->addRow(tr("Wave-Datei:"), waveFile_);
    form->addRow(tr("Ansage:"), announcement_);
    connect(soundEvents_, &QComboBox::currentIndexChanged, this, [this] {
        CollectSound();
        ShowSound();
    });
    pages_->addTab(page, tr("Klänge"));
}

void TStationenDatenbankDlg::BuildPasswordPage() {
    auto* page = new QWidget(pages_);
    auto* v = new QVBoxLayout(page);
    passwords_ = new QTreeWidget(page);
    passwords_->setRootIsDecorated(false);
    passwords_->setHeaderLabels({tr("Eigenes Rufzeichen"), tr("Rolle"), tr("Verfahren")});
    auto* add = new QPushButton(tr("Hinzufügen..."), page);
    auto* edit = new QPushButton(tr("Bearbeiten..."), page);
    auto* remove = new QPushButton(tr("Ent&fernen"), page);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(edit);
    buttons->addWidget(remove);
    v->addWidget(passwords_, 1);
    v->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this] { EditPassword(true); });
    connect(edit, &QPushButton::clicked, this, [this] { EditPassword(false); });
    connect(passwords_, &QTreeWidget::itemDoubleClicked, this, [this] { EditPassword(false); });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (auto* item = passwords_->currentItem()) {
            model_.DeletePassword(item->data(0, Qt::UserRole).toString().toStdString());
            ShowPasswords();
        }
    });
    pages_->addTab(page, tr("Passwörter"));
}

void TStationenDatenbankDlg::BuildRemotePage() {
    remote_ = new TRemoteCommandsForm(stations::RemoteCommandManager(), true, pages_);
    pages_->addTab(remote_, tr("Fernst."));
}

void TStationenDatenbankDlg::FillList() {
    const QSignalBlocker block(list_);
    list_->clear();
    for (const std::string& key : model_.Keys()) list_->addItem(Q(key));
    list_->setCurrentRow(model_.Selected());
}

void TStationenDatenbankDlg::SelectRow(int row) {
    if (row >= 0 && row == model_.Selected()) return;
    Collect();
    model_.Select(row);
    Show();
}

void TStationenDatenbankDlg::StoreStation() {
    Collect();
    model_.Store();
}

void TStationenDatenbankDlg::done(int result) {
    StoreStation();
    QDialog::done(result);
}

void TStationenDatenbankDlg::Collect() {
    if (model_.Selected() < 0) return;
    stations::TStationFields& f = model_.Fields();
    f.name = QStringToCp1252(name_->text());
    f.notes = StoredLines(notes_->toPlainText());
    f.typeIndex = type_->currentIndex();
    f.firewall = firewall_->isChecked();
    f.policyIndex = policy_->currentIndex();
    CollectText();
    CollectSound();
    f.remote = remote_->Station();
}

void TStationenDatenbankDlg::Show() {
    const bool any = model_.Selected() >= 0;
    pages_->setEnabled(any);
    heading_->setText(Q(model_.Heading()));
    const stations::TStationFields& f = model_.Fields();
    name_->setText(Q(f.name));
    notes_->setPlainText(ShownLines(f.notes));
    type_->setCurrentIndex(f.typeIndex);
    firewall_->setChecked(f.firewall);
    policy_->setCurrentIndex(f.policyIndex);
    policy_->setEnabled(f.firewall);
    textKind_ = -1;
    ShowText();
    soundEvent_ = -1;
    ShowSound();
    ShowPasswords();
    remote_->SetStation(f.remote);
}

void TStationenDatenbankDlg::CollectText() {
    if (textKind_ < 0 || model_.Selected() < 0) return;
    auto& t = model_.Fields().texts[static_cast<std::size_t>(textKind_)];
    t.flag = textFlag_->isChecked();
    t.text = StoredLines(text_->toPlainText());
}

void TStationenDatenbankDlg::ShowText() {
    textKind_ = textKinds_->currentData().toInt();
    const auto& t = model_.Fields().texts[static_cast<std::size_t>(textKind_)];
    textFlag_->setChecked(t.flag);
    text_->setPlainText(ShownLines(t.text));
}

void TStationenDatenbankDlg::CollectSound() {
    if (soundEvent_ < 0 || model_.Selected() < 0) return;
    auto& s = model_.Fields().sounds[static_cast<std::size_t>(soundEvent_)];
    s.signal = signal_->currentIndex();
    s.waveFile = QStringToCp1252(waveFile_->text());
    s.announcement = announcement_->currentIndex();
}

void TStationenDatenbankDlg::ShowSound() {
    soundEvent_ = soundEvents_->currentData().toInt();
    const auto& s = model_.Fields().sounds[static_cast<std::size_t>(soundEvent_)];
    signal_->setCurrentIndex(s.signal >= 0 && s.signal <= 3 ? s.signal : 0);
    waveFile_->setText(Q(s.waveFile));
    announcement_->setCurrentIndex(s.announcement >= 0 && s.announcement <= 3 ? s.announcement : 0);
    announcement_->setEnabled(stations::SoundEventAnnouncement(soundEvent_));
}

void TStationenDatenbankDlg::ShowPasswords() {
    passwords_->clear();
    for (const stations::TPasswordRow& row : model_.Passwords()) {
        auto* item = new QTreeWidgetItem(passwords_);
        item->setText(0, Q(row.myCall));
        item->setText(1, Q(stations::PasswordRoleName(row.role)));
        item->setText(2, Q(stations::PasswordMethodName(row.method)));
        item->setData(0, Qt::UserRole, QString::fromStdString(row.stream));
    }
}

void TStationenDatenbankDlg::EditPassword(bool add) {
    if (model_.Selected() < 0) return;
    TStationenDatenbankPasswortDlg dlg(myCalls_, this);
    std::string old;
    if (!add) {
        const QTreeWidgetItem* item = passwords_->currentItem();
        if (!item) return;
        old = item->data(0, Qt::UserRole).toString().toStdString();
        for (const stations::TPasswordRow& row : model_.Passwords())
            if (row.stream == old) dlg.Load(row, model_.Password(old));
    }
    if (dlg.exec() != QDialog::Accepted) return;
    if (!model_.SavePassword(old, dlg.MyCall(), dlg.Role(), dlg.Method(), dlg.Password()))
        core::SystemBeep();
    ShowPasswords();
}

void TStationenDatenbankDlg::AddStation() {
    QString text;
    for (;;) {
        bool ok = false;
        text = QInputDialog::getText(this, tr("Stationen"), tr("Neues Rufzeichen..."),
                                     QLineEdit::Normal, text, &ok);
        if (!ok) return;
        if (stations::TStationenDatenbankDlgModell::NewCall(QStringToCp1252(text))) break;
        TDlgMessage::Run(this, "Tarvo", QStringToCp1252(tr("Ungültiges Rufzeichen")),
                         1u << core::kBitOk);
    }
    Collect();
    const int row = model_.Add(QStringToCp1252(text));
    FillList();
    Show();
    if (row >= 0) list_->scrollToItem(list_->item(row));
}

void TStationenDatenbankDlg::RemoveStation() {
    const int row = list_->currentRow();
    if (row < 0) return;
    if (TDlgMessage::Run(this, "Tarvo", QStringToCp1252(tr("Station wirklich entfernen?")),
                         (1u << core::kBitOk) | (1u << core::kBitAbbrechen)) != core::mrOk)
        return;
    Collect();
    if (!model_.Remove(row)) {
        core::SystemBeep();
        return;
    }
    FillList();
    Show();
}

}  // namespace tarvo::ui
