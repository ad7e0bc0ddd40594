// The sending module against a scripted receiver: the announcement, how START
// and REQ steer the DATA blocks, and how the transfer ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "connection/MD5U.h"
#include "connection/VerbindungDidaditSendU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenU.h"
#include "platform/FileTime.h"
#include "tests/support/DidaditPeer.h"

namespace tarvo::connection {
namespace {

using test::DidaditScript;
using test::FakeModulConnection;

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return data;
}

class DidaditSend : public ::testing::Test {
  protected:
    // Starts the module on a job with the data in memory.
    void Start(const std::string& data) {
        auto job = filesend::TDateiSenden::Create(fake);
        job->SetStream(std::make_unique<core::TMemoryStream>(data));
        job->SetSendName("file.bin");
        job->SetProtokoll(kDidaditProtocol);
        StartJob(job);
        id = MD5Of(data);
    }
    void StartJob(const std::shared_ptr<filesend::TDateiSenden>& j) {
        job = j;
        fake->SetDateiSenden(job);
        module = script.Start<TVerbindungDidaditSend>();
    }
    // A fresh connection whose job holds the data, the module started on it,
    // for one case of a table; the station type first when given.
    std::unique_ptr<DidaditScript> StartFresh(const std::string& data,
                                              std::int32_t stationType = 0) {
        fake = std::make_shared<FakeModulConnection>();
        fake->stationType = stationType;
        auto s = std::make_unique<DidaditScript>(fake);
        job = filesend::TDateiSenden::Create(fake);
        job->SetStream(std::make_unique<core::TMemoryStream>(data));
        job->SetSendName("f");
        job->SetProtokoll(kDidaditProtocol);
        fake->SetDateiSenden(job);
        id = MD5Of(data);
        module = s->Start<TVerbindungDidaditSend>();
        return s;
    }
    // The header line and INFO; their text and lines.
    std::vector<std::pair<std::string, std::string>> ReadAnnouncement() {
        std::string text;
        auto info = script.NextBlock(&text);
        EXPECT_EQ(text, "#DIDADIT#\r");
        if (!info || info->type != kDidaditInfo) {
            ADD_FAILURE() << "no INFO";
            return {};
        }
        return ParseDidaditLines(info->payload);
    }
    // DATA blocks up to the next FIN: offset -> bytes, in the order sent.
    std::vector<std::pair<std::int32_t, std::string>> DataUntilFin(bool* fin = nullptr) {
        std::vector<std::pair<std::int32_t, std::string>> blocks;
        if (fin) *fin = false;
        while (auto block = script.NextBlock()) {
            if (block->type == kDidaditFin) {
                if (fin) *fin = true;
                EXPECT_EQ(block->identity, id);
                break;
            }
            if (block->type != kDidaditData) continue;
            EXPECT_EQ(block->identity, id);
            const auto data = ParseDidaditData(block->payload);
            EXPECT_TRUE(data);
            if (data) blocks.emplace_back(data->offset, std::string(data->bytes));
        }
        return blocks;
    }
    bool SentText(const std::string& text) const {
        for (const auto& s : fake->Sent())
            if (s.text == text) return true;
        return false;
    }

    std::shared_ptr<FakeModulConnection> fake = std::make_shared<FakeModulConnection>();
    DidaditScript script{fake};
    std::shared_ptr<filesend::TDateiSenden> job;
    std::shared_ptr<TVerbindungDidaditSend> module;
    MD5Digest id{};
};

TEST_F(DidaditSend, AnnouncesTheFile) {
    const std::string data = Pattern(3000);
    Start(data);
    const auto lines = ReadAnnouncement();
    const std::vector<std::pair<std::string, std::string>> expected{
        {"FILENAME", "file.bin"}, {"SIZE", "3000"},     {"MD5", DigestToHex(MD5Of(data))},
        {"BLOCKSIZE", "1750"},    {"VERSION", "0.9.1"}, {"FEATURES", "CHAT"}};
    EXPECT_EQ(lines, expected) << "no TIME without a file";
    EXPECT_EQ(fake->Echoes().front(), "#DIDADIT#\r");
    EXPECT_EQ(module->State(), 1);
}

TEST_F(DidaditSend, AnnouncesTheTimeOfAFileOfAnyYear) {
    test::ScopedDataFolder folder;
    const auto path = folder.Dir() / "late.txt";
    std::ofstream(path) << "late";
    // Past the years an old 32-bit date field could hold.
    const auto when =
        std::filesystem::file_time_type::clock::now() + std::chrono::hours(24 * 365 * 20);
    std::filesystem::last_write_time(path, when);
    std::string error;
    auto j = filesend::CreateFileJob(fake, path, kDidaditProtocol, &error);
    ASSERT_TRUE(j) << error;
    id = MD5Of("late");
    StartJob(j);
    const auto lines = ReadAnnouncement();
    const auto time =
        std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.first == "TIME"; });
    ASSERT_NE(time, lines.end());
    EXPECT_EQ(ParseDidaditNumber(time->second), platform::FileModifiedLocalSeconds(path));
}

TEST_F(DidaditSend, StartSteersTheData) {
    struct Case {
        const char* name;
        std::size_t size;
        std::string start;
        bool oneItem;  // "#OK#" and START arrive together
        std::vector<std::pair<std::int32_t, std::size_t>> blocks;
    };
    const Case cases[] = {
        {"from 0 in blocks of 1750",
         5000,
         "OFFSET=0\r",
         false,
         {{0, 1750}, {1750, 1750}, {3500, 1500}}},
        {"a larger block size is ignored",
         5000,
         "OFFSET=0\rBLOCKSIZE=4000\r",
         false,
         {{0, 1750}, {1750, 1750}, {3500, 1500}}},
        {"a smaller one applies",
         1200,
         "BLOCKSIZE=500\r",
         false,
         {{0, 500}, {500, 500}, {1000, 200}}},
        {"resumed in the middle", 5000, "OFFSET=3500\r", false, {{3500, 1500}}},
        {"an offset at the size gives FIN at once", 3000, "OFFSET=3000\r", false, {}},
        {"an empty file", 0, "OFFSET=0\r", false, {}},
        {"#OK# and START in one item", 100, "OFFSET=0\r", true, {{0, 100}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data = Pattern(c.size);
        auto s = StartFresh(data);
        ASSERT_TRUE(s->NextBlock());  // INFO
        const std::string start = EncodeDidaditBlock(kDidaditStart, {}, c.start);
        if (c.oneItem) {
            s->SendText("#OK#\r" + start);
        } else {
            s->SendText("#OK#\r");
            s->SendText(start);
        }
        std::vector<std::pair<std::int32_t, std::size_t>> got;
        bool fin = false;
        while (auto block = s->NextBlock()) {
            if (block->type == kDidaditFin) {
                fin = true;
                break;
            }
            ASSERT_EQ(block->type, kDidaditData);
            const auto d = ParseDidaditData(block->payload);
            ASSERT_TRUE(d);
            EXPECT_EQ(d->bytes, data.substr(static_cast<std::size_t>(d->offset), d->length));
            got.emplace_back(d->offset, d->length);
        }
        EXPECT_TRUE(fin);
        EXPECT_EQ(got, c.blocks);
        s->SendBlock(kDidaditFinAck, id, "");
        ASSERT_TRUE(s->WaitEnd());
        bool ok = false;
        for (const auto& sent : fake->Sent())
            ok = ok || sent.text == "<Tarvo>: Didadit-Senden ok.\r";
        EXPECT_TRUE(ok);
        EXPECT_EQ(job->GetState(), 0);
    }
}

TEST_F(DidaditSend, RequestsAreServedOrRefused) {
    struct Case {
        const char* name;
        std::string req;
        const char* error;  // null: served
        std::vector<std::pair<std::int32_t, std::size_t>> blocks;
    };
    const Case cases[] = {
        {"a request longer than a block",
         DidaditRequestPayload({{100, 4000}, {10, 5}}),
         nullptr,
         {{100, 1750}, {1850, 1750}, {3600, 500}, {10, 5}}},
        {"twelve bytes",
         std::string(12, '\0'),
         "101 REQ block with data out of range (offset 0, length 0)",
         {}},
        {"past the end",
         DidaditRequestPayload({{4000, 1001}}),
         "101 REQ block with data out of range (offset 4000, length 1001)",
         {}},
        {"a length that wraps in 32 bits",
         DidaditRequestPayload({{16, 0xFFFFFFF8ll}}),
         "101 REQ block with data out of range (offset 16, length 4294967288)",
         {}},
        {"a negative offset",
         DidaditRequestPayload({{-1, 10}}),
         "101 REQ block with data out of range (offset -1, length 10)",
         {}},
        {"an empty length",
         DidaditRequestPayload({{0, 0}}),
         "101 REQ block with data out of range (offset 0, length 0)",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = StartFresh(Pattern(5000));
        ASSERT_TRUE(s->NextBlock());
        s->SendText("#OK#\r" + EncodeDidaditBlock(kDidaditStart, {}, "OFFSET=5000\r"));
        ASSERT_TRUE(s->Expect(kDidaditFin));
        s->SendBlock(kDidaditReq, id, c.req);
        if (c.error) {
            const auto err = s->Expect(kDidaditErr);
            ASSERT_TRUE(err);
            EXPECT_EQ(err->payload, c.error);
            ASSERT_TRUE(s->WaitEnd()) << "a bad request ends the transfer";
            bool told = false;
            for (const auto& sent : fake->Sent())
                told = told || sent.text == "\r<Tarvo>: Didadit-Senden abgebrochen.\r";
            EXPECT_TRUE(told);
            continue;
        }
        std::vector<std::pair<std::int32_t, std::size_t>> got;
        while (auto block = s->NextBlock()) {
            if (block->type == kDidaditFin) break;
            const auto d = ParseDidaditData(block->payload);
            ASSERT_TRUE(d);
            got.emplace_back(d->offset, d->length);
        }
        EXPECT_EQ(got, c.blocks);
    }
}

TEST_F(DidaditSend, TheAnswerIsFoundBehindMuchText) {
    const std::string data = Pattern(10);
    Start(data);
    ASSERT_TRUE(script.NextBlock());
    std::string noise;
    for (int i = 0; i < 300; ++i) noise += "line " + std::to_string(i) + " of the mailbox\r";
    script.SendText(noise + "#O");
    script.SendText("K#\r");
    script.SendBlock(kDidaditStart, {}, "OFFSET=0\r");
    const auto blocks = DataUntilFin();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(fake->ShownText(), noise + "#OK#\r") << "nothing of the text is lost";
}

TEST_F(DidaditSend, EndsByAbortCancelOrError) {
    struct Case {
        const char* name;
        bool accept;  // "#OK#" first
        std::function<void(DidaditScript&, TVerbindungDidaditSend&, const MD5Digest&)> act;
        bool sendsAbort;
    };
    const Case cases[] = {
        {"#ABORT# before acceptance", false,
         [](DidaditScript& s, TVerbindungDidaditSend&, const MD5Digest&) {
             s.SendText("#ABORT#\r");
         },
         false},
        {"ABORT block", true,
         [](DidaditScript& s, TVerbindungDidaditSend&, const MD5Digest& i) {
             s.SendBlock(kDidaditAbort, i, "");
         },
         false},
        {"a fatal ERR", true,
         [](DidaditScript& s, TVerbindungDidaditSend&, const MD5Digest& i) {
             s.SendBlock(kDidaditErr, i, "300 Could not create file");
         },
         false},
        {"the operator cancels", true,
         [](DidaditScript&, TVerbindungDidaditSend& m, const MD5Digest&) { m.Cancel(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = StartFresh(Pattern(100), core::kStationMailbox);
        ASSERT_TRUE(s->NextBlock());
        if (c.accept) s->SendText("#OK#\r");
        c.act(*s, *module, id);
        ASSERT_TRUE(s->WaitEnd());
        bool abort = false;
        while (auto block = s->NextBlock()) abort = abort || block->type == kDidaditAbort;
        EXPECT_EQ(abort, c.sendsAbort);
        const auto prompts = fake->Prompts();
        ASSERT_FALSE(prompts.empty());
        EXPECT_EQ(prompts.back().text, "Didadit-Senden abgebrochen.\r");
    }
}

TEST_F(DidaditSend, AWarningGoesOnAndChatTravelsAsBlocks) {
    Start(Pattern(10));
    ASSERT_TRUE(script.NextBlock());
    script.SendText("#OK#\r");
    script.SendBlock(kDidaditErr, id, "150 Block type not implemented (8)");
    script.SendBlock(kDidaditStart, {}, "OFFSET=10\rFEATURES=chat\r");
    ASSERT_TRUE(script.Expect(kDidaditFin));
    script.SendBlock(kDidaditChat, {}, "hello\r");
    // Typed text waits after FIN; the next request round takes it along.
    fake->userSendQueue.PushString("typed\r");
    script.SendBlock(kDidaditReq, id, DidaditRequestPayload({{0, 5}}));
    const auto chat = script.Expect(kDidaditChat);
    ASSERT_TRUE(chat);
    EXPECT_EQ(chat->payload, "typed\r");
    script.SendBlock(kDidaditFinAck, id, "");
    ASSERT_TRUE(script.WaitEnd());
    EXPECT_NE(fake->ShownText().find("hello\r"), std::string::npos);
    EXPECT_EQ(fake->Prompts().front().text, "Empfange ERR: 150 Block type not implemented (8)");
}

}  // namespace
}  // namespace tarvo::connection
