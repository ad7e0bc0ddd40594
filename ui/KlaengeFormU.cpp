#include "ui/KlaengeFormU.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "platform/Files.h"
#include "ui/PlainTextU.h"

namespace tarvo::ui {

namespace {

constexpr std::size_t kMaxSchemeBytes = 1 << 16;

}  // namespace

TKlaengeForm::TKlaengeForm(resources::TKlaenge& klaenge, QWidget* parent)
    : TTabForm(parent), klaenge_(klaenge), page_(klaenge) {
    event_ = new QComboBox;
    for (const auto& rec : resources::SoundEvents())
        event_->addItem(QCoreApplication::translate("TKlaenge", rec.name), rec.number);
    auto* eventLabel = new QLabel(tr("&Ereignis:"));
    eventLabel->setBuddy(event_);

    none_ = new QRadioButton(tr("keiner"));
    tones_ = new QRadioButton(tr("PC-Lautsprecher"));
    wave_ = new QRadioButton(tr("Wave-Datei"));
    waveFile_ = new QLineEdit;
    auto* browse = new QPushButton(QStringLiteral("..."));
    auto* play = new QPushButton(QStringLiteral("\u25b6"));
    play->setToolTip(tr("Abspielen"));
    browse_ = browse;
    play_ = play;
    auto* sound = new QGroupBox(tr("Klang"));
    auto* soundLayout = new QVBoxLayout(sound);
    soundLayout->addWidget(none_);
    soundLayout->addWidget(tones_);
    soundLayout->addWidget(wave_);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(waveFile_, 1);
    fileRow->addWidget(browse);
    fileRow->addWidget(play);
    soundLayout->addLayout(fileRow);

    noAnnouncement_ = new QRadioButton(tr("keine"));
    voice_ = new QRadioButton(tr("Stimme"));
    morse_ = new QRadioButton(tr("Telegrafie"));
    voice_->setEnabled(false);
    morse_->setEnabled(false);
    auto* announcement = new QGroupBox(tr("Ansage"));
    auto* announcementLayout = new QVBoxLayout(announcement);
    announcementLayout->addWidget(noAnnouncement_);
    announcementLayout->addWidget(voice_);
    announcementLayout->addWidget(morse_);

    auto* load = new QPushButton(tr("Laden..."));
    auto* save = new QPushButton(tr("Speichern..."));
    auto* scheme = new QGroupBox(tr("Schema"));
    auto* schemeLayout = new QHBoxLayout(scheme);
    schemeLayout->addWidget(load);
    schemeLayout->addWidget(save);
    schemeLayout->addStretch(1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(sound, 2);
    groups->addWidget(announcement, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(eventLabel);
    layout->addWidget(event_);
    layout->addLayout(groups);
    layout->addWidget(scheme);
    layout->addStretch(1);

    for (QRadioButton* b : {none_, tones_, wave_})
        connect(b, &QRadioButton::toggled, this, [this] { UpdateEnabled(); });
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file =
            QFileDialog::getOpenFileName(this, tr("Klang auswählen..."), SoundFolder(),
                                         tr("Klang-Dateien (*.wav);;Alle Dateien (*)"));
        if (!file.isEmpty()) waveFile_->setText(file);
    });
    connect(play, &QPushButton::clicked, this,
            [this] { klaenge_.PlayFile(waveFile_->text().toStdString()); });
    connect(load, &QPushButton::clicked, this, [this] { LoadScheme({}); });
    connect(save, &QPushButton::clicked, this, [this] { SaveScheme({}); });
    connect(event_, &QComboBox::currentIndexChanged, this, &TKlaengeForm::EventChanged);
    EventChanged(event_->currentIndex());
}

QRadioButton* TKlaengeForm::Signal(int mode) const {
    switch (mode) {
        case resources::kSignalNone:
            return none_;
        case resources::kSignalTones:
            return tones_;
        case resources::kSignalWave:
            return wave_;
        default:
            return nullptr;
    }
}

QString TKlaengeForm::SoundFolder() const {
    return QString::fromStdString((core::ApplicationDataFolder() / "Sound").string());
}

void TKlaengeForm::KeepShown() {
    if (shownEvent_ < 0) return;
    resources::TSoundSetting s = page_.Show(shownEvent_);
    s.signal = wave_->isChecked()    ? resources::kSignalWave
               : tones_->isChecked() ? resources::kSignalTones
                                     : resources::kSignalNone;
    s.waveFile = waveFile_->text().toStdString();
    page_.Edit(shownEvent_, s);
}

void TKlaengeForm::ShowSetting(const resources::TSoundSetting& s) {
    QRadioButton* b = Signal(s.signal);
    (b ? b : none_)->setChecked(true);
    waveFile_->setText(QString::fromStdString(s.waveFile));
    noAnnouncement_->setChecked(true);
    const auto& rec = resources::SoundEvents()[static_cast<std::size_t>(shownEvent_)];
    noAnnouncement_->setEnabled(rec.announcement != 0);
    UpdateEnabled();
}

void TKlaengeForm::EventChanged(int index) {
    KeepShown();
    shownEvent_ = event_->itemData(index).toInt();
    ShowSetting(page_.Show(shownEvent_));
}

void TKlaengeForm::UpdateEnabled() {
    const bool wave = wave_->isChecked();
    waveFile_->setEnabled(wave);
    browse_->setEnabled(wave);
    play_->setEnabled(wave);
}

void TKlaengeForm::LoadScheme(const QString& given) {
    QString file = given;
    if (file.isEmpty())
        file = QFileDialog::getOpenFileName(this, tr("Laden..."), SoundFolder(),
                                            tr("Tarvo Soundschema (*.tvs)"));
    if (file.isEmpty()) return;
    const std::filesystem::path path = file.toStdString();
    const auto text = platform::ReadFile(path, kMaxSchemeBytes);
    if (!text) {
        core::DebOutObjFmt("TKlaengeForm", "LoadScheme", "%s: not readable", path.c_str());
        return;
    }
    KeepShown();
    page_.LoadScheme(*text, path.parent_path());
    ShowSetting(page_.Show(shownEvent_));
}

void TKlaengeForm::SaveScheme(const QString& given) {
    QString file = given;
    if (file.isEmpty())
        file = QFileDialog::getSaveFileName(this, tr("Speichern..."), SoundFolder(),
                                            tr("Tarvo Soundschema (*.tvs)"));
    if (file.isEmpty()) return;
    std::filesystem::path path = file.toStdString();
    if (path.extension().empty()) path += ".tvs";
    KeepShown();
    if (const auto ec = platform::WriteFileAtomic(path, page_.SchemeText(path.parent_path()), 0644))
        core::DebOutObjFmt("TKlaengeForm", "SaveScheme", "%s: %s", path.c_str(),
                           ec.message().c_str());
}

void TKlaengeForm::Apply() {
    KeepShown();
    page_.Apply();
}

}  // namespace tarvo::ui
