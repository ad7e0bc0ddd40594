#include "platform/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace tarvo::platform {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct BaudEntry {
    int baud;
    speed_t code;
};

constexpr BaudEntry kBaudRates[] = {
    {50, B50},           {75, B75},     {110, B110},   {134, B134},     {150, B150},
    {200, B200},         {300, B300},   {600, B600},   {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

const BaudEntry* FindBaud(int baud) {
    for (const BaudEntry& e : kBaudRates)
        if (e.baud == baud) return &e;
    return nullptr;
}

// Far beyond any sensible time-out, small enough for time_point arithmetic.
constexpr std::int64_t kMaxTotalMs = 10'000'000'000;

std::int64_t TotalMs(int perByte, int constant, std::size_t count) {
    const auto per = static_cast<std::uint64_t>(std::max(0, perByte));
    const auto base = static_cast<std::uint64_t>(std::max(0, constant));
    if (per != 0 && count > (static_cast<std::uint64_t>(kMaxTotalMs) - base) / per)
        return kMaxTotalMs;
    return static_cast<std::int64_t>(per * count + base);
}

// poll() time-out until `deadline`, rounded up so that a poll that times out
// has really reached the deadline.
int MsUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<milliseconds>(left).count();
    return static_cast<int>(std::min<std::int64_t>(ms, INT_MAX));
}

// The errors a tty gives once its device is gone (hung up, unplugged).
bool IsHangUpErrno(int e) {
    return e == EIO || e == ENXIO || e == ENODEV;
}

SerialIo Done(SerialIo::Status status, std::size_t count, int error = 0) {
    SerialIo io;
    io.status = status;
    io.count = count;
    io.error = error;
    return io;
}

SerialIo Failed(std::size_t count, int error) {
    return IsHangUpErrno(error) ? Done(SerialIo::Status::HangUp, count, error)
                                : Done(SerialIo::Status::Error, count, error);
}

std::string Reason(const std::string& path, const char* what, int e) {
    return path + ": " + what + " (" + std::strerror(e) + ")";
}

// ttyS nodes exist for every possible 8250 line; only those with a UART
// detected behind them report a port type other than 0 (unknown).
bool HasUart(const fs::path& sysTty, const std::string& name) {
    const fs::path sys = sysTty / name;
    std::ifstream type(sys / "type");
    int value = 0;
    if (type >> value) return value != 0;
    std::error_code ec;
    return fs::exists(sys / "device" / "driver", ec);
}

bool IsCandidateName(const std::string& name) {
    static constexpr const char* kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};
    for (const char* prefix : kPrefixes) {
        const std::size_t n = std::strlen(prefix);
        if (name.size() <= n || name.compare(0, n, prefix) != 0) continue;
        if (std::all_of(name.begin() + static_cast<std::ptrdiff_t>(n), name.end(),
                        [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

bool IsCharDevice(const fs::path& path) {
    std::error_code ec;
    return fs::is_character_file(path, ec);
}

// Digit runs compare by value, so ttyS2 sorts before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && digit(a[ei])) ++ei;
            while (ej < b.size() && digit(b[ej])) ++ej;
            // Without leading zeros the longer run is the larger number.
            std::size_t si = i;
            std::size_t sj = j;
            while (si + 1 < ei && a[si] == '0') ++si;
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj;
            const int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0) return c < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

}  // namespace

bool IsSupportedBaudRate(int baud) {
    return FindBaud(baud) != nullptr;
}

// ---------------------------------------------------------------------------
// SerialPort

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& path, int baud,
                                             std::string& error) {
    error.clear();
    const BaudEntry* speed = FindBaud(baud);
    if (!speed) {
        error = path + ": unsupported baud rate " + std::to_string(baud);
        return nullptr;
    }
    // O_NONBLOCK: a port with modem control would otherwise wait for carrier here.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        error = Reason(path, e == EBUSY ? "in use by another program" : "cannot open", e);
        return nullptr;
    }
    bool madeExclusive = false;
    auto reject = [&](std::string message) -> std::unique_ptr<SerialPort> {
        if (madeExclusive) ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        error = std::move(message);
        return nullptr;
    };

    struct stat st;
    if (::fstat(fd, &st) != 0) return reject(Reason(path, "cannot open", errno));
    if (!S_ISCHR(st.st_mode)) return reject(Reason(path, "not a serial port", ENOTTY));
    termios tio;
    if (!::isatty(fd) || ::tcgetattr(fd, &tio) != 0)
        return reject(Reason(path, "not a serial port", errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        return reject(
            Reason(path, e == EWOULDBLOCK ? "in use by another program" : "cannot lock", e));
    }
#ifdef TIOCGEXCL
    // Privileged users get past TIOCEXCL; for them the flag is checked by hand.
    int excl = 0;
    if (::ioctl(fd, TIOCGEXCL, &excl) == 0 && excl != 0)
        return reject(Reason(path, "in use by another program", EBUSY));
#endif
    // Not every driver knows it; the flock above still keeps us apart.
    madeExclusive = ::ioctl(fd, TIOCEXCL) == 0;

    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed->code) != 0 || ::cfsetospeed(&tio, speed->code) != 0)
        return reject(Reason(path, "cannot set the speed", errno));
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return reject(Reason(path, "cannot set the line parameters", errno));
    // tcsetattr succeeds when any part was taken; a driver may refuse a speed silently.
    termios now;
    if (::tcgetattr(fd, &now) != 0)
        return reject(Reason(path, "cannot read the line parameters", errno));
    if (::cfgetospeed(&now) != speed->code || (now.c_cflag & CSIZE) != CS8 ||
        (now.c_cflag & PARENB) != 0)
        return reject(path + ": the device does not take " + std::to_string(baud) + " baud 8N1");
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIS, &lines) != 0) {
        // A pty has no modem lines.
    }

    std::unique_ptr<SerialPort> port(new SerialPort());
    port->fd_ = fd;
    port->baud_ = baud;
    port->path_ = path;
    return port;
}

SerialPort::~SerialPort() {
    if (fd_ < 0) return;
    // The exclusive flag belongs to the tty, not to our descriptor: it would
    // outlive us while another descriptor (a pty master's) keeps the tty open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

SerialIo SerialPort::Read(std::uint8_t* buffer, std::size_t count) {
    if (count == 0) return Done(SerialIo::Status::Ok, 0);
    const std::int64_t totalMs =
        TotalMs(timeouts_.readTotalPerByte, timeouts_.readTotalConstant, count);
    const Clock::time_point totalEnd = Clock::now() + milliseconds(totalMs);
    const milliseconds interval(std::max(0, timeouts_.readInterval));
    Clock::time_point lastByte;
    std::size_t got = 0;
    while (got < count) {
        int wait = totalMs > 0 ? MsUntil(totalEnd) : -1;
        if (interval.count() > 0 && got > 0) {
            const int untilGap = MsUntil(lastByte + interval);
            wait = wait < 0 ? untilGap : std::min(wait, untilGap);
        }
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0) {
            if (errno == EINTR) continue;
            return Failed(got, errno);
        }
        if (r == 0) break;  // a time-out
        if (p.revents & POLLNVAL) return Done(SerialIo::Status::Error, got, EBADF);
        if (p.revents & POLLIN) {
            const ssize_t n = ::read(fd_, buffer + got, count - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                lastByte = Clock::now();
                continue;
            }
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                return Failed(got, errno);
            }
            // With VMIN 0 a tty also reads 0 when it has nothing; only a hung-up
            // tty says readable, reads 0 and refuses its attributes.
            termios tio;
            if ((p.revents & (POLLHUP | POLLERR)) || ::tcgetattr(fd_, &tio) != 0)
                return Done(SerialIo::Status::HangUp, got);
            if (wait == 0) break;
            continue;
        }
        if (p.revents & (POLLHUP | POLLERR)) return Done(SerialIo::Status::HangUp, got);
    }
    return Done(SerialIo::Status::Ok, got);
}

SerialIo SerialPort::Write(const std::uint8_t* buffer, std::size_t count) {
    const std::int64_t totalMs =
        TotalMs(timeouts_.writeTotalPerByte, timeouts_.writeTotalConstant, count);
    const Clock::time_point totalEnd = Clock::now() + milliseconds(totalMs);
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd_, buffer + sent, count - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return Failed(sent, errno);
        }
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, totalMs > 0 ? MsUntil(totalEnd) : -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return Failed(sent, errno);
        }
        if (r == 0) break;  // a time-out
        if (p.revents & POLLNVAL) return Done(SerialIo::Status::Error, sent, EBADF);
        if (p.revents & POLLOUT) continue;  // write() tells whether the line is gone
        if (p.revents & (POLLHUP | POLLERR)) return Done(SerialIo::Status::HangUp, sent);
    }
    return Done(SerialIo::Status::Ok, sent);
}

bool SerialPort::Purge() {
    return ::tcflush(fd_, TCIOFLUSH) == 0;
}

bool SerialPort::Drain() {
    // tcdrain() may block without end on a stuck adapter, so the queue is watched instead.
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) return !IsHangUpErrno(errno);
    const auto bytes = static_cast<std::size_t>(std::max(0, queued));
    std::int64_t limitMs =
        TotalMs(timeouts_.writeTotalPerByte, timeouts_.writeTotalConstant, bytes);
    if (limitMs == 0) {
        // Ten bits a byte, twice over, and a little for the UART's own buffer.
        limitMs = static_cast<std::int64_t>(bytes) * 20'000 / std::max(1, baud_) + 500;
    }
    const Clock::time_point end = Clock::now() + milliseconds(limitMs);
    // The time a handful of bytes needs, as the step between two looks.
    const int step = static_cast<int>(std::clamp(160'000 / std::max(1, baud_), 1, 20));
    while (queued > 0) {
        const int left = MsUntil(end);
        if (left == 0) return false;
        ::poll(nullptr, 0, std::min(step, left));
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) return !IsHangUpErrno(errno);
    }
#if defined(TIOCSERGETLSR) && defined(TIOCSER_TEMT)
    // The queue is empty; a UART may still hold bytes in its FIFO and shifter.
    for (;;) {
        unsigned int lsr = 0;
        if (::ioctl(fd_, TIOCSERGETLSR, &lsr) != 0) return !IsHangUpErrno(errno);
        if (lsr & TIOCSER_TEMT) return true;
        const int left = MsUntil(end);
        if (left == 0) return false;
        ::poll(nullptr, 0, std::min(step, left));
    }
#else
    return true;
#endif
}

// ---------------------------------------------------------------------------
// Device list

std::vector<SerialDeviceInfo> ListSerialDevices() {
    return ListSerialDevices(SerialDeviceFolders{});
}

std::vector<SerialDeviceInfo> ListSerialDevices(const SerialDeviceFolders& folders) {
    const auto isDevice = [&folders](const fs::path& p) {
        return folders.isDevice ? folders.isDevice(p) : IsCharDevice(p);
    };
    std::error_code ec;
    // The by-id targets come back canonical; the folder's own entries must match them.
    fs::path dev = fs::weakly_canonical(folders.dev, ec);
    if (ec) dev = folders.dev;
    std::map<std::string, std::string> stable;  // canonical device -> by-id link
    for (fs::directory_iterator it(dev / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkEc;
        const fs::path target = fs::canonical(it->path(), linkEc);
        if (linkEc || !isDevice(target)) continue;
        const std::string link = it->path().string();
        auto [pos, fresh] = stable.emplace(target.string(), link);
        if (!fresh && link < pos->second) pos->second = link;  // the same one every time
    }

    std::map<std::string, SerialDeviceInfo> found;
    for (fs::directory_iterator it(dev, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsCandidateName(name) || !isDevice(it->path())) continue;
        if (name.compare(0, 4, "ttyS") == 0 && !HasUart(folders.sysTty, name)) continue;
        found[it->path().string()].path = it->path().string();
    }
    for (const auto& [target, link] : stable) {
        SerialDeviceInfo& info = found[target];
        info.path = target;
        info.stableName = link;
    }

    std::vector<SerialDeviceInfo> list;
    list.reserve(found.size());
    for (auto& [path, info] : found) list.push_back(std::move(info));
    std::sort(list.begin(), list.end(), [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) {
        return NaturalLess(a.path, b.path);
    });
    return list;
}

// ---------------------------------------------------------------------------
// PseudoTerminal

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string& error) {
    error.clear();
    std::unique_ptr<PseudoTerminal> pty(new PseudoTerminal());
    auto fail = [&](const char* what, int e) {
        error = std::string("pseudo-terminal: ") + what + " (" + std::strerror(e) + ")";
        return nullptr;
    };
    pty->master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->master_ < 0) return fail("cannot open", errno);
    if (::grantpt(pty->master_) != 0) return fail("grantpt", errno);
    if (::unlockpt(pty->master_) != 0) return fail("unlockpt", errno);
    char name[128];
    if (const int e = ::ptsname_r(pty->master_, name, sizeof name); e != 0)
        return fail("ptsname", e);
    pty->slavePath_ = name;
    const int flags = ::fcntl(pty->master_, F_GETFL);
    if (flags < 0 || ::fcntl(pty->master_, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("cannot make the master non-blocking", errno);

    pty->keepSlave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty->keepSlave_ < 0) return fail("cannot open the slave", errno);
    termios tio;
    if (::tcgetattr(pty->keepSlave_, &tio) != 0) return fail("tcgetattr", errno);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(pty->keepSlave_, TCSANOW, &tio) != 0) return fail("tcsetattr", errno);
    return pty;
}

PseudoTerminal::~PseudoTerminal() {
    // Closing the master hangs up the slave, whoever else holds it.
    if (master_ >= 0) ::close(master_);
    if (keepSlave_ >= 0) ::close(keepSlave_);
}

SerialIo PseudoTerminal::Read(std::uint8_t* buffer, std::size_t count,
                              std::chrono::milliseconds timeout) {
    if (count == 0) return Done(SerialIo::Status::Ok, 0);
    const Clock::time_point end = Clock::now() + std::max(timeout, milliseconds(0));
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, MsUntil(end));
        if (r < 0) {
            if (errno == EINTR) continue;
            return Failed(0, errno);
        }
        if (r == 0) return Done(SerialIo::Status::Ok, 0);
        if (p.revents & POLLNVAL) return Done(SerialIo::Status::Error, 0, EBADF);
        const ssize_t n = ::read(master_, buffer, count);
        if (n > 0) return Done(SerialIo::Status::Ok, static_cast<std::size_t>(n));
        if (n < 0 && errno != EINTR && errno != EAGAIN) return Failed(0, errno);
        if (n == 0 && (p.revents & (POLLHUP | POLLERR))) return Done(SerialIo::Status::HangUp, 0);
        if (MsUntil(end) == 0) return Done(SerialIo::Status::Ok, 0);
    }
}

SerialIo PseudoTerminal::Write(const std::uint8_t* buffer, std::size_t count) {
    // A slave that reads nothing for this long is not coming back.
    constexpr milliseconds kStall(5000);
    std::size_t sent = 0;
    Clock::time_point progress = Clock::now();
    while (sent < count) {
        const ssize_t n = ::write(master_, buffer + sent, count - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            progress = Clock::now();
            continue;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return Failed(sent, errno);
        }
        const int left = MsUntil(progress + kStall);
        if (left == 0) return Done(SerialIo::Status::Error, sent, ETIMEDOUT);
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, left) < 0 && errno != EINTR) return Failed(sent, errno);
        if (p.revents & POLLNVAL) return Done(SerialIo::Status::Error, sent, EBADF);
    }
    return Done(SerialIo::Status::Ok, sent);
}

}  // namespace tarvo::platform
