// The send wizard on a channel with a test connection: its pages and rules,
// and what "Fertigstellen" puts into the connection's send queue.
#include "ui/DateiSendenDlgU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/GlobalU.h"
#include "core/MessageWindowU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenQueueU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Pgp.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/WidgetLookup.h"

namespace {

using namespace tarvo;
namespace fs = std::filesystem;
using ui::TDateiSendenDlg;

struct Told {
    std::string title, text;
};

class DateiSendenDlg : public test::ChannelFixture {
  protected:
    DateiSendenDlg() {
        previousFolder_ = core::ApplicationDataFolder();
        core::SetApplicationDataFolder(dir_);
        connection_->sendQueue = queue_;
        kanal_ = MakeKanal(1);
        kanal_->SetVerbindung(connection_);
    }
    ~DateiSendenDlg() override {
        dlg_.reset();
        queue_->Release();
        kanal_->Release();
        core::SetPGPFactory(nullptr);
        core::SetApplicationDataFolder(previousFolder_);
    }

    TDateiSendenDlg& Dialog() {
        ui::TDateiSendenDlgContext ctx;
        ctx.kanal = kanal_;
        ctx.registry = &registry_;
        ctx.config = config_.get();
        dlg_ = std::make_unique<TDateiSendenDlg>(ctx);
        dlg_->ask = [this](const std::string& title, const std::string& text, unsigned) {
            told_.push_back({title, text});
            return answer_;
        };
        return *dlg_;
    }
    template <class W>
    W* Find(const char* name) {
        auto* w = dlg_->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QCheckBox* Check(const char* caption) {
        for (QCheckBox* c : dlg_->findChildren<QCheckBox*>())
            if (c->text() == QString::fromUtf8(caption)) return c;
        ADD_FAILURE() << "no check box " << caption;
        return nullptr;
    }
    QTreeWidgetItem* PartsRow(int row) { return Find<QTreeWidget>("Teile")->topLevelItem(row); }
    fs::path File(const std::string& name, std::size_t size) {
        test::TempFolder::Write(dir_ / "send" / name, std::string(size, 'x'));
        return dir_ / "send" / name;
    }
    std::vector<std::string> Queued() const {
        std::vector<std::string> names;
        for (const auto& job : queue_->Items()) names.push_back(job->GetSendName());
        return names;
    }

    fs::path previousFolder_;
    std::shared_ptr<filesend::TDateiSendenQueue> queue_ =
        std::make_shared<filesend::TDateiSendenQueue>();
    std::shared_ptr<test::FakeVerbindung> connection_ = std::make_shared<test::FakeVerbindung>();
    std::shared_ptr<channels::TKanal> kanal_;
    std::unique_ptr<TDateiSendenDlg> dlg_;
    std::vector<Told> told_;
    int answer_ = core::mrYes;
};

TEST_F(DateiSendenDlg, PartSizeIsClampedWhenLeftAndChosenPartsGiveTheRemark) {
    TDateiSendenDlg& dlg = Dialog();
    dlg.StartWithFiles({File("bild.jpg", 8 * 32 * 1024)});
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    dlg.Weiter();  // the files page is not offered for dropped files
    ASSERT_EQ(dlg.Page(), TDateiSendenDlg::kPageOptionen);
    Check("&Teilen")->setChecked(true);
    ASSERT_EQ(PartsRow(0)->text(2), QStringLiteral("8"));
    EXPECT_EQ(PartsRow(0)->text(1), QStringLiteral("256 kB"));

    auto* size = Find<QLineEdit>("TeilGroesse");
    size->setFocus();
    size->selectAll();
    QTest::keyClicks(size, QStringLiteral("4"));
    EXPECT_EQ(PartsRow(0)->text(2), QStringLiteral("-"));
    Find<QTreeWidget>("Teile")->setFocus();  // the field is left
    EXPECT_EQ(size->text(), QStringLiteral("5"));
    EXPECT_EQ(PartsRow(0)->text(2), QStringLiteral("52"));
    size->setText(QStringLiteral("32"));
    emit size->editingFinished();

    // The chooser: space checks the selected lines, or clears them when all were.
    const auto choose = [&](const std::vector<std::vector<int>>& presses) {
        QTimer::singleShot(0, [&] {
            auto* chooser =
                qobject_cast<ui::TDateiSendenTeileAuswahlDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            QListWidget* list = chooser->List();
            ASSERT_EQ(list->count(), 8);
            EXPECT_EQ(list->item(3)->text(), QStringLiteral("Teil 004 (.B04)"));
            for (const auto& rows : presses) {
                list->clearSelection();
                for (int r : rows) list->item(r)->setSelected(true);
                QTest::keyClick(list, Qt::Key_Space);
            }
            chooser->accept();
        });
        test::Click(&dlg, QStringLiteral("&Eigenschaften"));
    };
    // A new file sends all its parts: the first press clears them.
    choose({{0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 4}});
    EXPECT_EQ(PartsRow(0)->text(3), QStringLiteral("nur Teile 1..3, 5."));
    choose({{0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, {3}});
    EXPECT_EQ(PartsRow(0)->text(3), QStringLiteral("nur Teil 4."));
    choose({{0, 1, 2, 3, 4, 5, 6, 7}});
    EXPECT_EQ(PartsRow(0)->text(3), QStringLiteral(""));
}

TEST_F(DateiSendenDlg, TextInputLocksTheProtocolToTextAndGoesAsOneTextJob) {
    TDateiSendenDlg& dlg = Dialog();
    connection_->SetBinMode(filesend::kProtokollDidadit);
    dlg.StartNormal();
    EXPECT_EQ(dlg.Protokoll(), filesend::kProtokollDidadit);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Senden - DB0ABC"));
    EXPECT_FALSE(dlg.FinishEnabled());  // nothing to send yet
    QRadioButton* binaer = nullptr;
    QRadioButton* autobin = nullptr;
    QRadioButton* texteingabe = nullptr;
    for (QRadioButton* b : dlg.findChildren<QRadioButton*>()) {
        if (b->text() == QStringLiteral("&Bin\u00e4r")) binaer = b;
        if (b->text() == QStringLiteral("&AutoBin")) autobin = b;
        if (b->text() == QStringLiteral("Text&eingabe")) texteingabe = b;
    }
    ASSERT_TRUE(binaer && autobin && texteingabe);
    EXPECT_FALSE(binaer->isEnabled());  // the connection cannot send plain binary
    texteingabe->click();
    EXPECT_EQ(dlg.Protokoll(), filesend::kProtokollText);
    EXPECT_FALSE(autobin->isEnabled());
    autobin->click();
    EXPECT_EQ(dlg.Protokoll(), filesend::kProtokollText);

    dlg.Weiter();
    ASSERT_EQ(dlg.Page(), TDateiSendenDlg::kPageText);
    const std::string longLine = std::string(60, 'a') + " " + std::string(30, 'b');
    Find<QPlainTextEdit>("Texteingabe")
        ->setPlainText(QStringLiteral("Hallo\n\n") + QString::fromStdString(longLine));
    ASSERT_TRUE(dlg.FinishEnabled());
    ASSERT_TRUE(dlg.Fertigstellen());
    ASSERT_EQ(queue_->GetCount(), 1);
    const auto job = queue_->GetItems(0);
    EXPECT_EQ(job->GetProtokoll(), filesend::kProtokollText);
    EXPECT_EQ(job->GetFileName(), "???");
    core::TStream* stream = job->GetStream();
    ASSERT_NE(stream, nullptr);
    std::string sent(static_cast<std::size_t>(stream->GetSize()), '\0');
    stream->SetPosition(0);
    stream->ReadBuffer(sent.data(), sent.size());
    // Widget line ends become CR; the long line is wrapped at 78 columns.
    EXPECT_EQ(sent, "Hallo\r\r" + std::string(60, 'a') + " \r" + std::string(30, 'b') + "\r");
    EXPECT_TRUE(told_.empty());
}

TEST_F(DateiSendenDlg, FinishQueuesThePartsWithTheirMailboxTexts) {
    const fs::path file = File("bild.jpg", 100 * 1024);  // 4 parts of 32 KiB
    TDateiSendenDlg& dlg = Dialog();
    dlg.StartNormal();
    ASSERT_EQ(dlg.Protokoll(), filesend::kProtokollAutobin);
    dlg.Weiter();
    ASSERT_EQ(dlg.Page(), TDateiSendenDlg::kPageDateien);
    dlg.chooseFiles = [&] { return std::vector<fs::path>{file, file, dir_ / "fehlt.bin"}; };
    test::Click(&dlg, QStringLiteral("&Hinzuf\u00fcgen"));
    EXPECT_EQ(Find<QListWidget>("Dateien")->count(), 2);  // no name twice
    dlg.Weiter();
    ASSERT_EQ(dlg.Page(), TDateiSendenDlg::kPageOptionen);
    Check("&Teilen")->setChecked(true);
    Check("Text &vorher")->setChecked(true);
    Find<QPlainTextEdit>("TextVorher")->setPlainText(QStringLiteral("s rubrik %n (%p/%q)"));
    Find<QPlainTextEdit>("TextNachher")->setPlainText(QStringLiteral("***end\n"));

    answer_ = core::mrNo;  // the missing file is not tried again
    ASSERT_TRUE(dlg.Fertigstellen());
    ASSERT_EQ(told_.size(), 1u);
    EXPECT_EQ(told_[0].title, "Fehler");
    EXPECT_NE(told_[0].text.find("Datei konnte nicht ge\xF6"
                                 "ffnet werden. Noch einmal versuchen?"),
              std::string::npos);
    EXPECT_EQ(Queued(), (std::vector<std::string>{"bild.b01", "bild.b02", "bild.b03", "bild.b04"}));
    EXPECT_EQ(queue_->GetItems(1)->GetTextBefore(), "s rubrik bild.b02 (02/04)\r");
    EXPECT_EQ(queue_->GetItems(1)->GetTextAfter(), "");  // "Text nachher" was off
    EXPECT_EQ(queue_->GetItems(1)->GetProtokoll(), filesend::kProtokollAutobin);

    // The texts used come back next time.
    Dialog();
    EXPECT_EQ(Find<QPlainTextEdit>("TextVorher")->toPlainText(),
              QStringLiteral("s rubrik %n (%p/%q)"));
    EXPECT_EQ(Find<QPlainTextEdit>("TextNachher")->toPlainText(), QStringLiteral("***end\n"));
}

TEST_F(DateiSendenDlg, DroppedFolderSkipsDotFoldersAndDirectoryLinks) {
    const fs::path top = dir_ / "Ordner";
    test::TempFolder::Write(top / "a.txt", "a");
    test::TempFolder::Write(top / "unter" / "b.txt", "b");
    test::TempFolder::Write(top / ".git" / "HEAD", "x");
    fs::create_directory_symlink(top, top / "unter" / "schleife");
    TDateiSendenDlg& dlg = Dialog();
    dlg.StartWithFiles({top});
    std::vector<fs::path> names;
    for (const auto& f : dlg.Dateien().Items()) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<fs::path>{top / "a.txt", top / "unter" / "b.txt"}));
    EXPECT_EQ(dlg.Protokoll(), filesend::kProtokollAutobin);
}

class FakePGP final : public core::IPGP {
  public:
    std::string Decode(std::string_view) override { return {}; }
    std::vector<core::TPGPKey> GetPrivateKeys() override { return {{"ABCD", "Alice"}}; }
    std::string Sign(std::string_view, std::string_view password, std::string_view,
                     std::string_view text) override {
        if (password != "richtig") throw platform::PgpBadPassphrase("Bad passphrase");
        return "SIGNED\r" + std::string(text);
    }
};

TEST_F(DateiSendenDlg, WrongPasswordStopsFinishAndSelectsTheField) {
    core::SetPGPFactory([] { return std::make_unique<FakePGP>(); });
    TDateiSendenDlg& dlg = Dialog();
    dlg.StartWithText("Gru\xDF");
    Check("&Signieren")->setChecked(true);
    auto* password = Find<QLineEdit>("PGPPasswort");
    password->setText(QStringLiteral("falsch"));
    EXPECT_FALSE(dlg.Fertigstellen());
    ASSERT_EQ(told_.size(), 1u);
    EXPECT_EQ(told_[0].title, "PGP");
    EXPECT_EQ(told_[0].text, "Falsches Passwort.");
    EXPECT_EQ(dlg.Page(), TDateiSendenDlg::kPagePGP);
    EXPECT_EQ(password->selectedText(), QStringLiteral("falsch"));
    EXPECT_EQ(queue_->GetCount(), 0);

    password->setText(QStringLiteral("richtig"));
    ASSERT_TRUE(dlg.Fertigstellen());
    ASSERT_EQ(queue_->GetCount(), 1);
    EXPECT_EQ(queue_->GetItems(0)->GetSize(), 12);  // "SIGNED\r" + "Gruß\r"
}

TEST_F(DateiSendenDlg, QueuePageFollowsTheQueueAndTheLink) {
    TDateiSendenDlg& dlg = Dialog();
    dlg.StartNormal();
    auto* list = Find<QListWidget>("Warteschlange");
    auto* label = Find<QLabel>("WarteschlangeText");
    EXPECT_EQ(label->text(),
              QStringLiteral("Derzeit befinden sich keine Dateien in der Sendewarteschlange."));
    // Queued from a connection's thread: shown once the main thread has it.
    std::thread([&] {
        queue_->EnQueue(std::make_shared<test::FakeDateiSenden>("post.7pl"));
    }).join();
    for (int i = 0; i < 100 && list->count() == 0; ++i) QTest::qWait(10);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("post.7pl"));

    kanal_->Getrennt(0);
    for (int i = 0; i < 100 && label->text().isEmpty(); ++i) QTest::qWait(10);
    EXPECT_EQ(label->text(), QStringLiteral("Der Kanal ist nicht verbunden."));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Senden - nicht verbunden"));
    EXPECT_FALSE(dlg.FinishEnabled());
}

}  // namespace
