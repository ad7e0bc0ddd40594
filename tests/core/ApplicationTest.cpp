#include "core/ApplicationU.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Dispatcher.h"
#include "tests/support/AutomationWorld.h"

namespace {

using namespace tarvo;
using connection::TVerbindung;
using core::TApplications;

// What the server would announce.
class RecordingView : public core::IApplicationsView {
  public:
    void TextReceived(std::uint64_t serial, std::string_view text) override {
        log.push_back("text " + std::to_string(serial) + " " + std::string(text));
    }
    void LinkEnded(std::uint64_t serial) override {
        log.push_back("ended " + std::to_string(serial));
    }
    void Released(std::uint64_t serial) override {
        log.push_back("released " + std::to_string(serial));
    }
    std::vector<std::string> log;
};

// One answer to a call that may wait.
struct Answer {
    std::optional<TApplications::TReply> reply;
    TApplications::Done Done() {
        return [this](const TApplications::TReply& r) { reply = r; };
    }
};

class Applications : public ::testing::Test {
  protected:
    Applications() { apps_->SetView(&view_); }

    // Connects through the radio channel; the serial of the connection.
    std::uint64_t Connected(const std::string& client, const std::string& path) {
        Answer a;
        apps_->Connect(client, path, a.Done());
        made_.back()->SetState(core::kLinkConnected);
        dispatcher_.RunPending();
        EXPECT_TRUE(a.reply && a.reply->error.empty());
        return a.reply ? a.reply->serial : 0;
    }

    platform::LoopDispatcher dispatcher_;
    test::AutomationWorld world_{dispatcher_};
    std::shared_ptr<TApplications>& apps_ = world_.apps;
    std::vector<std::shared_ptr<TVerbindung>>& made_ = world_.made;
    std::shared_ptr<test::ScriptedFunkKanal>& radio_ = world_.radio;
    std::vector<std::shared_ptr<core::IFunkKanal>>& funk_ = world_.funk;
    std::vector<std::string>& myCalls_ = world_.myCalls;
    channels::TConnectionsList& list_ = world_.list;
    RecordingView view_;
};

TEST(ApplicationText, ConnectPathsAndIndexes) {
    struct PathCase {
        const char* path;
        bool ok;
    } paths[] = {
        {"DB0ABC", true},
        {"db0abc-7 via db0xyz v dl1aa-15", true},
        {"  DB0ABC   DB0XYZ ", true},
        {"", false},
        {"   ", false},
        {"VIA DB0ABC", false},
        {"DB0ABC VIA", false},
        {"DB0ABC VIA VIA DB0XYZ", false},
        {"DB0ABC-16", false},
        {"DB0ABC-", false},
        {"DB0ABC-X", false},
        {"DB0ABC\rCONNECT", false},
        {"DB0ABC;D", false},
        {"DB0ABC\tDB0XYZ", false},
        {"ABCDEFGHIJ", false},
    };
    for (const auto& c : paths) EXPECT_EQ(core::IsValidConnectPath(c.path), c.ok) << c.path;

    struct IndexCase {
        const char* text;
        std::int64_t index;
    } indexes[] = {{"0", 0}, {" 2 ", 2}, {"-3", -3}, {"x", -1}, {"", -1}, {"1x", -1}, {"1.5", -1}};
    for (const auto& c : indexes) EXPECT_EQ(core::IndexFromText(c.text), c.index) << c.text;
}

TEST_F(Applications, ConnectFailuresGiveTheirTexts) {
    struct Case {
        std::vector<std::string> myCalls;
        bool radio;
        std::uint8_t result;
        std::string path;
        std::string text;
    } cases[] = {
        {{}, true, 0, "DB0ABC", "No MyCall"},
        {{"DL1TST"}, false, 0, "DB0ABC", "No device"},
        {{"DL1TST"}, true, 0, "DB0ABC\rXYZ", "Invalid path"},
        {{"DL1TST"}, true, 1, "DB0ABC", "Unknown error"},
        {{"DL1TST"}, true, 2, "DB0ABC", "Device timeout"},
        {{"DL1TST"}, true, 3, "DB0ABC", "No device"},
        {{"DL1TST"}, true, 4, "DB0ABC", "Channel already connected"},
        {{"DL1TST"}, true, 5, "DB0ABC", "No unused SSID available"},
        {{"DL1TST"}, true, 6, "DB0ABC", "Device error"},
        {{"DL1TST"}, true, 7, "DB0ABC", "No channel available"},
        {{"DL1TST"}, true, 8, "DB0ABC", "Unhandled error"},
        {{"DL1TST"}, true, 200, "DB0ABC", "Unhandled error"},
    };
    for (const auto& c : cases) {
        myCalls_ = c.myCalls;
        funk_.clear();
        if (c.radio) funk_.push_back(radio_);
        radio_->result = c.result;
        Answer a;
        try {
            apps_->Connect(":1.5", c.path, a.Done());
            ADD_FAILURE() << c.text << ": no failure";
        } catch (const core::TAutomationError& e) {
            EXPECT_EQ(e.what(), c.text);
        }
        EXPECT_FALSE(a.reply);
    }
    EXPECT_EQ(apps_->PendingCount(), 0u);
}

TEST_F(Applications, ConnectAnswersOnceTheAttemptEnds) {
    struct Case {
        const char* name;
        std::function<void(TVerbindung&)> end;
        bool stillThere;
    } cases[] = {
        {"connected", [](TVerbindung& v) { v.SetState(core::kLinkConnected); }, true},
        {"no answer", [](TVerbindung& v) { v.SetState(core::kLinkDisconnected); }, true},
        {"released", [](TVerbindung& v) { v.Release(); }, false},
    };
    for (const auto& c : cases) {
        Answer a;
        apps_->Connect(":1.5", "db0abc via db0xyz", a.Done());
        ASSERT_EQ(radio_->mycalls.back(), "DL1TST") << c.name;
        dispatcher_.RunPending();
        EXPECT_FALSE(a.reply) << c.name << ": answered while connecting";
        c.end(*made_.back());
        EXPECT_FALSE(a.reply) << c.name << ": answered off the main thread's turn";
        dispatcher_.RunPending();
        ASSERT_TRUE(a.reply) << c.name;
        EXPECT_EQ(a.reply->error, "") << c.name;
        ASSERT_NE(a.reply->serial, 0u);
        if (c.stillThere) {
            EXPECT_EQ(apps_->Verbindung(a.reply->serial)->Path(), "DB0ABC DB0XYZ");
        } else {
            EXPECT_THROW(apps_->Verbindung(a.reply->serial), core::TAutomationError);
        }
    }
    // Only the link that went down is announced as ended, and the released one as gone.
    EXPECT_EQ(view_.log, (std::vector<std::string>{"ended 2", "released 3"}));
}

TEST_F(Applications, FindConnectionIgnoresCase) {
    auto v = world_.Make("DB0ABC-2");
    list_.Add(v);
    const std::uint64_t serial = apps_->FindConnection("db0abc-2");
    EXPECT_NE(serial, 0u);
    EXPECT_EQ(apps_->FindConnection("DB0Abc-2"), serial);
    EXPECT_EQ(apps_->FindConnection("DB0ABC"), 0u);
    EXPECT_EQ(apps_->Verbindung(serial), v);
    list_.Remove(v.get());
}

TEST_F(Applications, TwoClientsEachGetEveryItem) {
    const std::uint64_t serial = Connected(":1.5", "DB0ABC");
    Answer a, b;
    apps_->ReceiveText(":1.5", serial, a.Done());
    apps_->ReceiveText(":1.6", serial, b.Done());
    made_.back()->DataReceived("one\r");
    dispatcher_.RunPending();
    ASSERT_TRUE(a.reply && b.reply);
    EXPECT_EQ(a.reply->text, "one\r");
    EXPECT_EQ(b.reply->text, "one\r");
    // The next item waits in each copy until asked for.
    made_.back()->DataReceived("two\r");
    dispatcher_.RunPending();
    Answer c, d;
    apps_->ReceiveText(":1.6", serial, d.Done());
    apps_->ReceiveText(":1.5", serial, c.Done());
    ASSERT_TRUE(c.reply && d.reply);
    EXPECT_EQ(c.reply->text, "two\r");
    EXPECT_EQ(d.reply->text, "two\r");
    EXPECT_EQ(view_.log, (std::vector<std::string>{"text 1 one\r", "text 1 two\r"}));
}

TEST_F(Applications, WaitForTextPutsTheRemainderBack) {
    struct Case {
        const char* name;
        std::vector<std::string> before, after;  // received before and after the call
        std::string text;
        std::vector<std::string> next;  // what ReceiveText gives then
    } cases[] = {
        {"across two items", {"hello de SI"}, {"MBOX> rest"}, "de SIMBOX>", {" rest"}},
        {"inside an item with more behind it", {"a>bc", "de"}, {}, ">", {"bc", "de"}},
        {"nothing after it", {}, {"ready>"}, "ready>", {""}},
        {"empty text", {"x"}, {}, "", {"x"}},
    };
    for (const auto& c : cases) {
        const std::uint64_t serial = Connected(":1.5", "DB0ABC");
        TVerbindung& v = *made_.back();
        v.AddApplication(1);  // another client's copy keeps growing meanwhile
        Answer start;
        apps_->ReceiveText(":1.5", serial, start.Done());  // registers the client
        v.DataReceived("old");
        dispatcher_.RunPending();
        ASSERT_TRUE(start.reply) << c.name;
        for (const auto& s : c.before) v.DataReceived(s);
        dispatcher_.RunPending();
        Answer w;
        apps_->WaitForText(":1.5", serial, c.text, w.Done());
        for (const auto& s : c.after) {
            EXPECT_FALSE(w.reply) << c.name;
            v.DataReceived(s);
            dispatcher_.RunPending();
        }
        ASSERT_TRUE(w.reply) << c.name;
        EXPECT_EQ(w.reply->error, "") << c.name;
        for (const auto& n : c.next) {
            Answer r;
            apps_->ReceiveText(":1.5", serial, r.Done());
            ASSERT_TRUE(r.reply) << c.name;
            EXPECT_EQ(r.reply->text, n) << c.name;
        }
        Answer none;
        apps_->ReceiveText(":1.5", serial, none.Done());
        EXPECT_FALSE(none.reply) << c.name;
        apps_->RemoveClient(":1.5");
    }
}

TEST_F(Applications, AVanishedClientsCopiesAndCallsGo) {
    const std::uint64_t serial = Connected(":1.5", "DB0ABC");  // client key 1
    TVerbindung& v = *made_.back();
    Answer first;
    apps_->ReceiveText(":1.6", serial, first.Done());  // client key 2
    v.DataReceived(std::string(1000, 'x'));
    v.DataReceived("yyy");
    dispatcher_.RunPending();
    ASSERT_TRUE(first.reply);
    EXPECT_EQ(v.ApplicationBytes(1), 1003u);
    EXPECT_EQ(v.ApplicationBytes(2), 3u);
    // A call of the client on another connection, still waiting when it goes.
    const std::uint64_t other = Connected(":1.6", "DB0XYZ");
    Answer waiting;
    apps_->WaitForText(":1.5", other, "never", waiting.Done());
    EXPECT_EQ(apps_->PendingCount(), 1u);

    apps_->RemoveClient(":1.5");
    EXPECT_FALSE(apps_->HasClient(":1.5"));
    EXPECT_EQ(v.ApplicationBytes(1), 0u);
    EXPECT_EQ(v.ApplicationBytes(2), 3u);
    EXPECT_EQ(apps_->PendingCount(), 0u);
    made_.back()->DataReceived("never");
    dispatcher_.RunPending();
    EXPECT_FALSE(waiting.reply);
    // Its slot is free for the next client.
    for (core::TApplicationKey k = 10; k < 10 + TVerbindung::kMaxApplications - 1; ++k)
        EXPECT_TRUE(v.AddApplication(k));
}

TEST_F(Applications, ARunningCallEndsWithTheConnection) {
    const std::uint64_t serial = Connected(":1.5", "DB0ABC");
    Answer w, r, later;
    apps_->WaitForText(":1.5", serial, "x", w.Done());
    apps_->ReceiveText(":1.6", serial, r.Done());
    made_.back()->Release();
    dispatcher_.RunPending();
    ASSERT_TRUE(w.reply && r.reply);
    EXPECT_EQ(w.reply->error, "Connection released");
    EXPECT_EQ(r.reply->error, "Connection released");
    EXPECT_THROW(apps_->ReceiveText(":1.5", serial, later.Done()), core::TAutomationError);

    // At the program's end a waiting client is answered too.
    const std::uint64_t next = Connected(":1.5", "DB0XYZ");
    apps_->ReceiveText(":1.5", next, later.Done());
    apps_->Shutdown();
    ASSERT_TRUE(later.reply);
    EXPECT_EQ(later.reply->error, "Connection released");
}

TEST_F(Applications, ADevicesThreadFeedsWhileClientsCall) {
    const std::uint64_t serial = Connected(":1.5", "DB0ABC");
    auto v = made_.back();
    constexpr int kPieces = 200;
    std::thread device([v] {
        for (int i = 0; i < kPieces; ++i) v->DataReceived("x");
        v->SetState(core::kLinkDisconnected);
    });
    // Meanwhile the main thread takes what came and looks connections up.
    std::string got;
    std::deque<Answer> answers;
    const bool all = dispatcher_.RunUntil(
        [&] {
            EXPECT_EQ(apps_->FindConnection("DB0XYZ"), 0u);
            while (answers.empty() || answers.back().reply) {
                if (!answers.empty()) got += answers.back().reply->text;
                answers.emplace_back();
                apps_->ReceiveText(":1.5", serial, answers.back().Done());
            }
            return got.size() == kPieces;
        },
        std::chrono::seconds(10));
    device.join();
    EXPECT_TRUE(all) << got.size();
    dispatcher_.RunPending();
    EXPECT_EQ(view_.log.back(), "ended 1");
}

TEST_F(Applications, SeventeenthClientIsNotFound) {
    const std::uint64_t serial = Connected(":1.0", "DB0ABC");
    std::deque<Answer> others(TVerbindung::kMaxApplications);
    for (int i = 1; i < TVerbindung::kMaxApplications; ++i)
        apps_->ReceiveText(":1." + std::to_string(i), serial, others[i].Done());
    Answer a;
    apps_->WaitForText(":1.99", serial, "x", a.Done());
    ASSERT_TRUE(a.reply);
    EXPECT_EQ(a.reply->error, "Application not found.");
}

}  // namespace
