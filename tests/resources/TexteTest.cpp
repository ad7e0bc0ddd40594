#include "resources/TexteU.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <future>
#include <thread>

#include "platform/Registry.h"
#include "tests/support/FakeModulConnection.h"

namespace tarvo::resources {
namespace {

using test::FakeModulConnection;
using test::FakeStationenDatenbank;

constexpr auto kHive = platform::Hive::CurrentUser;

struct TexteFixture : ::testing::Test {
    platform::FileRegistry registry;
    std::shared_ptr<FakeStationenDatenbank> stations = std::make_shared<FakeStationenDatenbank>();
    TTexte texte{registry, stations};
    FakeModulConnection v;
    TexteFixture() { v.call = "DL1ABC-2"; }
};

struct StationCase {
    const char* entryKey;  // "" no station
    bool flag;
    bool generalPresent;
    const char* expected;
};

TEST_F(TexteFixture, StationTextExactThenBaseThenGeneral) {
    const StationCase cases[] = {
        {"", true, true, "G"},          {"", true, false, ""},
        {"DL1ABC-2", true, true, "GS"}, {"DL1ABC-2", true, false, "S"},
        {"DL1ABC-2", false, true, "S"}, {"DL1ABC-2", false, false, "S"},
        {"DL1ABC", true, true, "GS"},   {"DL1ABC", true, false, "S"},
        {"DL1ABC", false, true, "S"},   {"DL1ABC", false, false, "S"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entryKey) + (c.flag ? " flag" : " no flag") +
                     (c.generalPresent ? " general" : ""));
        platform::FileRegistry reg;
        auto db = std::make_shared<FakeStationenDatenbank>();
        TTexte t(reg, db);
        if (c.generalPresent) t.WriteGeneral(5, "G");
        if (*c.entryKey) db->Add(c.entryKey)->SetText(5, "S", c.flag);
        EXPECT_EQ(t.BuildText(5, &v), c.expected);
    }
}

TEST_F(TexteFixture, ExactEntryWinsOverBaseForTextAndName) {
    auto base = stations->Add("DL1ABC");
    base->SetName("Base");
    base->SetText(4, "base %n", false);
    auto exact = stations->Add("DL1ABC-2");
    exact->SetName("Exact");
    exact->SetText(4, "exact %n", false);
    EXPECT_EQ(texte.BuildText(4, &v), "exact Exact");
    v.call = "DL1ABC-5";
    EXPECT_EQ(texte.BuildText(4, &v), "base Base");
}

TEST_F(TexteFixture, StationWithoutTextOfKindGetsGeneral) {
    stations->Add("DL1ABC-2")->SetName("Hans");
    EXPECT_EQ(texte.BuildText(kTextGreeting, &v), "\rHallo Hans...\r");
    v.call = "DL9ZZZ";
    EXPECT_EQ(texte.BuildText(kTextGreeting, &v), "\rHallo DL9ZZZ...\r");
    EXPECT_EQ(texte.BuildText(kTextGreeting, nullptr), "\rHallo ?...\r");
}

TEST(ExpandText, Placeholders) {
    struct Case {
        const char* text;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"100%% sicher", "Hans", "100% sicher"},
        {"Hallo %n!", "Hans", "Hallo Hans!"},
        {"Hallo %N!", "Hans", "Hallo Hans!"},
        {"Hallo %n!", "", "Hallo DL1ABC!"},
        {"a%xb", "Hans", "ab"},
        {"a%", "Hans", "a"},
        {"%%n", "Hans", "%n"},
        {"one\r\ntwo\n", "Hans", "one\rtwo"},
        // A name the remote station chose is sent as it is, never as escapes.
        {"Hi %n", "^G^$07x^", "Hi ^^G^^$07x^^"},
        {"^M%n", "N\n", "^MN"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExpandText(c.text, c.name, "DL1ABC"), c.expected);
    }
}

TEST_F(TexteFixture, GeneralTextsStoredDefaultedAndReset) {
    EXPECT_EQ(texte.ReadGeneral(kTextQuit), "<Tarvo>: Tsch\xFCss...\r");
    EXPECT_EQ(texte.ReadGeneral(kTextInfo), "");
    texte.WriteGeneral(kTextGreeting, "Moin\r\n%n\r\n");
    EXPECT_EQ(registry.ReadText(kHive, "\\Software\\Morvane\\Tarvo\\Texte\\00", "Text"),
              "Moin\r\n%n\r\n");
    bool flag = true;
    std::string text;
    EXPECT_TRUE(texte.Load({}, kTextGreeting, flag, text));
    EXPECT_FALSE(flag);
    EXPECT_EQ(text, "Moin\r%n\r");
    texte.WriteGeneral(kTextQuit, "");
    EXPECT_EQ(texte.ReadGeneral(kTextQuit), "");
    texte.ResetGeneral(kTextQuit);
    EXPECT_EQ(texte.ReadGeneral(kTextQuit), "<Tarvo>: Tsch\xFCss...\r");
    registry.WriteDWord(kHive, GeneralTextKey(kTextNews), "Text", 7);
    EXPECT_EQ(texte.ReadGeneral(kTextNews), "");
    EXPECT_FALSE(texte.Load("DL9ZZZ", kTextGreeting, flag, text));
}

TEST_F(TexteFixture, SendKindSendsEchoedWithEscapesThroughUserQueue) {
    texte.WriteGeneral(kTextNews, "");
    texte.SendKind(kTextNews, v);
    EXPECT_TRUE(v.Sent().empty());
    texte.SendKind(kTextGreeting, v);
    const auto sent = v.Sent();
    ASSERT_EQ(sent.size(), 1u);
    const auto& s = sent[0];
    EXPECT_EQ(s.text, "\rHallo DL1ABC-2...\r");
    EXPECT_TRUE(s.echo && s.expand && s.userQueue);
    EXPECT_FALSE(s.wrap);
}

TEST(TextTyp, LabelsAndGeneralOnly) {
    TTextTypRec r;
    TextTyp(13, r);
    EXPECT_EQ(r.name, "Textbaustein 10 (Strg+0)");
    TextTyp(kTextInfo, r);
    EXPECT_EQ(r.generalOnly, 1);
    TextTyp(14, r);
    EXPECT_EQ(r.kind, kTextInfo);
}

// The echo of sent text waits for the main thread, as a channel's does.
class MainThreadCalls {
  public:
    void Call(std::function<void()> fn) {
        std::unique_lock lock(mutex_);
        pending_ = std::move(fn);
        changed_.notify_all();
        changed_.wait(lock, [this] { return !pending_; });
    }
    void WaitForCall() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return static_cast<bool>(pending_); });
    }
    void RunPending() {
        std::lock_guard lock(mutex_);
        if (pending_) pending_();
        pending_ = nullptr;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> pending_;
};

class EchoingConnection : public FakeModulConnection {
  public:
    explicit EchoingConnection(MainThreadCalls& main) : main_(main) {}
    void SendData(std::string_view text, bool echo, bool expand, bool wrap,
                  bool userQueue) override {
        FakeModulConnection::SendData(text, echo, expand, wrap, userQueue);
        if (echo) main_.Call([] {});
    }

  private:
    MainThreadCalls& main_;
};

TEST_F(TexteFixture, MainThreadBuildsTextWhileWorkerSendsGreeting) {
    MainThreadCalls main;
    EchoingConnection remote(main);
    std::thread worker([&] { texte.SendText(kTextGreeting, remote); });
    main.WaitForCall();
    // The main thread builds a text block while the worker waits for it.
    auto block = std::async(std::launch::async, [&] { return texte.GetText(kTextQuit, &v); });
    const bool built = block.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(built) << "the main thread waits for the lock the sending worker holds";
    main.RunPending();
    worker.join();
    EXPECT_EQ(block.get(), "<Tarvo>: Tsch\xFCss...\r");
}

}  // namespace
}  // namespace tarvo::resources
