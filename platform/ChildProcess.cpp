#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvo::platform {

namespace {

constexpr std::size_t kMaxLine = 4096;

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& args,
                                                  std::string* error) {
    auto fail = [&](const std::string& what, int e) -> std::unique_ptr<ChildProcess> {
        if (error) *error = program.string() + ": " + what + ": " + std::strerror(e);
        return nullptr;
    };
    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return fail("pipe", errno);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0) {
        const int e = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return fail("/dev/null", e);
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int e = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::close(devNull);
        return fail("fork", e);
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);  // Tarvo died before the line above
        ::setpgid(0, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    // Here too, so that the group exists before the first Stop whoever runs first.
    ::setpgid(pid, pid);
    ::close(pipeFds[1]);
    ::close(devNull);
    std::unique_ptr<ChildProcess> child(new ChildProcess());
    child->pid_ = pid;
    child->out_ = pipeFds[0];
    return child;
}

ChildProcess::~ChildProcess() {
    Stop();
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    const Clock::time_point end = Clock::now() + timeout;
    for (;;) {
        if (const auto nl = buffered_.find('\n'); nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (out_ < 0 || buffered_.size() > kMaxLine) return std::nullopt;
        pollfd p{out_, POLLIN, 0};
        const int r = ::poll(&p, 1, MsLeft(end));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        char chunk[512];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(out_);
            out_ = -1;
            return std::nullopt;
        }
        buffered_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    if (r == pid_ || (r < 0 && errno == ECHILD)) pid_ = -1;
    return pid_ > 0;
}

void ChildProcess::Stop(std::chrono::milliseconds grace) {
    // The whole group: what the helper started itself ends with it.
    const auto signal = [this](int sig) {
        if (::kill(-pid_, sig) != 0) ::kill(pid_, sig);
    };
    if (Running()) {
        signal(SIGTERM);
        const Clock::time_point end = Clock::now() + grace;
        while (Running() && MsLeft(end) > 0) ::poll(nullptr, 0, 20);
        if (Running()) {
            signal(SIGKILL);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
        }
    }
    if (out_ >= 0) {
        ::close(out_);
        out_ = -1;
    }
}

}  // namespace tarvo::platform
