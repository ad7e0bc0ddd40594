#include "tests/support/FakeAgwpeEngine.h"

#include "core/GlobalU.h"
#include "platform/TcpSocket.h"

namespace tarvo::test {

using devices::agwpe::TFrame;
using namespace std::chrono_literals;

namespace {

std::string U32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Encode(const TFrame& f) {
    std::string out, error;
    devices::agwpe::EncodeFrame(f, out, error);
    return out;
}

}  // namespace

FakeAgwpeEngine::FakeAgwpeEngine(Options options)
    : options_(std::move(options)), outstanding_(options_.outstanding) {
    std::string error;
    listener_ = platform::TcpListener::Listen(0, error);
    if (!listener_) return;
    port_ = listener_->Port();
    thread_ = std::thread([this] { Run(); });
}

FakeAgwpeEngine::~FakeAgwpeEngine() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        if (client_) client_->Shutdown();
    }
    if (thread_.joinable()) thread_.join();
}

std::string FakeAgwpeEngine::Notice(const std::string& text) {
    return text + "\r" + std::string(1, '\0');
}

void FakeAgwpeEngine::Run() {
    devices::agwpe::TReader reader;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
        std::shared_ptr<platform::TcpStream> client;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            client = client_;
        }
        if (!client) {
            bool refuse;
            {
                std::lock_guard lock(mutex_);
                refuse = refuse_;
            }
            auto accepted = refuse ? nullptr : listener_->Accept(50ms);
            if (refuse) std::this_thread::sleep_for(20ms);
            if (!accepted) continue;
            reader.Clear();
            std::lock_guard lock(mutex_);
            client_ = std::move(accepted);
            ++logins_;
            monitor_ = false;
            changed_.notify_all();
            continue;
        }
        const platform::TcpIo io = client->ReadSome(buffer.data(), buffer.size(), 20ms);
        if (!io.Ok()) {
            std::lock_guard lock(mutex_);
            if (client_ == client) client_.reset();
            changed_.notify_all();
            continue;
        }
        reader.Append(buffer.data(), io.count);
        for (;;) {
            TFrame f;
            const auto r = reader.Next(f);
            if (r != devices::agwpe::TReader::Result::Frame) break;
            {
                std::lock_guard lock(mutex_);
                frames_.push_back(f);
                changed_.notify_all();
            }
            Handle(f);
        }
    }
}

void FakeAgwpeEngine::Handle(const TFrame& f) {
    TFrame reply;
    reply.port = f.port;
    switch (f.kind) {
        case 'G':
            reply.kind = 'G';
            reply.data = options_.portList + std::string(1, '\0');
            SendFrame(reply);
            break;
        case 'R':
            reply.kind = 'R';
            reply.data = U32(options_.versionMajor) + U32(options_.versionMinor);
            SendFrame(reply);
            break;
        case 'm': {
            std::lock_guard lock(mutex_);
            monitor_ = !monitor_;  // a toggle, as real engines do
            break;
        }
        case 'X':
            reply.kind = 'X';
            reply.callFrom = f.callFrom;
            reply.data = std::string(1, '\1');
            SendFrame(reply);
            break;
        case 'Y': {
            reply.kind = 'Y';
            reply.callFrom = f.callFrom;
            reply.callTo = f.callTo;
            std::lock_guard lock(mutex_);
            reply.data = U32(outstanding_);
            break;
        }
        case 'C':
        case 'v': {
            bool known, busy = false;
            {
                std::lock_guard lock(mutex_);
                const auto it = stations_.find(f.callTo);
                known = it != stations_.end();
                if (known) busy = it->second;
            }
            std::this_thread::sleep_for(options_.linkDelay);
            // Notices come from the remote station to the local one.
            reply.callFrom = f.callTo;
            reply.callTo = f.callFrom;
            if (known && !busy) {
                reply.kind = 'C';
                reply.data = Notice("*** CONNECTED With Station " + f.callTo);
            } else {
                reply.kind = 'd';
                reply.data = Notice(busy ? "*** " + f.callTo + " busy, DISCONNECTED"
                                         : "*** DISCONNECTED RETRYOUT With " + f.callTo);
            }
            SendFrame(reply);
            break;
        }
        case 'D': {
            std::lock_guard lock(mutex_);
            std::string& r = received_[f.callTo];
            r += f.data;
            if (r.size() > (1u << 20)) r.erase(0, r.size() - (1u << 20));
            changed_.notify_all();
            break;
        }
        case 'd':
            reply.kind = 'd';
            reply.callFrom = f.callTo;
            reply.callTo = f.callFrom;
            reply.data = Notice("*** DISCONNECTED From Station " + f.callTo);
            SendFrame(reply);
            break;
        default:
            break;
    }
    if (f.kind == 'Y') SendFrame(reply);
}

void FakeAgwpeEngine::Write(const std::string& bytes) {
    std::shared_ptr<platform::TcpStream> client;
    {
        std::lock_guard lock(mutex_);
        client = client_;
    }
    if (!client) return;
    std::lock_guard lock(writeMutex_);
    const std::size_t step = options_.splitEvery ? options_.splitEvery : bytes.size();
    for (std::size_t pos = 0; pos < bytes.size(); pos += step) {
        const std::size_t n = std::min(step, bytes.size() - pos);
        client->Write(reinterpret_cast<const std::uint8_t*>(bytes.data() + pos), n, 2s);
        if (options_.splitEvery) std::this_thread::sleep_for(2ms);
    }
}

void FakeAgwpeEngine::SendRaw(const std::string& bytes) {
    Write(bytes);
}

void FakeAgwpeEngine::SendFrame(const TFrame& frame) {
    Write(Encode(frame));
}

std::vector<TFrame> FakeAgwpeEngine::Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::size_t FakeAgwpeEngine::FrameCount() const {
    std::lock_guard lock(mutex_);
    return frames_.size();
}

std::optional<TFrame> FakeAgwpeEngine::WaitForFrame(const std::function<bool(const TFrame&)>& match,
                                                    std::chrono::milliseconds timeout,
                                                    std::size_t from) const {
    std::unique_lock lock(mutex_);
    std::optional<TFrame> found;
    changed_.wait_for(lock, timeout, [&] {
        for (std::size_t i = from; i < frames_.size(); ++i) {
            if (match(frames_[i])) {
                found = frames_[i];
                return true;
            }
        }
        from = frames_.size();
        return false;
    });
    return found;
}

bool FakeAgwpeEngine::Connected() const {
    std::lock_guard lock(mutex_);
    return client_ != nullptr;
}

bool FakeAgwpeEngine::WaitForClient(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return client_ != nullptr; });
}

int FakeAgwpeEngine::Logins() const {
    std::lock_guard lock(mutex_);
    return logins_;
}

void FakeAgwpeEngine::AddStation(const std::string& call, bool busy) {
    std::lock_guard lock(mutex_);
    stations_[call] = busy;
}

std::string FakeAgwpeEngine::StationReceived(const std::string& call) const {
    std::lock_guard lock(mutex_);
    const auto it = received_.find(call);
    return it == received_.end() ? std::string() : it->second;
}

void FakeAgwpeEngine::IncomingConnect(const std::string& from, const std::string& to,
                                      std::uint8_t port) {
    TFrame f;
    f.kind = 'C';
    f.port = port;
    f.callFrom = from;
    f.callTo = to;
    f.data = Notice("*** CONNECTED To Station " + from);
    SendFrame(f);
}

void FakeAgwpeEngine::StationSend(const std::string& from, const std::string& to,
                                  const std::string& data, std::uint8_t port) {
    TFrame f;
    f.kind = 'D';
    f.port = port;
    f.pid = 0xF0;
    f.callFrom = from;
    f.callTo = to;
    f.data = data;
    SendFrame(f);
}

void FakeAgwpeEngine::StationDisconnect(const std::string& from, const std::string& to,
                                        std::uint8_t port, const std::string& text) {
    TFrame f;
    f.kind = 'd';
    f.port = port;
    f.callFrom = from;
    f.callTo = to;
    f.data = Notice(text.empty() ? "*** DISCONNECTED From Station " + from : text);
    SendFrame(f);
}

void FakeAgwpeEngine::SetOutstanding(std::uint32_t n) {
    std::lock_guard lock(mutex_);
    outstanding_ = n;
}

void FakeAgwpeEngine::CloseClient(bool refuse) {
    std::lock_guard lock(mutex_);
    refuse_ = refuse;
    if (client_) client_->Shutdown();
    client_.reset();
    changed_.notify_all();
}

void FakeAgwpeEngine::AcceptAgain() {
    std::lock_guard lock(mutex_);
    refuse_ = false;
}

}  // namespace tarvo::test
