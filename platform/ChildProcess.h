// A helper program started by Tarvo that ends with it (the demo's simulators).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::platform {

class ChildProcess {
  public:
    // Runs program with args (without argv[0]) in a process group of its own,
    // so that Ctrl+C in a terminal reaches Tarvo, which then ends it in order.
    // Its standard input is /dev/null, its standard output a pipe to ReadLine,
    // its standard error Tarvo's. It gets SIGTERM when Tarvo dies. Null with
    // *error set when it cannot be started.
    static std::unique_ptr<ChildProcess> Start(const std::filesystem::path& program,
                                               const std::vector<std::string>& args,
                                               std::string* error);
    ~ChildProcess();  // Stop()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of its standard output, without the line break; nullopt
    // when none came in time, the output ended, or the line grew too long.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // Whether it still runs (reaps it when it has ended).
    bool Running();
    // SIGTERM, then SIGKILL after the grace time; waits for it. Idempotent.
    void Stop(std::chrono::milliseconds grace = std::chrono::seconds(2));
    int Pid() const { return pid_; }

  private:
    ChildProcess() = default;
    int pid_ = -1;
    int out_ = -1;
    std::string buffered_;
};

}  // namespace tarvo::platform
