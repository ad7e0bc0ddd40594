#include "ui/SprachenU.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>
#include <QVBoxLayout>

#include <memory>
#include <system_error>

#include "core/ConfigU.h"
#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "platform/Registry.h"

namespace tarvo::ui {

namespace {

using resources::TSprachAktion;
using resources::TSprachDatei;
using resources::TSprachen;

// The entry lrelease adds to every file: the program version it was built for.
constexpr char kVersionContext[] = "TSprachen";
constexpr char kVersionSource[] = "@Version";

// Installed for the whole run; replaced when another language is installed.
std::unique_ptr<QTranslator> gOwn;
std::unique_ptr<QTranslator> gQt;
std::string gActive(TSprachen::kDeutsch);
std::filesystem::path gFolder;

std::string Lower(const std::string& code) {
    return QString::fromStdString(code).toLower().toStdString();
}

// A file of this program's version, loaded; null otherwise.
std::unique_ptr<QTranslator> LoadOwn(const std::string& code) {
    if (!TSprachen::IstCode(code)) return nullptr;
    const std::filesystem::path file = LanguageFolder() / TSprachen::Dateiname(code);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return nullptr;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QString::fromStdString(file.string()))) return nullptr;
    if (translator->translate(kVersionContext, kVersionSource).toStdString() != core::VersionText())
        return nullptr;
    return translator;
}

void SetSetting(platform::IRegistry& settings, const std::string& code) {
    settings.WriteText(platform::Hive::CurrentUser, core::TConfig::kRootKey, TSprachen::kValueName,
                       code);
}

QDialog* NoticeDialog(QDialog* dialog, const QString& text) {
    dialog->setWindowTitle(QStringLiteral("Tarvo"));
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel(text, dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    layout->addWidget(buttons);
    return dialog;
}

// Asks at start; the answer is stored. Empty when the chooser was cancelled.
std::string AskAtStart(platform::IRegistry& settings) {
    TSprachenForm form(nullptr, LanguageCodes(), gActive);
    if (form.exec() != QDialog::Accepted) return {};
    const std::string code = form.Selected();
    if (!code.empty()) SetSetting(settings, code);
    return code;
}

}  // namespace

std::filesystem::path LanguageFolder() {
    if (!gFolder.empty()) return gFolder;
    const std::filesystem::path program(QCoreApplication::applicationDirPath().toStdString());
    return (program / ".." / "share" / "tarvo" / "translations").lexically_normal();
}

void SetLanguageFolder(std::filesystem::path folder) {
    gFolder = std::move(folder);
}

std::vector<std::string> LanguageCodes() {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(LanguageFolder(), ec), end; !ec && it != end;
         it.increment(ec))
        names.push_back(it->path().filename().string());
    return TSprachen::Auswahl(names);
}

QString LanguageName(const std::string& code) {
    if (code == "DE") return QStringLiteral("Deutsch");
    if (code == "EN") return QStringLiteral("English");
    if (code == "FR") return QString::fromUtf8("Français");
    if (code == "ES") return QString::fromUtf8("Español");
    return QStringLiteral("unknown (%1)").arg(QString::fromStdString(code));
}

TSprachDatei LanguageFileState(const std::string& code) {
    std::error_code ec;
    if (!TSprachen::IstCode(code) ||
        !std::filesystem::exists(LanguageFolder() / TSprachen::Dateiname(code), ec))
        return TSprachDatei::Fehlt;
    return LoadOwn(code) ? TSprachDatei::Passend : TSprachDatei::AndereVersion;
}

std::string SystemLocaleLanguage() {
    return QLocale::languageToCode(QLocale::system().language()).toStdString();
}

bool InstallLanguage(const std::string& code) {
    std::unique_ptr<QTranslator> own;
    if (code != TSprachen::kDeutsch) {
        own = LoadOwn(code);
        if (!own) return false;
    }
    // Qt's own texts (standard buttons, file dialogs) in the same language, when
    // the system has them.
    auto qt = std::make_unique<QTranslator>();
    if (!qt->load(QStringLiteral("qtbase_") + QString::fromStdString(Lower(code)),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        qt.reset();
    if (gOwn) QCoreApplication::removeTranslator(gOwn.get());
    if (gQt) QCoreApplication::removeTranslator(gQt.get());
    gOwn = std::move(own);
    gQt = std::move(qt);
    if (gQt) QCoreApplication::installTranslator(gQt.get());
    if (gOwn) QCoreApplication::installTranslator(gOwn.get());
    gActive = code;
    // The logic's texts go through the same translators; translate() may be
    // called from any thread.
    core::SetTranslateHook([](const char* context, const char* source) {
        return QCoreApplication::translate(context, source).toStdString();
    });
    return true;
}

std::string ActiveLanguage() {
    return gActive;
}

resources::TSprachEntscheidung InitLanguage(platform::IRegistry& settings, bool automation,
                                            const std::string& localeLanguage) {
    core::DebOut("SprachenU.initialization: begin...");
    resources::TSprachEntscheidung decision;
    try {
        const auto stateOf = [](const std::string& code) { return LanguageFileState(code); };
        const std::string setting = settings
                                        .ReadText(platform::Hive::CurrentUser,
                                                  core::TConfig::kRootKey, TSprachen::kValueName)
                                        .value_or(std::string());
        decision = TSprachen::Entscheide(setting, localeLanguage, stateOf, automation);
        if (decision.aktion == TSprachAktion::Fragen) {
            const std::string chosen = AskAtStart(settings);
            // Cancelled: German for this run, and the question again next time.
            decision = chosen.empty()
                           ? resources::TSprachEntscheidung{TSprachAktion::Deutsch, {}}
                           : TSprachen::Entscheide(chosen, localeLanguage, stateOf, automation);
        }
        core::DebOut("SprachenU.initialization: " +
                     (decision.code.empty() ? std::string(TSprachen::kDeutsch) : decision.code));
        // The file may have changed since it was looked at.
        if (decision.aktion == TSprachAktion::Laden && !InstallLanguage(decision.code))
            decision.aktion =
                automation ? TSprachAktion::DeutschStill : TSprachAktion::DeutschMitHinweis;
        if (decision.aktion != TSprachAktion::Laden) {
            InstallLanguage(std::string(TSprachen::kDeutsch));
            if (!decision.code.empty())
                core::DebOut("SprachenU.initialization: " + TSprachen::Dateiname(decision.code) +
                             (LanguageFileState(decision.code) == TSprachDatei::Fehlt
                                  ? " is missing"
                                  : " is of another version"));
        }
        if (decision.aktion == TSprachAktion::DeutschMitHinweis)
            TSprachenVersionForm(nullptr).exec();
    } catch (...) {
        core::DebOut("SprachenU.initialization: failed");
    }
    core::DebOut("SprachenU.initialization: in use " + ActiveLanguage());
    core::DebOut("SprachenU.initialization: end.");
    return decision;
}

void ShowLanguageChooser(QWidget* parent, core::TConfig& config) {
    const std::string setting =
        config.ReadString(platform::Hive::CurrentUser, "", TSprachen::kValueName);
    TSprachenForm form(parent, LanguageCodes(),
                       TSprachen::IstCode(setting) ? setting : ActiveLanguage());
    if (form.exec() != QDialog::Accepted) return;
    const std::string code = form.Selected();
    if (code.empty()) return;
    config.WriteString(platform::Hive::CurrentUser, "", TSprachen::kValueName, code);
    if (code != ActiveLanguage()) TSprachenNeustartForm(parent).exec();
}

TSprachenForm::TSprachenForm(QWidget* parent, const std::vector<std::string>& codes,
                             const std::string& current)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tarvo"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8("Bitte wählen Sie eine Sprache:\n"
                                                   "Please choose a language:\n"
                                                   "Veuillez choisir une langue :"),
                                 this));
    list_ = new QListWidget(this);
    for (const std::string& code : codes) {
        auto* item = new QListWidgetItem(LanguageName(code), list_);
        item->setData(Qt::UserRole, QString::fromStdString(code));
        if (code == current) list_->setCurrentItem(item);
    }
    if (!list_->currentItem() && list_->count() > 0) list_->setCurrentRow(0);
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen / Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);
}

std::string TSprachenForm::Selected() const {
    const QListWidgetItem* item = list_->currentItem();
    return item ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

TSprachenNeustartForm::TSprachenNeustartForm(QWidget* parent) : QDialog(parent) {
    NoticeDialog(this, QString::fromUtf8(
                           "Sie müssen Tarvo neu starten, um die neue Sprache zu aktivieren.\n\n"
                           "You must restart Tarvo to activate the new language.\n\n"
                           "Vous devez redémarrer Tarvo pour activer la nouvelle langue."));
}

TSprachenVersionForm::TSprachenVersionForm(QWidget* parent) : QDialog(parent) {
    NoticeDialog(this,
                 QString::fromUtf8("Die gewünschte Sprache kann nicht geladen werden. Die Version "
                                   "der Ressourcen-Datei passt nicht zum Hauptprogramm.\n\n"
                                   "The requested language cannot be loaded. The version of the "
                                   "language file does not match the main program."));
}

}  // namespace tarvo::ui
