// agwpe-sim: a simulated AGWPE packet engine on a TCP port, with a mailbox
// (SIMBOX), an echo station (ECHO), and overheard traffic for the monitor: a
// beacon via a digipeater and a short link between two other stations.
// Prints the port on its first line, then runs until SIGINT/SIGTERM.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/FakeAgwpeEngine.h"
#include "tools/SimulatorMain.h"

namespace {

using tarvo::test::FakeAgwpeEngine;
using tarvo::test::FakeMonitorFrame;
using tarvo::tools::Number;
using tarvo::tools::TermSignalFd;

void Usage() {
    std::fprintf(stderr,
                 "usage: agwpe-sim [--port N] [--beacon SECONDS] [--quiet]\n"
                 "                 [--connect-after SECONDS FROM TO]\n");
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

constexpr const char* kPrompt = "SIMBOX>\r";

std::string MailboxGreeting() {
    return std::string("[SIM-1.0-H$]\rWelcome to SIMBOX, the simulated mailbox.\r") +
           "Commands: L (list), R n (read), H (help), B (bye)\r" + kPrompt;
}

// The mailbox's answer to one line; `bye` when it ends the link.
std::string MailboxAnswer(const std::string& line, bool& bye) {
    const std::string up = Upper(line);
    if (up.empty()) return kPrompt;
    // A station's identification ("{...}", "[...]") is no command.
    if (up[0] == '{' || up[0] == '[') return {};
    switch (up[0]) {
        case 'L':
            return std::string("Msg#  Size To     From    Subject\r") +
                   "   1   312 ALL    DB0SIM  Welcome to the simulator\r" +
                   "   2  1024 N0CALL SIMBOX  Your test message\r" + kPrompt;
        case 'R':
            return std::string("Msg 1 from DB0SIM to ALL: Welcome to the simulator\r") +
                   "This mailbox lives in agwpe-sim. Nothing here goes on the air.\r" + kPrompt;
        case 'H':
        case '?':
            return std::string("L list, R n read, B bye\r") + kPrompt;
        case 'B':
        case 'Q':
            bye = true;
            return "73, bye\r";
        default:
            return "Unknown command: " + line + "\r" + kPrompt;
    }
}

}  // namespace

int main(int argc, char** argv) {
    long port = 8000;
    long beacon = 10;
    bool quiet = false;
    std::optional<tarvo::tools::ConnectAfter> incoming;

    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        long v = 0;
        if (a == "--port" && hasValue && Number(args[i + 1].c_str(), 0, 65535, v)) {
            port = v;
            ++i;
        } else if (a == "--beacon" && hasValue && Number(args[i + 1].c_str(), 0, 86400, v)) {
            beacon = v;
            ++i;
        } else if (a == "--quiet") {
            quiet = true;
        } else if (tarvo::tools::ReadConnectAfter(args, i, incoming)) {
            incoming->from = Upper(incoming->from);
            incoming->to = Upper(incoming->to);
        } else {
            Usage();
            return 2;
        }
    }

    const int signalFd = TermSignalFd();
    if (signalFd < 0) {
        std::perror("agwpe-sim: signalfd");
        return 1;
    }

    FakeAgwpeEngine::Options options;
    options.listenPort = static_cast<std::uint16_t>(port);
    options.portList = "2;Port1 with simulated 1200 bd radio;Port2 with simulated 9600 bd radio;";
    options.linkDelay = std::chrono::milliseconds(300);
    options.monitorLinks = true;
    options.greeting = [](const std::string& station) {
        return station == "SIMBOX" ? MailboxGreeting() : std::string("ECHO here.\r");
    };
    options.answer = [](const std::string& station, const std::string& line, bool& end) {
        return station == "ECHO" ? line + "\r" : MailboxAnswer(line, end);
    };
    FakeAgwpeEngine engine(options);
    if (!engine.Ok()) {
        std::fprintf(stderr, "agwpe-sim: cannot listen on port %ld\n", port);
        return 1;
    }
    engine.AddStation("SIMBOX");
    engine.AddStation("ECHO");
    engine.AddStation("BUSY", true);

    std::printf("%u\n", engine.Port());
    std::fflush(stdout);
    if (!quiet)
        std::fprintf(stderr,
                     "agwpe-sim: port %u, stations SIMBOX (mailbox), ECHO, BUSY; Ctrl+C ends\n",
                     engine.Port());

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    auto nextBeacon = started + std::chrono::seconds(2);
    int overheard = 0;
    for (;;) {
        pollfd p{signalFd, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) break;  // SIGINT or SIGTERM
        const auto now = Clock::now();
        if (incoming && now - started >= std::chrono::seconds(incoming->seconds) &&
            engine.Connected()) {
            engine.IncomingConnect(incoming->from, incoming->to);
            if (incoming->from == "SIMBOX")
                engine.StationSend(incoming->from, incoming->to, MailboxGreeting());
            if (!quiet)
                std::fprintf(stderr, "agwpe-sim: %s connects to %s\n", incoming->from.c_str(),
                             incoming->to.c_str());
            incoming.reset();
        }
        if (beacon > 0 && now >= nextBeacon) {
            nextBeacon = now + std::chrono::seconds(beacon);
            // Overheard: a beacon repeated by a digipeater, then a link of two
            // other stations, one step each time.
            FakeMonitorFrame b;
            b.from = "DB0SIM";
            b.to = "BEACON";
            b.via = {"WIDE1-1*"};
            b.info = "Simulated node DB0SIM, 1200 bd\r";
            engine.Monitor(b);
            const int step = overheard++ % 5;
            FakeMonitorFrame f;
            f.from = step % 2 == 0 ? "DL2ABC" : "DB0XYZ";
            f.to = step % 2 == 0 ? "DB0XYZ" : "DL2ABC";
            switch (step) {
                case 0:
                    f.type = "SABM";
                    f.pollFinal = true;
                    break;
                case 1:
                    f.type = "UA";
                    f.command = false;
                    f.pollFinal = true;
                    break;
                case 2:
                    f.type = "I";
                    f.info = "Hello from DL2ABC\r";
                    break;
                case 3:
                    f.type = "RR";
                    f.nr = 1;
                    f.command = false;
                    break;
                default:
                    f.type = "DISC";
                    f.pollFinal = true;
                    break;
            }
            engine.Monitor(f);
        }
    }
    close(signalFd);
    if (!quiet) std::fprintf(stderr, "agwpe-sim: ending\n");
    return 0;
}
