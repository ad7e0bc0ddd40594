#include "tests/support/DirewolfPair.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace tarvo::test {

namespace {

constexpr int kSampleRate = 44100;
constexpr auto kTick = std::chrono::milliseconds(10);
// One tick of mono S16_LE audio.
constexpr std::size_t kTickBytes = kSampleRate / 100 * 2;
constexpr auto kGrace = std::chrono::seconds(3);

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string FindDirewolf() {
    if (const char* own = std::getenv("TARVO_DIREWOLF"); own && *own) return own;
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        std::string candidate = (dir.empty() ? "." : dir) + "/direwolf";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Dire Wolf takes AGWPORT values up to 49151 only, below the kernel's usual
// range for port 0, so ports are drawn from under that range instead.
bool PortIsFree(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);  // as Dire Wolf binds it
    addr.sin_port = htons(port);
    bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return free;
}

bool FreePorts(std::uint16_t& a, std::uint16_t& b, std::string& error) {
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> range(20000, 32000);
    a = b = 0;
    for (int tries = 0; tries < 200 && (a == 0 || b == 0); ++tries) {
        auto port = static_cast<std::uint16_t>(range(random));
        if (port == a || !PortIsFree(port)) continue;
        (a == 0 ? a : b) = port;
    }
    if (a != 0 && b != 0) return true;
    error = "no free port found between 20000 and 32000";
    return false;
}

bool AcceptsConnections(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Tail(const std::string& text, std::size_t lines) {
    std::size_t pos = text.size();
    while (lines-- > 0 && pos > 0) {
        pos = text.rfind('\n', pos - 1);
        if (pos == std::string::npos) return text;
    }
    return text.substr(pos);
}

}  // namespace

struct DirewolfPair::Impl {
    struct Station {
        std::string name;  // A or B
        std::string mycall;
        std::string clientCall;
        std::uint16_t port = 0;
        std::string config, log, fifo;
        pid_t pid = -1;
        int audioIn = -1;   // our end of the modem's standard input
        int audioOut = -1;  // read end of the FIFO the modem transmits into
        // Relay state: audio heard from this station, and audio waiting for it.
        std::vector<std::uint8_t> transmitted;
        std::vector<std::uint8_t> pendingInput;
        bool inputBroken = false;
    };

    DirewolfPairOptions options;
    std::string error;
    std::string folder;
    std::string direwolf;
    std::array<Station, 2> stations;
    std::thread relay;
    std::atomic<bool> stopRelay{false};
    bool ok = false;
    bool stopped = false;

    void Start();
    bool StartOnce(std::string& why);
    bool WriteConfigs(std::string& why);
    bool Spawn(Station& s, std::string& why);
    bool WaitReady(std::string& why);
    void Relay();
    void EndProcesses();
    void ReleaseStation(Station& s);
    void Shutdown();
};

void DirewolfPair::Impl::Start() {
    direwolf = FindDirewolf();
    if (direwolf.empty()) {
        error = "direwolf not found on PATH (apt-get install direwolf, or scripts/setup)";
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvo-direwolf-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        error = ErrnoText("mkdtemp " + pattern);
        return;
    }
    folder = buffer.data();

    stations[0].name = "A";
    stations[0].mycall = options.stationA;
    stations[1].name = "B";
    stations[1].mycall = options.stationB;
    for (auto& s : stations) {
        s.clientCall = s.mycall + "-1";
        s.config = folder + "/direwolf-" + s.name + ".conf";
        s.log = folder + "/direwolf-" + s.name + ".log";
        s.fifo = folder + "/transmit-" + s.name + ".raw";
    }

    // A port picked as free may be taken before Dire Wolf binds it: try again.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        std::string why;
        if (StartOnce(why)) {
            ok = true;
            return;
        }
        error = "attempt " + std::to_string(attempt) + ": " + why;
        EndProcesses();
        for (auto& s : stations) ReleaseStation(s);
    }
}

bool DirewolfPair::Impl::StartOnce(std::string& why) {
    if (!FreePorts(stations[0].port, stations[1].port, why)) return false;
    if (!WriteConfigs(why)) return false;
    for (auto& s : stations) {
        ::unlink(s.fifo.c_str());
        if (::mkfifo(s.fifo.c_str(), 0600) != 0) {
            why = ErrnoText("mkfifo " + s.fifo);
            return false;
        }
        // Opened first, without waiting, so the modem's open for writing does not block.
        s.audioOut = ::open(s.fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (s.audioOut < 0) {
            why = ErrnoText("open " + s.fifo);
            return false;
        }
        // Room for a whole transmission, so the modem never waits on the relay.
        ::fcntl(s.audioOut, F_SETPIPE_SZ, 1 << 20);
    }
    stopRelay.store(false);
    for (auto& s : stations)
        if (!Spawn(s, why)) return false;
    relay = std::thread([this] { Relay(); });
    return WaitReady(why);
}

bool DirewolfPair::Impl::WriteConfigs(std::string& why) {
    std::ofstream alsa(folder + "/asound.conf");
    for (auto& s : stations) {
        // The null slave takes the audio at once; the relay restores real time.
        alsa << "pcm.transmit" << s.name << " {\n"
             << "  type file\n"
             << "  slave.pcm { type null }\n"
             << "  file \"" << s.fifo << "\"\n"
             << "  format \"raw\"\n"
             << "}\n";
    }
    alsa.close();
    if (!alsa) {
        why = "cannot write " + folder + "/asound.conf";
        return false;
    }
    for (auto& s : stations) {
        std::ofstream conf(s.config);
        conf << "ADEVICE stdin transmit" << s.name << "\n"
             << "ACHANNELS 1\n"
             << "ARATE " << kSampleRate << "\n"
             << "CHANNEL 0\n"
             << "MYCALL " << s.mycall << "\n"
             << "MODEM 1200\n"
             << "AGWPORT " << s.port << "\n"
             << "KISSPORT 0\n"
             // The link settings of the recorded AGWPE sessions the tests compare with.
             << "FRACK 3\n"
             << "RETRY 10\n"
             << "PACLEN 256\n"
             << "MAXFRAME 4\n";
        conf.close();
        if (!conf) {
            why = "cannot write " + s.config;
            return false;
        }
    }
    return true;
}

bool DirewolfPair::Impl::Spawn(Station& s, std::string& why) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        why = ErrnoText("socketpair");
        return false;
    }
    // A socket rather than a pipe: a dead modem then gives EPIPE, not SIGPIPE.
    s.audioIn = pair[0];
    int buffer = 1 << 20;
    ::setsockopt(s.audioIn, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    int logFd = ::open(s.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd < 0) {
        why = ErrnoText("open " + s.log);
        ::close(pair[1]);
        return false;
    }

    // Everything the child needs is built before fork: it may not allocate.
    std::vector<std::string> args = {direwolf, "-t", "0", "-c", s.config};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "ALSA_CONFIG_PATH=", 17) != 0) env.emplace_back(*e);
    env.push_back("ALSA_CONFIG_PATH=" + folder + "/asound.conf");
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const char* dir = folder.c_str();
    int input = pair[1];
    pid_t parent = ::getpid();

    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (::dup2(input, 0) < 0 || ::dup2(logFd, 1) < 0 || ::dup2(logFd, 2) < 0) ::_exit(127);
        ::close_range(3, ~0U, 0);
        if (::chdir(dir) != 0) ::_exit(127);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int saved = errno;
    ::close(input);
    ::close(logFd);
    if (pid < 0) {
        errno = saved;
        why = ErrnoText("fork");
        return false;
    }
    s.pid = pid;
    return true;
}

bool DirewolfPair::Impl::WaitReady(std::string& why) {
    auto deadline = std::chrono::steady_clock::now() + options.startTimeout;
    std::array<bool, 2> ready = {false, false};
    while (!(ready[0] && ready[1])) {
        for (std::size_t i = 0; i < 2; ++i) {
            auto& s = stations[i];
            int status = 0;
            if (::waitpid(s.pid, &status, WNOHANG) == s.pid) {
                s.pid = -1;
                std::string how = WIFEXITED(status)
                                      ? "exit code " + std::to_string(WEXITSTATUS(status))
                                      : "signal " + std::to_string(WTERMSIG(status));
                why = "direwolf " + s.name + " ended early (" + how + "); end of its log:\n" +
                      Tail(ReadFile(s.log), 15);
                return false;
            }
            if (!ready[i]) ready[i] = AcceptsConnections(s.port);
        }
        if (ready[0] && ready[1]) break;
        if (std::chrono::steady_clock::now() > deadline) {
            why = "AGWPE ports " + std::to_string(stations[0].port) + " and " +
                  std::to_string(stations[1].port) + " not ready in time";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

void DirewolfPair::Impl::Relay() {
    // Ticks are counted from the start, so a late wake-up catches up and the
    // sample rate stays exact on average.
    auto start = std::chrono::steady_clock::now();
    long long done = 0;
    std::array<std::uint8_t, 65536> chunk;
    while (!stopRelay.load()) {
        for (auto& s : stations) {
            for (;;) {
                ssize_t n = ::read(s.audioOut, chunk.data(), chunk.size());
                if (n <= 0) break;
                s.transmitted.insert(s.transmitted.end(), chunk.begin(), chunk.begin() + n);
            }
        }
        long long due = (std::chrono::steady_clock::now() - start) / kTick;
        for (; done < due; ++done) {
            for (std::size_t i = 0; i < 2; ++i) {
                auto& from = stations[1 - i].transmitted;
                auto& to = stations[i].pendingInput;
                // Whole samples only, so a split read never shifts the stream by a byte.
                std::size_t take = std::min(from.size(), kTickBytes) & ~std::size_t{1};
                to.insert(to.end(), from.begin(), from.begin() + take);
                from.erase(from.begin(), from.begin() + take);
                to.resize(to.size() + (kTickBytes - take), 0);
            }
        }
        for (auto& s : stations) {
            if (s.inputBroken || s.pendingInput.empty()) continue;
            ssize_t n = ::send(s.audioIn, s.pendingInput.data(), s.pendingInput.size(),
                               MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                s.pendingInput.erase(s.pendingInput.begin(), s.pendingInput.begin() + n);
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                s.inputBroken = true;
        }
        std::this_thread::sleep_until(start + (done + 1) * kTick);
    }
}

void DirewolfPair::Impl::EndProcesses() {
    for (auto& s : stations)
        if (s.pid > 0) ::kill(s.pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + kGrace;
    for (auto& s : stations) {
        while (s.pid > 0) {
            int status = 0;
            pid_t r = ::waitpid(s.pid, &status, WNOHANG);
            if (r == s.pid || (r < 0 && errno == ECHILD)) {
                s.pid = -1;
            } else if (std::chrono::steady_clock::now() > deadline) {
                ::kill(s.pid, SIGKILL);
                ::waitpid(s.pid, &status, 0);
                s.pid = -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    stopRelay.store(true);
    if (relay.joinable()) relay.join();
}

void DirewolfPair::Impl::ReleaseStation(Station& s) {
    if (s.audioIn >= 0) ::close(s.audioIn);
    if (s.audioOut >= 0) ::close(s.audioOut);
    s.audioIn = s.audioOut = -1;
    s.transmitted.clear();
    s.pendingInput.clear();
    s.inputBroken = false;
}

void DirewolfPair::Impl::Shutdown() {
    if (stopped) return;
    stopped = true;
    ok = false;
    EndProcesses();
    for (auto& s : stations) ReleaseStation(s);
    if (!folder.empty() && !std::getenv("TARVO_KEEP_DIREWOLF_FILES")) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

DirewolfPair::DirewolfPair() : DirewolfPair(DirewolfPairOptions{}) {}

DirewolfPair::DirewolfPair(DirewolfPairOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->Start();
}

DirewolfPair::~DirewolfPair() {
    Stop();
}

bool DirewolfPair::Ok() const {
    return impl_->ok;
}
const std::string& DirewolfPair::Error() const {
    return impl_->error;
}
std::uint16_t DirewolfPair::PortA() const {
    return impl_->stations[0].port;
}
std::uint16_t DirewolfPair::PortB() const {
    return impl_->stations[1].port;
}
const std::string& DirewolfPair::CallA() const {
    return impl_->stations[0].clientCall;
}
const std::string& DirewolfPair::CallB() const {
    return impl_->stations[1].clientCall;
}
const std::string& DirewolfPair::Folder() const {
    return impl_->folder;
}

std::string DirewolfPair::Logs() const {
    std::string text;
    for (auto& s : impl_->stations)
        text += "---- direwolf " + s.name + " (" + s.log + ")\n" + ReadFile(s.log);
    return text;
}

void DirewolfPair::Stop() {
    impl_->Shutdown();
}

}  // namespace tarvo::test
