#include "ui/TexteFormU.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "resources/TexteU.h"
#include "ui/PlainTextU.h"
#include "ui/RichEditTarvoU.h"

namespace tarvo::ui {

TTexteForm::TTexteForm(resources::TTexte& texte, QWidget* parent) : TTabForm(parent), page_(texte) {
    kind_ = new QComboBox;
    for (int k = 0; k <= resources::kLastTextKind; ++k) {
        resources::TTextTypRec rec;
        resources::TextTyp(k, rec);
        kind_->addItem(Cp1252ToQString(rec.name), k);
    }
    memo_ = new QPlainTextEdit;
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* label = new QLabel(tr("&Text:"));
    label->setBuddy(kind_);
    auto* hint = new QLabel(tr("%n steht für den Namen der Gegenstation, %% für ein %."));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(kind_);
    layout->addWidget(memo_, 1);
    layout->addWidget(hint);
    connect(kind_, &QComboBox::currentIndexChanged, this, &TTexteForm::KindChanged);
    KindChanged(kind_->currentIndex());
}

void TTexteForm::KindChanged(int index) {
    if (shownKind_ >= 0) page_.Edit(shownKind_, QStringToCp1252(memo_->toPlainText()));
    shownKind_ = kind_->itemData(index).toInt();
    memo_->setPlainText(Cp1252ToQString(page_.Show(shownKind_))
                            .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void TTexteForm::Apply() {
    if (shownKind_ >= 0) page_.Edit(shownKind_, QStringToCp1252(memo_->toPlainText()));
    page_.Apply();
}

}  // namespace tarvo::ui
