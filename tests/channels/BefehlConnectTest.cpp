#include "channels/BefehlConnectU.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/HauptLayoutU.h"
#include "tests/channels/ChannelFixture.h"

using namespace tarvo;
using channels::TBefehlConnect;
using channels::TConnectHistory;
using channels::TPaneHeights;

namespace {

TEST(BefehlConnect, CallsignForms) {
    struct Case {
        const char* typed;
        const char* myCall;  // as the own callsign; null: not one word
        const char* call;    // as the station
        const char* digis;
    };
    const Case cases[] = {
        {"nocall-05", "NOCALL-5", "NOCALL-5", ""},
        {"nocall-16", "NOCALL", "NOCALL-16", ""},
        {"test-0 relay", nullptr, "TEST", "RELAY"},
        {"x-", "X", "X", ""},
        {"x-abc", "X", "X", ""},
        {"  db0abc-007   db0xyz  db0qqq ", nullptr, "DB0ABC-7", "DB0XYZ  DB0QQQ"},
        {"nocall-000", "NOCALL-0", "NOCALL", ""},
        // Digits far past any integer: never converted, never wrapped.
        {"n0call-99999999999999999999999", "N0CALL", "N0CALL-99999999999999999999999", ""},
        {"n0call-0000000000000000000015", "N0CALL-15", "N0CALL-15", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const channels::TStationText st = channels::ParseStationText(c.typed);
        EXPECT_EQ(st.call, c.call);
        EXPECT_EQ(st.digis, c.digis);
        if (c.myCall) {
            EXPECT_EQ(channels::NormalizeMyCall(c.typed), c.myCall);
        }
    }
}

TEST(BefehlConnect, HistoryKeepsFiftySplitsAtLastHashAndMovesToTop) {
    TConnectHistory h = TConnectHistory::FromCommaText("\"DB0ABC RELAY#1\",A#B#7,PLAIN,#3");
    ASSERT_EQ(h.Entries().size(), 3u);  // an entry without text is dropped
    EXPECT_EQ(h.Entries()[0].text, "DB0ABC RELAY");
    EXPECT_EQ(h.Entries()[0].kennung, "1");
    EXPECT_EQ(h.Entries()[1].text, "A#B");
    EXPECT_EQ(h.Entries()[1].kennung, "7");
    EXPECT_EQ(h.Entries()[2].kennung, "");

    h.Add("plain", "9");
    ASSERT_EQ(h.Entries().size(), 3u);
    EXPECT_EQ(h.Entries()[0].text, "plain");
    EXPECT_EQ(TConnectHistory::FromCommaText(h.ToCommaText()).Entries()[2].text, "A#B");

    for (int i = 0; i < 70; ++i) h.Add("CALL" + std::to_string(i), "1");
    EXPECT_EQ(h.Entries().size(), TConnectHistory::kMaxEntries);
    EXPECT_EQ(h.Entries().front().text, "CALL69");

    EXPECT_EQ(h.Complete("call6"), 0u);
    EXPECT_EQ(h.Complete("CALL5"), 10u);
    EXPECT_FALSE(h.Complete("zz").has_value());

    std::string many;
    for (int i = 0; i < 80; ++i) many += "C" + std::to_string(i) + "#1,";
    EXPECT_EQ(TConnectHistory::FromCommaText(many).Entries().size(), TConnectHistory::kMaxEntries);
}

using test::ScriptedFunkKanal;

class BefehlConnectModel : public test::ChannelFixture {
  protected:
    std::string Stored(std::string_view name) {
        return config_->ReadString(core::TConfig::Hive::CurrentUser, channels::kVerlaufKey, name);
    }
    std::shared_ptr<ScriptedFunkKanal> port1_ =
        std::make_shared<ScriptedFunkKanal>("TNC 1", "H1-1");
    std::shared_ptr<ScriptedFunkKanal> port2_ =
        std::make_shared<ScriptedFunkKanal>("TNC 2", "H1-2");
};

TEST_F(BefehlConnectModel, ConnectOnTheActiveChannelAndStoreTheHistories) {
    auto k1 = MakeKanal(1);
    auto k3 = MakeKanal(3);
    {
        TBefehlConnect m(*config_, k1, {port1_, port2_}, {"N0CALL"});
        EXPECT_EQ(m.Title(), "Verbinden");
        EXPECT_TRUE(k1->GetReserved());  // the dialog's own reservation
        EXPECT_FALSE(m.OkEnabled(" ", "N0CALL"));
        EXPECT_TRUE(m.OkEnabled("DB0ABC", "N0CALL"));
        EXPECT_EQ(m.InitialMyCall(), "N0CALL");

        port2_->moveTo = k3;
        const auto r = m.Ok("db0abc-01 relay", "n0call-07", 1u);
        EXPECT_TRUE(r.close);
        EXPECT_EQ(r.channel, 3);
        ASSERT_EQ(port2_->ziele.size(), 1u);
        EXPECT_EQ(port2_->ziele[0], "DB0ABC-1 RELAY");
        EXPECT_EQ(port2_->mycalls[0], "N0CALL-7");
        EXPECT_EQ(port2_->given, k1);
        EXPECT_TRUE(port1_->ziele.empty());
    }
    EXPECT_FALSE(k1->GetReserved());
    EXPECT_EQ(Stored(channels::kVerlaufStation), "\"DB0ABC-1 RELAY#H1-2\"");
    EXPECT_EQ(Stored(channels::kVerlaufMyCall), "N0CALL-7");

    // The next dialog starts from the history and its radio channel.
    TBefehlConnect again(*config_, k1, {port1_, port2_}, {"N0CALL"});
    EXPECT_EQ(again.InitialStation(), "DB0ABC-1 RELAY");
    EXPECT_EQ(again.InitialRadioChannel(), 1u);
    EXPECT_EQ(again.MyCallChoices(), (std::vector<std::string>{"N0CALL-7", "N0CALL"}));
}

TEST_F(BefehlConnectModel, AFailedConnectKeepsTheDialogOpenAndTheHistoryUnchanged) {
    auto k1 = MakeKanal(1);
    {
        TBefehlConnect m(*config_, k1, {port1_}, {});
        port1_->result = 7;
        const auto r = m.Ok("DB0ABC", "N0CALL", 0u);
        EXPECT_FALSE(r.close);
        EXPECT_EQ(r.message, "Alle Kan\xE4le sind belegt.");
        EXPECT_TRUE(k1->GetReserved());

        const auto none = m.Ok("DB0ABC", "N0CALL", std::nullopt);
        EXPECT_FALSE(none.close);
        EXPECT_EQ(none.message, "Kein Kanal ausgew\xE4hlt.");
        EXPECT_EQ(port1_->ziele.size(), 1u);  // the second never reached the device
    }
    EXPECT_EQ(Stored(channels::kVerlaufStation), "");
    EXPECT_FALSE(k1->GetReserved());
}

TEST_F(BefehlConnectModel, OnTheMonitorItSetsTheUiDestination) {
    auto k0 = MakeKanal(0);
    TBefehlConnect m(*config_, k0, {port1_, port2_}, {"N0CALL"});
    EXPECT_TRUE(m.UiMode());
    EXPECT_EQ(m.Title(), "UI-Ziel einstellen");
    EXPECT_EQ(m.StationLabel(), "UI-Ziel");
    EXPECT_FALSE(k0->GetReserved());
    const auto r = m.Ok("cq wide1-1", "n0call-3", 1u);
    EXPECT_TRUE(r.close);
    EXPECT_TRUE(port2_->ziele.empty());  // nothing connects
    EXPECT_EQ(config_->UiDestination(), "CQ WIDE1-1");
    EXPECT_EQ(config_->UiMyCall(), "N0CALL-3");
    EXPECT_EQ(config_->UiPort(), "H1-2");
    m.Close();
    EXPECT_EQ(Stored(channels::kVerlaufUi), "\"CQ WIDE1-1#H1-2\"");
    EXPECT_EQ(Stored(channels::kVerlaufStation), "");

    TBefehlConnect again(*config_, k0, {port1_, port2_}, {});
    EXPECT_EQ(again.InitialStation(), "CQ WIDE1-1");
    EXPECT_EQ(again.InitialMyCall(), "N0CALL-3");
    EXPECT_EQ(again.InitialRadioChannel(), 1u);
}

TEST(HauptLayout, FunctionKeysWith25Channels) {
    struct Case {
        int key;
        bool shift, ctrl, alt;
        int channel;
    };
    const Case cases[] = {
        {1, false, false, false, 1},  {10, false, false, false, 10}, {5, true, false, false, 15},
        {5, true, false, true, -1},   {1, false, true, false, 21},   {6, false, true, false, -1},
        {12, false, false, false, 0}, {11, false, false, false, -1}, {12, false, false, true, -1},
        {1, true, true, false, -1},   {0, false, false, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(channels::FunctionKeyChannel(c.key, c.shift, c.ctrl, c.alt, 25), c.channel);
    }
    EXPECT_EQ(channels::FunctionKeyChannel(10, true, true, false, 40), 40);
    EXPECT_EQ(channels::FunctionKeyChannel(1, false, true, false, 21), 21);
}

TEST(HauptLayout, StartAndResize) {
    const TPaneHeights p = channels::InitialPanes(500, 6, 30, 80, 100);
    EXPECT_EQ(p, (TPaneHeights{284, 6, 80, 30, 100}));
    // Stored heights that do not fit are left for the defaults.
    EXPECT_EQ(channels::InitialPanes(500, 6, 30, 3, 600).monitor, 64);
    EXPECT_EQ(channels::InitialPanes(500, 6, 30, 3, 600).input, 64);

    // Only the output pane follows the window's height.
    const TPaneHeights taller = channels::ResizePanes(p, 700);
    EXPECT_EQ(taller, (TPaneHeights{484, 6, 80, 30, 100}));
    const TPaneHeights tiny = channels::ResizePanes(p, 150);
    EXPECT_EQ(tiny.output, 4);
    EXPECT_EQ(tiny.input, 16);
    EXPECT_EQ(tiny.monitor, 150 - 4 - 6 - 16 - 30);
    EXPECT_EQ(channels::ResizePanes(p, 10).Total(), 6 + 16 + 30 + 4);  // nothing below zero

    // A wrapping channel bar takes its height from the output pane.
    EXPECT_EQ(channels::SetSplitterHeights(p, 6, 60), (TPaneHeights{254, 6, 80, 60, 100}));
}

TEST(HauptLayout, DraggingTheSplitters) {
    const TPaneHeights p{284, 6, 80, 30, 100};
    struct Case {
        int splitter;
        int dy;
        TPaneHeights expected;
    };
    const Case cases[] = {
        {1, 20, {304, 6, 60, 30, 100}},
        {1, -50, {234, 6, 130, 30, 100}},
        {1, 64, {348, 6, 16, 30, 100}},  // input reaches 16
        {1, 100, {384, 6, 16, 30, 64}},  // then the monitor yields
        {1, 1000, {444, 6, 16, 30, 4}},  // until both are at their minimum
        {1, -1000, {4, 6, 360, 30, 100}},
        {2, 40, {324, 6, 80, 30, 60}},  // the output absorbs the move
        {2, -100, {184, 6, 80, 30, 200}},
        {2, -300, {4, 6, 60, 30, 400}},  // then the input shrinks
        {2, -1000, {4, 6, 16, 30, 444}},
        {2, 1000, {380, 6, 80, 30, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "splitter " << c.splitter << " dy " << c.dy);
        const TPaneHeights got =
            c.splitter == 1 ? channels::DragSplitter1(p, c.dy) : channels::DragSplitter2(p, c.dy);
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(got.Total(), p.Total());
    }
}

}  // namespace
