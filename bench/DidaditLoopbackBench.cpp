// Files sent with DIDADIT (or AutoBIN, built with TARVO_BENCH_AUTOBIN) between
// two complete connections over the in-memory loopback link (text modules,
// both transfer modules, queues, worker threads, the data file on disk): bytes
// per second from queueing the job to the receiver's hand-over. Goal: over
// 50 MB/s. Prints its figures.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "connection/VerbindungAbstractU.h"
#include "connection/VerbindungAutobinU.h"
#include "connection/VerbindungDidaditReceiveU.h"
#include "core/ConfigU.h"
#include "core/GlobalU.h"
#include "filesend/DateiSendenU.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "tests/support/LoopbackLink.h"
#include "tests/support/SilentKlaenge.h"

using namespace tarvo;
namespace fs = std::filesystem;

int main() {
    const fs::path dir = fs::temp_directory_path() /
                         ("tarvo-bench-didadit-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir / "data");
    core::SetApplicationDataFolder(dir / "data");

    platform::FileRegistry registry;
    core::TConfig config{registry, "0.01.000"};
    platform::LoopDispatcher dispatcher;
    test::SilentKlaenge klaenge;
    connection::TVerbindungContext ctx;
    ctx.dispatcher = &dispatcher;
    ctx.config = &config;
    ctx.registry = &registry;
    ctx.klaenge = &klaenge;
    ctx.versionText = "0.01.000";
    ctx.runModules = connection::TVerbindungAbstract::RunStandard;

    std::atomic<int> arrived{0};
    const auto count = [&](const std::shared_ptr<core::IVerbindung>&, core::IDateiSenden&) {
        ++arrived;
    };
#ifdef TARVO_BENCH_AUTOBIN
    const char* protocolName = "AutoBIN";
    const std::int32_t protocol = connection::kAutobinProtocol;
    connection::TAutobinContext autobin;
    autobin.postProcess = count;
    connection::RegisterAutobinModules(autobin);
#else
    const char* protocolName = "DIDADIT";
    const std::int32_t protocol = connection::kDidaditProtocol;
    connection::TDidaditContext didadit;
    didadit.postProcess = count;
    connection::RegisterDidaditModules(didadit);
#endif

    auto link = test::TLoopbackLink::Create(ctx, ctx);
    link->A().SetPath("DB0BBB");
    link->A().SetMyCall("DL1AAA");
    link->B().SetPath("DL1AAA");
    link->B().SetMyCall("DB0BBB");
    link->Connect();
    if (!dispatcher.RunUntil([&] { return link->A().BinMode() == 5 && link->B().BinMode() == 5; },
                             std::chrono::seconds(10))) {
        std::fprintf(stderr, "the link did not come up\n");
        return 1;
    }

    int result = 0;
    for (const std::size_t megabytes : {8, 32}) {
        std::string data(megabytes << 20, '\0');
        std::uint32_t x = static_cast<std::uint32_t>(megabytes);
        for (auto& ch : data) {
            x = x * 1103515245u + 12345u;
            ch = static_cast<char>(x >> 24);
        }
        const fs::path file = dir / ("file" + std::to_string(megabytes));
        platform::WriteFileAtomic(file, data);
        std::string error;
        auto job = filesend::CreateFileJob(link->SharedA(), file, protocol, &error);
        if (!job) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const int before = arrived.load();
        const auto start = std::chrono::steady_clock::now();
        link->A().DateiSendenQueue()->EnQueue(job);
        if (!dispatcher.RunUntil([&] { return arrived.load() > before; },
                                 std::chrono::minutes(5))) {
            std::fprintf(stderr, "%zu MB: did not arrive\n", megabytes);
            result = 1;
            break;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rate = static_cast<double>(data.size()) / seconds / 1e6;
        std::printf("%s receive over the loopback link, %zu MB: %.2f s, %.1f MB/s (goal > 50)\n",
                    protocolName, megabytes, seconds, rate);
    }

    link->Drop();
    dispatcher.RunUntil([&] { return link->Down(); }, std::chrono::seconds(10));
    dispatcher.RunUntil([&] { return !link->A().WorkerRunning() && !link->B().WorkerRunning(); },
                        std::chrono::seconds(10));
    link->Stop();
    link->A().Release();
    link->B().Release();
    connection::UnregisterDidaditModules();
    connection::UnregisterAutobinModules();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return result;
}
