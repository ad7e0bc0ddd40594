// Two Dire Wolf modems (the Debian `direwolf` package) on one simulated 1200 bd
// AFSK channel, with no sound card: each one transmits through an ALSA file
// plugin into a FIFO, and a relay thread feeds that audio in real time, with
// silence in the gaps, to the other one's standard input. Each offers its
// AGWPE port on a free port, reached on the loopback interface (Dire Wolf 1.6
// has no setting to listen on loopback only).
//
// Create the pair on a thread that outlives it: the modems are told to die
// with that thread, so a crashed test leaves no processes behind.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvo::test {

struct DirewolfPairOptions {
    // MYCALL of the two stations; the client calls are these with SSID 1.
    std::string stationA = "TSTA";
    std::string stationB = "TSTB";
    // How long both AGWPE ports may take to accept connections.
    std::chrono::milliseconds startTimeout{30000};
};

class DirewolfPair {
  public:
    DirewolfPair();
    explicit DirewolfPair(DirewolfPairOptions options);
    ~DirewolfPair();
    DirewolfPair(const DirewolfPair&) = delete;
    DirewolfPair& operator=(const DirewolfPair&) = delete;

    // Whether both modems run and accept AGWPE clients; otherwise see Error().
    bool Ok() const;
    const std::string& Error() const;

    std::uint16_t PortA() const;
    std::uint16_t PortB() const;
    // Calls for AGWPE clients to register on A and on B ("TSTA-1", "TSTB-1").
    const std::string& CallA() const;
    const std::string& CallB() const;

    // The folder with the configurations and the modems' logs. Removed when
    // the pair stops, unless TARVO_KEEP_DIREWOLF_FILES is set.
    const std::string& Folder() const;
    // Both logs as they are now, for failure messages.
    std::string Logs() const;

    // Ends both modems (SIGTERM, SIGKILL after a grace period) and the relay.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvo::test
