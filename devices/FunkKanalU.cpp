#include "devices/FunkKanalU.h"

#include <utility>

#include "channels/KanaeleU.h"
#include "core/TrU.h"
#include "devices/GeraetU.h"

namespace tarvo::devices {

TFunkKanal::TFunkKanal(std::weak_ptr<TGeraet> geraet, channels::TKanaele* kanaele)
    : kanaele_(kanaele), geraet_(std::move(geraet)) {}

std::shared_ptr<TFunkKanal> TFunkKanal::Create(std::weak_ptr<TGeraet> geraet,
                                               channels::TKanaele* kanaele) {
    return std::make_shared<TFunkKanal>(std::move(geraet), kanaele);
}

std::string TFunkKanal::GetName() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void TFunkKanal::SetName(std::string_view name) {
    std::lock_guard lock(mutex_);
    name_ = name;
}

void TFunkKanal::SetPort(std::int32_t port) {
    std::lock_guard lock(mutex_);
    port_ = port;
}

std::int32_t TFunkKanal::GetPort() const {
    std::lock_guard lock(mutex_);
    return port_;
}

std::string TFunkKanal::GetKennung() const {
    std::lock_guard lock(mutex_);
    return kennung_;
}

void TFunkKanal::SetKennung(std::string_view kennung) {
    std::lock_guard lock(mutex_);
    kennung_ = kennung;
}

std::shared_ptr<TGeraet> TFunkKanal::Geraet() const {
    std::lock_guard lock(mutex_);
    return geraet_.lock();
}

void TFunkKanal::DetachGeraet() {
    std::lock_guard lock(mutex_);
    geraet_.reset();
}

bool TFunkKanal::IsFlexnet() const {
    const auto geraet = Geraet();
    return geraet && geraet->ClassName() == "TGeraetFlexnet";
}

std::uint8_t TFunkKanal::Verbinde(std::string& ziel, std::string& mycall,
                                  std::shared_ptr<core::IKanal>& kanal) {
    std::shared_ptr<core::IVerbindung> verbindung;
    return Verbinde(ziel, mycall, verbindung, kanal);
}

std::uint8_t TFunkKanal::Verbinde(std::string& ziel, std::string& mycall,
                                  std::shared_ptr<core::IVerbindung>& verbindung,
                                  std::shared_ptr<core::IKanal>& kanal) {
    // Held for the whole call, so the device cannot go away under it.
    const auto geraet = Geraet();
    if (!geraet) return kConnectNoDevice;

    // A channel the caller reserved itself may still take the connection, so
    // only a connection or the monitor makes it unusable.
    std::shared_ptr<core::IKanal> reservedHere;
    if (!kanal || !kanal->IsIdle()) {
        channels::TKanaele* kanaele = kanaele_ ? kanaele_ : channels::TKanaele::Instance();
        if (kanaele) reservedHere = kanaele->FindFreeChannel();
        if (!reservedHere) return kConnectAllChannelsBusy;
        kanal = reservedHere;
    }

    // Releases the reservation on failure, also when the device throws.
    struct Release {
        std::shared_ptr<core::IKanal>& kanal;
        bool keep = false;
        ~Release() {
            if (kanal && !keep) kanal->SetReserved(false);
        }
    } release{reservedHere};

    const std::uint8_t result = geraet->Verbinde(*this, ziel, verbindung, kanal, mycall);
    release.keep = result == kConnectOk;
    return result;
}

bool TFunkKanal::SendUI(std::string_view ziel, std::string_view mycall, std::string_view data) {
    // The operator typed it on the monitor and looks there for the answer.
    const auto refuse = [&](const std::string& why) {
        channels::TKanaele* kanaele = kanaele_ ? kanaele_ : channels::TKanaele::Instance();
        if (kanaele)
            kanaele->MonitorText(
                core::FillArgs(core::Tr("TFunkKanal", "UI-Frame nicht gesendet (%1)"),
                               {GetKennung()}),
                why);
        return false;
    };
    const auto geraet = Geraet();
    if (!geraet) return refuse(core::Tr("TFunkKanal", "Kein Gerät"));
    for (std::size_t pos = 0; pos < data.size(); pos += kUIPieceSize) {
        const std::string why = geraet->SendUI(*this, ziel, data.substr(pos, kUIPieceSize), mycall);
        if (!why.empty()) return refuse(why);
    }
    return true;
}

}  // namespace tarvo::devices
