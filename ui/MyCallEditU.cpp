#include "ui/MyCallEditU.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvo::ui {

namespace {

// A callsign, "-" and two digits fit with room for blanks; more is never valid.
constexpr int kFieldLength = 20;

}  // namespace

TMyCallEdit::TMyCallEdit(QWidget* parent) : TMyCallEdit(devices::TMyCall({}, 1), parent) {}

TMyCallEdit::TMyCallEdit(const devices::TMyCall& call, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Eigenes Rufzeichen"));

    call_ = new QLineEdit(QString::fromStdString(call.Call()));
    call_->setMaxLength(kFieldLength);

    auto* ssids = new QGroupBox(tr("SSIDs"));
    auto* grid = new QGridLayout(ssids);
    for (int n = 0; n <= devices::kMaxSSID; ++n) {
        auto* box = new QCheckBox(QString::number(n));
        box->setChecked(call.SSIDMask() & (1u << n));
        grid->addWidget(box, n / 8, n % 8);
        boxes_[static_cast<std::size_t>(n)] = box;
        connect(box, &QCheckBox::toggled, this, &TMyCallEdit::UpdateState);
    }
    all_ = new QPushButton(tr("&Alle"));
    none_ = new QPushButton(tr("&Keine"));
    auto* tick = new QHBoxLayout;
    tick->addWidget(all_);
    tick->addWidget(none_);
    tick->addStretch();
    grid->addLayout(tick, 2, 0, 1, 8);
    connect(all_, &QPushButton::clicked, this, [this] {
        for (auto* box : boxes_) box->setChecked(true);
    });
    connect(none_, &QPushButton::clicked, this, [this] {
        for (auto* box : boxes_) box->setChecked(false);
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (ok_->isEnabled()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(tr("&Rufzeichen:"), call_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ssids);
    layout->addWidget(buttons);

    connect(call_, &QLineEdit::textChanged, this, &TMyCallEdit::UpdateState);
    UpdateState();
}

std::uint16_t TMyCallEdit::Ticked() const {
    std::uint16_t mask = 0;
    for (int n = 0; n <= devices::kMaxSSID; ++n)
        if (boxes_[static_cast<std::size_t>(n)]->isChecked())
            mask = static_cast<std::uint16_t>(mask | (1u << n));
    return mask;
}

void TMyCallEdit::UpdateState() {
    // The field goes in as typed: the rules trim and upper-case in ASCII only.
    const auto state = devices::EvaluateMyCallEdit(call_->text().toStdString(), Ticked());
    for (auto* box : boxes_) box->setEnabled(state.ssidBoxesEnabled);
    all_->setEnabled(state.ssidBoxesEnabled);
    none_->setEnabled(state.ssidBoxesEnabled);
    ok_->setEnabled(state.okEnabled);
}

devices::TMyCall TMyCallEdit::Result() const {
    return devices::EvaluateMyCallEdit(call_->text().toStdString(), Ticked()).result;
}

}  // namespace tarvo::ui
