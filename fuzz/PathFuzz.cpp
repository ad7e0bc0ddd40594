// Paths as devices report them (connect replies, restored links): the stored
// form is upper case with single blanks, the same when put again, and the
// connection's Path is what was stored.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"

using namespace tarvo;
using fuzz::Check;

namespace {

// One connection for all inputs: putting a path replaces all of it.
connection::TVerbindung& Connection() {
    static fuzz::ConnectionWorld world;
    static const auto v = connection::TVerbindung::Create({}, world.ctx);
    return *v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string stored = connection::NormalizePath(input);
    Check(stored.find("  ") == std::string::npos);
    Check(stored.empty() || (stored.front() != ' ' && stored.back() != ' '));
    for (char c : stored) Check(!(c >= 'a' && c <= 'z'));
    Check(connection::NormalizePath(stored) == stored);

    connection::TVerbindung& v = Connection();
    v.SetPath(input);
    Check(v.Call().find(' ') == std::string::npos);
    Check(v.Path() == stored);
    v.SetRealPath(input);
    Check(v.RealPath() == stored);
    return 0;
}
