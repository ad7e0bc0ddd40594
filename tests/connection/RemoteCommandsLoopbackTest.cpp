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
#include "tests/support/TransferLoopback.h"

namespace tarvo {
namespace {

namespace fs = std::filesystem;

class RemoteLoopback : public test::TransferLoopback {
  protected:
    RemoteLoopback() {
        released_ = folder_.Dir() / "Frei";
        RegisterDidadit();
        RegisterAutobin();
        // A is the station, B the operator whose released folder it browses.
        manager_ = std::make_shared<stations::TRemoteCommandManager>(
            registry_, [] { return std::shared_ptr<core::IStationenDatenbank>(); });
        for (const char* k : {"cd", "dir", "read"}) manager_->SetDefaultEnabled(k, true);
        stations::TRemoteCommandsContext remote;
        remote.manager = manager_;
        remote.releasedFolder = [this] { return released_; };
        vctxB_.remoteCommands = stations::RemoteCommandsFactory(remote);
    }
    ~RemoteLoopback() override { EndLink(); }

    // What the station typed, as the operator's end receives it.
    void Type(const std::string& line) {
        link_->A().SendData(line + "\r", true, false, false, true);
    }
    bool StationSees(const std::string& text) { return Shows(*kanalA_, text); }

    fs::path released_;
    std::shared_ptr<stations::TRemoteCommandManager> manager_;
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
