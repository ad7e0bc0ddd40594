// The device status window, the hostmode command line, the first-steps and the
// info window, each over a small device set of fakes.
#include "ui/GeraeteStatusU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "core/ConfigU.h"
#include "devices/GeraetHostmodeSerialU.h"
#include "devices/GeraeteU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/devices/FakeGeraet.h"
#include "tests/ui/WidgetLookup.h"
#include "ui/ErsteSchritteU.h"
#include "ui/HostmodeCommandlineU.h"
#include "ui/InfoU.h"

namespace {

using namespace tarvo;
using test::Click;
using ui::TGeraeteStatus;

constexpr platform::Hive CU = platform::Hive::CurrentUser;
constexpr platform::Hive LM = platform::Hive::LocalMachine;
const std::string kStatusKey = std::string(core::TConfig::kRootKey) + TGeraeteStatus::kKey;

class Fenster : public test::ChannelFixture {
  protected:
    // Two fakes, and a hostmode device whose port does not exist.
    Fenster() {
        devices::ClearRegisteredKinds();
        devices::RegistriereGeraet(test::FakeGeraet::Kind("TFakeGeraet", "Fake"));
        devices::RegistriereGeraet(
            {"TGeraetHostmodeSerial", "Hostmode", [](const devices::TGeraetContext& ctx) {
                 return std::shared_ptr<devices::TGeraet>(
                     std::make_shared<devices::TGeraetHostmodeSerial>(ctx));
             }});
        for (const char* n : {"0", "1"}) {
            const std::string key = std::string(devices::kGeraeteKey) + "\\" + n;
            registry_.WriteText(LM, key, "", "TFakeGeraet");
            registry_.WriteText(LM, key, "Name", n);
        }
        const std::string tnc = std::string(devices::kGeraeteKey) + "\\2";
        registry_.WriteText(LM, tnc, "", "TGeraetHostmodeSerial");
        registry_.WriteText(LM, tnc, "Schnittstelle", (dir_ / "kein-tnc").string());
        devCtx_.dispatcher = &dispatcher_;
        devCtx_.clock = &clock_;
        devCtx_.registry = &registry_;
        devCtx_.config = config_.get();
        geraete_ = std::make_unique<devices::TGeraete>(devCtx_, nullptr);
        geraete_->Create();
    }
    ~Fenster() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        geraete_->Destroy();
        geraete_.reset();
        devices::ClearRegisteredKinds();
    }

    std::shared_ptr<test::FakeGeraet> Fake(int i) const {
        return std::dynamic_pointer_cast<test::FakeGeraet>(geraete_->Item(i));
    }
    static QStringList Row(QTreeWidget* list, int row) {
        QStringList out;
        if (QTreeWidgetItem* item = list->topLevelItem(row))
            for (int c = 0; c < 3; ++c) out << item->text(c);
        return out;
    }

    devices::TGeraetContext devCtx_;
    std::unique_ptr<devices::TGeraete> geraete_;
};

TEST_F(Fenster, DeviceStatusFollowsTheSetOnlyWhileShown) {
    auto w = std::make_unique<TGeraeteStatus>(*geraete_, config_.get());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tarvo - Gerätestatus"));
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    QTreeWidget* list = w->List();
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("Gerät"));
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("Parameter"));
    EXPECT_EQ(list->headerItem()->text(2), QStringLiteral("Status"));
    EXPECT_FALSE(w->Subscribed());

    std::vector<bool> shown;
    QObject::connect(w.get(), &TGeraeteStatus::visibilityChanged,
                     [&](bool v) { shown.push_back(v); });
    w->show();
    EXPECT_TRUE(w->Subscribed());
    EXPECT_EQ(w->minimumWidth(), w->maximumWidth());  // only the height may change
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(Row(list, 0)[0], QStringLiteral("Fake"));
    EXPECT_EQ(Row(list, 0)[2], QStringLiteral("Bereit"));
    EXPECT_EQ(Row(list, 2)[0], QStringLiteral("Hostmode"));

    // A device's change touches its own row only (the marks in the others stay).
    list->topLevelItem(0)->setText(2, QStringLiteral("x"));
    list->topLevelItem(2)->setText(2, QStringLiteral("x"));
    Fake(1)->SetInfo("COM 9");
    Fake(1)->SetStatus(devices::TGeraetStatus::Init);
    EXPECT_EQ(Row(list, 1), (QStringList{"Fake", "COM 9", "Init"}));
    EXPECT_EQ(Row(list, 0)[2], QStringLiteral("x"));
    EXPECT_EQ(Row(list, 2)[2], QStringLiteral("x"));
    // A change of the list rebuilds every row.
    geraete_->Neunummerierung();
    EXPECT_EQ(Row(list, 0)[2], QStringLiteral("Bereit"));

    w->hide();
    EXPECT_FALSE(w->Subscribed());
    Fake(1)->SetStatus(devices::TGeraetStatus::Bereit);
    EXPECT_EQ(Row(list, 1)[2], QStringLiteral("Init"));
    EXPECT_EQ(shown, (std::vector<bool>{true, false}));
}

TEST_F(Fenster, DeviceStatusPositionIsKeptOnTheScreenAndStoredAtTheEnd) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* what;
        std::optional<std::pair<int, int>> stored;
        bool centred;
    };
    for (const Case& c :
         {Case{"far right", std::pair{100000, 20}, false}, Case{"missing", std::nullopt, true}}) {
        SCOPED_TRACE(c.what);
        registry_.DeleteValue(CU, kStatusKey, "X");
        if (c.stored) {
            config_->WriteInteger(CU, TGeraeteStatus::kKey, "X", c.stored->first);
            config_->WriteInteger(CU, TGeraeteStatus::kKey, "Y", c.stored->second);
        }
        auto w = std::make_unique<TGeraeteStatus>(*geraete_, config_.get());
        if (c.centred) {
            EXPECT_EQ(w->x(), screen.x() + (screen.width() - w->width()) / 2);
        } else {
            EXPECT_EQ(w->x() + w->width(), screen.x() + screen.width());
            EXPECT_EQ(w->y(), 20);
        }
        w->move(30, 40);
        w.reset();
        EXPECT_EQ(config_->ReadInteger(CU, TGeraeteStatus::kKey, "X"), 30);
        EXPECT_EQ(config_->ReadInteger(CU, TGeraeteStatus::kKey, "Y"), 40);
    }
}

TEST_F(Fenster, CommandLineHasATabPerHostmodeDeviceAndShowsTheAnswers) {
    ui::THostmodeCommandlineForm form(*geraete_);
    ASSERT_EQ(form.Tabs()->count(), 1);
    EXPECT_TRUE(form.Tabs()->tabText(0).startsWith(QStringLiteral("TNC ")));
    std::vector<std::string> sent;
    devices::TBefehlAnnahme annahme = devices::TBefehlAnnahme::Gesendet;
    form.send = [&](devices::TGeraetHostmode&, std::string_view befehl,
                    std::function<void(const devices::TBefehlAntwort&)> done) {
        sent.emplace_back(befehl);
        if (annahme == devices::TBefehlAnnahme::Gesendet)
            done({true, devices::hostmode::kReplyMessage, "200\r2. Zeile"});
        return annahme;
    };
    const auto type = [&](const QString& line) {
        form.Input()->setText(line);
        Click(&form, QStringLiteral("Senden"));
    };
    type(QStringLiteral("@T2"));
    annahme = devices::TBefehlAnnahme::Vorbehalten;
    type(QStringLiteral("I DL1ABC"));
    type(QStringLiteral("@T2"));
    EXPECT_EQ(sent, (std::vector<std::string>{"@T2", "I DL1ABC", "@T2"}));
    EXPECT_TRUE(form.Input()->text().isEmpty());
    const QString shown = form.Console(0)->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("> @T2\n200\n2. Zeile\n> I DL1ABC\nDiesen Wert")))
        << shown.toStdString();
    // The history keeps each command once, the newest first.
    ASSERT_EQ(form.History()->count(), 2);
    EXPECT_EQ(form.History()->item(0)->text(), QStringLiteral("@T2"));

    // Without its device the tab goes; the window says there is none.
    geraete_->ApplyOrder({geraete_->Item(0), geraete_->Item(1)}, {geraete_->Item(2)});
    ASSERT_EQ(form.Tabs()->count(), 1);
    EXPECT_EQ(form.Console(0), nullptr);
    EXPECT_FALSE(form.Input()->isEnabled());
}

TEST_F(Fenster, FirstStepsNotShownAgainOnlyWhenTheOperatorSaysSo) {
    for (const bool tick : {false, true}) {
        SCOPED_TRACE(tick);
        config_->SetFirstStepsDue(true);
        ui::TErsteSchritte w(config_.get());
        EXPECT_FALSE(w.NichtMehrAnzeigen()->isChecked());
        if (tick) w.NichtMehrAnzeigen()->click();
        core::TConfig next(registry_, "0.01.000");
        EXPECT_EQ(next.FirstStepsDue(), !tick);
    }
    ui::TErsteSchritte w(config_.get());
    EXPECT_TRUE(w.NichtMehrAnzeigen()->isChecked());
}

TEST_F(Fenster, InfoNamesVersionLibrariesAndAPrivateBuild) {
    for (const bool privateBuild : {false, true}) {
        ui::TInfo info("1.02.345", privateBuild, ui::UsedLibraries());
        EXPECT_EQ(info.findChild<QLabel*>(QStringLiteral("version"))->text(),
                  QStringLiteral("Version 1.02.345"));
        auto* notice = info.findChild<QLabel*>(QStringLiteral("privat"));
        EXPECT_EQ(notice != nullptr, privateBuild);
        if (notice) {
            EXPECT_EQ(notice->text(), QStringLiteral("Nicht zur Weitergabe bestimmt"));
            EXPECT_TRUE(notice->font().bold());
        }
        QStringList names;
        QTreeWidget* libs = info.Libraries();
        for (int i = 0; i < libs->topLevelItemCount(); ++i) {
            names << libs->topLevelItem(i)->text(0);
            // Each library it links reports its version at run time.
            EXPECT_NE(libs->topLevelItem(i)->text(1), QStringLiteral("unbekannt"))
                << names.back().toStdString();
        }
        for (const char* n : {"Qt", "GPGME", "PCRE2", "libgsf", "alsa-lib", "libsndfile"})
            EXPECT_TRUE(names.contains(QString::fromLatin1(n))) << n;
        EXPECT_EQ(libs->topLevelItem(0)->text(1), QString::fromLatin1(qVersion()));
    }
}

}  // namespace
