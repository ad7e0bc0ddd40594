#include "ui/BefehlConnectU.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/MessageboxU.h"
#include "ui/PlainTextU.h"
#include "ui/RichEditTarvoU.h"

namespace tarvo::ui {

namespace {

QComboBox* EditableList(QWidget* parent, const QString& name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(20);
    box->lineEdit()->setMaxLength(256);
    // The station field completes from its history itself.
    box->setCompleter(nullptr);
    return box;
}

}  // namespace

TDlgBefehlConnect::TDlgBefehlConnect(std::unique_ptr<channels::TBefehlConnect> model,
                                     QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
    setWindowTitle(Cp1252ToQString(model_->Title()));
    setObjectName(QStringLiteral("TDlgBefehlConnect"));
    showMessage_ = [](QWidget* owner, const std::string& title, const std::string& text) {
        TDlgMessage::Run(owner, title, text, 1u << 2);
    };

    station_ = EditableList(this, QStringLiteral("Station"));
    for (const auto& e : model_->StationHistory().Entries())
        station_->addItem(Cp1252ToQString(e.text));
    station_->setEditText(Cp1252ToQString(model_->InitialStation()));

    myCall_ = EditableList(this, QStringLiteral("EigenesRufzeichen"));
    for (const std::string& c : model_->MyCallChoices()) myCall_->addItem(Cp1252ToQString(c));
    myCall_->setEditText(Cp1252ToQString(model_->InitialMyCall()));

    kanaele_ = new QListWidget(this);
    kanaele_->setObjectName(QStringLiteral("Kanaele"));
    for (const std::string& n : model_->RadioChannelNames()) kanaele_->addItem(Cp1252ToQString(n));
    if (auto i = model_->InitialRadioChannel()) kanaele_->setCurrentRow(static_cast<int>(*i));

    auto* form = new QFormLayout;
    form->addRow(Cp1252ToQString(model_->StationLabel()), station_);
    form->addRow(tr("Eigenes Rufzeichen"), myCall_);
    form->addRow(tr("Kanäle"), kanaele_);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok_->setDefault(true);
    buttons->addButton(tr("Abbrechen"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(station_, &QComboBox::editTextChanged, this, [this] { UpdateOk(); });
    connect(myCall_, &QComboBox::editTextChanged, this, [this] { UpdateOk(); });
    connect(station_, qOverload<int>(&QComboBox::activated), this,
            [this](int i) { HistoryChosen(i); });
    connect(station_->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& typed) { CompleteStation(typed); });
    UpdateOk();
    station_->setFocus();
    station_->lineEdit()->selectAll();
}

TDlgBefehlConnect::~TDlgBefehlConnect() {
    model_->Close();
}

void TDlgBefehlConnect::UpdateOk() {
    ok_->setEnabled(model_->OkEnabled(QStringToCp1252(station_->currentText()),
                                      QStringToCp1252(myCall_->currentText())));
}

void TDlgBefehlConnect::CompleteStation(const QString& typed) {
    // Only while typing on: deleting must not bring the completion back.
    const bool longer = typed.size() > typedStation_.size();
    typedStation_ = typed;
    if (!longer) return;
    const auto i = model_->StationHistory().Complete(QStringToCp1252(typed));
    if (!i) return;
    const QString full = Cp1252ToQString(model_->StationHistory().Entries()[*i].text);
    if (full.size() <= typed.size()) return;
    QLineEdit* e = station_->lineEdit();
    e->setText(typed + full.mid(typed.size()));
    e->setSelection(static_cast<int>(typed.size()), static_cast<int>(full.size() - typed.size()));
}

void TDlgBefehlConnect::HistoryChosen(int index) {
    if (index < 0) return;
    if (auto rc = model_->RadioChannelOfEntry(static_cast<std::size_t>(index)))
        kanaele_->setCurrentRow(static_cast<int>(*rc));
}

void TDlgBefehlConnect::accept() {
    if (!ok_->isEnabled()) return;
    const int row = kanaele_->currentRow();
    const auto result = model_->Ok(
        QStringToCp1252(station_->currentText()), QStringToCp1252(myCall_->currentText()),
        row >= 0 ? std::optional<std::size_t>(static_cast<std::size_t>(row)) : std::nullopt);
    if (!result.close) {
        if (!result.message.empty())
            showMessage_(this, QStringToCp1252(tr("Verbinden")), result.message);
        return;
    }
    connectedChannel_ = result.channel;
    QDialog::accept();
}

void TDlgBefehlConnect::done(int result) {
    // The histories are stored and the channel let go as the dialog closes.
    model_->Close();
    QDialog::done(result);
}

void TDlgBefehlConnect::keyPressEvent(QKeyEvent* e) {
    const int k = e->key();
    if (k >= Qt::Key_F1 && k <= Qt::Key_F12 && e->modifiers() == Qt::NoModifier) {
        const int row = k - Qt::Key_F1;
        if (row < kanaele_->count()) {
            kanaele_->setCurrentRow(row);
        } else {
            QApplication::beep();
        }
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

// ---- TDlgBefehl ----------------------------------------------------------------

TDlgBefehl::TDlgBefehl(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Befehl"));
    setObjectName(QStringLiteral("TDlgBefehl"));
    auto* layout = new QVBoxLayout(this);
    const auto add = [&](const QString& caption, const char* name, TChoice choice) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, choice] { Choose(choice); });
        layout->addWidget(b);
        return b;
    };
    add(tr("Verbinden (&C)"), "Verbinden", kConnect);
    add(tr("Trennen (&D)"), "Trennen", kDisconnect);
    add(QStringLiteral("&//"), "Fernsteuerbefehl", kRemote);
    add(tr("Abbrechen"), "Abbrechen", kNone);
}

void TDlgBefehl::Choose(TChoice choice) {
    choice_ = choice;
    if (choice == kNone) {
        reject();
    } else {
        accept();
    }
}

void TDlgBefehl::keyPressEvent(QKeyEvent* e) {
    if (!(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        switch (e->key()) {
            case Qt::Key_C:
            case Qt::Key_V:
                Choose(kConnect);
                return;
            case Qt::Key_D:
            case Qt::Key_T:
                Choose(kDisconnect);
                return;
            case Qt::Key_Slash:
                Choose(kRemote);
                return;
            default:
                break;
        }
        if (e->text() == QStringLiteral("/")) {
            Choose(kRemote);
            return;
        }
    }
    QDialog::keyPressEvent(e);
}

}  // namespace tarvo::ui
