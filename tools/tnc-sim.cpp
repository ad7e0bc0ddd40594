// tnc-sim: a simulated hostmode TNC on a pseudo-terminal, with a mailbox
// (SIMBOX), an echo station (ECHO), a busy station (BUSY), a station that takes
// everything (SINK) and a beacon.
// Prints the port to open on its first line, then runs until SIGINT/SIGTERM.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TncSimulator.h"
#include "tools/SimulatorMain.h"

namespace {

using tarvo::test::TncSimulator;
using tarvo::test::TncSimulatorOptions;
using tarvo::test::TncStationKind;
using tarvo::test::TncStationOptions;
using tarvo::tools::Number;
using tarvo::tools::TermSignalFd;

void Usage() {
    std::fprintf(
        stderr,
        "usage: tnc-sim [--channels N] [--baud B] [--link PATH] [--call CALL] [--hostmode]\n"
        "               [--beacon SECONDS] [--echo-delay MS] [--model tnc|ptc2|ptc2e] [--quiet]\n"
        "               [--connect-after SECONDS FROM TO] [--password TEXT]\n");
}

std::string Printable(const std::string& data) {
    std::string out;
    for (unsigned char c : data) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    TncSimulatorOptions options;
    options.beaconInterval = std::chrono::seconds(10);
    options.overheardTraffic = true;
    bool quiet = false;
    std::string password;
    std::optional<tarvo::tools::ConnectAfter> incoming;

    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        long v = 0;
        if (a == "--channels" && hasValue && Number(args[i + 1].c_str(), 1, 254, v)) {
            options.channels = static_cast<int>(v);
            ++i;
        } else if (a == "--baud" && hasValue && Number(args[i + 1].c_str(), 0, 4000000, v)) {
            options.baud = static_cast<int>(v);
            ++i;
        } else if (a == "--link" && hasValue) {
            options.linkPath = args[++i];
        } else if (a == "--call" && hasValue) {
            options.callsign = args[++i];
        } else if (a == "--hostmode") {
            options.startInHostmode = true;
        } else if (a == "--beacon" && hasValue && Number(args[i + 1].c_str(), 0, 86400, v)) {
            options.beaconInterval = std::chrono::seconds(v);
            ++i;
        } else if (a == "--echo-delay" && hasValue && Number(args[i + 1].c_str(), 0, 10000, v)) {
            options.echoDelay = std::chrono::milliseconds(v);
            ++i;
        } else if (a == "--model" && hasValue &&
                   (args[i + 1] == "tnc" || args[i + 1] == "ptc2" || args[i + 1] == "ptc2e")) {
            const std::string& m = args[++i];
            options.model = m == "ptc2"    ? tarvo::test::TncModel::PtcII
                            : m == "ptc2e" ? tarvo::test::TncModel::PtcIIe
                                           : tarvo::test::TncModel::Plain;
        } else if (a == "--password" && hasValue) {
            password = args[++i];
        } else if (a == "--quiet") {
            quiet = true;
        } else if (!tarvo::tools::ReadConnectAfter(args, i, incoming)) {
            Usage();
            return 2;
        }
    }

    // The simulator's thread inherits the mask; the signals are taken below.
    const int signalFd = TermSignalFd();
    if (signalFd < 0) {
        std::perror("tnc-sim: signalfd");
        return 1;
    }

    TncSimulator sim(options);
    if (!sim.Ok()) {
        std::fprintf(stderr, "tnc-sim: %s\n", sim.Error().c_str());
        return 1;
    }
    TncStationOptions mailbox;
    mailbox.kind = TncStationKind::Mailbox;
    // Without a password the mailbox lets a newcomer in at once.
    mailbox.password = password;
    sim.AddStation("SIMBOX", mailbox);
    sim.AddStation("ECHO", {TncStationKind::Echo});
    sim.AddStation("BUSY", {TncStationKind::Busy});
    sim.AddStation("SINK", {TncStationKind::Quiet});

    std::printf("%s\n", sim.PortPath().c_str());
    std::fflush(stdout);
    if (!quiet)
        std::fprintf(stderr,
                     "tnc-sim: %s, stations SIMBOX (mailbox), ECHO, BUSY, SINK; Ctrl+C ends\n",
                     sim.InHostmode() ? "hostmode" : "terminal mode");

    const auto started = std::chrono::steady_clock::now();
    std::size_t seen = 0;
    for (;;) {
        pollfd p{signalFd, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) break;  // SIGINT or SIGTERM
        if (incoming &&
            std::chrono::steady_clock::now() - started >= std::chrono::seconds(incoming->seconds)) {
            const int ch = sim.IncomingConnect(incoming->from, incoming->to);
            if (!quiet)
                std::fprintf(stderr, "tnc-sim: %s connects to %s: %s\n", incoming->from.c_str(),
                             incoming->to.c_str(),
                             ch ? ("channel " + std::to_string(ch)).c_str() : "refused");
            incoming.reset();
        }
        if (quiet) continue;
        // What the program asks for, without the endless polls.
        for (const auto& f : sim.Frames(seen)) {
            seen = f.index + 1;
            const bool poll =
                f.command && !f.data.empty() && (f.data[0] == 'G' || f.data[0] == 'g');
            if (poll || (f.command && (f.data == "L" || f.data == "@B"))) continue;
            std::fprintf(stderr, "tnc-sim: ch %d %s \"%s\"\n", f.channel,
                         f.command ? "cmd " : "info", Printable(f.data).c_str());
        }
    }
    close(signalFd);
    if (!quiet) std::fprintf(stderr, "tnc-sim: ending\n");
    return 0;
}
