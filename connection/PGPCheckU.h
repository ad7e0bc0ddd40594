// Collects PGP clear-signed messages and public key blocks from received
// lines and has the PGP component check or import them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/InterfacesU.h"

namespace tarvo::connection {

// The most a block may hold; a longer one is dropped.
inline constexpr std::size_t kMaxPGPBlock = 1048576;

class TPGPCheck {
  public:
    // collectPublicKeys: whether key blocks go to the key ring; empty: the
    // program's setting.
    explicit TPGPCheck(std::function<bool()> collectPublicKeys = {});
    ~TPGPCheck();
    TPGPCheck(const TPGPCheck&) = delete;
    TPGPCheck& operator=(const TPGPCheck&) = delete;

    // One received line with its final CR (or a piece of a long one) from the
    // station. The text for the channel once a block ends.
    std::optional<std::string> Receive(std::string_view line, std::string_view station);

    bool Collecting() const { return kind_ != 0; }
    std::size_t BufferSize() const { return buffer_.size(); }

  private:
    void Stop();

    std::function<bool()> collectPublicKeys_;
    int kind_ = 0;  // 1 signed message, 2 public key block
    std::string buffer_;
    std::unique_ptr<core::IPGP> pgp_;
    bool atLineStart_ = true;
};

// The program's setting "CollectPublicKeys" (on while none is set).
void SetCollectPublicKeysSetting(std::function<bool()> setting);

}  // namespace tarvo::connection
