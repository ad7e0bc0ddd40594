// The AutoBIN header, names and dates, and both modules against a scripted
// remote; among the remotes, a terminal in use that sends and expects some
// things of its own (recorded against it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "connection/CrcU.h"
#include "connection/VerbindungAutobinU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenU.h"
#include "platform/FileTime.h"
#include "platform/Files.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/FakeModulConnection.h"

namespace tarvo::connection {
namespace {

namespace fs = std::filesystem;
using test::FakeModulConnection;
using namespace std::chrono_literals;

// Two other CRC-16s often taken for this one.
std::uint16_t CrcCcittFfff(std::string_view s) {
    std::uint16_t c = 0xFFFF;
    for (unsigned char b : s) {
        c ^= static_cast<std::uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i)
            c = static_cast<std::uint16_t>(c & 0x8000 ? (c << 1) ^ 0x1021 : c << 1);
    }
    return c;
}
std::uint16_t CrcXmodem(std::string_view s) {
    std::uint16_t c = 0;
    for (unsigned char b : s) {
        c ^= static_cast<std::uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i)
            c = static_cast<std::uint16_t>(c & 0x8000 ? (c << 1) ^ 0x1021 : c << 1);
    }
    return c;
}

TEST(AutobinCrc, IsNeitherCcittFfffNorXmodem) {
    EXPECT_EQ(Crc16("123456789"), 0xBEEF);
    EXPECT_EQ(CrcCcittFfff("123456789"), 0x29B1);
    EXPECT_EQ(CrcXmodem("123456789"), 0x31C3);
}

TEST(AutobinHeader, EveryFormIsRead) {
    struct Case {
        std::string_view line;
        std::int64_t length;
        std::optional<std::uint16_t> crc;
        std::optional<std::uint32_t> date;
        std::string_view name;
    };
    const Case cases[] = {
        {"#BIN#1234", 1234, {}, {}, ""},
        {"#BIN#1234\r", 1234, {}, {}, ""},
        {"#BIN#1234#name.txt", 1234, {}, {}, "name.txt"},
        {"#BIN#1234#|48879", 1234, 48879, {}, ""},
        {"#BIN#1234#|48879#name.txt\r", 1234, 48879, {}, "name.txt"},
        {"#BIN#1234#$3A2B1C0D#name.txt", 1234, {}, 0x3A2B1C0D, "name.txt"},
        {"#BIN#1234#|48879#$3A2B1C0D#C:\\DOS\\x.zip\r", 1234, 48879, 0x3A2B1C0D, "C:\\DOS\\x.zip"},
        {"#BIN#5000#|23456#$1EDEADF0#NAME\r", 5000, 23456, 0x1EDEADF0, "NAME"},
        // A CRC of 0 means no check; so do unreadable ones.
        {"#BIN#10#|0#$1EDEADF0#A", 10, {}, 0x1EDEADF0, "A"},
        {"#BIN#10#|x1#a", 10, {}, {}, "a"},
        {"#BIN#10#|65537#a", 10, 1, {}, "a"},
        // DOS date 0 and dates that are none: no date.
        {"#BIN#10#|1#$00000000#a", 10, 1, {}, "a"},
        {"#BIN#10#|1#$1FBEADF0#a", 10, 1, {}, "a"},  // month 13
        {"#BIN#10#|1#$zz#a", 10, 1, {}, "a"},
        {"#BIN#10#|1#$123456789#a", 10, 1, {}, "a"},
        {"#BIN#10#|1#$3A2B1C0D", 10, 1, 0x3A2B1C0D, ""},
        // The length: decimal digits only, at most 2^31 - 1.
        {"#BIN#", -1, {}, {}, ""},
        {"#BIN#-5#a", -1, {}, {}, "a"},
        {"#BIN#+5#a", -1, {}, {}, "a"},
        {"#BIN# 5#a", -1, {}, {}, "a"},
        {"#BIN#0x10#a", -1, {}, {}, "a"},
        {"#BIN#2147483647#a", 2147483647, {}, {}, "a"},
        {"#BIN#2147483648#a", -1, {}, {}, "a"},
        {"#BIN#99999999999999999999999#a", -1, {}, {}, "a"},
        {"#BIN#0", 0, {}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto h = ParseAutobinHeader(c.line);
        ASSERT_TRUE(h);
        EXPECT_EQ(h->length, c.length);
        EXPECT_EQ(h->crc, c.crc);
        EXPECT_EQ(h->date, c.date);
        EXPECT_EQ(h->name, c.name);
    }
    EXPECT_FALSE(ParseAutobinHeader("#bin#12"));
    EXPECT_FALSE(ParseAutobinHeader(" #BIN#12"));
}

TEST(AutobinHeader, TheSenderWritesTheFullForm) {
    EXPECT_EQ(AutobinHeaderLine(1234, 48879, 0x3A2B1C0D, "x.zip"),
              "#BIN#1234#|48879#$3A2B1C0D#x.zip\r");
    EXPECT_EQ(AutobinHeaderLine(0, 0, 0, "e"), "#BIN#0#|0#$00000000#e\r");
    const auto back = ParseAutobinHeader(AutobinHeaderLine(7, 513, 0x1EDEADF0, "a b"));
    EXPECT_EQ(back->length, 7);
    EXPECT_EQ(back->crc, 513);
    EXPECT_EQ(back->date, 0x1EDEADF0u);
    EXPECT_EQ(back->name, "a b");
}

TEST(AutobinHeader, OnlyASafeLastComponentOfTheNameIsKept) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"report.txt", "report.txt"},
        {"C:\\DOS\\TOOLS\\PK.EXE", "PK.EXE"},
        {"/etc/passwd", "passwd"},
        {"../../.config/autostart/x.desktop", "x.desktop"},
        {"A:NAME", "NAME"},
        {"", "DB0ABC-1.dat"},
        {".", "DB0ABC-1.dat"},
        {"..", "DB0ABC-1.dat"},
        {"...", "DB0ABC-1.dat"},
        {"dir/..", "DB0ABC-1.dat"},
        {"a\x01\x1F"
         "b",
         "ab"},
    };
    for (const auto& [sent, stored] : cases) {
        SCOPED_TRACE(sent);
        EXPECT_EQ(AutobinStoreName(sent, "DB0ABC-1"), stored);
    }
}

TEST(AutobinDate, DosDatesBothWays) {
    const core::TDateTime t{1995, 6, 30, 21, 47, 32};
    EXPECT_EQ(DosDateTime(t), 0x1EDEADF0u);
    EXPECT_EQ(FromDosDateTime(0x1EDEADF0u), t);
    EXPECT_EQ(DosDateTime({1979, 12, 31, 23, 59, 58}), 0u);
    EXPECT_EQ(DosDateTime({2108, 1, 1, 0, 0, 0}), 0u);
    const core::TDateTime leap{2024, 2, 29, 0, 0, 0};
    EXPECT_EQ(FromDosDateTime(DosDateTime(leap)), leap);
    EXPECT_FALSE(FromDosDateTime(0));
    EXPECT_FALSE(FromDosDateTime(DosDateTime({2023, 2, 28, 0, 0, 0}) + (1u << 16)));  // 29 Feb 2023
    EXPECT_FALSE(FromDosDateTime(0x1EDE0000u | 24u << 11));                           // 24:00
}

TEST(AutobinChat, OnlyWholeLinesGoOutEachInOneFrame) {
    TAutobinChat chat;
    EXPECT_TRUE(chat.Add("Hallo").empty()) << "a line without its CR waits";
    EXPECT_EQ(chat.Add(" du\rund"), std::vector<std::string>{"SP\\-Hallo du\r"});
    EXPECT_EQ(chat.TakeRest(), "und");
    const auto frames = chat.Add(std::string(600, 'x') + "\r");
    ASSERT_EQ(frames.size(), 3u);
    for (const std::string& f : frames) {
        EXPECT_LE(f.size(), kAutobinFrame);
        EXPECT_TRUE(f.starts_with("SP\\-") && f.ends_with("\r"));
    }
    EXPECT_EQ(frames[2], "SP\\-" + std::string(600 - 2 * 251, 'x') + "\r");
}

// --- The modules against a scripted remote ----------------------------------------

class Autobin : public ::testing::Test {
  protected:
    Autobin() {
        const char* old = std::getenv("XDG_DATA_HOME");
        hadDataHome_ = old != nullptr;
        oldDataHome_ = old ? old : "";
        setenv("XDG_DATA_HOME", folder_.Dir().c_str(), 1);
        context.postProcess = [this](const std::shared_ptr<core::IVerbindung>&,
                                     core::IDateiSenden& record) {
            std::lock_guard lock(mutex_);
            ++delivered_;
            sendName_ = record.GetSendName();
            content_ = platform::ReadFile(record.GetFileName(), 64 << 20).value_or("<unreadable>");
            modified_ = platform::FileModifiedLocalSeconds(record.GetFileName());
        };
        context.emptyFileAnswerTime = 200ms;
    }
    ~Autobin() override {
        Stop();
        if (hadDataHome_)
            setenv("XDG_DATA_HOME", oldDataHome_.c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

    template <class TModule>
    void Start() {
        auto module = TVerbindungAbstract::Create<TModule>(nullptr, fake, context);
        fake->SetModul(module);
        worker_ = std::thread([this, module] {
            try {
                module->EventLoop();
            } catch (...) {
            }
            module->Close();
            ended_.Set();
        });
    }
    void Receive(const std::string& header) {
        fake->receiveQueue.PushString(header);
        Start<TVerbindungAutobinReceive>();
    }
    // A job of protocol 2 over the bytes, running on the connection.
    std::shared_ptr<filesend::TDateiSenden> SendJob(const std::string& data) {
        auto job = filesend::TDateiSenden::Create(fake);
        job->SetProtokoll(kAutobinProtocol);
        job->SetSendName("data.bin");
        job->SetStream(std::make_unique<core::TMemoryStream>(data));
        fake->SetDateiSenden(job);
        return job;
    }
    bool WaitEnd() { return ended_.Wait(std::chrono::seconds(20)); }
    void Stop() {
        if (!worker_.joinable()) return;
        fake->endEvent.Set();
        WaitEnd();
        if (worker_.joinable()) worker_.join();
    }
    // What the module put on the link so far (waits a little for the first).
    std::string Link() {
        fake->linkSendQueue.NotEmptyEvent().Wait(std::chrono::seconds(5));
        std::string text;
        while (auto item = fake->linkSendQueue.Pop()) text += *item;
        return text;
    }
    std::vector<std::string> LinkFrames() {
        std::vector<std::string> frames;
        while (auto item = fake->linkSendQueue.Pop()) frames.push_back(*item);
        return frames;
    }
    bool Sent(std::string_view text) const {
        for (const auto& s : fake->Sent())
            if (s.text == text) return true;
        return false;
    }
    bool Prompted(std::string_view part) const {
        for (const auto& p : fake->Prompts())
            if (p.text.find(part) != std::string::npos) return true;
        return false;
    }
    std::size_t Trashed() const {
        std::error_code ec;
        std::size_t n = 0;
        for (fs::directory_iterator it(folder_.Dir() / "Trash" / "files", ec), end;
             !ec && it != end; it.increment(ec))
            ++n;
        return n;
    }
    std::size_t Incomplete() const {
        std::error_code ec;
        std::size_t n = 0;
        for (fs::directory_iterator it(folder_.Incomplete(), ec), end; !ec && it != end;
             it.increment(ec))
            ++n;
        return n;
    }
    int Delivered() {
        std::lock_guard lock(mutex_);
        return delivered_;
    }

    test::ScopedDataFolder folder_;
    std::shared_ptr<FakeModulConnection> fake = std::make_shared<FakeModulConnection>();
    TAutobinContext context;
    std::mutex mutex_;
    int delivered_ = 0;
    std::string sendName_, content_;
    std::optional<std::int64_t> modified_;

    platform::Event ended_{platform::Event::Manual, false};

  private:
    std::string oldDataHome_;
    bool hadDataHome_ = false;
    std::thread worker_;
};

std::string Header(std::string_view data, std::string_view name, std::uint32_t date = 0) {
    return AutobinHeaderLine(static_cast<std::int64_t>(data.size()), Crc16(data), date, name);
}

// The other terminal puts its header in a frame of its own, with the same date
// on every file and the name upper-cased: accepted, stored with that date.
TEST_F(Autobin, TheOtherTerminalsHeaderAndItsConstantDate) {
    const std::string data = "Hallo, Welt!";
    Receive("#BIN#" + std::to_string(data.size()) + "#|" + std::to_string(Crc16(data)) +
            "#$1EDEADF0#NAME.TXT\r");
    fake->receiveQueue.PushString(data.substr(0, 5));
    fake->receiveQueue.PushString(data.substr(5) + "<TNT>: tail");
    ASSERT_TRUE(WaitEnd());
    EXPECT_TRUE(Sent("#OK#\r"));
    EXPECT_TRUE(Sent("<Tarvo>: Autobin-Empfang ok.\r"));
    ASSERT_EQ(Delivered(), 1);
    EXPECT_TRUE(core::EqualNoCase(sendName_, "name.txt"));
    EXPECT_EQ(content_, data);
    ASSERT_TRUE(modified_);
    EXPECT_EQ(core::UnixSecondsToDateTime(*modified_), (core::TDateTime{1995, 6, 30, 21, 47, 32}));
    // What follows the file stays for the text module.
    EXPECT_EQ(fake->receiveQueue.PopString(), "<TNT>: tail");
}

TEST_F(Autobin, HeaderFormsWithoutCrcDateOrName) {
    struct Case {
        std::string header;
        std::string result;
        std::string name;
    };
    const std::string data = "12345";
    const Case cases[] = {
        {"#BIN#5\r",
         "<Tarvo>: Autobin-Empfang ok. (ohne CRC-Pr\xFC"
         "fung.)\r",
         "DB0ABC.dat"},
        {"#BIN#5#|0#$1EDEADF0#x\r",
         "<Tarvo>: Autobin-Empfang ok. (ohne CRC-Pr\xFC"
         "fung.)\r",
         "x"},
        {"#BIN#5#$00000000#C:\\A\\b.c\r",
         "<Tarvo>: Autobin-Empfang ok. (ohne CRC-Pr\xFC"
         "fung.)\r",
         "b.c"},
        {"#BIN#5#|" + std::to_string(Crc16(data)) + "#/tmp/../n\r",
         "<Tarvo>: Autobin-Empfang ok.\r", "n"},
        {"#BIN#5#|" + std::to_string(Crc16(data) ^ 1) + "#n\r",
         "<Tarvo>: Autobin-Empfang CRC-Fehler.\r", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        Stop();
        fake = std::make_shared<FakeModulConnection>();
        ended_.Reset();
        const int before = Delivered();
        Receive(c.header);
        fake->receiveQueue.PushString(data);
        ASSERT_TRUE(WaitEnd());
        Stop();
        EXPECT_TRUE(Sent(c.result));
        if (c.name.empty()) {
            EXPECT_EQ(Delivered(), before) << "a damaged file is not handed on";
            EXPECT_EQ(Trashed(), 1u);
        } else {
            EXPECT_EQ(Delivered(), before + 1);
            EXPECT_EQ(sendName_, c.name);
        }
    }
}

TEST_F(Autobin, WhatCannotBeTakenIsRefusedWithTheReasonAboveTheNo) {
    context.maxReceiveBytes = [] { return std::int64_t{1000}; };
    const std::string headers[] = {"#BIN#1001#|1#x\r", "#BIN#-1#x\r", "#BIN#12ab#x\r", "#BIN#\r",
                                   "#BIN#99999999999#x\r"};
    for (const std::string& header : headers) {
        SCOPED_TRACE(header);
        Stop();
        fake = std::make_shared<FakeModulConnection>();
        ended_.Reset();
        Receive(header);
        ASSERT_TRUE(WaitEnd());
        Stop();
        ASSERT_EQ(fake->Prompts().size(), 1u);
        EXPECT_TRUE(fake->Prompts()[0].text.starts_with("Autobin-Empfang abgelehnt: "));
        ASSERT_EQ(fake->Sent().size(), 1u) << "no abort text after the refusal";
        EXPECT_EQ(fake->Sent()[0].text, "#NO#\r");
        EXPECT_FALSE(fake->DateiSenden());
        if (header == headers[0]) {
            EXPECT_TRUE(Prompted("1000 Bytes"));
        }
    }
    EXPECT_EQ(Incomplete(), 0u);
    EXPECT_EQ(Delivered(), 0);
}

TEST_F(Autobin, AnEmptyFileIsCompleteAtOnce) {
    Receive("#BIN#0#|0#$00000000#leer.txt\r");
    ASSERT_TRUE(WaitEnd());
    EXPECT_TRUE(Sent("#OK#\r"));
    ASSERT_EQ(Delivered(), 1);
    EXPECT_EQ(content_, "");
    EXPECT_EQ(sendName_, "leer.txt");
}

TEST_F(Autobin, AbortAndChatPiecesDuringTheData) {
    // Inside a longer piece "#ABORT#" is data; "SP\-" lines are shown, not stored.
    const std::string data = "ab#ABORT#\rcd";
    Receive(Header(data, "f"));
    fake->receiveQueue.PushString("SP\\-Hallo\r");
    fake->receiveQueue.PushString(data);
    ASSERT_TRUE(WaitEnd());
    EXPECT_EQ(content_, data);
    EXPECT_NE(fake->ShownText().find("Hallo\r"), std::string::npos);

    // A piece that is exactly "#ABORT#\r" ends it; the partial file goes to the trash.
    Stop();
    fake = std::make_shared<FakeModulConnection>();
    ended_.Reset();
    Receive(Header("0123456789", "g"));
    fake->receiveQueue.PushString("01234");
    fake->receiveQueue.PushString("#ABORT#\r");
    ASSERT_TRUE(WaitEnd());
    EXPECT_TRUE(Sent("\r<Tarvo>: Autobin-Empfang abgebrochen.\r"));
    EXPECT_EQ(Delivered(), 1);
    EXPECT_EQ(Trashed(), 1u);
}

TEST_F(Autobin, TheSenderSendsTheFullHeaderAndFramesOfAtMost256) {
    const std::string data(1300, 'z');
    SendJob(data);
    Start<TVerbindungAutobinSend>();
    const std::string header = Link();
    EXPECT_TRUE(
        header.starts_with("#BIN#1300#|" + std::to_string(Crc16(data)) + "#$00000000#data.bin\r"))
        << header;
    fake->receiveQueue.PushString("#OK#\r");
    // The link takes what is queued, as a device does.
    std::string all;
    while (!ended_.Wait(std::chrono::milliseconds(1)) || !fake->linkSendQueue.IsEmpty()) {
        for (const std::string& frame : LinkFrames()) {
            EXPECT_LE(frame.size(), kAutobinFrame);
            all += frame;
        }
    }
    EXPECT_TRUE(all.starts_with(data));
    EXPECT_TRUE(Sent("<Tarvo>: Autobin-Senden ok.\r"));
}

TEST_F(Autobin, TheSenderTakesNoAndAbortButNotALongLineWithOkInside) {
    for (const std::string answer : {"#NO#\r", "#ABORT#\r"}) {
        SCOPED_TRACE(answer);
        Stop();
        fake = std::make_shared<FakeModulConnection>();
        ended_.Reset();
        SendJob("abc");
        Start<TVerbindungAutobinSend>();
        Link();
        // Far more than an answer can be, ending in what looks like one.
        fake->receiveQueue.PushString(std::string(10000, 'q'));
        fake->receiveQueue.PushString("#OK#\r");
        fake->receiveQueue.PushString(answer);
        ASSERT_TRUE(WaitEnd());
        EXPECT_TRUE(Sent("\r<Tarvo>: Autobin-Senden abgebrochen.\r"));
        for (const std::string& frame : LinkFrames())
            EXPECT_EQ(frame.find("abc"), std::string::npos) << "no data went out";
    }
}

// The other terminal never answers an empty file: the sender gives up with a
// message and leaves no job behind.
TEST_F(Autobin, AnUnansweredEmptyFileTimesOut) {
    auto job = SendJob("");
    Start<TVerbindungAutobinSend>();
    EXPECT_TRUE(Link().starts_with("#BIN#0#|0#"));
    ASSERT_TRUE(WaitEnd());
    EXPECT_TRUE(Prompted("nicht geantwortet"));
    EXPECT_TRUE(Sent("\r<Tarvo>: Autobin-Senden abgebrochen.\r"));
    EXPECT_TRUE(job->Released());
}

// An empty file that is answered finishes at once.
TEST_F(Autobin, AnAnsweredEmptyFileFinishes) {
    SendJob("");
    Start<TVerbindungAutobinSend>();
    Link();
    fake->receiveQueue.PushString("#OK#\r");
    ASSERT_TRUE(WaitEnd());
    EXPECT_TRUE(Sent("<Tarvo>: Autobin-Senden ok.\r"));
}

// After the data began, the other terminal takes "#ABORT#" for data and keeps
// waiting; the cancelling side still ends cleanly, and the text of the
// other terminal's result is only shown.
TEST_F(Autobin, CancellingTheSenderMidwayEndsCleanly) {
    SendJob(std::string(100000, 'd'));
    Start<TVerbindungAutobinSend>();
    Link();
    fake->receiveQueue.PushString("#OK#\r");
    fake->linkSendQueue.NotEmptyEvent().Wait(5s);
    fake->receiveQueue.PushString("<TNT>: AutoBIN-receive not successful !\r");
    fake->CancelTransfer();
    ASSERT_TRUE(WaitEnd());
    const std::string link = Link();
    EXPECT_NE(link.find("#ABORT#\r"), std::string::npos);
    EXPECT_TRUE(Sent("\r<Tarvo>: Autobin-Senden abgebrochen.\r"));
}

TEST_F(Autobin, TypedTextGoesAsChatOnlyWithItsLineEnd) {
    SendJob(std::string(10, 'd'));
    Start<TVerbindungAutobinSend>();
    Link();
    fake->userSendQueue.PushString("ohne Ende");
    fake->userSendQueue.PushString(" und\rRest");
    const std::string chat = Link();
    EXPECT_EQ(chat, "SP\\-ohne Ende und\r");
    fake->receiveQueue.PushString("#OK#\r");
    ASSERT_TRUE(WaitEnd());
    const std::string rest = Link();
    EXPECT_NE(rest.find("Rest"), std::string::npos) << "the rest goes out as text at the end";
    EXPECT_EQ(rest.find("SP\\-Rest"), std::string::npos);
}

// The other terminal's result line after a file it received is plain text.
TEST_F(Autobin, TheOtherTerminalsResultLineIsShown) {
    SendJob("x");
    Start<TVerbindungAutobinSend>();
    Link();
    fake->receiveQueue.PushString("#OK#\r<TNT>: AutoBIN-receive finished\r");
    ASSERT_TRUE(WaitEnd());
    EXPECT_NE(fake->ShownText().find("<TNT>: AutoBIN-receive finished\r"), std::string::npos);
}

}  // namespace
}  // namespace tarvo::connection
