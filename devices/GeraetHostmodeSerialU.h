// The device kind "Hostmode": a TNC in hostmode on a serial port.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "devices/GeraetHostmodeU.h"

namespace tarvo::platform {
class SerialPort;
}

namespace tarvo::devices {

struct TGeraetHostmodeSerialParameter : TGeraetHostmodeParameter {
    static constexpr std::int32_t kDefaultAnschluss = 1;
    static constexpr std::int32_t kDefaultBaudrate = 38400;
    std::shared_ptr<TGeraetHostmodeParameter> Clone() const override {
        return std::make_shared<TGeraetHostmodeSerialParameter>(*this);
    }
    TGeraetHostmodeSerialParameter() { Kennzahl = kDefaultAnschluss; }
    // The port number; names "/dev/ttyS<Anschluss - 1>" when no path is given.
    std::int32_t Anschluss = kDefaultAnschluss;
    std::int32_t Baudrate = kDefaultBaudrate;
    // The device path ("/dev/ttyUSB0", "/dev/serial/by-id/..."), or "".
    std::string Schnittstelle;

    // The path the port is opened with.
    std::string PortPath() const;
};

// The port number kept in "Anschluss" for a device path: /dev/ttyS<n> gives
// n + 1, /dev/ttyUSB<n> 101 + n, /dev/ttyACM<n> 201 + n, any other path a
// number from 1000 to 9999 of its own, so radio channel keys stay stable and
// two TNCs on different ports never share them. "" keeps `current`.
std::int32_t AnschlussFromPath(std::string_view path, std::int32_t current);

// The baud rates the settings dialog offers.
inline constexpr std::int32_t kHostmodeBaudrates[] = {4800,  9600,   19200, 38400,
                                                      57600, 115200, 230400};

class TGeraetHostmodeSerial : public TGeraetHostmode {
  public:
    static constexpr const char* kClassName = "TGeraetHostmodeSerial";
    static constexpr const char* kBezeichnung = "Hostmode";

    explicit TGeraetHostmodeSerial(const TGeraetContext& ctx);
    ~TGeraetHostmodeSerial() override;
    static TGeraetKind Kind();

    std::string ClassName() const override { return kClassName; }
    std::string GetBezeichnung() const override { return kBezeichnung; }

    // Reads "Anschluss", "Baudrate" and "Schnittstelle" from RegKey, then starts.
    void Init() override;
    void Save() override;
    void EinstellungenVerwerfen() override;
    void EinstellungenUebernehmen() override;

    // The settings as they run now.
    std::shared_ptr<const TGeraetHostmodeSerialParameter> SerialParameter() const;
    // The settings the dialog edits: the pending ones while there are any.
    std::shared_ptr<const TGeraetHostmodeSerialParameter> ShownParameter() const;
    // The dialog's result, applied by EinstellungenUebernehmen. Main thread.
    void SetNeueParameter(std::shared_ptr<const TGeraetHostmodeSerialParameter> p);
    bool HasNeueParameter() const;
    // "<path>, <baud>"; "-" while inactive without pending settings.
    void UpdateInfo() override;

  protected:
    bool CommOpen() override;
    bool CommClose() override;
    bool CommWrite(const std::uint8_t* buffer, std::size_t count, std::size_t& written) override;
    bool CommRead(std::uint8_t* buffer, std::size_t count, std::size_t& read) override;
    bool CommPurge() override;
    bool CommIsOpen() const override;
    bool SetTimeouts(bool fast) override;

  private:
    // The port hung up: it is closed so that the device opens it again.
    void LostPort(const char* method);

    // Only the worker uses the port; the flag is read elsewhere.
    std::unique_ptr<platform::SerialPort> port_;
    std::atomic<bool> open_{false};
    bool fast_ = false;

    mutable std::mutex neuMutex_;
    std::shared_ptr<const TGeraetHostmodeSerialParameter> neu_;
};

}  // namespace tarvo::devices
