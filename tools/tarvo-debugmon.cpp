// tarvo-debugmon: attaches to a running Tarvo's debug log and prints it.
//   tarvo-debugmon [--home DIR]     (TARVO_HOME and the XDG folders as for tarvo)
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Locations.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    std::string error;
    const auto locations = tarvo::platform::ResolveLocations(args, &error);
    if (!locations) {
        std::fprintf(stderr, "tarvo-debugmon: %s\n", error.c_str());
        return 1;
    }
    const std::string path = (locations->runtimeDir / "debug.sock").string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return 1;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "tarvo-debugmon: no Tarvo is running at %s\n", path.c_str());
        return 1;
    }
    std::fprintf(stderr, "tarvo-debugmon: attached to %s\n", path.c_str());
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        std::string text =
            tarvo::platform::Cp1252ToUtf8(std::string_view(buf, static_cast<std::size_t>(n)));
        for (char& c : text)
            if (c == '\r') c = '\n';
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    std::fprintf(stderr, "tarvo-debugmon: Tarvo has ended\n");
    return 0;
}
