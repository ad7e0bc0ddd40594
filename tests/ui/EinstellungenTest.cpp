#include "ui/EinstellungenU.h"

#include <gtest/gtest.h>

#include "tests/ui/WidgetLookup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "channels/KanaeleU.h"
#include "core/ExceptionReportU.h"
#include "core/MessageWindowU.h"
#include "core/SynchronizeU.h"
#include "devices/GeraeteU.h"
#include "devices/MyCallsU.h"
#include "resources/KlaengeU.h"
#include "resources/OrdnerU.h"
#include "resources/TexteU.h"
#include "stations/RemoteCommandsU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/devices/FakeGeraet.h"
#include "tests/support/FakeSoundOutput.h"
#include "ui/KlaengeFormU.h"
#include "ui/RemoteCommandsFormU.h"
#include "ui/TexteFormU.h"

namespace {

using namespace tarvo;
using ui::TEinstellungenForm;
using C = core::TConfig;

constexpr platform::Hive LM = platform::Hive::LocalMachine;

struct Question {
    std::string title, text;
    unsigned buttons;
};

using test::Button;
using test::Click;

// The used rows of a console, one string each.
std::vector<std::string> Rows(const channels::TConsole& c) {
    std::vector<std::string> out;
    for (int r = 0; r <= c.WriteRow(); ++r) {
        const auto l = c.GetLine(r);
        if (l.length > 0) out.emplace_back(l.chars.substr(0, static_cast<std::size_t>(l.length)));
    }
    return out;
}

bool Shows(const channels::TConsole& c, const std::string& part) {
    for (const std::string& row : Rows(c))
        if (row.find(part) != std::string::npos) return true;
    return false;
}

class ReportView : public core::IUnhandledExceptionView {
  public:
    core::ExceptionChoice Show(const std::string&, const std::string& message) override {
        messages.push_back(message);
        return core::ExceptionChoice::Ignore;
    }
    std::vector<std::string> messages;
};

class Einstellungen : public test::ChannelFixture {
  protected:
    Einstellungen() {
        devices::ClearRegisteredKinds();
        devices::RegistriereGeraet(test::FakeGeraet::Kind("TFakeGeraet", "Fake"));
        const std::string key = std::string(devices::kGeraeteKey) + "\\0";
        registry_.WriteText(LM, key, "", "TFakeGeraet");
        registry_.WriteText(LM, key, "Name", "A");

        config_->SetChannels(3);
        kanaele_ = std::make_unique<channels::TKanaele>(ctx_, nullptr);
        myCalls_ = std::make_shared<devices::TMyCalls>(registry_);
        myCalls_->Add(devices::TMyCall("DL1ABC", 1));
        devCtx_.dispatcher = &dispatcher_;
        devCtx_.clock = &clock_;
        devCtx_.registry = &registry_;
        devCtx_.config = config_.get();
        geraete_ = std::make_unique<devices::TGeraete>(devCtx_, nullptr);
        geraete_->Create();

        uiCtx_.config = config_.get();
        uiCtx_.myCalls = myCalls_;
        uiCtx_.kanaele = kanaele_.get();
        uiCtx_.geraete = geraete_.get();
        uiCtx_.reloadToolbarImages = [this] { ++reloads_; };
        uiCtx_.ask = [this](QWidget*, const std::string& title, const std::string& text,
                            unsigned buttons) {
            questions_.push_back({title, text, buttons});
            return answer_;
        };
        uiCtx_.editMyCall = [](QWidget*, const devices::TMyCall*) {
            return std::optional<devices::TMyCall>();
        };
        uiCtx_.fontFamilies = [this] { return families_; };

        // A fault that opens a real modal window closes it instead of hanging.
        guard_.setSingleShot(true);
        QObject::connect(&guard_, &QTimer::timeout, [] {
            ADD_FAILURE() << "modal window left open";
            while (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        guard_.start(10000);
    }
    ~Einstellungen() override {
        guard_.stop();
        TEinstellungenForm::CloseInstance();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        geraete_->Destroy();
        geraete_.reset();
        kanaele_.reset();
        devices::ClearRegisteredKinds();
    }

    TEinstellungenForm* Open() { return TEinstellungenForm::Open(uiCtx_, nullptr); }
    template <class Page>
    Page* Show(TEinstellungenForm* form, int index) {
        EXPECT_TRUE(form->ShowPage(index));
        auto* page = dynamic_cast<Page*>(form->Page(index));
        EXPECT_NE(page, nullptr);
        return page;
    }

    std::unique_ptr<channels::TKanaele> kanaele_;
    std::shared_ptr<devices::TMyCalls> myCalls_;
    devices::TGeraetContext devCtx_;
    std::unique_ptr<devices::TGeraete> geraete_;
    ui::TEinstellungenContext uiCtx_;
    std::vector<std::string> families_ = {"Tarvo 07x09", "Tarvo 08x12", "Tarvo 10x18"};
    std::vector<Question> questions_;
    int answer_ = core::mrYes;
    int reloads_ = 0;
    QTimer guard_;
};

TEST_F(Einstellungen, OkWithoutVisitingOtherTabsChangesOnlyThePageZeroValues) {
    config_->SetIncomingConnects(C::kIncomingIgnore);
    config_->SetLocalEcho(true);
    config_->SetMonitor(0x07);
    config_->SetFont("10x18");
    config_->SetColor(C::kColorChannelReceived, 0x123456);
    config_->SetSendSid(false);
    config_->SetHighColor(false);
    config_->SetPgpDetailedOutput(true);
    uiCtx_.editMyCall = [](QWidget*, const devices::TMyCall* call) {
        EXPECT_EQ(call, nullptr);
        return std::optional<devices::TMyCall>(devices::TMyCall("DL2XYZ", 1u << 7));
    };

    TEinstellungenForm* form = Open();
    EXPECT_EQ(TEinstellungenForm::Open(uiCtx_, nullptr), form);  // one window at a time
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Einstellungen"));
    QStringList captions;
    for (int i = 0; i < form->Tabs()->count(); ++i) captions << form->Tabs()->tabText(i);
    EXPECT_EQ(captions, (QStringList{"Allgemein", "Geräte", "Dateien", "Anzeige", "Monitor",
                                     "Texte", "Fernst.", "Klänge", "Erweitert"}));
    for (int i = 1; i < TEinstellungenForm::kPageCount; ++i) EXPECT_EQ(form->Page(i), nullptr);

    auto* page = dynamic_cast<ui::TEinstellungenAllgemein*>(form->Page(0));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Ankommend()->currentText(), QStringLiteral("ignorieren"));
    EXPECT_EQ(page->Kanaele()->value(), 3);
    ASSERT_EQ(page->Calls()->topLevelItemCount(), 1);
    EXPECT_EQ(page->Calls()->topLevelItem(0)->text(0), QStringLiteral("DL1ABC"));

    Click(page, QStringLiteral("&Hinzufügen"));
    ASSERT_EQ(page->Calls()->topLevelItemCount(), 2);
    EXPECT_EQ(page->Calls()->topLevelItem(1)->text(1), QStringLiteral("7"));
    EXPECT_EQ(myCalls_->Count(), 1u);  // only the working copy so far
    page->Kanaele()->setValue(5);
    page->LokalesEcho()->setChecked(false);
    page->Ankommend()->setCurrentIndex(2);

    QPointer<TEinstellungenForm> alive = form;
    Click(form, QStringLiteral("OK"));
    EXPECT_EQ(TEinstellungenForm::Instance(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());

    EXPECT_EQ(kanaele_->Count(), 5);
    EXPECT_EQ(config_->Channels(), 5);
    EXPECT_FALSE(config_->LocalEcho());
    EXPECT_EQ(config_->IncomingConnects(), C::kIncomingReject);
    ASSERT_EQ(myCalls_->Count(), 2u);
    EXPECT_EQ(myCalls_->Items(1)->Rufzeichen(0), "DL2XYZ-7");
    devices::TMyCalls stored(registry_);
    stored.Create();
    EXPECT_EQ(stored.Count(), 2u);
    EXPECT_TRUE(questions_.empty());

    // The pages never shown keep what is stored.
    EXPECT_EQ(config_->Monitor(), 0x07);
    EXPECT_EQ(config_->Font(), "10x18");
    EXPECT_EQ(config_->Color(C::kColorChannelReceived), 0x123456u);
    EXPECT_FALSE(config_->SendSid());
    EXPECT_FALSE(config_->HighColor());
    EXPECT_TRUE(config_->PgpDetailedOutput());
    EXPECT_EQ(reloads_, 0);
    EXPECT_EQ(geraete_->Count(), 1);
}

TEST_F(Einstellungen, MonitorStoresExactlyTheBoxesAsTheyAreChecked) {
    using namespace channels;
    struct Case {
        const char* name;
        std::int32_t stored;
        std::vector<int> clicks;
        std::int32_t expected;
        bool inhaltEnabled, binaerEnabled;
        bool binSummary;  // the sample shows the binary frame as " BIN16"
    };
    const std::vector<Case> cases = {
        {"unchanged, foreign bits dropped",
         C::kDefaultMonitor | 0x201,
         {},
         C::kDefaultMonitor,
         true,
         true,
         true},
        {"information cleared keeps content checked",
         C::kDefaultMonitor,
         {kBoxInformation},
         C::kDefaultMonitor & ~0x04,
         false,
         false,
         false},
        {"content cleared keeps binary checked", 0x8C, {kBoxInhalt}, 0x84, true, false, false},
        {"disabled boxes ignore clicks, then enabled in turn",
         0,
         {kBoxInhalt, kBoxInformation, kBoxInhalt, kBoxBinaerdaten},
         0x8C,
         true,
         true,
         false},
        {"everything else",
         0,
         {kBoxStatus, kBoxUI, kBoxLokaleMeldungen, kBoxKanalnummer},
         0x152,
         false,
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        config_->SetMonitor(c.stored);
        TEinstellungenForm* form = Open();
        auto* page = Show<ui::TEinstellungenMonitor>(form, TEinstellungenForm::kMonitor);
        ASSERT_NE(page, nullptr);
        for (int box : c.clicks) page->Box(box)->click();
        EXPECT_EQ(page->Box(kBoxInhalt)->isEnabled(), c.inhaltEnabled);
        EXPECT_EQ(page->Box(kBoxBinaerdaten)->isEnabled(), c.binaerEnabled);
        EXPECT_EQ(Shows(page->Sample()->Console(), " BIN16]"), c.binSummary);
        Click(form, QStringLiteral("Übe&rnehmen"));
        EXPECT_EQ(config_->Monitor(), c.expected) << std::hex << config_->Monitor();
        TEinstellungenForm::CloseInstance();
        EXPECT_EQ(TEinstellungenForm::Instance(), nullptr);
    }
}

TEST_F(Einstellungen, ConsoleRowsChangeOnlyWhenTheQuestionIsAnsweredYes) {
    struct Case {
        int answer;
        int rows;  // stored and in the consoles afterwards
        bool textKept;
    };
    for (const Case& c :
         {Case{core::mrNo, C::kMinConsoleRows, true}, Case{core::mrYes, 600, false}}) {
        SCOPED_TRACE(c.answer);
        config_->SetConsoleRows(C::kMinConsoleRows);
        kanaele_->SetConsoleRows(C::kMinConsoleRows);
        kanaele_->GetKanal(1)->Console().Write("Hallo\r");
        questions_.clear();
        answer_ = c.answer;

        TEinstellungenForm* form = Open();
        auto* page = dynamic_cast<ui::TEinstellungenAllgemein*>(form->Page(0));
        ASSERT_NE(page, nullptr);
        page->Zeilen()->setValue(600);
        Click(form, QStringLiteral("Übe&rnehmen"));
        ASSERT_EQ(questions_.size(), 1u);
        EXPECT_EQ(questions_[0].title, "Tarvo");
        EXPECT_EQ(questions_[0].text,
                  "Bei \xC4nderung der Zeilenzahl werden die Inhalte der Empfangsfenster "
                  "gel\xF6scht. Fortsetzen?");
        EXPECT_EQ(questions_[0].buttons, (1u << core::kBitJa) | (1u << core::kBitNein));

        EXPECT_EQ(page->Zeilen()->value(), c.rows);
        EXPECT_EQ(config_->ConsoleRows(), c.rows);
        for (int n = 0; n <= kanaele_->Count(); ++n)
            EXPECT_EQ(kanaele_->GetKanal(n)->Console().Rows(), c.rows) << n;
        EXPECT_EQ(Shows(kanaele_->GetKanal(1)->Console(), "Hallo"), c.textKept);

        // Field and store agree now, so applying again asks nothing.
        Click(form, QStringLiteral("Übe&rnehmen"));
        EXPECT_EQ(questions_.size(), 1u);
        TEinstellungenForm::CloseInstance();
    }
}

TEST_F(Einstellungen, FontListSelectsWithinWhatIsInstalled) {
    struct Case {
        std::vector<std::string> families;
        const char* stored;
        QStringList entries;
        int selected;
        const char* storedAfter;
        const char* family;  // given to the channels
    };
    const std::vector<Case> cases = {
        {{"Tarvo 07x09", "DejaVu Sans", "Tarvo 10x18"},
         "08x15",
         {"07x09", "10x18"},
         1,
         "10x18",
         "Tarvo 10x18"},
        {{"tarvo 08x09"}, "08x09", {"08x09"}, 0, "08x09", "tarvo 08x09"},
        {{"DejaVu Sans", "Tarvo"}, "08x15", {}, -1, "08x15", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.storedAfter);
        families_ = c.families;
        config_->SetFont(c.stored);
        const core::TFontFace before = kanaele_->Font();
        TEinstellungenForm* form = Open();
        auto* page = Show<ui::TEinstellungenAnzeige>(form, TEinstellungenForm::kAnzeige);
        ASSERT_NE(page, nullptr);
        QStringList entries;
        for (int i = 0; i < page->Sizes()->count(); ++i) entries << page->Sizes()->item(i)->text();
        EXPECT_EQ(entries, c.entries);
        EXPECT_EQ(page->Sizes()->currentRow(), c.selected);
        Click(form, QStringLiteral("OK"));
        EXPECT_EQ(config_->Font(), c.storedAfter);
        if (c.selected >= 0) {
            EXPECT_EQ(kanaele_->Font().sizeName, c.storedAfter);
            EXPECT_EQ(kanaele_->Font().family, c.family);
        } else {
            EXPECT_EQ(kanaele_->Font(), before);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(Einstellungen, DefaultColoursRestoreOnlyTheirTabAndReachTheChannels) {
    config_->SetColor(C::kColorChannelReceived, 0x123456);
    config_->SetColor(C::kColorMonitorHeader, 0x654321);
    TEinstellungenForm* form = Open();
    auto* page = Show<ui::TEinstellungenAnzeige>(form, TEinstellungenForm::kAnzeige);
    ASSERT_NE(page, nullptr);
    page->SetWorkingColour(C::kColorInputSent, 0x00FF00);
    auto* defaults = page->findChild<QPushButton*>(QStringLiteral("standardfarben0"));
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(defaults->text(), QStringLiteral("Standardfarben"));
    defaults->click();
    EXPECT_EQ(page->Sample()->Console().Background(),
              (channels::TRgb{static_cast<std::uint8_t>(C::DefaultColor(0) & 0xFF),
                              static_cast<std::uint8_t>((C::DefaultColor(0) >> 8) & 0xFF),
                              static_cast<std::uint8_t>((C::DefaultColor(0) >> 16) & 0xFF)}));
    Click(form, QStringLiteral("Übe&rnehmen"));

    EXPECT_EQ(config_->Color(C::kColorChannelReceived), C::DefaultColor(C::kColorChannelReceived));
    EXPECT_EQ(config_->Color(C::kColorMonitorHeader), 0x654321u);
    EXPECT_EQ(config_->Color(C::kColorInputSent), 0x00FF00u);
    const std::uint32_t d = C::DefaultColor(C::kColorChannelReceived);
    EXPECT_EQ(kanaele_->GetKanal(1)->Console().GetPaletteEntry(channels::kColourReceived),
              (channels::TRgb{static_cast<std::uint8_t>(d & 0xFF),
                              static_cast<std::uint8_t>((d >> 8) & 0xFF),
                              static_cast<std::uint8_t>((d >> 16) & 0xFF)}));
    EXPECT_EQ(kanaele_->GetKanal(0)->Console().GetPaletteEntry(channels::kColourReceived),
              (channels::TRgb{0x21, 0x43, 0x65}));
}

TEST_F(Einstellungen, ErweitertStoresHighColourOnlyWhileItsBoxIsEnabled) {
    struct Case {
        int colourLevel;
        bool enabled;
        bool storedAfter;
        int reloads;
    };
    for (const Case& c : {Case{1, false, false, 0}, Case{2, true, true, 1}}) {
        SCOPED_TRACE(c.colourLevel);
        config_->SetHighColor(false);
        config_->SetSendSid(true);
        config_->SetHideSentSid(true);
        config_->SetPgpDetailedOutput(false);
        reloads_ = 0;
        uiCtx_.colourLevel = c.colourLevel;
        TEinstellungenForm* form = Open();
        auto* page = Show<ui::TEinstellungenErweitert>(form, TEinstellungenForm::kErweitert);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->HighColor()->isEnabled(), c.enabled);
        page->HighColor()->setChecked(true);
        // The dependent box goes disabled but stays checked, and is stored so.
        page->SendSid()->click();
        EXPECT_FALSE(page->HideSentSid()->isEnabled());
        EXPECT_TRUE(page->HideSentSid()->isChecked());
        EXPECT_TRUE(page->SimpleResults()->isChecked());
        page->SimpleResults()->click();
        Click(form, QStringLiteral("Übe&rnehmen"));

        EXPECT_EQ(config_->HighColor(), c.storedAfter);
        EXPECT_EQ(reloads_, c.reloads);
        EXPECT_FALSE(config_->SendSid());
        EXPECT_TRUE(config_->HideSentSid());
        EXPECT_TRUE(config_->PgpDetailedOutput());
        TEinstellungenForm::CloseInstance();
    }
}

TEST_F(Einstellungen, DevicesPageAppliesOnlyOnAcceptAndLetsGoOfTheSetOnClose) {
    const auto removeFirst = [this] {
        TEinstellungenForm* form = Open();
        auto* page = Show<ui::TEinstellungenGeraete>(form, TEinstellungenForm::kGeraete);
        EXPECT_NE(page, nullptr);
        if (!page) return form;
        QTreeWidget* list = page->Liste()->List();
        EXPECT_EQ(list->topLevelItemCount(), 1);
        list->setCurrentItem(list->topLevelItem(0));
        Click(page, QStringLiteral("Ent&fernen"));
        EXPECT_EQ(list->topLevelItemCount(), 0);
        return form;
    };

    Click(removeFirst(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(TEinstellungenForm::Instance(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(geraete_->Count(), 1);
    ASSERT_EQ(questions_.size(), 1u);
    EXPECT_EQ(questions_[0].title, "Entfernen");

    Click(removeFirst(), QStringLiteral("OK"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(geraete_->Count(), 0);
    EXPECT_TRUE(registry_.SubKeyNames(LM, devices::kGeraeteKey).empty());

    // Shutting down with the page open: the window goes before the set, at once.
    Show<ui::TEinstellungenGeraete>(Open(), TEinstellungenForm::kGeraete);
    TEinstellungenForm::CloseInstance();
    EXPECT_EQ(TEinstellungenForm::Instance(), nullptr);
}

TEST_F(Einstellungen, OwnCallsignsAreEditedOnACopyUntilApplied) {
    myCalls_->Add(devices::TMyCall("DB0TST", 3));
    std::vector<std::string> offered;
    uiCtx_.editMyCall = [&](QWidget*, const devices::TMyCall* call) {
        offered.push_back(call ? call->Call() : "");
        return std::optional<devices::TMyCall>(devices::TMyCall("DL1ABC", 1u << 5));
    };
    TEinstellungenForm* form = Open();
    auto* page = dynamic_cast<ui::TEinstellungenAllgemein*>(form->Page(0));
    ASSERT_NE(page, nullptr);
    QTreeWidget* calls = page->Calls();
    ASSERT_EQ(calls->topLevelItemCount(), 2);
    EXPECT_EQ(calls->topLevelItem(1)->text(1), QStringLiteral("0..1"));

    calls->setCurrentItem(calls->topLevelItem(0));
    Click(page, QStringLiteral("&Bearbeiten"));
    EXPECT_EQ(offered, std::vector<std::string>{"DL1ABC"});
    EXPECT_EQ(calls->topLevelItem(0)->text(1), QStringLiteral("5"));
    calls->setCurrentItem(calls->topLevelItem(1));
    Click(page, QStringLiteral("&Entfernen"));
    ASSERT_EQ(calls->topLevelItemCount(), 1);
    EXPECT_EQ(calls->currentItem(), calls->topLevelItem(0));
    EXPECT_EQ(myCalls_->Count(), 2u);
    EXPECT_EQ(myCalls_->Items(0)->SSIDMask(), 1u);

    Click(form, QStringLiteral("Übe&rnehmen"));
    ASSERT_EQ(myCalls_->Count(), 1u);
    EXPECT_EQ(*myCalls_->Items(0), devices::TMyCall("DL1ABC", 1u << 5));
}

TEST_F(Einstellungen, APageThatFailsIsReportedTheOthersApplyAndTheWindowStays) {
    ReportView view;
    core::SetMainDispatcher(&dispatcher_);
    core::SetUnhandledExceptionView(&view);
    // Channel 4's buffer cannot be made: a folder is in the way.
    std::filesystem::create_directories(ctx_.bufferFolder / channels::ConsoleBufferFileName(4) /
                                        "x");
    config_->SetMonitor(0);
    TEinstellungenForm* form = Open();
    auto* monitor = Show<ui::TEinstellungenMonitor>(form, TEinstellungenForm::kMonitor);
    ASSERT_NE(monitor, nullptr);
    monitor->Box(channels::kBoxStatus)->click();
    ASSERT_TRUE(form->ShowPage(TEinstellungenForm::kAllgemein));
    dynamic_cast<ui::TEinstellungenAllgemein*>(form->Page(0))->Kanaele()->setValue(5);

    Click(form, QStringLiteral("OK"));
    core::SetUnhandledExceptionView(nullptr);
    core::SetMainDispatcher(nullptr);
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(TEinstellungenForm::Instance(), form);
    EXPECT_EQ(kanaele_->Count(), 3);
    EXPECT_EQ(config_->Channels(), 3);
    EXPECT_EQ(config_->Monitor(), 0x02);
}

}  // namespace

namespace {

TEST_F(Einstellungen, DateienShowsBothFoldersAndStoresWhatTheBrowserChose) {
    auto ordner = std::make_shared<resources::TOrdner>(
        registry_, platform::UserFolders{"/home/op", "", "/home/op/Downloads"});
    ordner->SetReceiveFolder("/srv/empfang/");
    resources::SetOrdner(ordner);
    TEinstellungenForm* form = Open();
    auto* page = Show<ui::TEinstellungenDateien>(form, TEinstellungenForm::kDateien);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Empfang()->text(), QStringLiteral("/srv/empfang"));
    EXPECT_EQ(page->Remote()->text(), QStringLiteral("/home/op/Downloads/Tarvo"));

    std::vector<QString> titles;
    QString answer = QStringLiteral("/srv/neu");
    page->chooseFolder = [&](const QString& title, const QString& start) {
        titles.push_back(title);
        EXPECT_FALSE(start.isEmpty());
        return answer;
    };
    page->EmpfangBrowse()->click();
    answer.clear();  // the browser was cancelled
    page->RemoteBrowse()->click();
    EXPECT_EQ(titles, (std::vector<QString>{
                          QStringLiteral("Ordner f\u00fcr empfangene Dateien:"),
                          QStringLiteral("Ordner f\u00fcr per Fernsteuerung lesbare Dateien:")}));
    EXPECT_EQ(page->Remote()->text(), QStringLiteral("/home/op/Downloads/Tarvo"));
    Click(form, QStringLiteral("Übe&rnehmen"));
    EXPECT_EQ(ordner->GetReceiveFolder(), "/srv/neu/");
    EXPECT_EQ(ordner->GetRemoteFolder(), "/home/op/Downloads/Tarvo/");
    TEinstellungenForm::CloseInstance();
    resources::SetOrdner(nullptr);
}

}  // namespace

namespace {

TEST_F(Einstellungen, EmbeddedPagesLinkToTheStationDatabaseAndApplyTheirEditors) {
    resources::TTexte texte(registry_, core::TStationenQuelle());
    resources::TKlaenge klaenge(
        registry_, core::TStationenQuelle(),
        std::make_unique<test::FakeSoundOutput>(std::make_shared<test::FakeSoundOutput::Shared>()));
    auto manager =
        std::make_shared<stations::TRemoteCommandManager>(registry_, core::TStationenQuelle());
    stations::SetRemoteCommandManager(manager);
    uiCtx_.texte = &texte;
    uiCtx_.klaenge = &klaenge;
    int opened = 0;
    uiCtx_.openStationDatabase = [&] { ++opened; };

    struct Case {
        int index;
        QString link;
        std::function<void(ui::TTabForm*)> edit;
        std::function<bool()> applied;
    };
    const std::vector<Case> cases = {
        {TEinstellungenForm::kTexte,
         QStringLiteral("In der <a href=\"stationen\">Stationendatenbank</a> können Sie "
                        "rufzeichenabhängige Texte einstellen."),
         [](ui::TTabForm* p) {
             dynamic_cast<ui::TTexteForm*>(p)->Memo()->setPlainText(QStringLiteral("Moin"));
         },
         [&] { return texte.ReadGeneral(0) == "Moin"; }},
        {TEinstellungenForm::kFernst,
         QStringLiteral("Treffen Sie rufzeichenabhängige Einstellungen in der "
                        "<a href=\"stationen\">Stationendatenbank</a>."),
         [](ui::TTabForm* p) {
             auto* tree = dynamic_cast<ui::TRemoteCommandsForm*>(p)->Tree();
             tree->findItems(QStringLiteral("Read"), Qt::MatchExactly, 0)
                 .front()
                 ->setCheckState(0, Qt::Checked);
         },
         [&] { return manager->GetDefaultEnabled("read"); }},
        {TEinstellungenForm::kKlaenge,
         QStringLiteral("In der <a href=\"stationen\">Stationendatenbank</a> können Sie "
                        "rufzeichenabhängige Klänge einstellen."),
         [](ui::TTabForm* p) {
             dynamic_cast<ui::TKlaengeForm*>(p)->Signal(resources::kSignalTones)->click();
         },
         [&] { return klaenge.LoadGeneral(0).signal == resources::kSignalTones; }},
    };
    TEinstellungenForm* form = Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        ASSERT_TRUE(form->ShowPage(c.index));
        ui::TTabForm* page = form->Page(c.index);
        ASSERT_NE(page, nullptr);
        auto* link =
            form->Tabs()->currentWidget()->findChild<QLabel*>(QStringLiteral("stationenLink"));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->text(), c.link);
        const int before = opened;
        emit link->linkActivated(QStringLiteral("stationen"));
        EXPECT_EQ(opened, before + 1);
        c.edit(page);
        EXPECT_FALSE(c.applied());
    }
    Click(form, QStringLiteral("Übe&rnehmen"));
    for (const Case& c : cases) EXPECT_TRUE(c.applied()) << c.index;
    TEinstellungenForm::CloseInstance();
    stations::SetRemoteCommandManager(nullptr);
}

}  // namespace
