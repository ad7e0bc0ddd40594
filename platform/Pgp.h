#pragma once

// OpenPGP through the installed GnuPG engine: verify clear-signed text, list
// and import the keys of a key block, list the private keys, clear-sign.
// Text goes in and out with LF line ends, as the engine reads and writes it.
// One object belongs to one thread; failures throw PgpError with the reason.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::platform {

class PgpError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The passphrase did not unlock the key.
class PgpBadPassphrase : public PgpError {
  public:
    using PgpError::PgpError;
};

// "GnuPG 2.2.40 (GPGME 1.18.0)" when an OpenPGP engine is usable; none otherwise.
std::optional<std::string> PgpEngineVersion();

enum class PgpValidity { Unknown, Invalid, Marginal, Complete };

struct PgpSignature {
    bool checked = false;   // the key was there, so the signature could be checked
    bool verified = false;  // the signature matches the text
    bool keyKnown = false;  // the signing key is in the key ring
    std::string signer;     // the key's primary user ID (UTF-8) when known
    std::string keyId;      // the fingerprint or key ID the signature names
    PgpValidity validity = PgpValidity::Unknown;
    std::int64_t time = 0;  // seconds since 1970 UTC; 0 when unknown
    bool revoked = false;
    bool disabled = false;
    bool expired = false;
};

struct PgpKeyInfo {
    std::string fingerprint;
    std::string userId;     // primary user ID, UTF-8
    std::string algorithm;  // "RSA", "ElGamal", "DH/DSS", "EdDSA", "ECDSA" or "?"
};

class PgpEngine {
  public:
    // homeDir empty: the engine's own default (GNUPGHOME or ~/.gnupg).
    explicit PgpEngine(std::string homeDir = {});
    ~PgpEngine();
    PgpEngine(const PgpEngine&) = delete;
    PgpEngine& operator=(const PgpEngine&) = delete;

    // One entry per signature of a clear-signed message.
    std::vector<PgpSignature> Verify(std::string_view clearSigned);
    // The keys a block holds, without importing them.
    std::vector<PgpKeyInfo> KeysIn(std::string_view keyBlock);
    // Imports the block's keys into the key ring; the keys it took.
    std::vector<PgpKeyInfo> Import(std::string_view keyBlock);
    std::vector<PgpKeyInfo> SecretKeys();
    // Armoured clear-signed text; the key named by its fingerprint. A wrong
    // passphrase throws PgpBadPassphrase.
    std::string ClearSign(std::string_view fingerprint, std::string_view passphrase,
                          std::string_view text);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvo::platform
