// Files sent with AutoBIN from one complete terminal end to another over the
// loopback link: send job, text modules, both transfer modules, connections
// and channels, as an operator would use them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "channels/KanalU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungAutobinU.h"
#include "connection/VerbindungStandardU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Files.h"
#include "resources/OrdnerU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/LoopbackLink.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

std::string Pattern(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        data[i] = static_cast<char>(x >> 24);
    }
    return data;
}

// With a millisecond per frame this takes long enough to be cut in the middle.
constexpr std::size_t kSlowFile = 4 << 20;

struct Arrivals {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> files;  // send name, content
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return files.size();
    }
};

std::size_t FilesIn(const fs::path& folder) {
    std::error_code ec;
    std::size_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++n;
    return n;
}

class AutobinLoopback : public test::ChannelFixture {
  protected:
    AutobinLoopback() {
        // Trashed files land in the test's folder.
        const char* old = std::getenv("XDG_DATA_HOME");
        oldDataHome_ = old ? old : "";
        hadDataHome_ = old != nullptr;
        setenv("XDG_DATA_HOME", folder_.Dir().c_str(), 1);
        ordner_ = std::make_shared<resources::TOrdner>(
            registry_, platform::UserFolders{folder_.Dir(), folder_.Dir(), folder_.Dir()});
        ordner_->SetReceiveFolder((folder_.Dir() / "Empfang").string());
        context_.klaenge = &klaenge_;
        context_.postProcess = [a = arrivals_, o = ordner_](
                                   const std::shared_ptr<core::IVerbindung>& connection,
                                   core::IDateiSenden& record) {
            connection::TDateiEmpfangenPostprozessor(connection, o).Execute(record);
            const auto content =
                platform::ReadFile(o->GetReceiveFolder() / record.GetSendName(), 64 << 20);
            std::lock_guard lock(a->mutex);
            a->files.emplace_back(record.GetSendName(), content.value_or("<not stored>"));
        };
        connection::RegisterAutobinModules(context_);
        vctx_.dispatcher = &dispatcher_;
        vctx_.config = config_.get();
        vctx_.registry = &registry_;
        vctx_.klaenge = &klaenge_;
        vctx_.versionText = "0.01.000";
        vctx_.runModules = connection::TVerbindungAbstract::RunStandard;
    }
    ~AutobinLoopback() override {
        EndLink();
        connection::UnregisterAutobinModules();
        if (hadDataHome_)
            setenv("XDG_DATA_HOME", oldDataHome_.c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

    void Connect(std::chrono::milliseconds delay = {}) {
        EndLink();
        link_ = test::TLoopbackLink::Create(vctx_, vctx_);
        kanalA_ = MakeKanal(1);
        kanalB_ = MakeKanal(2);
        link_->A().SetPath("DB0BBB");
        link_->A().SetMyCall("DL1AAA");
        link_->B().SetPath("DL1AAA");
        link_->B().SetMyCall("DB0BBB");
        link_->A().SetKanal(kanalA_);
        link_->B().SetKanal(kanalB_);
        link_->SetDelay(delay);
        if (filter_) link_->SetFilter(filter_);
        link_->Connect();
        // Past the station IDs, so that the header is not part of a greeting.
        ASSERT_TRUE(Until([&] { return link_->A().BinMode() == 5 && link_->B().BinMode() == 5; }));
    }
    void EndLink() {
        if (!link_) return;
        if (!link_->Down()) {
            link_->Drop();
            Until([&] { return link_->Down(); });
        }
        Until([&] { return !link_->A().WorkerRunning() && !link_->B().WorkerRunning(); });
        link_->Stop();
        link_->A().Release();
        link_->B().Release();
        kanalA_->Release();
        kanalB_->Release();
        link_.reset();
    }
    bool Until(const std::function<bool()>& done,
               std::chrono::milliseconds bound = std::chrono::seconds(60)) {
        return dispatcher_.RunUntil(done, bound);
    }
    std::shared_ptr<filesend::TDateiSenden> Send(const std::string& name, const std::string& data) {
        const fs::path path = folder_.Dir() / name;
        EXPECT_FALSE(platform::WriteFileAtomic(path, data));
        std::string error;
        auto job =
            filesend::CreateFileJob(link_->SharedA(), path, connection::kAutobinProtocol, &error);
        EXPECT_TRUE(job) << error;
        if (job) link_->A().DateiSendenQueue()->EnQueue(job);
        return job;
    }
    static bool Shows(const channels::TKanal& k, const std::string& text) {
        return ConsoleText(k.Console()).find(text) != std::string::npos;
    }
    bool Idle() { return !link_->A().TransferActive() && !link_->B().TransferActive(); }
    fs::path Trash() const { return folder_.Dir() / "Trash" / "files"; }

    test::ScopedDataFolder folder_;
    std::string oldDataHome_;
    bool hadDataHome_ = false;
    std::shared_ptr<resources::TOrdner> ordner_;
    std::shared_ptr<Arrivals> arrivals_ = std::make_shared<Arrivals>();
    connection::TAutobinContext context_;
    connection::TVerbindungContext vctx_;
    std::shared_ptr<test::TLoopbackLink> link_;
    std::shared_ptr<channels::TKanal> kanalA_, kanalB_;
    std::function<void(bool, std::string&)> filter_;
};

TEST_F(AutobinLoopback, FilesOfEverySizeArriveIdentical) {
    Connect();
    const std::size_t sizes[] = {0, 1, 255, 256, 1280, 1281, 70000, 5 * 1024 * 1024};
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
    }
    EXPECT_TRUE(Until([&] { return Idle(); }));
    EXPECT_TRUE(Until([&] { return Shows(*kanalA_, "<Tarvo>: Autobin-Empfang ok."); }));
    EXPECT_TRUE(Until([&] { return Shows(*kanalB_, "<Tarvo>: Autobin-Senden ok."); }));
    EXPECT_EQ(FilesIn(folder_.Incomplete()), 0u) << "nothing left behind";
    // The link carries text again.
    link_->A().SendTextLine("noch da");
    EXPECT_TRUE(Until([&] { return Shows(*kanalB_, "noch da"); }));
}

TEST_F(AutobinLoopback, ACorruptedByteIsACrcErrorAndTheFileIsTrashed) {
    std::atomic<int> frames{0};
    filter_ = [&](bool fromA, std::string& frame) {
        if (fromA && frame.size() == 256 && ++frames == 20) frame[100] ^= 0x20;
    };
    Connect();
    Send("c.bin", Pattern(70000, 3));
    ASSERT_TRUE(Until([&] { return Shows(*kanalA_, "Autobin-Empfang CRC-Fehler."); }))
        << ConsoleText(kanalA_->Console());
    EXPECT_TRUE(Until([&] { return Idle() && FilesIn(Trash()) == 1; }));
    EXPECT_EQ(arrivals_->Count(), 0u);
    EXPECT_EQ(FilesIn(folder_.Incomplete()), 0u);
    EXPECT_FALSE(fs::exists(folder_.Dir() / "Empfang" / "c.bin"));
}

TEST_F(AutobinLoopback, EitherSideCancels) {
    for (const bool senderCancels : {true, false}) {
        SCOPED_TRACE(senderCancels ? "sender" : "receiver");
        Connect(std::chrono::milliseconds(1));
        const std::size_t trashed = FilesIn(Trash());
        Send("x.bin", Pattern(kSlowFile, senderCancels ? 11 : 12));
        ASSERT_TRUE(Until([&] {
            const auto record = link_->B().DateiSenden();
            return record && record->GetPosition() > 20000;
        }));
        (senderCancels ? link_->A() : link_->B()).CancelTransfer();
        ASSERT_TRUE(Until([&] { return Idle(); }));
        ASSERT_TRUE(Until(
            [&] {
                return Shows(*kanalA_, "Autobin-Senden abgebrochen.") &&
                       Shows(*kanalB_, "Autobin-Empfang abgebrochen.");
            },
            std::chrono::seconds(5)))
            << ConsoleText(kanalA_->Console()) << "\n\n"
            << ConsoleText(kanalB_->Console());
        EXPECT_EQ(arrivals_->Count(), 0u);
        EXPECT_TRUE(Until([&] { return FilesIn(Trash()) == trashed + 1; }));
        EXPECT_EQ(FilesIn(folder_.Incomplete()), 0u);
    }
}

TEST_F(AutobinLoopback, ALinkEndDuringTheDataTrashesThePartialFile) {
    Connect(std::chrono::milliseconds(1));
    Send("y.bin", Pattern(kSlowFile, 5));
    ASSERT_TRUE(Until([&] {
        const auto record = link_->B().DateiSenden();
        return record && record->GetPosition() > 20000;
    }));
    link_->Drop();
    ASSERT_TRUE(Until([&] { return FilesIn(Trash()) == 1; }));
    EXPECT_EQ(FilesIn(folder_.Incomplete()), 0u);
    EXPECT_EQ(arrivals_->Count(), 0u);
}

}  // namespace
}  // namespace tarvo
