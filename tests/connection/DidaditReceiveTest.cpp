// The receiving module against a scripted sender: what it accepts, where it
// stores the data, how it resumes, what it refuses and how it ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "connection/MD5U.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "platform/Files.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/TncSimulatorDidadit.h"

namespace tarvo::connection {
namespace {

using test::DidaditScript;
using test::FakeModulConnection;
namespace fs = std::filesystem;

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 13 + i / 509) & 0xFF);
    return data;
}

std::string Info(std::string_view name, std::int64_t size, const MD5Digest& id,
                 std::string_view more = "BLOCKSIZE=1750\r") {
    return "FILENAME=" + std::string(name) + "\rSIZE=" + std::to_string(size) +
           "\rMD5=" + DigestToHex(id) + "\r" + std::string(more);
}

std::string FileText(const fs::path& p) {
    return platform::ReadFile(p, 64 << 20).value_or("<unreadable>");
}

// What the post-processing was handed.
struct Delivered {
    std::mutex mutex;
    int count = 0;
    std::string sendName, content;
};

class DidaditReceive : public ::testing::Test {
  protected:
    DidaditReceive() {
        context.postProcess = [d = delivered](const std::shared_ptr<core::IVerbindung>&,
                                              core::IDateiSenden& record) {
            std::lock_guard lock(d->mutex);
            ++d->count;
            d->sendName = record.GetSendName();
            d->content = FileText(record.GetFileName());
        };
    }
    // Starts the module as the text module does, after the header line.
    void Start() {
        fake->receiveQueue.PushString("#DIDADIT#\r");
        module = script.Start<TVerbindungDidaditReceive>(context);
        EXPECT_EQ(script.TakeText(), "#OK#\r");
    }
    // A fresh connection with the module started on it, for one case of a table.
    std::unique_ptr<DidaditScript> StartFresh() {
        fake = std::make_shared<FakeModulConnection>();
        auto s = std::make_unique<DidaditScript>(fake);
        fake->receiveQueue.PushString("#DIDADIT#\r");
        module = s->Start<TVerbindungDidaditReceive>(context);
        return s;
    }
    // Offers the file; the START lines.
    std::vector<std::pair<std::string, std::string>> Offer(const std::string& info) {
        script.SendBlock(kDidaditInfo, {}, info);
        const auto start = script.NextBlock();
        if (!start || start->type != kDidaditStart) {
            ADD_FAILURE() << "no START";
            return {};
        }
        return ParseDidaditLines(start->payload);
    }
    void SendData(const MD5Digest& id, std::int32_t offset, std::string_view bytes) {
        script.SendBlock(kDidaditData, id, DidaditDataPayload(offset, bytes));
    }
    fs::path DataFile(const MD5Digest& id) const {
        return DidaditDataFile(folder.Incomplete(), id);
    }
    fs::path IndexFile(const MD5Digest& id) const {
        return DidaditIndexFile(folder.Incomplete(), id);
    }
    bool SentText(const std::string& text) const {
        for (const auto& s : fake->Sent())
            if (s.text == text) return true;
        return false;
    }

    test::ScopedDataFolder folder;
    std::shared_ptr<FakeModulConnection> fake = std::make_shared<FakeModulConnection>();
    DidaditScript script{fake};
    std::shared_ptr<Delivered> delivered = std::make_shared<Delivered>();
    TDidaditContext context;
    std::shared_ptr<TVerbindungDidaditReceive> module;
};

TEST_F(DidaditReceive, ReceivesBlocksInAnyOrderAndHandsTheFileOn) {
    const std::string data = Pattern(4000);
    const MD5Digest id = MD5Of(data);
    Start();
    const auto start = Offer(Info("report.txt", 4000, id, "BLOCKSIZE=1750\rFEATURES=CHAT\r"));
    const std::vector<std::pair<std::string, std::string>> expected{
        {"OFFSET", "0"}, {"VERSION", "0.9.1"}, {"FEATURES", "CHAT"}};
    EXPECT_EQ(start, expected);
    SendData(id, 1750, data.substr(1750, 1750));
    SendData(id, 0, data.substr(0, 1750));
    SendData(id, 0, data.substr(0, 100));  // again: changes nothing
    SendData(id, 3500, data.substr(3500));
    script.SendBlock(kDidaditFin, id, "");
    ASSERT_TRUE(script.Expect(kDidaditFinAck));
    ASSERT_TRUE(script.WaitEnd());
    EXPECT_EQ(delivered->count, 1);
    EXPECT_EQ(delivered->sendName, "report.txt");
    EXPECT_EQ(delivered->content, data);
    EXPECT_FALSE(fs::exists(IndexFile(id)));
    EXPECT_TRUE(SentText("<Tarvo>: Didadit-Empfang ok.\r"));
    EXPECT_EQ(fake->DateiSenden(), nullptr);
}

TEST_F(DidaditReceive, TheBlockSizeOnOffer) {
    struct Case {
        const char* offered;
        const char* announced;  // null: none
        std::int32_t used;
    };
    const Case cases[] = {{"BLOCKSIZE=100\r", "1750", 1750},
                          {"BLOCKSIZE=20000\r", "1750", 1750},
                          {"", "1750", 1750},
                          {"BLOCKSIZE=4096\r", nullptr, 4096},
                          {"BLOCKSIZE=256\r", nullptr, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offered);
        auto s = StartFresh();
        const MD5Digest id = MD5Of(c.offered);
        s->SendBlock(kDidaditInfo, {}, Info("x", 10, id, c.offered));
        const auto start = s->Expect(kDidaditStart);
        ASSERT_TRUE(start);
        const auto lines = ParseDidaditLines(start->payload);
        const auto size = std::find_if(lines.begin(), lines.end(),
                                       [](const auto& l) { return l.first == "BLOCKSIZE"; });
        if (c.announced) {
            ASSERT_NE(size, lines.end());
            EXPECT_EQ(size->second, c.announced);
        } else {
            EXPECT_EQ(size, lines.end());
        }
        EXPECT_EQ(module->BlockSize(), c.used);
    }
}

TEST_F(DidaditReceive, RefusesOffersItCannotKeep) {
    struct Case {
        const char* name;
        std::string info;
        const char* error;
    };
    const Case cases[] = {
        {"no MD5", "FILENAME=a\rSIZE=10\r", "202 INFO block without MD5 info"},
        {"an unreadable MD5", "FILENAME=a\rSIZE=10\rMD5=XYZ\r", "202 INFO block without MD5 info"},
        {"no size", "FILENAME=a\rMD5=" + DigestToHex(MD5Of("a")) + "\r",
         "300 Could not create file"},
        {"a size beyond 31 bits", Info("a", 0x80000000ll, MD5Of("b")), "300 Could not create file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = StartFresh();
        s->SendBlock(kDidaditInfo, {}, c.info);
        const auto err = s->Expect(kDidaditErr);
        ASSERT_TRUE(err);
        EXPECT_EQ(err->payload, c.error);
        ASSERT_TRUE(s->WaitEnd());
        std::error_code ec;
        EXPECT_TRUE(!fs::exists(folder.Incomplete(), ec) || fs::is_empty(folder.Incomplete()))
            << "nothing is kept";
    }
}

TEST_F(DidaditReceive, DataOutsideTheFileEndsTheTransfer) {
    struct Case {
        const char* name;
        std::string payload;
        const char* error;
    };
    const Case cases[] = {
        {"past the end", DidaditDataPayload(90, std::string(20, 'x')),
         "104 Invalid offset/blocksize"},
        {"before the start", DidaditDataPayload(-10, std::string(20, 'x')),
         "104 Invalid offset/blocksize"},
        {"shorter than its length", DidaditDataPayload(0, std::string(20, 'x')).substr(0, 16),
         "206 Block corrupt"},
        {"shorter than its header", std::string(5, '\0'), "206 Block corrupt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = StartFresh();
        const MD5Digest id = MD5Of(c.name);
        s->SendBlock(kDidaditInfo, {}, Info("a", 100, id));
        ASSERT_TRUE(s->Expect(kDidaditStart));
        s->SendBlock(kDidaditData, id, c.payload);
        const auto err = s->Expect(kDidaditErr);
        ASSERT_TRUE(err);
        EXPECT_EQ(err->payload, c.error);
        ASSERT_TRUE(s->WaitEnd());
        EXPECT_LE(fs::file_size(DataFile(id)), 100u) << "never written past the file";
        EXPECT_EQ(delivered->count, 0);
    }
}

TEST_F(DidaditReceive, AskingForWhatIsMissing) {
    const std::string data = Pattern(20000);
    const MD5Digest id = MD5Of(data);
    Start();
    Offer(Info("a", 20000, id, "BLOCKSIZE=256\r"));
    // Every other 100 bytes: far more gaps than one request holds (256 / 8 - 1).
    for (std::int32_t at = 0; at < 10000; at += 200) SendData(id, at, data.substr(at, 100));
    script.SendBlock(kDidaditFin, id, "");
    auto req = script.Expect(kDidaditReq);
    ASSERT_TRUE(req);
    auto requests = ParseDidaditRequests(req->payload);
    ASSERT_TRUE(requests);
    ASSERT_EQ(requests->size(), 31u);
    EXPECT_EQ(requests->front(), (TDidaditRequest{100, 100}));
    // Served in full, the next FIN is answered with the rest.
    for (const auto& r : *requests)
        SendData(
            id, static_cast<std::int32_t>(r.offset),
            data.substr(static_cast<std::size_t>(r.offset), static_cast<std::size_t>(r.length)));
    script.SendBlock(kDidaditFin, id, "");
    req = script.Expect(kDidaditReq);
    ASSERT_TRUE(req);
    requests = ParseDidaditRequests(req->payload);
    ASSERT_TRUE(requests);
    EXPECT_EQ(requests->front(), (TDidaditRequest{6300, 100}));
    EXPECT_EQ(requests->back(), (TDidaditRequest{9900, 10100}));
    EXPECT_EQ(requests->size(), 19u);
}

TEST_F(DidaditReceive, ResumesFromTheIndex) {
    const std::string data = Pattern(30000);
    const MD5Digest id = MD5Of(data);
    fs::create_directories(folder.Incomplete());
    std::string partial(30000, '\0');
    partial.replace(0, 10000, data.substr(0, 10000));
    partial.replace(15000, 5000, data.substr(15000, 5000));
    ASSERT_FALSE(platform::WriteFileAtomic(DataFile(id), partial.substr(0, 20000)));
    ASSERT_FALSE(
        platform::WriteFileAtomic(IndexFile(id), "[Blocks]\n0000=0,9999\n0001=15000,19999\n"));
    Start();
    const auto start = Offer(Info("big.bin", 30000, id));
    ASSERT_FALSE(start.empty());
    EXPECT_EQ(start.front(), (std::pair<std::string, std::string>{"OFFSET", "20000"}));
    // The sender stops early: both the gap and the rest are asked for.
    script.SendBlock(kDidaditFin, id, "");
    auto req = script.Expect(kDidaditReq);
    ASSERT_TRUE(req);
    const std::vector<TDidaditRequest> both{{10000, 5000}, {20000, 10000}};
    EXPECT_EQ(ParseDidaditRequests(req->payload), both);
    SendData(id, 10000, data.substr(10000, 5000));
    for (std::int32_t at = 20000; at < 30000; at += 1750) SendData(id, at, data.substr(at, 1750));
    script.SendBlock(kDidaditFin, id, "");
    ASSERT_TRUE(script.Expect(kDidaditFinAck));
    ASSERT_TRUE(script.WaitEnd());
    EXPECT_EQ(delivered->content, data);
}

TEST_F(DidaditReceive, NeverASuccessWithoutTheWholeRightFile) {
    struct Case {
        const char* name;
        bool corrupt;  // one byte differs
        bool finAck;   // the sender says FINACK instead of FIN
        const char* error;
        bool kept;  // the files stay for a resume
    };
    const Case cases[] = {
        {"a wrong byte", true, false, "102 MD5 validation error", false},
        {"FINACK before the end", false, true, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = StartFresh();
        const std::string data = Pattern(3000) + c.name;
        const MD5Digest id = MD5Of(data);
        s->SendBlock(kDidaditInfo, {}, Info("a", static_cast<std::int64_t>(data.size()), id));
        ASSERT_TRUE(s->Expect(kDidaditStart));
        std::string sent = data;
        if (c.corrupt) sent[5] ^= 1;
        s->SendBlock(kDidaditData, id, DidaditDataPayload(0, sent.substr(0, 1750)));
        if (c.finAck) {
            s->SendBlock(kDidaditFinAck, id, "");
        } else {
            s->SendBlock(kDidaditData, id, DidaditDataPayload(1750, sent.substr(1750)));
            s->SendBlock(kDidaditFin, id, "");
        }
        if (c.error) {
            const auto err = s->Expect(kDidaditErr);
            ASSERT_TRUE(err);
            EXPECT_EQ(err->payload, c.error);
        }
        ASSERT_TRUE(s->WaitEnd());
        EXPECT_EQ(delivered->count, 0);
        EXPECT_EQ(fs::exists(DataFile(id)), c.kept);
        EXPECT_EQ(fs::exists(IndexFile(id)), c.kept);
        const auto prompts = fake->Prompts();
        EXPECT_TRUE(prompts.empty() || prompts.back().text != "Didadit-Empfang ok.\r");
        bool told = false;
        for (const auto& x : fake->Sent())
            told = told || x.text == "\r<Tarvo>: Didadit-Empfang abgebrochen.\r";
        EXPECT_TRUE(told);
    }
}

TEST_F(DidaditReceive, RoundsWithoutProgressEnd) {
    const MD5Digest id = MD5Of("never");
    Start();
    Offer(Info("a", 5000, id));
    int requests = 0;
    for (int round = 0; round < kMaxRoundsWithoutProgress + 2 && !script.Ended(); ++round) {
        script.SendBlock(kDidaditFin, id, "");
        const auto block = script.NextBlock();
        if (!block) break;
        if (block->type == kDidaditReq) ++requests;
        if (block->type == kDidaditErr) {
            EXPECT_EQ(block->payload, "206 Block corrupt");
            break;
        }
    }
    ASSERT_TRUE(script.WaitEnd());
    EXPECT_EQ(requests, kMaxRoundsWithoutProgress);
}

TEST_F(DidaditReceive, AnEmptyFileAndASafeName) {
    struct Case {
        const char* offered;
        const char* stored;
    };
    const Case cases[] = {{"", "DB0ABC.dat"},
                          {".", "DB0ABC.dat"},
                          {"..", "DB0ABC.dat"},
                          {"../../etc/passwd", "passwd"},
                          {"dir\\sub\\x.txt", "x.txt"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offered);
        auto s = StartFresh();
        const MD5Digest id = MD5Of("");
        s->SendBlock(kDidaditInfo, {}, Info(c.offered, 0, id));
        ASSERT_TRUE(s->Expect(kDidaditStart));
        s->SendBlock(kDidaditFin, id, "");
        ASSERT_TRUE(s->Expect(kDidaditFinAck));
        ASSERT_TRUE(s->WaitEnd());
        EXPECT_EQ(delivered->sendName, c.stored);
        EXPECT_EQ(delivered->content, "");
        EXPECT_FALSE(fs::exists(IndexFile(id)));
    }
}

TEST_F(DidaditReceive, TheSameFileOnTwoChannels) {
    const std::string data = Pattern(3000);
    const MD5Digest id = MD5Of(data);
    Start();
    Offer(Info("a", 3000, id));
    // A second channel is offered the same file while the first receives it.
    auto other = std::make_shared<FakeModulConnection>();
    DidaditScript second(other);
    other->receiveQueue.PushString("#DIDADIT#\r");
    second.Start<TVerbindungDidaditReceive>(context);
    second.SendBlock(kDidaditInfo, {}, Info("a", 3000, id));
    const auto err = second.Expect(kDidaditErr);
    ASSERT_TRUE(err);
    EXPECT_EQ(err->payload, "300 Could not create file");
    ASSERT_TRUE(second.WaitEnd());
    // The first goes on undisturbed.
    SendData(id, 0, data);
    script.SendBlock(kDidaditFin, id, "");
    ASSERT_TRUE(script.Expect(kDidaditFinAck));
    ASSERT_TRUE(script.WaitEnd());
    EXPECT_EQ(delivered->content, data);
}

TEST_F(DidaditReceive, ALinkEndLeavesAResumableFile) {
    const std::string data = Pattern(6000);
    const MD5Digest id = MD5Of(data);
    Start();
    Offer(Info("a", 6000, id));
    SendData(id, 0, data.substr(0, 1750));
    SendData(id, 3500, data.substr(3500, 1750));
    script.SendBlock(kDidaditEchoReq, {}, "ping");
    ASSERT_TRUE(script.Expect(kDidaditEchoRep));  // both DATA blocks are in
    fake->endEvent.Set();
    ASSERT_TRUE(script.WaitEnd());
    EXPECT_EQ(FileText(IndexFile(id)), "[Blocks]\r\n0000=0,1749\r\n0001=3500,5249\r\n");
    EXPECT_EQ(FileText(DataFile(id)).substr(3500, 1750), data.substr(3500, 1750));
    EXPECT_EQ(delivered->count, 0);
    EXPECT_TRUE(fake->Prompts().empty()) << "a link end reports nothing";
}

}  // namespace
}  // namespace tarvo::connection

namespace tarvo::connection {
namespace {

// The mailbox of the TNC simulator speaks DIDADIT on its own; the receiver
// takes a file from it, also when a block on the way is damaged.
TEST_F(DidaditReceive, TakesAFileFromTheSimulatedMailbox) {
    std::string data;
    for (int i = 0; i < 3000; ++i) data += static_cast<char>(i * 31 % 251);
    test::SimDidaditSender mailbox("MAIL.BIN", data);
    const std::string announce = mailbox.Announce();
    fake->receiveQueue.PushString(announce.substr(0, announce.find('\r') + 1));
    module = script.Start<TVerbindungDidaditReceive>(context);
    script.SendText(announce.substr(announce.find('\r') + 1));
    bool damaged = false;
    while (!mailbox.Done()) {
        fake->linkSendQueue.NotEmptyEvent().Wait(DidaditScript::kBound);
        std::string from;
        while (auto item = fake->linkSendQueue.Pop()) from += *item;
        if (from.empty()) break;
        std::string answer = mailbox.Receive(from);
        // One byte of the first DATA block goes wrong on the air.
        if (!damaged && answer.size() > 500) {
            answer[300] ^= 0x01;
            damaged = true;
        }
        if (!answer.empty()) script.SendText(answer);
    }
    EXPECT_TRUE(mailbox.Succeeded());
    ASSERT_TRUE(script.WaitEnd());
    EXPECT_EQ(delivered->sendName, "MAIL.BIN");
    EXPECT_EQ(delivered->content, data);
}

}  // namespace
}  // namespace tarvo::connection

namespace tarvo::connection {
namespace {

// Blocks behind an ABORT in the same received piece are not acted on.
TEST_F(DidaditReceive, NothingAfterTheEnd) {
    const MD5Digest id = MD5Of("abc");
    Start();
    Offer(Info("a", 3, id));
    script.SendText(EncodeDidaditBlock(kDidaditAbort, {}, "") +
                    EncodeDidaditBlock(kDidaditEchoReq, {}, "ping") +
                    EncodeDidaditBlock(kDidaditData, id, DidaditDataPayload(0, "abc")) +
                    EncodeDidaditBlock(kDidaditFin, id, ""));
    ASSERT_TRUE(script.WaitEnd());
    while (auto block = script.NextBlock()) EXPECT_NE(block->type, kDidaditEchoRep);
    EXPECT_EQ(delivered->count, 0);
    EXPECT_EQ(fs::file_size(DataFile(id)), 0u);
}

}  // namespace
}  // namespace tarvo::connection
