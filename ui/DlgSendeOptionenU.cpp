#include "ui/DlgSendeOptionenU.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

namespace tarvo::ui {

namespace {

QString ProtokollName(std::int32_t protokoll) {
    switch (protokoll) {
        case filesend::kProtokollText:
            return QStringLiteral("Text");
        case filesend::kProtokollAutobin:
            return QStringLiteral("AutoBIN");
        default:
            return QStringLiteral("DIDADIT");
    }
}

}  // namespace

std::optional<filesend::TSendeOptionen> AskSendeOptionen(QWidget* parent,
                                                         const filesend::TSendeOptionen& preset) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("DlgSendeOptionen"));
    dialog.setWindowTitle(QStringLiteral("Datei senden"));
    auto* protokoll = new QComboBox(&dialog);
    protokoll->setObjectName(QStringLiteral("Protokoll"));
    for (const std::int32_t p : filesend::kSendeProtokolle) {
        protokoll->addItem(ProtokollName(p), p);
        if (p == preset.protokoll) protokoll->setCurrentIndex(protokoll->count() - 1);
    }
    auto* teil = new QSpinBox(&dialog);
    teil->setObjectName(QStringLiteral("Teilgroesse"));
    teil->setRange(0, filesend::kMaxPartSizeKiB);
    teil->setValue(preset.partSizeKiB);
    teil->setSpecialValueText(QStringLiteral("ganze Datei"));
    teil->setSuffix(QStringLiteral(" KiB"));
    // Text goes whole; only the binary protocols carry parts.
    auto textOnly = [protokoll, teil] {
        teil->setEnabled(protokoll->currentData().toInt() != filesend::kProtokollText);
    };
    QObject::connect(protokoll, &QComboBox::currentIndexChanged, &dialog, textOnly);
    textOnly();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("&Protokoll:"), protokoll);
    form->addRow(QStringLiteral("&Teilgr\u00f6\u00dfe:"), teil);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    filesend::TSendeOptionen chosen;
    chosen.protokoll = protokoll->currentData().toInt();
    chosen.partSizeKiB = teil->isEnabled() ? teil->value() : 0;
    return chosen;
}

}  // namespace tarvo::ui
