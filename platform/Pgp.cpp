#include "platform/Pgp.h"

#include <gpgme.h>

#include <cstring>
#include <mutex>

namespace tarvo::platform {

namespace {

// The library wants its version checked once before the first context.
bool LibraryReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        ready = gpgme_check_version(nullptr) != nullptr &&
                gpgme_engine_check_version(GPGME_PROTOCOL_OpenPGP) == GPG_ERR_NO_ERROR;
    });
    return ready;
}

std::string ErrorText(gpgme_error_t err) {
    char buffer[256] = {};
    gpgme_strerror_r(err, buffer, sizeof buffer - 1);
    return std::string(buffer) + " (" + std::to_string(gpgme_err_code(err)) + ")";
}

void Check(gpgme_error_t err, const char* step) {
    if (err != GPG_ERR_NO_ERROR) throw PgpError(std::string(step) + ": " + ErrorText(err));
}

class Data {
  public:
    Data() { Check(gpgme_data_new(&data_), "gpgme_data_new"); }
    explicit Data(std::string_view bytes) {
        Check(gpgme_data_new_from_mem(&data_, bytes.data(), bytes.size(), 1),
              "gpgme_data_new_from_mem");
    }
    ~Data() {
        if (data_) gpgme_data_release(data_);
    }
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;
    gpgme_data_t get() const { return data_; }
    std::string Take() {
        std::size_t size = 0;
        char* bytes = gpgme_data_release_and_get_mem(data_, &size);
        data_ = nullptr;
        std::string out(bytes ? bytes : "", bytes ? size : 0);
        if (bytes) gpgme_free(bytes);
        return out;
    }

  private:
    gpgme_data_t data_ = nullptr;
};

struct KeyRef {
    gpgme_key_t key = nullptr;
    ~KeyRef() {
        if (key) gpgme_key_unref(key);
    }
};

std::string AlgorithmName(gpgme_pubkey_algo_t algo) {
    switch (algo) {
        case GPGME_PK_RSA:
        case GPGME_PK_RSA_E:
        case GPGME_PK_RSA_S:
            return "RSA";
        case GPGME_PK_ELG:
        case GPGME_PK_ELG_E:
            return "ElGamal";
        case GPGME_PK_DSA:
            return "DH/DSS";
        case GPGME_PK_EDDSA:
            return "EdDSA";
        case GPGME_PK_ECDSA:
            return "ECDSA";
        default:
            return "?";
    }
}

PgpKeyInfo Info(gpgme_key_t key) {
    PgpKeyInfo info;
    if (key->fpr) info.fingerprint = key->fpr;
    if (key->uids && key->uids->uid) info.userId = key->uids->uid;
    if (key->subkeys) info.algorithm = AlgorithmName(key->subkeys->pubkey_algo);
    return info;
}

PgpValidity Validity(gpgme_validity_t v) {
    switch (v) {
        case GPGME_VALIDITY_NEVER:
            return PgpValidity::Invalid;
        case GPGME_VALIDITY_MARGINAL:
            return PgpValidity::Marginal;
        case GPGME_VALIDITY_FULL:
        case GPGME_VALIDITY_ULTIMATE:
            return PgpValidity::Complete;
        default:
            return PgpValidity::Unknown;
    }
}

bool IsFingerprint(std::string_view s) {
    if (s.size() < 16 || s.size() > 64) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

struct Passphrase {
    std::string text;
    int asked = 0;
};

gpgme_error_t PassphraseCallback(void* hook, const char*, const char*, int previousWasBad, int fd) {
    auto* p = static_cast<Passphrase*>(hook);
    // A wrong passphrase is not tried again.
    if (previousWasBad || p->asked++ > 0) return gpg_error(GPG_ERR_BAD_PASSPHRASE);
    const std::string line = p->text + "\n";
    if (gpgme_io_writen(fd, line.data(), line.size()) != 0) return gpg_error(GPG_ERR_CANCELED);
    return GPG_ERR_NO_ERROR;
}

}  // namespace

std::optional<std::string> PgpEngineVersion() {
    if (!LibraryReady()) return std::nullopt;
    gpgme_engine_info_t info = nullptr;
    if (gpgme_get_engine_info(&info) != GPG_ERR_NO_ERROR) return std::nullopt;
    for (; info; info = info->next) {
        if (info->protocol != GPGME_PROTOCOL_OpenPGP) continue;
        return std::string("GnuPG ") + (info->version ? info->version : "?") + " (GPGME " +
               gpgme_check_version(nullptr) + ")";
    }
    return std::nullopt;
}

struct PgpEngine::Impl {
    gpgme_ctx_t ctx = nullptr;
    ~Impl() {
        if (ctx) gpgme_release(ctx);
    }
    std::vector<PgpKeyInfo> ListKeys(bool secret) {
        std::vector<PgpKeyInfo> keys;
        Check(gpgme_op_keylist_start(ctx, nullptr, secret ? 1 : 0), "gpgme_op_keylist_start");
        gpgme_key_t key = nullptr;
        while (gpgme_op_keylist_next(ctx, &key) == GPG_ERR_NO_ERROR) {
            if (!secret || key->secret) keys.push_back(Info(key));
            gpgme_key_unref(key);
        }
        gpgme_op_keylist_end(ctx);
        return keys;
    }
    std::optional<PgpKeyInfo> Lookup(const char* fingerprint, bool secret, KeyRef& ref) {
        if (!fingerprint || !IsFingerprint(fingerprint)) return std::nullopt;
        if (gpgme_get_key(ctx, fingerprint, &ref.key, secret ? 1 : 0) != GPG_ERR_NO_ERROR ||
            !ref.key)
            return std::nullopt;
        return Info(ref.key);
    }
};

PgpEngine::PgpEngine(std::string homeDir) : impl_(std::make_unique<Impl>()) {
    if (!LibraryReady()) throw PgpError("PGP nicht installiert");
    Check(gpgme_new(&impl_->ctx), "gpgme_new");
    Check(gpgme_set_protocol(impl_->ctx, GPGME_PROTOCOL_OpenPGP), "gpgme_set_protocol");
    if (!homeDir.empty())
        Check(
            gpgme_ctx_set_engine_info(impl_->ctx, GPGME_PROTOCOL_OpenPGP, nullptr, homeDir.c_str()),
            "gpgme_ctx_set_engine_info");
    // Text from the air never makes the engine fetch anything from the network.
    gpgme_set_offline(impl_->ctx, 1);
}

PgpEngine::~PgpEngine() = default;

std::vector<PgpSignature> PgpEngine::Verify(std::string_view clearSigned) {
    Data signature(clearSigned);
    Data plain;
    Check(gpgme_op_verify(impl_->ctx, signature.get(), nullptr, plain.get()), "Verify");
    gpgme_verify_result_t result = gpgme_op_verify_result(impl_->ctx);
    std::vector<PgpSignature> out;
    for (gpgme_signature_t s = result ? result->signatures : nullptr; s; s = s->next) {
        PgpSignature p;
        if (s->fpr) p.keyId = s->fpr;
        switch (gpgme_err_code(s->status)) {
            case GPG_ERR_NO_ERROR:
            case GPG_ERR_SIG_EXPIRED:
            case GPG_ERR_KEY_EXPIRED:
            case GPG_ERR_CERT_REVOKED:
                p.checked = p.verified = true;
                break;
            case GPG_ERR_BAD_SIGNATURE:
                p.checked = true;
                break;
            default:
                break;
        }
        p.validity = Validity(s->validity);
        p.time = s->timestamp;
        p.revoked = (s->summary & GPGME_SIGSUM_KEY_REVOKED) != 0;
        p.expired = (s->summary & GPGME_SIGSUM_KEY_EXPIRED) != 0;
        out.push_back(std::move(p));
    }
    if (out.empty()) throw PgpError("Verify: keine Unterschrift gefunden");
    // Key look-ups end the verify result, so they come after it was copied.
    for (PgpSignature& p : out) {
        KeyRef ref;
        auto info = impl_->Lookup(p.keyId.c_str(), false, ref);
        if (!info) continue;
        p.keyKnown = true;
        p.signer = info->userId;
        p.disabled = ref.key->disabled != 0;
        p.revoked = p.revoked || ref.key->revoked != 0;
        p.expired = p.expired || ref.key->expired != 0;
    }
    return out;
}

std::vector<PgpKeyInfo> PgpEngine::KeysIn(std::string_view keyBlock) {
    Data block(keyBlock);
    Check(gpgme_op_keylist_from_data_start(impl_->ctx, block.get(), 0), "KeysIn");
    std::vector<PgpKeyInfo> keys;
    gpgme_key_t key = nullptr;
    while (gpgme_op_keylist_next(impl_->ctx, &key) == GPG_ERR_NO_ERROR) {
        keys.push_back(Info(key));
        gpgme_key_unref(key);
    }
    gpgme_op_keylist_end(impl_->ctx);
    return keys;
}

std::vector<PgpKeyInfo> PgpEngine::Import(std::string_view keyBlock) {
    Data block(keyBlock);
    Check(gpgme_op_import(impl_->ctx, block.get()), "Import");
    gpgme_import_result_t result = gpgme_op_import_result(impl_->ctx);
    std::vector<std::string> taken;
    for (gpgme_import_status_t s = result ? result->imports : nullptr; s; s = s->next)
        if (s->result == GPG_ERR_NO_ERROR && s->fpr) taken.emplace_back(s->fpr);
    std::vector<PgpKeyInfo> keys;
    for (const std::string& fpr : taken) {
        KeyRef ref;
        auto info = impl_->Lookup(fpr.c_str(), false, ref);
        keys.push_back(info ? *info : PgpKeyInfo{fpr, {}, "?"});
    }
    return keys;
}

std::vector<PgpKeyInfo> PgpEngine::SecretKeys() {
    return impl_->ListKeys(true);
}

std::string PgpEngine::ClearSign(std::string_view fingerprint, std::string_view passphrase,
                                 std::string_view text) {
    const std::string fpr(fingerprint);
    KeyRef ref;
    if (!impl_->Lookup(fpr.c_str(), true, ref))
        throw PgpError("Sign: kein privater Schl\xFCssel " + fpr);
    gpgme_ctx_t ctx = impl_->ctx;
    gpgme_signers_clear(ctx);
    Check(gpgme_signers_add(ctx, ref.key), "gpgme_signers_add");
    gpgme_set_armor(ctx, 1);
    Passphrase hook{std::string(passphrase)};
    std::erase_if(hook.text, [](char c) { return c == '\n' || c == '\r'; });
    Check(gpgme_set_pinentry_mode(ctx, GPGME_PINENTRY_MODE_LOOPBACK), "gpgme_set_pinentry_mode");
    gpgme_set_passphrase_cb(ctx, PassphraseCallback, &hook);
    Data in(text);
    Data out;
    const gpgme_error_t err = gpgme_op_sign(ctx, in.get(), out.get(), GPGME_SIG_MODE_CLEAR);
    gpgme_set_passphrase_cb(ctx, nullptr, nullptr);
    gpgme_signers_clear(ctx);
    if (gpgme_err_code(err) == GPG_ERR_BAD_PASSPHRASE)
        throw PgpBadPassphrase("Sign: " + ErrorText(err));
    Check(err, "Sign");
    return out.Take();
}

}  // namespace tarvo::platform
