// A station fetches files from the operator's released folder with "//" lines,
// between two complete terminal ends over the loopback link: the remote
// commands queue the job, the operator's end sends it, the station's end
// receives and stores it.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

#include "channels/KanalU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungAutobinU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "core/GlobalU.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "resources/OrdnerU.h"
#include "stations/RemoteCommandsU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/LoopbackLink.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

struct Arrivals {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> files;  // send name, content
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return files.size();
    }
};

class RemoteLoopback : public test::ChannelFixture {
  protected:
    RemoteLoopback() {
        ordner_ = std::make_shared<resources::TOrdner>(
            registry_, platform::UserFolders{folder_.Dir(), folder_.Dir(), folder_.Dir()});
        ordner_->SetReceiveFolder((folder_.Dir() / "Empfang").string());
        released_ = folder_.Dir() / "Frei";
        connection::TDidaditContext context;
        context.klaenge = &klaenge_;
        context.postProcess = [a = arrivals_, o = ordner_](
                                  const std::shared_ptr<core::IVerbindung>& connection,
                                  core::IDateiSenden& record) {
            connection::TDateiEmpfangenPostprozessor(connection, o).Execute(record);
            const auto content =
                platform::ReadFile(o->GetReceiveFolder() / record.GetSendName(), 64 << 20);
            std::lock_guard lock(a->mutex);
            a->files.emplace_back(record.GetSendName(), content.value_or("<not stored>"));
        };
        connection::RegisterDidaditModules(context);
        connection::TAutobinContext autobin;
        autobin.klaenge = &klaenge_;
        autobin.postProcess = context.postProcess;
        connection::RegisterAutobinModules(autobin);
        station_.dispatcher = &dispatcher_;
        station_.config = config_.get();
        station_.registry = &registry_;
        station_.klaenge = &klaenge_;
        station_.versionText = "0.01.000";
        station_.runModules = connection::TVerbindungAbstract::RunStandard;
        operator_ = station_;
        manager_ = std::make_shared<stations::TRemoteCommandManager>(
            registry_, [] { return std::shared_ptr<core::IStationenDatenbank>(); });
        for (const char* k : {"cd", "dir", "read"}) manager_->SetDefaultEnabled(k, true);
        stations::TRemoteCommandsContext remote;
        remote.manager = manager_;
        remote.releasedFolder = [this] { return released_; };
        operator_.remoteCommands = stations::RemoteCommandsFactory(remote);
    }
    ~RemoteLoopback() override {
        EndLink();
        connection::UnregisterDidaditModules();
        connection::UnregisterAutobinModules();
    }

    void Connect() {
        link_ = test::TLoopbackLink::Create(station_, operator_);
        kanalA_ = MakeKanal(1);
        kanalB_ = MakeKanal(2);
        link_->A().SetPath("DB0BBB");
        link_->A().SetMyCall("DL1AAA");
        link_->B().SetPath("DL1AAA");
        link_->B().SetMyCall("DB0BBB");
        link_->A().SetKanal(kanalA_);
        link_->B().SetKanal(kanalB_);
        link_->Connect();
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
    // What the station typed, as the operator's end receives it.
    void Type(const std::string& line) {
        link_->A().SendData(line + "\r", true, false, false, true);
    }
    bool StationSees(const std::string& text) {
        return ConsoleText(kanalA_->Console()).find(text) != std::string::npos;
    }

    test::ScopedDataFolder folder_;
    std::shared_ptr<resources::TOrdner> ordner_;
    fs::path released_;
    std::shared_ptr<Arrivals> arrivals_ = std::make_shared<Arrivals>();
    std::shared_ptr<stations::TRemoteCommandManager> manager_;
    connection::TVerbindungContext station_, operator_;
    std::shared_ptr<test::TLoopbackLink> link_;
    std::shared_ptr<channels::TKanal> kanalA_, kanalB_;
};

TEST_F(RemoteLoopback, AStationBrowsesAndFetchesFilesWithAutobinAndDidadit) {
    std::string data(70000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
    ASSERT_FALSE(platform::EnsureFolder(released_ / "sub"));
    ASSERT_FALSE(platform::WriteFileAtomic(released_ / "sub" / "file.bin", data));
    ASSERT_FALSE(platform::WriteFileAtomic(released_ / "sub" / "other.bin", data.substr(0, 999)));
    Connect();
    Type("//dir");
    ASSERT_TRUE(Until([&] { return StationSees("<DIR>       sub\\"); }));
    Type("//cd sub");
    ASSERT_TRUE(Until([&] { return StationSees("Aktueller Ordner: sub\\"); }));
    Type("//read ../../x");
    ASSERT_TRUE(Until([&] { return StationSees("Zugriff verweigert."); }));
    const struct {
        const char* bin;
        const char* shown;
        const char* file;
        std::string content;
    } cases[] = {
        {"//bin d", "DIDADIT", "FILE.BIN", data},
        {"//bin a", "AUTOBIN", "other.bin", data.substr(0, 999)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const std::size_t before = arrivals_->Count();
        Type(c.bin);
        ASSERT_TRUE(Until([&] {
            return StationSees(std::string("\xDC"
                                           "bertragungsprotokoll: ") +
                               c.shown);
        }));
        Type(std::string("//read ") + c.file);
        ASSERT_TRUE(Until([&] { return arrivals_->Count() == before + 1; }));
        std::lock_guard lock(arrivals_->mutex);
        EXPECT_EQ(core::AsciiLower(arrivals_->files.back().first), core::AsciiLower(c.file));
        EXPECT_TRUE(arrivals_->files.back().second == c.content);
    }
}

}  // namespace
}  // namespace tarvo
