// The language files: built with the program's version, found beside it, and
// chosen at start or from the menu.
#include "ui/SprachenU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "core/ConfigU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"
#include "devices/GeraetU.h"
#include "platform/Registry.h"
#include "tests/ui/WidgetLookup.h"
#include "ui/BefehlConnectU.h"

namespace tarvo::ui {
namespace {

using resources::TSprachAktion;
using resources::TSprachDatei;

// Runs act on the next modal window; fails when none comes.
void WhenModal(std::function<void(QWidget*)> act, int tries = 300) {
    QTimer::singleShot(10, [act, tries] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) return act(w);
        if (tries > 0) return WhenModal(act, tries - 1);
        ADD_FAILURE() << "no modal window";
    });
}

void ChooseAndAccept(QWidget* w, const QString& name) {
    auto* list = w->findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    const auto items = list->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << name.toStdString();
    list->setCurrentItem(items.front());
    test::Click(w, QStringLiteral("OK"));
}

std::string Setting(platform::IRegistry& registry) {
    return registry.ReadText(platform::Hive::CurrentUser, core::TConfig::kRootKey, "Sprache")
        .value_or("<none>");
}

class Sprachen : public ::testing::Test {
  protected:
    void TearDown() override {
        SetLanguageFolder({});
        InstallLanguage("DE");
    }
    platform::FileRegistry registry_;
};

TEST_F(Sprachen, EnglishFileServesTrAndTheLogic) {
    // The file built beside the program, of this very build.
    ASSERT_EQ(LanguageFileState("EN"), TSprachDatei::Passend) << LanguageFolder();
    ASSERT_TRUE(InstallLanguage("EN"));
    EXPECT_EQ(ActiveLanguage(), "EN");
    EXPECT_EQ(TDlgBefehl().windowTitle(), QStringLiteral("Command"));
    EXPECT_EQ(core::Tr("TKanal", "Verbunden"), "Connected");
    EXPECT_EQ(devices::ConnectResultText(devices::kConnectNoAnswer), "The device does not answer.");
    EXPECT_EQ(core::FillArgs(core::Tr("TKanal", "%1: Verbunden mit %2"), {"N0CALL", "DB0ABC"}),
              "N0CALL: Connected to DB0ABC");

    // Back to the built-in German.
    ASSERT_TRUE(InstallLanguage("DE"));
    EXPECT_EQ(TDlgBefehl().windowTitle(), QStringLiteral("Befehl"));
    EXPECT_EQ(core::Tr("TKanal", "Verbunden"), "Verbunden");
    EXPECT_EQ(devices::ConnectResultText(devices::kConnectNoAnswer),
              "Das Ger\xE4t antwortet nicht.");
}

TEST_F(Sprachen, FilesOfAnotherVersionOrDamagedAreRefused) {
    SetLanguageFolder(TARVO_LANGUAGE_FIXTURE);
    EXPECT_EQ(LanguageFileState("EN"), TSprachDatei::Passend);
    EXPECT_EQ(LanguageFileState("FR"), TSprachDatei::AndereVersion);
    EXPECT_EQ(LanguageFileState("ES"), TSprachDatei::AndereVersion);
    EXPECT_EQ(LanguageFileState("IT"), TSprachDatei::Fehlt);
    EXPECT_EQ(LanguageFileState("../en"), TSprachDatei::Fehlt);
    EXPECT_EQ(LanguageCodes(), (std::vector<std::string>{"DE", "EN", "ES", "FR"}));
    EXPECT_EQ(LanguageName("FR"), QString::fromUtf8("Français"));
    EXPECT_EQ(LanguageName("IT"), QStringLiteral("unknown (IT)"));

    // Nothing of the refused file is served.
    EXPECT_FALSE(InstallLanguage("FR"));
    EXPECT_EQ(ActiveLanguage(), "DE");
    EXPECT_EQ(QCoreApplication::translate("TDlgMessage", "&Ja"), QStringLiteral("&Ja"));
}

TEST_F(Sprachen, StartWithAFileOfAnotherVersionTellsAndKeepsTheSetting) {
    SetLanguageFolder(TARVO_LANGUAGE_FIXTURE);
    registry_.WriteText(platform::Hive::CurrentUser, core::TConfig::kRootKey, "Sprache", "FR");
    bool noticed = false;
    WhenModal([&](QWidget* w) {
        noticed = dynamic_cast<TSprachenVersionForm*>(w) != nullptr;
        test::Click(w, QStringLiteral("OK"));
    });
    const auto decision = InitLanguage(registry_, false, "de");
    EXPECT_TRUE(noticed);
    EXPECT_EQ(decision.aktion, TSprachAktion::DeutschMitHinweis);
    EXPECT_EQ(ActiveLanguage(), "DE");
    EXPECT_EQ(Setting(registry_), "FR");
}

TEST_F(Sprachen, StartAsksOnlyWhenSomeoneCanAnswer) {
    SetLanguageFolder(TARVO_LANGUAGE_FIXTURE);
    // The automation start: no question, German, nothing stored.
    EXPECT_EQ(InitLanguage(registry_, true, "C").aktion, TSprachAktion::DeutschStill);
    EXPECT_EQ(Setting(registry_), "<none>");

    // A locale of neither language asks; the answer is stored and loaded.
    WhenModal([](QWidget* w) {
        ASSERT_NE(dynamic_cast<TSprachenForm*>(w), nullptr);
        ChooseAndAccept(w, QStringLiteral("English"));
    });
    const auto decision = InitLanguage(registry_, false, "C");
    EXPECT_EQ(decision.aktion, TSprachAktion::Laden);
    EXPECT_EQ(ActiveLanguage(), "EN");
    EXPECT_EQ(Setting(registry_), "EN");
}

TEST_F(Sprachen, MenuChooserStoresAndTellsToRestartOnlyOnAChange) {
    SetLanguageFolder(TARVO_LANGUAGE_FIXTURE);
    core::TConfig config(registry_, core::VersionText());
    QWidget parent;
    std::vector<std::string> seen;
    const auto choose = [&](const QString& name) {
        WhenModal([&, name](QWidget* w) {
            auto* form = dynamic_cast<TSprachenForm*>(w);
            ASSERT_NE(form, nullptr);
            seen.push_back(form->Selected());  // what was preselected
            ChooseAndAccept(w, name);
            // The restart notice, when it comes, is the next modal window.
            QTimer::singleShot(50, [&] {
                if (auto* notice =
                        dynamic_cast<TSprachenNeustartForm*>(QApplication::activeModalWidget())) {
                    seen.push_back("restart");
                    test::Click(notice, QStringLiteral("OK"));
                }
            });
        });
        ShowLanguageChooser(&parent, config);
    };

    // The language in use: stored, no notice.
    choose(QStringLiteral("Deutsch"));
    EXPECT_EQ(Setting(registry_), "DE");
    // Another one: stored, and a restart is needed; this run stays German.
    choose(QStringLiteral("English"));
    EXPECT_EQ(Setting(registry_), "EN");
    EXPECT_EQ(ActiveLanguage(), "DE");
    EXPECT_EQ(seen, (std::vector<std::string>{"DE", "DE", "restart"}));
    // The stored choice is preselected next time.
    choose(QStringLiteral("English"));
    EXPECT_EQ(seen.at(3), "EN");
}

}  // namespace
}  // namespace tarvo::ui
