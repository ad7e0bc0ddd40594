// Send jobs: names, texts, progress, throughput and the one-second tick.
#include "filesend/DateiSendenU.h"

#include "filesend/DateiSendenPraeprozessorU.h"
#include "filesend/DateiSendenQueueU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "channels/StatusU.h"
#include "connection/FileStreamQamU.h"
#include "platform/Clock.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/ManualDispatcher.h"
#include "tests/support/TempFolder.h"

namespace tarvo::filesend {
namespace {

class CountingSubscriber final : public core::ISubscriber {
  public:
    void Notify(const void*) override { ++count; }
    std::atomic<int> count{0};
};

class Job : public ::testing::Test {
  protected:
    void SetUp() override {
        connection_->status = status_;
        status_->SetThroughput(-1);  // "no value yet"
    }

    test::ManualDispatcher dispatcher_;
    platform::FakeClock clock_;
    std::shared_ptr<channels::TStatus> status_ = std::make_shared<channels::TStatus>(dispatcher_);
    std::shared_ptr<test::FakeVerbindung> connection_ = std::make_shared<test::FakeVerbindung>();
    std::shared_ptr<TDateiSenden> job_ = TDateiSenden::Create(connection_, &clock_);
    std::shared_ptr<CountingSubscriber> subscriber_ = std::make_shared<CountingSubscriber>();
};

TEST(SendName, OnlyTheLastComponentWithForbiddenCharactersReplaced) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"C:\\Dokumente\\bericht.txt", "bericht.txt"},
        {"/home/op/bericht.txt", "bericht.txt"},
        {"box:bericht.txt", "bericht.txt"},
        {"a*b?c\"d<e>f|g.txt", "a_b_c_d_e_f_g.txt"},
        {std::string("tab\there\x7F"), "tab_here_"},
        {"\x80 euro \xA1 \xA0 \x81 \xFF", "\x80 euro \xA1 _ _ _"},
        {"Gr\xF6\xDF"
         "e.txt",
         "Gr\xF6\xDF"
         "e.txt"},
        {"", "noname"},
        {".", "noname"},
        {"..", "noname"},
        {"dir/..", "noname"},
        {"dir\\", "noname"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(SendNameOf(c.in), c.out);
        auto job = TDateiSenden::Create(nullptr);
        job->SetSendName(c.in);
        EXPECT_EQ(job->GetSendName(), c.out);
    }
}

TEST(SendName, WithoutOneTheFileNameIsAnnouncedIn8Bit) {
    auto job = TDateiSenden::Create(nullptr);
    job->SetFileName(
        "/home/op/Gr\xC3\xB6\xC3\x9F"
        "e:1.txt");
    EXPECT_EQ(job->GetSendName(), "1.txt");
    job->SetFileName(
        "/home/op/Gr\xC3\xB6\xC3\x9F"
        "e.txt");
    EXPECT_EQ(job->GetSendName(),
              "Gr\xF6\xDF"
              "e.txt");
}

TEST(JobTexts, BlanksAndControlsTrimmedAndACarriageReturnAdded) {
    struct Case {
        std::string in, before, after;
    } cases[] = {
        {"", "", ""},
        {" \r\n", "", ""},
        {"  Hallo", "Hallo\r", "  Hallo\r"},
        {"Hallo  ", "Hallo  \r", "Hallo\r"},
        {"\r\nZeile\r", "Zeile\r", "\r\nZeile\r"},
        {"Zeile\n", "Zeile\n", "Zeile\r"},
        {"Gr\xFC\xDF", "Gr\xFC\xDF\r", "Gr\xFC\xDF\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        auto job = TDateiSenden::Create(nullptr);
        job->SetTextBefore(c.in);
        job->SetTextAfter(c.in);
        EXPECT_EQ(job->GetTextBefore(), c.before);
        EXPECT_EQ(job->GetTextAfter(), c.after);
    }
}

TEST(JobProgress, PercentOfTheSize) {
    struct Case {
        std::int64_t size, position;
        float percent;
    } cases[] = {
        {100, 25, 25},
        {200, 50, 25},
        {100, 100, 100},
        {100, 300, 100},
        {0, 10, 0},
        {-5, 10, 0},
        {3, 1, 100.0f / 3},
        {kMaxSendFileSize, kMaxSendFileSize - 1,
         100.0f * (kMaxSendFileSize - 1) / kMaxSendFileSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        auto job = TDateiSenden::Create(nullptr);
        job->SetSize(c.size);
        job->Prepare();
        job->SetPosition(c.position);
        EXPECT_EQ(job->GetPercent(), 0);  // not running yet
        job->Start();
        job->SetPosition(c.position);
        EXPECT_FLOAT_EQ(job->GetPercent(), c.percent);
    }
}

TEST_F(Job, ProgressNotifiesOncePerChangedPercent) {
    job_->SetSize(1000);
    job_->Start();
    job_->Subscribe(subscriber_);
    job_->SetPosition(100);
    job_->SetPosition(100);
    job_->SetPosition(200);
    job_->SetPosition(5000);
    job_->SetPosition(6000);  // still 100 %
    EXPECT_EQ(subscriber_->count, 3);
    EXPECT_FLOAT_EQ(job_->GetPercent(), 100);
}

TEST_F(Job, SmallStepsOfALargeFileNotifyPerShownTenth) {
    job_->SetSize(10'000'000);
    job_->Start();
    job_->Subscribe(subscriber_);
    for (std::int64_t pos = 500; pos <= 100'000; pos += 500) job_->SetPosition(pos);
    EXPECT_EQ(subscriber_->count, 10);  // 0.1 % ... 1.0 %
    EXPECT_FLOAT_EQ(job_->GetPercent(), 1.0f);
}

// Bytes per second as a job sees them: one entry per second from the start of
// measuring; the display is read after the last one.
struct ThroughputCase {
    const char* what;
    std::uint64_t clockStartMs;
    std::int32_t frack;
    std::vector<std::int64_t> bytesPerSecond;  // second 1, 2, ...
    int silentSeconds;                         // then seconds without bytes
    std::int32_t shownBits;                    // -1: nothing shown
};

class Throughput : public Job, public ::testing::WithParamInterface<ThroughputCase> {};

TEST_P(Throughput, AverageOfTheLastSeconds) {
    const ThroughputCase& c = GetParam();
    clock_.SetSteadyMs(c.clockStartMs);
    status_->SetFrack(c.frack);
    job_->Start();
    job_->AddBytes(kMeasureAfterBytes);  // measuring starts in this second
    for (std::int64_t bytes : c.bytesPerSecond) {
        clock_.AdvanceMs(1000);
        job_->AddBytes(bytes);
        job_->Tick();
    }
    for (int i = 0; i < c.silentSeconds; ++i) {
        clock_.AdvanceMs(1000);
        job_->Tick();
    }
    EXPECT_EQ(status_->GetThroughput(), c.shownBits);
}

std::vector<std::int64_t> Seconds(int n, std::int64_t bytes) {
    return std::vector<std::int64_t>(static_cast<std::size_t>(n), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Job, Throughput,
    ::testing::Values(ThroughputCase{"steady", 0, 0, Seconds(60, 1000), 0, 8000},
                      ThroughputCase{"window of 20 s for a short FRACK", 0, 5,
                                     [] {
                                         auto v = Seconds(40, 100);
                                         for (int i = 0; i < 20; ++i) v.push_back(500);
                                         return v;
                                     }(),
                                     0, 4000},
                      ThroughputCase{"window of FRACK x 2.1 s", 0, 50,
                                     [] {
                                         auto v = Seconds(100, 0);
                                         for (int i = 0; i < 105; ++i) v.push_back(210);
                                         return v;
                                     }(),
                                     0, 1680},
                      ThroughputCase{"half the window silent", 0, 0, Seconds(40, 1000), 20, 4000},
                      // A whole lap of the ring later, the old buckets must not count again.
                      ThroughputCase{"silence after a full ring", 0, 0, Seconds(300, 1000), 40, 0},
                      // A 32-bit millisecond count would wrap here.
                      ThroughputCase{"across 2^32 ms", (std::uint64_t{1} << 32) - 10'000, 0,
                                     Seconds(60, 250), 0, 2000}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST_F(Job, NothingShownBeforeEnoughBytes) {
    job_->Start();
    job_->AddBytes(kMeasureAfterBytes - 1);
    for (int i = 0; i < 5; ++i) {
        clock_.AdvanceMs(1000);
        job_->Tick();
    }
    EXPECT_EQ(status_->GetThroughput(), -1);
}

TEST_F(Job, StopClearsTheThroughputAndReleaseIsIdempotent) {
    job_->Subscribe(subscriber_);
    job_->Start();
    job_->AddBytes(100'000);
    clock_.AdvanceMs(1000);
    job_->AddBytes(1000);
    job_->Tick();
    EXPECT_GT(status_->GetThroughput(), 0);
    job_->Stop();
    EXPECT_EQ(status_->GetThroughput(), 0);
    EXPECT_EQ(job_->GetState(), 0);

    const int before = subscriber_->count;
    job_->Release();
    job_->Release();
    job_->SetState(2);
    job_->Subscribe(subscriber_);  // a released job takes no one
    job_->SetState(0);
    EXPECT_EQ(subscriber_->count, before);
    status_->SetThroughput(7);
    job_->Tick();
    EXPECT_EQ(status_->GetThroughput(), 7);
}

TEST_F(Job, OneTickerTicksRunningJobsOnlyAndLetsThemGo) {
    TDateiSendenTicker::Install(dispatcher_);
    auto other = TDateiSenden::Create(connection_, &clock_);
    EXPECT_TRUE(dispatcher_.timers.empty());  // idle: no timer

    job_->Start();
    other->Start();
    dispatcher_.RunPending();
    ASSERT_EQ(dispatcher_.timers.size(), 1u);
    EXPECT_EQ(dispatcher_.timers.begin()->second.interval, std::chrono::milliseconds(1000));
    EXPECT_TRUE(dispatcher_.timers.begin()->second.periodic);

    job_->AddBytes(100'000);
    clock_.AdvanceMs(1000);
    job_->AddBytes(2000);
    dispatcher_.FireTimers();
    EXPECT_EQ(status_->GetThroughput(), 16000);

    // A stopped job is not ticked; one dropped by its holders is not kept alive.
    job_->Stop();
    std::weak_ptr<TDateiSenden> weak = other;
    other.reset();
    EXPECT_TRUE(weak.expired());
    status_->SetThroughput(5);
    clock_.AdvanceMs(1000);
    dispatcher_.FireTimers();
    EXPECT_EQ(status_->GetThroughput(), 5);
    EXPECT_TRUE(dispatcher_.timers.empty());  // nothing runs: the timer stopped

    job_->Start();
    dispatcher_.RunPending();
    EXPECT_EQ(dispatcher_.timers.size(), 1u);
    TDateiSendenTicker::Uninstall();
    EXPECT_TRUE(dispatcher_.timers.empty());
}

// --- Jobs for files ---------------------------------------------------------------

TEST(FileJob, OpensItsFileOnlyWhenUsedAndRefusesWhatItCannotSend) {
    test::TempFolder tmp("tarvo-job");
    test::TempFolder::Write(tmp / "a.bin", "12345");
    std::string error;
    auto job = CreateFileJob(nullptr, tmp / "a.bin", kProtokollDidadit, &error);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->GetSize(), 5);
    EXPECT_EQ(job->GetSendName(), "a.bin");
    EXPECT_EQ(job->GetProtokoll(), kProtokollDidadit);
    char buf[8] = {};
    ASSERT_TRUE(job->GetStream());
    EXPECT_EQ(job->GetStream()->Read(buf, sizeof buf), 5u);

    EXPECT_FALSE(CreateFileJob(nullptr, tmp / "missing", 5, &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_FALSE(CreateFileJob(nullptr, tmp.path(), 5, &error));

    // A sparse file of 2 GiB takes no disk space.
    {
        connection::TFileStreamQam big(tmp / "big.bin", connection::TFileStreamQam::kModeCreate);
        big.Open();
        ASSERT_TRUE(big.IsOpen());
        big.SetSize(kMaxSendFileSize + 1);
    }
    error.clear();
    EXPECT_FALSE(CreateFileJob(nullptr, tmp / "big.bin", 5, &error));
    EXPECT_NE(error.find("2 GB"), std::string::npos);
}

TEST(FileJob, QueuedWithTheConnectionsProtocolWhileThereIsRoom) {
    test::TempFolder tmp("tarvo-job");
    test::TempFolder::Write(tmp / "a.bin", "x");
    auto connection = std::make_shared<test::FakeVerbindung>();
    std::string error;
    EXPECT_FALSE(QueueFile(connection, tmp / "a.bin", &error));  // no queue: not connected
    EXPECT_FALSE(error.empty());

    connection->sendQueue = std::make_shared<TDateiSendenQueue>(3);
    const std::uint8_t modes[] = {0, 2, 4, 5};
    for (std::uint8_t mode : modes) {
        connection->SetBinMode(mode);
        error.clear();
        EXPECT_EQ(QueueFile(connection, tmp / "a.bin", &error),
                  mode != 5);  // the 4th finds no room
    }
    const auto items = connection->sendQueue->Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->GetProtokoll(), kProtokollDidadit);  // nothing known
    EXPECT_EQ(items[1]->GetProtokoll(), kProtokollAutobin);
    EXPECT_EQ(items[2]->GetProtokoll(), kProtokollDidadit);  // plain binary is not sent
    EXPECT_NE(error.find("a.bin"), std::string::npos);
}

TEST(FileJob, AClosedStreamIsReopenedButNeverEmptied) {
    test::TempFolder tmp("tarvo-job");
    test::TempFolder::Write(tmp / "part.b01", "written");
    auto job = TDateiSenden::Create(nullptr);
    job->SetStream(std::make_unique<connection::TFileStreamQam>(
        tmp / "part.b01", connection::TFileStreamQam::kModeCreate));
    EXPECT_FALSE(static_cast<connection::TFileStreamQam*>(job->GetStream())->IsOpen());
    EXPECT_EQ(test::TempFolder::Read(tmp / "part.b01"), "written");
}

TEST(FileJob, ATemporaryStreamIsDeletedWithItsJobOnlyWhenFlagged) {
    test::TempFolder tmp("tarvo-job");
    for (bool flag : {false, true}) {
        const auto p = tmp / (flag ? "temp" : "kept");
        test::TempFolder::Write(p, "x");
        {
            auto job = TDateiSenden::Create(nullptr);
            auto stream = std::make_unique<connection::TFileStreamQam>(p);
            stream->SetDeleteFlag(flag);
            job->SetStream(std::move(stream));
            job->Release();
        }
        EXPECT_EQ(std::filesystem::exists(p), !flag);
    }
}

}  // namespace
}  // namespace tarvo::filesend
