// Files sent with DIDADIT from one complete terminal end to another over the
// loopback link: send job, text modules, both transfer modules, connections
// and channels, as an operator would use them.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

#include "channels/KanalU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "connection/VerbindungStandardU.h"
#include "connection/VerbindungTextSendU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Files.h"
#include "resources/OrdnerU.h"
#include "tests/support/TransferLoopback.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using connection::TDidaditBlock;

using test::Pattern;

class DidaditLoopback : public test::TransferLoopback {
  protected:
    DidaditLoopback() { RegisterDidadit(); }

    using TransferLoopback::Send;
    std::shared_ptr<filesend::TDateiSenden> Send(const std::string& name, const std::string& data) {
        return Send(name, data, connection::kDidaditProtocol);
    }
    fs::path IndexOf(const std::string& data) const {
        return connection::DidaditIndexFile(folder_.Incomplete(), connection::MD5Of(data));
    }
    fs::path DataOf(const std::string& data) const {
        return connection::DidaditDataFile(folder_.Incomplete(), connection::MD5Of(data));
    }
};

TEST_F(DidaditLoopback, FilesOfEverySizeArriveIdentical) {
    Connect();
    const std::size_t sizes[] = {0, 1, 255, 256, 1750, 1751, 70000, 5 * 1024 * 1024};
    unsigned seed = 1;
    for (const std::size_t size : sizes) {
        SCOPED_TRACE(size);
        const std::string data = Pattern(size, seed++);
        const std::size_t before = arrivals_->Count();
        Send("file" + std::to_string(size) + ".bin", data);
        ASSERT_TRUE(Until([&] { return arrivals_->Count() > before; }));
        std::lock_guard lock(arrivals_->mutex);
        EXPECT_EQ(arrivals_->files.back().first, "file" + std::to_string(size) + ".bin");
        EXPECT_TRUE(arrivals_->files.back().second == data) << "content differs";
        EXPECT_FALSE(fs::exists(IndexOf(data)));
        EXPECT_FALSE(fs::exists(DataOf(data))) << "handed on, nothing left behind";
    }
    ASSERT_TRUE(Until([&] { return Shows(*kanalA_, "Didadit-Empfang ok."); }));
    EXPECT_TRUE(
        Until([&] { return !link_->A().TransferActive() && !link_->B().TransferActive(); }));
}

TEST_F(DidaditLoopback, ACutTransferResumesFromTheIndex) {
    const std::string data = Pattern(300000, 7);
    // The radio goes quiet once 40 % of the file went out: nothing more arrives.
    std::atomic<std::size_t> carried{0};
    std::atomic<bool> cut{false};
    filter_ = [&](bool fromA, std::string& frame) {
        if (!fromA) return;
        if (cut.load() || (carried += frame.size()) > data.size() * 4 / 10) {
            cut = true;
            frame.clear();
        }
    };
    Connect();
    Send("big.bin", data);
    ASSERT_TRUE(Until([&] { return cut.load(); }));
    link_->Drop();
    ASSERT_TRUE(Until([&] { return fs::exists(IndexOf(data)); }));
    connection::TDidaditReceiveBlockList list;
    list.SetFileSize(static_cast<std::int64_t>(data.size()));
    const std::int64_t resume = list.ReadIndexFile(IndexOf(data));
    EXPECT_GE(resume, 100000);
    EXPECT_LE(resume, 120000);
    EXPECT_EQ(arrivals_->Count(), 0u);

    filter_ = nullptr;
    Connect();
    Send("big.bin", data);
    ASSERT_TRUE(Until([&] { return arrivals_->Count() == 1; }));
    EXPECT_TRUE(arrivals_->files.back().second == data);
    // Only the rest travelled: fewer frames than the whole file needs.
    EXPECT_LT(static_cast<std::size_t>(link_->Frames()), (data.size() - 90000) / 256);
    EXPECT_FALSE(fs::exists(IndexOf(data)));
}

TEST_F(DidaditLoopback, ACorruptedByteIsAskedForAgain) {
    std::mutex mutex;
    int corrupted = 0;
    bool requested = false;
    connection::TDidaditSplitter fromB;
    filter_ = [&](bool fromA, std::string& frame) {
        std::lock_guard lock(mutex);
        if (fromA) {
            // One byte inside the data of a block in the middle.
            if (frame.size() == 256 && ++corrupted == 40) frame[100] ^= 0x20;
            return;
        }
        fromB.Append(frame);
        while (auto body = fromB.Next()) {
            const auto block = connection::DecodeDidaditBlock(*body);
            requested = requested || (block && block->type == connection::kDidaditReq);
        }
    };
    Connect();
    const std::string data = Pattern(70000, 3);
    Send("c.bin", data);
    ASSERT_TRUE(Until([&] { return arrivals_->Count() == 1; }));
    EXPECT_TRUE(arrivals_->files.back().second == data);
    std::lock_guard lock(mutex);
    EXPECT_TRUE(requested) << "the damaged range was asked for again";
}

TEST_F(DidaditLoopback, EitherSideCancels) {
    for (const bool senderCancels : {true, false}) {
        SCOPED_TRACE(senderCancels ? "sender" : "receiver");
        Connect(std::chrono::milliseconds(1));
        const std::string data = Pattern(400000, senderCancels ? 11 : 12);
        Send("x.bin", data);
        ASSERT_TRUE(Until([&] {
            const auto record = link_->B().DateiSenden();
            return record && record->GetPosition() > 20000;
        }));
        (senderCancels ? link_->A() : link_->B()).CancelTransfer();
        ASSERT_TRUE(
            Until([&] { return !link_->A().TransferActive() && !link_->B().TransferActive(); }));
        ASSERT_TRUE(Until(
            [&] {
                return Shows(*kanalA_, "Didadit-Senden abgebrochen.") &&
                       Shows(*kanalB_, "Didadit-Empfang abgebrochen.");
            },
            std::chrono::seconds(5)))
            << ConsoleText(kanalA_->Console()) << "\n\n"
            << ConsoleText(kanalB_->Console());
        EXPECT_EQ(arrivals_->Count(), 0u);
        EXPECT_TRUE(fs::exists(IndexOf(data))) << "left to resume";
        EXPECT_TRUE(fs::exists(DataOf(data)));
        // The link carries text again.
        link_->A().SendTextLine("noch da");
        ASSERT_TRUE(Until([&] { return Shows(*kanalB_, "noch da"); }));
    }
}

// The same two ends with the text modules: a Linux text file goes as text
// (its LF line ends as CR) and the other end captures the GoText block in it.
TEST_F(DidaditLoopback, ATextFileIsSentAsTextAndCapturedAtTheOtherEnd) {
    connection::TTextTransferContext text;
    text.receiveFolder = [o = ordner_] { return o->GetReceiveFolder(); };
    connection::RegisterTextModules(text);
    Connect();
    const fs::path path = folder_.Dir() / "note.txt";
    ASSERT_FALSE(platform::WriteFileAtomic(
        path, " go_text. note.txt\nfirst line\r\nsecond line\n stop_text.\nbye\n"));
    std::string error;
    auto job = filesend::CreateFileJob(link_->SharedA(), path, connection::kTextProtocol, &error);
    ASSERT_TRUE(job) << error;
    link_->A().DateiSendenQueue()->EnQueue(job);
    const fs::path stored = ordner_->GetReceiveFolder() / "note.txt";
    ASSERT_TRUE(Until([&] { return Shows(*kanalA_, "GoText-Empfang ok."); }));
    EXPECT_EQ(platform::ReadFile(stored, 1 << 20).value_or(""), "first line\r\nsecond line\r\n");
    EXPECT_TRUE(Until([&] { return Shows(*kanalB_, "bye"); }));
    EXPECT_TRUE(Until([&] { return !link_->A().TransferActive() && !link_->A().DateiSenden(); }));
    connection::UnregisterTextModules();
}

}  // namespace
}  // namespace tarvo
