// What the simulator programs share: reading numbers from the command line and
// taking SIGINT and SIGTERM as a descriptor to poll.
#pragma once

#include <signal.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::tools {

inline bool Number(const char* text, long min, long max, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

// "--connect-after SECONDS FROM TO": a station connects on its own.
struct ConnectAfter {
    long seconds = 0;
    std::string from, to;
};

// Reads the option at args[i] when it is one; moves i past its values.
inline bool ReadConnectAfter(const std::vector<std::string>& args, std::size_t& i,
                             std::optional<ConnectAfter>& out) {
    long v = 0;
    if (args[i] != "--connect-after" || i + 3 >= args.size() ||
        !Number(args[i + 1].c_str(), 0, 86400, v))
        return false;
    out = ConnectAfter{v, args[i + 2], args[i + 3]};
    i += 3;
    return true;
}

// Blocks SIGINT and SIGTERM in this thread (and the threads it starts) and
// returns a descriptor that becomes readable when one comes; -1 on failure.
inline int TermSignalFd() {
    // A background start may have inherited them ignored, which would discard them.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

}  // namespace tarvo::tools
