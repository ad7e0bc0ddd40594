#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

#include <fstream>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "resources/KlaengeU.h"
#include "resources/TexteU.h"
#include "tests/support/FakeSoundOutput.h"
#include "ui/KlaengeFormU.h"
#include "ui/TexteFormU.h"

namespace {

using namespace tarvo;

// The application comes from the ui test program's environment.
class TexteKlaengeForm : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QApplication::instance()) GTEST_SKIP() << "no QApplication";
    }
    platform::FileRegistry registry_;
};

TEST_F(TexteKlaengeForm, TextEditsSurviveChangingTheKind) {
    resources::TTexte texte(registry_, core::TStationenQuelle());
    ui::TTexteForm page(texte, nullptr);
    EXPECT_EQ(page.Kind()->count(), resources::kTextKindCount);
    EXPECT_EQ(page.Memo()->toPlainText(), QStringLiteral("\nHallo %n...\n"));
    page.Memo()->setPlainText(QStringLiteral("Gr\u00fc\u00df dich\n%n"));
    page.Kind()->setCurrentIndex(13);
    page.Memo()->setPlainText(QStringLiteral("73"));
    page.Apply();
    EXPECT_EQ(texte.ReadGeneral(0), "Gr\xFC\xDF dich\r%n");
    EXPECT_EQ(texte.ReadGeneral(13), "73");
    EXPECT_EQ(texte.ReadGeneral(1), "<Tarvo>: Tsch\xFCss...\r");
}

TEST_F(TexteKlaengeForm, SchemeFileLoadsIntoThePage) {
    auto sink = std::make_shared<test::FakeSoundOutput::Shared>();
    resources::TKlaenge klaenge(registry_, core::TStationenQuelle(),
                                std::make_unique<test::FakeSoundOutput>(sink));
    ui::TKlaengeForm page(klaenge, nullptr);
    EXPECT_TRUE(page.Signal(resources::kSignalNone)->isChecked());
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarvo-scheme-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "a.tvs") << "[Tarvo Sound Scheme]\r\n00=1,ring.wav\r\n01=2,\r\n";
    page.LoadScheme(QString::fromStdString((dir / "a.tvs").string()));
    EXPECT_TRUE(page.Signal(resources::kSignalWave)->isChecked());
    EXPECT_EQ(page.WaveFile()->text().toStdString(), (dir / "ring.wav").string());
    page.Event()->setCurrentIndex(1);
    EXPECT_TRUE(page.Signal(resources::kSignalTones)->isChecked());
    page.Apply();
    page.SaveScheme(QString::fromStdString((dir / "b").string()));
    std::filesystem::path saved = dir / "b.tvs";
    const std::string text = platform::ReadFile(saved, 1 << 16).value_or("");
    std::filesystem::remove_all(dir);
    EXPECT_EQ(klaenge.LoadGeneral(0).waveFile, (dir / "ring.wav").string());
    EXPECT_EQ(klaenge.LoadGeneral(1).signal, resources::kSignalTones);
    EXPECT_NE(text.find("00=1,ring.wav\r\n"), std::string::npos) << text;
}

}  // namespace
