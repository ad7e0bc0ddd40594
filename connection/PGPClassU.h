// The PGP component: verifies clear-signed messages and imports key blocks
// that stations send, lists the private keys and clear-signs text, over the
// installed OpenPGP engine. Results are texts for the channel, simple German
// or detailed English, with CR line ends.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/InterfacesU.h"
#include "platform/Clock.h"
#include "platform/Pgp.h"

namespace tarvo::connection {

// Sound events of a signature check.
enum TPGPSound : int {
    kSoundPGPValid = 14,
    kSoundPGPUnknown = 15,
    kSoundPGPChanged = 16,
};

// What received key blocks may add to the key ring: a block with more keys is
// refused whole, and so is one that would take a station (callsign without
// SSID), or all stations together, past their count of the last hour.
inline constexpr int kMaxKeysPerBlock = 4;
inline constexpr int kMaxKeysPerStationHour = 8;
inline constexpr int kMaxKeysPerHour = 32;

// Counts the keys received blocks added over the last hour. Thread-safe.
class TKeyImportBudget {
  public:
    explicit TKeyImportBudget(const platform::IClock& clock) : clock_(clock) {}
    // Why the station may not add count keys now (German); empty when it may.
    std::string Refusal(std::string_view station, int count);
    void Add(std::string_view station, int count);

  private:
    struct TEntry {
        std::uint64_t at;
        std::string station;
        int count;
    };
    void Expire();
    const platform::IClock& clock_;
    std::mutex mutex_;
    std::vector<TEntry> entries_;  // oldest first; at most kMaxKeysPerHour keys in them
};

// CR LF and CR become LF.
std::string LineEndsToLf(std::string_view text);
// LF becomes CR.
std::string LineEndsToCr(std::string_view text);
// "Version:" and, when there is one, "Comment:" after the signature's begin line.
std::string AddArmourHeaders(std::string_view signedText, std::string_view version,
                             std::string_view comment);
// A text from a key or a station for one line: code page 1252, controls gone.
std::string OneLine(std::string_view text, bool utf8);

// The result of one signature; CR line ends.
std::string SignatureText(const platform::PgpSignature& signature, bool detailed);
int SignatureSound(const platform::PgpSignature& signature);

struct TPGPOptions {
    std::string homeDir;      // empty: the engine's default key ring
    std::string versionText;  // after "Tarvo " in the "Version:" line
    std::function<bool()> detailedOutput;
    // Whether key blocks are imported (the check asks); empty: on.
    std::function<bool()> collectPublicKeys;
    core::IKlaenge* klaenge = nullptr;
    std::shared_ptr<TKeyImportBudget> budget;  // made on the steady clock when empty
    // The engine's version, none without one; empty: ask the installed engine.
    std::function<std::optional<std::string>()> engineVersion;
};

class TPGP final : public core::IPGP {
  public:
    // Throws platform::PgpError when no engine is usable.
    explicit TPGP(TPGPOptions options);

    std::string Decode(std::string_view block) override;
    std::string DecodeFrom(std::string_view station, std::string_view block) override;
    std::vector<core::TPGPKey> GetPrivateKeys() override;
    // A passphrase that does not unlock the key throws platform::PgpBadPassphrase
    // (the send dialog's trial signature tells a wrong password by it).
    std::string Sign(std::string_view fingerprint, std::string_view passphrase,
                     std::string_view comment, std::string_view text) override;

  private:
    void CheckThread() const;
    std::string Verify(const std::string& text);
    std::string Import(std::string_view station, const std::string& text);

    TPGPOptions options_;
    std::thread::id thread_;
    platform::PgpEngine engine_;
};

// Start-up: installs the factory of core::CreatePGP when an engine is usable
// (true); without one logs "PGP nicht installiert" and the program goes on.
bool InstallPGP(TPGPOptions options);
void UninstallPGP();

}  // namespace tarvo::connection
