// A radio channel: one port of a device, through which connections and UI
// frames go. Dialogs hold it through core::IFunkKanal and may outlive the
// device, so the device is only referred to weakly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/InterfacesU.h"

namespace tarvo::channels {
class TKanaele;
}

namespace tarvo::devices {

class TGeraet;

class TFunkKanal final : public core::IFunkKanal {
  public:
    // The largest piece of data one UI frame carries.
    static constexpr std::size_t kUIPieceSize = 256;
    // The device has a single port and takes no port number in its commands.
    static constexpr std::int32_t kNoPort = -1;

    // kanaele is where a free channel is found; null means the channel set that
    // exists at the time of the connect (TKanaele::Instance()).
    explicit TFunkKanal(std::weak_ptr<TGeraet> geraet, channels::TKanaele* kanaele = nullptr);
    static std::shared_ptr<TFunkKanal> Create(std::weak_ptr<TGeraet> geraet,
                                              channels::TKanaele* kanaele = nullptr);
    TFunkKanal(const TFunkKanal&) = delete;
    TFunkKanal& operator=(const TFunkKanal&) = delete;

    std::string GetName() const override;
    void SetName(std::string_view name) override;
    void SetPort(std::int32_t port) override;
    std::int32_t GetPort() const override;
    // Result 3 once the device is gone, 7 when no channel can take the
    // connection (the device is not asked then); otherwise the device's result.
    // A channel reserved here is released again unless the device accepted.
    std::uint8_t Verbinde(std::string& ziel, std::string& mycall,
                          std::shared_ptr<core::IVerbindung>& verbindung,
                          std::shared_ptr<core::IKanal>& kanal) override;
    // Without keeping the connection.
    std::uint8_t Verbinde(std::string& ziel, std::string& mycall,
                          std::shared_ptr<core::IKanal>& kanal);
    bool IsFlexnet() const override;
    std::string GetKennung() const override;
    void SetKennung(std::string_view kennung) override;
    bool SendUI(std::string_view ziel, std::string_view mycall, std::string_view data) override;

    // The device while it lives and has not detached itself, else null.
    std::shared_ptr<TGeraet> Geraet() const;
    // The device lets go of its radio channels when it ends; holders of the
    // radio channel then get result 3 and false.
    void DetachGeraet();

  private:
    channels::TKanaele* const kanaele_;

    // Name, Port and Kennung are set on the device's thread and read on the
    // main thread.
    mutable std::mutex mutex_;
    std::weak_ptr<TGeraet> geraet_;
    std::string name_;
    std::int32_t port_ = kNoPort;
    std::string kennung_;
};

}  // namespace tarvo::devices
