// What the running program costs, measured from outside on the real binary:
//  - idle CPU with no device, a hostmode TNC (simulated) and an AGWPE engine
//    (simulated), 9 channels each (goal: under 0.1% of one core);
//  - CPU per 1,000 overheard frames from the AGWPE engine, the idle cost of the
//    same time taken off (goal: under 0.26 s);
//  - resident memory (VmRSS) and its peak (VmHWM) after start-up (goal: peak
//    under 50 MB).
// The three programs run side by side over the same idle window; the engine and
// the TNC run in this process, so only the program's own CPU time is counted.
//
//   bench_app [--idle SECONDS] [--frames N] [--rate PER_SECOND] [--tarvo PATH]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "tests/support/FakeAgwpeEngine.h"
#include "tests/support/TncSimulator.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kChannels = 9;
constexpr double kIdleGoalPercent = 0.1;
constexpr double kFramesGoalSeconds = 0.26;
constexpr double kPeakGoalMb = 50.0;

std::string ReadFile(const fs::path& p) {
    return tarvo::platform::ReadFile(p, 64u << 20).value_or(std::string());
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// utime + stime of all threads, from /proc/<pid>/stat (fields 14 and 15).
std::optional<double> CpuSeconds(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const auto paren = stat.rfind(')');
    if (paren == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(paren + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
        if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    if (!fields) return std::nullopt;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A number field ("VmRSS:  1234 kB", "voluntary_ctxt_switches:  12") of a status file.
double StatusField(const fs::path& status, const std::string& name) {
    std::istringstream in(ReadFile(status));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name + ":", 0) == 0)
            return std::strtod(line.c_str() + name.size() + 1, nullptr);
    return 0.0;
}

double StatusMb(pid_t pid, const std::string& name) {
    return StatusField("/proc/" + std::to_string(pid) + "/status", name) / 1024.0;
}

// How often each of the program's threads went to sleep and was woken, by
// thread name: every timer shows here. Preemptions are left out; they count the
// machine's load, not the program.
std::map<std::string, double> Wakeups(pid_t pid) {
    std::map<std::string, double> n;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::string name = ReadFile(task.path() / "comm");
        while (!name.empty() && name.back() == '\n') name.pop_back();
        n[name] += StatusField(task.path() / "status", "voluntary_ctxt_switches");
    }
    return n;
}

// Wake-ups of the threads still there at the end; a thread that ended in
// between (a start-up helper) takes its count with it and is left out.
double WokenSince(const std::map<std::string, double>& before,
                  const std::map<std::string, double>& after) {
    double sum = 0.0;
    for (const auto& [name, v] : after) {
        const auto it = before.find(name);
        sum += std::max(0.0, v - (it == before.end() ? 0.0 : it->second));
    }
    return sum;
}

// "name 12.3, other 4.5" per second, busiest first, for the threads that woke.
std::string WakeupsByThread(const std::map<std::string, double>& before,
                            const std::map<std::string, double>& after, double seconds) {
    std::vector<std::pair<double, std::string>> rates;
    for (const auto& [name, v] : after) {
        const auto it = before.find(name);
        const double rate = (v - (it == before.end() ? 0.0 : it->second)) / seconds;
        if (rate >= 0.05) rates.emplace_back(rate, name);
    }
    std::sort(rates.rbegin(), rates.rend());
    std::string out;
    for (const auto& [rate, name] : rates) {
        char item[64];
        std::snprintf(item, sizeof item, "%s%s %.1f", out.empty() ? "" : ", ", name.c_str(), rate);
        out += item;
    }
    return out;
}

// One program with a home of its own: the settings file is written before the
// start; the program ends with SIGTERM (its orderly shutdown).
class Program {
  public:
    Program(std::string name, const fs::path& tarvo, const std::string& device)
        : name_(std::move(name)) {
        home_ = fs::temp_directory_path() /
                ("tarvo-app-bench-" + std::to_string(getpid()) + "-" + name_);
        fs::remove_all(home_);
        fs::create_directories(home_);
        std::ofstream(home_ / "tarvo.reg", std::ios::binary)
            << "Windows Registry Editor Version 5.00\r\n\r\n"
            << "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo]\r\n"
            << "\"Channels\"=dword:0000000" << kChannels << "\r\n\r\n"
            << "[HKEY_CURRENT_USER\\Software\\Morvane\\Tarvo\\Eigene Rufzeichen\\N0CALL]\r\n"
            << "\"SSIDs\"=dword:00000003\r\n\r\n"
            << device;

        const std::string homeVar = "TARVO_HOME=" + home_.string();
        std::vector<std::string> env = {homeVar, "QT_QPA_PLATFORM=offscreen", "TARVO_NO_DIALOGS=1"};
        for (char** e = environ; *e; ++e) {
            const std::string var = *e;
            if (var.rfind("TARVO_", 0) != 0 && var.rfind("QT_QPA_PLATFORM=", 0) != 0)
                env.push_back(var);
        }
        std::vector<char*> envp;
        for (std::string& v : env) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string path = tarvo.string();
        char* argv[] = {path.data(), nullptr};
        const std::string log = (home_ / "tarvo.log").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        Stop();
        std::error_code ec;
        fs::remove_all(home_, ec);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    const std::string& Name() const { return name_; }
    pid_t Pid() const { return pid_; }
    bool Running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == 0) return true;
        pid_ = -1;
        return false;
    }
    // Start-up has stored the Dirty mark (before the channels and devices come).
    bool Started() const {
        return ReadFile(home_ / "tarvo.reg").find("\"Dirty\"=\"1\"") != std::string::npos;
    }
    // Whether the monitor's buffer file holds `text`.
    bool MonitorHolds(const std::string& text) const {
        return ReadFile(home_ / "data" / "Text Buffers" / "Buffer00.tvn").find(text) !=
               std::string::npos;
    }
    std::string Log() const { return ReadFile(home_ / "tarvo.log"); }
    void Stop() {
        if (!Running()) return;
        kill(pid_, SIGTERM);
        if (!WaitFor([this] { return !Running(); }, 10s)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    std::string name_;
    fs::path home_;
    pid_t pid_ = -1;
};

std::string DeviceKey(const std::string& className, const std::string& values) {
    return "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Tarvo\\Geraete\\0]\r\n@=\"" + className +
           "\"\r\n" + values + "\r\n";
}

// A UI frame in the text form an engine sends it ('U').
tarvo::devices::agwpe::TFrame MonitorFrame(int n) {
    char info[40];
    std::snprintf(info, sizeof info, "Tarvo bench frame %04d", n);
    char text[160];
    std::snprintf(text, sizeof text, " 1:Fm DL1BEN To CQ <UI pid=F0 Len=%zu PF=0 >[12:00:00]\r%s\r",
                  std::strlen(info), info);
    tarvo::devices::agwpe::TFrame f;
    f.kind = 'U';
    f.callFrom = "DL1BEN";
    f.callTo = "CQ";
    f.data = std::string(text) + '\0';
    return f;
}

struct Options {
    int idleSeconds = 60;
    int frames = 1000;
    int rate = 50;
    fs::path tarvo = TARVO_APP;
};

bool Number(const char* text, long min, long max, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < min || v > max) return false;
    out = static_cast<int>(v);
    return true;
}

std::optional<Options> ParseArgs(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--idle" && hasValue && Number(argv[i + 1], 1, 86400, o.idleSeconds)) {
            ++i;
        } else if (a == "--frames" && hasValue && Number(argv[i + 1], 1, 100000, o.frames)) {
            ++i;
        } else if (a == "--rate" && hasValue && Number(argv[i + 1], 1, 10000, o.rate)) {
            ++i;
        } else if (a == "--tarvo" && hasValue) {
            o.tarvo = argv[++i];
        } else {
            return std::nullopt;
        }
    }
    return o;
}

const char* Verdict(bool ok) {
    return ok ? "ok" : "OVER GOAL";
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseArgs(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: bench_app [--idle SECONDS] [--frames N] [--rate PER_SECOND] "
                     "[--tarvo PATH]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);

    tarvo::test::FakeAgwpeOptions engineOptions;
    engineOptions.portList = "1;Port1 bench radio;";
    tarvo::test::FakeAgwpeEngine engine(engineOptions);
    tarvo::test::TncSimulatorOptions tncOptions;
    tncOptions.startInHostmode = true;
    tarvo::test::TncSimulator tnc(tncOptions);
    if (!engine.Ok() || !tnc.Ok()) {
        std::fprintf(stderr, "the simulated engine or TNC did not start\n");
        return 1;
    }

    std::vector<std::unique_ptr<Program>> programs;
    programs.push_back(std::make_unique<Program>("no device", options->tarvo, ""));
    programs.push_back(std::make_unique<Program>("hostmode", options->tarvo,
                                                 DeviceKey("TGeraetHostmodeSerial",
                                                           "\"Anschluss\"=dword:00000001\r\n"
                                                           "\"Baudrate\"=dword:0001c200\r\n"
                                                           "\"Schnittstelle\"=\"" +
                                                               tnc.PortPath() + "\"\r\n")));
    programs.push_back(std::make_unique<Program>(
        "AGWPE", options->tarvo,
        DeviceKey(
            "TGeraetAgwpe", "\"Hostname\"=\"127.0.0.1\"\r\n\"Port\"=dword:" + [&] {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08x", engine.Port());
                return std::string(hex);
            }() + "\r\n")));
    Program& agwpe = *programs.back();

    // Ready: start-up done, the TNC polled, the engine asked for the monitor.
    const bool ready =
        WaitFor(
            [&] {
                for (auto& p : programs)
                    if (!p->Running() || !p->Started()) return false;
                return true;
            },
            60s) &&
        WaitFor([&] { return !tnc.Frames().empty(); }, 30s) &&
        engine.WaitForFrame([](const auto& f) { return f.kind == 'm'; }, 30s).has_value();
    if (!ready) {
        std::fprintf(stderr, "the programs did not come up\n");
        for (auto& p : programs)
            std::fprintf(stderr, "--- %s (%s)\n%s\n", p->Name().c_str(),
                         p->Running() ? "running" : "ended", p->Log().c_str());
        return 1;
    }
    // Past the splash's 1.5 s and the first polls.
    std::this_thread::sleep_for(5s);

    int rc = 0;
    std::printf("%d channels each; idle over %d s, %d monitored frames at %d per second\n\n",
                kChannels, options->idleSeconds, options->frames, options->rate);
    std::printf("%-10s %10s %10s %12s %12s %12s\n", "device", "VmRSS MB", "VmHWM MB", "idle CPU s",
                "% of a core", "wake-ups/s");
    std::vector<double> cpu0;
    std::vector<std::map<std::string, double>> wake0;
    for (auto& p : programs) {
        cpu0.push_back(CpuSeconds(p->Pid()).value_or(0.0));
        wake0.push_back(Wakeups(p->Pid()));
    }
    const auto t0 = Clock::now();
    std::this_thread::sleep_until(t0 + std::chrono::seconds(options->idleSeconds));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    double agwpeIdlePerSecond = 0.0;
    std::string byThread;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        Program& p = *programs[i];
        const double cpu = CpuSeconds(p.Pid()).value_or(0.0) - cpu0[i];
        const double percent = 100.0 * cpu / wall;
        const double rss = StatusMb(p.Pid(), "VmRSS"), hwm = StatusMb(p.Pid(), "VmHWM");
        const auto wake = Wakeups(p.Pid());
        const double wakeups = WokenSince(wake0[i], wake) / wall;
        std::printf("%-10s %10.1f %10.1f %12.2f %12.3f %12.1f  idle %s, peak %s\n",
                    p.Name().c_str(), rss, hwm, cpu, percent, wakeups,
                    Verdict(percent < kIdleGoalPercent), Verdict(hwm < kPeakGoalMb));
        if (percent >= kIdleGoalPercent || hwm >= kPeakGoalMb) rc = 3;
        if (&p == &agwpe) agwpeIdlePerSecond = cpu / wall;
        byThread += "  " + p.Name() + ": " + WakeupsByThread(wake0[i], wake, wall) + "\n";
    }
    std::printf("goals: idle under %.1f%% of a core, VmHWM under %.0f MB\n", kIdleGoalPercent,
                kPeakGoalMb);
    std::printf("idle wake-ups per second by thread:\n%s\n", byThread.c_str());
    // The others are not needed for the frames.
    for (auto& p : programs)
        if (p.get() != &agwpe) p->Stop();

    // Monitored frames at a steady rate; done when the last one is in the monitor.
    const std::string last = MonitorFrame(options->frames - 1).data;
    const std::string lastInfo = last.substr(last.find('\r') + 1, 22);
    const double before = CpuSeconds(agwpe.Pid()).value_or(0.0);
    const auto f0 = Clock::now();
    const auto step = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options->rate));
    for (int n = 0; n < options->frames; ++n) {
        std::this_thread::sleep_until(f0 + n * step);
        engine.SendFrame(MonitorFrame(n));
    }
    const bool shown = WaitFor([&] { return agwpe.MonitorHolds(lastInfo); }, 30s);
    const double seconds = std::chrono::duration<double>(Clock::now() - f0).count();
    const double cpu = CpuSeconds(agwpe.Pid()).value_or(0.0) - before;
    const double perThousand =
        (cpu - agwpeIdlePerSecond * seconds) * 1000.0 / static_cast<double>(options->frames);
    if (!shown) {
        std::printf("monitored frames: the last frame did not reach the monitor\n");
        rc = 1;
    } else {
        std::printf(
            "monitored frames (AGWPE): %.2f s CPU in %.1f s, less %.2f s idle = %.3f s per 1,000 "
            "frames  %s (goal under %.2f s)\n",
            cpu, seconds, agwpeIdlePerSecond * seconds, perThousand,
            Verdict(perThousand < kFramesGoalSeconds), kFramesGoalSeconds);
        if (perThousand >= kFramesGoalSeconds && rc == 0) rc = 3;
    }
    std::printf("AGWPE after the frames: VmRSS %.1f MB, VmHWM %.1f MB\n",
                StatusMb(agwpe.Pid(), "VmRSS"), StatusMb(agwpe.Pid(), "VmHWM"));
    return rc;
}
