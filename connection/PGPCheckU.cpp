#include "connection/PGPCheckU.h"

#include <exception>
#include <mutex>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "core/TrU.h"

namespace tarvo::connection {

namespace {

constexpr std::string_view kSignedBegin = "-----BEGIN PGP SIGNED MESSAGE-----";
constexpr std::string_view kKeyBlockBegin = "-----BEGIN PGP PUBLIC KEY BLOCK-----";
constexpr std::string_view kSignatureEnd = "-----END PGP SIGNATURE-----";
constexpr std::string_view kKeyBlockEnd = "-----END PGP PUBLIC KEY BLOCK-----";

std::mutex settingMutex;
std::function<bool()>& Setting() {
    static std::function<bool()> setting;
    return setting;
}

bool ProgramCollectsPublicKeys() {
    std::function<bool()> setting;
    {
        std::lock_guard lock(settingMutex);
        setting = Setting();
    }
    return !setting || setting();
}

}  // namespace

void SetCollectPublicKeysSetting(std::function<bool()> setting) {
    std::lock_guard lock(settingMutex);
    Setting() = std::move(setting);
}

TPGPCheck::TPGPCheck(std::function<bool()> collectPublicKeys)
    : collectPublicKeys_(std::move(collectPublicKeys)) {}

TPGPCheck::~TPGPCheck() = default;

void TPGPCheck::Stop() {
    kind_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
    pgp_.reset();
}

std::optional<std::string> TPGPCheck::Receive(std::string_view line, std::string_view station) {
    // A piece of a long line continues it: no start or end line there.
    const bool lineStart = atLineStart_;
    atLineStart_ = !line.empty() && line.back() == '\r';
    // The LF of a CR LF line end arrives at the front of the next line.
    std::string_view probe = line;
    while (probe.starts_with('\n')) probe.remove_prefix(1);
    const bool wholeLine = lineStart && !probe.empty() && probe.back() == '\r';

    if (kind_ == 0) {
        if (!wholeLine || probe.size() <= 29 || !probe.starts_with("--")) return std::nullopt;
        const int kind = probe.starts_with(kSignedBegin)     ? 1
                         : probe.starts_with(kKeyBlockBegin) ? 2
                                                             : 0;
        if (kind == 0) return std::nullopt;
        try {
            pgp_ = core::CreatePGP();
        } catch (const std::exception& e) {
            core::DebOutObj("TPGPCheck", "Receive", e.what());
        }
        // Without an engine the block stays ordinary text.
        if (!pgp_) return std::nullopt;
        kind_ = kind;
        buffer_.assign(probe);
        return std::nullopt;
    }

    buffer_.append(line);
    if (wholeLine && (probe.starts_with(kSignatureEnd) || probe.starts_with(kKeyBlockEnd))) {
        std::string result;
        try {
            const bool collect =
                collectPublicKeys_ ? collectPublicKeys_() : ProgramCollectsPublicKeys();
            if (kind_ == 1 || collect)
                result = pgp_->DecodeFrom(station, buffer_);
            else
                result = core::WrapText(core::Tr("TPGPCheck",
                                                 "Das automatische Hinzufügen von öffentlichen "
                                                 "Schlüsseln zum Schlüsselbund ist ausgeschaltet."),
                                        "\r", "", 72 - static_cast<int>(core::kReplyPrefix.size()));
        } catch (const std::exception& e) {
            core::DebOutObj("TPGPCheck", "Receive", e.what());
            result = core::FillArgs(core::Tr("TPGPCheck", "PGP Fehler: \"%1\""), {e.what()});
        }
        Stop();
        if (result.empty()) return std::nullopt;
        return result;
    }
    if (buffer_.size() > kMaxPGPBlock) {
        Stop();
        return core::Tr("TPGPCheck", "PGP-signierte Nachricht zu groß.");
    }
    return std::nullopt;
}

}  // namespace tarvo::connection
