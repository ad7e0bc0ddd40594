#include "channels/KanalU.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "channels/StatusU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Clock.h"
#include "tests/channels/ChannelFixture.h"

namespace {

using namespace tarvo;
using channels::TKanal;
using test::FakeDateiSenden;
using test::FakeKanalView;
using test::FakeVerbindung;

class Kanal : public test::ChannelFixture {
  protected:
    // A channel with a connection attached, as a connection attaches itself.
    std::shared_ptr<FakeVerbindung> Attach(TKanal& k) {
        auto v = std::make_shared<FakeVerbindung>();
        v->status = std::make_shared<channels::TStatus>(dispatcher_);
        k.SetVerbindung(v);
        return v;
    }
    void SetTimestamp(bool on) {
        config_->WriteBool(core::TConfig::Hive::CurrentUser, "", "Timestamp", on);
    }
};

TEST_F(Kanal, ConnectAndDisconnectNotices) {
    struct Case {
        const char* digis;
        bool timestamp;
        std::uint8_t reason;
        const char* connect;
        const char* disconnect;
    } cases[] = {
        {"", false, 0, "DL1XYZ: Verbunden mit DB0ABC", "DL1XYZ: Getrennt von DB0ABC"},
        {"DB0DIG DB0XX", false, 1, "DL1XYZ: Verbunden mit DB0ABC (via DB0DIG DB0XX)",
         "DL1XYZ: Verbindungsfehler. Getrennt von DB0ABC (via DB0DIG DB0XX)"},
        {"", true, 2, "DL1XYZ: Verbunden mit DB0ABC|24.12.2024 13:45:07",
         "DL1XYZ: Besetzt. Getrennt von DB0ABC|24.12.2024 13:45:07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connect);
        SetTimestamp(c.timestamp);
        FakeKanalView* view = nullptr;
        auto k = MakeKanal(1, &view);
        k->Console().Clear();
        auto v = Attach(*k);
        v->digis = c.digis;
        k->Verbunden();
        const std::string afterConnect = ConsoleText(k->Console());
        EXPECT_EQ(afterConnect, std::string(c.connect) + "|");
        k->Getrennt(c.reason);
        EXPECT_EQ(ConsoleText(k->Console()), afterConnect + c.disconnect + "|" + "|");
        EXPECT_EQ(view->caption, "         ");
        EXPECT_EQ(view->hint, "|");
        EXPECT_FALSE(k->HasConnection());
        EXPECT_FALSE(k->GetReserved());
        k->Release();
    }
}

TEST_F(Kanal, NoticeLinesCarryTheirGutterMarks) {
    auto k = MakeKanal(1);
    auto v = Attach(*k);
    k->Received("partial text without end");
    k->Verbunden();  // starts a line of its own
    const auto& c = k->Console();
    EXPECT_EQ(c.GetLine(c.WriteRow() - 1).mark, channels::kMarkConnect);
    EXPECT_EQ(c.GetLine(c.WriteRow() - 2).mark, 0);
    k->Getrennt(0);
    EXPECT_EQ(c.GetLine(c.WriteRow() - 2).mark, channels::kMarkDisconnect);
    k->Release();
}

TEST(KanalPrompt, FramesAndBreaksLines) {
    const std::string indent(9, ' ');
    const std::string sixtyThree(63, 'x');
    struct Case {
        std::string text, expected;
    } cases[] = {
        {"Kurz", "\r<Tarvo>: Kurz\r\r"},
        {"Eins\rZwei\r", "\r<Tarvo>: Eins\r<Tarvo>: Zwei\r\r"},
        // Exactly the width: one line.
        {sixtyThree, "\r<Tarvo>: " + sixtyThree + "\r\r"},
        // Broken after the last break character that still fits.
        {std::string(60, 'a') + " bbb cc",
         "\r<Tarvo>: " + std::string(60, 'a') + "\r" + indent + "bbb cc\r\r"},
        {std::string(50, 'a') + ",bbbbbbbbbbbbbbbbb",
         "\r<Tarvo>: " + std::string(50, 'a') + ",\r" + indent + "bbbbbbbbbbbbbbbbb\r\r"},
        {std::string(40, 'a') + "@" + std::string(30, 'b'),
         "\r<Tarvo>: " + std::string(40, 'a') + "@\r" + indent + std::string(30, 'b') + "\r\r"},
        {std::string(30, 'a') + ". " + std::string(20, 'b') + ":" + std::string(20, 'c'),
         "\r<Tarvo>: " + std::string(30, 'a') + ". " + std::string(20, 'b') + ":\r" + indent +
             std::string(20, 'c') + "\r\r"},
        // A word longer than the line stays whole.
        {std::string(100, 'w'), "\r<Tarvo>: " + std::string(100, 'w') + "\r\r"},
        {"ab " + std::string(100, 'w'),
         "\r<Tarvo>: ab\r" + indent + std::string(100, 'w') + "\r\r"},
        // Blanks at a break start no empty line.
        {std::string(62, 'a') + "   " + std::string(10, 'b'),
         "\r<Tarvo>: " + std::string(62, 'a') + "\r" + indent + std::string(10, 'b') + "\r\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(channels::FormatPrompt(c.text), c.expected);
    }
}

TEST_F(Kanal, PromptAndMessagesUseTheColourOfTheirType) {
    auto k = MakeKanal(1);
    struct Case {
        int type;
        std::uint8_t colour;
    } cases[] = {{0, 15}, {1, 10}, {2, 1}, {3, 8}, {7, 9}};
    for (const Case& c : cases) {
        k->Message("m\r", c.type);
        const auto& con = k->Console();
        EXPECT_EQ(con.GetColours(0, con.WriteRow() - 1), c.colour) << "message type " << c.type;
        k->Prompt("p", c.type);
        EXPECT_EQ(con.GetColours(0, con.WriteRow() - 2), c.colour) << "prompt type " << c.type;
    }
    k->Release();
}

TEST(KanalButton, ImageTable) {
    struct Case {
        std::uint8_t state;
        bool unread, active;
        int image;
    } cases[] = {
        {0, false, false, 0}, {0, false, true, 0}, {2, false, false, 0}, {3, false, false, 1},
        {3, false, true, 1},  {0, true, true, 1},  {3, true, true, 1},   {0, true, false, 2},
        {3, true, false, 2},  {1, true, false, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(channels::ButtonImage(c.state, c.unread, c.active), c.image)
            << int(c.state) << c.unread << c.active;
    }
}

TEST_F(Kanal, TextOnAnInactiveChannelIsUnreadUntilSelected) {
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(2, &view);
    auto v = Attach(*k);
    k->Received("Hallo\r");
    EXPECT_TRUE(k->Unread());
    EXPECT_EQ(view->image, 2);
    k->SetActive(true);
    EXPECT_FALSE(k->Unread());
    EXPECT_EQ(view->image, 1);
    EXPECT_TRUE(view->checked);
    EXPECT_TRUE(view->shown);
    EXPECT_EQ(klaenge_.Events(), std::vector<int>{8});
    k->Received("\r");  // a bare line end makes no sound
    k->Received("mehr");
    EXPECT_EQ(klaenge_.Events(), (std::vector<int>{8, 7}));
    k->SetActive(false);
    v->state = core::kLinkDisconnected;
    k->Getrennt(0);
    EXPECT_EQ(view->image, 2);  // the notice is unread
    k->Release();
}

TEST_F(Kanal, JobEndsOnlyWhenTheShownJobSaysSo) {
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(1, &view);
    auto v = Attach(*k);
    k->SetActive(true);
    auto first = std::make_shared<FakeDateiSenden>("eins.zip", 10 * 1024);
    auto second = std::make_shared<FakeDateiSenden>("zwei.zip");
    first->Subscribe(k);
    second->Subscribe(k);

    // No job shown: an ending job changes nothing.
    second->Report(0);
    EXPECT_EQ(k->ShownJob(), nullptr);
    EXPECT_EQ(second->releases, 0);

    v->SetJob(first);
    first->Report(2, 12.5f);
    EXPECT_EQ(k->ShownJob(), first);
    EXPECT_EQ(view->panels[1], "eins.zip (10k)");
    EXPECT_TRUE(view->progressVisible);
    EXPECT_EQ(view->progressLabel, "12.5%");
    EXPECT_EQ(view->progressValue, 13);

    // Another job reporting while one is shown: beep, the first stays.
    second->Report(2, 50);
    EXPECT_EQ(k->ShownJob(), first);
    EXPECT_EQ(view->beeps, 1);

    // The other job ending must not release the shown one.
    second->Report(0);
    EXPECT_EQ(k->ShownJob(), first);
    EXPECT_EQ(first->releases, 0);
    EXPECT_EQ(second->releases, 0);

    first->Report(0);
    EXPECT_EQ(k->ShownJob(), nullptr);
    EXPECT_EQ(first->releases, 1);
    EXPECT_FALSE(view->progressVisible);
    k->Release();
}

TEST_F(Kanal, ARealJobIsFollowedUntilItStops) {
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(1, &view);
    auto v = Attach(*k);
    k->SetActive(true);
    platform::FakeClock clock;
    auto job = filesend::TDateiSenden::Create(v, &clock);
    job->SetSendName("bericht.zip");
    job->SetSize(4 * 1024);
    v->SetJob(job);
    job->Subscribe(k);

    job->Prepare();
    EXPECT_EQ(view->panels[1], "Warte...");
    job->Start();
    job->SetPosition(1024);
    EXPECT_EQ(k->ShownJob(), job);
    EXPECT_EQ(view->panels[1], "bericht.zip (4k)");
    EXPECT_EQ(view->progressLabel, "25.0%");
    job->AddBytes(4000);
    clock.AdvanceMs(1000);
    job->AddBytes(1000);
    job->Tick();
    EXPECT_EQ(v->status->GetThroughput(), 8000);

    job->Stop();
    EXPECT_EQ(k->ShownJob(), nullptr);
    EXPECT_FALSE(view->progressVisible);
    EXPECT_EQ(v->status->GetThroughput(), 0);
    EXPECT_TRUE(job->Released());  // the channel let go of it, and so did the job of us
    k->Release();
}

TEST_F(Kanal, ReleaseTwiceThenLateCallsReturnAtOnce) {
    auto k = MakeKanal(3);
    auto v = Attach(*k);
    EXPECT_GE(k->Received("x"), 0);
    k->Release();
    EXPECT_EQ(v->kanal, nullptr);  // told it has no channel any more
    EXPECT_EQ(v->setKanalCalls, 1);
    k->Release();  // nothing happens
    EXPECT_EQ(v->setKanalCalls, 1);
    EXPECT_EQ(k->Received("late"), -1);
    // From a worker too: it must not wait for a main thread that serves nothing.
    std::int64_t row = 0;
    std::thread worker([&] { row = k->Received("late"); });
    worker.join();
    EXPECT_EQ(row, -1);
    k->SetVerbindung(v);
    EXPECT_FALSE(k->HasConnection());
}

TEST_F(Kanal, WorkerWaitsForTheMainThread) {
    auto k = MakeKanal(1);
    std::atomic<bool> done{false};
    std::int64_t serial = -1;
    std::thread worker([&] {
        serial = k->Received("from the worker\r");
        done = true;
    });
    ASSERT_TRUE(dispatcher_.RunUntil([&] { return done.load(); }, std::chrono::seconds(5)));
    worker.join();
    EXPECT_GE(serial, 0);
    EXPECT_NE(ConsoleText(k->Console()).find("from the worker"), std::string::npos);
    k->Release();
}

TEST_F(Kanal, MailboxMarkFindsTheLineAfterMoreLinesArrived) {
    auto k = MakeKanal(1);
    k->Received("first\r");
    const std::int64_t serial = k->Received("1234 DL1XYZ  Betreff\r");
    for (int i = 0; i < 5; ++i) k->Received("later\r");
    k->MarkBoxLine(serial);
    const auto& c = k->Console();
    const int row = c.WriteRow() - 6;
    EXPECT_EQ(std::string(c.GetLine(row).chars.substr(0, 4)), "1234");
    EXPECT_EQ(c.GetLine(row).mark, channels::kMarkMailbox);
    EXPECT_TRUE(c.GetLine(row).mailbox);
    EXPECT_FALSE(c.GetLine(row + 1).mailbox);
    k->MarkBoxLine(-5);  // no such line: nothing happens
    k->Release();
}

TEST_F(Kanal, RecordingWritesCrLfWhileTheConsoleKeepsCr) {
    auto k = MakeKanal(1);
    const auto file = dir_ / "mitschnitt.txt";
    ASSERT_FALSE(k->StartRecording(file));
    EXPECT_TRUE(k->Recording());
    k->Received("eins\rzwei\r");
    k->Echo("drei\r");
    k->StopRecording();
    k->Received("nicht mehr\r");
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "eins\r\nzwei\r\ndrei\r\n");
    EXPECT_EQ(k->Console().GetLine(k->Console().WriteRow() - 1).chars.substr(0, 10), "nicht mehr");
    EXPECT_TRUE(k->StartRecording(dir_ / "no-such-folder" / "x.txt"));
    k->Release();
}

TEST_F(Kanal, CallChangeShowsCallAndHint) {
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(1, &view);
    auto v = std::make_shared<FakeVerbindung>();
    v->digis = "DB0DIG";
    k->SetVerbindung(v);  // runs CallChange
    EXPECT_EQ(view->caption, "DB0ABC");
    EXPECT_EQ(view->hint, "DB0ABC DB0DIG\rName: Unbekannt\rTyp: Mailbox|");
    EXPECT_EQ(k->GetHint(), view->hint);
    k->Release();
}

TEST_F(Kanal, StatusPanelsWhileActive) {
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(1, &view);
    k->SetActive(true);
    EXPECT_EQ(view->panels[0], "Getrennt");
    auto v = Attach(*k);
    v->state = core::kLinkConnecting;
    k->StateChanged();
    EXPECT_EQ(view->panels[0], "Verbinde...");
    EXPECT_EQ(view->panels[8], "DL1XYZ");
    v->status->SetFrack(0);
    k->RefreshStatusBar();
    EXPECT_EQ(view->panels[5], "dama");
    k->SetActive(false);
    EXPECT_EQ(v->status->GetDisplay(), nullptr);
    k->Release();
}

TEST_F(Kanal, MonitorChannelShowsMonitorPanels) {
    config_->SetUiDestination("CQ");
    config_->SetUiMyCall("DL1XYZ-1");
    FakeKanalView* view = nullptr;
    auto k = MakeKanal(0, &view);
    EXPECT_EQ(view->caption, "Monitor");
    EXPECT_FALSE(k->IsFree());
    EXPECT_FALSE(k->IsIdle());
    k->SetActive(true);
    EXPECT_EQ(view->panels[0], "Monitor");
    EXPECT_EQ(view->panels[7], "CQ");
    EXPECT_EQ(view->panels[8], "DL1XYZ-1");
    k->Release();
}

TEST_F(Kanal, ColoursComeFromTheSettings) {
    config_->SetColor(core::TConfig::kColorChannelReceived, 0x00332211);
    config_->SetColor(core::TConfig::kColorMonitorInfo, 0x00665544);
    auto k = MakeKanal(1);
    auto m = MakeKanal(0);
    EXPECT_EQ(k->Console().GetPaletteEntry(10), (channels::TRgb{0x11, 0x22, 0x33}));
    EXPECT_EQ(m->Console().GetPaletteEntry(5), (channels::TRgb{0x44, 0x55, 0x66}));
    k->Release();
    m->Release();
}

TEST_F(Kanal, BufferFileThatCannotBeOpenedIsFatal) {
    ctx_.bufferFolder = dir_ / "missing" / "deeper";
    EXPECT_THROW(MakeKanal(1), channels::TKanalBufferError);
}

}  // namespace
