// A key ring of its own below the temporary directory, with gpg run on it
// from the command line: the tests never see the user's ~/.gnupg, and the
// agent gpg starts for it ends with it.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tests/support/TempFolder.h"

namespace tarvo::test {

class GnupgHome {
  public:
    GnupgHome() : folder_("tarvo-gpg") {
        ::chmod(folder_.path().c_str(), 0700);
        // No remembered passphrases, so each signature asks again; a cheap key
        // derivation, so keys with a passphrase are made at once.
        TempFolder::Write(folder_ / "gpg-agent.conf",
                          "default-cache-ttl 0\nmax-cache-ttl 0\ns2k-count 65536\n");
        // Anything that forgets --homedir still lands here.
        ::setenv("GNUPGHOME", Path().c_str(), 1);
    }
    ~GnupgHome() {
        const std::string kill = "gpgconf --homedir '" + Path() + "' --kill all >/dev/null 2>&1";
        [[maybe_unused]] const int rc = std::system(kill.c_str());
    }
    GnupgHome(const GnupgHome&) = delete;
    GnupgHome& operator=(const GnupgHome&) = delete;

    std::string Path() const { return folder_.path().string(); }

    struct Result {
        int status;
        std::string out;
    };
    // gpg on this home in batch mode, with input on its standard input.
    Result Gpg(std::string_view args, std::string_view input = {}) const {
        const auto in = folder_ / "stdin.tmp";
        const auto out = folder_ / "stdout.tmp";
        TempFolder::Write(in, input);
        const std::string command =
            "gpg --homedir '" + Path() + "' --batch --yes --pinentry-mode loopback " +
            std::string(args) + " < '" + in.string() + "' > '" + out.string() + "' 2>/dev/null";
        const int rc = std::system(command.c_str());
        return {rc, TempFolder::Read(out)};
    }
    // A fresh ed25519 signing key; its fingerprint.
    std::string GenerateKey(std::string_view userId, std::string_view passphrase = "") {
        const Result made = Gpg("--passphrase '" + std::string(passphrase) + "' --quick-gen-key '" +
                                std::string(userId) + "' ed25519 sign never");
        if (made.status != 0) throw std::runtime_error("gpg --quick-gen-key failed");
        const Result listed = Gpg("--with-colons --list-keys '" + std::string(userId) + "'");
        const std::size_t fpr = listed.out.find("\nfpr:");
        if (fpr == std::string::npos) throw std::runtime_error("no fingerprint");
        const std::size_t start = listed.out.find_first_not_of(':', fpr + 5);
        return listed.out.substr(start, listed.out.find(':', start) - start);
    }
    std::string Export(std::string_view fingerprints) const {
        return Gpg("--armor --export " + std::string(fingerprints)).out;
    }
    // Clear-signed text with LF line ends.
    std::string ClearSign(std::string_view fingerprint, std::string_view text) const {
        return Gpg("--passphrase '' --local-user " + std::string(fingerprint) + " --clearsign",
                   text)
            .out;
    }
    bool Verify(std::string_view signedText) const {
        return Gpg("--verify", signedText).status == 0;
    }
    bool HasKey(std::string_view fingerprint) const {
        return Gpg("--list-keys " + std::string(fingerprint)).status == 0;
    }

  private:
    TempFolder folder_;
};

}  // namespace tarvo::test
