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
#include "tests/support/TransferLoopback.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

using test::Pattern;

// With a millisecond per frame this takes long enough to be cut in the middle.
constexpr std::size_t kSlowFile = 4 << 20;

std::size_t FilesIn(const fs::path& folder) {
    std::error_code ec;
    std::size_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++n;
    return n;
}

class AutobinLoopback : public test::TransferLoopback {
  protected:
    AutobinLoopback() {
        // Trashed files land in the test's folder.
        const char* old = std::getenv("XDG_DATA_HOME");
        oldDataHome_ = old ? old : "";
        hadDataHome_ = old != nullptr;
        setenv("XDG_DATA_HOME", folder_.Dir().c_str(), 1);
        RegisterAutobin();
    }
    ~AutobinLoopback() override {
        EndLink();
        if (hadDataHome_)
            setenv("XDG_DATA_HOME", oldDataHome_.c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

    using TransferLoopback::Send;
    std::shared_ptr<filesend::TDateiSenden> Send(const std::string& name, const std::string& data) {
        return Send(name, data, connection::kAutobinProtocol);
    }
    bool Idle() { return !link_->A().TransferActive() && !link_->B().TransferActive(); }
    fs::path Trash() const { return folder_.Dir() / "Trash" / "files"; }

    std::string oldDataHome_;
    bool hadDataHome_ = false;
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
