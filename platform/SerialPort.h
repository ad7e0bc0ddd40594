// Serial ports (termios) and pseudo-terminals.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::platform {

// Read and write time-outs in milliseconds, with the meaning the hostmode
// layer relies on: a read of n bytes ends when n bytes came, when
// readTotalPerByte * n + readTotalConstant passed (0 and 0: no total limit), or
// when more than readInterval passed between two bytes after the first
// (0: no interval limit). With all three 0 a read waits until n bytes came.
// A write of n bytes may take writeTotalPerByte * n + writeTotalConstant
// (0 and 0: no limit).
struct SerialTimeouts {
    int readInterval = 0;
    int readTotalPerByte = 0;
    int readTotalConstant = 0;
    int writeTotalPerByte = 0;
    int writeTotalConstant = 0;
};

// The outcome of one read or write.
struct SerialIo {
    enum class Status : std::uint8_t {
        Ok,      // count bytes moved; fewer than asked for means a time-out
        HangUp,  // the other side went away (USB adapter unplugged, pty closed)
        Error,   // any other failure; see `error`
    };
    Status status = Status::Error;
    std::size_t count = 0;  // with HangUp or Error: the bytes moved before it
    int error = 0;          // errno of the failure

    bool Ok() const { return status == Status::Ok; }
};

// The speeds a port can be opened with (50 .. 4000000, those termios knows).
bool IsSupportedBaudRate(int baud);

// One serial port, opened for exclusive use: raw 8N1, no flow control, DTR and
// RTS raised, receiver on, modem lines ignored. Not thread-safe: one thread
// reads and writes it.
class SerialPort {
  public:
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens an existing character device. Fails (null, with a message in
    // `error`) for a path that does not exist or is no terminal, a port another
    // program holds, baud 0 or a speed the system does not have.
    static std::unique_ptr<SerialPort> Open(const std::string& path, int baud, std::string& error);

    const std::string& Path() const { return path_; }
    void SetTimeouts(const SerialTimeouts& timeouts) { timeouts_ = timeouts; }
    const SerialTimeouts& Timeouts() const { return timeouts_; }

    SerialIo Read(std::uint8_t* buffer, std::size_t count);
    SerialIo Write(const std::uint8_t* buffer, std::size_t count);
    // Discards what is buffered in both directions.
    bool Purge();
    // Waits until what was written has left (bounded by the write time-outs;
    // with both 0 by twice the time the queued bytes need at the port's speed).
    bool Drain();

  private:
    SerialPort() = default;
    int fd_ = -1;
    int baud_ = 0;
    std::string path_;
    SerialTimeouts timeouts_;
};

// A serial device present on this machine.
struct SerialDeviceInfo {
    std::string path;        // "/dev/ttyUSB0"
    std::string stableName;  // "/dev/serial/by-id/usb-FTDI_..." or ""
};
// /dev/ttyS*, ttyUSB*, ttyACM*, ttyAMA*, rfcomm* and what /dev/serial/by-id
// links to, sorted by path; ttyS ports without a UART behind them are left out.
std::vector<SerialDeviceInfo> ListSerialDevices();

// Where the listing looks; tests point it at a fake tree.
struct SerialDeviceFolders {
    std::filesystem::path dev = "/dev";               // by-id links in dev/serial/by-id
    std::filesystem::path sysTty = "/sys/class/tty";  // tells a real UART from an empty ttyS
    // Whether a path is a device node; null: a character device.
    std::function<bool(const std::filesystem::path&)> isDevice;
};
std::vector<SerialDeviceInfo> ListSerialDevices(const SerialDeviceFolders& folders);

// The master side of a pseudo-terminal: what a TNC simulator holds. The slave
// side is a serial port for the program under test. The slave is set raw.
class PseudoTerminal {
  public:
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    static std::unique_ptr<PseudoTerminal> Open(std::string& error);

    // "/dev/pts/7".
    const std::string& SlavePath() const { return slavePath_; }
    // Reads what the slave side wrote, waiting at most `timeout` for the first
    // byte (Ok with 0 bytes on time-out). The master keeps a slave descriptor of
    // its own, so a program may close and reopen the slave at any time.
    SerialIo Read(std::uint8_t* buffer, std::size_t count, std::chrono::milliseconds timeout);
    // Writes everything or fails (waits while the slave does not read).
    SerialIo Write(const std::uint8_t* buffer, std::size_t count);
    // Destroying this object is a hang-up for the program on the slave side.

  private:
    PseudoTerminal() = default;
    int master_ = -1;
    int keepSlave_ = -1;  // see Read
    std::string slavePath_;
};

}  // namespace tarvo::platform
