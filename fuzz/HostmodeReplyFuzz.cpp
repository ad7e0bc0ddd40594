// Replies of a TNC as arbitrary bytes: the exchange reads them frame by frame
// and every text goes through the parsers that read TNC answers. Nothing may
// crash, hang or read past a buffer, and the limits of a reply must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "devices/HostmodeU.h"

namespace {

using namespace tarvo::devices::hostmode;

class FuzzTransport : public ITransport {
  public:
    FuzzTransport(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Write(const std::uint8_t*, std::size_t n, std::size_t& written) override {
        written = n;
        return true;
    }
    bool Read(std::uint8_t* b, std::size_t n, std::size_t& read) override {
        read = 0;
        while (read < n && pos_ < size_) b[read++] = data_[pos_++];
        return true;  // the end is a time-out
    }
    bool AtEnd() const { return pos_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzTransport t(data, size);
    tarvo::channels::TMonitorFrame frame;
    while (!t.AtEnd()) {
        TReply reply;
        TExchangeFailure failure;
        Exchange(t, 0, true, "G", reply, failure);
        if (reply.text.size() > kMaxFrameText) std::abort();
        if ((reply.code >= 1 && reply.code <= 5) && reply.text.size() > kMaxFrameText - 1)
            std::abort();
        const std::string& s = reply.text;
        ParseMonitorHeader(s, 1, frame);
        ParseLinkStatus(s);
        ParseLinkValues(s);
        PathFromCReply(s);
        GetConnectPath(s);
        ModemText(s);
        ClassifyVersion(s);
        ParseNumber(s);
    }
    return 0;
}
