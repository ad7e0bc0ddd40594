// Two complete terminal ends joined by the loopback link: channels, connections,
// their worker threads and the text module, as an operator would see them.
#include <gtest/gtest.h>

#include "channels/KanalU.h"
#include "connection/VerbindungAbstractU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/LoopbackLink.h"

namespace {

using namespace tarvo;

class Loopback : public test::ChannelFixture {
  protected:
    Loopback() {
        config_->SetSendSid(true);
        config_->SetHideReceivedSid(false);
        vctx_.dispatcher = &dispatcher_;
        vctx_.config = config_.get();
        vctx_.registry = &registry_;
        vctx_.klaenge = &klaenge_;
        vctx_.versionText = "0.01.000";
        vctx_.runModules = connection::TVerbindungAbstract::RunStandard;
        link_ = test::TLoopbackLink::Create(vctx_, vctx_);
        kanalA_ = MakeKanal(1);
        kanalB_ = MakeKanal(2);
        link_->A().SetPath("DB0BBB");
        link_->A().SetMyCall("DL1AAA");
        link_->B().SetPath("DL1AAA");
        link_->B().SetMyCall("DB0BBB");
        link_->A().SetKanal(kanalA_);
        link_->B().SetKanal(kanalB_);
    }
    ~Loopback() override {
        if (!link_->Down()) {
            link_->Drop();
            Until([&] { return link_->Down(); });
        }
        link_->Stop();
        link_->A().Release();
        link_->B().Release();
        kanalA_->Release();
        kanalB_->Release();
    }
    // Serves the main thread until the condition holds.
    bool Until(const std::function<bool()>& done) {
        return dispatcher_.RunUntil(done, std::chrono::seconds(10));
    }
    static bool Shows(const channels::TKanal& k, const std::string& text) {
        return ConsoleText(k.Console()).find(text) != std::string::npos;
    }

    connection::TVerbindungContext vctx_;
    std::shared_ptr<test::TLoopbackLink> link_;
    std::shared_ptr<channels::TKanal> kanalA_, kanalB_;
};

TEST_F(Loopback, StationIdsAreExchangedAndTypedTextArrives) {
    link_->Connect();
    ASSERT_TRUE(Until([&] {
        return Shows(*kanalA_, "Verbunden mit DB0BBB") && Shows(*kanalB_, "Verbunden mit DL1AAA");
    }));
    // The called side greets with its station ID; the caller answers with its own.
    ASSERT_TRUE(Until([&] { return link_->A().BinMode() == 5 && link_->B().BinMode() == 5; }));
    EXPECT_TRUE(Shows(*kanalA_, "{Tarvo-0.01.000-D?}"));

    link_->A().SendData("Hallo B^m", true, true, false, true);
    ASSERT_TRUE(Until([&] { return Shows(*kanalB_, "Hallo B"); }));
    EXPECT_TRUE(Shows(*kanalA_, "Hallo B")) << "own text is echoed";

    // Typed lines arrive as typed, in order, each frame as it was sent.
    for (int i = 0; i < 20; ++i) link_->B().SendTextLine("Zeile " + std::to_string(i));
    ASSERT_TRUE(Until([&] { return Shows(*kanalA_, "Zeile 19"); }));
    const std::string a = ConsoleText(kanalA_->Console());
    std::size_t at = 0;
    for (int i = 0; i < 20; ++i) {
        const std::string line = "Zeile " + std::to_string(i) + "|";
        const std::size_t found = a.find(line, at);
        ASSERT_NE(found, std::string::npos) << line;
        EXPECT_EQ(a.find(line, found + 1), std::string::npos) << line << " twice";
        at = found;
    }
}

TEST_F(Loopback, AnOrderlyDisconnectEndsBothSides) {
    link_->Connect();
    ASSERT_TRUE(Until([&] { return link_->A().BinMode() == 5; }));
    link_->A().SendTextLine("Tschuess");
    link_->A().Disconnect();  // waits until everything is out, then ends the link
    ASSERT_TRUE(Until(
        [&] { return link_->Down() && !kanalA_->HasConnection() && !kanalB_->HasConnection(); }));
    EXPECT_TRUE(Shows(*kanalB_, "Tschuess"));
    EXPECT_TRUE(Shows(*kanalA_, "DL1AAA: Getrennt von DB0BBB"));
    EXPECT_TRUE(Shows(*kanalB_, "DB0BBB: Getrennt von DL1AAA"));
    EXPECT_FALSE(link_->A().WorkerRunning());
    EXPECT_FALSE(link_->B().WorkerRunning());
}

TEST_F(Loopback, ADroppedLinkIsAFailureOnBothSides) {
    link_->SetDelay(std::chrono::milliseconds(2));
    link_->Connect();
    ASSERT_TRUE(Until([&] { return Shows(*kanalB_, "Verbunden mit"); }));
    link_->Drop();
    ASSERT_TRUE(Until([&] { return !kanalA_->HasConnection() && !kanalB_->HasConnection(); }));
    EXPECT_TRUE(Shows(*kanalA_, "Verbindungsfehler. Getrennt von DB0BBB"));
    EXPECT_TRUE(Shows(*kanalB_, "Verbindungsfehler. Getrennt von DL1AAA"));
}

}  // namespace
