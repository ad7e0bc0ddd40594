#include "platform/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "tests/support/TempFolder.h"

using namespace tarvo::platform;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

std::unique_ptr<PseudoTerminal> NewPty() {
    std::string error;
    auto pty = PseudoTerminal::Open(error);
    EXPECT_TRUE(pty) << error;
    return pty;
}

std::unique_ptr<SerialPort> OpenPort(const std::string& path, int baud = 9600) {
    std::string error;
    auto port = SerialPort::Open(path, baud, error);
    EXPECT_TRUE(port) << error;
    EXPECT_EQ(error, "");
    return port;
}

Bytes Sequence(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return b;
}

void MasterSend(PseudoTerminal& pty, const Bytes& bytes) {
    const SerialIo io = pty.Write(bytes.data(), bytes.size());
    ASSERT_TRUE(io.Ok()) << io.error;
    ASSERT_EQ(io.count, bytes.size());
}

// What the master receives until n bytes came or `patience` ran out.
Bytes MasterReceive(PseudoTerminal& pty, std::size_t n, milliseconds patience = 5s) {
    Bytes got(n);
    std::size_t have = 0;
    const auto end = Clock::now() + patience;
    while (have < n && Clock::now() < end) {
        const SerialIo io = pty.Read(got.data() + have, n - have, 100ms);
        if (!io.Ok()) break;
        have += io.count;
    }
    got.resize(have);
    return got;
}

// What the port receives until n bytes came or `patience` ran out; changes its time-outs.
Bytes PortReceive(SerialPort& port, std::size_t n, milliseconds patience = 5s) {
    port.SetTimeouts({0, 0, 100, 0, 0});
    Bytes got(n);
    std::size_t have = 0;
    const auto end = Clock::now() + patience;
    while (have < n && Clock::now() < end) {
        const SerialIo io = port.Read(got.data() + have, n - have);
        if (!io.Ok()) break;
        have += io.count;
    }
    got.resize(have);
    return got;
}

// The slave in the state a login terminal leaves it: echo, line editing,
// CR/LF mapping, XON/XOFF, 7E1. Open has to undo all of that.
void MakeCooked(const std::string& slave) {
    const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    termios t;
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_iflag |= ICRNL | IXON | IXOFF | ISTRIP;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CRTSCTS;
    t.c_cc[VMIN] = 1;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
}

// Sends batches from the master at set times after its start until it is destroyed;
// batches not yet due then are dropped.
class Feeder {
  public:
    struct Batch {
        milliseconds at;
        Bytes bytes;
    };
    Feeder(PseudoTerminal& pty, std::vector<Batch> batches)
        : thread_([this, &pty, batches = std::move(batches)] {
              const auto start = Clock::now();
              for (const Batch& b : batches) {
                  std::unique_lock lock(mutex_);
                  if (cv_.wait_until(lock, start + b.at, [this] { return stop_; })) return;
                  lock.unlock();
                  pty.Write(b.bytes.data(), b.bytes.size());
              }
          }) {}
    ~Feeder() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;  // last: starts once the rest exists
};

}  // namespace

TEST(SerialPort, BytesCrossUnchangedInBothDirections) {
    auto pty = NewPty();
    ASSERT_TRUE(pty);
    MakeCooked(pty->SlavePath());
    auto port = OpenPort(pty->SlavePath());
    ASSERT_TRUE(port);
    Bytes everyValue(256 * 4);
    for (std::size_t i = 0; i < everyValue.size(); ++i)
        everyValue[i] = static_cast<std::uint8_t>(i);
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"NUL", {0x00}},
        {"XON and XOFF", {0x11, 0x13, 0x11}},
        {"CR and LF", {0x0D, 0x0A, 0x0D, 0x0D}},
        {"interrupt, quit, suspend, end of file, erase, kill",
         {0x03, 0x1C, 0x1A, 0x04, 0x7F, 0x08, 0x15, 0x17, 0x16}},
        {"upper half", {0x80, 0xC0, 0xC1, 0xFF}},
        {"every value", everyValue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MasterSend(*pty, c.bytes);
        EXPECT_EQ(PortReceive(*port, c.bytes.size()), c.bytes);

        const SerialIo io = port->Write(c.bytes.data(), c.bytes.size());
        EXPECT_TRUE(io.Ok());
        EXPECT_EQ(io.count, c.bytes.size());
        EXPECT_TRUE(port->Drain());
        // An echo of the master's bytes would arrive first and spoil this.
        EXPECT_EQ(MasterReceive(*pty, c.bytes.size()), c.bytes);
    }
    std::uint8_t extra[16];
    const SerialIo io = pty->Read(extra, sizeof extra, 200ms);
    EXPECT_TRUE(io.Ok());
    EXPECT_EQ(io.count, 0u) << "the master got bytes nobody sent";
}

TEST(SerialPort, OpenSetsRawEightNoneOneWithoutFlowControl) {
    const struct {
        int baud;
        speed_t code;
    } cases[] = {
        {50, B50},           {9600, B9600}, {38400, B38400}, {115200, B115200},
#ifdef B4000000
        {4000000, B4000000},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        auto pty = NewPty();
        ASSERT_TRUE(pty);
        MakeCooked(pty->SlavePath());
        // Opened before the port takes the slave for itself.
        const int probe = ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(probe, 0);
        {
            auto port = OpenPort(pty->SlavePath(), c.baud);
            ASSERT_TRUE(port);
            termios t;
            ASSERT_EQ(::tcgetattr(probe, &t), 0);
            EXPECT_EQ(::cfgetispeed(&t), c.code);
            EXPECT_EQ(::cfgetospeed(&t), c.code);
            EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
            EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
            EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
            EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
            EXPECT_EQ(t.c_oflag & OPOST, 0u);
            EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
            EXPECT_EQ(t.c_cc[VMIN], 0);
            EXPECT_EQ(t.c_cc[VTIME], 0);
        }
        ::close(probe);
    }
}

TEST(SerialPort, ReadTimeouts) {
    auto pty = NewPty();
    ASSERT_TRUE(pty);
    auto port = OpenPort(pty->SlavePath());
    ASSERT_TRUE(port);
    // Bytes that come at all come well inside the limits; bytes that would show
    // a limit not kept come seconds later. Durations are checked one way only.
    const struct {
        const char* name;
        SerialTimeouts timeouts;
        std::size_t ask;
        Bytes before;                      // pending when the read starts
        std::vector<Feeder::Batch> later;  // after the read started
        std::size_t expect;
        milliseconds notBefore;
        milliseconds within;
    } cases[] = {
        {"constant, silence", {0, 0, 300}, 10, {}, {}, 0, 300ms, 60s},
        {"constant, fewer bytes than asked",
         {0, 0, 400},
         10,
         {1, 2, 3},
         {{4000ms, Bytes(7, 0x55)}},
         3,
         400ms,
         60s},
        {"per byte counts the bytes asked for",
         {0, 80, 0},
         5,
         {9},
         {{4000ms, Bytes(4, 0x55)}},
         1,
         400ms,
         60s},
        {"interval starts with the first byte",
         {150, 0, 0},
         10,
         {},
         {{500ms, {1, 2, 3}}, {5000ms, Bytes(7, 0x55)}},
         3,
         500ms,
         60s},
        {"interval cuts after a pause",
         {2000, 0, 0},
         10,
         {1, 2},
         {{200ms, {3, 4}}, {7000ms, Bytes(6, 0x55)}},
         4,
         2000ms,
         60s},
        {"total ends a read whose bytes keep within the interval",
         {5000, 0, 1500},
         10,
         {1},
         {{100ms, {2}}, {3000ms, Bytes(8, 0x55)}},
         2,
         1500ms,
         60s},
        {"all zero waits for every byte",
         {0, 0, 0},
         6,
         {1, 2},
         {{300ms, {3, 4}}, {600ms, {5, 6}}},
         6,
         600ms,
         60s},
        {"enough bytes end the read at once", {0, 0, 20000}, 4, {1, 2, 3, 4}, {}, 4, 0ms, 10s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(port->Purge());
        if (!c.before.empty()) MasterSend(*pty, c.before);
        port->SetTimeouts(c.timeouts);
        Bytes buffer(c.ask);
        SerialIo io;
        const auto start = Clock::now();
        {
            Feeder feeder(*pty, c.later);
            io = port->Read(buffer.data(), buffer.size());
        }
        const auto took = Clock::now() - start;
        EXPECT_TRUE(io.Ok()) << static_cast<int>(io.status);
        EXPECT_EQ(io.count, c.expect);
        EXPECT_GE(took, c.notBefore);
        EXPECT_LT(took, c.within);
        buffer.resize(std::min(io.count, c.expect));
        Bytes expected = c.before;
        for (const auto& b : c.later)
            expected.insert(expected.end(), b.bytes.begin(), b.bytes.end());
        expected.resize(buffer.size());
        EXPECT_EQ(buffer, expected);
    }
}

TEST(SerialPort, WriteTimeouts) {
    const Bytes data = Sequence(1 << 20);  // far more than a pty buffers
    {
        SCOPED_TRACE("limit, nobody reads: the part that fits");
        auto pty = NewPty();
        ASSERT_TRUE(pty);
        auto port = OpenPort(pty->SlavePath());
        ASSERT_TRUE(port);
        port->SetTimeouts({0, 0, 0, 0, 300});
        const auto start = Clock::now();
        auto write =
            std::async(std::launch::async, [&] { return port->Write(data.data(), data.size()); });
        if (write.wait_for(30s) != std::future_status::ready) {
            ADD_FAILURE() << "the write time-out was not kept";
            pty.reset();  // the hang-up ends the write
            write.wait();
            return;
        }
        const SerialIo io = write.get();
        EXPECT_GE(Clock::now() - start, 300ms);
        EXPECT_TRUE(io.Ok());
        EXPECT_GT(io.count, 0u);
        EXPECT_LT(io.count, data.size());
        // What was counted as written arrives, and nothing more.
        const Bytes got = MasterReceive(*pty, data.size(), 1s);
        EXPECT_EQ(got.size(), io.count);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
    }
    {
        SCOPED_TRACE("no limit, a slow reader: everything");
        auto pty = NewPty();
        ASSERT_TRUE(pty);
        auto port = OpenPort(pty->SlavePath());
        ASSERT_TRUE(port);
        port->SetTimeouts({});
        Bytes got;
        std::thread reader([&] {
            std::this_thread::sleep_for(300ms);  // let the writer fill the buffer first
            got = MasterReceive(*pty, data.size(), 60s);
        });
        const SerialIo io = port->Write(data.data(), data.size());
        reader.join();
        EXPECT_TRUE(io.Ok());
        EXPECT_EQ(io.count, data.size());
        EXPECT_TRUE(got == data);
    }
}

TEST(SerialPort, PurgeDiscardsPendingInput) {
    auto pty = NewPty();
    ASSERT_TRUE(pty);
    const int probe = ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    auto port = OpenPort(pty->SlavePath());
    ASSERT_TRUE(port);
    MasterSend(*pty, {'s', 't', 'a', 'l', 'e'});
    // Purge only once the bytes are readable, so it has something to discard.
    pollfd p{probe, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    EXPECT_TRUE(port->Purge());
    port->SetTimeouts({0, 0, 300, 0, 0});
    std::uint8_t buffer[16];
    const SerialIo io = port->Read(buffer, sizeof buffer);
    EXPECT_TRUE(io.Ok());
    EXPECT_EQ(io.count, 0u);
    MasterSend(*pty, {'f', 'r', 'e', 's', 'h'});
    EXPECT_EQ(PortReceive(*port, 5), (Bytes{'f', 'r', 'e', 's', 'h'}));
    ::close(probe);
}

TEST(SerialPort, SecondOpenOfAPortInUseFails) {
    auto pty = NewPty();
    ASSERT_TRUE(pty);
    const std::string path = pty->SlavePath();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        auto first = OpenPort(path);
        ASSERT_TRUE(first);
        std::string error;
        EXPECT_FALSE(SerialPort::Open(path, 9600, error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find("in use"), std::string::npos) << error;
        // The refused attempt took nothing from the holder.
        MasterSend(*pty, {'o', 'k'});
        EXPECT_EQ(PortReceive(*first, 2), (Bytes{'o', 'k'}));
    }  // the next round opens again after the first holder closed
}

TEST(SerialPort, OpenRefuses) {
    auto pty = NewPty();
    ASSERT_TRUE(pty);
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("tarvo-serial-" + std::to_string(::getpid()));
    std::ofstream(file) << "not a port";
    const std::string missing = "/dev/tarvo-no-such-port";
    const struct {
        const char* name;
        std::string path;
        int baud;
        std::string says;
    } cases[] = {
        {"baud 0", pty->SlavePath(), 0, "baud"},
        {"a rate termios lacks", pty->SlavePath(), 12345, "12345"},
        {"a negative rate", pty->SlavePath(), -9600, "baud"},
        {"baud before the path", missing, 0, "baud"},
        {"a path that does not exist", missing, 9600, std::strerror(ENOENT)},
        {"a character device that is no terminal", "/dev/null", 9600, "not a serial port"},
        {"a regular file", file.string(), 9600, "not a serial port"},
        {"a directory", "/tmp", 9600, std::strerror(EISDIR)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_FALSE(SerialPort::Open(c.path, c.baud, error));
        EXPECT_NE(error.find(c.path), std::string::npos) << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    // The refusals left the pty free.
    EXPECT_TRUE(OpenPort(pty->SlavePath()));
    std::filesystem::remove(file);
}

TEST(SerialBaudRates, TheTermiosRatesOnly) {
    for (int baud : {50, 75, 110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        EXPECT_TRUE(IsSupportedBaudRate(baud)) << baud;
    for (int baud : {0, -1, -9600, 1, 49, 9601, 12345, 14400, 28800, 4000001, 1 << 30})
        EXPECT_FALSE(IsSupportedBaudRate(baud)) << baud;
}

TEST(SerialPort, HangUpWhenThePseudoTerminalGoes) {
    enum class Then { Read, ReadWithoutLimit, Write, ReadWaitingMeanwhile };
    const struct {
        const char* name;
        Then then;
    } cases[] = {
        {"a read with a limit", Then::Read},
        {"a read that would wait for ever", Then::ReadWithoutLimit},
        {"a write", Then::Write},
        {"a read already waiting", Then::ReadWaitingMeanwhile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto pty = NewPty();
        ASSERT_TRUE(pty);
        auto port = OpenPort(pty->SlavePath());
        ASSERT_TRUE(port);
        std::uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        SerialIo io;
        if (c.then == Then::ReadWaitingMeanwhile) {
            // A limit, so that a missed hang-up fails as Ok-0 instead of hanging.
            port->SetTimeouts({0, 0, 20000, 0, 0});
            std::thread closer([&] {
                std::this_thread::sleep_for(200ms);
                pty.reset();
            });
            io = port->Read(buffer, sizeof buffer);
            closer.join();
        } else {
            pty.reset();
            port->SetTimeouts(c.then == Then::ReadWithoutLimit
                                  ? SerialTimeouts{}
                                  : SerialTimeouts{0, 0, 2000, 0, 2000});
            io = c.then == Then::Write ? port->Write(buffer, sizeof buffer)
                                       : port->Read(buffer, sizeof buffer);
        }
        EXPECT_EQ(io.status, SerialIo::Status::HangUp) << "count " << io.count;
        EXPECT_EQ(io.count, 0u);
        // The line stays gone.
        EXPECT_EQ(port->Read(buffer, sizeof buffer).status, SerialIo::Status::HangUp);
        EXPECT_FALSE(port->Drain());
    }
}

TEST(PseudoTerminal, TheSlaveMayBeClosedAndReopened) {
    auto pty = NewPty();
    ASSERT_TRUE(pty);
    for (const char* text : {"first", "second", "third"}) {
        SCOPED_TRACE(text);
        const Bytes bytes(text, text + std::strlen(text));
        {
            auto port = OpenPort(pty->SlavePath());
            ASSERT_TRUE(port);
            ASSERT_EQ(port->Write(bytes.data(), bytes.size()).count, bytes.size());
            EXPECT_EQ(MasterReceive(*pty, bytes.size()), bytes);
            MasterSend(*pty, bytes);
            EXPECT_EQ(PortReceive(*port, bytes.size()), bytes);
        }
        // No program on the slave now: quiet, not a hang-up.
        std::uint8_t buffer[8];
        const SerialIo io = pty->Read(buffer, sizeof buffer, 200ms);
        EXPECT_TRUE(io.Ok()) << static_cast<int>(io.status);
        EXPECT_EQ(io.count, 0u);
    }
}

TEST(PseudoTerminal, WriteHandsOverMoreThanTheBufferHolds) {
    auto pty = NewPty();
    ASSERT_TRUE(pty);
    auto port = OpenPort(pty->SlavePath());
    ASSERT_TRUE(port);
    const Bytes data = Sequence(512 * 1024);
    Bytes got;
    std::thread reader([&] { got = PortReceive(*port, data.size(), 60s); });
    const SerialIo io = pty->Write(data.data(), data.size());
    reader.join();
    EXPECT_TRUE(io.Ok()) << io.error;
    EXPECT_EQ(io.count, data.size());
    EXPECT_TRUE(got == data);
}

TEST(SerialDevices, ListIsSortedUniqueAndLeavesOutPseudoTerminals) {
    auto pty = NewPty();
    ASSERT_TRUE(pty);
    const auto list = ListSerialDevices();
    // Text compares as text, digit runs as numbers: ttyS2 before ttyS10.
    auto key = [](const std::string& s) {
        std::vector<std::pair<std::string, unsigned long long>> parts;
        std::size_t i = 0;
        while (i < s.size()) {
            const std::size_t d = s.find_first_of("0123456789", i);
            const std::size_t e =
                d == std::string::npos ? s.size() : s.find_first_not_of("0123456789", d);
            const std::size_t end = e == std::string::npos ? s.size() : e;
            parts.emplace_back(s.substr(i, (d == std::string::npos ? s.size() : d) - i),
                               d == std::string::npos ? 0 : std::stoull(s.substr(d, end - d)));
            i = end;
        }
        return parts;
    };
    std::set<std::string> seen;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const SerialDeviceInfo& d = list[i];
        SCOPED_TRACE(d.path);
        EXPECT_EQ(d.path.rfind("/dev/", 0), 0u);
        EXPECT_NE(d.path, pty->SlavePath());
        EXPECT_TRUE(seen.insert(d.path).second) << "listed twice";
        EXPECT_TRUE(d.stableName.empty() || d.stableName.rfind("/dev/serial/by-id/", 0) == 0)
            << d.stableName;
        if (i > 0) {
            EXPECT_LT(key(list[i - 1].path), key(d.path));
        }
    }
}

// A fake /dev and /sys/class/tty: regular files stand in for the device nodes.
TEST(SerialDevices, ByIdNamesReplaceKernelNamesInAFakeTree) {
    tarvo::test::TempFolder root("tarvo-serial");
    const auto dev = root / "dev";
    const auto sys = root / "sys";
    using tarvo::test::TempFolder;
    for (const char* name : {"ttyS0", "ttyS1", "ttyS10", "ttyUSB0", "ttyUSB1", "ttyACM0", "tty0",
                             "ttyUSBx", "console"})
        TempFolder::Write(dev / name, "");
    TempFolder::Write(sys / "ttyS0" / "type", "4\n");
    TempFolder::Write(sys / "ttyS1" / "type", "0\n");  // no UART behind it
    TempFolder::Write(sys / "ttyS10" / "type", "4\n");
    const auto byId = dev / "serial" / "by-id";
    std::filesystem::create_directories(byId);
    std::filesystem::create_symlink("../../ttyUSB0", byId / "usb-FTDI_FT232R_A1-if00-port0");
    // Two names for one adapter: always the same one is shown.
    std::filesystem::create_symlink("../../ttyACM0", byId / "usb-TNC_Pi_B-if00");
    std::filesystem::create_symlink("../../ttyACM0", byId / "usb-TNC_Pi_A-if00");
    std::filesystem::create_symlink("../../ttyACM7", byId / "usb-unplugged-if00");  // dangling

    SerialDeviceFolders folders;
    folders.dev = dev;
    folders.sysTty = sys;
    folders.isDevice = [](const std::filesystem::path& p) {
        return std::filesystem::is_regular_file(p);
    };
    const auto list = ListSerialDevices(folders);

    const std::string d = std::filesystem::canonical(dev).string();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {d + "/ttyACM0", d + "/serial/by-id/usb-TNC_Pi_A-if00"},
        {d + "/ttyS0", ""},
        {d + "/ttyS10", ""},
        {d + "/ttyUSB0", d + "/serial/by-id/usb-FTDI_FT232R_A1-if00-port0"},
        {d + "/ttyUSB1", ""},
    };
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& info : list) got.emplace_back(info.path, info.stableName);
    EXPECT_EQ(got, expected);
}
