// Two complete terminal ends on channels 1 (A) and 2 (B) over the loopback
// link, for file transfers: the transfer modules with the program's
// post-processing into a receive folder of the test, what arrived there, and
// files queued on end A.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "channels/KanalU.h"
#include "connection/DateiEmpfangenPostprozessorU.h"
#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungAutobinU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Files.h"
#include "resources/OrdnerU.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/DidaditPeer.h"
#include "tests/support/LoopbackLink.h"

namespace tarvo::test {

// Repeatable bytes of every value.
inline std::string Pattern(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        data[i] = static_cast<char>(x >> 24);
    }
    return data;
}

// What arrived at the receiving end.
struct Arrivals {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> files;  // send name, content
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return files.size();
    }
};

class TransferLoopback : public ChannelFixture {
  protected:
    using TPostProcess =
        std::function<void(const std::shared_ptr<core::IVerbindung>&, core::IDateiSenden&)>;

    TransferLoopback() {
        ordner_ = std::make_shared<resources::TOrdner>(
            registry_, platform::UserFolders{folder_.Dir(), folder_.Dir(), folder_.Dir()});
        ordner_->SetReceiveFolder((folder_.Dir() / "Empfang").string());
        vctxA_.dispatcher = &dispatcher_;
        vctxA_.config = config_.get();
        vctxA_.registry = &registry_;
        vctxA_.klaenge = &klaenge_;
        vctxA_.versionText = "0.01.000";
        vctxA_.runModules = connection::TVerbindungAbstract::RunStandard;
        vctxB_ = vctxA_;
    }
    ~TransferLoopback() override {
        EndLink();
        if (didadit_) connection::UnregisterDidaditModules();
        if (autobin_) connection::UnregisterAutobinModules();
    }

    // The program's post-processing into the receive folder; notes what arrived.
    TPostProcess PostProcess() const {
        return [a = arrivals_, o = ordner_](const std::shared_ptr<core::IVerbindung>& connection,
                                            core::IDateiSenden& record) {
            connection::TDateiEmpfangenPostprozessor(connection, o).Execute(record);
            const auto content =
                platform::ReadFile(o->GetReceiveFolder() / record.GetSendName(), 64 << 20);
            std::lock_guard lock(a->mutex);
            a->files.emplace_back(record.GetSendName(), content.value_or("<not stored>"));
        };
    }
    void RegisterDidadit() {
        connection::TDidaditContext context;
        context.klaenge = &klaenge_;
        context.postProcess = PostProcess();
        connection::RegisterDidaditModules(context);
        didadit_ = true;
    }
    void RegisterAutobin(connection::TAutobinContext context = {}) {
        context.klaenge = &klaenge_;
        context.postProcess = PostProcess();
        connection::RegisterAutobinModules(context);
        autobin_ = true;
    }

    // A fresh link, without waiting for the station IDs.
    void StartLink(std::chrono::milliseconds delay = {}) {
        EndLink();
        link_ = TLoopbackLink::Create(vctxA_, vctxB_);
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
    }
    // A fresh link, up and past the station IDs (so that a header is not taken
    // for part of a greeting).
    void Connect(std::chrono::milliseconds delay = {}) {
        StartLink(delay);
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
    // Queues the file on A.
    std::shared_ptr<filesend::TDateiSenden> Send(const std::string& name, const std::string& data,
                                                 std::int32_t protocol) {
        const std::filesystem::path path = folder_.Dir() / name;
        EXPECT_FALSE(platform::WriteFileAtomic(path, data));
        std::string error;
        auto job = filesend::CreateFileJob(link_->SharedA(), path, protocol, &error);
        EXPECT_TRUE(job) << error;
        if (job) link_->A().DateiSendenQueue()->EnQueue(job);
        return job;
    }
    static bool Shows(const channels::TKanal& k, const std::string& text) {
        return ConsoleText(k.Console()).find(text) != std::string::npos;
    }

    ScopedDataFolder folder_;
    std::shared_ptr<resources::TOrdner> ordner_;
    std::shared_ptr<Arrivals> arrivals_ = std::make_shared<Arrivals>();
    connection::TVerbindungContext vctxA_, vctxB_;
    std::shared_ptr<TLoopbackLink> link_;
    std::shared_ptr<channels::TKanal> kanalA_, kanalB_;
    std::function<void(bool, std::string&)> filter_;

  private:
    bool didadit_ = false, autobin_ = false;
};

}  // namespace tarvo::test
