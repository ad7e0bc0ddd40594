#include "devices/GeraetHostmodeSerialU.h"

#include "core/DebOutU.h"
#include "core/TrU.h"
#include "platform/SerialPort.h"

namespace tarvo::devices {

namespace {

constexpr platform::SerialTimeouts kNormal{500, 50, 500, 50, 500};
constexpr platform::SerialTimeouts kFast{0, 5, 50, 5, 500};

}  // namespace

std::string TGeraetHostmodeSerialParameter::PortPath() const {
    if (!Schnittstelle.empty()) return Schnittstelle;
    return "/dev/ttyS" + std::to_string(Anschluss > 0 ? Anschluss - 1 : 0);
}

std::int32_t AnschlussFromPath(std::string_view path, std::int32_t current) {
    if (path.empty()) return current;
    struct Family {
        std::string_view prefix;
        std::int32_t base;
    };
    for (const Family f :
         {Family{"/dev/ttyS", 1}, Family{"/dev/ttyUSB", 101}, Family{"/dev/ttyACM", 201}}) {
        if (path.substr(0, f.prefix.size()) != f.prefix) continue;
        const std::string_view digits = path.substr(f.prefix.size());
        if (digits.empty() || digits.size() > 2 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            break;
        return f.base + std::stoi(std::string(digits));
    }
    // FNV-1a: the same path gives the same number on every run.
    std::uint32_t h = 2166136261u;
    for (unsigned char c : path) h = (h ^ c) * 16777619u;
    return 1000 + static_cast<std::int32_t>(h % 9000u);
}

TGeraetHostmodeSerial::TGeraetHostmodeSerial(const TGeraetContext& ctx)
    : TGeraetHostmode(ctx, std::make_shared<const TGeraetHostmodeSerialParameter>()) {}

TGeraetHostmodeSerial::~TGeraetHostmodeSerial() = default;

TGeraetKind TGeraetHostmodeSerial::Kind() {
    return TGeraetKind{
        kClassName, kBezeichnung, [](const TGeraetContext& ctx) {
            return std::shared_ptr<TGeraet>(std::make_shared<TGeraetHostmodeSerial>(ctx));
        }};
}

std::shared_ptr<const TGeraetHostmodeSerialParameter> TGeraetHostmodeSerial::SerialParameter()
    const {
    auto p = std::dynamic_pointer_cast<const TGeraetHostmodeSerialParameter>(Parameter());
    return p ? p : std::make_shared<const TGeraetHostmodeSerialParameter>();
}

std::shared_ptr<const TGeraetHostmodeSerialParameter> TGeraetHostmodeSerial::ShownParameter()
    const {
    {
        std::lock_guard lock(neuMutex_);
        if (neu_) return neu_;
    }
    return SerialParameter();
}

void TGeraetHostmodeSerial::SetNeueParameter(
    std::shared_ptr<const TGeraetHostmodeSerialParameter> p) {
    {
        std::lock_guard lock(neuMutex_);
        neu_ = std::move(p);
    }
    UpdateInfo();
}

bool TGeraetHostmodeSerial::HasNeueParameter() const {
    std::lock_guard lock(neuMutex_);
    return neu_ != nullptr;
}

void TGeraetHostmodeSerial::UpdateInfo() {
    std::shared_ptr<const TGeraetHostmodeSerialParameter> p;
    {
        std::lock_guard lock(neuMutex_);
        p = neu_;
    }
    if (!p && Status() == TGeraetStatus::Inaktiv) {
        SetInfo("-");
        return;
    }
    if (!p) p = SerialParameter();
    SetInfo(p->PortPath() + ", " + std::to_string(p->Baudrate));
}

void TGeraetHostmodeSerial::Init() {
    const std::string key = RegKey();
    if (!key.empty() && Context().registry) {
        auto p = std::make_shared<TGeraetHostmodeSerialParameter>(*SerialParameter());
        const auto& reg = *Context().registry;
        const auto hive = platform::Hive::LocalMachine;
        if (auto v = reg.GetValue(hive, key, "Anschluss"); v && v->type == platform::kRegDword) {
            p->Anschluss = static_cast<std::int32_t>(v->number);
            p->Kennzahl = p->Anschluss;
        }
        if (auto v = reg.GetValue(hive, key, "Baudrate"); v && v->type == platform::kRegDword)
            p->Baudrate = static_cast<std::int32_t>(v->number);
        if (auto v = reg.GetValue(hive, key, "Schnittstelle"); v && v->IsString())
            p->Schnittstelle = v->text;
        SetParameter(std::move(p));
    }
    TGeraetHostmode::Init();
}

void TGeraetHostmodeSerial::Save() {
    TGeraetHostmode::Save();
    auto* reg = Context().registry;
    if (!reg) return;
    const std::string key = RegKey();
    const auto p = SerialParameter();
    const auto hive = platform::Hive::LocalMachine;
    reg->SetValue(hive, key, "Anschluss",
                  platform::RegValue::DWord(static_cast<std::uint32_t>(p->Anschluss)));
    reg->SetValue(hive, key, "Baudrate",
                  platform::RegValue::DWord(static_cast<std::uint32_t>(p->Baudrate)));
    if (p->Schnittstelle.empty())
        reg->DeleteValue(hive, key, "Schnittstelle");
    else
        reg->SetValue(hive, key, "Schnittstelle", platform::RegValue::String(p->Schnittstelle));
}

void TGeraetHostmodeSerial::EinstellungenVerwerfen() {
    SetNeueParameter(nullptr);
}

void TGeraetHostmodeSerial::EinstellungenUebernehmen() {
    std::shared_ptr<const TGeraetHostmodeSerialParameter> neu;
    {
        std::lock_guard lock(neuMutex_);
        neu = std::exchange(neu_, nullptr);
    }
    bool restart = Status() != TGeraetStatus::Bereit;
    if (neu) {
        const auto cur = SerialParameter();
        if (neu->PortPath() != cur->PortPath() || neu->Baudrate != cur->Baudrate) restart = true;
        const bool initChanged = neu->InitBefehle != cur->InitBefehle;
        SetParameter(neu);
        if (initChanged && !restart) PostMessage(kMsgInitBefehle);
    }
    if (restart) {
        core::DebOutObj(kClassName, "EinstellungenUebernehmen", "Neustart");
        Neustart(ThreadRunning() || open_.load());
    }
    UpdateInfo();
}

// ---- the port (worker thread) ---------------------------------------------------------------

bool TGeraetHostmodeSerial::CommOpen() {
    const auto p = SerialParameter();
    const std::string path = p->PortPath();
    std::string error;
    if (!platform::IsSupportedBaudRate(p->Baudrate)) {
        error =
            core::FillArgs(core::Tr("TGeraetHostmodeSerial", "Baudrate %1 wird nicht unterstützt"),
                           {std::to_string(p->Baudrate)});
    } else {
        port_ = platform::SerialPort::Open(path, p->Baudrate, error);
    }
    if (!port_) {
        core::DebOutObj(kClassName, "CommOpen", path + ": " + error);
        SetStatus(TGeraetStatus::Fehler,
                  core::FillArgs(core::Tr("TGeraetHostmodeSerial", "Öffnen der Schnittstelle (%1)"),
                                 {error}));
        return false;
    }
    open_.store(true);
    SetTimeouts(fast_);
    core::DebOutObj(kClassName, "CommOpen", path);
    return true;
}

bool TGeraetHostmodeSerial::CommClose() {
    if (!port_) return false;
    port_->Drain();
    port_.reset();
    open_.store(false);
    return true;
}

void TGeraetHostmodeSerial::LostPort(const char* method) {
    core::DebOutObj(kClassName, method, "Schnittstelle getrennt");
    port_.reset();
    open_.store(false);
}

bool TGeraetHostmodeSerial::CommWrite(const std::uint8_t* buffer, std::size_t count,
                                      std::size_t& written) {
    written = 0;
    if (!port_) return false;
    const platform::SerialIo io = port_->Write(buffer, count);
    written = io.count;
    if (io.status == platform::SerialIo::Status::HangUp) LostPort("CommWrite");
    return io.Ok();
}

bool TGeraetHostmodeSerial::CommRead(std::uint8_t* buffer, std::size_t count, std::size_t& read) {
    read = 0;
    if (!port_) return false;
    const platform::SerialIo io = port_->Read(buffer, count);
    read = io.count;
    if (io.status == platform::SerialIo::Status::HangUp) LostPort("CommRead");
    return io.Ok();
}

bool TGeraetHostmodeSerial::CommPurge() {
    return port_ && port_->Purge();
}

bool TGeraetHostmodeSerial::CommIsOpen() const {
    return open_.load();
}

bool TGeraetHostmodeSerial::SetTimeouts(bool fast) {
    fast_ = fast;
    if (!port_) return false;
    port_->SetTimeouts(fast ? kFast : kNormal);
    return true;
}

}  // namespace tarvo::devices
