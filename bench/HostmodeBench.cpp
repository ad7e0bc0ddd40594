// Two figures of the hostmode device against the simulated TNC, which runs as
// a process of its own so that only the device's CPU time is counted:
//  - the CPU time the poll loop takes for a TNC with 10 idle channels
//    (goal: under 1% of one core);
//  - the payload bytes per second of a long text sent through the simulator's
//    port paced at 115200 baud, against the line rate (goal: at least 90%).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "channels/KanaeleU.h"
#include "connection/VerbindungAbstractU.h"
#include "core/ConfigU.h"
#include "devices/GeraetHostmodeSerialU.h"
#include "devices/MyCallsU.h"
#include "platform/Clock.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"
#include "tests/support/SilentKlaenge.h"

extern char** environ;

namespace {

using namespace tarvo;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// tnc-sim as a child process; the port path is the first line it prints.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') path_ += c;
        pipeFd_ = fds[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (pipeFd_ >= 0) close(pipeFd_);
    }
    const std::string& Path() const { return path_; }

  private:
    pid_t pid_ = -1;
    int pipeFd_ = -1;
    std::string path_;
};

double ProcessCpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

struct World {
    explicit World(const fs::path& dir) {
        config = std::make_unique<core::TConfig>(registry, "0.01.000");
        config->SetConsoleRows(core::TConfig::kMinConsoleRows);
        config->SetChannels(10);
        config->SetMonitor(2 | 4 | 8 | 16);
        kctx.dispatcher = &dispatcher;
        kctx.config = config.get();
        kctx.clock = &clock;
        kctx.klaenge = &klaenge;
        kctx.bufferFolder = dir;
        kanaele = std::make_unique<channels::TKanaele>(kctx, nullptr);
        myCalls = std::make_shared<devices::TMyCalls>(registry);
        myCalls->Add(devices::TMyCall("DL1TST", 1));
        vctx.dispatcher = &dispatcher;
        vctx.config = config.get();
        vctx.registry = &registry;
        vctx.klaenge = &klaenge;
        vctx.versionText = "0.01.000";
        vctx.runModules = connection::TVerbindungAbstract::RunStandard;
        vctx.connections = &connections;
        gctx.dispatcher = &dispatcher;
        gctx.config = config.get();
        gctx.registry = &registry;
        gctx.kanaele = kanaele.get();
        gctx.connections = &connections;
        gctx.myCalls = myCalls;
        gctx.verbindung = vctx;
    }
    std::shared_ptr<devices::TGeraetHostmodeSerial> Start(const std::string& port, int baud) {
        auto dev = std::make_shared<devices::TGeraetHostmodeSerial>(gctx);
        auto p = std::make_shared<devices::TGeraetHostmodeSerialParameter>();
        p->Schnittstelle = port;
        p->Baudrate = baud;
        dev->SetParameter(p);
        dev->Init();
        dispatcher.RunUntil(
            [&] {
                return dev->Status() == devices::TGeraetStatus::Bereit && dev->KanalAnzahl() > 0;
            },
            30s);
        return dev;
    }

    platform::FileRegistry registry;
    std::unique_ptr<core::TConfig> config;
    platform::SteadyClock clock;
    platform::LoopDispatcher dispatcher;
    test::SilentKlaenge klaenge;
    channels::TKanalContext kctx;
    channels::TConnectionsList connections;
    std::unique_ptr<channels::TKanaele> kanaele;
    std::shared_ptr<devices::TMyCalls> myCalls;
    connection::TVerbindungContext vctx;
    devices::TGeraetContext gctx;
};

}  // namespace

int main() {
    const fs::path dir =
        fs::temp_directory_path() / ("tarvo-hostmode-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    int rc = 0;
    {
        World world(dir);
        // 1. An idle TNC with 10 channels.
        {
            SimProcess sim({TARVO_TNC_SIM, "--hostmode", "--channels", "10", "--quiet"});
            auto dev = world.Start(sim.Path(), 115200);
            if (dev->Status() != devices::TGeraetStatus::Bereit) {
                std::fprintf(stderr, "device did not start: %s\n", dev->StatusText().c_str());
                return 1;
            }
            const auto wall0 = std::chrono::steady_clock::now();
            const double cpu0 = ProcessCpuSeconds();
            world.dispatcher.RunFor(10s);
            const double cpu = ProcessCpuSeconds() - cpu0;
            const double wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
            const double percent = 100.0 * cpu / wall;
            std::printf(
                "idle poll loop, 10 channels: %.3f s CPU in %.1f s = %.2f%% of one core "
                "(goal < 1%%)\n",
                cpu, wall, percent);
            if (percent >= 1.0) rc = 2;
            dev->DeInit();
        }
        // 2. A long text at 115200 baud.
        {
            SimProcess sim(
                {TARVO_TNC_SIM, "--hostmode", "--channels", "10", "--baud", "115200", "--quiet"});
            auto dev = world.Start(sim.Path(), 115200);
            auto radio = dev->GetFunkKanaele(8).at(0);
            std::string ziel = "SINK", mycall = "DL1TST";
            std::shared_ptr<core::IVerbindung> v;
            std::shared_ptr<core::IKanal> kanal;
            if (radio->Verbinde(ziel, mycall, v, kanal) != devices::kConnectOk || !v) {
                std::fprintf(stderr, "connect failed\n");
                return 1;
            }
            world.dispatcher.RunUntil([&] { return v->State() == core::kLinkConnected; }, 10s);
            constexpr std::size_t kBytes = 256 * 1024;
            std::string line(79, 'x');
            line += '\r';
            std::string text;
            while (text.size() < kBytes) text += line;
            const auto t0 = std::chrono::steady_clock::now();
            for (std::size_t pos = 0; pos < text.size(); pos += 256)
                v->LinkSendQueue().PushString(text.substr(pos, 256));
            world.dispatcher.RunUntil(
                [&] {
                    return v->LinkSendQueue().Count() == 0 && v->Status() &&
                           v->Status()->GetUnacked() == 0;
                },
                120s);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            const double rate = static_cast<double>(text.size()) / seconds;
            const double lineRate = 115200.0 / 10.0;
            std::printf(
                "long text at 115200 baud: %zu bytes in %.2f s = %.0f bytes/s, %.1f%% of "
                "the line rate %.0f bytes/s (goal >= 90%%)\n",
                text.size(), seconds, rate, 100.0 * rate / lineRate, lineRate);
            if (rate < 0.9 * lineRate) rc = rc ? rc : 3;
            v->Disconnect();
            dev->DeInit();
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return rc;
}
