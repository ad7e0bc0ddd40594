#define PCRE2_CODE_UNIT_WIDTH 8
#include "platform/LibraryVersions.h"

#include <alsa/asoundlib.h>
#include <glib.h>
#include <gpgme.h>
#include <gsf/gsf.h>
#include <libxml/parser.h>
#include <pcre2.h>
#include <sndfile.h>

#include <array>

namespace tarvo::platform {

namespace {

std::string Text(const char* s) {
    return s ? std::string(s) : std::string();
}

std::string Pcre2Version() {
    std::array<char, 64> buf{};
    const int n = pcre2_config(PCRE2_CONFIG_VERSION, buf.data());
    if (n <= 0 || static_cast<std::size_t>(n) > buf.size()) return {};
    return std::string(buf.data());
}

std::string SndfileVersion() {
    std::array<char, 64> buf{};
    if (sf_command(nullptr, SFC_GET_LIB_VERSION, buf.data(), static_cast<int>(buf.size())) <= 0)
        return {};
    buf.back() = '\0';
    std::string v(buf.data());
    // "libsndfile-1.2.0"
    if (const auto dash = v.rfind('-'); dash != std::string::npos) v.erase(0, dash + 1);
    return v;
}

std::string Dotted(unsigned major, unsigned minor, unsigned micro) {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
}

// "21005" for 2.10.5.
std::string Libxml2Version() {
    const std::string v = Text(xmlParserVersion);
    if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos)
        return {};
    const unsigned n = static_cast<unsigned>(std::stoul(v));
    return Dotted(n / 10000, n / 100 % 100, n % 100);
}

}  // namespace

std::vector<LibraryVersion> LinkedLibraries() {
    return {
        {"GPGME", "LGPL-2.1+", Text(gpgme_check_version(nullptr))},
        {"PCRE2", "BSD-3-Clause", Pcre2Version()},
        {"libgsf", "LGPL-2.1",
         Dotted(static_cast<unsigned>(libgsf_major_version),
                static_cast<unsigned>(libgsf_minor_version),
                static_cast<unsigned>(libgsf_micro_version))},
        {"GLib", "LGPL-2.1+", Dotted(glib_major_version, glib_minor_version, glib_micro_version)},
        {"libxml2", "MIT", Libxml2Version()},
        {"alsa-lib", "LGPL-2.1", Text(snd_asoundlib_version())},
        {"libsndfile", "LGPL-2.1", SndfileVersion()},
    };
}

}  // namespace tarvo::platform
