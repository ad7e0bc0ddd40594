// The language of the user interface: chosen at start before any window
// exists, changed later from the main window's menu (it takes effect at the
// next start). German is built in; other languages are Qt translation files in
// the program's data folder.
#pragma once

#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

#include "resources/SprachenU.h"

class QListWidget;

namespace tarvo::platform {
class IRegistry;
}
namespace tarvo::core {
class TConfig;
}

namespace tarvo::ui {

// <program folder>/../share/tarvo/translations: the installed tree and the
// build tree alike.
std::filesystem::path LanguageFolder();
// Another folder instead (tests); empty: the default again.
void SetLanguageFolder(std::filesystem::path folder);
// The codes the chooser offers: "DE" and every language with a file.
std::vector<std::string> LanguageCodes();
// "Deutsch", "English", ...; "unknown (XX)" for a code without a known name.
QString LanguageName(const std::string& code);
// Whether the file of a language is there and made for this program version.
resources::TSprachDatei LanguageFileState(const std::string& code);
// The primary language of the user's locale ("de", "en", "C", ...).
std::string SystemLocaleLanguage();

// Serves tr(), QCoreApplication::translate and core::Tr from the files of
// `code` ("DE": Qt's own German texts only). False, with German left in place,
// when the file is missing or of another version.
bool InstallLanguage(const std::string& code);
// The language in use: "DE" or the code of the file loaded.
std::string ActiveLanguage();

// At program start, before any window: reads "Sprache" and acts on the
// decision (load, ask, or the version notice). Never throws.
resources::TSprachEntscheidung InitLanguage(platform::IRegistry& settings, bool automation,
                                            const std::string& localeLanguage);

// "&Sprache...": the chooser, then the restart notice when the language changes.
void ShowLanguageChooser(QWidget* parent, core::TConfig& config);

// The chooser. Its request is in German, English and French, since the reader's
// language is not known yet.
class TSprachenForm : public QDialog {
  public:
    TSprachenForm(QWidget* parent, const std::vector<std::string>& codes,
                  const std::string& current);
    std::string Selected() const;
    QListWidget* List() const { return list_; }

  private:
    QListWidget* list_;
};

// "Restart to activate the new language", in German, English and French.
class TSprachenNeustartForm : public QDialog {
  public:
    explicit TSprachenNeustartForm(QWidget* parent);
};

// The language file is of another version; the program goes on in German.
class TSprachenVersionForm : public QDialog {
  public:
    explicit TSprachenVersionForm(QWidget* parent);
};

}  // namespace tarvo::ui
